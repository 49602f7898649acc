#include "HubConfig.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace hestio::sim {

namespace {
    std::string_view trimmed(std::string_view text)
    {
        size_t first = text.find_first_not_of(" \t\r");
        if (first == std::string_view::npos)
            return {};
        return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
    }

    /// Reads the broker's URL or the listening address; the error's text.
    std::optional<std::string> readAddress(HubConfig& config, std::string_view key, const std::string& value)
    {
        if (key == "listen") {
            auto listen = parseListenAddress(value, key);
            if (!listen)
                return listen.error().message();
            config.listen = *listen;
            return std::nullopt;
        }
        auto broker = parseBrokerUrl(value);
        if (!broker) {
            // The parser's texts name the command-line option.
            std::string message = broker.error().message();
            if (message.rfind("--mqtt", 0) == 0)
                message.replace(0, 6, "mqtt_url");
            return message;
        }
        config.mqtt = *broker;
        return std::nullopt;
    }
}

platform::Result<HubConfig> parseHubConfig(std::string_view text)
{
    HubConfig config;
    int number = 0;
    while (!text.empty()) {
        ++number;
        size_t end = text.find('\n');
        std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        size_t equals = line.find('=');
        std::string where = "configuration line " + std::to_string(number);
        if (equals == std::string_view::npos)
            return platform::Error(where + " needs the form key = value");
        std::string_view key = trimmed(line.substr(0, equals));
        std::string value(trimmed(line.substr(equals + 1)));
        if (key == "mqtt_user")
            config.mqttUser = value;
        else if (key == "mqtt_password")
            config.mqttPassword = value;
        else if (key == "mqtt_ca_file")
            config.mqttCaFile = value;
        else if (key == "mapping_file")
            config.mappingFile = value;
        else if (key == "mqtt_url" || key == "listen") {
            if (auto error = readAddress(config, key, value))
                return platform::Error(where + ": " + *error);
        } else if (key == "keep_raw_days" || key == "keep_minute_days") {
            int days = 0;
            auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), days);
            if (error != std::errc() || end != value.data() + value.size() || days < 1 || days > 3660)
                return platform::Error(where + ": " + std::string(key) + " needs a number of days from 1 to 3660");
            (key == "keep_raw_days" ? config.keepRawDays : config.keepMinuteDays) = days;
        } else if (key == "bridge_base")
            config.bridgeBase = value == "none" ? "" : value;
        else
            return platform::Error(where + " has an unknown key " + std::string(key.substr(0, 40)));
        if (key == "bridge_base" && value.find_first_of("+#") != std::string::npos)
            return platform::Error(where + ": the bridge's base topic must not hold + or #");
    }
    return config;
}

platform::Result<HubConfig> loadHubConfig(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::filesystem::exists(file)
            ? platform::Result<HubConfig>(platform::Error("cannot read the configuration file " + file.string()))
            : platform::Result<HubConfig>(HubConfig {});
    std::ostringstream text;
    text << in.rdbuf();
    auto config = parseHubConfig(text.str());
    if (!config)
        return platform::Error(file.string() + ": " + config.error().message());
    auto resolve = [&](std::string& path) {
        if (!path.empty() && std::filesystem::path(path).is_relative())
            path = (file.parent_path() / path).string();
    };
    resolve(config->mqttCaFile);
    resolve(config->mappingFile);
    return config;
}

}
