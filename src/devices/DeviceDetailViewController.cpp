#include "devices/DeviceDetailViewController.h"

#include "model/ShownName.h"
#include "session/AppShell.h"

#include "devices/DetailCells.h"
#include "devices/GraphButtonsCell.h"
#include "net/Endpoints.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "widgets/InfoDisplayCell.h"

#include <cmath>
#include <cstdio>

namespace hestio {

using namespace platform;

namespace {

    std::string decimalText(double value)
    {
        char text[64];
        std::snprintf(text, sizeof text, "%.1f", value);
        return text;
    }

}

std::shared_ptr<DeviceDetailViewController> DeviceDetailViewController::create(std::shared_ptr<Session> session)
{
    return std::make_shared<DeviceDetailViewController>(std::move(session));
}

DeviceDetailViewController::DeviceDetailViewController(std::shared_ptr<Session> session)
    : TableViewController(TableViewStyle::Grouped)
    , m_session(std::move(session))
{
}

std::shared_ptr<DeviceDetailViewController> DeviceDetailViewController::self()
{
    return std::static_pointer_cast<DeviceDetailViewController>(shared_from_this());
}

void DeviceDetailViewController::viewWillAppear(bool animated)
{
    TableViewController::viewWillAppear(animated);
    if (!selected_device)
        return;
    setTitle(shownName(selected_device->deviceName));
    navigationItem().setTitle(title());
    actionData.clear();
    for (std::size_t i = 0; i < selected_device->possibleActions.count(); ++i)
        actionData.push_back(selected_device->possibleActions[i]);
    selectedRow = -1;
    selectedPath.reset();
    drawerOpen = false;
    tableView().reloadData();
}

void DeviceDetailViewController::viewDidUnload()
{
    actionData.clear();
    selectedPath.reset();
    TableViewController::viewDidUnload();
}

int DeviceDetailViewController::numberOfRowsInSection(TableView&, int section)
{
    switch (section) {
    case 0:
        return 3;
    case 1:
        return 1;
    default:
        return static_cast<int>(actionData.size());
    }
}

std::optional<std::string> DeviceDetailViewController::titleForHeaderInSection(TableView&, int section)
{
    if (section == 1)
        return "Graphs";
    if (section == 2 && !actionData.empty())
        return "Tap to change...";
    return std::nullopt;
}

double DeviceDetailViewController::heightForRowAtIndexPath(TableView& table, IndexPath path)
{
    if (path.section == 2 && drawerOpen && path.row == selectedRow)
        return drawerHeight;
    // The graph buttons' titles wrap rather than being cut with larger text.
    if (path.section == 1)
        return GraphButtonsCell::rowHeightFor({ "Power Draw", "Energy Used" }, table.frame().width());
    return rowHeight;
}

void DeviceDetailViewController::willDisplayCell(TableView&, TableViewCell& cell, IndexPath)
{
    cell.setSelectionStyle(TableViewCellSelectionStyle::None);
}

std::shared_ptr<TableViewCell> DeviceDetailViewController::cellForRowAtIndexPath(TableView& table, IndexPath path)
{
    std::weak_ptr<DeviceDetailViewController> weakSelf = self();
    if (path.section == 0 && path.row == 0)
        return cellForOnOff(table, weakSelf);
    if (path.section == 0)
        return cellForInfo(table, path.row);
    if (path.section == 1)
        return cellForGraphButtons(table, weakSelf);
    return cellForAction(table, path.row, weakSelf);
}

std::shared_ptr<TableViewCell> DeviceDetailViewController::cellForOnOff(
    TableView& table, const std::weak_ptr<DeviceDetailViewController>& weakSelf)
{
    auto cell = std::dynamic_pointer_cast<OnOffCell>(table.dequeueReusableCellWithIdentifier("DeviceInfo"));
    if (!cell) {
        cell = OnOffCell::create("DeviceInfo");
        cell->onOffSwitch()->setOn(selected_device && selected_device->meterSupplyingPower);
        cell->onOffSwitch()->addTarget(ControlEventValueChanged, [weakSelf](Control& sender) {
            if (auto screen = weakSelf.lock())
                screen->turnOnOff(static_cast<Switch&>(sender));
        });
    }
    // A row provided anew while an on/off request runs still shows it running.
    bool busy = m_onOffRunning > 0;
    cell->onOffSwitch()->setHidden(busy);
    cell->onOffActivityIndicator().setHidden(!busy);
    if (busy)
        cell->onOffActivityIndicator().startAnimating();
    else
        cell->onOffActivityIndicator().stopAnimating();
    m_onOffCell = cell;
    return cell;
}

std::shared_ptr<TableViewCell> DeviceDetailViewController::cellForInfo(TableView& table, int row)
{
    auto cell = std::dynamic_pointer_cast<InfoDisplayCell>(table.dequeueReusableCellWithIdentifier("PowerDrawTI"));
    if (!cell)
        cell = InfoDisplayCell::create("PowerDrawTI");
    cell->value().setFont(Font::systemFont(18));
    if (row == 1) {
        cell->name().setText("Device Status");
        cell->value().setText(deviceStatusText());
        m_deviceStatusCell = cell;
    } else {
        if (m_deviceStatusCell.lock() == cell)
            m_deviceStatusCell.reset();
        cell->name().setText("Power Draw");
        cell->value().setText(powerDrawText());
    }
    cell->setBackgroundColor(Color::whiteColor());
    return cell;
}

MeterReading DeviceDetailViewController::reading() const
{
    if (!selected_device)
        return {};
    return MeterReading::of(*selected_device, RunLoop::current().clock().now());
}

std::string DeviceDetailViewController::deviceStatusText() const
{
    // A switch the service confirmed tells more than any reading; without
    // one, a reading the meter rule refuses tells nothing.
    if (selected_device && (selected_device->switchedSinceStatus || reading().isReporting()))
        return selected_device->isOn() ? "On" : "Off";
    return "Unknown";
}

std::string DeviceDetailViewController::powerDrawText() const
{
    MeterReading now = reading();
    switch (now.state) {
    case MeterReading::State::Reporting:
        return decimalText(static_cast<float>(*now.watts)) + " W";
    case MeterReading::State::NeverReported:
        return "Never reported";
    case MeterReading::State::Silent:
        return "No recent data";
    case MeterReading::State::ClockAhead:
        return "Clock ahead";
    case MeterReading::State::Disconnected:
        return "Disconnected";
    case MeterReading::State::Implausible:
        return "Invalid reading";
    }
    return {};
}

std::shared_ptr<TableViewCell> DeviceDetailViewController::cellForGraphButtons(
    TableView& table, const std::weak_ptr<DeviceDetailViewController>& weakSelf)
{
    auto cell = std::dynamic_pointer_cast<GraphButtonsCell>(table.dequeueReusableCellWithIdentifier("GraphTI"));
    if (!cell)
        cell = GraphButtonsCell::create("GraphTI");
    cell->setBackgroundView(View::create());
    m_powerDrawButton = cell->powerDrawButton();
    m_energyConsumedButton = cell->energyConsumedButton();
    m_powerDrawButton->removeAllTargets();
    m_powerDrawButton->addTarget(ControlEventTouchUpInside, [weakSelf](Control&) {
        if (auto screen = weakSelf.lock())
            screen->powerDrawGraph();
    });
    m_powerDrawButton->setTitle("Power Draw");
    m_energyConsumedButton->removeAllTargets();
    m_energyConsumedButton->addTarget(ControlEventTouchUpInside, [weakSelf](Control&) {
        if (auto screen = weakSelf.lock())
            screen->energyConsumedGraph();
    });
    m_energyConsumedButton->setEnabled(true);
    return cell;
}

namespace {

