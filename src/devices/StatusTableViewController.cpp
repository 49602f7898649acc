#include "devices/StatusTableViewController.h"

#include "app/TabFactories.h"
#include "devices/CustomStatusCell.h"
#include "devices/DeviceDetailViewController.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/NavigationController.h"

#include <algorithm>
#include <cstdio>

namespace hestio {

using namespace platform;

namespace {

    constexpr double kRecentMinutes = 5;

}

std::shared_ptr<platform::ViewController> makeStatusTableViewController()
{
    return StatusTableViewController::create();
}

std::shared_ptr<StatusTableViewController> StatusTableViewController::create()
{
    return std::make_shared<StatusTableViewController>();
}

StatusTableViewController::StatusTableViewController()
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
}

void StatusTableViewController::viewDidAppear(bool animated)
{
    BaseTabViewController::viewDidAppear(animated);
    if (!statusData || lastRefreshIsStale())
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
    std::weak_ptr<StatusTableViewController> weakSelf = self();
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
    m_wsc = WebServiceConnector::create("/api/device", std::string("action=true"), false);
    m_wsc->setDelegate(self());
    m_wsc->startConnectionForDownload(true);
}

void StatusTableViewController::dataReceived(bool success, const json::Value& data, int)
{
    m_wsc.reset();
    if (!success) {
        // A failed download ends the loading state; the list keeps what it showed.
        stopLoading();
        return;
    }
    std::map<std::string, std::vector<std::shared_ptr<Device>>> grouped;
    const json::Value& devices = data["devices"];
    for (std::size_t i = 0; i < devices.count(); ++i) {
        auto device = Device::fromJSON(devices[i]);
        grouped[device->location].push_back(std::move(device));
    }
    statusData = std::move(grouped);
    rooms.clear();
    for (const auto& [room, list] : *statusData)
        rooms.push_back(room); // std::map orders keys by plain byte comparison
    tableView().reloadData();
    stopLoading();
}

bool StatusTableViewController::requestToServerFailedWithError(const TransportError&, const std::string&)
{
    // The network-failure panel has been shown; a download that was under way
    // ends the loading state so that the next pull can start.
    if (m_wsc && !m_wsc->isRunning()) {
        m_wsc.reset();
        stopLoading();
    }
    return true;
}

void StatusTableViewController::dataSent(bool success, int tag)
{
    if (!success)
        hestio::log("Data was NOT sent successfully");
    else if (tag == 1)
        hestio::log("Device name was changed");
    else
        hestio::log("Device location was changed");
}

StatusTableViewController::Status StatusTableViewController::statusOf(const Device& device, Date now)
{
    double minutes
        = (now.millisecondsSince1970() - static_cast<double>(device.currentStatus["timestamp"].integerValue())) / 1000
        / 60;
    bool recent = !device.currentStatus["timestamp"].isNone() && minutes < kRecentMinutes;
    if (recent && device.meterPluggedIn) {
        char text[64];
        std::snprintf(text, sizeof text, "Power Draw: %.1fW",
            static_cast<double>(static_cast<float>(device.currentStatus["powerDraw"].doubleValue())));
        return { "statusOnOrb.png", text, powerDrawColor };
    }
    if (recent)
        return { "statusErroredOrb.png", "Error: Meter is disconnected", errorColor };
    return { "statusErroredOrb.png", "Error: No recent data reported", errorColor };
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
    return CustomStatusCell::rowHeight;
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
    cell->deviceLabel().setText(device->deviceName.empty() ? "Unnamed" : device->deviceName);
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
        alert->setTag(0);
        alert->show();
        table.deselectRowAtIndexPath(path, true);
        return;
    }
    auto detail = DeviceDetailViewController::create();
    detail->setTitle(device->deviceName);
    detail->selected_device = device;
    navigationItem().setBackBarButtonItem(BarButtonItem::create("Back", BarButtonItem::Style::Bordered));
    if (auto* navigation = navigationController())
        navigation->pushViewController(detail, true);
    table.deselectRowAtIndexPath(path, true);
}

TableViewCellEditingStyle StatusTableViewController::editingStyleForRowAtIndexPath(TableView&, IndexPath)
{
    return TableViewCellEditingStyle::None;
}

void StatusTableViewController::sendDevice(const Device& device, int tag, std::shared_ptr<WebServiceConnector>& slot)
{
    slot = WebServiceConnector::create("/api/device",
        "device_id=" + escapeParameter(device.deviceID) + "&location=" + escapeParameter(device.location)
            + "&name=" + escapeParameter(device.deviceName),
        true);
    slot->setTag(tag);
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
    device->location = rooms[static_cast<std::size_t>(to.section)];
    auto& target = (*statusData)[device->location];
    target.insert(target.begin() + std::clamp(to.row, 0, static_cast<int>(target.size())), device);
    // A reorder within a room is local only; the service keeps no order.
    if (from.section != to.section)
        sendDevice(*device, 0, m_deviceMovedWSC);
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
        navigationItem().setRightBarButtonItem(
            BarButtonItem::createSystem(BarButtonItem::SystemItem::Add, [weakSelf]() {
                if (auto screen = weakSelf.lock())
                    screen->addLocation();
            }));
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
    alert->setTag(1);
    alert->addSubview(m_alertViewField);
    alert->show();
}

void StatusTableViewController::alertViewClickedButtonAtIndex(AlertView& alert, int index)
{
    if (index != 1)
        return;
    std::string text = m_alertViewField ? m_alertViewField->text() : std::string();
    if (alert.tag() == 1) {
        // An empty name is refused, and an existing room is not added a second
        // time (that would hide its devices behind an empty list).
        if (text.empty() || std::find(rooms.begin(), rooms.end(), text) != rooms.end())
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
    device->deviceName = text;
    sendDevice(*device, 1, m_deviceNameWSC);
    tableView().reloadData();
}

void StatusTableViewController::reset()
{
    rooms.clear();
    statusData.reset();
    if (isViewLoaded())
        tableView().reloadData();
    if (auto* navigation = navigationController(); navigation && navigation->viewControllers().size() > 1)
        navigation->popToRootViewControllerAnimated(true);
}

}
