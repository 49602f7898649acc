#include "devices/StatusTableViewController.h"

#include "devices/CustomStatusCell.h"
#include "devices/DeviceDetailViewController.h"
#include "model/MeterReading.h"
#include "model/ShownName.h"
#include "net/Endpoints.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Font.h"
#include "platform/ui/NavigationController.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace hestio {

using namespace platform;

namespace {

    bool isBlank(const std::string& text)
    {
        return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); });
    }

    bool signedIn()
    {
        const auto& currentToken = ServiceEnvironment::shared().currentToken;
        return currentToken && currentToken().has_value();
    }

}

std::shared_ptr<StatusTableViewController> StatusTableViewController::create(std::shared_ptr<Session> session)
{
    return std::make_shared<StatusTableViewController>(std::move(session));
}

StatusTableViewController::StatusTableViewController(std::shared_ptr<Session> session)
    : m_session(std::move(session))
    , m_kept(m_session, "devices")
{
    setTitle("Devices");
}

StatusTableViewController::~StatusTableViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (auto* loop = RunLoop::currentIfAny())
        loop->cancelDelayed(this);
}

std::shared_ptr<StatusTableViewController> StatusTableViewController::self()
{
    return std::static_pointer_cast<StatusTableViewController>(shared_from_this());
}

void StatusTableViewController::viewDidLoad()
{
    BaseTabViewController::viewDidLoad();
    std::weak_ptr<StatusTableViewController> weakSelf = self();
    NotificationCenter::defaultCenter().addObserver(this, "UserLoggedOut", [weakSelf](const auto&) {
        if (auto screen = weakSelf.lock())
            screen->reset();
    });
    // Signed in while the list is on screen (behind the login screen, or
    // silently at start): it fills now rather than on the next appearance.
    NotificationCenter::defaultCenter().addObserver(this, "UserLoggedIn", [weakSelf](const auto&) {
        auto screen = weakSelf.lock();
        if (screen && (!screen->statusData || screen->m_kept.showsKept()) && screen->view()->window())
            screen->refresh();
    });
    NotificationCenter::defaultCenter().addObserver(this, OfflineStore::stateChanged, [weakSelf](const auto&) {
        if (auto screen = weakSelf.lock())
            screen->offlineStateChanged();
    });

    m_alertViewField = TextField::create({ 14, 45, 255, 28 });
    m_alertViewField->setAccessibilityIdentifier("alertViewField");
    m_alertViewField->setText("");
    m_alertViewField->setBorderStyle(TextBorderStyle::Bezel);
    m_alertViewField->setTextColor(Color::black());
    m_alertViewField->setTextAlignment(TextAlignment::Left);
    m_alertViewField->setFont(Font::systemFont(17));
    m_alertViewField->setPlaceholder("New device name");
    m_alertViewField->setBackgroundColor(Color::whiteColor());
    m_alertViewField->setAutocorrectionType(AutocorrectionType::No);
    m_alertViewField->setKeyboardType(KeyboardType::EmailAddress);
    m_alertViewField->setReturnKeyType(ReturnKeyType::Done);
    m_alertViewField->setClearButtonMode(TextFieldViewMode::WhileEditing);
    m_alertViewField->setClearsOnBeginEditing(true);

    navigationItem().setTitle("Devices");
    m_editButton = BarButtonItem::create("Edit", BarButtonItem::Style::Bordered, [weakSelf]() {
        if (auto screen = weakSelf.lock())
            screen->editDevices();
    });
    m_editButton->setTintColor(restingTint);
    navigationItem().setLeftBarButtonItem(m_editButton);
    tableView().setAllowsSelectionDuringEditing(true);
    m_offlineEmpty.attach(tableView(), Color::white(0.5), [weakSelf] {
        if (auto screen = weakSelf.lock())
            screen->refresh();
    });
    // The list of the last run shows at once, while the sign-in and the
    // download run.
    if (!statusData) {
        if (auto kept = m_kept.takeKept())
            showDevices(*kept);
    }
}

void StatusTableViewController::offlineStateChanged()
{
    updateOfflineBar();
    // Back online with the last run's list on screen: the live one replaces it.
    if (!m_session->offline().isOffline() && m_kept.showsKept() && signedIn() && isViewLoaded() && view()->window())
        refresh();
}

