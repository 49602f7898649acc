#include "model/QuantityText.h"

#include "platform/foundation/DecimalText.h"

#include <cmath>

namespace hestio::quantity {

std::string number(double value, int fractionDigits, const platform::Locale& locale)
{
    return platform::DecimalText(locale).displayString(value, fractionDigits);
}

namespace {

    std::string withUnit(double value, int fractionDigits, const char* unit, const platform::Locale& locale)
    {
        return number(value, fractionDigits, locale) + unitSpace + unit;
    }

}

std::string power(double watts, const platform::Locale& locale)
{
    if (!std::isfinite(watts))
        return std::string("—") + unitSpace + "W";
    double size = std::fabs(watts);
    if (size < 0.05)
        return withUnit(0, 0, "W", locale);
    if (size < 9.95)
        return withUnit(watts, 1, "W", locale);
    if (size < 999.5)
        return withUnit(watts, 0, "W", locale);
    double kW = watts / 1000;
    size /= 1000;
    if (size < 9.995)
        return withUnit(kW, 2, "kW", locale);
    if (size < 99.95)
        return withUnit(kW, 1, "kW", locale);
    return withUnit(kW, 0, "kW", locale);
}

std::string energy(double kWh, const platform::Locale& locale)
{
    if (!std::isfinite(kWh))
        return std::string("—") + unitSpace + "kWh";
    double size = std::fabs(kWh);
    if (size < 9.995)
        return withUnit(kWh, 2, "kWh", locale);
    if (size < 999.95)
        return withUnit(kWh, 1, "kWh", locale);
    return withUnit(kWh, 0, "kWh", locale);
}

}
