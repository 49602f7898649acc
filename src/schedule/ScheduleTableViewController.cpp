#include "schedule/ScheduleTableViewController.h"

#include "app/HestioAppDelegate.h"
#include "app/TabFactories.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "presence/MovementsViewController.h"
#include "schedule/ScheduleTableViewCell.h"
#include "widgets/EmptyListHint.h"

namespace hestio {

using namespace platform;

std::shared_ptr<ViewController> makeScheduleTableViewController()
{
    return ScheduleTableViewController::create();
}

std::shared_ptr<ScheduleTableViewController> ScheduleTableViewController::create()
{
    return std::make_shared<ScheduleTableViewController>();
}

ScheduleTableViewController::ScheduleTableViewController()
    : TableViewController(TableViewStyle::Plain)
{
    setTitle("Schedule");
}

ScheduleTableViewController::~ScheduleTableViewController()
{
    RunLoop::current().cancelDelayed(this);
}

std::shared_ptr<WebServiceConnectorDelegate> ScheduleTableViewController::selfAsDelegate()
{
    return std::dynamic_pointer_cast<ScheduleTableViewController>(shared_from_this());
}

void ScheduleTableViewController::viewDidLoad()
{
    tableView().setAccessibilityIdentifier("tableView");
    tableView().setBackgroundColor(Color::hex(0x232323));
    navigationItem().setRightBarButtonItem(
        BarButtonItem::createSystem(BarButtonItem::SystemItem::Add, [this] { addAlarm(); }));
    auto edit = BarButtonItem::create("Edit", BarButtonItem::Style::Bordered, [this] { toggleEdit(); });
    edit->setTintColor(editTint);
    navigationItem().setLeftBarButtonItem(edit);
    attachDoubleTap();

    m_emptyHint = makeEmptyListHint("No schedules yet.\nTap + to add one.", "noSchedulesLabel", Color::white(0.6));
    tableView().addSubview(m_emptyHint);
    m_listReceived = false;

    alarms = std::make_shared<AlarmList>();
    formatter.setDateFormat("hh:mm a");
    formatter.setTimeZone(householdTimeZone());

    getSchedulesWSC = WebServiceConnector::create("/api/schedule", std::nullopt, false);
    getSchedulesWSC->setDelegate(selfAsDelegate());
    getSchedulesWSC->startConnectionForDownload(true);
}

void ScheduleTableViewController::attachDoubleTap()
{
    auto* navigation = navigationController();
    if (m_doubleTap || !navigation)
        return;
    m_doubleTap = TapGestureRecognizer::create([this](GestureRecognizer&) { showMovements(); }, 2);
    navigation->navigationBar().addGestureRecognizer(m_doubleTap);
}

void ScheduleTableViewController::viewDidUnload()
{
    alarms.reset();
    getSchedulesWSC.reset();
    drawerOpen = false;
    m_emptyHint.reset();
}

void ScheduleTableViewController::viewDidAppear(bool animated)
{
    TableViewController::viewDidAppear(animated);
    attachDoubleTap();
    // The household's zone may have changed with a new sign-in.
    formatter.setTimeZone(householdTimeZone());
    tableView().reloadData();
}

void ScheduleTableViewController::viewDidDisappear(bool animated)
{
    TableViewController::viewDidDisappear(animated);
    if (drawerOpen)
        toggleDrawer();
}

void ScheduleTableViewController::showMovements()
{
    if (auto* navigation = navigationController())
        navigation->pushViewController(MovementsViewController::create(), true);
}

void ScheduleTableViewController::addAlarm()
{
    if (HestioAppDelegate::shared().savedLocations.empty()) {
        AlertView::create("Can't Create Alarm",
            "You need a saved location before you can create an alarm. Create a location at: "
            "Home->Account->Add Location",
            nullptr, "OK")
            ->show();
        return;
    }
    if (auto* navigation = navigationController())
        navigation->pushViewController(CreateNewScheduleEventViewController::create(alarms), true);
}

void ScheduleTableViewController::toggleEdit()
{
    bool editing = !tableView().isEditing();
    tableView().setEditing(editing, true);
    auto button = navigationItem().leftBarButtonItem();
    button->setTitle(editing ? "Done" : "Edit");
    button->setTintColor(editing ? doneTint : editTint);
}

std::shared_ptr<WebServiceConnector> ScheduleTableViewController::post(const std::string& parameters)
{
    auto request = WebServiceConnector::create("/api/schedule", parameters, true);
    request->setDelegate(selfAsDelegate());
    request->startConnectionForDownload(false);
    return request;
}

void ScheduleTableViewController::toggleDrawer()
{
    if (!alarms || selectedIndex < 0 || selectedIndex >= static_cast<int>(alarms->size()))
        return;
    IndexPath schedulePath { 0, selectedIndex };
    IndexPath drawerPath { 0, selectedIndex + 1 };
    auto scheduleCell
        = std::dynamic_pointer_cast<ScheduleTableViewCell>(tableView().cellForRowAtIndexPath(schedulePath));
    if (scheduleCell)
        scheduleCell->highlightedView->setHidden(!scheduleCell->highlightedView->isHidden());

    auto& table = tableView();
    if (drawerOpen) {
        if (const auto& alarm = (*alarms)[static_cast<std::size_t>(selectedIndex)])
            postNewScheduleWSC = post(alarm->createPostParameters());
        table.beginUpdates();
        table.deleteRowsAtIndexPaths({ drawerPath }, TableViewRowAnimation::Bottom);
        alarms->erase(alarms->begin() + selectedIndex + 1);
        drawerOpen = false;
        if (scheduleCell)
            scheduleCell->setAccessoryView(nullptr);
        table.endUpdates();
    } else {
        table.beginUpdates();
        table.insertRowsAtIndexPaths({ drawerPath }, TableViewRowAnimation::Bottom);
        alarms->insert(alarms->begin() + selectedIndex + 1, nullptr);
        drawerOpen = true;
        if (scheduleCell) {
            auto hint = Label::create({ 0, 0, 125, 80 });
            hint->setAccessibilityIdentifier("saveHint");
            hint->setBackgroundColor(Color::clear());
            hint->setLineBreakMode(LineBreakMode::WordWrap);
            hint->setTextAlignment(TextAlignment::Center);
            hint->setNumberOfLines(0);
            hint->setFont(Font::italicSystemFont(13));
            hint->setText("Tap to save changes");
            scheduleCell->setAccessoryView(hint);
        }
        table.endUpdates();
    }
}

int ScheduleTableViewController::numberOfRowsInSection(TableView&, int)
{
    int rows = alarms ? static_cast<int>(alarms->size()) : 0;
    showEmptyHintIfEmpty(rows);
    return rows;
}

// The table asks for its row count after every reload and every change, so
// the hint follows the list from here. Before the service has answered (or
// when it refused) an empty list says nothing about the household.
void ScheduleTableViewController::showEmptyHintIfEmpty(int rows)
{
    if (m_emptyHint)
        m_emptyHint->setHidden(!m_listReceived || rows != 0);
}

double ScheduleTableViewController::heightForRowAtIndexPath(TableView&, IndexPath path)
{
    return isDrawerRow(path.row) ? 44 : 80;
}

std::shared_ptr<TableViewCell> ScheduleTableViewController::cellForRowAtIndexPath(TableView& table, IndexPath path)
{
    if (isDrawerRow(path.row)) {
        auto cell
            = std::dynamic_pointer_cast<ScheduleDrawerTableViewCell>(table.dequeueReusableCellWithIdentifier("drawer"));
        if (!cell)
            cell = ScheduleDrawerTableViewCell::create("drawer");
        cell->alarm = (*alarms)[static_cast<std::size_t>(selectedIndex)];
        cell->pressRepeatDateButtons();
        cell->setSelectionStyle(TableViewCellSelectionStyle::None);
        return cell;
    }
    auto cell = std::dynamic_pointer_cast<ScheduleTableViewCell>(table.dequeueReusableCellWithIdentifier("event"));
    if (!cell)
        cell = ScheduleTableViewCell::create("event");
    cell->highlightedView->setHidden(true);
    cell->setAccessoryView(nullptr);
    cell->setSelectionStyle(TableViewCellSelectionStyle::None);
    const auto& alarm = (*alarms)[static_cast<std::size_t>(path.row)];
    cell->eventTitle->setText(alarm ? alarm->title : std::string());
    cell->leaveHomeTime->setText(alarm ? formatter.stringFromDate(alarm->startDate) : std::string());
    cell->arriveHomeTime->setText(alarm ? formatter.stringFromDate(alarm->endDate) : std::string());
    return cell;
}

void ScheduleTableViewController::willDisplayCell(TableView&, TableViewCell& cell, IndexPath path)
{
    if (isDrawerRow(path.row))
        cell.setBackgroundColor(Color::rgb(0.135, 0.135, 0.135));
}

TableViewCellEditingStyle ScheduleTableViewController::editingStyleForRowAtIndexPath(TableView&, IndexPath path)
{
    return isDrawerRow(path.row) ? TableViewCellEditingStyle::None : TableViewCellEditingStyle::Delete;
}

bool ScheduleTableViewController::canEditRowAtIndexPath(TableView&, IndexPath path)
{
    return !isDrawerRow(path.row);
}

void ScheduleTableViewController::commitEditingStyle(TableView& table, TableViewCellEditingStyle style, IndexPath path)
{
    if (style != TableViewCellEditingStyle::Delete || !alarms || isDrawerRow(path.row))
        return;
    int row = path.row;
    if (row < 0 || row >= static_cast<int>(alarms->size()))
        return;
    // Deleting the open schedule or a row above it closes the drawer first
    // (saving its schedule); a row above would otherwise move the drawer out
    // of step with selectedIndex. Rows below the drawer leave it open.
    if (drawerOpen && row <= selectedIndex)
        toggleDrawer();
    const auto& alarm = (*alarms)[static_cast<std::size_t>(row)];
    deleteScheduleWSC = post("title=" + escapeParameter(alarm ? alarm->title : std::string()) + "&delete=true");
    table.beginUpdates();
    table.deleteRowsAtIndexPaths({ { 0, row } }, TableViewRowAnimation::Right);
    alarms->erase(alarms->begin() + row);
    table.endUpdates();
}

void ScheduleTableViewController::didSelectRowAtIndexPath(TableView&, IndexPath path)
{
    int row = path.row;
    if (isDrawerRow(row))
        return;
    int newIndex = row;
    if (drawerOpen) {
        int open = selectedIndex;
        toggleDrawer();
        if (row == open)
            return;
        newIndex = row > open ? row - 1 : row;
    }
    selectedIndex = newIndex;
    RunLoop::current().postDelayed(
        drawerOpenDelay, [this] { toggleDrawer(); }, this);
}

void ScheduleTableViewController::dataReceived(bool success, const json::Value& data, int)
{
    if (!success) {
        log("Failed to get schedules from server");
        return;
    }
    if (!alarms)
        return;
    const json::Value& schedules = data["schedules"];
    for (std::size_t i = 0; i < schedules.count(); ++i)
        alarms->push_back(ScheduledAlarm::initWithJSONData(schedules[i]));
    m_listReceived = true;
    tableView().reloadData();
}

void ScheduleTableViewController::dataSent(bool success, int)
{
    log(success ? "New schedule posted successfully" : "Failed to post schedule");
}

}
