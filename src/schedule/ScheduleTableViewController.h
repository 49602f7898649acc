#pragma once

#include "net/WebServiceConnector.h"
#include "platform/foundation/DateFormatter.h"
#include "platform/ui/TableViewController.h"
#include "schedule/CreateNewScheduleEventViewController.h"
#include "schedule/LeaveTimeWatcher.h"
#include "session/CachedList.h"
#include "session/Session.h"
#include "widgets/OfflineBar.h"
#include "widgets/OfflineEmptyState.h"

#include <memory>

namespace hestio {

namespace platform {
    class Label;
    class TapGestureRecognizer;
}

/// The Schedule tab: the household's schedules, a drawer row under the
/// tapped one to switch its repeat days (closing it saves the schedule),
/// swipe or edit-mode delete, the add button to the new-event screen, and a
/// double tap on the bar to the movements list.
class ScheduleTableViewController final : public platform::TableViewController, public WebServiceConnectorDelegate {
public:
    static constexpr double drawerOpenDelay = 0.3;

    [[nodiscard]] static std::shared_ptr<ScheduleTableViewController> create(std::shared_ptr<Session> session);
    explicit ScheduleTableViewController(std::shared_ptr<Session> session);
    ~ScheduleTableViewController() override;

    void viewDidLoad() override;
    void viewDidUnload() override;
    void viewDidAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;

    void addAlarm();
    void toggleEdit();
    void toggleDrawer();
    void showMovements();

    int numberOfRowsInSection(platform::TableView&, int) override;
    double heightForRowAtIndexPath(platform::TableView&, platform::IndexPath) override;
    std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(platform::TableView&, platform::IndexPath) override;
    void willDisplayCell(platform::TableView&, platform::TableViewCell&, platform::IndexPath) override;
    platform::TableViewCellEditingStyle editingStyleForRowAtIndexPath(
        platform::TableView&, platform::IndexPath) override;
    bool canEditRowAtIndexPath(platform::TableView&, platform::IndexPath) override;
    void commitEditingStyle(platform::TableView&, platform::TableViewCellEditingStyle, platform::IndexPath) override;
    void didSelectRowAtIndexPath(platform::TableView&, platform::IndexPath) override;

    /// What each of the screen's requests was about, carried by the request
    /// so that every answer goes to the schedule it concerns.
    struct ScheduleRequest {
        enum class Kind { List, Save, Delete };
        Kind kind { Kind::List };
        /// List: the download's number; only the latest one's answer is used.
        unsigned generation { 0 };
        /// Save and delete: the schedule sent.
        std::shared_ptr<ScheduledAlarm> alarm;
        /// Save: the body sent, to tell whether it is still what the list shows.
        std::string sent;
        /// Delete: the row the schedule was in.
        int row { 0 };
        /// Which signed-in household's list it was sent from; an answer that
        /// comes after a logout concerns a list no longer shown.
        unsigned session { 0 };
    };

    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;

    /// Downloads the list again (replacing an answer still on its way).
    void downloadSchedules();
    /// Sends every schedule the service does not have yet (made on the
    /// new-event screen, or whose last save did not go through).
    void sendUnsavedSchedules();

    static constexpr platform::Color editTint = platform::Color::rgb(0.098, 0.6, 0.25);
    static constexpr platform::Color doneTint = platform::Color::rgb(0.082, 0.45, 0.197);

    std::shared_ptr<AlarmList> alarms;
    platform::DateFormatter formatter;
    int selectedIndex { 0 };
    bool drawerOpen { false };
    std::shared_ptr<WebServiceConnector> getSchedulesWSC;
    std::shared_ptr<WebServiceConnector> postNewScheduleWSC;
    std::shared_ptr<WebServiceConnector> deleteScheduleWSC;

    /// Shown over an empty list once the service has said it is empty.
    platform::Label* emptyHint() const { return m_emptyHint.get(); }
    /// Runs the leave-home check at the listed schedules' leave times.
    LeaveTimeWatcher& leaveTimes() const { return *m_leaveTimes; }
    /// The list as kept between runs, and the bar that says how old it is.
    const CachedList& keptList() const { return m_kept; }
    const OfflineBar& offlineBar() const { return m_offlineBar; }
    /// What shows in the list's place while it has nothing and the service
    /// cannot be reached.
    const OfflineEmptyState& offlineEmptyState() const { return m_offlineEmpty; }

private:
    std::shared_ptr<Session> m_session;
    std::shared_ptr<LeaveTimeWatcher> m_leaveTimes;
    /// Hands the schedules as listed now to the leave-time watcher.
    void watchLeaveTimes();
    void watchKeptLeaveTimesAtSignIn();
    void watchKeptLeaveTimes();
    /// The schedules of a list reply, in the household's zone.
    [[nodiscard]] AlarmList schedulesOf(const json::Value& reply) const;
    bool isDrawerRow(int row) const { return drawerOpen && row == selectedIndex + 1; }
    std::shared_ptr<WebServiceConnectorDelegate> selfAsDelegate();
    std::shared_ptr<WebServiceConnector> post(const std::string& parameters, ScheduleRequest context);
    void save(const std::shared_ptr<ScheduledAlarm>& alarm);
    void listReceived(const ScheduleRequest& request, bool success, const json::Value& data);
    void saveAnswered(const ScheduleRequest& request, bool success, bool transportFailed);
    void deleteAnswered(const ScheduleRequest& request, bool success, bool transportFailed);
    void observeSession();
    void offlineStateChanged();
    void updateOfflineBar();
    /// The offline state's "Try Again": signs in again or downloads.
    void retryDownload();
    void reset();
    void attachDoubleTap();
    void showEmptyHintIfEmpty(int rows);
    std::shared_ptr<platform::TapGestureRecognizer> m_doubleTap;
    std::shared_ptr<platform::Label> m_emptyHint;
    bool m_listReceived { false };
    unsigned m_listGeneration { 0 };
    unsigned m_signInCount { 0 };
    CachedList m_kept;
    OfflineBar m_offlineBar;
    OfflineEmptyState m_offlineEmpty;
};

}
