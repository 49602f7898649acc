// The service's form parsing: arbitrary bytes as a query or body, then every
// typed read of the parameters. Refusals are RequestErrors; anything else
// escaping, or a parse that keeps invalid text, is a fault.
#include "FormData.h"
#include "RequestParams.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace hestio::sim;

namespace {
[[noreturn]] void failCheck(const char* what, std::string_view detail)
{
    std::fprintf(stderr, "check failed: %s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

template<typename Read> void readRefusingOnlyWithReasons(Read read)
{
    try {
        read();
    } catch (const RequestError& error) {
        if (error.status() < 400 || error.status() > 499 || std::string_view(error.what()).empty())
            failCheck("a refusal without a client status and reason", error.what());
    }
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);

    std::string decoded = percentDecode(text);
    if (decoded.size() > text.size())
        failCheck("decoding made the text longer", text);
    if (percentDecode(percentEncode(text)) != text)
        failCheck("an encoded text did not decode to itself", text);

    // The first line is the query, the rest the body, as a POST carries them.
    size_t newline = text.find('\n');
    FormData params;
    auto queryError = params.add(text.substr(0, newline));
    auto bodyError = newline == std::string_view::npos ? std::nullopt : params.add(text.substr(newline + 1));
    if (params.size() > FormData::kMaxParameters)
        failCheck("more parameters kept than allowed", text);
    if (queryError || bodyError)
        return 0;

    for (const char* key : { "token", "name", "password", "title", "latitude", "timestamp", "delete", "new",
             "device_id", "from", "to", "repeatDays", "startHour", "x" }) {
        auto value = params.get(key);
        if (value && !isValidUtf8(*value))
            failCheck("a kept value is not UTF-8", *value);
        // Missing parameters are refused the same way each time; reading only
        // the given ones keeps the runs fast.
        if (!value && key[0] != 'x')
            continue;
        readRefusingOnlyWithReasons([&] { requireText(params, key); });
        readRefusingOnlyWithReasons([&] { requireName(params, key, 100); });
        readRefusingOnlyWithReasons([&] { requireName(params, key, 0, true); });
        readRefusingOnlyWithReasons([&] { requireInteger(params, key); });
        readRefusingOnlyWithReasons([&] { requireIntegerIn(params, key, 0, 253402300799999); });
        readRefusingOnlyWithReasons([&] {
            double number = requireNumberIn(params, key, -90, 90);
            if (!(number >= -90 && number <= 90))
                failCheck("a number outside its range was taken", *params.get(key));
        });
        readRefusingOnlyWithReasons([&] { optionalFlag(params, key, false); });
        readRefusingOnlyWithReasons([&] { isTrue(params, key); });
    }
    return 0;
}
