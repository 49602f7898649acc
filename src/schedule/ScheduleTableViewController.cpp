#include "schedule/ScheduleTableViewController.h"

#include "net/Endpoints.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Label.h"
#include "platform/ui/LargerText.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "schedule/ScheduleTableViewCell.h"
#include "session/AppShell.h"
#include "widgets/EmptyListHint.h"

#include <algorithm>

namespace hestio {

using namespace platform;

std::shared_ptr<ScheduleTableViewController> ScheduleTableViewController::create(std::shared_ptr<Session> session)
{
    auto controller = std::make_shared<ScheduleTableViewController>(std::move(session));
    controller->watchKeptLeaveTimesAtSignIn();
    return controller;
}

ScheduleTableViewController::ScheduleTableViewController(std::shared_ptr<Session> session)
    : TableViewController(TableViewStyle::Plain)
    , m_session(std::move(session))
    , m_leaveTimes(LeaveTimeWatcher::create(m_session))
    , m_kept(m_session, "schedules")
{
    setTitle("Schedule");
}

ScheduleTableViewController::~ScheduleTableViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (auto* loop = RunLoop::currentIfAny())
        loop->cancelDelayed(this);
}

std::shared_ptr<WebServiceConnectorDelegate> ScheduleTableViewController::selfAsDelegate()
{
    return std::dynamic_pointer_cast<ScheduleTableViewController>(shared_from_this());
}

void ScheduleTableViewController::viewDidLoad()
{
    tableView().setAccessibilityIdentifier("tableView");
    tableView().setBackgroundColor(Color::hex(0x232323));
    auto add = BarButtonItem::createSystem(BarButtonItem::SystemItem::Add, [this] { addAlarm(); });
    add->setAccessibilityLabel("Add Schedule");
    navigationItem().setRightBarButtonItem(add);
    auto edit = BarButtonItem::create("Edit", BarButtonItem::Style::Bordered, [this] { toggleEdit(); });
    edit->setTintColor(editTint);
    navigationItem().setLeftBarButtonItem(edit);
    attachDoubleTap();

    m_emptyHint = makeEmptyListHint("No schedules yet.\nTap + to add one.", "noSchedulesLabel", Color::white(0.6));
    tableView().addSubview(m_emptyHint);
    std::weak_ptr<ScheduleTableViewController> weakSelf
        = std::dynamic_pointer_cast<ScheduleTableViewController>(shared_from_this());
    m_offlineEmpty.attach(tableView(), Color::white(0.6), [weakSelf] {
        if (auto screen = weakSelf.lock())
            screen->retryDownload();
    });
    m_listReceived = false;

    alarms = std::make_shared<AlarmList>();
    formatter.setDateFormat("hh:mm a");
    formatter.setTimeZone(m_session->householdTimeZone());
    observeSession();
    // The list of the last run shows at once, while the sign-in and the
    // download run; it still counts as not received, so the live one comes.
    if (auto kept = m_kept.takeKept()) {
        ScheduleRequest shown;
        shown.generation = m_listGeneration;
        listReceived(shown, true, *kept);
        m_listReceived = false;
    }
    downloadSchedules();
}

void ScheduleTableViewController::offlineStateChanged()
{
    updateOfflineBar();
    // Back online with the last run's list on screen: the live one replaces it.
    if (!m_kept.offline() && m_kept.showsKept() && m_session->currentToken() && isViewLoaded()
        && !(getSchedulesWSC && getSchedulesWSC->isRunning()))
        downloadSchedules();
}

void ScheduleTableViewController::updateOfflineBar()
{
    if (!isViewLoaded())
        return;
    m_offlineBar.update(*this, m_kept.barText());
    // A live list known to be empty says so itself ("No schedules yet").
    m_offlineEmpty.update(m_kept.offline() && !m_listReceived && (!alarms || alarms->empty()));
}

void ScheduleTableViewController::retryDownload()
{
    // Not signed in (the sign-in at launch could not reach the service):
    // signing in again downloads the list on "UserLoggedIn".
    m_kept.signInAgainIfOffline();
    if (m_session->currentToken() && !(getSchedulesWSC && getSchedulesWSC->isRunning()))
        downloadSchedules();
}

