#include "support/PrivateBus.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sys/wait.h>

namespace hestio::test {

PrivateBus::PrivateBus()
{
    char folder[] = "/tmp/hestio-bus-XXXXXX";
    if (!mkdtemp(folder)) {
        m_error = "cannot make a folder for the bus";
        return;
    }
    m_folder = folder;
    std::string config = m_folder + "/bus.conf";
    std::ofstream(config) << R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" << m_folder
                          << R"(/socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
    std::string command = "dbus-daemon --config-file=" + config + " --fork --print-address=1 --print-pid=1 2>&1";
    FILE* out = popen(command.c_str(), "r");
    if (!out) {
        m_error = "cannot run dbus-daemon";
        return;
    }
    char line[512];
    std::string address, pid;
    if (fgets(line, sizeof line, out))
        address = line;
    if (fgets(line, sizeof line, out))
        pid = line;
    int status = pclose(out);
    while (!address.empty() && (address.back() == '\n' || address.back() == '\r'))
        address.pop_back();
    if (status != 0 || address.rfind("unix:", 0) != 0 || pid.empty()) {
        m_error = "dbus-daemon did not start: " + address;
        return;
    }
    m_address = address;
    m_pid = static_cast<pid_t>(std::atol(pid.c_str()));
}

PrivateBus::~PrivateBus()
{
    if (m_pid > 0)
        kill(m_pid, SIGTERM);
    if (!m_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
}

bool runUntil(platform::RunLoop& loop, const std::function<bool()>& done, double seconds)
{
    struct Wake {
        std::mutex mutex;
        std::condition_variable condition;
        bool woken { false };
    };
    auto wake = std::make_shared<Wake>();
    loop.setWakeUpHandler([wake] {
        std::lock_guard lock(wake->mutex);
        wake->woken = true;
        wake->condition.notify_all();
    });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    bool held = false;
    while (true) {
        if (auto* manual = dynamic_cast<platform::ManualClock*>(&loop.clock()))
            manual->runPending();
        else
            loop.runDueTasks();
        if ((held = done()))
            break;
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        // Woken by the next post; the short bound also lets a condition
        // that changes off the loop (a mock's own thread) be seen.
        std::unique_lock lock(wake->mutex);
        wake->condition.wait_for(lock, std::chrono::milliseconds(20), [&] { return wake->woken; });
        wake->woken = false;
    }
    loop.setWakeUpHandler({});
    return held;
}

}
