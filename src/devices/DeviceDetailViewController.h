#pragma once

#include "devices/Device.h"
#include "net/WebServiceConnector.h"
#include "platform/ui/IndexPath.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableViewController.h"

#include <memory>
#include <optional>
#include <vector>

namespace hestio {

class OnOffCell;

/// One device: its on/off switch, whether it draws power and how much, the
/// buttons to its two graphs, and its actions, each opening a drawer with a
/// switch or a slider that sends the action at once.
class DeviceDetailViewController : public platform::TableViewController, public WebServiceConnectorDelegate {
public:
    static constexpr double rowHeight = 44;
    static constexpr double drawerHeight = 90;

    static std::shared_ptr<DeviceDetailViewController> create();
    DeviceDetailViewController();

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

    void dataSent(bool success, int tag) override;
    bool requestToServerFailedWithError(const platform::TransportError& error, const std::string& parameters) override;

    std::shared_ptr<Device> selected_device;
    std::vector<json::Value> actionData;
    int selectedRow { -1 };
    std::optional<platform::IndexPath> selectedPath;
    bool drawerOpen { false };
    const std::shared_ptr<WebServiceConnector>& wsc() const { return m_wsc; }
    OnOffCell* onOffCell() const { return m_onOffCell.get(); }

private:
    std::shared_ptr<DeviceDetailViewController> self();
    const json::Value* selectedAction() const;
    void sendAction(const json::Value& descriptor, int value, const char* path, bool isOnOff);
    void endOnOffRequest(bool success);

    std::shared_ptr<WebServiceConnector> m_wsc;
    bool m_wscIsOnOff { false };
    bool m_onOffPrevious { false };
    std::shared_ptr<OnOffCell> m_onOffCell;
    std::shared_ptr<platform::Button> m_powerDrawButton;
    std::shared_ptr<platform::Button> m_energyConsumedButton;
};

}
