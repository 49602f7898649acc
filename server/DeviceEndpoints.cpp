#include "RequestParams.h"
#include "Service.h"

#include "json/Dictionary.h"

#include <algorithm>
#include <cmath>

namespace hestio::sim {

using json::Value;

namespace {
    constexpr size_t kMaxNameLength = 100;
    constexpr int64_t kMaxBatteryCount = 10'080;

    double roundTo(double value, int digits)
    {
        double scale = std::pow(10.0, digits);
        return std::round(value * scale) / scale;
    }

    /// The container behind a handle made by Value::mutableDictionary.
    json::Dictionary& fieldsOf(const Value& dictionary)
    {
        return *static_cast<json::Dictionary*>(dictionary.object());
    }

    Value actionDescriptor(int64_t deviceId, int64_t actionId, int type, const char* name)
    {
        return Value::dictionary({
            { "id", Value(actionId) },
            { "device_id", Value(deviceId) },
            { "type", Value(type) },
            { "name", Value(name) },
        });
    }

    /// The window of a history request: from and to in milliseconds, to not
    /// before from and not further apart than the service allows.
    std::pair<int64_t, int64_t> requireWindow(const FormData& params, int64_t maxWindowMs)
    {
        int64_t from = requireIntegerIn(params, "from", 0, 253402300799999);
        int64_t to = requireIntegerIn(params, "to", 0, 253402300799999);
        if (to < from)
            throw RequestError(400, "parameter to must not be before from");
        if (to - from > maxWindowMs)
            throw RequestError(
                400, "the window from from to to is longer than " + std::to_string(maxWindowMs / 86'400'000) + " days");
        return { from, to };
    }

    /// Digits after the decimal point of the values (0 to 6), 2 when absent.
    int requireRounding(const FormData& params)
    {
        if (!params.has("rounding"))
            return 2;
        return static_cast<int>(requireIntegerIn(params, "rounding", 0, 6));
    }

