#pragma once

#include "model/Location.h"
#include "net/WebServiceConnector.h"
#include "platform/location/GeoLocationManager.h"
#include "platform/ui/AlertView.h"
#include "session/Session.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hestio {

/// The saved locations as regions: creates a saved location at the current
/// position, watches each as a circle, and reports arriving ("ARRIVED") and
/// leaving ("LEFT") to the service, keeping postings that fail for a later
/// resend (FailedMovementFile). One instance, owned by the app delegate.
class LocationManager final : public platform::GeoLocationManagerDelegate,
                              public WebServiceConnectorDelegate,
                              public platform::AlertViewDelegate,
                              public std::enable_shared_from_this<LocationManager> {
public:
    /// Regions persist in `regionFile` (empty: not at all). Movements are
    /// posted for the signed-in user of `session`.
    [[nodiscard]] static std::shared_ptr<LocationManager> create(
        std::shared_ptr<Session> session, std::string regionFile = {});
    ~LocationManager() override;

    /// Creates a saved location with this name at the current position.
    void startMonitoringLocationWithTitle(const std::string& title);
    void startMonitoringRegionWithCenter(platform::Coordinate center, const std::string& identifier);
    [[nodiscard]] bool regionIsAlreadyBeingMonitoredWithIdentifier(const std::string& identifier) const;
    void stopMonitoringRegionWithIdentifier(const std::string& identifier);
    /// Stops watching every region (logout).
    void removeAllLocations();
    void startUpdatingLocation();
    void stopUpdatingLocation();
    /// Posts the movement; `thenLeft` runs once it has left.
    void postLocationAs(
        const std::string& action, const platform::CircularRegion& region, std::function<void()> thenLeft = {});

    /// The saved locations of a "/api/location" reply, in its order.
    static std::vector<std::shared_ptr<Location>> savedLocationsFromReply(const json::Value& reply);
    /// Watches each of them that is not watched yet.
    void watchSavedLocations(const std::vector<std::shared_ptr<Location>>& locations);

    // The failed-movement file
    static std::vector<std::string> getAllFailedLocations();
    static void addLocationToPlist(const std::string& entry);
    [[nodiscard]] static std::optional<std::string> getLocationFromPlist();

    /// The radius of every region, metres: 50, capped at the service's maximum.
    [[nodiscard]] static double regionRadius();
    static void resetRegionRadiusForTesting();

    platform::GeoLocationManager& locationManager() { return *m_locationManager; }
    const std::string& title() const { return m_title; }
    std::shared_ptr<WebServiceConnector> locationPostWSC;
    std::shared_ptr<WebServiceConnector> locationSensingPostWSC;
    std::optional<platform::Date> lastUpdate;

    // Location service callbacks
    void didUpdateToLocation(platform::GeoLocationManager&, const platform::GeoLocation& newLocation,
        const std::optional<platform::GeoLocation>& oldLocation) override;
    void didEnterRegion(platform::GeoLocationManager&, const platform::CircularRegion&) override;
    void didExitRegion(platform::GeoLocationManager&, const platform::CircularRegion&) override;
    void didStartMonitoringForRegion(platform::GeoLocationManager&, const platform::CircularRegion&) override;
    void monitoringDidFailForRegion(
        platform::GeoLocationManager&, const platform::CircularRegion&, const platform::LocationError&) override;

    // Request callbacks: each posting finds what it sent in its context.
    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;

    LocationManager(std::shared_ptr<Session> session, std::string regionFile);

private:
    /// Sends a movement posting, now in the failed-movement file.
    void startPosting(const std::shared_ptr<WebServiceConnector>& posting, const std::string& entry);
    void movementNotDelivered(const std::string& entry, const std::string& parameters, const std::string& reason);
    void placeNotCreated(const std::string& parameters, const std::string& reason);

    std::shared_ptr<Session> m_session;
    std::unique_ptr<platform::GeoLocationManager> m_locationManager;
    std::string m_title;
};

}
