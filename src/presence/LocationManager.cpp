#include "presence/LocationManager.h"

#include "net/Endpoints.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/LocalizedStrings.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Redaction.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "presence/FailedMovementFile.h"
#include "session/LeaveHomeChecker.h"

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

    /// A movement posting: the entry it keeps in the failed-movement file
    /// while it is on its way.
    struct MovementPosting {
        std::string entry;
    };
    /// The posting that creates a saved location.
    struct PlaceCreation {
        std::string title;
    };

    constexpr const char* unreadableAnswer = "The service's answer could not be read.";

}

std::shared_ptr<LocationManager> LocationManager::create(std::shared_ptr<Session> session, std::string regionFile)
{
    auto manager = std::make_shared<LocationManager>(std::move(session), std::move(regionFile));
    manager->m_locationManager->setDelegate(manager.get());
    return manager;
}

LocationManager::LocationManager(std::shared_ptr<Session> session, std::string regionFile)
    : m_session(std::move(session))
    , m_locationManager(std::make_unique<GeoLocationManager>(std::move(regionFile)))
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

std::vector<std::shared_ptr<Location>> LocationManager::savedLocationsFromReply(const json::Value& reply)
{
    std::vector<std::shared_ptr<Location>> saved;
    const json::Value& locations = reply["locations"];
    for (std::size_t i = 0; locations.isArray() && i < locations.count(); ++i) {
        const json::Value& element = locations[i];
        GeoLocation position;
        position.coordinate = { element["latitude"].doubleValue(), element["longitude"].doubleValue() };
        saved.push_back(Location::initWithTitle(std::string(element["title"].stringValue()), position));
    }
    return saved;
}

void LocationManager::watchSavedLocations(const std::vector<std::shared_ptr<Location>>& locations)
{
    for (const auto& location : locations) {
        if (regionIsAlreadyBeingMonitoredWithIdentifier(location->title)) {
            hestio::log("Location is already being monitored");
        } else {
            hestio::log("location is NOT being monitored: " + location->title);
            startMonitoringRegionWithCenter(location->location.coordinate, location->title);
        }
    }
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
    locationPostWSC = WebServiceConnector::create(endpoints::kLocationCreate.path, parameters, true);
    locationPostWSC->setTag(0);
    locationPostWSC->setContext(PlaceCreation { m_title });
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
    // Back home: what the leave-home check found no longer matters.
    m_session->leaveHomeChecker()->arrived(region.identifier);
}

void LocationManager::didExitRegion(GeoLocationManager&, const CircularRegion& region)
{
    // After the posting has left, which it neither waits for nor changes;
    // only leaving home checks.
    postLocationAs(localizedString("LEFT"), region,
        [checker = std::weak_ptr(m_session->leaveHomeChecker()), place = region.identifier] {
            if (auto alive = checker.lock())
                alive->left(place);
        });
}

void LocationManager::didStartMonitoringForRegion(GeoLocationManager&, const CircularRegion& region)
{
    hestio::log("successfully started monitoring region " + region.identifier);
}

void LocationManager::monitoringDidFailForRegion(GeoLocationManager&, const CircularRegion&, const LocationError& error)
{
    AlertView::create("Failed to start region monitoring", "Error: " + error.localizedDescription, this, "OK")->show();
}

