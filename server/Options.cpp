#include "Options.h"

#include <unicode/timezone.h>

#include <charconv>
#include <cstdlib>
#include <memory>

namespace hestio::sim {

namespace {
    template<typename T> bool readNumber(const std::string& text, T& out)
    {
        auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
        return !text.empty() && ec == std::errc() && ptr == text.data() + text.size();
    }

    std::filesystem::path dataHome()
    {
        const char* xdg = std::getenv("XDG_DATA_HOME");
        if (xdg && *xdg == '/')
            return xdg;
        const char* home = std::getenv("HOME");
        return std::filesystem::path(home && *home ? home : ".") / ".local" / "share";
    }

}

std::filesystem::path defaultDataFolder()
{
    return dataHome() / "hestio-hub";
}

std::filesystem::path formerDefaultDataFolder()
{
    return dataHome() / "hestio-sim";
}

std::string missingHouseholdText(const Options& options)
{
    if (options.demo || options.mqtt)
        return {};
    return "say which household to serve: --demo for the simulated demo household, or --mqtt URL (mqtt_url in "
        + options.configFile.string() + ") for your own plugs";
}

std::string usageText()
{
    return R"(Usage: hestio-hub --demo [OPTION]...
  or:  hestio-hub --mqtt URL [OPTION]...
  or:  hestio-hub user add NAME [--admin] | user passwd NAME | user remove NAME
                  | user list   [--data DIR] [--db FILE]
  or:  hestio-hub household [--name TEXT] [--zone ZONE] [--data DIR] [--db FILE]
  or:  hestio-hub pin [--data DIR]
The household's home-energy service, over HTTPS (on 127.0.0.1 unless told
otherwise) under /kivoraserver: with --demo a simulated demo household (users
demo, password demo, administrator, and sam, password sam, member); with
--mqtt the household's own metering plugs, read from its MQTT broker.

  --data DIR         data folder for the database, certificate and key
                     (default: $XDG_DATA_HOME/hestio-hub, or ~/.local/share/hestio-hub)
  --db FILE          database file (default: DIR/hestio-hub.db)
  --reset            delete the database and start over with a new demo
                     household (the certificate is kept, so its pin stays)
  --demo             serve the simulated demo household
  --mqtt URL         serve the household's own plugs, read from the MQTT
                     broker at URL (mqtt://HOST:PORT, or mqtts://HOST:PORT
                     over TLS); the broker's user and password come from the
                     configuration file, never from the command line
  --mqtt-ca FILE     certificate authorities that vouch for an mqtts broker
                     (default: the system's)
  --config FILE      the hub's configuration file (default: DIR/hub.conf),
                     lines of key = value: mqtt_url, mqtt_user,
                     mqtt_password, mqtt_ca_file, mapping_file, bridge_base,
                     listen, keep_raw_days (default 35), keep_minute_days
                     (default 400); the command line wins over the file
  --listen ADDRESS:PORT
                     where to listen (default 127.0.0.1:8443, this machine
                     only): 0.0.0.0:8443 serves the household's network,
                     an address of one interface only that network, and
                     [::]:8443 IPv6 as well; PORT 0 picks a free port
  --port N           short for --listen 127.0.0.1:N
  --seed N           seed of the simulated household, used when the database
                     is created (default 1)
  --zone ZONE        time zone of the household, such as Europe/Berlin, used
                     when the database is created (default: this machine's)
  --devices N        make the household with at least N devices (up to 1000):
                     the demo's own, then more of the same kinds with
                     numbered names, in the same rooms (for trying long lists)
  --token-ttl SECS   lifetime of a session token in seconds (default 3600)
  --clock-offset-days N
                     run the service's clock N days ahead of the machine's
                     (behind when negative; -3660 to 3660, default 0), for
                     trying what the household looks like days later
  --test-clock-topic TOPIC
                     for tests only: the service's clock stands at the time
                     (milliseconds since 1970) last published on TOPIC of
                     the broker, and moves only forward (needs --mqtt)
  --print-pin        print the certificate's public-key pin (base64 of the
                     SHA-256 of its DER public key), making the certificate
                     first if needed, and exit; `hestio-hub pin` prints it
                     as sha256//PIN and as a QR code, to compare with the app
  --version          print the version and exit
  --help             show this text and exit

After 5 failed sign-ins for one name (or 20 for any names) from one address
within 15 minutes, sign-ins from that address are refused for 1 second,
doubling with each further failure up to 15 minutes; other addresses are
never held up by it.

The user and household commands change the household's people and its name
or time zone; a running service sees the change at once. Passwords are read
from the terminal without echo (asked twice), or as one line of standard
input; never from the command line.

Once ready it prints "hestio-hub listening on https://ADDRESS:PORT". SIGINT or
SIGTERM stops it cleanly.
)";
}

bool isKnownTimeZone(const std::string& zone)
{
    if (zone.empty())
        return false;
    std::unique_ptr<icu::TimeZone> tz(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone)));
    icu::UnicodeString id;
    tz->getID(id);
    return id != icu::UnicodeString("Etc/Unknown");
}

std::string machineTimeZone()
{
    std::unique_ptr<icu::TimeZone> tz(icu::TimeZone::detectHostTimeZone());
    std::string name;
    if (tz) {
        icu::UnicodeString id;
        tz->getID(id);
        id.toUTF8String(name);
    }
    if (!isKnownTimeZone(name))
        return "UTC";
    return name;
}

