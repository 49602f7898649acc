#include "Certificate.h"
#include "Crypto.h"
#include "Household.h"
#include "HttpsServer.h"
#include "Options.h"
#include "Service.h"
#include "Store.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <iostream>
#include <pthread.h>
#include <thread>

using namespace hestio::sim;

namespace {
int64_t wallClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

/// The service's clock: the machine's, moved by --clock-offset-days.
std::function<int64_t()> serviceClock(const Options& options)
{
    int64_t offsetMs = static_cast<int64_t>(options.clockOffsetDays) * 86'400'000;
    return [offsetMs] { return wallClockMs() + offsetMs; };
}

int serve(const Options& options)
{
    // A folder made here holds the private key and password hashes: owner only.
    if (std::filesystem::create_directories(options.dataFolder))
        std::filesystem::permissions(options.dataFolder, std::filesystem::perms::owner_all);
    TlsIdentity identity = loadOrCreateIdentity(options.dataFolder);
    if (options.printPin) {
        std::cout << identity.pin << std::endl;
        return 0;
    }
    if (identity.createdNow)
        std::cout << "hestio-sim made a new certificate in " << options.dataFolder.string() << std::endl;
    std::cout << "hestio-sim certificate pin sha256//" << identity.pin << std::endl;

    if (options.reset) {
        for (const char* suffix : { "", "-wal", "-shm" })
            std::filesystem::remove(options.database.string() + suffix);
    }
    if (options.database.has_parent_path())
        std::filesystem::create_directories(options.database.parent_path());
    Store store(options.database.string());
    if (auto seed = store.meta("seed")) {
        if (options.seedGiven && *seed != std::to_string(options.seed))
            std::cerr << "hestio-sim: the database was made with seed " << *seed << "; --seed " << options.seed
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
    // Signals are taken by one thread that stops the server; every other
    // thread, the server's own among them, inherits the blocked mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Service service(store, config, serviceClock(options));
    HttpsServer server(service, identity);

    int port = server.bind(options.port);
    if (port < 0) {
        std::cerr << "hestio-sim: cannot listen on 127.0.0.1:" << options.port << " (is it in use?)" << std::endl;
        return 1;
    }
    std::atomic<bool> signalled { false };
    std::thread stopper([&] {
        int received = 0;
        sigwait(&signals, &received);
        signalled = true;
        server.stop();
    });
    std::cout << "hestio-sim listening on https://127.0.0.1:" << port << std::endl;
    server.run();
    // When the server ended by itself, wake the stopper so it can be joined.
    if (!signalled)
        pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return 0;
}
}

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    auto parsed = parseOptions(arguments);
    if (!parsed) {
        std::cerr << "hestio-sim: " << parsed.error().message() << "\nTry hestio-sim --help." << std::endl;
        return 2;
    }
    const Options& options = *parsed;
    if (options.help) {
        std::cout << usageText();
        return 0;
    }
    if (options.version) {
        std::cout << "hestio-sim " << HESTIO_VERSION << std::endl;
        return 0;
    }
    try {
        return serve(options);
    } catch (const std::exception& error) {
        std::cerr << "hestio-sim: " << error.what() << std::endl;
        return 1;
    }
}
