#pragma once

#include "FormData.h"
#include "Service.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace hestio::sim {

/// The reply of a request that changed something and has nothing more to say.
inline json::Value okReply()
{
    return json::Value::dictionary({ { "success", true } });
}

/// Typed reading of request parameters; each failure is a RequestError with a
/// reason that names the parameter.
[[nodiscard]] std::string requireText(const FormData& params, std::string_view key);
/// A text of 1 to `maxLength` bytes (or 0 to `maxLength` when `allowEmpty`).
[[nodiscard]] std::string requireName(
    const FormData& params, std::string_view key, size_t maxLength, bool allowEmpty = false);
int64_t requireInteger(const FormData& params, std::string_view key);
int64_t requireIntegerIn(const FormData& params, std::string_view key, int64_t lowest, int64_t highest);
[[nodiscard]] double requireNumberIn(const FormData& params, std::string_view key, double lowest, double highest);
/// "true" or "false"; `fallback` when absent.
[[nodiscard]] bool optionalFlag(const FormData& params, std::string_view key, bool fallback);
/// Whether a flag such as delete=true is given; any value but "true" is refused.
[[nodiscard]] bool isTrue(const FormData& params, std::string_view key);

}
