// The hub's configuration file and its listening address, and the QR code of
// what a person is shown: any bytes are read or refused with a reason, and
// any text that fits is encoded into a well-formed symbol.
#include "FormData.h"
#include "HubConfig.h"
#include "ListenAddress.h"
#include "QrCode.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

using namespace hestio::sim;

namespace {
[[noreturn]] void failCheck(const char* what, std::string_view detail)
{
    std::fprintf(stderr, "check failed: %s: %.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

void checkListenAddress(std::string_view text)
{
    auto address = parseListenAddress(text, "--listen");
    if (!address)
        return;
    if (address->port < 0 || address->port > 65535 || address->host.empty())
        failCheck("an address taken with no host or a port out of range", text);
    // What the hub prints reads back as the same address.
    auto again = parseListenAddress(address->text(), "--listen");
    if (!again || !(*again == *address))
        failCheck("a printed address that does not read back", address->text());
}

void checkQrCode(std::string_view text)
{
    try {
        QrCode code(text);
        if (static_cast<int>(text.size()) > QrCode::capacity(code.version()) || code.size() != 17 + 4 * code.version())
            failCheck("a symbol too small for its text", text);
        if (code.version() > 1 && static_cast<int>(text.size()) <= QrCode::capacity(code.version() - 1))
            failCheck("a symbol larger than needed", text);
        if (!code.dark(0, 0) || !code.dark(8, code.size() - 8) || code.terminalText().empty())
            failCheck("a symbol without its finder or dark module", text);
    } catch (const std::length_error&) {
        if (static_cast<int>(text.size()) <= QrCode::capacity(QrCode::kMaxVersion))
            failCheck("a text that fits was refused", text);
    }
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto config = parseHubConfig(text);
    if (!config && (config.error().message().empty() || config.error().message().size() > 400))
        failCheck("a refusal without a short reason", text);
    if (config && config->listen && config->listen->host.empty())
        failCheck("a listening address without a host", text);
    checkListenAddress(text);
    checkQrCode(text);
    return 0;
}
