#include "json/Serializer.h"

#include "json/Array.h"
#include "json/Dictionary.h"
#include "json/DoubleText.h"
#include "json/Exceptions.h"
#include "json/Utf8.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace json {

namespace {

    constexpr std::size_t kCacheSlots = 1024;

    // Escape class of each byte: 0 copied, 1 a short escape (\b \t \n \f \r \" \\),
    // 2 a \u00XX escape, 3 the slash, 4 a byte of a multi-byte sequence.
    constexpr std::array<std::uint8_t, 256> makeEscapeClasses()
    {
        std::array<std::uint8_t, 256> classes {};
        for (int c = 0; c < 0x20; ++c)
            classes[c] = 2;
        for (int c : { '\b', '\t', '\n', '\f', '\r', '"', '\\' })
            classes[c] = 1;
        classes['/'] = 3;
        for (int c = 0x80; c < 0x100; ++c)
            classes[c] = 4;
        return classes;
    }
    constexpr std::array<std::uint8_t, 256> kEscapeClasses = makeEscapeClasses();

    constexpr std::array<char, 256> makeShortEscapes()
    {
        std::array<char, 256> escapes {};
        escapes['\b'] = 'b';
        escapes['\t'] = 't';
        escapes['\n'] = 'n';
        escapes['\f'] = 'f';
        escapes['\r'] = 'r';
        escapes['"'] = '"';
        escapes['\\'] = '\\';
        return escapes;
    }
    constexpr std::array<char, 256> kShortEscapes = makeShortEscapes();
    constexpr char kHexDigits[] = "0123456789abcdef";
    constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                   "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                   "8081828384858687888990919293949596979899";

    // Each thread keeps the output buffer of its last encode, up to this size:
    // a fresh buffer grew by doubling, and every step cleared and copied the
    // whole buffer, on pages new to the process. The text is copied out of it
    // once at the end.
    constexpr std::size_t kKeptOutputBytes = std::size_t(1) << 20;

    struct KeptOutput {
        std::string buffer;
        ~KeptOutput();
    };
    thread_local constinit bool t_keptOutputAlive = false;
    thread_local KeptOutput t_keptOutput;

    KeptOutput::~KeptOutput()
    {
        t_keptOutputAlive = false;
    }

    // The thread's kept buffer; null once the thread's exit has destroyed it
    // (an encode in a later destructor then keeps nothing).
    std::string* keptOutput()
    {
        static thread_local constinit bool started = false;
        if (!t_keptOutputAlive) {
            if (started)
                return nullptr;
            started = true;
            t_keptOutputAlive = true;
        }
        return &t_keptOutput.buffer;
    }

    struct CacheSlot {
        const detail::Object* object;
        std::uint32_t offset;
        std::uint32_t length;
    };

    class EncodeState {
    public:
        EncodeState(unsigned serializeOptions, const Formatter* block, const Formatter* delegateMethod)
            : m_pretty(serializeOptions & SerializeOptionPretty)
            , m_escapeNonAscii(serializeOptions & SerializeOptionEscapeNonAscii)
            , m_escapeSlash(serializeOptions & SerializeOptionEscapeSlash)
            , m_block(block)
            , m_delegateMethod(delegateMethod)
        {
            if (std::string* kept = keptOutput()) {
                m_output = std::move(*kept);
                kept->clear();
            }
            if (m_output.size() < 4096)
                m_output.resize(4096);
            m_cursor = m_output.data();
            m_end = m_cursor + m_output.size();
        }

        ~EncodeState()
        {
            // The buffer stays with the thread for its next encode (unless an
            // encode inside a formatter left a larger one there).
            if (m_output.size() > kKeptOutputBytes)
                return;
            if (std::string* kept = keptOutput(); kept && m_output.size() > kept->size())
                *kept = std::move(m_output);
        }
        EncodeState(const EncodeState&) = delete;
        EncodeState& operator=(const EncodeState&) = delete;

