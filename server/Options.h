#pragma once

#include "HubConfig.h"
#include "ListenAddress.h"
#include "MqttLink.h"

#include "platform/foundation/Result.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace hestio::sim {

struct Options {
    std::filesystem::path dataFolder;
    std::filesystem::path database;
    bool reset { false };
    /// Where to listen; `--port N` is short for `--listen 127.0.0.1:N`.
    ListenAddress listen;
    /// Whether --listen or --port gave it (else the configuration file may).
    bool listenGiven { false };
    uint64_t seed { 1 };
    bool seedGiven { false };
    /// The household is made with at least this many devices (0: the demo's own).
    int devices { 0 };
    int64_t tokenTtlSeconds { 3600 };
    /// Days the service's clock runs ahead of the machine's (behind when
    /// negative), so that tests can see what a week later looks like.
    int clockOffsetDays { 0 };
    static constexpr int maximumClockOffsetDays = 3660;
    /// The household's time zone when the database is made; empty: the
    /// machine's own zone.
    std::string zone;
    /// The simulated demo household (`--demo`); without it the household's
    /// devices come from MQTT.
    bool demo { false };
    /// The broker of a real household.
    std::optional<BrokerAddress> mqtt;
    std::filesystem::path mqttCaFile;
    /// For tests only: a broker topic whose messages step the service's
    /// clock forward, so that a week can pass in seconds.
    std::string testClockTopic;
    /// The hub's configuration file (default: DIR/hub.conf).
    std::filesystem::path configFile;
    bool printPin { false };
    /// `hestio-hub pin`: the pin as text and as a QR code.
    bool pinCommand { false };
    bool help { false };
    bool version { false };
};

/// Reads the command line; an Error names an unknown option or a bad value.
/// Folders not given default to $XDG_DATA_HOME/hestio-hub (or
/// ~/.local/share/hestio-hub) and the database inside it. Which household
/// to serve is checked when serving (`missingHouseholdText`), since the
/// printing and administering commands need none.
platform::Result<Options> parseOptions(const std::vector<std::string>& arguments);

[[nodiscard]] std::string usageText();

/// Takes from the configuration file what the command line left open: the
/// listening address and the broker (a command-line value wins; --demo
/// keeps the broker out). An Error for a combination that cannot serve.
platform::Result<Options> withHubConfig(Options options, const HubConfig& config);

/// Why serving cannot start when neither `--demo` nor a broker is given;
/// empty when one is.
[[nodiscard]] std::string missingHouseholdText(const Options& options);

[[nodiscard]] std::filesystem::path defaultDataFolder();

/// The data folder of older versions, named after the service's former
/// name; moved to the new default once when only the old one exists.
[[nodiscard]] std::filesystem::path formerDefaultDataFolder();

/// The machine's time zone as a zone name (from $TZ or /etc/localtime);
/// "UTC" when it cannot be told.
[[nodiscard]] std::string machineTimeZone();

/// Whether `zone` names a time zone the service knows ("Europe/Berlin").
[[nodiscard]] bool isKnownTimeZone(const std::string& zone);

}
