#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace hestio::faultproxy {

/// How the proxy misbehaves for a chosen request.
enum class Fault {
    Pass, ///< forwards everything unchanged
    InvalidJson, ///< 200 with a body that is not JSON
    Truncated, ///< the service's reply cut off halfway, then the connection closes
    HtmlError, ///< 502 with an HTML error page, as a gateway in front of a dead service sends
    EmptyBody, ///< 200 with no body at all
    Stall, ///< reads the request and answers nothing for a long time
    Drop, ///< reads the request and closes the connection without a word
    Huge, ///< the service's reply padded to a very large size (still valid JSON)
    Nested, ///< 200 with valid but absurdly deeply nested JSON
    WrongCertificate, ///< the connection presents another certificate
    Delay, ///< waits, then forwards the request and its reply unchanged (a slow network)
    Rewrite, ///< forwards, then writes other texts in place of chosen numbers of the reply (see NumberRewrite)
};

std::optional<Fault> faultNamed(std::string_view name);
/// "6,2,4" as seconds; none unless every item is a number of seconds >= 0.
std::string_view nameOf(Fault fault);

/// One HTTP reply, as the service sent it or as a fault makes it up.
struct Reply {
    int status { 200 };
    std::string contentType { "application/json" };
    std::string body;
};

/// The bytes of a complete HTTP/1.1 response that closes the connection.
std::string responseBytes(const Reply& reply);
/// The head of `reply` announcing its whole body but only the first half of
/// the body: the client sees the connection end early.
std::string truncatedResponseBytes(const Reply& reply);

Reply invalidJsonReply();
Reply htmlErrorReply();
Reply emptyReply();
/// `depth` arrays inside each other around a true value.
Reply nestedReply(std::size_t depth);
/// `upstream` with a padding string entry added at the front of its top-level
/// object, so the reply stays valid JSON and carries everything the service
/// said; at least `bytes` long. A body that is not an object becomes
/// {"success":false,"padding":…}.
Reply hugeReply(const Reply& upstream, std::size_t bytes);

/// One replacement of the rewrite fault: the number value of every object
/// member named `key`, at any depth, becomes `text`, written as it is. The
/// text need not be a number that the client can read ("1e999" overflows a
/// double; "null" or "\"12\"" change the type), which is the point.
struct NumberRewrite {
    /// The member name as it appears between its quotes.
    std::string key;
    std::string text;
    /// "KEY=TEXT" with neither part empty (the first '=' splits them); none
    /// otherwise.
    static std::optional<NumberRewrite> parse(std::string_view keyAndText);
    bool operator==(const NumberRewrite&) const = default;
};

/// `body` with each rewrite applied, and how many values were replaced.
/// Only numbers that are the value of a member with the rewrite's key change;
/// strings (also one that looks like a key), other members, array elements
/// and the layout stay byte for byte. Text that is not JSON is scanned the
/// same way as far as it goes, never read past its end.
struct RewrittenBody {
    std::string body;
    std::size_t replaced { 0 };
};
RewrittenBody rewriteNumbers(std::string_view body, const std::vector<NumberRewrite>& rewrites);

/// How long each delayed request waits, in seconds: the nth one waits the
/// nth value of the list, starting again at the first after the last, so
/// "5,2" makes the first reply come after the second. Thread-safe.
class DelaySchedule {
public:
    /// "S[,S...]" with each S a non-negative number; none when it is not.
    static std::optional<std::vector<double>> parse(std::string_view list);
    /// `seconds` not empty.
    explicit DelaySchedule(std::vector<double> seconds);
    double next();

private:
    std::vector<double> m_seconds;
    std::size_t m_taken { 0 };
    std::mutex m_mutex;
};

/// The request line and headers of one HTTP request.
struct RequestHead {
    std::string method;
    std::string target;
    /// Header names in lower case.
    std::map<std::string, std::string> headers;
    std::size_t contentLength { 0 };
};
/// Parses the text up to (not including) the blank line; none when it is not
/// an HTTP/1.x request head.
std::optional<RequestHead> parseRequestHead(std::string_view head);

/// Decides which requests get the fault: those whose text "METHOD TARGET
/// BODY" matches the pattern (searched, not anchored); of those the 1st,
/// the (every+1)th, the (2·every+1)th…, at most `count` of them (0: no
/// limit). Thread-safe.
class FaultSelector {
public:
    FaultSelector(const std::string& pattern, unsigned count, unsigned every = 1);
    bool matches(const std::string& requestText) const;
    /// True (and counts it) when this matching request is one to spoil.
    bool take(const std::string& requestText);
    /// For faults chosen per connection: the first `count` connections.
    bool takeConnection();

private:
    std::regex m_pattern;
    unsigned m_count;
    unsigned m_every;
    std::mutex m_mutex;
    unsigned m_seen { 0 };
    unsigned m_taken { 0 };
};

}
