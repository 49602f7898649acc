#pragma once

#include "platform/location/Geo.h"
#include "platform/location/PositionSource.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hestio::platform {

class GeoLocationManager;
class RunLoop;

/// Callbacks of the location service; all run on the manager's run loop.
class GeoLocationManagerDelegate {
public:
    virtual ~GeoLocationManagerDelegate() = default;
    virtual void didUpdateToLocation(
        GeoLocationManager&, const GeoLocation& /*newLocation*/, const std::optional<GeoLocation>& /*oldLocation*/)
    {
    }
    virtual void didEnterRegion(GeoLocationManager&, const CircularRegion&) { }
    virtual void didExitRegion(GeoLocationManager&, const CircularRegion&) { }
    virtual void didStartMonitoringForRegion(GeoLocationManager&, const CircularRegion&) { }
    virtual void monitoringDidFailForRegion(GeoLocationManager&, const CircularRegion&, const LocationError&) { }
};

/// The location service: position updates and circular region monitoring
/// over a PositionSource. Monitored regions (with whether the device was last
/// inside each) are kept in a file, so they survive a restart and a change
/// that happened while the app was not running is reported on the first fix.
///
/// Arrival and departure use a small hysteresis (5 % of the radius, at least
/// 5 m): a position near the boundary does not flap between the two.
class GeoLocationManager {
public:
    /// `regionFile` empty: regions are not persisted. Callbacks go to the
    /// calling thread's current run loop.
    explicit GeoLocationManager(std::string regionFile = {}, PositionSource& source = PositionSource::shared());
    ~GeoLocationManager();
    GeoLocationManager(const GeoLocationManager&) = delete;
    GeoLocationManager& operator=(const GeoLocationManager&) = delete;

    /// Not owned; must outlive the manager or be reset to null.
    void setDelegate(GeoLocationManagerDelegate* delegate) { m_delegate = delegate; }
    [[nodiscard]] GeoLocationManagerDelegate* delegate() const { return m_delegate; }

    [[nodiscard]] double desiredAccuracy() const { return m_desiredAccuracy; }
    void setDesiredAccuracy(double metres) { m_desiredAccuracy = metres; }

    /// The largest region radius the service accepts, in metres.
    [[nodiscard]] double maximumRegionMonitoringDistance() const;
    /// Sets it for managers made afterwards (tests of the radius cap).
    static void setDefaultMaximumRegionMonitoringDistance(double metres);

    void startUpdatingLocation();
    void stopUpdatingLocation();
    [[nodiscard]] bool isUpdatingLocation() const { return m_updating; }
    [[nodiscard]] std::optional<GeoLocation> location() const { return m_source.current(); }

    void startMonitoringForRegion(const CircularRegion& region, double desiredAccuracy = accuracyNearestTenMeters);
    void stopMonitoringForRegion(const CircularRegion& region);
    [[nodiscard]] std::vector<CircularRegion> monitoredRegions() const;
    /// The regions every live manager on `source` watches (the window's
    /// Location menu offers them as places to go to).
    [[nodiscard]] static std::vector<CircularRegion> regionsWatchedOn(const PositionSource& source);

    /// At most this many regions are watched at once; more fail.
    static constexpr std::size_t maximumMonitoredRegions = 20;
    /// Makes the next startMonitoringForRegion fail with `error` (tests).
    void failNextRegionMonitoring(LocationError error) { m_injectedFailure = std::move(error); }

    /// The region whose state changed while the app was not running, found on
    /// the first fix after start-up; the host uses it to tell the app it was
    /// launched for a location event.
    [[nodiscard]] bool hasPendingLaunchEvent() const { return m_pendingLaunchEvent; }

private:
    struct Watched {
        CircularRegion region;
        std::optional<bool> inside;
    };
    void positionChanged(const GeoLocation& fix);
    void evaluateRegions(const GeoLocation& fix);
    void load();
    void save() const;
    template<typename F> void notify(F&& call);

    std::string m_regionFile;
    PositionSource& m_source;
    PositionSource::ListenerId m_listener { 0 };
    GeoLocationManagerDelegate* m_delegate { nullptr };
    double m_desiredAccuracy { accuracyHundredMeters };
    double m_maximumRegionDistance;
    bool m_updating { false };
    std::optional<GeoLocation> m_lastDelivered;
    std::vector<Watched> m_regions;
    std::optional<LocationError> m_injectedFailure;
    bool m_pendingLaunchEvent { false };
    std::shared_ptr<bool> m_alive { std::make_shared<bool>(true) };
    RunLoop* m_loop;
};

}
