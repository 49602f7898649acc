#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace hestio {

/// Which service the app talks to and how it recognises it: the host
/// ("name" or "name:port") and the public-key pin of its certificate
/// ("sha256//BASE64"). Read from "Service.plist" in the profile's config
/// folder ({"host": …, "pin": …}); the command line (--service-host,
/// --service-pin) overrides it; without either, the embedded service on
/// this machine.
struct ServiceConfiguration {
    static constexpr const char* defaultHost = "localhost:8443";

    std::string host { defaultHost };
    std::string pin;

    /// The configuration file's values over the defaults; a missing or
    /// damaged file gives the defaults.
    static ServiceConfiguration load(const std::filesystem::path& configDirectory);
    /// Queues writing the file on the disk writer; `done` is told whether
    /// it was kept (a failure leaves the old file).
    void save(const std::filesystem::path& configDirectory, std::function<void(bool kept)> done) const;

    /// The host name alone, without the port, as the TLS layer matches it.
    [[nodiscard]] std::string hostName() const;
};

}
