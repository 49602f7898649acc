#pragma once

#include "platform/dbus/BusConnection.h"
#include "platform/foundation/RunLoop.h"
#include "platform/location/PositionSource.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace hestio::platform {

/// Moves a PositionSource to where the system's location service
/// (org.freedesktop.GeoClue2, normally on the system bus) says the machine
/// is. It asks the service for a client, names the app's desktop entry (the
/// service grants access by it), asks for the accuracy wanted, starts the
/// client and follows its LocationUpdated signal, reading each new location
/// object's Latitude, Longitude, Accuracy and Timestamp.
///
/// Everything runs on the given run loop; the bus is served by a thread of
/// its own. A fix the service reports with an impossible position is
/// logged and ignored.
///
/// A service that cannot be used (not running, refusing, gone) is asked
/// again later, ever less often, until it works or stop() is called; the
/// client it made is deleted first, so that asks do not pile up clients.
class GeoClueSource {
public:
    enum class State { Idle, Starting, Running, Unavailable };

    struct Options {
        /// The bus to find the service on; empty for the system bus.
        std::string busAddress;
        /// The desktop entry's name, without ".desktop".
        std::string desktopId { "hestio" };
        /// The service's accuracy level: 8 exact, 6 street, 5 neighbourhood,
        /// 4 city.
        unsigned accuracyLevel { 8 };
        /// Metres the machine must move before the service reports again.
        unsigned distanceThreshold { 0 };
        /// Seconds before the service is asked again after it failed; each
        /// failure in a row doubles the wait, up to the longest.
        double firstRetrySeconds { 5 };
        double longestRetrySeconds { 300 };
    };

    GeoClueSource(RunLoop& loop, PositionSource& target, Options options);
    ~GeoClueSource();
    GeoClueSource(const GeoClueSource&) = delete;
    GeoClueSource& operator=(const GeoClueSource&) = delete;

    /// Asks the service for a client and starts it. Does nothing unless idle.
    void start();
    /// Stops the client (the service may turn its receivers off), and asks
    /// no more after a failure.
    void stop();

    [[nodiscard]] State state() const { return m_state; }
    /// Why the service could not be used, when it could not.
    [[nodiscard]] const std::string& failure() const { return m_failure; }
    /// Told once when the service turns out to be unusable, not at each
    /// failed retry; told again only if it fails after having worked.
    void setFailureHandler(std::function<void(const std::string&)> handler) { m_onFailure = std::move(handler); }
    /// Seconds until the service is asked again, while unavailable.
    [[nodiscard]] std::optional<double> secondsUntilRetry() const;

    /// Fixes applied to the position source so far.
    [[nodiscard]] std::size_t fixCount() const { return m_fixes; }

private:
    void gotClient(Variant result, const std::string& error);
    void setProperty(const char* name, GVariant* value, std::function<void()> next);
    void startClient();
    void readLocation(const std::string& path);
    void applyLocation(Variant properties, std::uint64_t request);
    void fail(const std::string& reason);

    RunLoop& m_loop;
    PositionSource& m_target;
    Options m_options;
    std::unique_ptr<BusConnection> m_bus;
    State m_state { State::Idle };
    std::string m_failure;
    std::string m_clientPath;
    unsigned m_subscription { 0 };
    std::uint64_t m_lastRead { 0 };
    /// Moves on at each start and stop, so answers to an earlier start are
    /// recognised and dropped.
    std::uint64_t m_generation { 0 };
    std::size_t m_fixes { 0 };
    std::function<void(const std::string&)> m_onFailure;
    /// Failures since the service last worked.
    unsigned m_failuresInRow { 0 };
    TimerHandle m_retry;
    double m_retryDueMonotonic { 0 };
};

}