void LocationManager::postLocationAs(
    const std::string& action, const CircularRegion& region, std::function<void()> thenLeft)
{
    m_session->loginSynchronous(true);
    auto timestamp = static_cast<long long>(RunLoop::current().clock().now().millisecondsSince1970());
    std::string parameters = "action=" + escapeParameter(action) + "&title=" + escapeParameter(region.identifier)
        + hestio::format(
            "&longitude=%f&latitude=%f&timestamp=%lld", region.center.longitude, region.center.latitude, timestamp);
    // Each posting runs to its own answer; replacing the property does not
    // stop the one before. The movement is in the failed-movement file
    // before it leaves, so that a process ended while it is on its way does
    // not lose it: it is sent once the disk writer has put it there (the
    // main thread does not wait for that; postings keep their order).
    auto posting = WebServiceConnector::create(endpoints::kMovementPost.path, parameters, true);
    locationSensingPostWSC = posting;
    posting->setTag(1);
    std::string entry = posting->parameters();
    posting->setContext(MovementPosting { entry });
    posting->setDelegate(weak_from_this());
    FailedMovementFile::beginPosting(entry);
    platform::DiskWriter::shared().whenWritten(FailedMovementFile::path(),
        [weak = weak_from_this(), posting, entry, thenLeft = std::move(thenLeft)](const platform::Status&) {
            // Written or not (an entry the file cannot take is kept in
            // memory), the movement goes now.
            auto self = weak.lock();
            if (!self) {
                FailedMovementFile::endPosting(entry, FailedMovementFile::PostingOutcome::NotDelivered);
                return;
            }
            self->startPosting(posting, entry);
            if (thenLeft)
                thenLeft();
        });
}

void LocationManager::startPosting(const std::shared_ptr<WebServiceConnector>& posting, const std::string& entry)
{
    posting->startConnectionForDownload(false);
    if (!posting->isRunning()) {
        // No connection could be made, so no answer will come: it waits for
        // the resend.
        if (locationSensingPostWSC == posting)
            locationSensingPostWSC.reset();
        movementNotDelivered(entry, entry, "The connection failed");
    }
}

void LocationManager::requestFinished(WebServiceConnector& request, bool success, const json::Value&)
{
    if (locationSensingPostWSC.get() == &request)
        locationSensingPostWSC.reset();
    if (locationPostWSC.get() == &request)
        locationPostWSC.reset();
    if (const auto* posting = request.context<MovementPosting>()) {
        if (!success && !request.answeredWithJSON()) {
            // Not the service's answer (a gateway's error page, an empty or
            // unreadable body): the movement may never have reached it, so it
            // waits for the resend like a posting that failed on the way.
            movementNotDelivered(posting->entry, request.parameters(), unreadableAnswer);
            return;
        }
        FailedMovementFile::endPosting(posting->entry, FailedMovementFile::PostingOutcome::Answered);
    } else if (request.context<PlaceCreation>() && !success && !request.answeredWithJSON()) {
        placeNotCreated(request.parameters(), unreadableAnswer);
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

void LocationManager::requestFailed(WebServiceConnector& request, const TransportError& error)
{
    if (locationSensingPostWSC.get() == &request)
        locationSensingPostWSC.reset();
    if (locationPostWSC.get() == &request)
        locationPostWSC.reset();
    if (const auto* posting = request.context<MovementPosting>())
        movementNotDelivered(posting->entry, request.parameters(), error.localizedDescription);
    else if (request.context<PlaceCreation>())
        placeNotCreated(request.parameters(), error.localizedDescription);
}

void LocationManager::movementNotDelivered(
    const std::string& entry, const std::string& parameters, const std::string& reason)
{
    std::string text = "Failed to post location for params: " + redactSecrets(parameters) + ":\n " + reason;
    hestio::log(text);
    FailedMovementFile::endPosting(entry, FailedMovementFile::PostingOutcome::NotDelivered);
    if (Application::shared().applicationState() == ApplicationState::Background)
        Application::shared().presentLocalNotificationNow({ text, "OK" });
}

void LocationManager::placeNotCreated(const std::string& parameters, const std::string& reason)
{
    // A new place is not a movement: kept in the failed-movement file it
    // would be resent to the movements, refused there for ever, and the
    // place still missing. The user is told instead, and can add it again.
    hestio::log("Failed to post location for params: " + redactSecrets(parameters) + ":\n " + reason);
    AlertView::create("Error Occurred", "Failed to post your location.", nullptr, "OK")->show();
}

}
