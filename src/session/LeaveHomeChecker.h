#pragma once

#include "model/LeaveHomeCheck.h"
#include "net/WebServiceConnector.h"
#include "platform/ui/AlertView.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hestio {

class Session;

/// The check made when the household leaves home (a LEFT movement, a
/// schedule's leave time): downloads the device list and, when devices draw
/// more than the signed-in user's threshold, says so with a "Switch off"
/// action for each that can be switched off: an alert in the app, and a
/// desktop notification with the same actions while the app is out of view.
/// Each switch-off sends the device's off action and reports its outcome as a
/// local notification. Main thread only.
class LeaveHomeChecker final : public WebServiceConnectorDelegate,
                               public platform::AlertViewDelegate,
                               public std::enable_shared_from_this<LeaveHomeChecker> {
public:
    [[nodiscard]] static std::shared_ptr<LeaveHomeChecker> create(std::weak_ptr<Session> session);
    explicit LeaveHomeChecker(std::weak_ptr<Session> session);
    ~LeaveHomeChecker() override;

    static constexpr const char* alertTitle = "Leaving home";
    static constexpr const char* dismissTitle = "Dismiss";

    /// Starts a check for the signed-in user; nothing with nobody signed in or
    /// the check off. A check still waiting for its list is replaced by this one.
    void check();
    /// The household came back, or signed out: a device list still on its way
    /// is dropped and the notice closes. Switch-offs already sent still report.
    void cancel();
    /// Sends the off action of the notice's device at `index` (in the order of
    /// the notice); a device already switched off or on its way is not sent again.
    void switchOff(std::size_t index);

    [[nodiscard]] bool isDownloading() const { return m_download != nullptr; }
    /// The check the open notice shows; none when no notice is open.
    [[nodiscard]] const LeaveHomeCheck* notice() const { return m_notice ? &*m_notice : nullptr; }
    [[nodiscard]] platform::AlertView* alert() const { return m_alert.get(); }
    /// The text of a switch-off's outcome.
    [[nodiscard]] static std::string switchedOffText(const std::string& name);
    [[nodiscard]] static std::string notSwitchedOffText(const std::string& name, const std::string& reason);

    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;
    void alertViewClickedButtonAtIndex(platform::AlertView& alert, int index) override;

private:
    enum class Switch { Available, Sending, Off };
    struct SwitchOffSent;

    void listArrived(bool success, const json::Value& data, bool answeredWithJSON);
    void present(bool first);
    void showAlert();
    void closeAlert();
    void switchOffEnded(const SwitchOffSent& sent, std::optional<std::string> failure);
    /// The notice's text without the devices switched off since it came.
    [[nodiscard]] std::string stillOnText() const;
    /// Drawing indices the notice still offers to switch off, in its order.
    [[nodiscard]] std::vector<std::size_t> offered() const;

    std::weak_ptr<Session> m_session;
    std::shared_ptr<WebServiceConnector> m_download;
    unsigned m_checks { 0 };
    std::optional<LeaveHomeCheck> m_notice;
    std::vector<Switch> m_switches;
    std::shared_ptr<platform::AlertView> m_alert;
    /// Drawing index of each "Switch off" button of the open alert.
    std::vector<std::size_t> m_alertButtons;
};

}
