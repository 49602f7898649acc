// The decoder object: its options and cache, and one decode's bookkeeping in
// the caller's frame. The parse itself is `detail::Parser`, in the Decoder*.cpp
// files beside this one.
#include "json/Decoder.h"

#include "json/DecoderParser.h"
#include "json/Exceptions.h"
#include "json/ObjectMemory.h"
#include "json/ObjectStack.h"

#include <optional>

namespace json {

namespace {

    class CacheDecodeScope {
    public:
        CacheDecodeScope(detail::ValueCache& cache, bool keepObjects) noexcept
            : m_cache(cache)
            , m_keepObjects(keepObjects)
        {
            m_cache.beginDecode();
        }
        ~CacheDecodeScope() { m_cache.endDecode(m_keepObjects); }
        CacheDecodeScope(const CacheDecodeScope&) = delete;
        CacheDecodeScope& operator=(const CacheDecodeScope&) = delete;

    private:
        detail::ValueCache& m_cache;
        bool m_keepObjects;
    };

} // namespace

Decoder::Decoder(unsigned parseOptions)
{
    if (parseOptions > ParseOptionValidFlags)
        throw InvalidArgumentException("Invalid parse options.");
    m_parseState = std::make_unique<ParseState>();
    m_parseState->options = parseOptions;
}

Decoder::~Decoder() = default;

std::unique_ptr<Decoder> Decoder::decoderWithParseOptions(unsigned parseOptions)
{
    return std::make_unique<Decoder>(parseOptions);
}

unsigned Decoder::parseOptions() const noexcept
{
    return m_parseState ? m_parseState->options : 0;
}

void Decoder::clearCache() noexcept
{
    if (m_parseState)
        m_parseState->cache.clear();
}

void Decoder::cleanUp() noexcept
{
    m_parseState.reset();
}

Value Decoder::decode(const char* bytes, std::size_t length, bool isMutable, Error* error)
{
    if (!m_parseState)
        throw InternalInconsistencyException("parseState is NULL.");
    if (!bytes)
        throw InvalidArgumentException("The string argument is NULL.");
    // Bookkeeping lives in this frame; ordinary replies never touch the heap for it.
    detail::Object* objects[detail::ObjectStack::kFrameEntries];
    detail::Object* keys[detail::ObjectStack::kFrameEntries];
    std::uint32_t keyHashes[detail::ObjectStack::kFrameEntries];
    char tokenBuffer[2048];
    detail::ObjectStack stack(
        objects, keys, keyHashes, detail::ObjectStack::kFrameEntries, detail::ObjectStack::mostEntriesFor(length));
    // Declared before the result: the last slab is sealed before the result leaves.
    std::optional<detail::DecodeArena> arena;
    if (length >= detail::DecodeArena::kMinimumInput)
        arena.emplace();
    Value result;
    {
        // Ends the decode with exact counts before anything leaves, even when an
        // allocation throws (the stack, declared earlier, then releases its values).
        CacheDecodeScope cacheScope(m_parseState->cache, !m_usedOnce);
        detail::Parser parser(*m_parseState, bytes, length, isMutable, stack, tokenBuffer, sizeof tokenBuffer);
        result = parser.parse();
        if (!result && error && parser.error())
            *error = std::move(*parser.error());
    }
    // A decoder used once keeps nothing in its cache, so an immutable tree
    // it made holds only objects of its own and can be released whole.
    if (arena && m_usedOnce && !isMutable)
        arena->keepWhole(result.object());
    return result;
}

Value Decoder::objectWithUTF8String(const char* bytes, std::size_t length, Error* error)
{
    return decode(bytes, length, false, error);
}

Value Decoder::objectWithData(std::string_view data, Error* error)
{
    if (!data.data())
        throw InvalidArgumentException("The jsonData argument is NULL.");
    return decode(data.data(), data.size(), false, error);
}

Value Decoder::mutableObjectWithUTF8String(const char* bytes, std::size_t length, Error* error)
{
    return decode(bytes, length, true, error);
}

Value Decoder::mutableObjectWithData(std::string_view data, Error* error)
{
    if (!data.data())
        throw InvalidArgumentException("The jsonData argument is NULL.");
    return decode(data.data(), data.size(), true, error);
}

} // namespace json
