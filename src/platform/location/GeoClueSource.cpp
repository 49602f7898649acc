#include "platform/location/GeoClueSource.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"

#include <gio/gio.h>

#include <algorithm>
#include <cmath>

namespace hestio::platform {

namespace {

    constexpr const char* serviceName = "org.freedesktop.GeoClue2";
    constexpr const char* managerPath = "/org/freedesktop/GeoClue2/Manager";
    constexpr const char* managerInterface = "org.freedesktop.GeoClue2.Manager";
    constexpr const char* clientInterface = "org.freedesktop.GeoClue2.Client";
    constexpr const char* locationInterface = "org.freedesktop.GeoClue2.Location";
    constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";

    std::optional<double> doubleIn(GVariant* dictionary, const char* key)
    {
        double value = 0;
        if (!g_variant_lookup(dictionary, key, "d", &value))
            return std::nullopt;
        return value;
    }

}

GeoClueSource::GeoClueSource(RunLoop& loop, PositionSource& target, Options options)
    : m_loop(loop)
    , m_target(target)
    , m_options(std::move(options))
{
}

GeoClueSource::~GeoClueSource()
{
    stop();
}

void GeoClueSource::start()
{
    if (m_state != State::Idle)
        return;
    m_state = State::Starting;
    ++m_generation;
    if (!m_bus)
        m_bus = std::make_unique<BusConnection>(m_loop, BusConnection::Bus::System, m_options.busAddress);
    m_bus->call({ serviceName, managerPath, managerInterface, "GetClient" },
        [this, generation = m_generation](Variant result, const std::string& error) {
            if (generation == m_generation)
                gotClient(std::move(result), error);
        });
}

void GeoClueSource::gotClient(Variant result, const std::string& error)
{
    if (m_state != State::Starting)
        return;
    if (!result || !g_variant_is_of_type(result.get(), G_VARIANT_TYPE("(o)"))) {
        fail(error.empty() ? "the service gave no client" : error);
        return;
    }
    const char* path = nullptr;
    g_variant_get(result.get(), "(&o)", &path);
    m_clientPath = path;
    m_subscription = m_bus->subscribe(serviceName, clientInterface, "LocationUpdated", m_clientPath,
        [this, generation = m_generation](const std::string&, Variant parameters) {
            if (generation != m_generation || m_state != State::Running
                || !g_variant_is_of_type(parameters.get(), G_VARIANT_TYPE("(oo)")))
                return;
            const char* newPath = nullptr;
            g_variant_get(parameters.get(), "(&o&o)", nullptr, &newPath);
            readLocation(newPath);
        });
    // The service checks the desktop entry before it hands out a position,
    // so the id goes first; the client starts once everything is set.
    setProperty("DesktopId", g_variant_new_string(m_options.desktopId.c_str()), [this] {
        setProperty("RequestedAccuracyLevel", g_variant_new_uint32(m_options.accuracyLevel), [this] {
            setProperty(
                "DistanceThreshold", g_variant_new_uint32(m_options.distanceThreshold), [this] { startClient(); });
        });
    });
}

void GeoClueSource::setProperty(const char* name, GVariant* value, std::function<void()> next)
{
    m_bus->call(
        { serviceName, m_clientPath, propertiesInterface, "Set", g_variant_new("(ssv)", clientInterface, name, value) },
        [this, name, next = std::move(next), generation = m_generation](Variant result, const std::string& error) {
            if (generation != m_generation || m_state != State::Starting)
                return;
            if (!result) {
                fail(std::string("cannot set ") + name + ": " + error);
                return;
            }
            next();
        });
}

void GeoClueSource::startClient()
{
    m_bus->call({ serviceName, m_clientPath, clientInterface, "Start" },
        [this, generation = m_generation](Variant result, const std::string& error) {
            if (generation != m_generation || m_state != State::Starting)
                return;
            if (!result) {
                fail("cannot start: " + error);
                return;
            }
            m_state = State::Running;
            m_failuresInRow = 0;
            // A client that already has a fix reports it only through its
            // Location property.
            m_bus->call({ serviceName, m_clientPath, propertiesInterface, "Get",
                            g_variant_new("(ss)", clientInterface, "Location") },
                [this, generation](Variant value, const std::string&) {
                    if (generation != m_generation || m_state != State::Running || !value
                        || !g_variant_is_of_type(value.get(), G_VARIANT_TYPE("(v)")))
                        return;
                    GVariant* inner = nullptr;
                    g_variant_get(value.get(), "(v)", &inner);
                    Variant path = adoptVariant(inner);
                    if (g_variant_is_of_type(path.get(), G_VARIANT_TYPE_OBJECT_PATH)
                        && std::string(g_variant_get_string(path.get(), nullptr)) != "/" && m_lastRead == 0)
                        readLocation(g_variant_get_string(path.get(), nullptr));
                });
        });
}

void GeoClueSource::readLocation(const std::string& path)
{
    std::uint64_t request = ++m_lastRead;
    m_bus->call({ serviceName, path, propertiesInterface, "GetAll", g_variant_new("(s)", locationInterface) },
        [this, request, path, generation = m_generation](Variant result, const std::string& error) {
            if (generation != m_generation || m_state != State::Running)
                return;
            if (!result || !g_variant_is_of_type(result.get(), G_VARIANT_TYPE("(a{sv})"))) {
                hestio::log("Location service: cannot read " + path + ": " + error);
                return;
            }
            applyLocation(std::move(result), request);
        });
}

void GeoClueSource::applyLocation(Variant properties, std::uint64_t request)
{
    // A slow answer about an older fix must not undo a newer one.
    if (request != m_lastRead)
        return;
    GVariant* dictionary = g_variant_get_child_value(properties.get(), 0);
    Variant owned = adoptVariant(dictionary);
    auto latitude = doubleIn(dictionary, "Latitude");
    auto longitude = doubleIn(dictionary, "Longitude");
    if (!latitude || !longitude || !std::isfinite(*latitude) || !std::isfinite(*longitude) || std::abs(*latitude) > 90
        || std::abs(*longitude) > 180) {
        hestio::log("Location service: ignored a fix without a valid position");
        return;
    }
    double accuracy = doubleIn(dictionary, "Accuracy").value_or(0);
    if (!std::isfinite(accuracy) || accuracy <= 0)
        accuracy = 1000; // No stated accuracy: assume a coarse fix.
    Date when = m_loop.clock().now();
    guint64 seconds = 0, microseconds = 0;
    if (g_variant_lookup(dictionary, "Timestamp", "(tt)", &seconds, &microseconds) && seconds > 0)
        when = Date(static_cast<double>(seconds) + static_cast<double>(microseconds) / 1e6);
    ++m_fixes;
    m_target.moveTo({ *latitude, *longitude }, when, accuracy);
}

void GeoClueSource::fail(const std::string& reason)
{
    m_state = State::Unavailable;
    m_failure = reason;
    ++m_generation;
    if (m_subscription) {
        m_bus->unsubscribe(m_subscription);
        m_subscription = 0;
    }
    // The next ask gets a client of its own; this one would stay with the
    // service for as long as the connection lasts.
    if (!m_clientPath.empty())
        m_bus->call(
            { serviceName, managerPath, managerInterface, "DeleteClient", g_variant_new("(o)", m_clientPath.c_str()) },
            {});
    m_clientPath.clear();
    m_lastRead = 0;

    double wait = m_options.firstRetrySeconds;
    for (unsigned i = 0; i < m_failuresInRow && wait < m_options.longestRetrySeconds; ++i)
        wait *= 2;
    wait = std::min(wait, m_options.longestRetrySeconds);
    const bool first = m_failuresInRow++ == 0;
    hestio::log("Location service: not available (" + reason + "); asking again in "
        + std::to_string(static_cast<long>(std::lround(wait))) + " s");
    m_retryDueMonotonic = m_loop.clock().monotonicSeconds() + wait;
    m_retry = m_loop.postDelayed(wait, [this] {
        if (m_state != State::Unavailable)
            return;
        m_state = State::Idle;
        // A bus that was unreachable stays so on its old connection.
        m_bus.reset();
        start();
    });
    // Told once: a service that stays away is not news at every retry.
    if (first && m_onFailure)
        m_onFailure(reason);
}

std::optional<double> GeoClueSource::secondsUntilRetry() const
{
    if (m_state != State::Unavailable || !m_retry.isActive())
        return std::nullopt;
    return std::max(0.0, m_retryDueMonotonic - m_loop.clock().monotonicSeconds());
}

void GeoClueSource::stop()
{
    m_retry.cancel();
    if (m_state == State::Unavailable)
        m_state = State::Idle;
    if (m_state == State::Idle)
        return;
    if (m_subscription) {
        m_bus->unsubscribe(m_subscription);
        m_subscription = 0;
    }
    if (!m_clientPath.empty())
        m_bus->call({ serviceName, m_clientPath, clientInterface, "Stop" }, {});
    m_clientPath.clear();
    m_lastRead = 0;
    m_state = State::Idle;
    ++m_generation;
}

}
