#pragma once

#include "platform/foundation/Result.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hestio::sim {

/// Parameters of a form-encoded body or query (application/x-www-form-urlencoded):
/// pairs joined by "&", "+" for a blank, "%XX" for any byte. Decoded values
/// must be UTF-8. A parameter given several times is accepted only when every
/// copy is the same, except "token", whose last copy counts (the client
/// repeats the token on every GET, and a re-sent movement carries its old
/// token before the current one).
class FormData {
public:
    /// Adds the pairs of `text`; an Error says what is malformed.
    platform::Status add(std::string_view text);

    [[nodiscard]] bool has(std::string_view key) const;
    /// The parameter's value, or nothing when it was not given.
    [[nodiscard]] std::optional<std::string> get(std::string_view key) const;
    [[nodiscard]] size_t size() const { return m_pairs.size(); }

    static constexpr size_t kMaxParameters = 64;

private:
    std::vector<std::pair<std::string, std::string>> m_pairs;
};

/// Decodes one form-encoded component. A "%" that does not start an escape of
/// two hexadecimal digits stands for itself.
[[nodiscard]] std::string percentDecode(std::string_view text);
/// Encodes every byte that is not unreserved, for building requests in tests and tools.
[[nodiscard]] std::string percentEncode(std::string_view text);
[[nodiscard]] bool isValidUtf8(std::string_view text);
/// `text` with every byte that starts no valid UTF-8 sequence replaced by
/// U+FFFD, for echoing what a client sent in a JSON reply.
std::string toValidUtf8(std::string_view text);

}