void StatusTableViewController::updateOfflineBar()
{
    if (!isViewLoaded())
        return;
    m_offlineBar.update(*this, m_kept.barText());
    m_offlineEmpty.update(m_kept.offline() && (!statusData || statusData->empty()));
}

void StatusTableViewController::viewDidAppear(bool animated)
{
    BaseTabViewController::viewDidAppear(animated);
    updateOfflineBar();
    // The stale test comes first: its first reading, at the first
    // appearance, is where the five minutes start.
    bool stale = lastRefreshIsStale();
    // Before the sign-in has finished a download would only be refused; the
    // list fills on "UserLoggedIn" instead.
    if (!signedIn())
        return;
    // A device switched on or off in its detail screen draws differently
    // now: the list asks the service rather than showing the old sample.
    if (stale || !statusData || m_kept.showsKept() || anyDeviceSwitchedSinceDownload())
        refresh();
}

void StatusTableViewController::viewDidUnload()
{
    rooms.clear();
    statusData.reset();
    m_alertViewField.reset();
    NotificationCenter::defaultCenter().removeObserver(this);
    BaseTabViewController::viewDidUnload();
}

void StatusTableViewController::refresh()
{
    // Asked twice in one turn (signed in, then shown): one download serves both.
    RunLoop::current().cancelDelayed(this);
    std::weak_ptr<StatusTableViewController> weakSelf = self();
    // Signing in again first: the list downloads once it is done.
    bool waitsForSignIn = m_kept.signInAgainIfOffline([weakSelf] {
        if (auto screen = weakSelf.lock(); screen && screen->isViewLoaded())
            screen->stopLoadingAfterFailure();
    });
    if (waitsForSignIn)
        return;
    RunLoop::current().postDelayed(
        0,
        [weakSelf] {
            if (auto screen = weakSelf.lock())
                screen->downloadStatusesFromServer();
        },
        this);
}

void StatusTableViewController::downloadStatusesFromServer()
{
    m_wsc = WebServiceConnector::create(endpoints::kDeviceList.path, std::string("action=true"), false);
    m_wsc->setContext(DownloadRequest { ++m_downloadGeneration });
    m_wsc->setDelegate(self());
    m_wsc->startConnectionForDownload(true);
}

void StatusTableViewController::requestFinished(WebServiceConnector& request, bool success, const json::Value& data)
{
    if (const auto* download = request.context<DownloadRequest>())
        downloadEnded(*download, success, data, &request);
    else if (const auto* change = request.context<DeviceChange>())
        deviceChangeEnded(*change, success);
}

void StatusTableViewController::requestFailed(WebServiceConnector& request, const TransportError&)
{
    // The network-failure panel has been shown; the request ends as one the
    // service did not accept.
    if (const auto* download = request.context<DownloadRequest>())
        downloadEnded(*download, false, json::Value(), nullptr);
    else if (const auto* change = request.context<DeviceChange>())
        deviceChangeEnded(*change, false);
}

void StatusTableViewController::downloadEnded(
    const DownloadRequest& download, bool success, const json::Value& data, const WebServiceConnector* request)
{
    bool newest = download.generation == m_downloadGeneration;
    if (newest)
        m_wsc.reset();
    if (!success) {
        // The newest download failing ends the loading state, without a new
        // "Last updated" time; the list keeps what it showed.
        if (newest && isViewLoaded())
            stopLoadingAfterFailure();
        updateOfflineBar();
        return;
    }
    // Answers can come back in another order than their requests went out:
    // one older than the list shown (or from before a logout) is dropped.
    if (download.generation <= m_downloadShown)
        return;
    m_downloadShown = download.generation;
    if (request)
        m_kept.showsLive(*request);
    showDevices(data);
    if (isViewLoaded())
        stopLoading();
    updateOfflineBar();
}

