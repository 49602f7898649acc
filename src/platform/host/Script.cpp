#include "platform/host/Script.h"

#include "platform/foundation/Result.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace hestio::platform {

namespace {

    struct Token {
        enum class Kind { Word, String, Identifier };
        Kind kind;
        std::string text;
        bool quoted() const { return kind == Kind::String; }
    };

    struct KeywordEntry {
        const char* keyword;
        StepKind kind;
    };

    constexpr KeywordEntry keywords[] = {
        { "tap", StepKind::Tap },
        { "tap-at", StepKind::Tap },
        { "double-tap", StepKind::DoubleTap },
        { "long-press", StepKind::LongPress },
        { "type", StepKind::Type },
        { "return", StepKind::Return },
        { "backspace", StepKind::Backspace },
        { "key", StepKind::Key },
        { "swipe", StepKind::Swipe },
        { "drag", StepKind::Drag },
        { "pull-to-refresh", StepKind::PullToRefresh },
        { "pinch", StepKind::Pinch },
        { "wait", StepKind::Wait },
        { "wait-for", StepKind::WaitFor },
        { "wait-for-not", StepKind::WaitForNot },
        { "wait-for-alert", StepKind::WaitForAlert },
        { "wait-for-log", StepKind::WaitForLog },
        { "wait-for-idle", StepKind::WaitForIdle },
        { "wait-for-still", StepKind::WaitForStill },
        { "expect", StepKind::Expect },
        { "expect-not", StepKind::ExpectNot },
        { "expect-focus", StepKind::ExpectFocus },
        { "expect-text-fits", StepKind::ExpectTextFits },
        { "expect-alert", StepKind::ExpectAlert },
        { "expect-log", StepKind::ExpectLog },
        { "screenshot", StepKind::Screenshot },
        { "location", StepKind::Location },
        { "background", StepKind::Background },
        { "foreground", StepKind::Foreground },
        { "push", StepKind::Push },
    };

    bool isSpace(char c)
    {
        return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
    }

