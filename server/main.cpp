#include "AdminCommands.h"
#include "Certificate.h"
#include "Crypto.h"
#include "DeviceMapping.h"
#include "Household.h"
#include "HttpsServer.h"
#include "HubClock.h"
#include "HubConfig.h"
#include "MqttLink.h"
#include "Options.h"
#include "PlugIngest.h"
#include "QrCode.h"
#include "Service.h"
#include "Store.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <ifaddrs.h>
#include <iostream>
#include <memory>
#include <netinet/in.h>
#include <pthread.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace hestio::sim;

namespace {
/// The service's one clock: the machine's, moved by --clock-offset-days
/// (and in tests stepped over the broker, --test-clock-topic).
HubClock& hubClock(int offsetDays = 0)
{
    static HubClock clock(offsetDays);
    return clock;
}

std::function<int64_t()> serviceClock(const Options& options)
{
    HubClock& clock = hubClock(options.clockOffsetDays);
    return [&clock] { return clock.now(); };
}

/// The addresses of this machine's network interfaces that a hub listening on
/// every address ("0.0.0.0", "::") is reached at, for the household to type
/// into the app; none for a hub on one address.
std::vector<std::string> reachableAddresses(const std::string& host)
{
    bool v4 = host == "0.0.0.0" || host == "::";
    bool v6 = host == "::";
    std::vector<std::string> found;
    ifaddrs* list = nullptr;
    if ((!v4 && !v6) || getifaddrs(&list) != 0)
        return found;
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr)
            continue;
        char text[INET6_ADDRSTRLEN] = {};
        int family = entry->ifa_addr->sa_family;
        if (family == AF_INET && v4) {
            auto* address = reinterpret_cast<sockaddr_in*>(entry->ifa_addr);
            if (ntohl(address->sin_addr.s_addr) >> 24 != 127)
                inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
        } else if (family == AF_INET6 && v6) {
            auto* address = reinterpret_cast<sockaddr_in6*>(entry->ifa_addr);
            // Link-local addresses need a zone the app cannot be given.
            if (!IN6_IS_ADDR_LOOPBACK(&address->sin6_addr) && !IN6_IS_ADDR_LINKLOCAL(&address->sin6_addr))
                inet_ntop(AF_INET6, &address->sin6_addr, text, sizeof text);
        }
        if (*text)
            found.emplace_back(text);
    }
    freeifaddrs(list);
    return found;
}

/// Signals are taken by one thread that stops the server; every other
/// thread, the server's and the broker link's among them, inherits the
/// blocked mask made here.
sigset_t blockStopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return signals;
}

/// The pin alone (--print-pin, for scripts), or as a person compares or
/// scans it (`hestio-hub pin`): sha256//PIN and its QR code.
void printPin(const TlsIdentity& identity, bool forPeople)
{
    if (!forPeople) {
        std::cout << identity.pin << std::endl;
        return;
    }
    std::string pin = "sha256//" + identity.pin;
    std::cout << pin << "\n\n" << QrCode(pin).terminalText() << std::flush;
}

/// The addresses the household reaches the hub at, then the readiness line.
void announce(const ListenAddress& listen, int port)
{
    for (const std::string& address : reachableAddresses(listen.host))
        std::cout << "hestio-hub reachable at https://" << ListenAddress { address, port }.text() << std::endl;
    std::cout << "hestio-hub listening on https://" << listen.textWithPort(port) << std::endl;
}

/// The pieces that read a real household's plugs from its broker.
struct RealHousehold {
    std::unique_ptr<History> history;
    std::unique_ptr<PlugIngest> ingest;
    std::unique_ptr<MqttLink> link;
};

std::vector<MappedDevice> loadMapping(const std::string& file)
{
    if (file.empty())
        return {};
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the mapping file " + file);
    std::ostringstream text;
    text << in.rdbuf();
    auto mapping = parseDeviceMapping(text.str());
    if (!mapping)
        throw std::runtime_error(file + ": " + mapping.error().message());
    return std::move(*mapping);
}

