#include "Crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <charconv>
#include <optional>
#include <stdexcept>
#include <vector>

namespace hestio::sim {

namespace {
    constexpr size_t kSaltBytes = 16;
    constexpr size_t kHashBytes = 32;

    std::string hex(const unsigned char* bytes, size_t size)
    {
        static const char* digits = "0123456789abcdef";
        std::string out;
        out.reserve(size * 2);
        for (size_t i = 0; i < size; ++i) {
            out += digits[bytes[i] >> 4];
            out += digits[bytes[i] & 15];
        }
        return out;
    }

    std::string randomBytes(size_t count)
    {
        std::string bytes(count, '\0');
        if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(count)) != 1)
            throw std::runtime_error("the system's random generator failed");
        return bytes;
    }

    std::string derive(std::string_view password, std::string_view salt, int iterations)
    {
        std::string out(kHashBytes, '\0');
        if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), iterations,
                EVP_sha256(), static_cast<int>(kHashBytes), reinterpret_cast<unsigned char*>(out.data()))
            != 1)
            throw std::runtime_error("password hashing failed");
        return out;
    }

    std::optional<std::string> unbase64(std::string_view text)
    {
        if (text.size() % 4 != 0)
            return std::nullopt;
        std::string out(text.size() / 4 * 3, '\0');
        int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
            reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
        if (n < 0)
            return std::nullopt;
        size_t padding = 0;
        for (size_t i = text.size(); i > 0 && text[i - 1] == '='; --i)
            ++padding;
        out.resize(static_cast<size_t>(n) - padding);
        return out;
    }
}

std::string base64(std::string_view bytes)
{
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string hashPassword(std::string_view password, int iterations)
{
    std::string salt = randomBytes(kSaltBytes);
    return "pbkdf2-sha256$" + std::to_string(iterations) + "$" + base64(salt) + "$"
        + base64(derive(password, salt, iterations));
}

bool verifyPassword(std::string_view password, std::string_view stored)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        size_t end = stored.find('$', start);
        parts.push_back(stored.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    if (parts.size() != 4 || parts[0] != "pbkdf2-sha256")
        return false;
    int iterations = 0;
    auto [ptr, ec] = std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), iterations);
    if (ec != std::errc() || ptr != parts[1].data() + parts[1].size() || iterations < 1 || iterations > 10000000)
        return false;
    auto salt = unbase64(parts[2]);
    auto expected = unbase64(parts[3]);
    if (!salt || !expected || expected->size() != kHashBytes)
        return false;
    std::string actual = derive(password, *salt, iterations);
    return CRYPTO_memcmp(actual.data(), expected->data(), kHashBytes) == 0;
}

std::string newSessionToken()
{
    std::string bytes = randomBytes(32);
    return hex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string sha256Hex(std::string_view data)
{
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
    return hex(digest, sizeof digest);
}

}