    /// Quotes a token for a message, keeping control bytes readable.
    std::string quote(std::string_view text)
    {
        std::string out = "\"";
        for (char c : text.substr(0, 60)) {
            auto u = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                out += '\\';
                out += c;
            } else if (u < 0x20 || u == 0x7f) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02x", u);
                out += buf;
            } else {
                out += c;
            }
        }
        if (text.size() > 60)
            out += "…";
        return out + "\"";
    }

    /// Splits one line into tokens; words end at blanks, strings at their
    /// closing quote. Double-quoted strings know \" \\ \n \t; single-quoted
    /// strings are taken as they are (JSON payloads keep their own escapes).
    class LineTokenizer {
    public:
        explicit LineTokenizer(std::string_view line)
            : m_cur(line.data())
            , m_end(line.data() + line.size())
        {
        }

        Result<std::vector<Token>> tokenize()
        {
            std::vector<Token> out;
            while (true) {
                while (m_cur < m_end && isSpace(*m_cur))
                    ++m_cur;
                if (m_cur == m_end)
                    return out;
                if (*m_cur == '"' || *m_cur == '\'') {
                    auto literal = *m_cur == '"' ? readDoubleQuoted() : readSingleQuoted();
                    if (!literal)
                        return literal.error();
                    out.push_back(std::move(*literal));
                } else {
                    const char* start = m_cur;
                    while (m_cur < m_end && !isSpace(*m_cur) && *m_cur != '"' && *m_cur != '\'')
                        ++m_cur;
                    std::string word(start, m_cur);
                    if (word[0] == '#') {
                        if (word.size() == 1)
                            return Error("# must be followed by an accessibility identifier");
                        out.push_back({ Token::Kind::Identifier, word.substr(1) });
                    } else {
                        out.push_back({ Token::Kind::Word, std::move(word) });
                    }
                }
            }
        }

    private:
        Result<Token> readDoubleQuoted()
        {
            ++m_cur;
            std::string text;
            while (m_cur < m_end && *m_cur != '"') {
                char c = *m_cur++;
                if (c != '\\') {
                    text += c;
                    continue;
                }
                if (m_cur == m_end)
                    break;
                char e = *m_cur++;
                switch (e) {
                case '"':
                case '\\':
                    text += e;
                    break;
                case 'n':
                    text += '\n';
                    break;
                case 't':
                    text += '\t';
                    break;
                default:
                    return Error("unknown escape \\" + std::string(1, e) + " in a string (known: \\\" \\\\ \\n \\t)");
                }
            }
            if (m_cur == m_end)
                return Error("unterminated string (a closing \" is missing)");
            ++m_cur;
            return Token { Token::Kind::String, std::move(text) };
        }

        Result<Token> readSingleQuoted()
        {
            const char* start = ++m_cur;
            while (m_cur < m_end && *m_cur != '\'')
                ++m_cur;
            if (m_cur == m_end)
                return Error("unterminated string (a closing ' is missing)");
            Token token { Token::Kind::String, std::string(start, m_cur) };
            ++m_cur;
            return token;
        }

        const char* m_cur;
        const char* m_end;
    };

    /// Reads the arguments of one step, left to right.
    class StepParser {
    public:
        StepParser(const std::vector<Token>& tokens, Step& step, std::string_view keyword)
            : m_tokens(tokens)
            , m_step(step)
            , m_keyword(keyword)
        {
        }

        Status parse();

    private:
        bool atEnd() const { return m_index >= m_tokens.size(); }
        const Token& peek() const { return m_tokens[m_index]; }
        bool peekNumber() const { return !atEnd() && peek().kind == Token::Kind::Word && toNumber(peek().text); }

        static std::optional<double> toNumber(const std::string& text)
        {
            double value = 0;
            const char* begin = text.data();
            const char* end = begin + text.size();
            if (begin != end && *begin == '+')
                ++begin;
            auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::general);
            if (ec != std::errc() || ptr != end || !std::isfinite(value))
                return std::nullopt;
            return value;
        }

        Status number(const char* what, double& out)
        {
            if (atEnd())
                return Error(m_keyword + " needs " + what + usage());
            const Token& token = m_tokens[m_index++];
            auto value = token.kind == Token::Kind::Word ? toNumber(token.text) : std::nullopt;
            if (!value)
                return Error(quote(token.text) + " is not a number (" + m_keyword + " needs " + what + ")");
            out = *value;
            return {};
        }

        /// Whether a text argument may also be written as a bare word.
        enum class TextForm { Quoted, QuotedOrWord };

        Status string(const char* what, std::string& out, TextForm form = TextForm::Quoted)
        {
            bool wordAllowed = form == TextForm::QuotedOrWord;
            if (atEnd() || !(peek().quoted() || (wordAllowed && peek().kind == Token::Kind::Word)))
                return Error(m_keyword + " needs " + what + usage());
            out = m_tokens[m_index++].text;
            return {};
        }

        /// What a step's touch may be aimed at.
        enum class TargetForm { TextOrIdentifier, TextIdentifierOrPoint };

        /// "Text" or #identifier, and X Y with TargetForm::TextIdentifierOrPoint.
        Status target(TargetForm form)
        {
            bool allowPoint = form == TargetForm::TextIdentifierOrPoint;
            const char* what = allowPoint ? "\"Text\", #identifier or X Y" : "\"Text\" or #identifier";
            if (atEnd())
                return Error(m_keyword + " needs " + what + usage());
            const Token& token = peek();
            auto& t = m_step.target;
            if (token.kind == Token::Kind::String) {
                t.kind = StepTarget::Kind::Text;
                t.name = token.text;
                ++m_index;
            } else if (token.kind == Token::Kind::Identifier) {
                t.kind = StepTarget::Kind::Identifier;
                t.name = token.text;
                ++m_index;
            } else if (allowPoint && peekNumber()) {
                t.kind = StepTarget::Kind::Point;
                if (auto read = number("X Y", t.point.x); !read)
                    return read;
                if (auto read = number("X Y", t.point.y); !read)
                    return read;
            } else {
                return Error(m_keyword + " needs " + what + ", not " + quote(token.text) + usage());
            }
            return {};
        }

        Status point(Point& out)
        {
            if (auto read = number("X Y", out.x); !read)
                return read;
            return number("X Y", out.y);
        }

        /// An optional `on "Text"|#id`.
        Status optionalOn()
        {
            if (atEnd())
                return {};
            if (peek().kind != Token::Kind::Word || peek().text != "on")
                return Error("expected on \"Text\" or on #identifier, not " + quote(peek().text) + usage());
            ++m_index;
            return target(TargetForm::TextOrIdentifier);
        }

        /// The optional TIMEOUT that ends every wait-for step.
        Status optionalTimeout()
        {
            m_step.seconds = defaultWaitForTimeout;
            if (atEnd())
                return {};
            if (auto read = number("TIMEOUT", m_step.seconds); !read)
                return read;
            if (m_step.seconds < 0 || m_step.seconds > 86400)
                return Error("the " + m_keyword + " timeout is 0 to 86400 seconds");
            return {};
        }

        Status finish()
        {
            if (!atEnd())
                return Error("unexpected " + quote(peek().text) + " after the step" + usage());
            return {};
        }

        std::string usage() const;

        /// The arguments of the step's kind, without the check that nothing
        /// follows them.
        Status arguments();
        Status tapArguments();
        Status keyArguments();
        Status swipeArguments();
        Status dragArguments();
        Status pinchArguments();
        Status waitArguments();
        /// "Text" or #identifier, then the optional timeout.
        Status waitForTargetArguments();
        /// A quoted text, then the optional timeout.
        Status waitForTextArguments(const char* what);
        Status screenshotArguments();
        Status locationArguments();

        const std::vector<Token>& m_tokens;
        Step& m_step;
        std::string m_keyword;
        std::size_t m_index { 1 };
    };

    std::string StepParser::usage() const
    {
        switch (m_step.kind) {
        case StepKind::Tap:
            return m_keyword == "tap-at" ? " (tap-at X Y)" : " (tap \"Text\" | tap #id)";
        case StepKind::DoubleTap:
        case StepKind::LongPress:
            return " (" + m_keyword + " \"Text\" | #id | X Y)";
        case StepKind::Type:
            return " (type \"text\")";
        case StepKind::Key:
            return " (key Tab|Shift+Tab|Return|Space|Escape|Left|Right|Up|Down|Ctrl+1…Ctrl+9)";
        case StepKind::Swipe:
            return " (swipe left|right|up|down [on \"Text\"|#id])";
        case StepKind::Drag:
            return " (drag X1 Y1 X2 Y2 [SECONDS])";
        case StepKind::PullToRefresh:
            return " (pull-to-refresh [on \"Text\"|#id])";
        case StepKind::Pinch:
            return " (pinch X Y SCALE)";
        case StepKind::Wait:
            return " (wait SECONDS)";
        case StepKind::WaitFor:
        case StepKind::WaitForNot:
            return " (" + m_keyword + " \"Text\"|#id [TIMEOUT])";
        case StepKind::WaitForAlert:
            return " (wait-for-alert \"Title\" [TIMEOUT])";
        case StepKind::WaitForLog:
            return " (wait-for-log \"line\" [TIMEOUT])";
        case StepKind::WaitForIdle:
        case StepKind::WaitForStill:
            return " (" + m_keyword + " [TIMEOUT])";
        case StepKind::Expect:
        case StepKind::ExpectNot:
        case StepKind::ExpectFocus:
            return " (" + m_keyword + " \"Text\"|#id)";
        case StepKind::ExpectAlert:
            return " (expect-alert \"Title\")";
        case StepKind::ExpectLog:
            return " (expect-log \"line\")";
        case StepKind::Screenshot:
            return " (screenshot FILE.png)";
        case StepKind::Location:
            return " (location LAT LON)";
        case StepKind::Push:
            return " (push '{\"aps\":{\"alert\":\"…\"}}')";
        case StepKind::Return:
        case StepKind::Backspace:
        case StepKind::Background:
        case StepKind::Foreground:
        case StepKind::ExpectTextFits:
            return " (" + m_keyword + " takes no arguments)";
        }
        return {};
    }

    Status StepParser::parse()
    {
        if (auto read = arguments(); !read)
            return read;
        return finish();
    }

    Status StepParser::arguments()
    {
        Step& s = m_step;
        switch (s.kind) {
        case StepKind::Tap:
            return tapArguments();
        case StepKind::DoubleTap:
        case StepKind::LongPress:
            return target(TargetForm::TextIdentifierOrPoint);
        case StepKind::Type:
            return string("a quoted text", s.text);
        case StepKind::Key:
            return keyArguments();
        case StepKind::Swipe:
            return swipeArguments();
        case StepKind::Drag:
            return dragArguments();
        case StepKind::PullToRefresh:
            return optionalOn();
        case StepKind::Pinch:
            return pinchArguments();
        case StepKind::Wait:
            return waitArguments();
        case StepKind::WaitFor:
        case StepKind::WaitForNot:
            return waitForTargetArguments();
        case StepKind::WaitForAlert:
            return waitForTextArguments("a quoted title");
        case StepKind::WaitForLog:
            return waitForTextArguments("a quoted line");
        case StepKind::WaitForIdle:
        case StepKind::WaitForStill:
            return optionalTimeout();
        case StepKind::Expect:
        case StepKind::ExpectNot:
        case StepKind::ExpectFocus:
            return target(TargetForm::TextOrIdentifier);
        case StepKind::ExpectAlert:
            return string("a quoted title", s.text);
        case StepKind::ExpectLog:
            return string("a quoted line", s.text);
        case StepKind::Screenshot:
            return screenshotArguments();
        case StepKind::Location:
            return locationArguments();
        case StepKind::Push:
            return string("a quoted JSON payload", s.text);
        case StepKind::Return:
        case StepKind::Backspace:
        case StepKind::Background:
        case StepKind::Foreground:
        case StepKind::ExpectTextFits:
            break;
        }
        return {};
    }

    Status StepParser::tapArguments()
    {
        if (m_keyword == "tap-at") {
            m_step.target.kind = StepTarget::Kind::Point;
            return point(m_step.target.point);
        }
        return target(TargetForm::TextOrIdentifier);
    }

    Status StepParser::keyArguments()
    {
        std::string name;
        if (auto read = string("a key name", name, TextForm::QuotedOrWord); !read)
            return read;
        auto key = KeyPress::named(name);
        if (!key)
            return Error(quote(name) + " is not a key" + usage());
        m_step.key = *key;
        return {};
    }

    Status StepParser::swipeArguments()
    {
        Step& s = m_step;
        if (atEnd() || peek().kind != Token::Kind::Word)
            return Error("swipe needs a direction" + usage());
        const std::string& d = m_tokens[m_index++].text;
        if (d == "left")
            s.direction = SwipeDirection::Left;
        else if (d == "right")
            s.direction = SwipeDirection::Right;
        else if (d == "up")
            s.direction = SwipeDirection::Up;
        else if (d == "down")
            s.direction = SwipeDirection::Down;
        else
            return Error(quote(d) + " is not a direction" + usage());
        return optionalOn();
    }

    Status StepParser::dragArguments()
    {
        Step& s = m_step;
        if (auto read = point(s.from); !read)
            return read;
        if (auto read = point(s.to); !read)
            return read;
        s.seconds = defaultDragSeconds;
        if (!atEnd()) {
            if (auto read = number("SECONDS", s.seconds); !read)
                return read;
            if (s.seconds <= 0 || s.seconds > 60)
                return Error("a drag lasts more than 0 and at most 60 seconds");
        }
        return {};
    }

    Status StepParser::pinchArguments()
    {
        Step& s = m_step;
        if (auto read = point(s.to); !read)
            return read;
        if (auto read = number("SCALE", s.scale); !read)
            return read;
        if (s.scale <= 0 || s.scale > 100)
            return Error("the pinch scale must be more than 0 and at most 100 (below 1 pinches in, above 1 spreads)");
        return {};
    }

    Status StepParser::waitArguments()
    {
        Step& s = m_step;
        if (auto read = number("SECONDS", s.seconds); !read)
            return read;
        if (s.seconds < 0 || s.seconds > 86400)
            return Error("wait takes 0 to 86400 seconds");
        return {};
    }

    Status StepParser::waitForTargetArguments()
    {
        if (auto read = target(TargetForm::TextOrIdentifier); !read)
            return read;
        return optionalTimeout();
    }

    Status StepParser::waitForTextArguments(const char* what)
    {
        if (auto read = string(what, m_step.text); !read)
            return read;
        return optionalTimeout();
    }

    Status StepParser::screenshotArguments()
    {
        Step& s = m_step;
        if (auto read = string("a file name", s.text, TextForm::QuotedOrWord); !read)
            return read;
        if (s.text.empty())
            return Error("screenshot needs a file name" + usage());
        return {};
    }

    Status StepParser::locationArguments()
    {
        Step& s = m_step;
        if (auto read = number("LAT LON", s.latitude); !read)
            return read;
        if (auto read = number("LAT LON", s.longitude); !read)
            return read;
        if (std::abs(s.latitude) > 90)
            return Error("latitude must be between -90 and 90");
        if (std::abs(s.longitude) > 180)
            return Error("longitude must be between -180 and 180");
        return {};
    }

    std::string_view trim(std::string_view s)
    {
        while (!s.empty() && isSpace(s.front()))
            s.remove_prefix(1);
        while (!s.empty() && isSpace(s.back()))
            s.remove_suffix(1);
        return s;
    }

    std::string formatNumber(double value)
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", value);
        return buf;
    }

}

