#pragma once

#include <string>
#include <string_view>

namespace hestio {

/// `text` with the value of every secret parameter replaced by "<redacted>",
/// for logging a URL, a query, a form body or a JSON text. A parameter is
/// secret when its name ends in "token" or "password", in any case (token,
/// push_token, password, new_password). "token=1f2e&x=1" becomes
/// "token=<redacted>&x=1" and "\"password\": \"pw\"" becomes
/// "\"password\": \"<redacted>\""; everything else is kept as it was.
[[nodiscard]] std::string redactSecrets(std::string_view text);

}