        bool failed() const { return m_error.has_value(); }
        std::optional<Error>& error() { return m_error; }

        void recordError(std::string description)
        {
            if (m_error)
                return;
            Error error;
            error.description = std::move(description);
            m_error = std::move(error);
        }

        std::string takeOutput()
        {
            std::size_t length = static_cast<std::size_t>(m_cursor - m_output.data());
            if (m_output.size() <= kKeptOutputBytes || length < m_output.size() / 2)
                return std::string(m_output.data(), length);
            m_output.resize(length);
            return std::move(m_output);
        }

        [[nodiscard]] bool writeValue(const Value& value, Quotes quotes = Quotes::Included);

    private:
        void reserve(std::size_t bytes)
        {
            if (static_cast<std::size_t>(m_end - m_cursor) >= bytes) [[likely]]
                return;
            grow(bytes);
        }
        [[gnu::noinline]] void grow(std::size_t bytes)
        {
            std::size_t used = static_cast<std::size_t>(m_cursor - m_output.data());
            std::size_t size = std::max(m_output.size() * 2, used + bytes + 4096);
            m_output.resize(size);
            m_cursor = m_output.data() + used;
            m_end = m_output.data() + size;
        }
        std::size_t offset() const { return static_cast<std::size_t>(m_cursor - m_output.data()); }
        void put(char c) { *m_cursor++ = c; }
        void write(const char* bytes, std::size_t length)
        {
            reserve(length + 4);
            std::memcpy(m_cursor, bytes, length);
            m_cursor += length;
        }

        // Compact output writes the one byte here; pretty layout goes out of line.
        void writeStructural(char c)
        {
            if (!m_pretty) [[likely]] {
                reserve(5);
                put(c);
                return;
            }
            writePretty(c);
        }
        void writePretty(char c);
        [[nodiscard]] bool writeAtom(const detail::Object* object, Quotes quotes);
        [[nodiscard]] bool writeString(const detail::StringObject* string, Quotes quotes);
        [[nodiscard]] bool writeNumber(const detail::NumberObject* number);
        [[nodiscard]] bool writeArray(const Array& array);
        [[nodiscard]] bool writeDictionary(const Dictionary& dictionary);
        [[nodiscard]] bool writeKey(const Value& key);

        static std::size_t cacheSlot(const void* object)
        {
            auto a = reinterpret_cast<std::uintptr_t>(object);
            return (((a >> 21) ^ (a >> 9)) + (a >> 4)) & (kCacheSlots - 1);
        }

        std::string m_output;
        char* m_cursor;
        char* m_end;
        bool m_pretty;
        bool m_escapeNonAscii;
        bool m_escapeSlash;
        std::size_t m_depth { 0 };
        const Formatter* m_block;
        const Formatter* m_delegateMethod;
        std::array<CacheSlot, kCacheSlots> m_cache {};
        // Objects the formatter returned stay alive for the whole call, so that
        // no later object can reuse an address the encode cache still remembers.
        std::vector<Value> m_formatted;
        std::optional<Error> m_error;
    };

    void EncodeState::writePretty(char c)
    {
        reserve(2 * m_depth + 18);
        switch (c) {
        case '[':
        case '{':
            ++m_depth;
            put(c);
            put('\n');
            break;
        case ',':
            put(c);
            put('\n');
            break;
        case ':':
            put(':');
            put(' ');
            return;
        default:
            --m_depth;
            put('\n');
            break;
        }
        std::memset(m_cursor, ' ', 2 * m_depth);
        m_cursor += 2 * m_depth;
        if (c == ']' || c == '}')
            put(c);
    }

