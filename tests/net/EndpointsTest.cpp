#include "net/Endpoints.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

using namespace hestio;

namespace {
struct Literal {
    std::string text; ///< as written between the quotes, escapes and all
    int line;
};

bool isIdentifierCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

/// The string literals of a C++ source, skipping comments, character
/// literals and digit separators, which could otherwise pass for quotes.
class LiteralScanner {
public:
    explicit LiteralScanner(std::string_view source)
        : m_source(source)
    {
    }

    std::vector<Literal> scan()
    {
        while (m_at < m_source.size()) {
            char c = m_source[m_at];
            if (startsWith("//"))
                skipPast("\n");
            else if (startsWith("/*"))
                skipPast("*/");
            else if (std::isdigit(static_cast<unsigned char>(c)))
                skipNumber();
            else if (isIdentifierCharacter(c))
                identifier();
            else if (c == '"' || c == '\'')
                quoted(c);
            else
                advance(1);
        }
        return std::move(m_found);
    }

private:
    bool startsWith(std::string_view text) const { return m_source.substr(m_at, text.size()) == text; }

    void advance(size_t count)
    {
        for (size_t end = std::min(m_at + count, m_source.size()); m_at < end; ++m_at)
            m_line += m_source[m_at] == '\n';
    }

    /// Moves past the next `end` after the two characters that open a comment.
    void skipPast(std::string_view end)
    {
        size_t found = m_source.find(end, m_at + 2);
        advance(found == std::string_view::npos ? m_source.size() : found + end.size() - m_at);
    }

    /// A preprocessing number: 3'600'000, 0x1F, 1.5e+3.
    void skipNumber()
    {
        advance(1);
        while (m_at < m_source.size()) {
            char c = m_source[m_at];
            char previous = m_source[m_at - 1];
            bool separator = c == '\'' && m_at + 1 < m_source.size() && isIdentifierCharacter(m_source[m_at + 1]);
            bool exponentSign
                = (c == '+' || c == '-') && std::string_view("eEpP").find(previous) != std::string_view::npos;
            if (!isIdentifierCharacter(c) && c != '.' && !separator && !exponentSign)
                return;
            advance(1);
        }
    }

    /// A name, or the prefix of a literal (u8, L, R, u8R…).
    void identifier()
    {
        size_t start = m_at;
        while (m_at < m_source.size() && isIdentifierCharacter(m_source[m_at]))
            advance(1);
        std::string_view word = m_source.substr(start, m_at - start);
        bool rawPrefix = word == "R" || word == "LR" || word == "uR" || word == "UR" || word == "u8R";
        if (rawPrefix && startsWith("\""))
            rawString();
    }

    void rawString()
    {
        size_t open = m_source.find('(', m_at);
        if (open == std::string_view::npos) {
            advance(m_source.size());
            return;
        }
        std::string closing = ")" + std::string(m_source.substr(m_at + 1, open - m_at - 1)) + "\"";
        size_t close = m_source.find(closing, open + 1);
        if (close == std::string_view::npos)
            close = m_source.size();
        int line = m_line;
        m_found.push_back({ std::string(m_source.substr(open + 1, close - open - 1)), line });
        advance(close - m_at + closing.size());
    }

    void quoted(char quote)
    {
        int line = m_line;
        size_t end = m_at + 1;
        while (end < m_source.size() && m_source[end] != quote && m_source[end] != '\n')
            end += m_source[end] == '\\' ? 2 : 1;
        end = std::min(end, m_source.size());
        if (quote == '"')
            m_found.push_back({ std::string(m_source.substr(m_at + 1, end - m_at - 1)), line });
        advance(end - m_at + 1);
    }