std::unique_ptr<RealHousehold> startRealHousehold(const Options& options, Store& store)
{
    if (store.meta("seed"))
        throw std::runtime_error(
            options.database.string() + " holds the demo household; give another --data or --db for a real one");
    auto config = loadHubConfig(options.configFile);
    if (!config)
        throw std::runtime_error(config.error().message());
    namespace fs = std::filesystem;
    // A group that is the hub's own (the system service's) may read it.
    std::error_code ignored;
    struct stat info { };
    bool ownGroup = ::stat(options.configFile.c_str(), &info) == 0 && info.st_gid == getegid();
    fs::perms readers = fs::perms::others_read | (ownGroup ? fs::perms::none : fs::perms::group_read);
    if (!config->mqttPassword.empty()
        && (fs::status(options.configFile, ignored).permissions() & readers) != fs::perms::none)
        std::cerr << "hestio-hub: " << options.configFile.string()
                  << " holds the broker's password and others may read it; chmod 600 it" << std::endl;
    store.setMeta("mode", "hub");
    auto household = store.firstHousehold();
    if (!household) {
        std::string zone = options.zone.empty() ? machineTimeZone() : options.zone;
        store.addHousehold("Home", zone);
        household = store.firstHousehold();
    }
    if (store.usersOf(household->id).empty())
        std::cerr << "hestio-hub: no one can sign in yet; add the first user with: hestio-hub user add NAME --admin"
                  << std::endl;
    IngestSettings settings;
    settings.bridgeBase = config->bridgeBase;
    settings.mapped = loadMapping(config->mappingFile);
    auto real = std::make_unique<RealHousehold>();
    HistorySettings kept;
    kept.rawKeepMs = config->keepRawDays * kDayMs;
    kept.minuteKeepMs = config->keepMinuteDays * kDayMs;
    real->history = std::make_unique<History>(options.database.string(), kept);
    real->ingest
        = std::make_unique<PlugIngest>(store, household->id, settings, serviceClock(options), real->history.get());
    BrokerSettings broker;
    broker.address = *options.mqtt;
    broker.caFile = options.mqttCaFile.empty() ? config->mqttCaFile : options.mqttCaFile.string();
    broker.user = config->mqttUser;
    broker.password = config->mqttPassword;
    PlugIngest* ingest = real->ingest.get();
    auto subscriptions = ingest->subscriptions();
    std::string clockTopic = options.testClockTopic;
    if (!clockTopic.empty())
        subscriptions.push_back(clockTopic);
    real->link = std::make_unique<MqttLink>(
        broker, subscriptions, [ingest, clockTopic](const std::string& topic, std::string_view payload, bool retained) {
            if (!clockTopic.empty() && topic == clockTopic) {
                if (auto ms = HubClock::parseStep(payload); ms && !retained)
                    hubClock().stepTo(*ms);
                return;
            }
            ingest->onMessage(topic, payload, retained);
        });
    MqttLink* link = real->link.get();
    ingest->setPublisher(
        [link](const std::string& topic, const std::string& payload) { return link->publish(topic, payload); });
    ingest->setSubscriber([link](const std::string& filter) { link->subscribe(filter); });
    link->onConnectionChange([ingest](bool connected) { connected ? ingest->brokerBack() : ingest->brokerLost(); });
    if (auto started = link->start(); !started)
        throw std::runtime_error(started.error().message());
    return real;
}