    bool EncodeState::writeValue(const Value& value, Quotes quotes)
    {
        const detail::Object* object = value.object();
        CacheSlot& slot = m_cache[cacheSlot(object)];
        if (slot.object == object) {
            reserve(slot.length + 256);
            const char* text = m_output.data() + slot.offset;
            if (slot.length <= 32) {
                // Short texts (keys, numbers) move as one fixed-size block: the
                // reserve above leaves room, and the source lies inside the buffer.
                // It may overlap the destination when the text is only just
                // written, so the whole block is read before any of it is written.
                char block[32];
                std::memcpy(block, text, 32);
                std::memcpy(m_cursor, block, 32);
            } else {
                std::memcpy(m_cursor, text, slot.length);
            }
            m_cursor += slot.length;
            return true;
        }
        switch (object->kind) {
        case Kind::Array:
            return writeArray(*static_cast<const Array*>(object));
        case Kind::Dictionary:
            return writeDictionary(*static_cast<const Dictionary*>(object));
        case Kind::Opaque: {
            Value replacement;
            if (m_block && *m_block)
                replacement = (*m_block)(value);
            else if (m_delegateMethod && *m_delegateMethod)
                replacement = (*m_delegateMethod)(value);
            if (!replacement) {
                recordError("Unable to serialize object class " + value.className() + ".");
                return false;
            }
            m_formatted.push_back(replacement);
            if (replacement.kind() == Kind::Opaque) {
                recordError("Unable to serialize object class " + replacement.className()
                    + " that was returned by the unsupported class formatter.  Original object class was "
                    + value.className() + ".");
                return false;
            }
            if (replacement.isArray())
                return writeArray(*replacement.asArray());
            if (replacement.isDictionary())
                return writeDictionary(*replacement.asDictionary());
            std::size_t start = offset();
            if (!writeAtom(replacement.object(), Quotes::Included))
                return false;
            slot = { object, static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(offset() - start) };
            return true;
        }
        default: {
            std::size_t start = offset();
            if (!writeAtom(object, quotes))
                return false;
            slot = { object, static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(offset() - start) };
            return true;
        }
        }
    }

    bool EncodeState::writeAtom(const detail::Object* object, Quotes quotes)
    {
        switch (object->kind) {
        case Kind::String:
            return writeString(static_cast<const detail::StringObject*>(object), quotes);
        case Kind::Integer:
        case Kind::Unsigned:
        case Kind::Double:
            return writeNumber(static_cast<const detail::NumberObject*>(object));
        case Kind::Boolean:
            if (static_cast<const detail::NumberObject*>(object)->u)
                write("true", 4);
            else
                write("false", 5);
            return true;
        case Kind::Null:
            write("null", 4);
            return true;
        default:
            return false;
        }
    }

    // The bytes of a word that a string's text cannot copy as they are: a
    // quote, a backslash, a control byte, a byte of 0x80 or more, and the
    // slash when it is escaped. Each is flagged by the top bit of its byte;
    // a byte above a flagged one may be flagged falsely (a borrow), never
    // one below, so the lowest flag is the first such byte.
    inline std::uint64_t bytesToLookAt(std::uint64_t word, bool slash)
    {
        constexpr std::uint64_t kOnes = 0x0101010101010101;
        constexpr std::uint64_t kHighs = 0x8080808080808080;
        auto zeroBytes = [](std::uint64_t v) { return (v - kOnes) & ~v; };
        std::uint64_t flags = word | ((word - kOnes * 0x20) & ~word) | zeroBytes(word ^ (kOnes * '"'))
            | zeroBytes(word ^ (kOnes * '\\'));
        if (slash)
            flags |= zeroBytes(word ^ (kOnes * '/'));
        return flags & kHighs;
    }