namespace {
    /// Options that take a value, and the paths whose defaults depend on
    /// each other.
    struct Valued {
        std::optional<std::filesystem::path> data;
        std::optional<std::filesystem::path> database;
        bool portGiven { false };
    };

    bool takesValue(const std::string& name)
    {
        for (const char* option : { "--data", "--db", "--port", "--listen", "--seed", "--token-ttl", "--devices",
                 "--zone", "--clock-offset-days", "--mqtt", "--mqtt-ca", "--config", "--test-clock-topic" }) {
            if (name == option)
                return true;
        }
        return false;
    }

    /// Reads the value of an option that takes one; an Error when it is bad.
    std::optional<platform::Error> readValue(
        Options& options, Valued& valued, const std::string& name, const std::string& text)
    {
        if (name == "--data") {
            valued.data = text;
        } else if (name == "--mqtt") {
            auto address = parseBrokerUrl(text);
            if (!address)
                return address.error();
            options.mqtt = *address;
        } else if (name == "--mqtt-ca") {
            options.mqttCaFile = text;
        } else if (name == "--config") {
            options.configFile = text;
        } else if (name == "--test-clock-topic") {
            options.testClockTopic = text;
        } else if (name == "--db") {
            valued.database = text;
        } else if (name == "--listen") {
            auto address = parseListenAddress(text, name);
            if (!address)
                return address.error();
            options.listen = *address;
            options.listenGiven = true;
        } else if (name == "--port") {
            if (!readNumber(text, options.listen.port) || options.listen.port < 0 || options.listen.port > 65535)
                return platform::Error("--port needs a number from 0 to 65535");
            valued.portGiven = true;
        } else if (name == "--seed") {
            if (!readNumber(text, options.seed))
                return platform::Error("--seed needs a whole number of at least 0");
            options.seedGiven = true;
        } else if (name == "--zone") {
            if (!isKnownTimeZone(text))
                return platform::Error("--zone needs a time zone name such as Europe/Berlin (" + text + " is not one)");
            options.zone = text;
        } else if (name == "--clock-offset-days") {
            if (!readNumber(text, options.clockOffsetDays) || options.clockOffsetDays < -Options::maximumClockOffsetDays
                || options.clockOffsetDays > Options::maximumClockOffsetDays)
                return platform::Error("--clock-offset-days needs a whole number of days from -3660 to 3660");
        } else if (name == "--devices") {
            if (!readNumber(text, options.devices) || options.devices < 0 || options.devices > 1000)
                return platform::Error("--devices needs a number from 0 to 1000");
        } else if (!readNumber(text, options.tokenTtlSeconds) || options.tokenTtlSeconds < 1
            || options.tokenTtlSeconds > 366LL * 86400) {
            return platform::Error("--token-ttl needs a number of seconds from 1 to 31622400");
        }
        return std::nullopt;
    }

    std::optional<platform::Error> brokerCombinationError(const Options& options)
    {
        if (options.demo && options.mqtt)
            return platform::Error("--demo and --mqtt exclude each other: the demo household is simulated");
        if (!options.testClockTopic.empty() && (!options.mqtt || options.demo))
            return platform::Error("--test-clock-topic needs --mqtt: the clock is stepped over the broker");
        if (!options.mqttCaFile.empty() && !(options.mqtt && options.mqtt->tls))
            return platform::Error("--mqtt-ca applies only to an mqtts:// broker");
        return std::nullopt;
    }
}

platform::Result<Options> parseOptions(const std::vector<std::string>& arguments)
{
    Options options;
    Valued valued;
    size_t first = 0;
    if (!arguments.empty() && arguments[0] == "pin") {
        options.pinCommand = true;
        first = 1;
    }
    for (size_t i = first; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else if (name == "--reset") {
            options.reset = true;
        } else if (name == "--demo") {
            options.demo = true;
        } else if (name == "--print-pin") {
            options.printPin = true;
        } else if (takesValue(name)) {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty())
                return platform::Error(name + " needs a value");
            if (auto error = readValue(options, valued, name, arguments[++i]))
                return *error;
        } else {
            return platform::Error("unknown option " + name);
        }
    }
    if (options.listenGiven && valued.portGiven)
        return platform::Error("--listen and --port exclude each other: --port N is short for --listen 127.0.0.1:N");
    options.listenGiven |= valued.portGiven;
    // A broker from the configuration file is checked once it is read.
    if (options.mqtt || options.demo) {
        if (auto error = brokerCombinationError(options))
            return *error;
    }
    options.dataFolder = valued.data ? *valued.data : defaultDataFolder();
    if (options.configFile.empty())
        options.configFile = options.dataFolder / "hub.conf";
    options.database = valued.database ? *valued.database : options.dataFolder / "hestio-hub.db";
    return options;
}

platform::Result<Options> withHubConfig(Options options, const HubConfig& config)
{
    if (!options.listenGiven && config.listen)
        options.listen = *config.listen;
    if (!options.mqtt && !options.demo && config.mqtt)
        options.mqtt = *config.mqtt;
    if (auto error = brokerCombinationError(options))
        return *error;
    return options;
}

}
