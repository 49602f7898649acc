// The parser's scanner: errors with their place, white space and comments,
// and the dispatch of the next token by its first byte.
#include "json/DecoderParser.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace json::detail {

bool Parser::fail(const char* format, ...)
{
    if (m_error)
        return false;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Error error;
    error.description = text;
    error.atIndex = static_cast<std::uint64_t>(m_cursor - m_start);
    error.lineNumber = m_line;
    m_error = std::move(error);
    return false;
}

bool Parser::failInternal(const char* format, int line)
{
    return fail(format, kSourceUnit, static_cast<long>(line));
}

bool Parser::skipLineBreak(const unsigned char*& p)
{
    unsigned char c = *p;
    if (c == '\n') {
        ++p;
        return true;
    }
    if (c == '\r') {
        ++p;
        if (p < m_end && *p == '\n')
            ++p;
        return true;
    }
    if (m_options & ParseOptionUnicodeLineBreaks) {
        if (c == 0xC2 && m_end - p >= 2 && p[1] == 0x85) {
            p += 2;
            return true;
        }
        if (c == 0xE2 && m_end - p >= 3 && p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9)) {
            p += 3;
            return true;
        }
    }
    return false;
}

void Parser::skipWhitespace()
{
    const unsigned char* p = m_cursor;
    // Indented text: a line break, a run of spaces and the next token. What
    // else comes (a carriage return, tabs, comments) goes the general way
    // below, from where this stopped.
    if (p < m_end && *p == '\n') {
        ++p;
        ++m_line;
    }
    while (m_end - p >= 8) {
        const std::uint64_t other = loadWord(p) ^ 0x2020202020202020ULL;
        if (other) {
            p += static_cast<unsigned>(__builtin_ctzll(other)) / 8;
            const unsigned char c = *p;
            if (c > ' ' && c != '/' && c < 0xC2) {
                m_cursor = p;
                return;
            }
            break;
        }
        p += 8;
    }
    while (p < m_end) {
        // Indentation comes in runs of spaces: eight at a time, and the
        // first byte that is no space found in the word it lies in.
        while (m_end - p >= 8) {
            const std::uint64_t other = loadWord(p) ^ 0x2020202020202020ULL;
            if (other) {
                p += static_cast<unsigned>(__builtin_ctzll(other)) / 8;
                break;
            }
            p += 8;
        }
        while (p < m_end && (*p == ' ' || *p == '\t'))
            ++p;
        if (p >= m_end)
            break;
        unsigned char c = *p;
        if (c > ' ' && c != '/' && c < 0xC2)
            break;
        if (skipLineBreak(p)) {
            ++m_line;
            continue;
        }
        if (c == '/' && (m_options & ParseOptionAllowComments) && p + 1 < m_end) {
            if (p[1] == '/') {
                p += 2;
                while (p < m_end) {
                    if (skipLineBreak(p)) {
                        ++m_line;
                        break;
                    }
                    ++p;
                }
                continue;
            }
            if (p[1] == '*') {
                // The search starts at the opening star, so "/*/" is a whole comment.
                ++p;
                bool closed = false;
                while (p < m_end) {
                    if (*p == '*' && p + 1 < m_end && p[1] == '/') {
                        p += 2;
                        closed = true;
                        break;
                    }
                    if (skipLineBreak(p))
                        ++m_line;
                    else
                        ++p;
                }
                if (!closed)
                    p = m_end;
                continue;
            }
        }
        break;
    }
    m_cursor = p;
}

bool Parser::nextToken()
{
    // Compact text has no white space between tokens: look before calling.
    if (m_cursor >= m_end || *m_cursor <= ' ' || *m_cursor == '/' || *m_cursor >= 0xC2)
        skipWhitespace();
    if (m_cursor >= m_end)
        return fail("%s", kUnexpectedToken);
    m_tokenStart = m_cursor;
    const std::size_t remaining = static_cast<std::size_t>(m_end - m_cursor);
    switch (*m_cursor) {
    case '"':
        return takeString();
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
        if (!parseNumber())
            return fail("%s", kUnexpectedToken);
        m_token = Token::Number;
        break;
    case '{':
        m_token = Token::ObjectBegin;
        ++m_cursor;
        break;
    case '}':
        m_token = Token::ObjectEnd;
        ++m_cursor;
        break;
    case '[':
        m_token = Token::ArrayBegin;
        ++m_cursor;
        break;
    case ']':
        m_token = Token::ArrayEnd;
        ++m_cursor;
        break;
    case ':':
        m_token = Token::Colon;
        ++m_cursor;
        break;
    case ',':
        m_token = Token::Comma;
        ++m_cursor;
        break;
    case 't':
        if (remaining < 5 || std::memcmp(m_cursor, "true", 4) != 0)
            return fail("%s", kUnexpectedToken);
        m_token = Token::True;
        m_cursor += 4;
        break;
    case 'n':
        if (remaining < 5 || std::memcmp(m_cursor, "null", 4) != 0)
            return fail("%s", kUnexpectedToken);
        m_token = Token::Null;
        m_cursor += 4;
        break;
    case 'f':
        if (remaining < 6 || std::memcmp(m_cursor, "false", 5) != 0)
            return fail("%s", kUnexpectedToken);
        m_token = Token::False;
        m_cursor += 5;
        break;
    default:
        return fail("%s", kUnexpectedToken);
    }
    m_tokenLength = static_cast<std::size_t>(m_cursor - m_tokenStart);
    return true;
}

bool Parser::failExpected(unsigned accepted, const char* valueName, const char* endName)
{
    const char* names[3];
    int n = 0;
    if (accepted & AcceptValue)
        names[n++] = valueName;
    if (accepted & AcceptComma)
        names[n++] = "a comma";
    if (accepted & AcceptEnd)
        names[n++] = endName;
    const int length = static_cast<int>(m_tokenLength);
    const char* token = reinterpret_cast<const char*>(m_tokenStart);
    if (n == 1)
        return fail("Expected %s, not '%*.*s'", names[0], length, length, token);
    return fail("Expected %s or %s, not '%*.*s'", names[0], names[1], length, length, token);
}

} // namespace json::detail
