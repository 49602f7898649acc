#include "presence/LocationManager.h"

#include "app/HestioAppDelegate.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/LocalizedStrings.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Redaction.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "presence/FailedMovementFile.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>

namespace hestio {

using namespace platform;

namespace {

    constexpr double initialRadius = 50.0;
    double g_regionRadius = initialRadius;

    // The platform's default text of a double: up to 15 significant digits,
    // no trailing zeros.
    std::string defaultText(double value)
    {
        return hestio::format("%.15g", value);
    }

}

std::shared_ptr<LocationManager> LocationManager::create(std::string regionFile)
{
    auto manager = std::make_shared<LocationManager>(std::move(regionFile));
    manager->m_locationManager->setDelegate(manager.get());
    return manager;
}

LocationManager::LocationManager(std::string regionFile)
    : m_locationManager(std::make_unique<GeoLocationManager>(std::move(regionFile)))
{
    m_locationManager->setDesiredAccuracy(accuracyNearestTenMeters);
    g_regionRadius = std::min(g_regionRadius, m_locationManager->maximumRegionMonitoringDistance());
}

LocationManager::~LocationManager()
{
    m_locationManager->setDelegate(nullptr);
}

double LocationManager::regionRadius()
{
    return g_regionRadius;
}

void LocationManager::resetRegionRadiusForTesting()
{
    g_regionRadius = initialRadius;
}

std::vector<std::string> LocationManager::getAllFailedLocations()
{
    return FailedMovementFile::getAllFailedLocations();
}

void LocationManager::addLocationToPlist(const std::string& entry)
{
    FailedMovementFile::addLocationToPlist(entry);
}

std::optional<std::string> LocationManager::getLocationFromPlist()
{
    return FailedMovementFile::getLocationFromPlist();
}

void LocationManager::startMonitoringLocationWithTitle(const std::string& title)
{
    m_title = title;
    startUpdatingLocation();
}

void LocationManager::startMonitoringRegionWithCenter(Coordinate center, const std::string& identifier)
{
    m_locationManager->startMonitoringForRegion({ identifier, center, g_regionRadius }, accuracyNearestTenMeters);
}

bool LocationManager::regionIsAlreadyBeingMonitoredWithIdentifier(const std::string& identifier) const
{
    auto regions = m_locationManager->monitoredRegions();
    return std::any_of(regions.begin(), regions.end(), [&](const auto& r) { return r.identifier == identifier; });
}

void LocationManager::stopMonitoringRegionWithIdentifier(const std::string& identifier)
{
    for (const auto& region : m_locationManager->monitoredRegions()) {
        if (region.identifier == identifier) {
            m_locationManager->stopMonitoringForRegion(region);
            return;
        }
    }
}

void LocationManager::removeAllLocations()
{
    for (const auto& region : m_locationManager->monitoredRegions())
        m_locationManager->stopMonitoringForRegion(region);
}

void LocationManager::startUpdatingLocation()
{
    m_locationManager->startUpdatingLocation();
}

void LocationManager::stopUpdatingLocation()
{
    m_locationManager->stopUpdatingLocation();
}

void LocationManager::didUpdateToLocation(
    GeoLocationManager&, const GeoLocation& newLocation, const std::optional<GeoLocation>&)
{
    stopUpdatingLocation();
    Date now = RunLoop::current().clock().now();
    if (lastUpdate && now.timeIntervalSince(*lastUpdate) < 5)
        return;
    lastUpdate = now;

    std::string parameters = "title=" + escapeParameter(m_title)
        + "&longitude=" + escapeParameter(defaultText(newLocation.coordinate.longitude))
        + "&latitude=" + escapeParameter(defaultText(newLocation.coordinate.latitude));
    locationPostWSC = WebServiceConnector::create("/api/location", parameters, true);
    locationPostWSC->setTag(0);
    locationPostWSC->setDelegate(weak_from_this());
    locationPostWSC->startConnectionForDownload(false);

    auto location = Location::initWithTitle(m_title, newLocation);
    NotificationCenter::defaultCenter().post("LocationAdded", this, { { "location", location } });

    if (regionIsAlreadyBeingMonitoredWithIdentifier(m_title)) {
        AlertView::create("Can't create location",
            "The location you are trying to create already exists. Please choosex a different name or remove the "
            "old one",
            this, "OK")
            ->show();
    } else {
        startMonitoringRegionWithCenter(newLocation.coordinate, m_title);
    }
}

void LocationManager::didEnterRegion(GeoLocationManager&, const CircularRegion& region)
{
    postLocationAs(localizedString("ARRIVED"), region);
}

void LocationManager::didExitRegion(GeoLocationManager&, const CircularRegion& region)
{
    postLocationAs(localizedString("LEFT"), region);
}

void LocationManager::didStartMonitoringForRegion(GeoLocationManager&, const CircularRegion& region)
{
    hestio::log("successfully started monitoring region " + region.identifier);
}

void LocationManager::monitoringDidFailForRegion(GeoLocationManager&, const CircularRegion&, const LocationError& error)
{
    AlertView::create("Failed to start region monitoring", "Error: " + error.localizedDescription, this, "OK")->show();
}

void LocationManager::postLocationAs(const std::string& action, const CircularRegion& region)
{
    HestioAppDelegate::shared().loginSynchronous(true);
    auto timestamp = static_cast<long long>(RunLoop::current().clock().now().millisecondsSince1970());
    std::string parameters = "action=" + escapeParameter(action) + "&title=" + escapeParameter(region.identifier)
        + hestio::format(
            "&longitude=%f&latitude=%f&timestamp=%lld", region.center.longitude, region.center.latitude, timestamp);
    // A posting still on its way keeps running until its answer: replacing
    // it here must not cancel it and lose that movement.
    if (locationSensingPostWSC && locationSensingPostWSC->isRunning())
        m_earlierPostings.push_back(std::move(locationSensingPostWSC));
    locationSensingPostWSC = WebServiceConnector::create("/api/movement", parameters, true);
    locationSensingPostWSC->setTag(1);
    locationSensingPostWSC->setDelegate(weak_from_this());
    locationSensingPostWSC->startConnectionForDownload(false);
}

std::shared_ptr<WebServiceConnector> LocationManager::takeFinishedPosting()
{
    // The posting that just answered is the one no longer running.
    if (locationSensingPostWSC && !locationSensingPostWSC->isRunning())
        return std::move(locationSensingPostWSC);
    for (auto it = m_earlierPostings.begin(); it != m_earlierPostings.end(); ++it) {
        if (!(*it)->isRunning()) {
            auto finished = std::move(*it);
            m_earlierPostings.erase(it);
            return finished;
        }
    }
    return nullptr;
}

void LocationManager::dataSent(bool success, int tag)
{
    auto posting = tag == 1 ? takeFinishedPosting() : nullptr;
    if (!success && posting && !posting->answeredWithJSON()) {
        // Not the service's answer (a gateway's error page, an empty or
        // unreadable body): the movement may never have reached it, so it is
        // kept for the resend like a posting that failed on the way, rather
        // than dropped.
        keepForResend(posting->parameters(), "The service's answer could not be read.");
        return;
    }
    if (!success) {
        Application::shared().presentLocalNotificationNow(
            { "Failed to post location to server. \nPlease check cellular strength", "OK" });
        hestio::log("Failed to post location movement to server");
        return;
    }
    hestio::log("successfully posted server");
}

bool LocationManager::requestToServerFailedWithError(const TransportError& error, const std::string& parameters)
{
    takeFinishedPosting();
    keepForResend(parameters, error.localizedDescription);
    return true;
}

void LocationManager::keepForResend(const std::string& parameters, const std::string& reason)
{
    std::string text = "Failed to post location for params: " + redactSecrets(parameters) + ":\n " + reason;
    hestio::log(text);
    addLocationToPlist(parameters);
    if (Application::shared().applicationState() == ApplicationState::Background)
        Application::shared().presentLocalNotificationNow({ text, "OK" });
}

}
