#pragma once

#include "Certificate.h"
#include "Household.h"
#include "HttpsServer.h"
#include "Service.h"
#include "Store.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>

namespace hestio::sim::bench {

inline int64_t wallClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

/// A fresh demo household served over HTTPS on a free loopback port, in a
/// scratch folder that goes away with it.
class LiveSim {
public:
    LiveSim()
    {
        std::random_device random;
        m_folder = std::filesystem::temp_directory_path() / ("hestio-hub-bench-" + std::to_string(random()));
        std::filesystem::create_directories(m_folder);
        store = std::make_unique<Store>((m_folder / "sim.db").string());
        seedDemoHousehold(*store, 1, wallClockMs(), 1000);
        ServiceConfig config;
        config.passwordIterations = 1000;
        service = std::make_unique<Service>(*store, config, wallClockMs);
        m_identity = loadOrCreateIdentity(m_folder);
        m_server = std::make_unique<HttpsServer>(*service, m_identity);
        port = m_server->bind(0);
        m_thread = std::thread([this] { m_server->run(); });
    }
    ~LiveSim()
    {
        m_server->stop();
        m_thread.join();
        m_server.reset();
        service.reset();
        store.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    std::unique_ptr<Store> store;
    std::unique_ptr<Service> service;
    int port { -1 };

private:
    std::filesystem::path m_folder;
    TlsIdentity m_identity;
    std::unique_ptr<HttpsServer> m_server;
    std::thread m_thread;
};

}
