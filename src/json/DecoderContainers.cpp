// Containers: the array and dictionary loops over the object stack, the
// values they build, the keys repeated from the record before, and the
// parse of the top level.
#include "json/Array.h"
#include "json/DecoderParser.h"
#include "json/Dictionary.h"
#include "json/ObjectMemory.h"

namespace json {

// The arrays of a few elements (a pair of coordinates, a short list) are
// made here without a call: the array loop is their only maker. As
// `create`, with the elements in the same block as the array.
[[gnu::always_inline]] inline detail::Object* Array::createInSlab(
    detail::Object* const* objects, std::size_t count, bool isMutable) noexcept
{
    std::uint8_t sizeClass;
    void* memory = detail::allocateInSlab(sizeof(Array) + count * sizeof(Value), sizeClass);
    if (!memory)
        return nullptr;
    auto* array = new (memory) Array;
    detail::setUpHeader(array, Kind::Array, sizeClass);
    array->m_objects = reinterpret_cast<Value*>(array + 1);
    for (std::size_t i = 0; i < count; ++i)
        new (&array->m_objects[i]) Value(Value::adopt(objects[i]));
    array->m_count = static_cast<std::uint32_t>(count);
    array->m_capacity = static_cast<std::uint32_t>(count);
    array->m_mutations = isMutable ? 1 : 0;
    return array;
}

// Records of a few pairs, likewise: tables of 3 and 7 slots. Keys of
// distinct hashes are distinct keys, so no pair replaces another and each
// goes in the first free slot of its probe, where `create` would put it;
// keys of equal hashes are left to `create`.
template<std::uint32_t Capacity>
[[gnu::always_inline]] inline detail::Object* Dictionary::createInSlab(detail::Object* const* keys,
    const std::uint32_t* keyHashes, detail::Object* const* objects, std::size_t count, bool isMutable) noexcept
{
    for (std::size_t i = 1; i < count; ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (keyHashes[i] == keyHashes[j])
                return nullptr;
    std::uint8_t sizeClass;
    void* memory = detail::allocateInSlab(sizeof(Dictionary) + Capacity * sizeof(Entry), sizeClass);
    if (!memory)
        return nullptr;
    auto* dictionary = new (memory) Dictionary;
    detail::setUpHeader(dictionary, Kind::Dictionary, sizeClass);
    Entry* entries = reinterpret_cast<Entry*>(dictionary + 1);
    dictionary->m_entries = entries;
    dictionary->m_capacity = Capacity;
    for (std::uint32_t i = 0; i < Capacity; ++i)
        new (&entries[i]) Entry {};
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t slot = keyHashes[i] % Capacity;
        while (entries[slot].key)
            slot = slot + 1 == Capacity ? 0 : slot + 1;
        new (&entries[slot].key) Value(Value::adopt(keys[i]));
        new (&entries[slot].object) Value(Value::adopt(objects[i]));
    }
    dictionary->m_count = static_cast<std::uint32_t>(count);
    dictionary->m_mutations = isMutable ? 1 : 0;
    return dictionary;
}

[[gnu::always_inline]] inline detail::Object* Dictionary::createInSlab(detail::Object* const* keys,
    const std::uint32_t* keyHashes, detail::Object* const* objects, std::size_t count, bool isMutable) noexcept
{
    // The capacities `capacityForCount` gives these counts.
    static_assert(kSmallInSlab == 6);
    return count <= 3 ? createInSlab<3>(keys, keyHashes, objects, count, isMutable)
                      : createInSlab<7>(keys, keyHashes, objects, count, isMutable);
}

} // namespace json

