#include "Faults.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <utility>

namespace hestio::faultproxy {

namespace {

    constexpr std::array<std::pair<Fault, std::string_view>, 12> names { {
        { Fault::Pass, "pass" },
        { Fault::InvalidJson, "invalid-json" },
        { Fault::Truncated, "truncated" },
        { Fault::HtmlError, "html-error" },
        { Fault::EmptyBody, "empty" },
        { Fault::Stall, "stall" },
        { Fault::Drop, "drop" },
        { Fault::Huge, "huge" },
        { Fault::Nested, "nested" },
        { Fault::WrongCertificate, "wrong-certificate" },
        { Fault::Delay, "delay" },
        { Fault::Rewrite, "rewrite" },
    } };

    std::string_view reasonPhrase(int status)
    {
        switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        default:
            return "Status";
        }
    }

    std::string head(const Reply& reply, std::size_t declaredLength)
    {
        std::string text
            = "HTTP/1.1 " + std::to_string(reply.status) + " " + std::string(reasonPhrase(reply.status)) + "\r\n";
        if (!reply.contentType.empty())
            text += "Content-Type: " + reply.contentType + "\r\n";
        text += "Content-Length: " + std::to_string(declaredLength) + "\r\nConnection: close\r\n\r\n";
        return text;
    }

    std::string_view trim(std::string_view text)
    {
        auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
        while (!text.empty() && blank(text.front()))
            text.remove_prefix(1);
        while (!text.empty() && blank(text.back()))
            text.remove_suffix(1);
        return text;
    }

    std::size_t skipBlanks(std::string_view text, std::size_t at)
    {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
            ++at;
        return at;
    }

    /// Just past the closing quote of the string whose opening quote is at
    /// `at`, or the end of the text when it is not closed.
    std::size_t endOfString(std::string_view text, std::size_t at)
    {
        for (std::size_t i = at + 1; i < text.size(); ++i) {
            if (text[i] == '\\')
                ++i;
            else if (text[i] == '"')
                return i + 1;
        }
        return text.size();
    }

    /// Just past the number starting at `at`; `at` itself when none starts
    /// there.
    std::size_t endOfNumber(std::string_view text, std::size_t at)
    {
        auto digit
            = [&](std::size_t i) { return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); };
        std::size_t end = at < text.size() && text[at] == '-' ? at + 1 : at;
        if (!digit(end))
            return at;
        while (end < text.size() && std::string_view("0123456789+-.eE").find(text[end]) != std::string_view::npos)
            ++end;
        return end;
    }

}

std::optional<Fault> faultNamed(std::string_view name)
{
    for (const auto& [fault, text] : names) {
        if (text == name)
            return fault;
    }
    return std::nullopt;
}

std::string_view nameOf(Fault fault)
{
    for (const auto& [each, text] : names) {
        if (each == fault)
            return text;
    }
    return "?";
}

std::string responseBytes(const Reply& reply)
{
    return head(reply, reply.body.size()) + reply.body;
}

std::string truncatedResponseBytes(const Reply& reply)
{
    return head(reply, reply.body.size()) + reply.body.substr(0, reply.body.size() / 2);
}

Reply invalidJsonReply()
{
    // Starts like an answer and then breaks off into something no JSON
    // reader accepts.
    return { 200, "application/json", "{\"success\":true,\"devices\":[{\"name\": oops,,}" };
}

Reply htmlErrorReply()
{
    return { 502, "text/html",
        "<!DOCTYPE html>\n<html><head><title>502 Bad Gateway</title></head>\n"
        "<body><h1>Bad Gateway</h1><p>The service did not answer.</p></body></html>\n" };
}

Reply emptyReply()
{
    return { 200, "application/json", "" };
}

Reply nestedReply(std::size_t depth)
{
    std::string body;
    body.reserve(depth * 2 + 4);
    body.append(depth, '[');
    body += "true";
    body.append(depth, ']');
    return { 200, "application/json", std::move(body) };
}

Reply hugeReply(const Reply& upstream, std::size_t bytes)
{
    std::string_view body = trim(upstream.body);
    std::string rest;
    if (body.size() >= 2 && body.front() == '{') {
        std::string_view inside = trim(body.substr(1));
        rest = !inside.empty() && inside.front() == '}' ? std::string(inside) : "," + std::string(inside);
    } else {
        rest = ",\"success\":false}";
    }
    std::string padded = "{\"padding\":\"";
    std::size_t fill = bytes > padded.size() + rest.size() + 1 ? bytes - padded.size() - rest.size() - 1 : 1;
    padded.reserve(bytes + 16);
    padded.append(fill, 'x');
    padded += '"';
    padded += rest;
    return { upstream.status, "application/json", std::move(padded) };
}

