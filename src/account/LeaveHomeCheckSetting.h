#pragma once

#include "model/LeaveHomeCheck.h"
#include "platform/foundation/Locale.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/TextField.h"
#include "session/Session.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace hestio {

/// The account screen's "Leave-home check" setting: the draw above which a
/// device left on is reported when the household leaves, or "Off". Asked in
/// an alert with one field (a number of watts in the phone's locale) and
/// kept for the user it was opened for.
class LeaveHomeCheckSetting final : public platform::AlertViewDelegate,
                                    public std::enable_shared_from_this<LeaveHomeCheckSetting> {
public:
    static constexpr const char* title = "Leave-home check";
    static constexpr const char* cannotSaveTitle = "Can't Save Leave-Home Check";
    enum Button { CancelButton = 0, OffButton = 1, SaveButton = 2 };

    /// What the account row shows: "25 W", "12,5 W" in de_DE, or "Off".
    [[nodiscard]] static std::string summary(const LeaveHomeThreshold& threshold, const platform::Locale& locale);
    /// The threshold `text` spells in `locale`, or what is wrong with it.
    [[nodiscard]] static std::variant<double, std::string> thresholdFromText(
        const std::string& text, const platform::Locale& locale);

    /// Opens the alert for the signed-in user; `changed` runs when a change
    /// starts being stored and when that ends (kept, or a problem shown).
    /// Nothing without a user.
    [[nodiscard]] static std::shared_ptr<LeaveHomeCheckSetting> open(
        const std::shared_ptr<Session>& session, std::function<void()> changed);
    LeaveHomeCheckSetting(std::weak_ptr<Session> session, std::string username, std::function<void()> changed);
    ~LeaveHomeCheckSetting() override;

    [[nodiscard]] platform::AlertView* alert() const { return m_alert.get(); }
    [[nodiscard]] platform::TextField* field() const { return m_field.get(); }
    /// Whether a change is on its way to the disk.
    [[nodiscard]] bool storing() const { return m_storing; }
    void alertViewClickedButtonAtIndex(platform::AlertView& alert, int index) override;

private:
    void show();
    /// Whether the user it was opened for is the one signed in.
    [[nodiscard]] bool stillSignedIn() const;

    std::weak_ptr<Session> m_session;
    std::string m_username;
    std::function<void()> m_changed;
    std::shared_ptr<platform::AlertView> m_alert;
    std::shared_ptr<platform::TextField> m_field;
    std::shared_ptr<platform::AlertView> m_problem;
    bool m_storing { false };
};

}
