#include "devices/NowTexts.h"

#include "json/Decoder.h"

#include <gtest/gtest.h>

#include <string>

using namespace hestio;

namespace {

json::Value parse(const std::string& text)
{
    return json::Decoder().parseUTF8String(text.data(), text.size());
}

}

TEST(NowTexts, ChangesAreWholePercentWithTheirSignAndANoBreakSpace)
{
    struct Case {
        std::optional<double> percent;
        const char* text;
    };
    const Case cases[] = {
        { std::nullopt, "—" },
        { 0, "±0\u00a0%" },
        { 0.49, "±0\u00a0%" },
        { -0.49, "±0\u00a0%" },
        { 0.5, "+1\u00a0%" },
        { 7.4, "+7\u00a0%" },
        { -12.6, "\u221213\u00a0%" },
        { -100, "\u2212100\u00a0%" },
        { 999.49, "+999\u00a0%" },
        { 999.5, "> +999\u00a0%" },
        { 1e12, "> +999\u00a0%" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(now::changeText(c.percent), c.text) << (c.percent ? *c.percent : -1);
}

TEST(NowTexts, MetersAndHoursAreCountedInWords)
{
    EXPECT_EQ(now::metersNotReportingText(1), "1 meter not reporting");
    EXPECT_EQ(now::metersNotReportingText(2), "2 meters not reporting");
    EXPECT_EQ(now::hoursWithoutDataText(1), "1 h without data");
    EXPECT_EQ(now::hoursWithoutDataText(14), "14 h without data");
}

TEST(NowTexts, AFailureSaysTheServicesOwnMessageWhenItSentOne)
{
    struct Case {
        const char* reply;
        bool answeredWithJSON;
        std::string reason;
    };
    const std::string longMessage(130, 'x');
    // 119 ASCII bytes, then a two-byte letter across the cut at 120.
    const std::string acrossTheCut = std::string(119, 'a') + "é and more";
    const Case cases[] = {
        { R"({"success":false,"error":"the token has expired; sign in again"})", true,
            "The token has expired; sign in again" },
        { R"({"success":false,"error":"  no device with id 7\nat line 3"})", true, "No device with id 7" },
        { R"({"success":false,"error":"élan"})", true, "élan" },
        { R"({"success":false})", true, "The service refused the request" },
        { R"({"success":false,"error":""})", true, "The service refused the request" },
        { R"({"success":false,"error":17})", true, "The service refused the request" },
        { R"([1,2])", true, "Unreadable answer from the service" },
        { R"({"success":false,"error":"from a proxy"})", false, "Unreadable answer from the service" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(now::failureReason(parse(c.reply), c.answeredWithJSON), c.reason) << c.reply;
    EXPECT_EQ(now::failureReason(json::Value(), false), "Unreadable answer from the service");
    EXPECT_EQ(
        now::failureReason(parse(R"({"error":")" + longMessage + R"("})"), true), "X" + std::string(119, 'x') + "…");
    EXPECT_EQ(
        now::failureReason(parse(R"({"error":")" + acrossTheCut + R"("})"), true), "A" + std::string(118, 'a') + "…")
        << "not in the middle of a letter";
}
