#pragma once

#include "platform/access/AccessibleObjects.h"

#include <memory>

namespace hestio::platform {

class BusConnection;

/// Shows the app on the desktop's accessibility bus, so that a screen reader
/// reads and works its screens: the application, its window and every view
/// a person can see, with their roles, names, states and actions, and the
/// changes as they happen.
///
/// It starts only when there is such a bus: $AT_SPI_BUS_ADDRESS names one,
/// or the session bus has the accessibility bus's launcher running (asked in
/// the background, so the start waits for nothing). Without one, or with
/// NO_AT_BRIDGE=1, nothing happens at all.
class AccessBridge {
public:
    AccessBridge(Application& application, RunLoop& loop, AccessibleObjects::Placement placement);
    ~AccessBridge();
    AccessBridge(const AccessBridge&) = delete;
    AccessBridge& operator=(const AccessBridge&) = delete;

    /// Whether the bridge is on the bus (tests).
    [[nodiscard]] bool isRunning() const;

    struct Bridge;

private:
    void start();

    Application& m_application;
    RunLoop& m_loop;
    AccessibleObjects::Placement m_placement;
    std::unique_ptr<BusConnection> m_sessionBus;
    std::unique_ptr<Bridge> m_bridge;
};

}
