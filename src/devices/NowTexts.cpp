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

std::string changeText(std::optional<double> percent)
{
    if (!percent || !std::isfinite(*percent))
        return noFigure;
    if (*percent >= 999.5)
        return "> +999\u00a0%";
    double rounded = std::round(*percent);
    if (rounded == 0)
        return "±0\u00a0%";
    if (rounded > 0)
        return formatted("+%.0f\u00a0%%", rounded);
    return "\u2212" + formatted("%.0f\u00a0%%", -rounded);
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