    /// A range action's drawer: a slider between the action's bounds.
    std::shared_ptr<TableViewCell> rangeActionCell(TableView& table, const json::Value& action, const std::string& name,
        const std::string& background, const std::weak_ptr<DeviceDetailViewController>& weakSelf)
    {
        auto cell = std::dynamic_pointer_cast<DrawerRangeCell>(table.dequeueReusableCellWithIdentifier("Range"));
        if (!cell)
            cell = DrawerRangeCell::create("Range");
        const json::Value& values = action["values"];
        std::optional<float> current;
        for (std::size_t i = 0; i < values.count(); ++i) {
            std::string_view bound = values[i]["name"].stringValue();
            float value = static_cast<float>(values[i]["value"].doubleValue());
            if (bound == "Max" || bound == "Highest")
                cell->slider()->setMaximumValue(value);
            else if (bound == "Min" || bound == "Lowest")
                cell->slider()->setMinimumValue(value);
            else if ((bound == "Current" || bound == "Value") && values[i]["value"].isNumber() && std::isfinite(value))
                current = value;
        }
        // The device's setting, when the action carries it, is where the
        // slider starts: a touch then moves it from there, not from the
        // minimum. It is placed once both bounds are known.
        if (current) {
            cell->slider()->setValue(*current);
            cell->sliderVal().setText(std::to_string(static_cast<int>(std::trunc(cell->slider()->value()))));
        }
        cell->drawerBG().setImageNamed(background);
        cell->actionName().setText(name);
        cell->slider()->removeAllTargets();
        cell->slider()->addTarget(ControlEventValueChanged, [weakSelf](Control& sender) {
            if (auto screen = weakSelf.lock())
                screen->sliderUpdated(static_cast<Slider&>(sender));
        });
        cell->slider()->addTarget(ControlEventTouchUpInside, [weakSelf](Control& sender) {
            if (auto screen = weakSelf.lock())
                screen->sliderStopped(static_cast<Slider&>(sender));
        });
        return cell;
    }