    void requireRawScale(const FormData& params)
    {
        if (auto scale = params.get("scale"); scale && *scale != "RAW")
            throw RequestError(400, "parameter scale must be RAW");
        // "filter" must be a flag when given; every sample is kept either way.
        static_cast<void>(optionalFlag(params, "filter", true));
    }
}

Value Service::deviceObject(const DeviceRow& device, const StateTimeline& timeline, const PowerModel& model,
    bool withActions, const std::vector<Suggestion>* suggestions, const std::map<int64_t, std::string>& states)
{
    int64_t now = m_now();
    Value object = Value::mutableDictionary({
        { "id", Value(device.id) },
        { "name", Value(device.name) },
        { "location", Value(device.room) },
    });
    json::Dictionary& fields = fieldsOf(object);
    if (withActions) {
        std::optional<PowerSample> current;
        StateChange state;
        bool pluggedIn = device.meterPluggedIn;
        if (m_live) {
            LiveStatus live = m_live->status(device.id, now);
            current = live.current;
            state.switchedOn = live.switchedOn;
            pluggedIn = live.pluggedIn;
        } else {
            current = model.current(device, timeline, now);
            state = timeline.at(current ? current->timestampMs : now);
        }
        // A meter that never reported has no status to give.
        if (current) {
            fields.setObject(Value::dictionary({ { "timestamp", Value(current->timestampMs) },
                                 { "powerDraw", Value(current->watts) } }),
                Value("currentStatus"));
        }
        Value onOff = actionDescriptor(device.id, powerActionId(device.id), 0, "Power");
        std::vector<Value> actions { onOff };
        if (const RangeAction* range = rangeActionOf(device.kind)) {
            Value descriptor = Value::mutableDictionary({
                { "id", Value(rangeActionId(device.id)) },
                { "device_id", Value(device.id) },
                { "type", Value(1) },
                { "name", Value(range->name) },
            });
            fieldsOf(descriptor)
                .setObject(Value::array({
                               Value::dictionary({ { "name", "Lowest" }, { "value", Value(range->lowest) } }),
                               Value::dictionary({ { "name", "Highest" }, { "value", Value(range->highest) } }),
                               Value::dictionary({ { "name", "Current" }, { "value", Value(state.level) } }),
                           }),
                    Value("values"));
            actions.push_back(descriptor.copy());
        }
        fields.setObject(Value::array(actions), Value("possibleActions"));
        fields.setObject(onOff, Value("onOff"));
        fields.setObject(Value(pluggedIn), Value("meterPluggedIn"));
        fields.setObject(Value(pluggedIn && state.switchedOn), Value("meterSupplyingPower"));
    }
    if (suggestions) {
        std::vector<Value> items;
        for (const auto& suggestion : *suggestions) {
            if (suggestion.deviceId != device.id)
                continue;
            auto state = states.find(suggestion.id);
            if (state != states.end())
                continue; // answered: the household has seen it
            Value action = Value::null();
            if (suggestion.action) {
                action = Value::dictionary({
                    { "device_id", Value(suggestion.action->deviceId) },
                    { "act_id", Value(suggestion.action->actionId) },
                    { "act_value", Value(suggestion.action->value) },
                });
            }
            items.push_back(Value::dictionary({
                { "name", Value(suggestion.name) },
                { "id", Value(suggestion.id) },
                { "action", action },
                { "state", "NEW" },
            }));
        }
        fields.setObject(Value::array(items), Value("suggestions"));
    }
    return object.copy();
}

std::vector<Suggestion> Service::currentSuggestions(
    const Caller& caller, const std::vector<DeviceRow>& devices, const std::map<int64_t, StateTimeline>& timelines)
{
    // A real household's suggestions come from its own history.
    if (m_live)
        return m_live->suggestions(devices, caller.household.timeZone, m_now());
    return deriveSuggestions(modelFor(caller.household), devices, timelines, m_now());
}

Value Service::updateDevice(const Caller& caller, const FormData& params)
{
    int64_t id = requireInteger(params, "device_id");
    auto device = m_store.device(caller.household.id, id);
    if (!device)
        throw RequestError(404, "no device with id " + std::to_string(id) + " in your household");
    std::string room = requireName(params, "location", kMaxNameLength);
    std::string name = requireName(params, "name", kMaxNameLength, true);
    m_store.updateDevice(device->id, name, room);
    return okReply();
}

Value Service::deviceList(const Caller& caller, const FormData& params)
{
    bool withActions = optionalFlag(params, "action", false);
    bool withSuggestions = optionalFlag(params, "suggestion", false);
    if (!withActions && !withSuggestions)
        withActions = withSuggestions = true;

    const PowerModel& model = modelFor(caller.household);
    auto rows = m_store.devices(caller.household.id);
    auto timelines = timelinesOf(caller.household.id);
    std::vector<Suggestion> suggestions;
    std::map<int64_t, std::string> states;
    if (withSuggestions) {
        suggestions = currentSuggestions(caller, rows, timelines);
        states = m_store.suggestionStates(caller.household.id);
    }
    static const StateTimeline kNoChanges({});
    std::vector<Value> items;
    for (const auto& row : rows) {
        auto timeline = timelines.find(row.id);
        items.push_back(deviceObject(row, timeline == timelines.end() ? kNoChanges : timeline->second, model,
            withActions, withSuggestions ? &suggestions : nullptr, states));
    }
    return Value::dictionary({ { "success", true }, { "devices", Value::array(items) } });
}

void Service::runAction(const DeviceRow& device, int64_t actionId, int64_t value)
{
    if (m_live) {
        if (actionId != powerActionId(device.id))
            throw RequestError(
                404, "device " + std::to_string(device.id) + " has no action " + std::to_string(actionId));
        if (value != 0 && value != 1)
            throw RequestError(400, "parameter act_value must be 0 or 1 for switching");
        SwitchOutcome outcome = m_live->switchTo(device.id, device.name, value == 1);
        if (!outcome.confirmed)
            throw RequestError(409, outcome.error);
        return;
    }
    if (!device.meterPluggedIn)
        throw RequestError(409, "the meter of " + device.name + " is unplugged");
    int64_t now = m_now();
    if (!reportsAt(device, now))
        throw RequestError(409, "the meter of " + device.name + " does not answer");
    StateChange state = StateTimeline(m_store.changes(device.id)).at(now);
    state.atMs = now;
    if (actionId == powerActionId(device.id)) {
        if (value != 0 && value != 1)
            throw RequestError(400, "parameter act_value must be 0 or 1 for switching");
        state.switchedOn = value == 1;
    } else if (const RangeAction* range = rangeActionOf(device.kind); range && actionId == rangeActionId(device.id)) {
        if (value < range->lowest || value > range->highest)
            throw RequestError(400,
                "parameter act_value must lie between " + std::to_string(range->lowest) + " and "
                    + std::to_string(range->highest));
        state.level = static_cast<int>(value);
    } else {
        throw RequestError(404, "device " + std::to_string(device.id) + " has no action " + std::to_string(actionId));
    }
    m_store.addChange(device.id, state);
}

Value Service::action(const Caller& caller, const FormData& params)
{
    int64_t id = requireInteger(params, "device_id");
    auto device = m_store.device(caller.household.id, id);
    if (!device)
        throw RequestError(404, "no device with id " + std::to_string(id) + " in your household");
    runAction(*device, requireInteger(params, "act_id"), requireInteger(params, "act_value"));
    return okReply();
}

Value Service::suggestion(const Caller& caller, const FormData& params)
{
    int64_t id = requireInteger(params, "sug_id");
    std::string state = requireText(params, "state");
    if (state != "FOLLOWED" && state != "IGNORED")
        throw RequestError(400, "parameter state must be FOLLOWED or IGNORED");
    auto rows = m_store.devices(caller.household.id);
    auto suggestions = currentSuggestions(caller, rows, timelinesOf(caller.household.id));
    auto found = std::find_if(suggestions.begin(), suggestions.end(), [&](const auto& s) { return s.id == id; });
    std::optional<Suggestion> answered;
    if (found != suggestions.end()) {
        answered = *found;
    } else {
        // Shown a moment ago but no longer called for (the day's window has
        // moved on, or following another suggestion switched the device off).
        auto device = std::find_if(rows.begin(), rows.end(), [&](const auto& d) { return d.id == id / 10; });
        if (device != rows.end())
            answered = suggestionWithId(id, *device);
    }
    if (!answered)
        throw RequestError(404, "no suggestion has id " + std::to_string(id));
    auto states = m_store.suggestionStates(caller.household.id);
    if (states.count(id))
        throw RequestError(409, "suggestion " + std::to_string(id) + " was answered already");
    if (state == "FOLLOWED" && answered->action) {
        auto device = std::find_if(rows.begin(), rows.end(), [&](const auto& d) { return d.id == answered->deviceId; });
        runAction(*device, answered->action->actionId, answered->action->value);
    }
    m_store.setSuggestionState(caller.household.id, id, state, m_now());
    return okReply();
}

Value Service::statuses(const Caller& caller, const FormData& params)
{
    int64_t id = requireInteger(params, "device_id");
    auto device = m_store.device(caller.household.id, id);
    if (!device)
        throw RequestError(404, "no device with id " + std::to_string(id) + " in your household");
    auto [from, to] = requireWindow(params, m_config.maxWindowMs);
    bool ascending = optionalFlag(params, "ascending", true);
    int rounding = requireRounding(params);
    requireRawScale(params);

    std::vector<PowerSample> samples;
    if (m_live) {
        samples = m_live->samples(device->id, from, std::min(to, m_now()));
    } else {
        const PowerModel& model = modelFor(caller.household);
        StateTimeline timeline(m_store.changes(device->id));
        samples = model.samples(*device, timeline, from, to, m_now());
        model.addMeterReadings(*device, timeline, samples);
    }
    if (!ascending)
        std::reverse(samples.begin(), samples.end());
    static const Value kTimestamp("timestamp");
    static const Value kPowerDraw("powerDraw");
    static const Value kMeterReading("meterReading");
    std::vector<Value> items;
    items.reserve(samples.size());
    for (const auto& sample : samples) {
        // The register counts whole watt-hours, whatever rounding the values take.
        if (sample.meterReadingKWh) {
            items.push_back(Value::dictionary(
                { { kTimestamp, Value(sample.timestampMs) }, { kPowerDraw, Value(roundTo(sample.watts, rounding)) },
                    { kMeterReading, Value(roundTo(*sample.meterReadingKWh, 3)) } }));
        } else {
            items.push_back(Value::dictionary(
                { { kTimestamp, Value(sample.timestampMs) }, { kPowerDraw, Value(roundTo(sample.watts, rounding)) } }));
        }
    }
    return Value::dictionary({ { "success", true }, { "statuses", Value::array(items) } });
}

Value Service::energy(const Caller& caller, const FormData& params)
{
    std::string deviceParam = requireText(params, "device_id");
    auto rows = m_store.devices(caller.household.id);
    // The device "battery" stands for the whole home.
    if (deviceParam != "battery") {
        int64_t id = requireInteger(params, "device_id");
        rows.erase(std::remove_if(rows.begin(), rows.end(), [&](const auto& d) { return d.id != id; }), rows.end());
        if (rows.empty())
            throw RequestError(404, "no device with id " + std::to_string(id) + " in your household");
    }
    auto [from, to] = requireWindow(params, m_config.maxWindowMs);
    if (auto block = params.get("block"); block && *block != "CLOCK_HOUR")
        throw RequestError(400, "parameter block must be CLOCK_HOUR");

    std::vector<EnergyBlock> blocks;
    if (m_live) {
        std::vector<int64_t> ids;
        for (const auto& row : rows)
            ids.push_back(row.id);
        blocks = m_live->hourlyEnergy(ids, from, to, caller.household.timeZone);
    } else {
        blocks = modelFor(caller.household).hourlyEnergy(rows, timelinesOf(caller.household.id), from, to, m_now());
    }
    std::vector<Value> items;
    items.reserve(blocks.size());
    for (const auto& block : blocks)
        items.push_back(Value::dictionary(
            { { "from", Value(block.fromMs) }, { "energyConsumed", Value(roundTo(block.kilowattHours, 6)) } }));
    return Value::dictionary({ { "success", true }, { "energyConsumptions", Value::array(items) } });
}

Value Service::battery(const Caller& caller, const FormData& params)
{
    // A real household has no home battery the hub reads (yet): no readings.
    if (m_live)
        return Value::dictionary({ { "success", true }, { "statuses", Value::array() } });
    const PowerModel& model = modelFor(caller.household);
    int64_t now = m_now();
    std::vector<BatteryReading> readings;
    int rounding = requireRounding(params);
    if (params.has("count")) {
        if (params.has("from") || params.has("to"))
            throw RequestError(400, "give either count or from and to");
        int64_t count = requireIntegerIn(params, "count", 1, kMaxBatteryCount);
        int64_t latest = floorTo(now, kMinuteMs);
        // The newest reading comes first.
        for (int64_t i = 0; i < count; ++i)
            readings.push_back(model.battery(latest - i * kMinuteMs));
    } else {
        if (!params.has("from") && !params.has("to"))
            throw RequestError(400, "give either count or from and to");
        auto [from, to] = requireWindow(params, m_config.maxWindowMs);
        requireRawScale(params);
        readings = model.batteryReadings(from, to, now);
    }
    static const Value kTimestamp("timestamp");
    static const Value kPercentage("percentage");
    static const Value kVoltage("voltage");
    static const Value kCharging("isCharging");
    std::vector<Value> items;
    items.reserve(readings.size());
    for (const auto& reading : readings) {
        items.push_back(Value::dictionary({
            { kTimestamp, Value(reading.timestampMs) },
            { kPercentage, Value(roundTo(reading.percentage, rounding)) },
            { kVoltage, Value(roundTo(reading.voltage, rounding)) },
            { kCharging, Value(reading.charging) },
        }));
    }
    return Value::dictionary({ { "success", true }, { "statuses", Value::array(items) } });
}

}