std::string StepTarget::describe() const
{
    switch (kind) {
    case Kind::None:
        return "the screen";
    case Kind::Text:
        return quote(name);
    case Kind::Identifier:
        return "#" + name;
    case Kind::Point:
        return formatNumber(point.x) + " " + formatNumber(point.y);
    }
    return {};
}

std::string ScriptError::describe() const
{
    return "line " + std::to_string(line) + ": " + message;
}

const char* stepKeyword(StepKind kind)
{
    for (const auto& entry : keywords)
        if (entry.kind == kind)
            return entry.keyword;
    return "?";
}

Script Script::parse(std::string_view text)
{
    Script script;
    int lineNumber = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t newline = text.find('\n', pos);
        std::string_view line
            = text.substr(pos, newline == std::string_view::npos ? std::string_view::npos : newline - pos);
        pos = newline == std::string_view::npos ? text.size() + 1 : newline + 1;
        ++lineNumber;

        line = trim(line);
        if (line.empty() || line.front() == '#')
            continue;
        auto fail = [&](std::string message) {
            script.error = ScriptError { lineNumber, std::move(message) };
            script.steps.clear();
            return script;
        };
        if (line.find('\0') != std::string_view::npos)
            return fail("the line holds a NUL byte");

        Result<std::vector<Token>> tokenized = LineTokenizer(line).tokenize();
        if (!tokenized)
            return fail(tokenized.error().message());
        const std::vector<Token>& tokens = *tokenized;
        if (tokens[0].kind != Token::Kind::Word)
            return fail("a step starts with its keyword, not " + quote(tokens[0].text));

        const KeywordEntry* entry = nullptr;
        for (const auto& candidate : keywords)
            if (tokens[0].text == candidate.keyword)
                entry = &candidate;
        if (!entry)
            return fail("unknown step " + quote(tokens[0].text));

        Step step;
        step.kind = entry->kind;
        step.line = lineNumber;
        step.source = std::string(line);
        if (auto parsed = StepParser(tokens, step, entry->keyword).parse(); !parsed)
            return fail(parsed.error().message());
        script.steps.push_back(std::move(step));
    }
    return script;
}

}