    /// A binary action's drawer: a switch.
    std::shared_ptr<TableViewCell> binaryActionCell(TableView& table, const std::string& name,
        const std::string& background, const std::weak_ptr<DeviceDetailViewController>& weakSelf)
    {
        auto cell = std::dynamic_pointer_cast<DrawerBinaryCell>(table.dequeueReusableCellWithIdentifier("Binary"));
        if (!cell)
            cell = DrawerBinaryCell::create("Binary");
        cell->onOff()->removeAllTargets();
        cell->onOff()->addTarget(ControlEventValueChanged, [weakSelf](Control& sender) {
            if (auto screen = weakSelf.lock())
                screen->binarySwitchChanged(static_cast<Switch&>(sender));
        });
        cell->actionName().setText(name);
        cell->drawerBG().setImageNamed(background);
        return cell;
    }

}

std::shared_ptr<TableViewCell> DeviceDetailViewController::cellForAction(
    TableView& table, int row, const std::weak_ptr<DeviceDetailViewController>& weakSelf)
{
    const json::Value& action = actionData[static_cast<std::size_t>(row)];
    std::int64_t type = action["type"].integerValue();
    std::string name(action["name"].stringValue());
    std::string background
        = row + 1 == static_cast<int>(actionData.size()) ? "actionDrawerLast.png" : "actionDrawer.png";
    if (type == 1 && !action["type"].isNone())
        return rangeActionCell(table, action, name, background, weakSelf);
    if (type == 0 && !action["type"].isNone())
        return binaryActionCell(table, name, background, weakSelf);
    // An action of a kind this app does not know is listed by name, without
    // a control, rather than left without a row.
    auto cell = table.dequeueReusableCellWithIdentifier("UnknownAction");
    if (!cell)
        cell = TableViewCell::create(TableViewCellStyle::Default, "UnknownAction");
    cell->textLabel()->setText(name);
    return cell;
}

void DeviceDetailViewController::didSelectRowAtIndexPath(TableView& table, IndexPath path)
{
    table.deselectRowAtIndexPath(path, true);
    if (path.section != 2)
        return;
    selectedPath = path;
    if (drawerOpen) {
        drawerOpen = false;
        table.beginUpdates();
        table.endUpdates();
        if (selectedRow == path.row) {
            selectedRow = -1;
            return;
        }
    }
    if (selectedRow != -1 && selectedRow == path.row)
        return;
    selectedRow = path.row;
    drawerOpen = true;
    table.beginUpdates();
    table.endUpdates();
    // The last actions' drawers open below the tab bar; the list scrolls just
    // enough to show the opened one.
    table.scrollToRowAtIndexPath(path, TableViewScrollPosition::None, true);
}

const json::Value* DeviceDetailViewController::selectedAction() const
{
    if (!selectedPath || selectedPath->row < 0 || selectedPath->row >= static_cast<int>(actionData.size()))
        return nullptr;
    return &actionData[static_cast<std::size_t>(selectedPath->row)];
}

void DeviceDetailViewController::sliderUpdated(Slider& sender)
{
    if (!selectedPath)
        return;
    auto cell = std::dynamic_pointer_cast<DrawerRangeCell>(tableView().cellForRowAtIndexPath(*selectedPath));
    if (cell)
        cell->sliderVal().setText(std::to_string(static_cast<int>(std::trunc(sender.value()))));
}

void DeviceDetailViewController::sliderStopped(Slider& sender)
{
    int value = static_cast<int>(std::trunc(sender.value()));
    hestio::log("stopped at: " + std::to_string(value));
    if (const json::Value* action = selectedAction())
        sendAction(*action, endpoints::kDeviceAction.path, { RequestKind::Action, value });
}

void DeviceDetailViewController::binarySwitchChanged(Switch& sender)
{
    if (const json::Value* action = selectedAction())
        sendAction(*action, endpoints::kDeviceAction.path, { RequestKind::Action, sender.isOn() ? 1 : 0 });
}

void DeviceDetailViewController::turnOnOff(Switch& sender)
{
    if (!m_onOffCell || !selected_device)
        return;
    m_onOffCell->onOffSwitch()->setHidden(true);
    m_onOffCell->onOffActivityIndicator().setHidden(false);
    m_onOffCell->onOffActivityIndicator().startAnimating();
    ++m_onOffRunning;
    sendAction(selected_device->onOffAction, endpoints::kDeviceOnOff.path,
        { RequestKind::OnOff, sender.isOn() ? 1 : 0, ++m_onOffSent });
}

void DeviceDetailViewController::sendAction(const json::Value& descriptor, const char* path, SentRequest request)
{
    std::string parameters = "device_id=" + escapeParameter(Device::identifierText(descriptor["device_id"]))
        + "&act_id=" + escapeParameter(Device::identifierText(descriptor["id"]))
        + "&act_value=" + std::to_string(request.value);
    // Each request runs to its own answer; a newer one (a slider released
    // while the switch waits) does not take the place of the one before.
    m_wsc = WebServiceConnector::create(path, parameters, true);
    m_wsc->setTag(0);
    m_wsc->setContext(request);
    m_wsc->setDelegate(self());
    m_wsc->startConnectionForDownload(false);
}

void DeviceDetailViewController::requestFinished(WebServiceConnector& request, bool success, const json::Value&)
{
    const auto* sent = request.context<SentRequest>();
    if (!sent)
        return;
    if (m_wsc.get() == &request)
        m_wsc.reset();
    hestio::log(success ? "Data sent successfully" : "Data sending failed");
    if (sent->kind == RequestKind::OnOff)
        onOffEnded(*sent, success);
}

void DeviceDetailViewController::requestFailed(WebServiceConnector& request, const TransportError&)
{
    const auto* sent = request.context<SentRequest>();
    if (!sent)
        return;
    if (m_wsc.get() == &request)
        m_wsc.reset();
    if (sent->kind == RequestKind::OnOff)
        onOffEnded(*sent, false);
}

void DeviceDetailViewController::onOffEnded(const SentRequest& request, bool accepted)
{
    m_onOffRunning = std::max(0, m_onOffRunning - 1);
    // The service carries out requests in the order they were sent, whatever
    // order their answers come back in: the newest accepted one is the state
    // the device is in, and an older answer arriving after it changes nothing.
    if (accepted && selected_device && request.onOffNumber > m_onOffShown) {
        m_onOffShown = request.onOffNumber;
        selected_device->recordSwitch(request.value != 0);
        if (onSwitchConfirmed)
            onSwitchConfirmed();
    }
    if (m_onOffRunning == 0)
        showDeviceState();
}

void DeviceDetailViewController::showDeviceState()
{
    if (!selected_device)
        return;
    // The switch shows the state the device record holds: the one asked for
    // once accepted, the one it was in after a refusal or a failure.
    if (m_onOffCell) {
        m_onOffCell->onOffSwitch()->setOn(selected_device->meterSupplyingPower);
        m_onOffCell->onOffSwitch()->setHidden(false);
        m_onOffCell->onOffActivityIndicator().stopAnimating();
        m_onOffCell->onOffActivityIndicator().setHidden(true);
    }
    if (auto status = m_deviceStatusCell.lock())
        status->value().setText(deviceStatusText());
}

void DeviceDetailViewController::powerDrawGraph()
{
    if (selected_device)
        if (auto shell = m_session->shell())
            presentModalViewController(shell->makeDevicePowerDrawGraph(selected_device), true);
}

void DeviceDetailViewController::energyConsumedGraph()
{
    if (selected_device)
        if (auto shell = m_session->shell())
            presentModalViewController(shell->makeDeviceEnergyGraph(selected_device), true);
}

}