void ScheduleTableViewController::observeSession()
{
    auto& center = NotificationCenter::defaultCenter();
    center.removeObserver(this);
    std::weak_ptr<ScheduleTableViewController> weakSelf
        = std::dynamic_pointer_cast<ScheduleTableViewController>(shared_from_this());
    // Loaded while the sign-in at launch was still running (the download
    // went out without a session) or before anyone signed in: the list
    // comes once the sign-in completes.
    center.addObserver(this, "UserLoggedIn", [weakSelf](const auto&) {
        auto screen = weakSelf.lock();
        if (screen && screen->isViewLoaded() && !screen->m_listReceived
            && !(screen->getSchedulesWSC && screen->getSchedulesWSC->isRunning()))
            screen->downloadSchedules();
    });
    // Another household may sign in next: nothing of this one stays listed.
    center.addObserver(this, "UserLoggedOut", [weakSelf](const auto&) {
        if (auto screen = weakSelf.lock())
            screen->reset();
    });
    center.addObserver(this, OfflineStore::stateChanged, [weakSelf](const auto&) {
        if (auto screen = weakSelf.lock())
            screen->offlineStateChanged();
    });
}

void ScheduleTableViewController::reset()
{
    if (getSchedulesWSC)
        getSchedulesWSC->cancel();
    getSchedulesWSC.reset();
    ++m_listGeneration;
    ++m_signInCount;
    m_listReceived = false;
    m_kept.clear();
    updateOfflineBar();
    drawerOpen = false;
    if (alarms)
        alarms->clear();
    if (isViewLoaded())
        tableView().reloadData();
}

void ScheduleTableViewController::downloadSchedules()
{
    ScheduleRequest context;
    context.kind = ScheduleRequest::Kind::List;
    context.generation = ++m_listGeneration;
    getSchedulesWSC = WebServiceConnector::create(endpoints::kScheduleList.path, std::nullopt, false);
    getSchedulesWSC->setContext(context);
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
    // The list is asked for again when the view loads again.
    if (getSchedulesWSC)
        getSchedulesWSC->cancel();
    getSchedulesWSC.reset();
    drawerOpen = false;
    m_emptyHint.reset();
}

void ScheduleTableViewController::viewDidAppear(bool animated)
{
    TableViewController::viewDidAppear(animated);
    attachDoubleTap();
    updateOfflineBar();
    // The household's zone may have changed with a new sign-in.
    formatter.setTimeZone(m_session->householdTimeZone());
    tableView().reloadData();
    // A schedule just made on the new-event screen reaches the service now
    // that the list shows it.
    sendUnsavedSchedules();
    watchLeaveTimes();
}

void ScheduleTableViewController::sendUnsavedSchedules()
{
    if (!alarms)
        return;
    for (const auto& alarm : *alarms) {
        if (alarm && alarm->serviceState == ScheduledAlarm::ServiceState::NotSent)
            save(alarm);
    }
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
        if (auto shell = m_session->shell())
            navigation->pushViewController(shell->makeMovementsScreen(), true);
}

void ScheduleTableViewController::addAlarm()
{
    if (m_session->savedLocations.empty()) {
        AlertView::create("Can't Create Alarm",
            "You need a saved location before you can create an alarm. Create a location at: "
            "Home->Account->Add Location",
            nullptr, "OK")
            ->show();
        return;
    }
    auto screen = CreateNewScheduleEventViewController::create(alarms, m_session);
    std::weak_ptr<ScheduleTableViewController> weakSelf
        = std::dynamic_pointer_cast<ScheduleTableViewController>(shared_from_this());
    screen->setOnSaved([weakSelf] {
        if (auto self = weakSelf.lock(); self && self->isViewLoaded()) {
            self->tableView().reloadData();
            self->sendUnsavedSchedules();
        }
    });
    if (auto* navigation = navigationController())
        navigation->pushViewController(screen, true);
}

