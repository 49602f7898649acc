#include "PlugIngest.h"

#include "Household.h"
#include "RealSuggestions.h"

#include <algorithm>
#include <cstdio>

namespace hestio::sim {

namespace {
    constexpr size_t kMaxUnits = 5000;
    constexpr int64_t kLimitLogEveryMs = 60'000;

    bool startsWith(std::string_view text, std::string_view prefix)
    {
        return text.substr(0, prefix.size()) == prefix;
    }
}

PlugIngest::PlugIngest(
    Store& store, int64_t householdId, IngestSettings settings, std::function<int64_t()> now, History* history)
    : m_store(store)
    , m_householdId(householdId)
    , m_settings(std::move(settings))
    , m_now(std::move(now))
    , m_history(history)
{
    for (auto& [key, deviceId] : m_store.plugDevices()) {
        Plug& plug = m_plugs[key];
        plug.deviceId = deviceId;
        m_keyOfDevice[deviceId] = key;
    }
    for (size_t i = 0; i < m_settings.mapped.size(); ++i) {
        for (const auto& topic : mappedTopics(m_settings.mapped[i]))
            m_mappedByTopic[topic].push_back(i);
    }
}

std::vector<std::string> PlugIngest::subscriptions() const
{
    std::vector<std::string> filters { "+/online", "+/status/+", "+/events/rpc", "tele/+/LWT", "tele/+/SENSOR",
        "tele/+/STATE", "stat/+/POWER", "stat/+/POWER1", "stat/+/RESULT",
        std::string(kCommandLineDiscoveryPrefix) + "+/config" };
    if (!m_settings.bridgeBase.empty())
        filters.push_back(m_settings.bridgeBase + "/#");
    for (const auto& entry : m_mappedByTopic) {
        const std::string& topic = entry.first;
        bool covered
            = std::any_of(filters.begin(), filters.end(), [&](const auto& f) { return topicMatches(f, topic); });
        if (!covered)
            filters.push_back(topic);
    }
    return filters;
}

void PlugIngest::setPublisher(PublishFunction publish)
{
    std::lock_guard lock(m_mutex);
    m_publish = std::move(publish);
}

void PlugIngest::setSubscriber(SubscribeFunction subscribe)
{
    std::lock_guard lock(m_mutex);
    m_subscribe = std::move(subscribe);
}

void PlugIngest::onMessage(const std::string& topic, std::string_view payload, bool retained)
{
    int64_t now = m_now();
    std::vector<PlugReport> reports;
    std::lock_guard lock(m_mutex);
    const std::string& base = m_settings.bridgeBase;
    if (auto moved = m_movedTopics.find(topic); moved != m_movedTopics.end()) {
        reports = parseCommandLineMessage(moved->second, payload);
    } else if (auto mapped = m_mappedByTopic.find(topic); mapped != m_mappedByTopic.end()) {
        for (size_t index : mapped->second) {
            if (auto report = parseMappedMessage(m_settings.mapped[index], topic, payload))
                reports.push_back(std::move(*report));
        }
    } else if (!base.empty() && startsWith(topic, base) && topic.size() > base.size() && topic[base.size()] == '/') {
        reports = parseBridgeMessage(base, m_bridgeDevices, topic, payload);
    } else if (startsWith(topic, "tele/") || startsWith(topic, "stat/")
        || startsWith(topic, kCommandLineDiscoveryPrefix)) {
        reports = parseCommandLineMessage(topic, payload);
    } else {
        reports = parseJsonRpcMessage(topic, payload);
    }
    bool keep = !retained && !reports.empty() && !isRepeat(topic, payload, now);
    for (const auto& report : reports)
        apply(report, now, keep, retained);
    if (!reports.empty())
        m_changed.notify_all();
}

void PlugIngest::brokerLost()
{
    if (m_history)
        m_history->hearingLost(m_now());
}

void PlugIngest::brokerBack()
{
    if (m_history)
        m_history->hearingAgain(m_now());
}

PlugIngest::Plug* PlugIngest::plugFor(const PlugReport& report)
{
    if (auto found = m_plugs.find(report.key); found != m_plugs.end()) {
        if (found->second.deviceId != 0)
            return &found->second;
    }
    if (!report.showsPlug)
        return nullptr;
    if (m_keyOfDevice.size() >= m_settings.maxDevices) {
        int64_t now = m_now();
        // Never logged yet, or a minute since: no subtraction from the
        // "never" mark, which would overflow.
        if (!m_limitLogged || now - m_lastLimitLogMs >= kLimitLogEveryMs) {
            m_limitLogged = true;
            m_lastLimitLogMs = now;
            std::fprintf(stderr,
                "hestio-hub: %zu devices made from the broker, the most it makes; plugs found "
                "since are ignored\n",
                m_settings.maxDevices);
        }
        return nullptr;
    }
    Plug& plug = m_plugs[report.key];
    plug.deviceId = m_store.addPlugDevice(m_householdId, report.key, report.name);
    m_keyOfDevice[plug.deviceId] = report.key;
    return &plug;
}

bool PlugIngest::isRepeat(const std::string& topic, std::string_view payload, int64_t nowMs)
{
    size_t hash = std::hash<std::string_view>()(payload);
    auto found = m_lastPayloads.find(topic);
    if (found == m_lastPayloads.end()) {
        // Only topics that carried something usable get here; a flood of new
        // ones starts the record afresh rather than growing it without end.
        if (m_lastPayloads.size() >= 4 * m_settings.maxDevices + 16)
            m_lastPayloads.clear();
        m_lastPayloads[topic] = { hash, nowMs };
        return false;
    }
    bool repeat = found->second.first == hash && nowMs - found->second.second < kRepeatWithinMs;
    if (!repeat)
        found->second = { hash, nowMs };
    return repeat;
}

void PlugIngest::apply(const PlugReport& report, int64_t nowMs, bool keep, bool retained)
{
    if (report.key.empty()) {
        // An availability flag for every plug of the unit.
        if (report.online && (m_unitOnline.size() < kMaxUnits || m_unitOnline.count(report.unit)))
            m_unitOnline[report.unit] = *report.online;
        return;
    }
    Plug* plug = plugFor(report);
    if (!plug)
        return;
    plug->unit = report.unit;
    if (report.command && (report.commandDescribed || !plug->commandDescribed)) {
        plug->command = report.command;
        plug->commandDescribed = report.commandDescribed;
    }
    for (const auto& [moved, usual] : report.movedTopics) {
        if (m_movedTopics.size() >= kMostMovedTopics && !m_movedTopics.count(moved))
            break;
        if (m_movedTopics.insert_or_assign(moved, usual).second && m_subscribe)
            m_subscribe(moved);
    }
    if (report.online && (m_unitOnline.size() < kMaxUnits || m_unitOnline.count(report.unit)))
        m_unitOnline[report.unit] = *report.online;
    if (keep && m_history && (report.watts || report.energyWh))
        m_history->record(plug->deviceId, nowMs, report.watts, report.energyWh);
    if (report.watts && keep) {
        if (plug->lastReadingMs && nowMs > *plug->lastReadingMs) {
            double gap = static_cast<double>(nowMs - *plug->lastReadingMs);
            plug->intervalMs = plug->intervalMs == 0 ? gap : 0.75 * plug->intervalMs + 0.25 * gap;
        }
        plug->lastReadingMs = nowMs;
        plug->watts = *report.watts;
    } else if (report.watts && retained && !plug->lastReadingMs) {
        // The broker's copy of a reading of some time ago: its value, no time.
        heldReading(*plug, nowMs);
        plug->heldReading = PowerSample { plug->heldReading ? plug->heldReading->timestampMs : 0, *report.watts };
    }
    if (report.relayOn) {
        plug->relayOn = report.relayOn;
        ++plug->relayReports;
    }
}

std::optional<PowerSample> PlugIngest::heldReading(Plug& plug, int64_t nowMs)
{
    if (!plug.heldLookedUp) {
        plug.heldLookedUp = true;
        // The last reading kept before the hub started; without one the
        // time of a retained copy is unknown, and stands as long ago.
        if (m_history && !plug.heldReading)
            plug.heldReading = m_history->lastSample(plug.deviceId, nowMs);
    }
    return plug.heldReading;
}

PlugIngest::Plug* PlugIngest::plugOfDevice(int64_t deviceId)
{
    auto key = m_keyOfDevice.find(deviceId);
    if (key == m_keyOfDevice.end())
        return nullptr;
    return &m_plugs[key->second];
}

int64_t PlugIngest::freshForMs(const Plug& plug) const
{
    if (plug.intervalMs <= 0)
        return kUnknownIntervalFreshMs;
    return std::clamp(static_cast<int64_t>(plug.intervalMs * 2.5), kShortestFreshMs, kLongestFreshMs);
}

LiveStatus PlugIngest::status(int64_t deviceId, int64_t nowMs)
{
    std::lock_guard lock(m_mutex);
    LiveStatus status;
    Plug* plug = plugOfDevice(deviceId);
    if (!plug)
        return status;
    auto online = m_unitOnline.find(plug->unit);
    bool offline = online != m_unitOnline.end() && !online->second;
    if (plug->lastReadingMs) {
        // A reading stands until a newer one is due; the plug is then as
        // good as plugged in. Past that its own age shows.
        bool fresh = nowMs - *plug->lastReadingMs < freshForMs(*plug);
        status.current = PowerSample { fresh && !offline ? nowMs : *plug->lastReadingMs, plug->watts };
        status.pluggedIn = fresh && !offline;
    } else {
        // Only an old reading, if any: it shows as old ("No recent data")
        // until the plug sends a live one.
        status.current = heldReading(*plug, nowMs);
        status.pluggedIn = !offline && online != m_unitOnline.end();
    }
    status.switchedOn = plug->relayOn.value_or(plug->lastReadingMs && plug->watts > 0.5);
    return status;
}

std::vector<PowerSample> PlugIngest::samples(int64_t deviceId, int64_t fromMs, int64_t toMs)
{
    return m_history ? m_history->samples(deviceId, fromMs, toMs, m_now()) : std::vector<PowerSample> {};
}

std::vector<EnergyBlock> PlugIngest::hourlyEnergy(
    const std::vector<int64_t>& deviceIds, int64_t fromMs, int64_t toMs, const std::string& zone)
{
    return m_history ? m_history->hourlyEnergy(deviceIds, fromMs, toMs, zone, m_now()) : std::vector<EnergyBlock> {};
}

std::vector<Suggestion> PlugIngest::suggestions(
    const std::vector<DeviceRow>& devices, const std::string& zone, int64_t nowMs)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_suggestionsAtMs && nowMs >= *m_suggestionsAtMs && nowMs - *m_suggestionsAtMs < kSuggestionsEveryMs)
            return m_suggestions;
    }
    std::vector<Suggestion> found;
    if (m_history) {
        int64_t night = lastNightStart(nowMs, zoneOffsetMinutes(zone, nowMs, true) * kMinuteMs);
        for (const auto& device : devices) {
            LiveStatus now = status(device.id, nowMs);
            // Nothing is told of a device that is off or not reporting.
            if (!now.pluggedIn || !now.switchedOn)
                continue;
            auto nightSamples = m_history->samples(device.id, night, night + 5 * kHourMs, nowMs);
            if (auto standby = standbySuggestion(device.name, device.id, nightSamples, night, night + 5 * kHourMs))
                found.push_back(*standby);
            auto recent = m_history->samples(device.id, nowMs - 14 * kDayMs, nowMs, nowMs);
            if (auto longRun = longRunSuggestion(device.name, device.id, recent, nowMs))
                found.push_back(*longRun);
        }
    }
    std::lock_guard lock(m_mutex);
    m_suggestionsAtMs = nowMs;
    m_suggestions = found;
    return found;
}

