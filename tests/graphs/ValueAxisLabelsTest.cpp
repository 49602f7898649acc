#include "GraphTestSupport.h"

#include "charting/AxisLabel.h"
#include "charting/TextLayer.h"
#include "charting/XYAxis.h"
#include "graphs/DevicePowerDrawGraphViewController.h"
#include "model/Device.h"

using namespace hestio;
using platform::FakeTransport;

namespace {

using ValueAxisLabelsTest = test::GraphFixture;

/// The power-draw graph of a lamp whose week holds four samples of `watts`
/// (as the reply writes it), its vertical axis labelled.
std::shared_ptr<DevicePowerDrawGraphViewController> graphOf(test::GraphFixture& fixture, const std::string& watts)
{
    std::string samples;
    for (int i = 0; i < 4; ++i) {
        samples += (i ? "," : "") + std::string(R"({"timestamp":)")
            + test::GraphFixture::ms(test::GraphFixture::berlinMidnight + i * 3600) + R"(,"powerDraw":)" + watts + "}";
    }
    fixture.transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"statuses":[)" + samples + "]}"));
    auto graph = fixture.load(DevicePowerDrawGraphViewController::create(
        fixture.userSession(), Device::initWithID("42", "Desk Lamp", "Study")));
    fixture.loop.runPending();
    graph->graph()->xyAxisSet()->yAxis()->relabel();
    return graph;
}

std::vector<std::string> valueLabels(const DevicePowerDrawGraphViewController& graph)
{
    std::vector<std::string> texts;
    for (const auto& label : graph.graph()->xyAxisSet()->yAxis()->axisLabels())
        texts.push_back(label->contentLayer()->text());
    std::sort(texts.begin(), texts.end(),
        [](const std::string& a, const std::string& b) { return std::stod(a) < std::stod(b); });
    return texts;
}

}

TEST_F(ValueAxisLabelsTest, EveryDayDrawsKeepTheirPlainLabels)
{
    auto graph = graphOf(*this, "1000");
    std::vector<std::string> expected;
    for (int watts = 0; watts <= 1100; watts += 50)
        expected.push_back(std::to_string(watts) + ".0");
    EXPECT_EQ(valueLabels(*graph), expected);
}

TEST_F(ValueAxisLabelsTest, AnAxisTooTallForPlainLabelsWritesThemAllWithAPowerOfTen)
{
    struct Case {
        const char* watts;
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        // The top, 99000.0, is the longest plain text that fits.
        { "90000", { "0.0", "20000.0", "40000.0", "60000.0", "80000.0" } },
        // 100000.0 does not.
        { "90909.1", { "0.0", "2.0E4", "4.0E4", "6.0E4", "8.0E4", "1.0E5" } },
        { "1e12", { "0.0", "2.0E11", "4.0E11", "6.0E11", "8.0E11", "1.0E12" } },
        // Near the largest draw that the graph's single-precision reading keeps;
        // from 1e15 on the charting engine's own exponent form writes them.
        { "3e38", { "0.0", "5.0e37", "1.0e38", "1.5e38", "2.0e38", "2.5e38", "3.0e38" } },
    };
    for (const auto& each : cases) {
        auto graph = graphOf(*this, each.watts);
        EXPECT_EQ(valueLabels(*graph), each.labels) << each.watts;
    }
}

TEST_F(ValueAxisLabelsTest, OnAnEverydayAxisOnlyALabelPastSevenCharactersGetsAPowerOfTen)
{
    auto graph = graphOf(*this, "1000");
    const auto& formatter = graph->graph()->xyAxisSet()->yAxis()->labelFormatter();
    ASSERT_TRUE(formatter);
    struct Case {
        const char* value;
        const char* text;
    };
    const Case cases[] = {
        { "99999.9", "99999.9" },
        { "99999.94", "99999.9" },
        { "99999.95", "1.0E5" },
        { "100000", "1.0E5" },
        { "-9999.9", "-9999.9" },
        { "-10000", "-1.0E4" },
        { "123456789", "1.2E8" },
        { "-1e12", "-1.0E12" },
        { "0.00001", "0.0" },
        { "0", "0.0" },
    };
    for (const auto& each : cases)
        EXPECT_EQ(formatter->stringForObjectValue(*chart::Decimal::fromString(each.value)), each.text) << each.value;
}
