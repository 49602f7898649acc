#pragma once

#include "model/ScheduledAlarm.h"
#include "platform/foundation/DateFormatter.h"
#include "platform/ui/DatePicker.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "session/Session.h"

#include <functional>
#include <memory>
#include <vector>

namespace hestio {

/// The schedule list's rows: schedules, plus a null placeholder at the
/// drawer's row while a drawer is open. Shared with the new-event screen,
/// which appends to it.
using AlarmList = std::vector<std::shared_ptr<ScheduledAlarm>>;

/// The "Set Alarm" screen: a title chosen among the saved locations, a leave
/// and an arrive time. Saving appends the new schedule to the list's array
/// and pops back; the list sends it as soon as it shows it again. A title
/// already listed is refused (it is the service's key for a schedule).
class CreateNewScheduleEventViewController final : public platform::ViewController,
                                                   public platform::TableViewDataSource,
                                                   public platform::TableViewDelegate,
                                                   public platform::PickerViewDataSource,
                                                   public platform::PickerViewDelegate {
public:
    static constexpr int titleFieldTag = 10;

    [[nodiscard]] static std::shared_ptr<CreateNewScheduleEventViewController> create(
        std::shared_ptr<AlarmList> alarms, std::shared_ptr<Session> session);
    /// Told once a schedule has been added to the list, before the screen
    /// goes: the list sends it then, whether or not it hears itself appear
    /// again (a save pressed while this screen still slides in).
    void setOnSaved(std::function<void()> onSaved) { m_onSaved = std::move(onSaved); }
    explicit CreateNewScheduleEventViewController(std::shared_ptr<Session> session);
    ~CreateNewScheduleEventViewController() override;

    void loadView() override;
    void viewDidLoad() override;

    void saveEvent();
    void dateUpdated();

    int numberOfRowsInSection(platform::TableView&, int) override { return 3; }
    std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(platform::TableView&, platform::IndexPath) override;
    void didSelectRowAtIndexPath(platform::TableView&, platform::IndexPath) override;

    int numberOfComponentsInPickerView(platform::PickerView&) override { return 1; }
    int numberOfRowsInComponent(platform::PickerView&, int) override;
    std::string titleForRow(platform::PickerView&, int row, int component) override;
    void didSelectRow(platform::PickerView&, int row, int component) override;

    std::shared_ptr<AlarmList> alarms;
    std::function<void()> m_onSaved;
    std::shared_ptr<Session> m_session;
    platform::Date leaveDate;
    platform::Date arriveDate;
    platform::DateFormatter formatter;
    int selectedRow { 0 };
    std::shared_ptr<platform::DatePicker> picker;
    std::shared_ptr<platform::TableView> alarmTableView;
    std::shared_ptr<platform::PickerView> locationPicker;
    /// Row 0's title field (tag 10), its input view the location picker.
    std::shared_ptr<platform::TextField> titleField;
};

}
