#include "platform/location/GeoLocationManager.h"

#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PrivateFiles.h"
#include "platform/foundation/RunLoop.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <sstream>

namespace hestio::platform {

namespace {

    double g_defaultMaximumRegionDistance = 400000;

    double hysteresisFor(double radius)
    {
        return std::max(5.0, radius * 0.05);
    }

    // Region identifiers are free text: keep each on one line, space-free.
    std::string escapeIdentifier(const std::string& text)
    {
        std::string out;
        for (unsigned char c : text) {
            if (c <= ' ' || c == '%' || c == 0x7f) {
                char buffer[4];
                std::snprintf(buffer, sizeof buffer, "%%%02X", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
        return out.empty() ? "%" : out;
    }

    std::optional<std::string> unescapeIdentifier(const std::string& text)
    {
        if (text == "%")
            return std::string();
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '%') {
                out += text[i];
                continue;
            }
            if (i + 2 >= text.size() || !std::isxdigit((unsigned char)text[i + 1])
                || !std::isxdigit((unsigned char)text[i + 2]))
                return std::nullopt;
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
        return out;
    }

}

namespace {

    /// The live managers, for regionsWatchedOn (main thread only).
    std::vector<GeoLocationManager*>& liveManagers()
    {
        static std::vector<GeoLocationManager*> managers;
        return managers;
    }

}

GeoLocationManager::GeoLocationManager(std::string regionFile, PositionSource& source)
    : m_regionFile(std::move(regionFile))
    , m_source(source)
    , m_maximumRegionDistance(g_defaultMaximumRegionDistance)
    , m_loop(&RunLoop::current())
{
    load();
    m_listener = m_source.addListener([this](const GeoLocation& fix) { positionChanged(fix); });
    liveManagers().push_back(this);
}

GeoLocationManager::~GeoLocationManager()
{
    *m_alive = false;
    m_source.removeListener(m_listener);
    std::erase(liveManagers(), this);
}

std::vector<CircularRegion> GeoLocationManager::regionsWatchedOn(const PositionSource& source)
{
    std::vector<CircularRegion> regions;
    for (const GeoLocationManager* manager : liveManagers()) {
        if (&manager->m_source != &source)
            continue;
        for (const auto& watched : manager->m_regions)
            if (std::find(regions.begin(), regions.end(), watched.region) == regions.end())
                regions.push_back(watched.region);
    }
    return regions;
}

double GeoLocationManager::maximumRegionMonitoringDistance() const
{
    return m_maximumRegionDistance;
}

void GeoLocationManager::setDefaultMaximumRegionMonitoringDistance(double metres)
{
    g_defaultMaximumRegionDistance = metres;
}

template<typename F> void GeoLocationManager::notify(F&& call)
{
    m_loop->post([this, alive = m_alive, call = std::forward<F>(call)]() mutable {
        if (*alive && m_delegate)
            call(*m_delegate);
    });
}

void GeoLocationManager::startUpdatingLocation()
{
    if (m_updating)
        return;
    m_updating = true;
    if (auto fix = m_source.current()) {
        auto old = m_lastDelivered;
        m_lastDelivered = fix;
        notify([this, fix = *fix, old](GeoLocationManagerDelegate& d) { d.didUpdateToLocation(*this, fix, old); });
    }
}

void GeoLocationManager::stopUpdatingLocation()
{
    m_updating = false;
}

void GeoLocationManager::positionChanged(const GeoLocation& fix)
{
    if (m_updating) {
        auto old = m_lastDelivered;
        m_lastDelivered = fix;
        notify([this, fix, old](GeoLocationManagerDelegate& d) { d.didUpdateToLocation(*this, fix, old); });
    }
    evaluateRegions(fix);
}

void GeoLocationManager::evaluateRegions(const GeoLocation& fix)
{
    bool changed = false;
    for (auto& watched : m_regions) {
        double distance = distanceBetween(fix.coordinate, watched.region.center);
        double margin = hysteresisFor(watched.region.radius);
        std::optional<bool> inside = watched.inside;
        if (distance <= watched.region.radius - margin)
            inside = true;
        else if (distance > watched.region.radius + margin)
            inside = false;
        else if (!inside)
            inside = distance <= watched.region.radius;
        if (inside == watched.inside)
            continue;
        bool wasKnown = watched.inside.has_value();
        watched.inside = inside;
        changed = true;
        if (!wasKnown)
            continue; // the first fix for a region only sets where we are
        CircularRegion region = watched.region;
        if (*inside)
            notify([this, region](GeoLocationManagerDelegate& d) { d.didEnterRegion(*this, region); });
        else
            notify([this, region](GeoLocationManagerDelegate& d) { d.didExitRegion(*this, region); });
    }
    if (changed)
        save();
}

void GeoLocationManager::startMonitoringForRegion(const CircularRegion& region, double)
{
    auto fail = [&](LocationError error) {
        notify([this, region, error](
                   GeoLocationManagerDelegate& d) { d.monitoringDidFailForRegion(*this, region, error); });
    };
    if (m_injectedFailure) {
        LocationError error = *m_injectedFailure;
        m_injectedFailure.reset();
        return fail(error);
    }
    auto existing = std::find_if(
        m_regions.begin(), m_regions.end(), [&](const Watched& w) { return w.region.identifier == region.identifier; });
    if (existing == m_regions.end() && m_regions.size() >= maximumMonitoredRegions)
        return fail(
            { LocationError::RegionMonitoringFailure, "The operation couldn't be completed. (location error 5.)" });
    if (region.radius > m_maximumRegionDistance || region.radius <= 0)
        return fail(
            { LocationError::RegionMonitoringFailure, "The operation couldn't be completed. (location error 5.)" });

    // Watching an identifier again replaces its region, as the platform does.
    Watched watched { region, std::nullopt };
    if (auto fix = m_source.current())
        watched.inside = distanceBetween(fix->coordinate, region.center) <= region.radius;
    if (existing != m_regions.end())
        *existing = watched;
    else
        m_regions.push_back(watched);
    save();
    notify([this, region](GeoLocationManagerDelegate& d) { d.didStartMonitoringForRegion(*this, region); });
}

void GeoLocationManager::stopMonitoringForRegion(const CircularRegion& region)
{
    auto it = std::find_if(
        m_regions.begin(), m_regions.end(), [&](const Watched& w) { return w.region.identifier == region.identifier; });
    if (it == m_regions.end())
        return;
    m_regions.erase(it);
    save();
}

std::vector<CircularRegion> GeoLocationManager::monitoredRegions() const
{
    std::vector<CircularRegion> regions;
    for (const auto& watched : m_regions)
        regions.push_back(watched.region);
    return regions;
}

void GeoLocationManager::load()
{
    if (m_regionFile.empty())
        return;
    // A few lines per saved place; a file much larger is none of ours.
    auto read = DiskWriter::shared().read(m_regionFile, 1024 * 1024);
    if (read && *read && (*read)->size > (*read)->bytes.size())
        read = Error("it is too large");
    if (!read || !*read) {
        if (!read)
            hestio::log("Monitored-region file " + m_regionFile + " is not readable: " + read.error().message());
        return;
    }
    std::istringstream in((*read)->bytes);
    std::string line;
    bool damaged = false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string identifier, state;
        double latitude, longitude, radius;
        if (!(fields >> identifier >> latitude >> longitude >> radius >> state)) {
            damaged = true;
            continue;
        }
        auto name = unescapeIdentifier(identifier);
        if (!name) {
            damaged = true;
            continue;
        }
        std::optional<bool> inside;
        if (state == "in")
            inside = true;
        else if (state == "out")
            inside = false;
        m_regions.push_back({ { *name, { latitude, longitude }, radius }, inside });
    }
    if (damaged)
        hestio::log("Monitored-region file " + m_regionFile + " has damaged lines; they were skipped");
    // A change that happened while we were not running shows on the first fix.
    if (auto fix = m_source.current()) {
        auto before = m_regions;
        evaluateRegions(*fix);
        for (std::size_t i = 0; i < m_regions.size(); ++i)
            m_pendingLaunchEvent |= before[i].inside.has_value() && before[i].inside != m_regions[i].inside;
    }
}

void GeoLocationManager::save() const
{
    if (m_regionFile.empty())
        return;
    std::ostringstream out;
    out.precision(17);
    for (const auto& watched : m_regions) {
        out << escapeIdentifier(watched.region.identifier) << ' ' << watched.region.center.latitude << ' '
            << watched.region.center.longitude << ' ' << watched.region.radius << ' '
            << (!watched.inside          ? "unknown"
                       : *watched.inside ? "in"
                                         : "out")
            << '\n';
    }
    DiskWriter::shared().write(m_regionFile, out.str(), [](const Status& written) {
        if (!written)
            hestio::log("Could not write monitored regions: " + written.error().message());
    });
}

}
