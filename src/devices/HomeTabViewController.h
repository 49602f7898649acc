#pragma once

#include "devices/BatteryInfoCell.h"
#include "net/WebServiceConnector.h"
#include "platform/ui/TableViewController.h"
#include "session/Session.h"
#include "widgets/InfoDisplayCell.h"

#include <memory>

namespace hestio {

/// The Home tab: the home battery's charge, voltage and charging state
/// (downloaded each time the tab comes on screen), the buttons to the home
/// battery and energy graphs, and the way to the account screen.
class HomeTabViewController : public platform::TableViewController, public WebServiceConnectorDelegate {
public:
    static constexpr double batteryRowHeight = 70;
    static constexpr double rowHeight = 44;
    /// A newest status older than this is not shown.
    static constexpr double freshnessMinutes = 70;

    [[nodiscard]] static std::shared_ptr<HomeTabViewController> create(std::shared_ptr<Session> session);
    explicit HomeTabViewController(std::shared_ptr<Session> session);
    ~HomeTabViewController() override;

    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewDidUnload() override;

    void refresh();
    void viewAccount();
    void batteryGraph();
    void energyConsumedGraph();
    void reset();

    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;

    /// Each battery download is numbered; an answer older than the one shown
    /// is not shown over it.
    struct BatteryDownload {
        unsigned number;
    };

    int numberOfSectionsInTableView(platform::TableView&) override { return 2; }
    int numberOfRowsInSection(platform::TableView&, int section) override;
    double heightForRowAtIndexPath(platform::TableView&, platform::IndexPath path) override;
    void willDisplayCell(platform::TableView&, platform::TableViewCell& cell, platform::IndexPath) override;
    std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(
        platform::TableView&, platform::IndexPath path) override;
    bool canEditRowAtIndexPath(platform::TableView&, platform::IndexPath) override { return false; }

    std::shared_ptr<BatteryInfoCell> batteryInfoCell;
    std::shared_ptr<InfoDisplayCell> chargingCell;
    std::shared_ptr<platform::Button> batteryPercentageGraphButton;
    std::shared_ptr<platform::Button> energyConsumptionGraphButton;
    std::shared_ptr<WebServiceConnector> wsc;

private:
    std::shared_ptr<HomeTabViewController> self();
    std::shared_ptr<Session> m_session;
    void setChargingValue(const std::string& text);
    void showStatuses(const json::Value& data);
    std::string m_chargingText { "N/A" };
    bool m_observing { false };
    unsigned m_downloadsSent { 0 };
    unsigned m_downloadShown { 0 };
};

}