    bool EncodeState::writeString(const detail::StringObject* string, Quotes quotes)
    {
        const auto* s = reinterpret_cast<const unsigned char*>(string->bytes());
        const unsigned char* end = s + string->length;
        // Worst case: every byte a six-byte \u00XX escape, plus the quotes.
        reserve(6 * string->length + 16);
        char* out = m_cursor;
        if (quotes == Quotes::Included)
            *out++ = '"';
        const bool escapeSlash = m_escapeSlash;
        while (s < end) {
            // Plain text eight bytes at a time. The word is stored whole even
            // when only part of it is plain: the reserve above leaves at least
            // six bytes of room for every byte still to come.
            if (end - s >= 8) {
                std::uint64_t word;
                std::memcpy(&word, s, 8);
                std::memcpy(out, &word, 8);
                const std::uint64_t flags = bytesToLookAt(word, escapeSlash);
                if (!flags) {
                    out += 8;
                    s += 8;
                    continue;
                }
                const auto plain = static_cast<unsigned>(std::countr_zero(flags)) / 8;
                out += plain;
                s += plain;
            }
            unsigned char c = *s;
            switch (kEscapeClasses[c]) {
            case 0:
                *out++ = static_cast<char>(c);
                ++s;
                continue;
            case 1:
                out[0] = '\\';
                out[1] = kShortEscapes[c];
                out += 2;
                ++s;
                continue;
            case 2:
                std::memcpy(out, "\\u00", 4);
                out[4] = kHexDigits[c >> 4];
                out[5] = kHexDigits[c & 15];
                out += 6;
                ++s;
                continue;
            case 3:
                if (escapeSlash)
                    *out++ = '\\';
                *out++ = '/';
                ++s;
                continue;
            default:
                break;
            }
            if (!m_escapeNonAscii) {
                // A run of well-formed two- and three-byte characters is
                // copied here (the second byte's range after an E0 or ED lead
                // leaves out overlong forms and surrogates); four-byte ones
                // and anything ill-formed take the full check below.
                bool copied = false;
                while (s < end && *s >= 0x80) {
                    c = *s;
                    const auto left = end - s;
                    if (c >= 0xC2 && c <= 0xDF && left >= 2 && (s[1] & 0xC0) == 0x80) {
                        std::memcpy(out, s, 2);
                        out += 2;
                        s += 2;
                        copied = true;
                        continue;
                    }
                    if ((c & 0xF0) == 0xE0 && left >= 3) {
                        const unsigned char low = c == 0xE0 ? 0xA0 : 0x80;
                        const unsigned char high = c == 0xED ? 0x9F : 0xBF;
                        if (s[1] >= low && s[1] <= high && (s[2] & 0xC0) == 0x80) {
                            std::memcpy(out, s, 3);
                            out += 3;
                            s += 3;
                            copied = true;
                            continue;
                        }
                    }
                    break;
                }
                if (copied)
                    continue;
            }
            detail::Utf8Sequence sequence = detail::decodeUtf8Sequence(s, end);
            if (!m_escapeNonAscii) {
                // Well-formed UTF-8 (noncharacters included) is copied as it is;
                // anything else (an encoded surrogate, a code point above
                // U+10FFFF, a stray or truncated byte) would make text that no
                // strict reader accepts, so it fails the write.
                if (!sequence.isWellFormed()) {
                    recordError("An error occurred converting the contents of a NSString to UTF8.");
                    return false;
                }
                std::memcpy(out, s, sequence.length);
                out += sequence.length;
                s += sequence.length;
                continue;
            }
            if (sequence.result != detail::Utf8Sequence::Result::Valid) {
                recordError("Error converting UTF8.");
                return false;
            }
            auto writeUnit = [&out](std::uint32_t unit) {
                out[0] = '\\';
                out[1] = 'u';
                out[2] = kHexDigits[(unit >> 12) & 15];
                out[3] = kHexDigits[(unit >> 8) & 15];
                out[4] = kHexDigits[(unit >> 4) & 15];
                out[5] = kHexDigits[unit & 15];
                out += 6;
            };
            std::uint32_t c32 = sequence.codePoint;
            if (c32 < 0x10000) {
                writeUnit(c32);
            } else {
                writeUnit(c32 / 1024 + 0xD7C0);
                writeUnit((c32 & 0x3FF) | 0xDC00);
            }
            s += sequence.length;
        }
        if (quotes == Quotes::Included)
            *out++ = '"';
        m_cursor = out;
        return true;
    }

