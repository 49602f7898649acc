#include "GraphTestSupport.h"

#include "charting/AxisLabel.h"
#include "charting/TextLayer.h"
#include "charting/XYAxis.h"
#include "graphs/DeviceEnergyConsumptionGraphViewController.h"
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

TEST_F(ValueAxisLabelsTest, EveryDayDrawsKeepTheirPlainLabelsInWholeWatts)
{
    // Whole watts: "1000.0" ran into the axis title, "1000" stands clear of
    // it. Every 100 W rather than the 50 W asked for: labels 50 W apart
    // would stand on each other.
    auto graph = graphOf(*this, "1000");
    std::vector<std::string> expected;
    for (int watts = 0; watts <= 1100; watts += 100)
        expected.push_back(std::to_string(watts));
    EXPECT_EQ(valueLabels(*graph), expected);
}

TEST_F(ValueAxisLabelsTest, AnAxisTooTallForPlainLabelsWritesThemAllWithAPowerOfTen)
{
    struct Case {
        const char* watts;
        std::string last;
        std::string second;
    };
    const Case cases[] = {
        // The top, 9999 (9090 and a tenth), is the longest plain text that
        // fits: the labels (every 500 W, where 100 W would crowd them) are plain.
        { "9090", "9500", "500" },
        // 9999.55 is written 10000, which does not: all of them get a power of ten.
        { "9090.5", "9.5E3", "5.0E2" },
        { "90000", "", "2.0E4" },
        { "1e12", "1.0E12", "2.0E11" },
        // Near the largest draw that the graph's single-precision reading
        // keeps; the engine's own exponent form ("5e37") is replaced too.
        { "3e38", "3.0E38", "5.0E37" },
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.watts);
        auto graph = graphOf(*this, each.watts);
        auto labels = valueLabels(*graph);
        ASSERT_GE(labels.size(), 3u);
        EXPECT_EQ(labels.front(), "0");
        if (!each.last.empty()) {
            EXPECT_EQ(labels.back(), each.last);
        }
        if (!each.second.empty()) {
            EXPECT_EQ(labels[1], each.second);
        }
        for (const auto& label : labels)
            EXPECT_LE(label.size(), 6u) << label;
    }
}

TEST_F(ValueAxisLabelsTest, OnAnEverydayAxisOnlyALabelPastFourCharactersGetsAPowerOfTen)
{
    struct Case {
        const char* value;
        const char* text;
    };
    auto check = [](const GraphViewController& graph, std::initializer_list<Case> cases) {
        const auto& formatter = graph.graph()->xyAxisSet()->yAxis()->labelFormatter();
        ASSERT_TRUE(formatter);
        for (const auto& each : cases)
            EXPECT_EQ(formatter->stringForObjectValue(*chart::Decimal::fromString(each.value)), each.text)
                << each.value;
    };
    // Whole watts on the power graph.
    check(*graphOf(*this, "1000"),
        {
            { "9999", "9999" },
            { "9999.4", "9999" },
            { "9999.5", "1.0E4" },
            { "10000", "1.0E4" },
            { "-999", "-999" },
            { "-1000", "-1.0E3" },
            { "123456789", "1.2E8" },
            { "-1e12", "-1.0E12" },
            { "0.4", "0" },
            { "0", "0" },
        });
    // Tenths of a kilowatt-hour on the energy graph.
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"energyConsumptions":[)"
                                                  R"({"from":1354748400000,"energyConsumed":2.0}]})"));
    auto energy = load(DeviceEnergyConsumptionGraphViewController::create(
        userSession(), Device::initWithID("42", "Desk Lamp", "Study")));
    loop.runPending();
    check(*energy,
        {
            { "0.5", "0.5" },
            { "12.5", "12.5" },
            { "99.9", "99.9" },
            { "100", "1.0E2" },
            { "0", "0.0" },
        });
}