    std::string_view m_source;
    size_t m_at { 0 };
    int m_line { 1 };
    std::vector<Literal> m_found;
};

std::vector<std::string> literalTexts(std::string_view source)
{
    std::vector<std::string> texts;
    for (auto& literal : LiteralScanner(source).scan())
        texts.push_back(literal.text);
    return texts;
}

/// Whether a literal writes a path of the service (or a piece of one) that
/// belongs in the endpoint table instead.
bool looksLikeServicePath(std::string_view text)
{
    if (text.starts_with("/api") || text.find("/api/") != std::string_view::npos || text.starts_with("/session/"))
        return true;
    std::string_view path = text.substr(0, text.find('?'));
    for (const endpoints::Endpoint* endpoint : endpoints::kAll) {
        if (path == endpoint->routePath())
            return true;
    }
    return false;
}

bool isTheTable(const std::filesystem::path& file)
{
    return file.filename() == "Endpoints.h" && file.parent_path().filename() == "net";
}

std::string contentsOf(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
}

TEST(Endpoints, TheScannerFindsTheLiteralsTheCompilerSees)
{
    struct Case {
        std::string source;
        std::vector<std::string> literals;
    };
    const Case cases[] = {
        { R"(a = "/x"; // "/y")", { "/x" } },
        { R"(/* "/y"
             */ b = "/z";)",
            { "/z" } },
        { R"(c = '"'; d = "/w";)", { "/w" } },
        { R"(e = '\''; f = "/v";)", { "/v" } },
        { R"(g = 3'600'000; h = "/u"; i = 0x1'F;)", { "/u" } },
        { R"(j = 1.5e+3'0; k = "/t";)", { "/t" } },
        { R"(l = "a\"b" "c\\";)", { R"(a\"b)", R"(c\\)" } },
        { R"cpp(m = R"(x "y" z)";)cpp", { R"(x "y" z)" } },
        { R"cpp(n = R"sql(a)" b)sql"; o = "/s";)cpp", { R"x(a)" b)x", "/s" } },
        { R"cpp(p = u8"/r"; q = L'x'; s = LR"(/q)";)cpp", { "/r", "/q" } },
        { R"(t = "//not a comment"; u = "/*nor this*/";)", { "//not a comment", "/*nor this*/" } },
        { R"(#include "net/Endpoints.h")", { "net/Endpoints.h" } },
        { R"(v = "unterminated
             w = "/p";)",
            { "unterminated", "/p" } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(literalTexts(c.source), c.literals) << c.source;

    auto literals = LiteralScanner("a;\n/* one\ntwo */ \"x\"\n// \"y\"\n\"z\"").scan();
    ASSERT_EQ(literals.size(), 2u);
    EXPECT_EQ(literals[0].line, 3);
    EXPECT_EQ(literals[1].line, 5);
}

TEST(Endpoints, ServicePathsAreRecognisedInAnyForm)
{
    for (std::string_view text : { "/session", "/session?", "/session/", "/api", "/api/", "/api/device", "/api/action?",
             "/api/nothing", "https://host/kivoraserver/api/device" })
        EXPECT_TRUE(looksLikeServicePath(text)) << text;
    for (std::string_view text : { "", "/", "/kivoraserver", "/sessions", "session", "api", "net/Endpoints.h",
             "/usr/share/hestio", "Network Failure!" })
        EXPECT_FALSE(looksLikeServicePath(text)) << text;
}

TEST(Endpoints, NoPathOfTheServiceIsWrittenOutsideTheTable)
{
    // The client and hestio-hub both take their paths from the table; a path
    // written anywhere else could drift from it unnoticed.
    const std::filesystem::path root = HESTIO_SOURCE_DIR;
    size_t files = 0;
    std::set<std::string> pathsInTheTable;
    std::vector<std::string> stray;
    for (const char* folder : { "src", "server" }) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root / folder)) {
            std::string extension = entry.path().extension().string();
            if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp"))
                continue;
            ++files;
            for (const Literal& literal : LiteralScanner(contentsOf(entry.path())).scan()) {
                if (!looksLikeServicePath(literal.text))
                    continue;
                if (isTheTable(entry.path()))
                    pathsInTheTable.insert(literal.text);
                else
                    stray.push_back(std::filesystem::relative(entry.path(), root).string() + ":"
                        + std::to_string(literal.line) + ": \"" + literal.text + "\"");
            }
        }
    }
    EXPECT_GT(files, 200u) << "the scan did not reach the sources";
    // The scan recognises every path where it is meant to be written.
    std::set<std::string> expected;
    for (const endpoints::Endpoint* endpoint : endpoints::kAll)
        expected.insert(endpoint->path);
    EXPECT_EQ(pathsInTheTable, expected);
    std::string list;
    for (const auto& line : stray)
        list += "\n  " + line;
    EXPECT_TRUE(stray.empty()) << "paths written outside net/Endpoints.h; use the table:" << list;
}

TEST(Endpoints, TheTableServesTwelvePathsWithTheirMethods)
{
    struct Case {
        std::string_view path;
        bool get;
        bool post;
    };
    const Case cases[] = {
        { "/session", false, true },
        { "/api/location", true, true },
        { "/api/movement", true, true },
        { "/api/user", true, true },
        { "/api/device", true, true },
        { "/api/action", false, true },
        { "/api/suggestion", false, true },
        { "/api/status", true, false },
        { "/api/energyconsumption", true, false },
        { "/api/battery", true, false },
        { "/api/activity", true, true },
        { "/api/schedule", true, true },
    };
    std::set<std::string_view> paths;
    for (const endpoints::Endpoint* endpoint : endpoints::kAll)
        paths.insert(endpoint->routePath());
    EXPECT_EQ(paths.size(), std::size(cases));
    for (const auto& c : cases) {
        EXPECT_EQ(endpoints::isServed(c.path, endpoints::Method::Get), c.get) << c.path;
        EXPECT_EQ(endpoints::isServed(c.path, endpoints::Method::Post), c.post) << c.path;
    }
    EXPECT_FALSE(endpoints::isServed("/api/action?", endpoints::Method::Post)) << "the service never sees the \"?\"";
    EXPECT_FALSE(endpoints::isServed("/api/device/", endpoints::Method::Get));
}
