#pragma once

#include "net/WebServiceConnector.h"
#include "platform/foundation/DateFormatter.h"
#include "platform/ui/TableViewController.h"
#include "schedule/CreateNewScheduleEventViewController.h"

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

    static std::shared_ptr<ScheduleTableViewController> create();
    ScheduleTableViewController();
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

    void dataReceived(bool success, const json::Value& data, int tag) override;
    void dataSent(bool success, int tag) override;

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

private:
    bool isDrawerRow(int row) const { return drawerOpen && row == selectedIndex + 1; }
    std::shared_ptr<WebServiceConnectorDelegate> selfAsDelegate();
    std::shared_ptr<WebServiceConnector> post(const std::string& parameters);
    void attachDoubleTap();
    void showEmptyHintIfEmpty(int rows);
    std::shared_ptr<platform::TapGestureRecognizer> m_doubleTap;
    std::shared_ptr<platform::Label> m_emptyHint;
    bool m_listReceived { false };
};

}
