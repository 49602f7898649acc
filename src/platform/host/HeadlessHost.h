#pragma once

#include "platform/host/Device.h"

namespace hestio::platform {

/// The app with no window. On a manual clock time moves only when a script
/// waits; on the real clock the run loop runs as it would under a window.
class HeadlessHost final : public Device {
public:
    /// Non-owning: the application and the loop outlive the host.
    HeadlessHost(Application& application, RunLoop& loop);

    [[nodiscard]] Application& application() override { return m_application; }
    [[nodiscard]] RunLoop& runLoop() override { return m_loop; }
    void pass(double seconds) override;
    void settle() override;

    void stop();

private:
    Application& m_application;
    RunLoop& m_loop;
};

}
