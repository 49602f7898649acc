#include "platform/foundation/Redaction.h"

namespace hestio {

namespace {
    constexpr std::string_view kRedacted = "<redacted>";

    bool isNameCharacter(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
            || c == '.' || c == '%';
    }

    bool endsWithIgnoringCase(std::string_view text, std::string_view suffix)
    {
        if (text.size() < suffix.size())
            return false;
        text = text.substr(text.size() - suffix.size());
        for (size_t i = 0; i < suffix.size(); ++i) {
            char c = text[i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (c != suffix[i])
                return false;
        }
        return true;
    }

    bool isSecretName(std::string_view name)
    {
        return endsWithIgnoringCase(name, "token") || endsWithIgnoringCase(name, "password");
    }

    bool isBlank(char c)
    {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n';
    }

    /// The end of a form value starting at `from`: the next "&", blank or
    /// unescaped quote (the value may sit inside a quoted text).
    size_t formValueEnd(std::string_view text, size_t from)
    {
        size_t i = from;
        while (i < text.size() && text[i] != '&' && text[i] != '"' && !isBlank(text[i]))
            i += text[i] == '\\' && i + 1 < text.size() ? 2 : 1;
        return i;
    }

    /// The end of a JSON value starting at `from`: past the closing quote of
    /// a string, or up to the next "," "}" "]" or blank otherwise.
    size_t jsonValueEnd(std::string_view text, size_t from, bool& quoted)
    {
        quoted = from < text.size() && text[from] == '"';
        size_t i = from + (quoted ? 1 : 0);
        while (i < text.size()) {
            char c = text[i];
            if (quoted && c == '\\') {
                i += 2;
                continue;
            }
            if (quoted ? c == '"' : (c == ',' || c == '}' || c == ']' || isBlank(c)))
                break;
            ++i;
        }
        return i < text.size() ? i : text.size();
    }
}

std::string redactSecrets(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    size_t copied = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '=') {
            // name=value, the name running back to the last non-name character.
            size_t start = i;
            while (start > 0 && isNameCharacter(text[start - 1]))
                --start;
            if (start == i || !isSecretName(text.substr(start, i - start)))
                continue;
            size_t end = formValueEnd(text, i + 1);
            if (end == i + 1)
                continue;
            out.append(text.substr(copied, i + 1 - copied));
            out.append(kRedacted);
            copied = end;
            i = end - 1;
        } else if (c == '"') {
            // "name" : value
            size_t close = text.find('"', i + 1);
            if (close == std::string_view::npos)
                break;
            std::string_view name = text.substr(i + 1, close - i - 1);
            size_t colon = close + 1;
            while (colon < text.size() && isBlank(text[colon]))
                ++colon;
            if (colon >= text.size() || text[colon] != ':' || !isSecretName(name)) {
                // Not a secret's name; the scan goes on inside the quotes,
                // where a form value may sit. A closing quote taken for an
                // opening one is harmless: no ":" follows it.
                continue;
            }
            size_t value = colon + 1;
            while (value < text.size() && isBlank(text[value]))
                ++value;
            bool quoted = false;
            size_t end = jsonValueEnd(text, value, quoted);
            size_t first = value + (quoted ? 1 : 0);
            if (end <= first)
                continue;
            out.append(text.substr(copied, first - copied));
            out.append(kRedacted);
            copied = end;
            i = end - (quoted ? 0 : 1);
        }
    }
    out.append(text.substr(copied));
    return out;
}

}
