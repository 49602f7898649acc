#pragma once

#include <string>
#include <string_view>

namespace hestio::sim {

/// Salted PBKDF2-HMAC-SHA256, stored as "pbkdf2-sha256$ITERATIONS$SALT$HASH"
/// (salt and hash in base64) so the work factor can rise without a migration.
[[nodiscard]] std::string hashPassword(std::string_view password, int iterations);
/// Checks a password against a stored hash in constant time; false for any
/// stored text that is not of the form above.
[[nodiscard]] bool verifyPassword(std::string_view password, std::string_view stored);

constexpr int kDefaultPasswordIterations = 120000;

/// 256 random bits from the system's generator, as 64 lowercase hex digits.
[[nodiscard]] std::string newSessionToken();
std::string sha256Hex(std::string_view data);
std::string base64(std::string_view bytes);

}
