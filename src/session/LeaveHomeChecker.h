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

/// The check made when the household leaves home (leaving a saved place the
/// user counts as home, a schedule's leave time): downloads the device list
/// and, when devices draw more than the signed-in user's threshold, says so
/// with a "Switch off" action for each that can be switched off: an alert in
/// the app, and one desktop notification with the same actions while the app
/// is out of view. Each switch-off sends the device's off action and reports
/// its outcome as a local notification to the user who asked for it. The
/// notice belongs to the user it was made for: signing out ends it. Main
/// thread only.
class LeaveHomeChecker final : public WebServiceConnectorDelegate,
                               public platform::AlertViewDelegate,
                               public std::enable_shared_from_this<LeaveHomeChecker> {
public:
    [[nodiscard]] static std::shared_ptr<LeaveHomeChecker> create(std::weak_ptr<Session> session);
    explicit LeaveHomeChecker(std::weak_ptr<Session> session);
    ~LeaveHomeChecker() override;

    static constexpr const char* alertTitle = "Leaving home";
    static constexpr const char* dismissTitle = "Dismiss";
    static constexpr const char* questionTitle = "Is This Home?";
    static constexpr const char* notHomeTitle = "Not Home";
    static constexpr const char* homeTitle = "It's Home";
    /// The tag of the one desktop notice the checker shows at a time.
    static constexpr const char* desktopTag = "leave-home";

    /// Starts a check for the signed-in user; nothing with nobody signed in or
    /// the check off. A check still waiting for its list is replaced by this one.
    void check();
    /// The household left the saved place `title`: a check when the user
    /// counts it as home (HomePlaces). While the user has marked no place and
    /// was never asked, the first departure asks whether the place is home.
    void left(const std::string& title);
    /// The household came to the saved place `title`: back home ends the
    /// notice (cancel).
    void arrived(const std::string& title);
    /// The household came back, or signed out: a device list still on its way
    /// is dropped, the notice and the question close. Switch-offs already
    /// sent still report to their user.
    void cancel();
    /// Sends the off action of the notice's device at `index` (in the order of
    /// the notice) when the notice offers it to the user signed in: named,
    /// with an on/off action, and not switched off or on its way already.
    void switchOff(std::size_t index);
    /// The user's answer to the question whether the place left is home; a
    /// yes marks it and checks at once.
    void answerQuestion(bool home);
    /// "You left "Office". Is it your home? ..."
    [[nodiscard]] static std::string questionText(const std::string& place);

    [[nodiscard]] bool isDownloading() const { return m_download != nullptr; }
    /// The check the open notice shows; none when no notice is open.
    [[nodiscard]] const LeaveHomeCheck* notice() const { return m_notice ? &*m_notice : nullptr; }
    [[nodiscard]] platform::AlertView* alert() const { return m_alert.get(); }
    [[nodiscard]] platform::AlertView* question() const { return m_question.get(); }
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
    void presentDesktop(const std::vector<std::size_t>& indices);
    void ask(const std::string& place, const std::string& username);
    void closeQuestion();
    /// Whether `username` is the user signed in now.
    [[nodiscard]] bool signedIn(const std::string& username) const;
    /// The notice's text without the devices switched off since it came.
    [[nodiscard]] std::string stillOnText() const;
    /// Drawing indices the notice still offers to switch off, in its order.
    [[nodiscard]] std::vector<std::size_t> offered() const;

    std::weak_ptr<Session> m_session;
    std::shared_ptr<WebServiceConnector> m_download;
    unsigned m_checks { 0 };
    std::optional<LeaveHomeCheck> m_notice;
    /// Whom the notice was made for.
    std::string m_noticeUser;
    std::vector<Switch> m_switches;
    std::shared_ptr<platform::AlertView> m_alert;
    /// Drawing index of each "Switch off" button of the open alert.
    std::vector<std::size_t> m_alertButtons;
    /// The last switch-off's outcome, which the desktop's notice tells
    /// above what is still on (one notice, not one more for each outcome).
    std::string m_outcome;
    std::shared_ptr<platform::AlertView> m_question;
    /// The place and the user the open question is about.
    std::string m_questionPlace;
    std::string m_questionUser;
};

}
