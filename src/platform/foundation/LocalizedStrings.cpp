#include "platform/foundation/LocalizedStrings.h"

#include "platform/foundation/Assets.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/Log.h"

#include <fstream>
#include <optional>
#include <sstream>

namespace hestio::platform {

namespace {

    // One cursor over one line of the table.
    class LineReader {
    public:
        explicit LineReader(std::string_view line)
            : m_line(line)
        {
        }

        void skipBlanks()
        {
            while (m_position < m_line.size() && (m_line[m_position] == ' ' || m_line[m_position] == '\t'))
                ++m_position;
        }

        bool atEnd() const { return m_position >= m_line.size(); }

        [[nodiscard]] bool consume(char expected)
        {
            skipBlanks();
            if (atEnd() || m_line[m_position] != expected)
                return false;
            ++m_position;
            return true;
        }

        bool atComment() const { return m_line.substr(m_position, 2) == "//"; }

        std::optional<std::string> quoted()
        {
            if (!consume('"'))
                return std::nullopt;
            std::string text;
            while (!atEnd()) {
                char c = m_line[m_position++];
                if (c == '"')
                    return text;
                if (c != '\\') {
                    text += c;
                    continue;
                }
                if (atEnd())
                    return std::nullopt;
                switch (char escaped = m_line[m_position++]) {
                case 'n':
                    text += '\n';
                    break;
                case 't':
                    text += '\t';
                    break;
                case '"':
                case '\\':
                    text += escaped;
                    break;
                default:
                    return std::nullopt;
                }
            }
            return std::nullopt;
        }

    private:
        std::string_view m_line;
        std::size_t m_position { 0 };
    };

}

LocalizedStrings::LocalizedStrings(std::map<std::string, std::string> table)
    : m_table(std::move(table))
{
}

std::filesystem::path LocalizedStrings::folder()
{
    // The same folder as the images: an installed binary started from any
    // working directory still finds its tables.
    return std::filesystem::path(assetsDirectory()) / "strings";
}

LocalizedStrings LocalizedStrings::parse(std::string_view text, const std::string& sourceName)
{
    std::map<std::string, std::string> table;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        LineReader reader(line);
        reader.skipBlanks();
        if (reader.atEnd() || reader.atComment())
            continue;
        auto key = reader.quoted();
        bool equals = key && reader.consume('=');
        auto value = equals ? reader.quoted() : std::nullopt;
        bool terminated = value && reader.consume(';');
        if (terminated)
            reader.skipBlanks();
        if (!terminated || !(reader.atEnd() || reader.atComment())) {
            log(format("%s:%zu: not a \"key\" = \"value\"; line, skipped", sourceName.c_str(), lineNumber));
            continue;
        }
        table.insert_or_assign(std::move(*key), std::move(*value));
    }
    return LocalizedStrings(std::move(table));
}

LocalizedStrings LocalizedStrings::load(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream contents;
    contents << in.rdbuf();
    return parse(contents.str(), file.string());
}

const LocalizedStrings& LocalizedStrings::shared()
{
    static const LocalizedStrings table = [] {
        std::string language = Locale::current().identifier();
        language = language.substr(0, language.find('_'));
        auto directory = folder();
        std::error_code code;
        if (!std::filesystem::exists(directory / (language + ".strings"), code))
            language = "en";
        return load(directory / (language + ".strings"));
    }();
    return table;
}

std::string LocalizedStrings::lookup(const std::string& key) const
{
    auto it = m_table.find(key);
    return it == m_table.end() ? key : it->second;
}

std::string localizedString(const std::string& key)
{
    return LocalizedStrings::shared().lookup(key);
}

}