    bool EncodeState::writeNumber(const detail::NumberObject* number)
    {
        reserve(40);
        char* out = m_cursor;
        if (number->kind == Kind::Double) {
            double d = number->d;
            if (!std::isfinite(d)) {
                recordError("Floating point values must be finite.  JSON does not support NaN or Infinity.");
                return false;
            }
            m_cursor = detail::writeDouble17(d, out);
            return true;
        }
        std::uint64_t magnitude = number->u;
        if (number->kind == Kind::Integer && number->i < 0) {
            *out++ = '-';
            magnitude = 0 - magnitude;
        }
        // Two digits per division, from the back.
        char digits[24];
        char* d = digits + sizeof digits;
        while (magnitude >= 100) {
            const auto pair = static_cast<std::size_t>(magnitude % 100);
            magnitude /= 100;
            d -= 2;
            std::memcpy(d, kDigitPairs + 2 * pair, 2);
        }
        if (magnitude >= 10) {
            d -= 2;
            std::memcpy(d, kDigitPairs + 2 * magnitude, 2);
        } else {
            *--d = static_cast<char>('0' + magnitude);
        }
        std::size_t length = static_cast<std::size_t>(digits + sizeof digits - d);
        std::memcpy(out, d, length);
        m_cursor = out + length;
        return true;
    }

    bool EncodeState::writeArray(const Array& array)
    {
        writeStructural('[');
        std::size_t count = array.count();
        for (std::size_t i = 0; i < count && i < array.count(); ++i) {
            if (i)
                writeStructural(',');
            if (!writeValue(array.at(i)))
                return false;
        }
        writeStructural(']');
        return true;
    }

    bool EncodeState::writeKey(const Value& key)
    {
        if (!key.isString()) {
            recordError("Key must be a string object.");
            return false;
        }
        return writeValue(key);
    }

    bool EncodeState::writeDictionary(const Dictionary& dictionary)
    {
        writeStructural('{');
        if (!m_pretty) {
            bool first = true;
            for (const auto& entry : dictionary) {
                if (!first)
                    writeStructural(',');
                first = false;
                if (!writeKey(entry.key))
                    return false;
                writeStructural(':');
                if (!writeValue(entry.object))
                    return false;
            }
        } else {
            std::vector<const Dictionary::Entry*> entries;
            entries.reserve(dictionary.count());
            for (const auto& entry : dictionary) {
                if (!entry.key.isString()) {
                    recordError("Key must be a string object.");
                    return false;
                }
                entries.push_back(&entry);
            }
            std::sort(entries.begin(), entries.end(), [](const Dictionary::Entry* a, const Dictionary::Entry* b) {
                return a->key.stringValue() < b->key.stringValue();
            });
            for (std::size_t i = 0; i < entries.size(); ++i) {
                if (i)
                    writeStructural(',');
                if (!writeKey(entries[i]->key))
                    return false;
                writeStructural(':');
                if (!writeValue(entries[i]->object))
                    return false;
            }
        }
        writeStructural('}');
        return true;
    }

} // namespace