void StatusTableViewController::showDevices(const json::Value& data)
{
    std::map<std::string, std::vector<std::shared_ptr<Device>>> grouped;
    const json::Value& devices = data["devices"];
    const platform::TimeZone zone = Device::householdTimeZone(m_session->curUser().get());
    for (std::size_t i = 0; i < devices.count(); ++i) {
        auto device = Device::fromJSON(devices[i], zone);
        grouped[device->location].push_back(std::move(device));
    }
    statusData = std::move(grouped);
    rooms.clear();
    for (const auto& [room, list] : *statusData)
        rooms.push_back(room); // std::map orders keys by plain byte comparison
    // The list may have let go of its view meanwhile; it shows the devices
    // when it loads it again.
    if (isViewLoaded())
        tableView().reloadData();
}

void StatusTableViewController::deviceChangeEnded(const DeviceChange& change, bool saved)
{
    if (saved) {
        hestio::log(
            change.kind == DeviceChange::Kind::Rename ? "Device name was changed" : "Device location was changed");
        return;
    }
    hestio::log("Data was NOT sent successfully");
    undo(change);
}

void StatusTableViewController::undo(const DeviceChange& change)
{
    // The list shows what the service has: a change it did not take is taken
    // back, unless a later change of the same device has replaced it on
    // screen meanwhile (that one answers for itself).
    auto device = deviceWithID(change.deviceID);
    if (!device)
        return; // the list was emptied or downloaded again since
    bool isRename = change.kind == DeviceChange::Kind::Rename;
    if (isRename && device->deviceName == change.newName) {
        device->deviceName = change.oldName;
    } else if (!isRename && device->location == change.newRoom) {
        auto& now = (*statusData)[change.newRoom];
        now.erase(std::remove(now.begin(), now.end(), device), now.end());
        if (std::find(rooms.begin(), rooms.end(), change.oldRoom) == rooms.end()) {
            rooms.push_back(change.oldRoom);
            std::sort(rooms.begin(), rooms.end());
        }
        auto& before = (*statusData)[change.oldRoom];
        before.insert(before.begin() + std::clamp(change.oldRow, 0, static_cast<int>(before.size())), device);
        device->location = change.oldRoom;
    }
    if (isViewLoaded())
        tableView().reloadData();
    std::string message;
    if (isRename)
        message = "The new name \"" + shownName(change.newName) + "\" was not saved. The device keeps its name \""
            + shownName(device->deviceName) + "\".";
    else
        message = "Moving \"" + shownName(device->deviceName) + "\" to " + change.newRoom
            + " was not saved. It stays in " + device->location + ".";
    AlertView::create(notSavedTitle, message, nullptr, std::string("OK"))->show();
}

StatusTableViewController::Status StatusTableViewController::statusOf(const Device& device, Date now)
{
    const MeterReading reading = MeterReading::of(device, now);
    if (reading.isReporting()) {
        char text[64];
        std::snprintf(text, sizeof text, "Power Draw: %.1fW", static_cast<double>(static_cast<float>(*reading.watts)));
        return { "statusOnOrb.png", text, powerDrawColor };
    }
    // The list says of a meter that never reported what it says of one
    // silent for long: no recent data.
    auto state = reading.state == MeterReading::State::NeverReported ? MeterReading::State::Silent : reading.state;
    return { "statusErroredOrb.png", std::string("Error: ") + MeterReading::problemOf(state), errorColor };
}

std::optional<std::string> StatusTableViewController::identityForRowAtIndexPath(
    platform::TableView&, platform::IndexPath path)
{
    auto device = deviceAt(path.section, path.row);
    return device ? std::optional<std::string>(device->deviceID) : std::nullopt;
}

std::shared_ptr<Device> StatusTableViewController::deviceAt(int section, int row)
{
    if (!statusData || section < 0 || section >= static_cast<int>(rooms.size()))
        return nullptr;
    auto found = statusData->find(rooms[static_cast<std::size_t>(section)]);
    if (found == statusData->end() || row < 0 || row >= static_cast<int>(found->second.size()))
        return nullptr;
    return found->second[static_cast<std::size_t>(row)];
}

int StatusTableViewController::numberOfSectionsInTableView(TableView&)
{
    return static_cast<int>(rooms.size());
}

int StatusTableViewController::numberOfRowsInSection(TableView&, int section)
{
    if (!statusData || section < 0 || section >= static_cast<int>(rooms.size()))
        return 0;
    auto found = statusData->find(rooms[static_cast<std::size_t>(section)]);
    return found == statusData->end() ? 0 : static_cast<int>(found->second.size());
}

