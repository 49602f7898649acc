#pragma once

#include "model/Device.h"
#include "model/MeterReading.h"
#include "net/WebServiceConnector.h"
#include "platform/ui/IndexPath.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableViewController.h"
#include "session/Session.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hestio {

class InfoDisplayCell;
class OnOffCell;

/// One device: its on/off switch, whether it draws power and how much, the
/// buttons to its two graphs, and its actions, each opening a drawer with a
/// switch or a slider that sends the action at once.
class DeviceDetailViewController : public platform::TableViewController, public WebServiceConnectorDelegate {
public:
    static constexpr double rowHeight = 44;
    static constexpr double drawerHeight = 90;

    [[nodiscard]] static std::shared_ptr<DeviceDetailViewController> create(std::shared_ptr<Session> session);
    explicit DeviceDetailViewController(std::shared_ptr<Session> session);

    void viewWillAppear(bool animated) override;
    void viewDidUnload() override;

    int numberOfSectionsInTableView(platform::TableView&) override { return 3; }
    int numberOfRowsInSection(platform::TableView&, int section) override;
    std::optional<std::string> titleForHeaderInSection(platform::TableView&, int section) override;
    double heightForRowAtIndexPath(platform::TableView&, platform::IndexPath path) override;
    void willDisplayCell(platform::TableView&, platform::TableViewCell& cell, platform::IndexPath) override;
    std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(
        platform::TableView&, platform::IndexPath path) override;
    void didSelectRowAtIndexPath(platform::TableView&, platform::IndexPath path) override;

    void turnOnOff(platform::Switch& sender);
    void binarySwitchChanged(platform::Switch& sender);
    void sliderUpdated(platform::Slider& sender);
    void sliderStopped(platform::Slider& sender);
    void powerDrawGraph();
    void energyConsumedGraph();

    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;

    /// What each request of this screen sent: the on/off switch or an action
    /// of the drawer, and the value. On/off requests are numbered in the
    /// order they were sent.
    enum class RequestKind { OnOff, Action };
    struct SentRequest {
        RequestKind kind;
        int value;
        unsigned onOffNumber { 0 };
    };

    std::shared_ptr<Device> selected_device;
    std::vector<json::Value> actionData;
    int selectedRow { -1 };
    std::optional<platform::IndexPath> selectedPath;
    bool drawerOpen { false };
    const std::shared_ptr<WebServiceConnector>& wsc() const { return m_wsc; }
    OnOffCell* onOffCell() const { return m_onOffCell.get(); }
    /// Called when the service has accepted an on/off request, also after
    /// the screen has been left.
    std::function<void()> onSwitchConfirmed;

private:
    std::shared_ptr<Session> m_session;
    std::shared_ptr<DeviceDetailViewController> self();
    const json::Value* selectedAction() const;
    void sendAction(const json::Value& descriptor, const char* path, SentRequest request);
    void onOffEnded(const SentRequest& request, bool accepted);
    void showDeviceState();
    /// The device's meter reading now, by the rule the device list shows.
    [[nodiscard]] MeterReading reading() const;
    /// "On" or "Off" while the reading counts or a switch was confirmed
    /// since, else "Unknown".
    [[nodiscard]] std::string deviceStatusText() const;
    /// "12.3 W" for a reading that counts, else why there is none
    /// ("Never reported").
    [[nodiscard]] std::string powerDrawText() const;
    // The rows' cells: the on/off switch, the status and power draw, the
    // graph buttons, and an action's drawer.
    std::shared_ptr<platform::TableViewCell> cellForOnOff(
        platform::TableView& table, const std::weak_ptr<DeviceDetailViewController>& weakSelf);
    std::shared_ptr<platform::TableViewCell> cellForInfo(platform::TableView& table, int row);
    std::shared_ptr<platform::TableViewCell> cellForGraphButtons(
        platform::TableView& table, const std::weak_ptr<DeviceDetailViewController>& weakSelf);
    std::shared_ptr<platform::TableViewCell> cellForAction(
        platform::TableView& table, int row, const std::weak_ptr<DeviceDetailViewController>& weakSelf);

    std::shared_ptr<WebServiceConnector> m_wsc;
    unsigned m_onOffSent { 0 };
    /// The newest on/off request whose acceptance the device record shows.
    unsigned m_onOffShown { 0 };
    int m_onOffRunning { 0 };
    std::shared_ptr<OnOffCell> m_onOffCell;
    /// The "Device Status" row while it shows this device.
    std::weak_ptr<InfoDisplayCell> m_deviceStatusCell;
    std::shared_ptr<platform::Button> m_powerDrawButton;
    std::shared_ptr<platform::Button> m_energyConsumedButton;
};

}
