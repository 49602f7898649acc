#include "AppCorpus.h"

#include "json/JSON.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace hestio::bench {

namespace {

    constexpr std::int64_t kWeekStartMs = 1764547200000; // a Monday, 00:00 UTC
    constexpr int kMinutesPerWeek = 7 * 24 * 60;

    class Noise {
    public:
        double next()
        {
            m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
            return static_cast<double>(m_state >> 11) / 9007199254740992.0;
        }

    private:
        std::uint64_t m_state { 42 };
    };

    double tenths(double value)
    {
        return std::round(value * 10) / 10;
    }

    std::string write(const json::Value& value)
    {
        auto text = json::JSONData(value);
        if (!text)
            throw std::runtime_error("corpus reply did not serialize");
        return *text;
    }

    std::string powerDrawWeek(Noise& noise)
    {
        json::Value statuses = json::Value::mutableArray();
        for (int minute = 0; minute < kMinutesPerWeek; ++minute) {
            double hour = (minute % 1440) / 60.0;
            bool on = hour > 6.5 && hour < 23 && noise.next() > 0.1;
            double watts = on ? tenths(60 + 40 * std::sin(hour / 24 * 6.283) + 8 * noise.next()) : 0.0;
            statuses.asArray()->addObject(json::Value::dictionary({
                { "timestamp", kWeekStartMs + std::int64_t(minute) * 60000 },
                { "powerDraw", watts },
            }));
        }
        return write(json::Value::dictionary({ { "success", true }, { "statuses", statuses } }));
    }

    std::string deviceList(Noise& noise)
    {
        static const char* const kRooms[] = { "Kitchen", "Living room", "Bedroom", "Office", "Garage", "Bathroom" };
        static const char* const kKinds[] = { "Lamp", "Kettle", "Television", "Heater", "Fridge", "Charger",
            "Dishwasher", "Washing machine", "Router", "Speaker" };
        json::Value devices = json::Value::mutableArray();
        for (int i = 0; i < 60; ++i) {
            std::string id = "dev-" + std::to_string(1000 + i);
            std::int64_t onOffId = 5000 + 2 * i;
            json::Value suggestions = json::Value::mutableArray();
            for (int s = 0; s < 2 + i % 3; ++s) {
                suggestions.asArray()->addObject(json::Value::dictionary({
                    { "name", "Switch off the " + std::string(kKinds[i % 10]) + " when nobody is home" },
                    { "id", 9000 + 10 * i + s },
                    { "action", json::Value::dictionary({ { "device_id", id }, { "id", onOffId }, { "value", 0 } }) },
                    { "state", s == 0 ? "new" : "ignored" },
                }));
            }
            devices.asArray()->addObject(json::Value::dictionary({
                { "id", id },
                { "name", std::string(kRooms[i % 6]) + " " + kKinds[i % 10] },
                { "location", kRooms[i % 6] },
                { "currentStatus",
                    json::Value::dictionary(
                        { { "timestamp", kWeekStartMs + 600000 * i }, { "powerDraw", tenths(200 * noise.next()) } }) },
                { "possibleActions",
                    json::Value::array({
                        json::Value::dictionary(
                            { { "id", onOffId }, { "device_id", id }, { "type", 0 }, { "name", "On/Off" } }),
                        json::Value::dictionary(
                            { { "id", onOffId + 1 }, { "device_id", id }, { "type", 1 }, { "name", "Level" },
                                { "values",
                                    json::Value::array({ json::Value::dictionary({ { "name", "Min" }, { "value", 0 } }),
                                        json::Value::dictionary({ { "name", "Max" }, { "value", 100 } }) }) } }),
                    }) },
                { "onOff", json::Value::dictionary({ { "device_id", id }, { "id", onOffId } }) },
                { "meterPluggedIn", i % 7 != 0 },
                { "meterSupplyingPower", i % 5 != 0 },
                { "suggestions", suggestions },
            }));
        }
        return write(json::Value::dictionary({ { "success", true }, { "devices", devices } }));
    }

    std::string batteryWeek(Noise& noise)
    {
        json::Value statuses = json::Value::mutableArray();
        double charge = 55;
        for (int minute = 0; minute < kMinutesPerWeek; ++minute) {
            double hour = (minute % 1440) / 60.0;
            bool charging = hour > 9 && hour < 16;
            charge = std::clamp(charge + (charging ? 0.08 : -0.04) + 0.01 * (noise.next() - 0.5), 5.0, 100.0);
            statuses.asArray()->addObject(json::Value::dictionary({
                { "timestamp", kWeekStartMs + std::int64_t(minute) * 60000 },
                { "percentage", tenths(charge) },
                { "voltage", tenths(48 + charge / 25 + 0.2 * noise.next()) },
                { "isCharging", charging },
            }));
        }
        return write(json::Value::dictionary({ { "success", true }, { "statuses", statuses } }));
    }

} // namespace

std::vector<std::pair<std::string, std::string>> makeAppCorpus()
{
    Noise noise;
    std::vector<std::pair<std::string, std::string>> corpus;
    corpus.emplace_back("app-power-week", powerDrawWeek(noise));
    corpus.emplace_back("app-devices", deviceList(noise));
    corpus.emplace_back("app-battery-week", batteryWeek(noise));
    return corpus;
}

} // namespace hestio::bench
