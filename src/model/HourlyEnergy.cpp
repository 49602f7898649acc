#include "model/HourlyEnergy.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace hestio {

namespace {

    std::optional<double> numberIn(const json::Value& value)
    {
        if (value.isNumber())
            return value.doubleValue();
        if (!value.isString())
            return std::nullopt;
        std::string_view text = value.stringValue();
        double number = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (text.empty() || error != std::errc() || end != text.data() + text.size())
            return std::nullopt;
        return number;
    }

}

std::optional<std::vector<HourlyEnergy>> hourlyEnergyOf(const json::Value& reply)
{
    const json::Value& entries = reply["energyConsumptions"];
    if (!entries.isArray())
        return std::nullopt;
    std::vector<HourlyEnergy> hours;
    hours.reserve(entries.count());
    for (std::size_t i = 0; i < entries.count(); ++i) {
        auto from = numberIn(entries[i]["from"]);
        auto kWh = numberIn(entries[i]["energyConsumed"]);
        if (!from || !std::isfinite(*from) || !kWh || !std::isfinite(*kWh) || *kWh < 0)
            continue;
        hours.push_back({ platform::Date::fromMilliseconds(*from), *kWh });
    }
    return hours;
}

}
