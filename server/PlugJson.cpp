#include "PlugJson.h"

#include "json/Decoder.h"

#include <cmath>
#include <exception>

namespace hestio::sim {

json::Value decodeObject(std::string_view payload)
{
    if (payload.empty() || (payload.front() != '{' && payload.front() != '['))
        return {};
    try {
        json::Error error;
        return json::objectFromJSONDataWithParseOptions(payload, json::ParseOptionStrict, &error);
    } catch (const std::exception&) {
        return {};
    }
}

std::optional<double> finiteNumber(const json::Value& value)
{
    if (!value.isNumber())
        return std::nullopt;
    double number = value.doubleValue();
    if (!std::isfinite(number) || std::fabs(number) > 1e15)
        return std::nullopt;
    return number;
}

std::optional<double> counterNumber(const json::Value& value, double toWattHours)
{
    auto number = finiteNumber(value);
    if (!number)
        return std::nullopt;
    double wattHours = *number * toWattHours;
    if (!(wattHours >= 0) || wattHours >= 1e12)
        return std::nullopt;
    return wattHours;
}

const json::Value& valueAtPath(const json::Value& object, std::string_view path)
{
    const json::Value* current = &object;
    while (true) {
        size_t dot = path.find('.');
        current = &(*current)[path.substr(0, dot)];
        if (dot == std::string_view::npos || current->isNone())
            return *current;
        path = path.substr(dot + 1);
    }
}

}