std::optional<NumberRewrite> NumberRewrite::parse(std::string_view keyAndText)
{
    std::size_t equals = keyAndText.find('=');
    if (equals == std::string_view::npos || equals == 0 || equals + 1 == keyAndText.size())
        return std::nullopt;
    return NumberRewrite { std::string(keyAndText.substr(0, equals)), std::string(keyAndText.substr(equals + 1)) };
}

RewrittenBody rewriteNumbers(std::string_view body, const std::vector<NumberRewrite>& rewrites)
{
    RewrittenBody rewritten;
    rewritten.body.reserve(body.size());
    std::size_t at = 0;
    while (at < body.size()) {
        if (body[at] != '"') {
            rewritten.body += body[at++];
            continue;
        }
        std::size_t stringEnd = endOfString(body, at);
        rewritten.body.append(body.substr(at, stringEnd - at));
        if (stringEnd == body.size())
            break;
        // A string followed by a colon is a member name.
        std::string_view name = body.substr(at + 1, stringEnd - at - 2);
        at = stringEnd;
        std::size_t colon = skipBlanks(body, at);
        if (colon >= body.size() || body[colon] != ':')
            continue;
        std::size_t value = skipBlanks(body, colon + 1);
        std::size_t valueEnd = endOfNumber(body, value);
        auto rewrite = std::find_if(
            rewrites.begin(), rewrites.end(), [&](const NumberRewrite& each) { return each.key == name; });
        if (valueEnd == value || rewrite == rewrites.end())
            continue;
        rewritten.body.append(body.substr(at, value - at));
        rewritten.body += rewrite->text;
        ++rewritten.replaced;
        at = valueEnd;
    }
    return rewritten;
}

DelaySchedule::DelaySchedule(std::vector<double> seconds)
    : m_seconds(std::move(seconds))
{
}

std::optional<std::vector<double>> DelaySchedule::parse(std::string_view list)
{
    std::vector<double> seconds;
    while (true) {
        std::size_t comma = list.find(',');
        std::string_view item = trim(list.substr(0, comma));
        double value = 0;
        auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (item.empty() || error != std::errc() || end != item.data() + item.size() || !(value >= 0))
            return std::nullopt;
        seconds.push_back(value);
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    return seconds;
}

double DelaySchedule::next()
{
    std::lock_guard lock(m_mutex);
    return m_seconds[m_taken++ % m_seconds.size()];
}

std::optional<RequestHead> parseRequestHead(std::string_view text)
{
    RequestHead request;
    std::size_t lineEnd = text.find("\r\n");
    std::string_view line = text.substr(0, lineEnd);
    std::size_t first = line.find(' ');
    std::size_t last = line.rfind(' ');
    if (first == std::string_view::npos || last == first || line.substr(last + 1).rfind("HTTP/1.", 0) != 0)
        return std::nullopt;
    request.method = std::string(line.substr(0, first));
    request.target = std::string(line.substr(first + 1, last - first - 1));
    if (request.method.empty() || request.target.empty() || request.target.front() != '/')
        return std::nullopt;
    while (lineEnd != std::string_view::npos) {
        std::size_t start = lineEnd + 2;
        lineEnd = text.find("\r\n", start);
        std::string_view header = text.substr(start, lineEnd == std::string_view::npos ? text.npos : lineEnd - start);
        if (header.empty())
            continue;
        std::size_t colon = header.find(':');
        if (colon == std::string_view::npos || colon == 0)
            return std::nullopt;
        std::string name(header.substr(0, colon));
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        request.headers[name] = std::string(trim(header.substr(colon + 1)));
    }
    if (auto it = request.headers.find("content-length"); it != request.headers.end()) {
        const std::string& value = it->second;
        auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), request.contentLength);
        if (error != std::errc() || end != value.data() + value.size())
            return std::nullopt;
    }
    return request;
}

FaultSelector::FaultSelector(const std::string& pattern, unsigned count, unsigned every)
    : m_pattern(pattern, std::regex::ECMAScript)
    , m_count(count)
    , m_every(every == 0 ? 1 : every)
{
}

bool FaultSelector::matches(const std::string& requestText) const
{
    return std::regex_search(requestText, m_pattern);
}

bool FaultSelector::take(const std::string& requestText)
{
    if (!matches(requestText))
        return false;
    return takeConnection();
}

bool FaultSelector::takeConnection()
{
    std::lock_guard lock(m_mutex);
    unsigned ordinal = m_seen++;
    if (ordinal % m_every != 0 || (m_count != 0 && m_taken >= m_count))
        return false;
    ++m_taken;
    return true;
}

}
