#include "model/Tariff.h"

#include "platform/foundation/Calendar.h"
#include "platform/foundation/CurrencyFormatter.h"
#include "platform/foundation/UserDefaults.h"

#include <cmath>

namespace hestio {

namespace {

    bool acceptablePrice(double price)
    {
        return std::isfinite(price) && price >= 0 && price <= Tariff::maximumPrice;
    }

    bool acceptableHour(int hour)
    {
        return hour >= 0 && hour <= 23;
    }

    std::optional<double> realIn(const platform::PropertyListValue::Dictionary& values, const char* key)
    {
        auto found = values.find(key);
        if (found == values.end())
            return std::nullopt;
        if (auto real = found->second.asReal())
            return real;
        if (auto integer = found->second.asInteger())
            return static_cast<double>(*integer);
        return std::nullopt;
    }

    std::optional<int> hourIn(const platform::PropertyListValue::Dictionary& values, const char* key)
    {
        auto found = values.find(key);
        if (found == values.end())
            return std::nullopt;
        auto integer = found->second.asInteger();
        if (!integer || *integer < 0 || *integer > 23)
            return std::nullopt;
        return static_cast<int>(*integer);
    }

}

std::optional<std::string> Tariff::problem() const
{
    if (!platform::isCurrencyCodeShaped(currency))
        return "The currency must be a three-letter code such as EUR or USD.";
    if (!acceptablePrice(pricePerKWh))
        return "The price must be a number from 0 to 1,000,000.";
    if (offPeak) {
        if (!acceptablePrice(offPeak->pricePerKWh))
            return "The off-peak price must be a number from 0 to 1,000,000.";
        if (!acceptableHour(offPeak->startHour) || !acceptableHour(offPeak->endHour))
            return "The off-peak hours must be from 0 to 23.";
        if (offPeak->startHour == offPeak->endHour)
            return "The off-peak hours must not start and end at the same hour.";
    }
    return std::nullopt;
}

double Tariff::priceForHour(int hour) const
{
    if (!offPeak)
        return pricePerKWh;
    const int start = offPeak->startHour;
    const int end = offPeak->endHour;
    const bool inside = start < end ? (hour >= start && hour < end) : (hour >= start || hour < end);
    return inside ? offPeak->pricePerKWh : pricePerKWh;
}

double Tariff::priceAt(platform::Date instant, const platform::TimeZone& zone) const
{
    if (!offPeak)
        return pricePerKWh;
    platform::Calendar calendar(zone);
    return priceForHour(calendar.components(instant).hour);
}

double Tariff::costOf(double kWh, platform::Date hourStart, const platform::TimeZone& zone) const
{
    return kWh * priceAt(hourStart, zone);
}

std::string Tariff::defaultsKey(const std::string& username)
{
    return "tariff." + username;
}

std::optional<Tariff> Tariff::load(const platform::UserDefaults& defaults, const std::string& username)
{
    auto stored = defaults.objectForKey(defaultsKey(username));
    if (!stored)
        return std::nullopt;
    const auto* values = stored->asDictionary();
    if (!values)
        return std::nullopt;
    Tariff tariff;
    auto currency = values->find("currency");
    if (currency == values->end() || !currency->second.asString())
        return std::nullopt;
    tariff.currency = *currency->second.asString();
    auto price = realIn(*values, "pricePerKWh");
    if (!price)
        return std::nullopt;
    tariff.pricePerKWh = *price;
    if (values->count("offPeakPricePerKWh")) {
        auto offPeakPrice = realIn(*values, "offPeakPricePerKWh");
        auto start = hourIn(*values, "offPeakStartHour");
        auto end = hourIn(*values, "offPeakEndHour");
        if (!offPeakPrice || !start || !end)
            return std::nullopt;
        tariff.offPeak = OffPeak { *offPeakPrice, *start, *end };
    }
    if (tariff.problem())
        return std::nullopt;
    return tariff;
}

void Tariff::save(platform::UserDefaults& defaults, const std::string& username) const
{
    platform::PropertyListValue::Dictionary values;
    values["currency"] = currency;
    values["pricePerKWh"] = pricePerKWh;
    if (offPeak) {
        values["offPeakPricePerKWh"] = offPeak->pricePerKWh;
        values["offPeakStartHour"] = offPeak->startHour;
        values["offPeakEndHour"] = offPeak->endHour;
    }
    defaults.setObject(std::move(values), defaultsKey(username));
}

void Tariff::remove(platform::UserDefaults& defaults, const std::string& username)
{
    defaults.removeObjectForKey(defaultsKey(username));
}

}
