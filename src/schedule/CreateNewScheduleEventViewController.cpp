#include "schedule/CreateNewScheduleEventViewController.h"

#include "platform/foundation/RunLoop.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/NavigationController.h"

#include <algorithm>

namespace hestio {

using namespace platform;

std::shared_ptr<CreateNewScheduleEventViewController> CreateNewScheduleEventViewController::create(
    std::shared_ptr<AlarmList> alarms, std::shared_ptr<Session> session)
{
    auto screen = std::make_shared<CreateNewScheduleEventViewController>(std::move(session));
    screen->alarms = std::move(alarms);
    return screen;
}

CreateNewScheduleEventViewController::CreateNewScheduleEventViewController(std::shared_ptr<Session> session)
    : m_session(std::move(session))
{
    setTitle("Set Alarm");
}

CreateNewScheduleEventViewController::~CreateNewScheduleEventViewController()
{
    if (alarmTableView) {
        alarmTableView->setDataSource(nullptr);
        alarmTableView->setDelegate(nullptr);
    }
    if (locationPicker) {
        locationPicker->setDataSource(nullptr);
        locationPicker->setDelegate(nullptr);
    }
}

void CreateNewScheduleEventViewController::loadView()
{
    auto root = View::create({ 0, 0, 320, 416 });
    root->setBackgroundColor(Color::hex(0xd9dde3));
    root->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);

    alarmTableView = TableView::create({ 0, 0, 320, 200 }, TableViewStyle::Grouped);
    alarmTableView->setAccessibilityIdentifier("alarmTableView");
    alarmTableView->setAutoresizingMask(AutoresizingFlexibleWidth);
    alarmTableView->setScrollEnabled(false);
    root->addSubview(alarmTableView);

    picker = DatePicker::create({ 0, 200, 320, 216 });
    picker->setAccessibilityIdentifier("picker");
    picker->setMode(DatePicker::Mode::Time);
    picker->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleTopMargin);
    root->addSubview(picker);
    setView(root);
}

void CreateNewScheduleEventViewController::viewDidLoad()
{
    navigationItem().setRightBarButtonItem(
        BarButtonItem::createSystem(BarButtonItem::SystemItem::Save, [this] { saveEvent(); }));
    leaveDate = arriveDate = RunLoop::current().clock().now();
    TimeZone zone = m_session->householdTimeZone();
    formatter.setDateFormat("hh:mm a");
    formatter.setTimeZone(zone);
    picker->setTimeZone(zone);
    picker->setDate(leaveDate);
    picker->addTarget(ControlEventValueChanged, [this](Control&) { dateUpdated(); });

    locationPicker = PickerView::create();
    locationPicker->setAccessibilityIdentifier("locationPicker");
    locationPicker->setDataSource(this);
    locationPicker->setDelegate(this);
    locationPicker->setShowsSelectionIndicator(true);

    // Row 0's field lives as long as the screen, so the title survives the
    // row's cell being reused.
    titleField = TextField::create({ 84, 11, 160, 22 });
    titleField->setAccessibilityIdentifier("titleField");
    titleField->setTag(titleFieldTag);
    titleField->setBackgroundColor(Color::clear());
    titleField->setFont(Font::boldSystemFont(16));
    const auto& saved = m_session->savedLocations;
    if (!saved.empty())
        titleField->setText(saved.front()->title);
    titleField->setInputView(locationPicker);

    alarmTableView->setDataSource(this);
    alarmTableView->setDelegate(this);
    alarmTableView->reloadData();
}

std::shared_ptr<TableViewCell> CreateNewScheduleEventViewController::cellForRowAtIndexPath(
    TableView& table, IndexPath path)
{
    auto cell = table.dequeueReusableCellWithIdentifier("setTimeCell");
    if (!cell)
        cell = TableViewCell::create(TableViewCellStyle::Value1, "setTimeCell");
    if (path.row != 0 && titleField->superview() == &cell->contentView())
        titleField->removeFromSuperview();
    switch (path.row) {
    case 0: {
        cell->textLabel()->setText("Title:");
        cell->detailTextLabel()->setText("");
        cell->setSelectionStyle(TableViewCellSelectionStyle::None);
        cell->contentView().addSubview(titleField);
        break;
    }
    case 1:
        cell->textLabel()->setText("Leave At:");
        cell->detailTextLabel()->setText(formatter.stringFromDate(leaveDate));
        cell->setSelectionStyle(TableViewCellSelectionStyle::Blue);
        break;
    default:
        cell->textLabel()->setText("Arrive At:");
        cell->detailTextLabel()->setText(formatter.stringFromDate(arriveDate));
        cell->setSelectionStyle(TableViewCellSelectionStyle::Blue);
        break;
    }
    return cell;
}

void CreateNewScheduleEventViewController::didSelectRowAtIndexPath(TableView&, IndexPath path)
{
    selectedRow = path.row;
    if (path.row == 1)
        picker->setDate(leaveDate, true);
    else if (path.row == 2)
        picker->setDate(arriveDate, true);
}

void CreateNewScheduleEventViewController::dateUpdated()
{
    if (selectedRow != 1 && selectedRow != 2)
        return;
    Date chosen = picker->date();
    (selectedRow == 1 ? leaveDate : arriveDate) = chosen;
    if (auto cell = alarmTableView->cellForRowAtIndexPath({ 0, selectedRow }))
        cell->detailTextLabel()->setText(formatter.stringFromDate(chosen));
}

int CreateNewScheduleEventViewController::numberOfRowsInComponent(PickerView&, int)
{
    return static_cast<int>(m_session->savedLocations.size());
}

std::string CreateNewScheduleEventViewController::titleForRow(PickerView&, int row, int)
{
    const auto& saved = m_session->savedLocations;
    return row >= 0 && row < static_cast<int>(saved.size()) ? saved[static_cast<std::size_t>(row)]->title
                                                            : std::string();
}

void CreateNewScheduleEventViewController::didSelectRow(PickerView& pickerView, int row, int component)
{
    titleField->setText(titleForRow(pickerView, row, component));
    titleField->resignFirstResponder();
}

void CreateNewScheduleEventViewController::saveEvent()
{
    view(); // the title field is made with the view
    std::string title = titleField->text();
    // The title is the service's key for a schedule: a second one of the
    // same title would replace the first there.
    if (alarms && std::any_of(alarms->begin(), alarms->end(), [&](const auto& a) { return a && a->title == title; })) {
        AlertView::create("Can't Create Alarm",
            "There is already an alarm for \"" + title
                + "\". Please choose a different location or remove the old alarm.",
            nullptr, "OK")
            ->show();
        return;
    }
    if (alarms)
        alarms->push_back(
            ScheduledAlarm::initWithLeaveDate(leaveDate, arriveDate, title, m_session->householdTimeZone()));
    if (m_onSaved)
        m_onSaved();
    if (auto* navigation = navigationController())
        navigation->popViewControllerAnimated(true);
}

}
