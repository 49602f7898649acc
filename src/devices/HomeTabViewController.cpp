#include "devices/HomeTabViewController.h"

#include "devices/DeviceDetailViewController.h"
#include "devices/GraphButtonsCell.h"
#include "model/ShownName.h"
#include "net/Endpoints.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/LargerText.h"
#include "platform/ui/NavigationController.h"
#include "session/AppShell.h"

#include <algorithm>
#include <cstdio>

namespace hestio {

using namespace platform;

namespace {

    /// The charging row: its long name gets the room its short value leaves.
    class ChargingCell final : public InfoDisplayCell {
    public:
        using InfoDisplayCell::InfoDisplayCell;
        void layoutSubviews() override
        {
            InfoDisplayCell::layoutSubviews();
            Rect area = contentView().bounds();
            double valueWidth = 64;
            // Larger text: the name wraps beside the value (the row is taller).
            if (textScale() > 1) {
                valueWidth = widthForText(value().text(), value().font(), valueWidth);
                name().setNumberOfLines(0);
                name().setLineBreakMode(LineBreakMode::WordWrap);
            }
            name().setFrame({ 12, 0, std::max(0.0, area.size.width - valueWidth - 24), area.size.height });
            value().setFrame({ area.size.width - valueWidth - 12, 0, valueWidth, area.size.height });
        }
    };

    std::string formatted(const char* format, float value)
    {
        char text[64];
        std::snprintf(text, sizeof text, format, static_cast<double>(value));
        return text;
    }

}

std::shared_ptr<HomeTabViewController> HomeTabViewController::create(std::shared_ptr<Session> session)
{
    return std::make_shared<HomeTabViewController>(std::move(session));
}

HomeTabViewController::HomeTabViewController(std::shared_ptr<Session> session)
    : TableViewController(TableViewStyle::Grouped)
    , m_session(std::move(session))
    , m_now(HomeNowSection::create(m_session))
    , m_kept(m_session, "battery")
{
    setTitle("Home");
}

HomeTabViewController::~HomeTabViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    m_now->stop();
}

std::shared_ptr<HomeTabViewController> HomeTabViewController::self()
{
    return std::static_pointer_cast<HomeTabViewController>(shared_from_this());
}

void HomeTabViewController::viewDidLoad()
{
    TableViewController::viewDidLoad();
    std::weak_ptr<HomeTabViewController> weak = self();
    if (!m_observing) {
        m_observing = true;
        NotificationCenter::defaultCenter().addObserver(this, "UserLoggedOut", [weak](const Notification&) {
            if (auto screen = weak.lock())
                screen->reset();
        });
        // Signed in while the tab is on screen (behind the login screen, or
        // silently at start): the battery shows now, not at the next visit.
        NotificationCenter::defaultCenter().addObserver(this, "UserLoggedIn", [weak](const Notification&) {
            auto screen = weak.lock();
            if (screen && screen->isViewLoaded() && screen->view()->window())
                screen->refresh();
            if (screen && screen->m_now->isRunning())
                screen->m_now->start(); // the new user's figures and tariff at once
        });
        NotificationCenter::defaultCenter().addObserver(this, OfflineStore::stateChanged, [weak](const Notification&) {
            if (auto screen = weak.lock())
                screen->offlineStateChanged();
        });
        // Nothing is refreshed while the app is in the background. (While
        // it resigns, the application still reads as active.)
        NotificationCenter::defaultCenter().addObserver(
            this, Application::willResignActiveNotification, [weak](const Notification&) {
                if (auto screen = weak.lock())
                    screen->updateNowRefreshing(false);
            });
        NotificationCenter::defaultCenter().addObserver(
            this, Application::didBecomeActiveNotification, [weak](const Notification&) {
                if (auto screen = weak.lock())
                    screen->updateNowRefreshing(true);
            });
    }
    m_now->onChange = [weak] {
        auto screen = weak.lock();
        if (screen && screen->isViewLoaded())
            screen->tableView().reloadData();
    };
    navigationItem().setRightBarButtonItem(BarButtonItem::create("Account", BarButtonItem::Style::Bordered, [weak] {
        if (auto screen = weak.lock())
            screen->viewAccount();
    }));
    // The battery row exists from the start, so that a reply arriving before
    // the table shows its rows still has somewhere to go.
    if (!batteryInfoCell) {
        batteryInfoCell = BatteryInfoCell::create("BatteryInfoCell");
        batteryInfoCell->setAccessibilityIdentifier("batteryInfoCell");
    }
    // The battery state of the last run shows at once, while the sign-in and
    // the download run.
    if (m_downloadShown == 0 && !m_kept.shownFetchedAt()) {
        if (auto kept = m_kept.takeKept())
            showStatuses(*kept);
    }
}

void HomeTabViewController::offlineStateChanged()
{
    updateOfflineBar();
    // The figures say at once that the service cannot be reached (or ask
    // again now that it can).
    if (m_now->isRunning())
        m_now->refresh();
    // Back online with the last run's state on screen: the live one replaces it.
    if (!m_session->offline().isOffline() && m_kept.showsKept() && isViewLoaded() && view()->window())
        refresh();
}