std::optional<std::string> StatusTableViewController::titleForHeaderInSection(TableView&, int section)
{
    if (section < 0 || section >= static_cast<int>(rooms.size()))
        return std::nullopt;
    return rooms[static_cast<std::size_t>(section)];
}

double StatusTableViewController::heightForRowAtIndexPath(TableView&, IndexPath)
{
    // The row grows with its two lines of text.
    return CustomStatusCell::rowHeight * textScale();
}

std::shared_ptr<TableViewCell> StatusTableViewController::cellForRowAtIndexPath(TableView& table, IndexPath path)
{
    static const std::string identifier = "StatusTableIdentifier";
    auto cell = std::dynamic_pointer_cast<CustomStatusCell>(table.dequeueReusableCellWithIdentifier(identifier));
    if (!cell)
        cell = CustomStatusCell::create(identifier);
    auto device = deviceAt(path.section, path.row);
    if (!device)
        return cell;
    cell->deviceLabel().setText(shownName(device->deviceName));
    Status status = statusOf(*device, RunLoop::current().clock().now());
    cell->statusOnOff().setImageNamed(status.orb);
    cell->statusLabel().setText(status.text);
    cell->statusLabel().setTextColor(status.color);
    return cell;
}

void StatusTableViewController::didSelectRowAtIndexPath(TableView& table, IndexPath path)
{
    selectedRow = path.row;
    selectedSection = path.section;
    auto device = deviceAt(path.section, path.row);
    if (!device)
        return;
    if (table.isEditing()) {
        m_alertViewField->setText("");
        m_alertViewField->setPlaceholder("New device name");
        auto alert = AlertView::create("Change Device Name", " \n", this, std::string("Cancel"), { "OK" });
        alert->addSubview(m_alertViewField);
        alert->setTag(static_cast<int>(AlertTag::RenameDevice));
        alert->show();
        table.deselectRowAtIndexPath(path, true);
        return;
    }
    auto detail = DeviceDetailViewController::create(m_session);
    detail->setTitle(shownName(device->deviceName));
    detail->selected_device = device;
    // A switch the service accepted changes what the device draws: the list
    // asks again when it is on screen, or else at its next appearance.
    std::weak_ptr<StatusTableViewController> weakSelf = self();
    detail->onSwitchConfirmed = [weakSelf] {
        auto screen = weakSelf.lock();
        if (screen && screen->isViewLoaded() && screen->view()->window())
            screen->refresh();
    };
    navigationItem().setBackBarButtonItem(BarButtonItem::create("Back", BarButtonItem::Style::Bordered));
    if (auto* navigation = navigationController())
        navigation->pushViewController(detail, true);
    table.deselectRowAtIndexPath(path, true);
}

TableViewCellEditingStyle StatusTableViewController::editingStyleForRowAtIndexPath(TableView&, IndexPath)
{
    return TableViewCellEditingStyle::None;
}

std::shared_ptr<Device> StatusTableViewController::deviceWithID(const std::string& deviceID)
{
    if (!statusData)
        return nullptr;
    for (const auto& [room, devices] : *statusData)
        for (const auto& device : devices)
            if (device->deviceID == deviceID)
                return device;
    return nullptr;
}

bool StatusTableViewController::anyDeviceSwitchedSinceDownload() const
{
    if (!statusData)
        return false;
    for (const auto& [room, devices] : *statusData)
        for (const auto& device : devices)
            if (device->switchedSinceStatus)
                return true;
    return false;
}

void StatusTableViewController::sendDevice(
    const Device& device, DeviceChange change, std::shared_ptr<WebServiceConnector>& slot)
{
    slot = WebServiceConnector::create(endpoints::kDeviceUpdate.path,
        "device_id=" + escapeParameter(device.deviceID) + "&location=" + escapeParameter(device.location)
            + "&name=" + escapeParameter(device.deviceName),
        true);
    slot->setTag(change.kind == DeviceChange::Kind::Rename ? 1 : 0);
    slot->setContext(std::move(change));
    slot->setDelegate(self());
    slot->startConnectionForDownload(false);
}