namespace json::detail {

Object* Parser::buildValue()
{
    switch (m_token) {
    case Token::String:
    case Token::Number:
        return m_cache.objectFor(m_value);
    case Token::True:
        return &trueConstant;
    case Token::False:
        return &falseConstant;
    case Token::Null:
        return &nullConstant;
    case Token::ArrayBegin:
        return parseArray();
    case Token::ObjectBegin:
        return parseDictionary();
    default:
        failInternal("Internal error: Unknown token type. %s line #%ld", __LINE__);
        return nullptr;
    }
}

[[gnu::always_inline]] inline Object* Parser::takeContainer(bool& taken)
{
    // The records of a list: no dispatch and no switch over the token for them.
    const unsigned char c = *m_cursor;
    taken = c == '{' || c == '[';
    if (!taken)
        return nullptr;
    m_tokenStart = m_cursor++;
    m_token = c == '{' ? Token::ObjectBegin : Token::ArrayBegin;
    m_tokenLength = 1;
    return c == '{' ? parseDictionary() : parseArray();
}

[[gnu::always_inline]] inline Object* Parser::repeatedKey(std::size_t index)
{
    if (m_depth >= kRememberedDepths || index >= kRememberedKeys)
        return nullptr;
    const RememberedKey& remembered = m_rememberedKeys[m_depth][index];
    // Once the decode has released anything, a remembered object may be gone.
    if (!remembered.text || !m_cache.isDeferring())
        return nullptr;
    const std::size_t n = remembered.length + 2;
    if (static_cast<std::size_t>(m_end - m_cursor) < n
        || !sameBytes(reinterpret_cast<const char*>(m_cursor), reinterpret_cast<const char*>(remembered.text), n))
        return nullptr;
    Object* key = m_cache.repeatFirstProbeHit(remembered.slot, remembered.object);
    if (!key)
        return nullptr;
    m_tokenStart = m_cursor;
    m_token = Token::String;
    m_tokenLength = n;
    m_value.type = ValueType::String;
    m_value.bytes = reinterpret_cast<const char*>(m_cursor + 1);
    m_value.length = remembered.length;
    m_value.hash = remembered.hash;
    m_cursor += n;
    return key;
}

[[gnu::always_inline]] inline void Parser::rememberKey(std::size_t index, Object* key)
{
    if (m_depth >= kRememberedDepths || index >= kRememberedKeys)
        return;
    RememberedKey& remembered = m_rememberedKeys[m_depth][index];
    // Only a key read in place (no escapes) and found or put at its first slot.
    const bool inPlace
        = m_value.bytes == reinterpret_cast<const char*>(m_tokenStart + 1) && m_tokenLength == m_value.length + 2;
    const std::uint32_t slot = m_cache.lastSlot();
    if (inPlace && slot == (m_value.hash & (ValueCache::kSlots - 1)))
        remembered = { m_tokenStart, key, static_cast<std::uint32_t>(m_value.length), m_value.hash, slot };
    else
        remembered.text = nullptr;
}

// A container still open when the input ends yields none. Reporting the end
// of the input here keeps the message about the truncation rather than an
// internal "Object == NULL" from the enclosing container.
void Parser::noteUnclosedContainer()
{
    if (!m_error && m_cursor >= m_end)
        fail("Reached the end of the buffer.");
}

// The pieces of the two container loops below are inline in them: the loops
// run once per value of every reply.

[[gnu::always_inline]] inline bool Parser::enterContainer()
{
    if (++m_depth > kMaximumNestingDepth) {
        fail("Nesting of arrays and objects is deeper than the limit of %zu.", kMaximumNestingDepth);
        --m_depth;
        return false;
    }
    return true;
}

[[gnu::always_inline]] inline Object* Parser::leaveContainer(std::size_t start, Object* result, bool isArray)
{
    if (!result) {
        noteUnclosedContainer();
        m_cache.settle();
        if (isArray)
            m_stack.releaseValues(start);
        else
            m_stack.releaseRange(start);
    }
    --m_depth;
    return result;
}

namespace {

    // A container's pending entries when an allocation throws inside it,
    // released level by level as the exception leaves: an array's entries
    // have no keys written, so the stack's own clean-up, which reads the
    // keys, must not meet them. Every other way out of a container goes
    // through `leaveContainer`.
    class ContainerEntries {
    public:
        ContainerEntries(ObjectStack& stack, ValueCache& cache, bool isArray) noexcept
            : m_stack(stack)
            , m_cache(cache)
            , m_start(stack.index())
            , m_isArray(isArray)
        {
        }
        ~ContainerEntries()
        {
            if (m_left)
                return;
            m_cache.settle();
            if (m_isArray)
                m_stack.releaseValues(m_start);
            else
                m_stack.releaseRange(m_start);
        }
        ContainerEntries(const ContainerEntries&) = delete;
        ContainerEntries& operator=(const ContainerEntries&) = delete;
        std::size_t start() const noexcept { return m_start; }
        void leave() noexcept { m_left = true; }