void HomeTabViewController::updateOfflineBar()
{
    if (isViewLoaded())
        m_offlineBar.update(*this, m_kept.barText());
}

void HomeTabViewController::viewDidAppear(bool animated)
{
    TableViewController::viewDidAppear(animated);
    updateOfflineBar();
    refresh();
    m_onScreen = true;
    updateNowRefreshing();
}

void HomeTabViewController::viewWillDisappear(bool animated)
{
    TableViewController::viewWillDisappear(animated);
    // Another tab or screen covers the tab from here on.
    m_onScreen = false;
    updateNowRefreshing();
}

void HomeTabViewController::viewDidDisappear(bool animated)
{
    TableViewController::viewDidDisappear(animated);
    m_onScreen = false;
    updateNowRefreshing();
}

void HomeTabViewController::updateNowRefreshing(std::optional<bool> appActive)
{
    auto* application = Application::currentIfAny();
    bool active = appActive.value_or(application && application->applicationState() == ApplicationState::Active);
    bool wanted = m_onScreen && active;
    if (wanted && !m_now->isRunning())
        m_now->start();
    else if (!wanted && m_now->isRunning())
        m_now->stop();
}

void HomeTabViewController::viewDidUnload()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    m_observing = false;
    m_onScreen = false;
    m_now->stop();
    chargingCell.reset();
    batteryPercentageGraphButton.reset();
    energyConsumptionGraphButton.reset();
    TableViewController::viewDidUnload();
}

void HomeTabViewController::refresh()
{
    // Before the sign-in has finished the service would only refuse the
    // request; the tab downloads on "UserLoggedIn" instead.
    const auto& currentToken = ServiceEnvironment::shared().currentToken;
    if (!currentToken || !currentToken())
        return;
    wsc = WebServiceConnector::create(endpoints::kBatteryLatest.path, "count=1", false);
    wsc->setContext(BatteryDownload { ++m_downloadsSent });
    wsc->setDelegate(self());
    wsc->startConnectionForDownload(true);
}

void HomeTabViewController::setChargingValue(const std::string& text)
{
    m_chargingText = text;
    if (chargingCell)
        chargingCell->value().setText(text);
}

void HomeTabViewController::requestFinished(WebServiceConnector& request, bool success, const json::Value& data)
{
    const auto* download = request.context<BatteryDownload>();
    if (!download)
        return;
    if (wsc.get() == &request)
        wsc.reset();
    if (!success) {
        hestio::log("Failed to get battery statuses");
        return;
    }
    // Two visits in quick succession send two downloads; the older answer,
    // when it comes last, would show an older state over the newer one.
    if (download->number <= m_downloadShown)
        return;
    m_downloadShown = download->number;
    m_kept.showsLive(request);
    showStatuses(data);
    updateOfflineBar();
}

void HomeTabViewController::showStatuses(const json::Value& data)
{
    if (!batteryInfoCell)
        return;
    const json::Value& statuses = data["statuses"];
    batteryInfoCell->statuses.clear();
    for (std::size_t i = 0; statuses.isArray() && i < statuses.count(); ++i)
        batteryInfoCell->statuses.push_back(statuses[i]);
    if (batteryInfoCell->statuses.empty()) {
        batteryInfoCell->changeBatteryViewChargeTo(0, true);
        setChargingValue("");
        return;
    }

    const json::Value& status = batteryInfoCell->statuses.front();
    double nowSeconds = RunLoop::current().clock().now().timeIntervalSince1970();
    double minutes = (nowSeconds * 1000 - static_cast<double>(status["timestamp"].integerValue())) / 1000 / 60;
    if (minutes > freshnessMinutes)
        return;

    auto percentage = static_cast<float>(status["percentage"].doubleValue());
    auto voltage = static_cast<float>(status["voltage"].doubleValue());
    batteryInfoCell->percentageLabel().setText(formatted("%.1f%%", percentage));
    batteryInfoCell->voltageLabel().setText(formatted("%.1fV", voltage));
    batteryInfoCell->changeBatteryViewChargeTo(percentage, true);
    setChargingValue(status["isCharging"].boolValue() ? "Yes" : "No");
}

void HomeTabViewController::reset()
{
    // The session has ended: no download started for it may fill the row.
    if (wsc)
        wsc->cancel();
    wsc.reset();
    m_downloadShown = m_downloadsSent;
    m_kept.clear();
    updateOfflineBar();
    m_now->reset();
    if (!batteryInfoCell)
        return;
    batteryInfoCell->changeBatteryViewChargeTo(0, false);
    batteryInfoCell->percentageLabel().setText("N/A (%)");
    batteryInfoCell->voltageLabel().setText("N/A (V)");
    setChargingValue("");
}

void HomeTabViewController::viewAccount()
{
    auto shell = m_session->shell();
    if (!shell)
        return;
    auto account = shell->makeAccountScreen();
    account->setTitle("Account");
    if (auto* navigation = navigationController())
        navigation->pushViewController(account, true);
}