SwitchOutcome PlugIngest::switchTo(int64_t deviceId, const std::string& name, bool on)
{
    std::unique_lock lock(m_mutex);
    Plug* plug = plugOfDevice(deviceId);
    if (!plug || !plug->command)
        return SwitchOutcome { false, "this device cannot be switched from the hub" };
    if (auto online = m_unitOnline.find(plug->unit); online != m_unitOnline.end() && !online->second)
        return SwitchOutcome { false, name + " is offline and cannot be switched" };
    // A later request for the same plug replaces this one; one asking for
    // the same state shares its confirmation.
    uint64_t ticket = ++plug->commandTicket;
    plug->commandWants = on;
    m_changed.notify_all();
    uint64_t reportsBefore = plug->relayReports;
    bool alreadyThere = plug->relayOn == on;
    const PlugCommand command = *plug->command;
    PublishFunction publish = m_publish;
    // Published unlocked: the broker's thread may be delivering the answer.
    lock.unlock();
    bool sent = publish && publish(command.topic, on ? command.onPayload : command.offPayload);
    lock.lock();
    if (!sent)
        return SwitchOutcome { false, "the hub is not connected to the broker; try again in a moment" };
    // A plug already in the state asked for may well say nothing more.
    if (alreadyThere)
        return SwitchOutcome { true, {} };
    auto deadline = std::chrono::steady_clock::now() + m_settings.confirmTimeout;
    while (true) {
        // The plug may have reported while the command was published.
        plug = plugOfDevice(deviceId);
        if (plug->relayReports != reportsBefore && plug->relayOn == on)
            return SwitchOutcome { true, {} };
        if (plug->commandTicket != ticket && plug->commandWants != on)
            return SwitchOutcome { false, "a later request for " + name + " replaced this one" };
        if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            plug = plugOfDevice(deviceId);
            if (plug->relayReports != reportsBefore && plug->relayOn == on)
                return SwitchOutcome { true, {} };
            return SwitchOutcome { false, name + " did not answer the switch command" };
        }
    }
}

}