    private:
        ObjectStack& m_stack;
        ValueCache& m_cache;
        std::size_t m_start;
        bool m_isArray;
        bool m_left { false };
    };

} // namespace

[[gnu::always_inline]] inline Object* Parser::finishArray(std::size_t start)
{
    const std::size_t count = m_stack.index() - start;
    if (count <= Array::kSmallInSlab) {
        if (Object* result = Array::createInSlab(m_stack.objectsFrom(start), count, m_isMutable)) {
            m_stack.handOver(start);
            return result;
        }
    }
    // A long array's entries in a mapped stack are not needed once copied:
    // their pages go as the copy advances, so that the stack and the array
    // are not both resident whole.
    const bool discard = count >= Array::kDiscardedSourceEntries && m_stack.isInMappedBlock();
    Object* result = Array::create(m_stack.objectsFrom(start), count, m_isMutable, discard).leak();
    m_stack.handOver(start);
    return result;
}

[[gnu::always_inline]] inline Object* Parser::finishDictionary(std::size_t start)
{
    const std::size_t count = m_stack.index() - start;
    if (count && count <= Dictionary::kSmallInSlab) {
        if (Object* result = Dictionary::createInSlab(m_stack.keysFrom(start), m_stack.keyHashesFrom(start),
                m_stack.objectsFrom(start), count, m_isMutable)) {
            m_stack.handOver(start);
            return result;
        }
    }
    Object* result = Dictionary::create(m_stack.keysFrom(start), m_stack.keyHashesFrom(start),
        m_stack.objectsFrom(start), m_stack.index() - start, m_isMutable)
                         .leak();
    m_stack.handOver(start);
    return result;
}

[[gnu::always_inline]] inline bool Parser::takeColon()
{
    // The colon mostly follows the key at once.
    if (m_cursor < m_end && *m_cursor == ':') {
        ++m_cursor;
        return true;
    }
    if (!nextToken())
        return false;
    if (m_token != Token::Colon)
        return fail("Expected ':'.");
    return true;
}

[[gnu::always_inline]] inline Object* Parser::dictionaryValue(unsigned acceptedBeforeKey)
{
    if (m_cursor < m_end && *m_cursor == ' ')
        skipWhitespace(); // "key": value
    bool scalar = false;
    if (m_cursor < m_end) {
        bool container = false;
        Object* value = takeContainer(container);
        if (container) {
            if (!value)
                fail("Internal error: Object == NULL.");
            return value;
        }
    }
    if (!(m_cursor < m_end ? takeScalar(scalar) : true) || (!scalar && !nextToken()))
        return nullptr;
    if (!scalar && !isValueToken(m_token)) {
        failExpected(acceptedBeforeKey, "a value", "a '}'");
        return nullptr;
    }
    Object* value = scalar ? m_cache.objectFor(m_value) : buildValue();
    if (!value)
        fail("Internal error: Object == NULL.");
    return value;
}

Object* Parser::parseArray()
{
    if (!enterContainer())
        return nullptr;
    ContainerEntries entries(m_stack, m_cache, true);
    const std::size_t start = entries.start();
    unsigned accepted = AcceptValue | AcceptEnd;
    Object* result = nullptr;
    bool stopped = false;
    while (!stopped && m_cursor < m_end) {
        if (!m_stack.ensureRoom()) {
            fail("Internal error: [array] objectsIndex > %zu, resize failed? %s line %ld", m_stack.count() - 4,
                kSourceUnit, static_cast<long>(__LINE__));
            break;
        }
        // A string or number where a value is due, with no white space
        // before it, skips the token dispatch.
        bool scalar = false;
        bool container = false;
        Object* value = (accepted & AcceptValue) ? takeContainer(container) : nullptr;
        if (!container && (!((accepted & AcceptValue) ? takeScalar(scalar) : true) || (!scalar && !nextToken())))
            break;
        if (container || scalar || isValueToken(m_token)) {
            if (!(accepted & AcceptValue)) {
                fail("Unexpected value.");
                break;
            }
            if (!container)
                value = scalar ? m_cache.objectFor(m_value) : buildValue();
            if (!value) {
                fail("Internal error: Object == NULL");
                break;
            }
            m_stack.pushValue(value);
            accepted = AcceptComma | AcceptEnd;
            // Compact text puts the comma or the closing bracket right
            // after the value: take it here, as the loop would below.
            if (m_cursor < m_end && *m_cursor == ',') {
                ++m_cursor;
                accepted = AcceptValue;
            } else if (m_cursor < m_end && *m_cursor == ']' && m_stack.ensureRoom()) {
                m_tokenStart = m_cursor++;
                m_token = Token::ArrayEnd;
                m_tokenLength = 1;
                result = finishArray(start);
                break;
            }
            continue;
        }
        switch (m_token) {
        case Token::ArrayEnd:
            if (accepted & AcceptEnd)
                result = finishArray(start);
            else
                fail("Unexpected ']'.");
            stopped = true;
            break;
        case Token::Comma:
            if (accepted & AcceptComma) {
                accepted = AcceptValue;
            } else {
                fail("Unexpected ','.");
                stopped = true;
            }
            break;
        default:
            failExpected(accepted, "a value", "a ']'");
            stopped = true;
            break;
        }
    }
    entries.leave();
    return leaveContainer(start, result, true);
}

Object* Parser::parseDictionary()
{
    if (!enterContainer())
        return nullptr;
    ContainerEntries entries(m_stack, m_cache, false);
    const std::size_t start = entries.start();
    unsigned accepted = AcceptValue | AcceptEnd;
    Object* result = nullptr;
    while (m_cursor < m_end) {
        if (!m_stack.ensureRoom()) {
            fail("Internal error: [dictionary] objectsIndex > %zu, resize failed? %s line #%ld", m_stack.count() - 4,
                kSourceUnit, static_cast<long>(__LINE__));
            break;
        }
        const std::size_t entry = m_stack.reserveEntry();
        const std::size_t keyIndex = entry - start;
        // Indented text: the white space the key's token would skip first.
        if (m_cursor < m_end && *m_cursor <= ' ')
            skipWhitespace();
        Object* key = (accepted & AcceptValue) ? repeatedKey(keyIndex) : nullptr;
        // Keys are the usual token here: no need to go through the dispatch.
        if (!key && !(m_cursor < m_end && *m_cursor == '"' ? takeString() : nextToken()))
            break;
        if (key) {
            // The key of the dictionary before, taken whole.
        } else if (m_token == Token::Comma) {
            m_stack.giveBack();
            if (accepted & AcceptComma) {
                accepted = AcceptValue;
                continue;
            }
            fail("Unexpected ','.");
            break;
        } else if (m_token == Token::ObjectEnd) {
            m_stack.giveBack();
            if (accepted & AcceptEnd)
                result = finishDictionary(start);
            else
                fail("Unexpected '}'.");
            break;
        } else if (m_token != Token::String) {
            failExpected(accepted, "a \"STRING\"", "a '}'");
            break;
        } else if (!(accepted & AcceptValue)) {
            fail("Unexpected string.");
            break;
        } else {
            key = m_cache.objectFor(m_value);
            rememberKey(keyIndex, key);
        }
        const unsigned acceptedBeforeKey = accepted;
        m_stack.keyAt(entry) = key;
        // The key hash is the string hash the scan already computed.
        m_stack.keyHashAt(entry) = m_value.hash;
        Object* value = takeColon() ? dictionaryValue(acceptedBeforeKey) : nullptr;
        if (!value)
            break;
        m_stack.objectAt(entry) = value;
        accepted = AcceptComma | AcceptEnd;
        if (m_cursor < m_end && *m_cursor == ',') {
            ++m_cursor;
            accepted = AcceptValue;
        } else if (m_cursor < m_end && *m_cursor == '}' && m_stack.ensureRoom()) {
            // The closing brace right after the value, as the loop would take it.
            m_tokenStart = m_cursor++;
            m_token = Token::ObjectEnd;
            m_tokenLength = 1;
            result = finishDictionary(start);
            break;
        }
    }
    entries.leave();
    return leaveContainer(start, result, false);
}

Value Parser::parse()
{
    Value parsed;
    if (m_cursor < m_end && nextToken()) {
        if (m_token == Token::ArrayBegin)
            parsed = Value::adopt(parseArray());
        else if (m_token == Token::ObjectBegin)
            parsed = Value::adopt(parseDictionary());
        else
            fail("Expected either '[' or '{'.");
    }
    if (!parsed) {
        if (m_cursor >= m_end)
            fail("Reached the end of the buffer.");
        fail("Unable to parse JSON.");
        return {};
    }
    if (m_cursor < m_end) {
        skipWhitespace();
        if (m_cursor < m_end && !(m_options & ParseOptionAllowTrailingText)) {
            fail("A valid JSON object was parsed but there were additional non-white-space characters "
                 "remaining.");
            m_cache.settle();
            return {};
        }
    }
    return parsed;
}

} // namespace json::detail