void StatusTableViewController::moveRowAtIndexPath(TableView&, IndexPath from, IndexPath to)
{
    auto device = deviceAt(from.section, from.row);
    if (!device || to.section < 0 || to.section >= static_cast<int>(rooms.size()))
        return;
    auto& source = (*statusData)[rooms[static_cast<std::size_t>(from.section)]];
    source.erase(source.begin() + from.row);
    std::string oldRoom = device->location;
    device->location = rooms[static_cast<std::size_t>(to.section)];
    auto& target = (*statusData)[device->location];
    target.insert(target.begin() + std::clamp(to.row, 0, static_cast<int>(target.size())), device);
    // A reorder within a room is local only; the service keeps no order.
    if (from.section != to.section) {
        sendDevice(*device,
            { DeviceChange::Kind::Move, device->deviceID, device->deviceName, device->deviceName, oldRoom,
                device->location, from.row },
            m_deviceMovedWSC);
    }
}

void StatusTableViewController::setEditButtonTint(Color tint)
{
    m_editButton->setTintColor(tint);
}

void StatusTableViewController::editDevices()
{
    bool editing = !tableView().isEditing();
    setEditing(editing, true);
    if (editing) {
        std::weak_ptr<StatusTableViewController> weakSelf = self();
        auto add = BarButtonItem::createSystem(BarButtonItem::SystemItem::Add, [weakSelf]() {
            if (auto screen = weakSelf.lock())
                screen->addLocation();
        });
        add->setAccessibilityLabel("Add Room");
        navigationItem().setRightBarButtonItem(add);
        m_editButton->setTitle("Done");
        setEditButtonTint(editTint);
    } else {
        m_editButton->setTitle("Edit");
        navigationItem().setRightBarButtonItem(nullptr);
        setEditButtonTint(restingTint);
    }
}

void StatusTableViewController::addLocation()
{
    m_alertViewField->becomeFirstResponder();
    m_alertViewField->setText("");
    m_alertViewField->setPlaceholder("New location name");
    auto alert = AlertView::create("Create a new location", "\n\n", this, std::string("Cancel"), { "OK" });
    alert->setTag(static_cast<int>(AlertTag::NewRoom));
    alert->addSubview(m_alertViewField);
    alert->show();
}

void StatusTableViewController::alertViewClickedButtonAtIndex(AlertView& alert, int index)
{
    if (index != 1)
        return;
    std::string text = m_alertViewField ? m_alertViewField->text() : std::string();
    if (alert.tag() == static_cast<int>(AlertTag::NewRoom)) {
        // An empty name is refused, and an existing room is not added a second
        // time (that would hide its devices behind an empty list).
        if (isBlank(text) || std::find(rooms.begin(), rooms.end(), text) != rooms.end())
            return;
        if (!statusData)
            statusData.emplace();
        rooms.push_back(text);
        std::sort(rooms.begin(), rooms.end());
        (*statusData)[text] = {};
        tableView().reloadData();
        return;
    }
    auto device = deviceAt(selectedSection, selectedRow);
    if (!device)
        return;
    // A name of nothing but blanks would list the device as a blank row; it
    // is not sent, and the device keeps its name.
    if (isBlank(text)) {
        AlertView::create(notRenamedTitle, "A device name cannot be empty.", nullptr, std::string("OK"))->show();
        return;
    }
    DeviceChange change { DeviceChange::Kind::Rename, device->deviceID, device->deviceName, text, device->location,
        device->location, selectedRow };
    device->deviceName = text;
    sendDevice(*device, std::move(change), m_deviceNameWSC);
    tableView().reloadData();
}

void StatusTableViewController::reset()
{
    // The session has ended: a download still on its way would fill the
    // list again for nobody.
    if (m_wsc)
        m_wsc->cancel();
    m_wsc.reset();
    m_downloadShown = ++m_downloadGeneration;
    if (isLoading() && isViewLoaded())
        stopLoadingAfterFailure();
    rooms.clear();
    statusData.reset();
    m_kept.clear();
    updateOfflineBar();
    if (isViewLoaded())
        tableView().reloadData();
    if (auto* navigation = navigationController(); navigation && navigation->viewControllers().size() > 1)
        navigation->popToRootViewControllerAnimated(true);
}

}