void ScheduleTableViewController::toggleEdit()
{
    bool editing = !tableView().isEditing();
    tableView().setEditing(editing, true);
    auto button = navigationItem().leftBarButtonItem();
    button->setTitle(editing ? "Done" : "Edit");
    button->setTintColor(editing ? doneTint : editTint);
}

std::shared_ptr<WebServiceConnector> ScheduleTableViewController::post(
    const std::string& parameters, ScheduleRequest context)
{
    auto request = WebServiceConnector::create(endpoints::kScheduleSave.path, parameters, true);
    context.session = m_signInCount;
    request->setContext(std::move(context));
    request->setDelegate(selfAsDelegate());
    request->startConnectionForDownload(false);
    return request;
}

void ScheduleTableViewController::save(const std::shared_ptr<ScheduledAlarm>& alarm)
{
    ScheduleRequest context;
    context.kind = ScheduleRequest::Kind::Save;
    context.alarm = alarm;
    context.sent = alarm->createPostParameters();
    alarm->serviceState = ScheduledAlarm::ServiceState::Sending;
    postNewScheduleWSC = post(context.sent, context);
    // Its days may have changed.
    watchLeaveTimes();
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
            save(alarm);
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
    // Both rows grow with their text.
    return heightForText(isDrawerRow(path.row) ? 44 : 80);
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
    ScheduleRequest context;
    context.kind = ScheduleRequest::Kind::Delete;
    context.alarm = (*alarms)[static_cast<std::size_t>(row)];
    context.row = row;
    std::string title = context.alarm ? context.alarm->title : std::string();
    deleteScheduleWSC = post("title=" + escapeParameter(title) + "&delete=true", std::move(context));
    table.beginUpdates();
    table.deleteRowsAtIndexPaths({ { 0, row } }, TableViewRowAnimation::Right);
    alarms->erase(alarms->begin() + row);
    table.endUpdates();
    watchLeaveTimes();
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

void ScheduleTableViewController::requestFinished(WebServiceConnector& request, bool success, const json::Value& data)
{
    const auto* context = request.context<ScheduleRequest>();
    if (!context)
        return;
    switch (context->kind) {
    case ScheduleRequest::Kind::List:
        if (success && context->generation == m_listGeneration && alarms)
            m_kept.showsLive(request);
        listReceived(*context, success, data);
        updateOfflineBar();
        break;
    case ScheduleRequest::Kind::Save:
        saveAnswered(*context, success, false);
        break;
    case ScheduleRequest::Kind::Delete:
        deleteAnswered(*context, success, false);
        break;
    }
}

void ScheduleTableViewController::requestFailed(WebServiceConnector& request, const platform::TransportError& error)
{
    // The request object has shown the network-failure panel.
    (void)error;
    const auto* context = request.context<ScheduleRequest>();
    if (!context)
        return;
    switch (context->kind) {
    case ScheduleRequest::Kind::List:
        break;
    case ScheduleRequest::Kind::Save:
        saveAnswered(*context, false, true);
        break;
    case ScheduleRequest::Kind::Delete:
        deleteAnswered(*context, false, true);
        break;
    }
}

void ScheduleTableViewController::listReceived(const ScheduleRequest& request, bool success, const json::Value& data)
{
    // A later download replaced this one: its answer is the one to show.
    if (request.generation != m_listGeneration)
        return;
    if (!success) {
        log("Failed to get schedules from server");
        return;
    }
    if (!alarms)
        return;
    if (drawerOpen)
        toggleDrawer();
    AlarmList fresh = schedulesOf(data);
    // Schedules the service does not have yet (made here while the list was
    // on its way, or whose save has not been answered) stay, in place of
    // the service's copy of the same title that they replace.
    for (const auto& local : *alarms) {
        if (!local || local->serviceState == ScheduledAlarm::ServiceState::Saved)
            continue;
        auto same = std::find_if(fresh.begin(), fresh.end(), [&](const auto& a) { return a->title == local->title; });
        if (same != fresh.end())
            *same = local;
        else
            fresh.push_back(local);
    }
    *alarms = std::move(fresh);
    m_listReceived = true;
    tableView().reloadData();
    watchLeaveTimes();
}

void ScheduleTableViewController::watchKeptLeaveTimesAtSignIn()
{
    // Until the tab is first opened, its list is not downloaded; the leave
    // times of the list kept from the last run are watched meanwhile. Once
    // the view loads, observeSession() takes over the session's notices.
    std::weak_ptr<ScheduleTableViewController> weakSelf
        = std::dynamic_pointer_cast<ScheduleTableViewController>(shared_from_this());
    NotificationCenter::defaultCenter().addObserver(this, "UserLoggedIn", [weakSelf](const auto&) {
        if (auto screen = weakSelf.lock(); screen && !screen->isViewLoaded())
            screen->watchKeptLeaveTimes();
    });
}

void ScheduleTableViewController::watchKeptLeaveTimes()
{
    // A list of its own: the screen's shows nothing kept yet.
    std::optional<json::Value> kept = CachedList(m_session, "schedules").takeKept();
    if (!kept)
        return;
    m_leaveTimes->watch(schedulesOf(*kept));
}

AlarmList ScheduleTableViewController::schedulesOf(const json::Value& reply) const
{
    AlarmList schedules;
    const TimeZone zone = m_session->householdTimeZone();
    const json::Value& listed = reply["schedules"];
    for (std::size_t i = 0; i < listed.count(); ++i)
        schedules.push_back(ScheduledAlarm::initWithJSONData(listed[i], zone));
    return schedules;
}

void ScheduleTableViewController::watchLeaveTimes()
{
    if (!alarms || !m_listReceived)
        return;
    std::vector<std::shared_ptr<ScheduledAlarm>> listed;
    std::copy_if(alarms->begin(), alarms->end(), std::back_inserter(listed), [](const auto& a) { return a; });
    m_leaveTimes->watch(listed);
}

void ScheduleTableViewController::saveAnswered(const ScheduleRequest& request, bool success, bool transportFailed)
{
    log(success ? "New schedule posted successfully" : "Failed to post schedule");
    if (request.session != m_signInCount)
        return;
    const auto& alarm = request.alarm;
    // Only the answer to what the list shows now decides: a save of an older
    // state (its days changed again since) says nothing about the current one.
    if (!alarm || alarm->createPostParameters() != request.sent)
        return;
    if (success) {
        alarm->serviceState = ScheduledAlarm::ServiceState::Saved;
        return;
    }
    // Sent again when the list is shown again.
    alarm->serviceState = ScheduledAlarm::ServiceState::NotSent;
    if (!transportFailed)
        AlertView::create("Schedule Not Saved",
            "The schedule \"" + alarm->title
                + "\" was not saved. It will be sent again the next time the schedule list is shown.",
            nullptr, "OK")
            ->show();
}

void ScheduleTableViewController::deleteAnswered(const ScheduleRequest& request, bool success, bool transportFailed)
{
    log(success ? "New schedule posted successfully" : "Failed to post schedule");
    if (success || !request.alarm || !alarms || request.session != m_signInCount)
        return;
    // The service still has the schedule: it is listed again where it was,
    // unless a schedule of that title has been made since.
    const auto& alarm = request.alarm;
    bool listed
        = std::any_of(alarms->begin(), alarms->end(), [&](const auto& a) { return a && a->title == alarm->title; });
    if (!listed) {
        int size = static_cast<int>(alarms->size());
        int row = std::clamp(request.row, 0, size);
        if (drawerOpen) {
            if (row <= selectedIndex)
                ++selectedIndex; // the open schedule and its drawer move down a row
            else if (row == selectedIndex + 1)
                row = selectedIndex + 2; // not between a schedule and its drawer
        }
        alarms->insert(alarms->begin() + row, alarm);
        if (isViewLoaded())
            tableView().reloadData();
    }
    if (!transportFailed)
        AlertView::create("Schedule Not Deleted",
            "The schedule \"" + alarm->title + "\" could not be deleted and is still on the service.", nullptr, "OK")
            ->show();
}

}
