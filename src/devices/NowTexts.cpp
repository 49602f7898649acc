#include "devices/NowTexts.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace hestio::now {

namespace {

    std::string formatted(const char* format, double value)
    {
        char text[64];
        std::snprintf(text, sizeof text, format, value);
        return text;
    }

    constexpr std::size_t kLongestMessage = 120;

}

std::string wattsText(double watts)
{
    // Each step up is taken where the shorter form would round to the next
    // one's size ("1000 W" is "1.00 kW").
    if (watts < 999.5)
        return formatted("%.0f W", watts);
    double kW = watts / 1000;
    if (kW < 9.995)
        return formatted("%.2f kW", kW);
    if (kW < 99.95)
        return formatted("%.1f kW", kW);
    return formatted("%.0f kW", kW);
}

std::string kWhText(double kWh)
{
    if (kWh < 9.995)
        return formatted("%.2f kWh", kWh);
    if (kWh < 999.95)
        return formatted("%.1f kWh", kWh);
    return formatted("%.0f kWh", kWh);
}

std::string changeText(std::optional<double> percent)
{
    if (!percent || !std::isfinite(*percent))
        return noFigure;
    if (*percent >= 999.5)
        return "> +999 %";
    double rounded = std::round(*percent);
    if (rounded == 0)
        return "±0 %";
    if (rounded > 0)
        return formatted("+%.0f %%", rounded);
    return "\u2212" + formatted("%.0f %%", -rounded);
}

std::string metersNotReportingText(int count)
{
    return std::to_string(count) + (count == 1 ? " meter" : " meters") + " not reporting";
}

std::string hoursWithoutDataText(int hours)
{
    return std::to_string(hours) + " h without data";
}

std::string failureReason(const json::Value& reply, bool answeredWithJSON)
{
    if (!answeredWithJSON || !reply.isDictionary())
        return unreadable;
    std::string message(reply["error"].stringValue());
    message = message.substr(0, message.find_first_of("\r\n"));
    auto first = message.find_first_not_of(" \t");
    message = first == std::string::npos ? std::string() : message.substr(first);
    if (message.empty())
        return refused;
    if (message.size() > kLongestMessage) {
        std::size_t cut = kLongestMessage;
        // Not in the middle of a UTF-8 sequence.
        while (cut > 0 && (static_cast<unsigned char>(message[cut]) & 0xC0) == 0x80)
            --cut;
        message = message.substr(0, cut) + "…";
    }
    message[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(message[0])));
    return message;
}

}
