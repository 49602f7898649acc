#pragma once

#include "devices/BatteryInfoCell.h"
#include "devices/HomeNowSection.h"
#include "net/WebServiceConnector.h"
#include "platform/ui/TableViewController.h"
#include "session/CachedList.h"
#include "session/Session.h"
#include "widgets/InfoDisplayCell.h"
#include "widgets/OfflineBar.h"

#include <memory>
#include <optional>
#include <string>

namespace hestio {

/// The Home tab: what the household draws and used today ("Now", refreshed
/// while the tab is on screen and the app active), the home battery's charge,
/// voltage and charging state (downloaded each time the tab comes on screen),
/// the buttons to the home battery and energy graphs, and the way to the
/// account screen.
class HomeTabViewController : public platform::TableViewController, public WebServiceConnectorDelegate {
public:
    static constexpr double batteryRowHeight = 70;
    static constexpr double rowHeight = 44;
    /// A newest status older than this is not shown.
    static constexpr double freshnessMinutes = 70;
    /// The table's sections, top to bottom.
    enum Section { NowSection = 0, BatterySection = 1, GraphSection = 2 };

    [[nodiscard]] static std::shared_ptr<HomeTabViewController> create(std::shared_ptr<Session> session);
    explicit HomeTabViewController(std::shared_ptr<Session> session);
    ~HomeTabViewController() override;

    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    void viewDidUnload() override;

    void refresh();
    void viewAccount();
    void batteryGraph();
    void energyConsumedGraph();
    void reset();

    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    /// Opens the detail screen of the device a "Now" row shows.
    void openDevice(std::shared_ptr<Device> device);

    /// Each battery download is numbered; an answer older than the one shown
    /// is not shown over it.
    struct BatteryDownload {
        unsigned number;
    };

    int numberOfSectionsInTableView(platform::TableView&) override { return 3; }
    int numberOfRowsInSection(platform::TableView&, int section) override;
    std::optional<std::string> titleForHeaderInSection(platform::TableView&, int section) override;
    void didSelectRowAtIndexPath(platform::TableView&, platform::IndexPath path) override;
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
    /// The "Now" section's figures, requests and refresh timer.
    const std::shared_ptr<HomeNowSection>& nowSection() const { return m_now; }
    /// The battery state as kept between runs, and the bar that says how old
    /// it is.
    const CachedList& keptList() const { return m_kept; }
    const OfflineBar& offlineBar() const { return m_offlineBar; }

private:
    std::shared_ptr<HomeTabViewController> self();
    std::shared_ptr<Session> m_session;
    void setChargingValue(const std::string& text);
    void showStatuses(const json::Value& data);
    /// Runs the "Now" refresh exactly while the tab is on screen and the app
    /// is active (as the application says, unless `appActive` says it).
    void updateNowRefreshing(std::optional<bool> appActive = std::nullopt);
    std::shared_ptr<HomeNowSection> m_now;
    bool m_onScreen { false };
    std::string m_chargingText { "N/A" };
    bool m_observing { false };
    unsigned m_downloadsSent { 0 };
    unsigned m_downloadShown { 0 };
    CachedList m_kept;
    OfflineBar m_offlineBar;
    void offlineStateChanged();
    void updateOfflineBar();
};

}
