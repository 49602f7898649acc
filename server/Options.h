#pragma once

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
    int port { 8443 };
    uint64_t seed { 1 };
    bool seedGiven { false };
    /// The household is made with at least this many devices (0: the demo's own).
    int devices { 0 };
    int64_t tokenTtlSeconds { 3600 };
    bool printPin { false };
    bool help { false };
};

/// Reads the command line; an error text for an unknown option or a bad value.
/// Folders not given default to $XDG_DATA_HOME/hestio-sim (or
/// ~/.local/share/hestio-sim) and the database inside it.
std::optional<std::string> parseOptions(const std::vector<std::string>& arguments, Options& options);

std::string usageText();

}