int serve(const Options& options)
{
    // A folder made here holds the private key and password hashes: owner only.
    if (std::filesystem::create_directories(options.dataFolder))
        std::filesystem::permissions(options.dataFolder, std::filesystem::perms::owner_all);
    TlsIdentity identity = loadOrCreateIdentity(options.dataFolder);
    if (options.printPin || options.pinCommand) {
        printPin(identity, options.pinCommand);
        return 0;
    }
    if (identity.createdNow)
        std::cout << "hestio-hub made a new certificate in " << options.dataFolder.string() << std::endl;
    std::cout << "hestio-hub certificate pin sha256//" << identity.pin << std::endl;

    if (options.reset) {
        for (const char* suffix : { "", "-wal", "-shm" })
            std::filesystem::remove(options.database.string() + suffix);
    }
    if (options.database.has_parent_path())
        std::filesystem::create_directories(options.database.parent_path());
    sigset_t signals = blockStopSignals();
    Store store(options.database.string());
    std::unique_ptr<RealHousehold> real;
    if (options.mqtt) {
        real = startRealHousehold(options, store);
    } else if (store.meta("mode") == "hub") {
        std::cerr << "hestio-hub: " << options.database.string()
                  << " holds a real household; give --mqtt, or another --data or --db for the demo" << std::endl;
        return 1;
    } else if (auto seed = store.meta("seed")) {
        if (options.seedGiven && *seed != std::to_string(options.seed))
            std::cerr << "hestio-hub: the database was made with seed " << *seed << "; --seed " << options.seed
                      << " applies only with --reset" << std::endl;
    } else {
        // The demo household lives where the person trying it does, so the
        // status bar's clock and the graphs' days agree.
        std::string zone = options.zone.empty() ? machineTimeZone() : options.zone;
        seedDemoHousehold(
            store, options.seed, serviceClock(options)(), kDefaultPasswordIterations, options.devices, zone);
    }

    ServiceConfig config;
    config.tokenTtlMs = options.tokenTtlSeconds * 1000;
    config.passwordIterations = kDefaultPasswordIterations;

    Service service(store, config, serviceClock(options));
    if (real)
        service.setLiveHome(real->ingest.get());
    HttpsServer server(service, identity);

    int port = server.bind(options.listen.host, options.listen.port);
    if (port < 0) {
        std::cerr << "hestio-hub: cannot listen on " << options.listen.text()
                  << " (is the port in use, or the address not this machine's?)" << std::endl;
        return 1;
    }
    announce(options.listen, port);
    std::atomic<bool> signalled { false };
    std::thread stopper([&] {
        int received = 0;
        sigwait(&signals, &received);
        signalled = true;
        server.stop();
    });
    server.run();
    // When the server ended by itself, wake the stopper so it can be joined.
    if (!signalled)
        pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    if (real) {
        // The last seconds of readings, still in memory, reach the file.
        real->link->stop();
        real->history->flush(serviceClock(options)());
    }
    return 0;
}
}

namespace {
/// Older versions kept their data under the service's former name; a
/// household that has only that folder keeps its database, users and
/// certificate (and so the pin its phones trust) under the new name.
void adoptFormerDataFolder()
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path former = formerDefaultDataFolder();
    fs::path current = defaultDataFolder();
    if (fs::exists(current, error) || !fs::is_directory(former, error))
        return;
    fs::rename(former, current, error);
    if (error) {
        std::cerr << "hestio-hub: cannot move " << former.string() << " to " << current.string() << ": "
                  << error.message() << std::endl;
        return;
    }
    for (const char* suffix : { "", "-wal", "-shm" }) {
        fs::path old = current / (std::string("hestio-sim.db") + suffix);
        if (fs::exists(old, error))
            fs::rename(old, current / (std::string("hestio-hub.db") + suffix), error);
    }
    std::cerr << "hestio-hub: moved the data folder " << former.string() << " to " << current.string() << std::endl;
}
}

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    adoptFormerDataFolder();
    if (isAdminCommand(arguments)) {
        try {
            return runAdminCommand(
                arguments, readPasswordFromTerminal, std::cout, std::cerr, kDefaultPasswordIterations);
        } catch (const std::exception& error) {
            std::cerr << "hestio-hub: " << error.what() << std::endl;
            return 1;
        }
    }
    auto parsed = parseOptions(arguments);
    if (!parsed) {
        std::cerr << "hestio-hub: " << parsed.error().message() << "\nTry hestio-hub --help." << std::endl;
        return 2;
    }
    if (!parsed->help && !parsed->version && !parsed->printPin && !parsed->pinCommand) {
        // What the command line leaves open comes from the configuration
        // file, so a system service needs no options beyond the paths.
        auto config = loadHubConfig(parsed->configFile);
        if (!config) {
            std::cerr << "hestio-hub: " << config.error().message() << std::endl;
            return 2;
        }
        parsed = withHubConfig(std::move(*parsed), *config);
        if (!parsed) {
            std::cerr << "hestio-hub: " << parsed.error().message() << "\nTry hestio-hub --help." << std::endl;
            return 2;
        }
    }
    const Options& options = *parsed;
    if (options.help) {
        std::cout << usageText();
        return 0;
    }
    if (options.version) {
        std::cout << "hestio-hub " << HESTIO_VERSION << std::endl;
        return 0;
    }
    if (std::string missing = missingHouseholdText(options);
        !missing.empty() && !options.printPin && !options.pinCommand) {
        std::cerr << "hestio-hub: " << missing << "\nTry hestio-hub --help." << std::endl;
        return 2;
    }
    try {
        return serve(options);
    } catch (const std::exception& error) {
        std::cerr << "hestio-hub: " << error.what() << std::endl;
        return 1;
    }
}