void HomeTabViewController::batteryGraph()
{
    if (auto shell = m_session->shell())
        presentModalViewController(shell->makeHomeBatteryGraph(), true);
}

void HomeTabViewController::energyConsumedGraph()
{
    auto shell = m_session->shell();
    if (!shell)
        return;
    auto graph = shell->makeHomeEnergyGraph();
    navigationItem().setBackBarButtonItem(BarButtonItem::create("Back", BarButtonItem::Style::Bordered));
    presentModalViewController(graph, true);
}

void HomeTabViewController::openDevice(std::shared_ptr<Device> device)
{
    if (!device)
        return;
    // As the device list opens it, in this tab's navigation.
    auto detail = DeviceDetailViewController::create(m_session);
    detail->setTitle(shownName(device->deviceName));
    detail->selected_device = std::move(device);
    navigationItem().setBackBarButtonItem(BarButtonItem::create("Back", BarButtonItem::Style::Bordered));
    if (auto* navigation = navigationController())
        navigation->pushViewController(detail, true);
}

int HomeTabViewController::numberOfRowsInSection(TableView&, int section)
{
    switch (section) {
    case NowSection:
        return m_now->numberOfRows();
    case BatterySection:
        return 2;
    case GraphSection:
        return 1;
    }
    return 0;
}

std::optional<std::string> HomeTabViewController::titleForHeaderInSection(TableView&, int section)
{
    if (section == NowSection)
        return std::string("Now");
    return std::nullopt;
}

double HomeTabViewController::heightForRowAtIndexPath(TableView&, IndexPath path)
{
    if (path.section == NowSection)
        return m_now->heightForRow(path.row);
    // The rows grow with their text.
    return heightForText(path.section == BatterySection && path.row == 0 ? batteryRowHeight : rowHeight);
}

void HomeTabViewController::didSelectRowAtIndexPath(TableView& table, IndexPath path)
{
    if (path.section == NowSection)
        openDevice(m_now->deviceAtRow(path.row));
    table.deselectRowAtIndexPath(path, true);
}

void HomeTabViewController::willDisplayCell(TableView&, TableViewCell& cell, IndexPath)
{
    cell.setSelectionStyle(TableViewCellSelectionStyle::None);
}

std::shared_ptr<TableViewCell> HomeTabViewController::cellForRowAtIndexPath(TableView& table, IndexPath path)
{
    if (path.section == NowSection)
        return m_now->cellForRow(table, path.row);
    if (path.section == BatterySection && path.row == 0) {
        auto cell
            = std::dynamic_pointer_cast<BatteryInfoCell>(table.dequeueReusableCellWithIdentifier("BatteryInfoCell"));
        if (!cell)
            cell = batteryInfoCell ? batteryInfoCell : BatteryInfoCell::create("BatteryInfoCell");
        cell->setAccessibilityIdentifier("batteryInfoCell");
        batteryInfoCell = cell;
        return cell;
    }
    if (path.section == BatterySection) {
        auto cell
            = std::dynamic_pointer_cast<InfoDisplayCell>(table.dequeueReusableCellWithIdentifier("isChargingCell"));
        if (!cell)
            cell = std::make_shared<ChargingCell>("isChargingCell");
        cell->setAccessibilityIdentifier("chargingCell");
        cell->value().setFont(Font::systemFont(17));
        cell->name().setFont(Font::systemFont(17));
        cell->name().setText("Charging (AC Generator)");
        // The table asks for the row again whenever it lays it out anew; the
        // row keeps showing what the last reply said ("N/A" before one).
        cell->value().setText(m_chargingText);
        cell->setBackgroundColor(Color::whiteColor());
        chargingCell = cell;
        return cell;
    }

    auto cell = std::dynamic_pointer_cast<GraphButtonsCell>(table.dequeueReusableCellWithIdentifier("GraphCell"));
    if (!cell)
        cell = GraphButtonsCell::create("GraphCell");
    cell->setBackgroundView(View::create());
    std::weak_ptr<HomeTabViewController> weak = self();
    batteryPercentageGraphButton = cell->powerDrawButton();
    batteryPercentageGraphButton->setAccessibilityIdentifier("batteryPercentageGraphButton");
    batteryPercentageGraphButton->removeAllTargets();
    batteryPercentageGraphButton->addTarget(ControlEventTouchUpInside, [weak](Control&) {
        if (auto screen = weak.lock())
            screen->batteryGraph();
    });
    batteryPercentageGraphButton->setTitle("Battery Percentage");
    energyConsumptionGraphButton = cell->energyConsumedButton();
    energyConsumptionGraphButton->setAccessibilityIdentifier("energyConsumptionGraphButton");
    energyConsumptionGraphButton->removeAllTargets();
    energyConsumptionGraphButton->addTarget(ControlEventTouchUpInside, [weak](Control&) {
        if (auto screen = weak.lock())
            screen->energyConsumedGraph();
    });
    energyConsumptionGraphButton->setEnabled(true);
    for (const auto& button : { batteryPercentageGraphButton, energyConsumptionGraphButton })
        button->titleLabel().setFont(Font::boldSystemFont(14));
    return cell;
}

}
