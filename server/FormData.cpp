#include "FormData.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace hestio::sim {

namespace {
    int hexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }
}

std::string percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        int high = c == '%' && i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
        int low = high >= 0 ? hexValue(text[i + 2]) : -1;
        if (c == '+') {
            out += ' ';
        } else if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            // The app sends POST bodies unescaped, so a "%" the user typed
            // ("charged to 80%") arrives bare; it means itself rather than
            // failing the request.
            out += c;
        }
    }
    return out;
}

std::string percentEncode(std::string_view text)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

namespace {
    /// The length of the UTF-8 sequence at `i`, or 0 when none starts there.
    size_t sequenceLength(std::string_view text, size_t i)
    {
        auto c = static_cast<unsigned char>(text[i]);
        size_t extra;
        uint32_t cp;
        if (c < 0x80) {
            return 1;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return 0;
        }
        if (i + extra >= text.size())
            return 0;
        for (size_t k = 1; k <= extra; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return 0;
            cp = (cp << 6) | (next & 0x3F);
        }
        bool overlong = (extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
        if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return 0;
        return extra + 1;
    }
}

bool isValidUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        size_t length = sequenceLength(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string toValidUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t length = sequenceLength(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD REPLACEMENT CHARACTER
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

platform::Status FormData::add(std::string_view text)
{
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('&', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view pair = text.substr(start, end - start);
        start = end + 1;
        if (pair.empty())
            continue; // "a=1&&b=2" and a leading "&" carry empty pairs; they mean nothing
        size_t equals = pair.find('=');
        std::string key = percentDecode(pair.substr(0, equals));
        std::string value
            = percentDecode(equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
        if (!isValidUtf8(key) || !isValidUtf8(value))
            return platform::Error("parameter is not valid UTF-8");
        if (key.empty())
            return platform::Error("parameter without a name");
        auto existing = std::find_if(m_pairs.begin(), m_pairs.end(), [&](const auto& p) { return p.first == key; });
        if (existing != m_pairs.end()) {
            // The client appends the current token last; a movement re-sent
            // from the failed-movement file still carries the token it was
            // first sent with before it. The last token is the one that counts.
            if (key == "token") {
                existing->second = std::move(value);
                continue;
            }
            if (existing->second != value)
                return platform::Error("parameter " + key + " is given more than once with different values");
            continue;
        }
        if (m_pairs.size() == kMaxParameters)
            return platform::Error("too many parameters");
        m_pairs.emplace_back(std::move(key), std::move(value));
    }
    return {};
}

bool FormData::has(std::string_view key) const
{
    return std::any_of(m_pairs.begin(), m_pairs.end(), [&](const auto& p) { return p.first == key; });
}

std::optional<std::string> FormData::get(std::string_view key) const
{
    for (const auto& [name, value] : m_pairs) {
        if (name == key)
            return value;
    }
    return std::nullopt;
}

}
