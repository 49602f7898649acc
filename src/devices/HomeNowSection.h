#pragma once

#include "model/Device.h"
#include "model/EnergyToday.h"
#include "model/PowerNow.h"
#include "model/Tariff.h"
#include "net/WebServiceConnector.h"
#include "platform/foundation/CurrencyFormatter.h"
#include "platform/foundation/DateFormatter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/TableView.h"
#include "session/Session.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hestio {

/// The Home tab's "Now" section: the household's draw from the device list,
/// today's energy beside yesterday's by the same clock time, today's cost
/// when the user set a tariff, and the devices drawing most. While started it
/// asks for the device list every `refreshSeconds` (never twice at once) and
/// for the energy every `energyRefreshSeconds`; the Home tab starts it while
/// it is on screen and the app is active. Main thread only.
class HomeNowSection final : public WebServiceConnectorDelegate, public std::enable_shared_from_this<HomeNowSection> {
public:
    static constexpr double refreshSeconds = 10;
    static constexpr double energyRefreshSeconds = 60;
    /// After a failed refresh a figure stays, with its time and the reason,
    /// while it was read no longer ago than this; then it gives way to "—".
    static constexpr double keptFigureSeconds = 300;

    enum class Row { Power, Energy, Cost, Device };
    /// What a row shows.
    struct Texts {
        std::string name;
        std::string value;
        std::string detail;
        std::string change;
        bool operator==(const Texts&) const = default;
    };
    /// What each request was sent for, read back with its answer.
    struct PowerDownload {
        unsigned number;
    };
    struct EnergyDownload {
        unsigned number;
        platform::Date at;
    };

    [[nodiscard]] static std::shared_ptr<HomeNowSection> create(std::shared_ptr<Session> session);
    explicit HomeNowSection(std::shared_ptr<Session> session);
    ~HomeNowSection() override;

    /// Reads the signed-in user's tariff, refreshes the draw and the energy
    /// at once, then the draw every `refreshSeconds` until stop().
    void start();
    /// Stops the timer; a request in flight still shows its answer.
    void stop();
    [[nodiscard]] bool isRunning() const { return m_timer.isActive(); }
    /// One round: the device list unless one is in flight, the energy when
    /// it is due. Nothing goes out while nobody is signed in.
    void refresh();
    /// Asks for the device list now, unless one is in flight.
    void refreshPower();
    /// Asks for today's energy now, unless a request for it is in flight.
    void refreshEnergy();
    /// Forgets every figure and drops the requests in flight (signed out).
    void reset();
    [[nodiscard]] bool isDownloadingDevices() const;
    [[nodiscard]] bool isDownloadingEnergy() const;

    /// Called whenever what the rows show may have changed.
    std::function<void()> onChange;

    // Rows: the draw, the energy, the cost (with a tariff), then the devices.
    [[nodiscard]] int numberOfRows() const;
    [[nodiscard]] Row rowKind(int row) const;
    [[nodiscard]] double heightForRow(int row) const;
    [[nodiscard]] std::shared_ptr<platform::TableViewCell> cellForRow(platform::TableView& table, int row);
    /// The device a device row shows; none for the other rows.
    [[nodiscard]] std::shared_ptr<Device> deviceAtRow(int row) const;
    /// What the row shows at this moment.
    [[nodiscard]] Texts textsOfRow(int row);

    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;

private:
    /// A figure's state: the last good one (if any), and why the newest
    /// answer gave none (if it did not).
    struct PowerState {
        std::optional<PowerNow> figure;
        std::optional<std::string> failure;
        /// The figure is the one of the device list kept from the last run.
        bool fromKeptList { false };
    };
    struct EnergyState {
        std::optional<std::vector<HourlyEnergy>> blocks;
        platform::Date at;
        std::optional<EnergyToday> figure;
        std::optional<std::string> failure;
    };

    void startPowerDownload();
    void startEnergyDownload();
    void powerEnded(const PowerDownload& download, bool success, const json::Value& data, bool answeredWithJSON);
    void energyEnded(const EnergyDownload& download, bool success, const json::Value& data, bool answeredWithJSON);
    void powerFailed(std::string reason);
    /// The service could not be reached for the sign-in: the draw as the
    /// kept device list had it, if one is kept, and the reason.
    void showUnreachable();
    [[nodiscard]] PowerNow powerOf(const json::Value& list, platform::Date at) const;
    void energyFailed(std::string reason);
    void changed();
    [[nodiscard]] platform::Date now() const;
    [[nodiscard]] std::optional<Tariff> loadTariff() const;
    [[nodiscard]] bool keepsPower(platform::Date now) const;
    /// Whether a figure shows beside a failure: one read recently, or the
    /// one of the kept device list.
    [[nodiscard]] bool keepsPowerShown(platform::Date now) const;
    [[nodiscard]] bool keepsEnergy(platform::Date now) const;
    [[nodiscard]] bool showsDevices() const;
    [[nodiscard]] std::string clockText(platform::Date date);
    [[nodiscard]] std::string money(double amount);
    Texts powerTexts();
    Texts energyTexts();
    Texts costTexts();

    std::shared_ptr<Session> m_session;
    platform::TimerHandle m_timer;
    std::shared_ptr<WebServiceConnector> m_powerRequest;
    std::shared_ptr<WebServiceConnector> m_energyRequest;
    unsigned m_powerSent { 0 };
    unsigned m_powerShown { 0 };
    unsigned m_energySent { 0 };
    unsigned m_energyShown { 0 };
    /// Monotonic seconds of the last energy request; none before the first
    /// since start().
    std::optional<double> m_energyAskedAt;
    PowerState m_power;
    EnergyState m_energy;
    std::optional<Tariff> m_tariff;
    std::optional<platform::DateFormatter> m_clockFormatter;
    std::optional<platform::CurrencyFormatter> m_currencyFormatter;
};

}
