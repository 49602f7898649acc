#pragma once

#include <memory>

namespace hestio {

namespace platform {
    class ViewController;
}

class Device;

/// What the running app offers its features: the screens one feature opens
/// in another, the tabs, and the sign-in. Features see only this; app/
/// implements it, so no feature depends on another feature's screens.
class AppShell {
public:
    virtual ~AppShell() = default;

    // Screens of other features, ready to be pushed or presented.
    [[nodiscard]] virtual std::shared_ptr<platform::ViewController> makeAccountScreen() = 0;
    [[nodiscard]] virtual std::shared_ptr<platform::ViewController> makeMovementsScreen() = 0;
    [[nodiscard]] virtual std::shared_ptr<platform::ViewController> makeDevicePowerDrawGraph(
        std::shared_ptr<Device> device)
        = 0;
    [[nodiscard]] virtual std::shared_ptr<platform::ViewController> makeDeviceEnergyGraph(
        std::shared_ptr<Device> device)
        = 0;
    [[nodiscard]] virtual std::shared_ptr<platform::ViewController> makeHomeEnergyGraph() = 0;
    [[nodiscard]] virtual std::shared_ptr<platform::ViewController> makeHomeBatteryGraph() = 0;

    /// Shows the first tab (after a logout).
    virtual void selectFirstTab() = 0;
    /// Makes sure a valid session exists, signing in with the stored
    /// credentials when not; `synchronous` waits for the answer.
    virtual void loginSynchronous(bool synchronous) = 0;
    /// Shows the login screen.
    virtual void showLogin() = 0;
};

}