std::optional<std::string> Serializer::serializeObject(const Value& object, unsigned serializeOptions,
    unsigned encodeOption, const Formatter& block, FormatterDelegate* delegate, const char* selector, Error* error)
{
    Formatter delegateMethod;
    if (delegate) {
        if (!selector)
            throw InvalidArgumentException("The delegate argument is not NULL, but the selector argument is NULL.");
        delegateMethod = delegate->methodForSelector(selector);
        if (!delegateMethod)
            throw InvalidArgumentException(
                "The serializeUnsupportedClassesUsingDelegate: delegate does not respond to the selector argument.");
    }
    if (error)
        *error = Error {};

    EncodeState state(serializeOptions, &block, delegate ? &delegateMethod : nullptr);
    bool trimQuotes = (encodeOption & EncodeOptionStringObj) && (encodeOption & EncodeOptionStringObjTrimQuotes);
    std::optional<std::string> result;
    if (!object) {
        state.recordError("Unable to serialize object class nil.");
    } else if ((encodeOption & EncodeOptionCollectionObj) && !object.isArray() && !object.isDictionary()) {
        state.recordError(
            "Unable to serialize object class " + object.className() + ", expected a NSArray or NSDictionary.");
    } else if ((encodeOption & EncodeOptionStringObj) && !object.isString()) {
        state.recordError("Unable to serialize object class " + object.className() + ", expected a NSString.");
    } else if (state.writeValue(object, trimQuotes ? Quotes::Excluded : Quotes::Included)) {
        unsigned resultType = encodeOption & 7;
        if (resultType == EncodeOptionResultData || resultType == EncodeOptionResultString)
            result = state.takeOutput();
        else
            state.recordError("Unknown encode as type.");
    }
    if (state.failed()) {
        if (error)
            *error = std::move(*state.error());
        return std::nullopt;
    }
    return result;
}

namespace {

    std::optional<std::string> serialize(const Value& object, unsigned options, unsigned encodeOption,
        const Formatter& block = {}, FormatterDelegate* delegate = nullptr, const char* selector = nullptr,
        Error* error = nullptr)
    {
        return Serializer::serializeObject(object, options, encodeOption, block, delegate, selector, error);
    }

} // namespace

std::optional<std::string> JSONData(const Value& object)
{
    return object.isString() ? serialize(object, 0, 17) : serialize(object, 0, 9);
}

std::optional<std::string> JSONString(const Value& object)
{
    return object.isString() ? serialize(object, 0, 18) : serialize(object, 0, 10);
}

std::optional<std::string> JSONDataWithOptions(
    const Value& string, unsigned serializeOptions, Quotes includeQuotes, Error* error)
{
    return serialize(
        string, serializeOptions, includeQuotes == Quotes::Included ? 17 : 49, {}, nullptr, nullptr, error);
}

std::optional<std::string> JSONStringWithOptions(
    const Value& string, unsigned serializeOptions, Quotes includeQuotes, Error* error)
{
    return serialize(
        string, serializeOptions, includeQuotes == Quotes::Included ? 18 : 50, {}, nullptr, nullptr, error);
}

std::optional<std::string> JSONDataWithOptions(const Value& collection, unsigned serializeOptions, Error* error)
{
    return serialize(collection, serializeOptions, 9, {}, nullptr, nullptr, error);
}

std::optional<std::string> JSONDataWithOptions(
    const Value& collection, unsigned serializeOptions, const Formatter& block, Error* error)
{
    return serialize(collection, serializeOptions, 9, block, nullptr, nullptr, error);
}

std::optional<std::string> JSONDataWithOptions(
    const Value& collection, unsigned serializeOptions, FormatterDelegate* delegate, const char* selector, Error* error)
{
    return serialize(collection, serializeOptions, 9, {}, delegate, selector, error);
}

std::optional<std::string> JSONStringWithOptions(const Value& collection, unsigned serializeOptions, Error* error)
{
    return serialize(collection, serializeOptions, 10, {}, nullptr, nullptr, error);
}

std::optional<std::string> JSONStringWithOptions(
    const Value& collection, unsigned serializeOptions, const Formatter& block, Error* error)
{
    return serialize(collection, serializeOptions, 10, block, nullptr, nullptr, error);
}

std::optional<std::string> JSONStringWithOptions(
    const Value& collection, unsigned serializeOptions, FormatterDelegate* delegate, const char* selector, Error* error)
{
    return serialize(collection, serializeOptions, 10, {}, delegate, selector, error);
}

} // namespace json
