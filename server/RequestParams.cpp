#include "RequestParams.h"

#include <charconv>
#include <cmath>

namespace hestio::sim {

std::string requireText(const FormData& params, std::string_view key)
{
    auto value = params.get(key);
    if (!value)
        throw RequestError(400, "missing parameter " + std::string(key));
    return *value;
}

std::string requireName(const FormData& params, std::string_view key, size_t maxLength, bool allowEmpty)
{
    std::string value = requireText(params, key);
    if (value.empty() && !allowEmpty)
        throw RequestError(400, "parameter " + std::string(key) + " must not be empty");
    if (value.size() > maxLength)
        throw RequestError(
            400, "parameter " + std::string(key) + " is longer than " + std::to_string(maxLength) + " bytes");
    return value;
}

int64_t requireInteger(const FormData& params, std::string_view key)
{
    std::string text = requireText(params, key);
    int64_t value = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        throw RequestError(400, "parameter " + std::string(key) + " must be a whole number");
    return value;
}

int64_t requireIntegerIn(const FormData& params, std::string_view key, int64_t lowest, int64_t highest)
{
    int64_t value = requireInteger(params, key);
    if (value < lowest || value > highest)
        throw RequestError(400,
            "parameter " + std::string(key) + " must lie between " + std::to_string(lowest) + " and "
                + std::to_string(highest));
    return value;
}

double requireNumberIn(const FormData& params, std::string_view key, double lowest, double highest)
{
    std::string text = requireText(params, key);
    double value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value))
        throw RequestError(400, "parameter " + std::string(key) + " must be a number");
    if (value < lowest || value > highest)
        throw RequestError(400, "parameter " + std::string(key) + " is out of range");
    return value;
}

bool optionalFlag(const FormData& params, std::string_view key, bool fallback)
{
    auto value = params.get(key);
    if (!value)
        return fallback;
    if (*value == "true")
        return true;
    if (*value == "false")
        return false;
    throw RequestError(400, "parameter " + std::string(key) + " must be true or false");
}

bool isTrue(const FormData& params, std::string_view key)
{
    auto value = params.get(key);
    if (!value)
        return false;
    if (*value != "true")
        throw RequestError(400, "parameter " + std::string(key) + " must be true");
    return true;
}

}
