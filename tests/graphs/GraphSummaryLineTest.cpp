#include "GraphTestSupport.h"

#include "charting/BandPlot.h"
#include "charting/ScatterPlot.h"
#include "graphs/DayMarks.h"
#include "graphs/DevicePowerDrawGraphViewController.h"
#include "graphs/HomeBatteryGraphViewController.h"
#include "graphs/HomeEnergyConsumptionGraphViewController.h"
#include "model/Device.h"
#include "model/Tariff.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/UserDefaults.h"

#include <cstdio>
#include <functional>

using namespace hestio;
using platform::FakeTransport;

namespace {

constexpr double day = test::GraphFixture::day;
constexpr double midnight = test::GraphFixture::berlinMidnight; // Thu 6 Dec 2012, Berlin
constexpr double hour = 3600;
constexpr double minute = 60;
const std::string nnbsp = "\u202F";

/// The graphs in Berlin at 16:30 on Thursday 6 December 2012, in English.
struct GraphSummaryLineTest : test::GraphFixture {
    GraphSummaryLineTest() { platform::Locale::setCurrent(platform::Locale("en_US")); }
    ~GraphSummaryLineTest() override
    {
        Tariff::remove(platform::UserDefaults::standard(), "demo");
        platform::Locale::setCurrent(std::nullopt);
    }

    /// A reply of samples at `times`, each written by `sample`.
    static std::string reply(
        const char* arrayKey, const std::vector<double>& times, const std::function<std::string(double)>& sample)
    {
        std::string body = std::string(R"({"success":true,")") + arrayKey + R"(":[)";
        for (std::size_t i = 0; i < times.size(); ++i)
            body += (i ? "," : "") + sample(times[i]);
        return body + "]}";
    }
    static std::vector<double> everyMinute(double from, double to, std::vector<TimeSpan> without = {})
    {
        std::vector<double> times;
        for (double t = from; t <= to; t += minute) {
            if (std::none_of(without.begin(), without.end(), [&](auto& s) { return t > s.start && t < s.end; }))
                times.push_back(t);
        }
        return times;
    }
    static std::string number(double value)
    {
        char text[40];
        std::snprintf(text, sizeof text, "%.6f", value);
        return text;
    }

    std::string summary(const GraphViewController& graph) const { return graph.summaryLabel()->text(); }
};

std::shared_ptr<Device> heater()
{
    return Device::initWithID("108", "Heater", "Bedroom");
}

}

TEST_F(GraphSummaryLineTest, ThePowerGraphSaysPeakAverageGapsAndResetsDayByDay)
{
    // Yesterday: 250 W all day but one minute of 1850 W at 07:00, nothing
    // from 18:20 to 19:00, and the meter's register back at zero at 21:15;
    // today: 80 W up to now (16:30). Nothing on the days before.
    const double yesterday = midnight - day;
    const TimeSpan outage { yesterday + 18 * hour + 20 * minute, yesterday + 19 * hour };
    const double reset = yesterday + 21 * hour + 15 * minute;
    auto times = everyMinute(yesterday, nowSeconds, { outage });
    transport->enqueue(FakeTransport::Reply::json(reply("statuses", times, [&](double t) {
        double watts = t >= midnight ? 80 : t == yesterday + 7 * hour ? 1850 : 250;
        double register_ = t < reset ? 100 + (t - yesterday) / hour * 0.25 : (t - reset) / hour * 0.25;
        return R"({"timestamp":)" + ms(t) + R"(,"powerDraw":)" + number(watts) + R"(,"meterReading":)"
            + number(register_) + "}";
    })));
    auto graph = load(DevicePowerDrawGraphViewController::create(userSession(), heater()));
    EXPECT_EQ(summary(*graph), "Today: loading…");
    loop.runPending();
    EXPECT_EQ(summary(*graph), "Today: peak 80\u00a0W, average 80\u00a0W");
    EXPECT_TRUE(graph->dayMarks()->missing().empty());
    EXPECT_TRUE(graph->dayMarks()->resets().empty());

    graph->back();
    // The spike adds (1850 - 250) W over one minute of line to 83,940 s of
    // line outside the gap: 251.1 W on average.
    EXPECT_EQ(summary(*graph),
        "Yesterday: peak 1.85\u00a0kW, average 251\u00a0W\n40 min without data, meter reset at 9:15" + nnbsp + "PM");
    EXPECT_EQ(graph->dayMarks()->missing(), (std::vector<TimeSpan> { outage }));
    EXPECT_EQ(graph->dayMarks()->resets(), (std::vector<double> { reset }));
    auto mainPlot = std::dynamic_pointer_cast<chart::ScatterPlot>(graph->graph()->plotWithIdentifier("Main Plot"));
    ASSERT_TRUE(mainPlot);
    EXPECT_EQ(mainPlot->longestJoinedStep, 150) << "the line breaks where the gap is";
    // The marks are plots of the graph, on the graph's time axis.
    auto missingPlot = graph->graph()->plotWithIdentifier(DayMarks::missingPlotIdentifier);
    ASSERT_TRUE(missingPlot);
    EXPECT_EQ(missingPlot->cachedDataCount(), 1u);
    EXPECT_EQ(missingPlot->cachedDoubleForField(chart::BandPlot::Start, 0), outage.start - midnight);
    EXPECT_EQ(graph->graph()->allPlots().front(), missingPlot) << "under the data";

    graph->back();
    EXPECT_EQ(summary(*graph), "Tue, Dec 4: no data\n24 h without data");
    EXPECT_EQ(graph->dayMarks()->missing(), (std::vector<TimeSpan> { { midnight - 2 * day, midnight - day } }));
    EXPECT_TRUE(graph->dayMarks()->resets().empty());

    graph->forward();
    graph->forward();
    EXPECT_EQ(summary(*graph), "Today: peak 80\u00a0W, average 80\u00a0W");
}

TEST_F(GraphSummaryLineTest, AResetAtMidnightIsFoundAgainstTheDayBefore)
{
    // The register reads 5 kWh up to the end of yesterday and 0 from today's midnight on.
    auto times = everyMinute(midnight - hour, nowSeconds);
    transport->enqueue(FakeTransport::Reply::json(reply("statuses", times, [&](double t) {
        return R"({"timestamp":)" + ms(t) + R"(,"powerDraw":5,"meterReading":)" + (t < midnight ? "5" : "0") + "}";
    })));
    auto graph = load(DevicePowerDrawGraphViewController::create(userSession(), heater()));
    loop.runPending();
    EXPECT_EQ(summary(*graph), "Today: peak 5.0\u00a0W, average 5.0\u00a0W\nmeter reset at 12:00" + nnbsp + "AM");
    EXPECT_EQ(graph->dayMarks()->resets(), (std::vector<double> { midnight }));
}

TEST_F(GraphSummaryLineTest, TheBatteryGraphSaysItsLowestAndHighest)
{
    // Every quarter hour (so a stretch is a gap only past 37.5 minutes), with
    // 90 minutes missing from 04:00.
    std::vector<double> times;
    for (double t = midnight; t <= nowSeconds; t += 15 * minute) {
        if (t <= midnight + 4 * hour || t >= midnight + 5.5 * hour)
            times.push_back(t);
    }
    transport->enqueue(FakeTransport::Reply::json(reply("statuses", times, [&](double t) {
        double percentage = t == midnight + 12 * hour ? 87.34 : 35 + (t - midnight) / hour;
        return R"({"timestamp":)" + ms(t) + R"(,"percentage":)" + number(percentage) + R"(,"voltage":50})";
    })));
    auto graph = load(HomeBatteryGraphViewController::create(userSession()));
    loop.runPending();
    EXPECT_EQ(summary(*graph), "Today: lowest 35.0\u00a0%, highest 87.3\u00a0%\n1 h 30 min without data");
    EXPECT_EQ(graph->dayMarks()->missing(), (std::vector<TimeSpan> { { midnight + 4 * hour, midnight + 5.5 * hour } }));
}

TEST_F(GraphSummaryLineTest, AWeekOnItsWayOrRefusedSaysSo)
{
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})"));
    auto graph = load(HomeBatteryGraphViewController::create(userSession()));
    EXPECT_EQ(summary(*graph), "Today: loading…");
    loop.runPending();
    EXPECT_EQ(summary(*graph), "Today: could not be loaded");
    EXPECT_TRUE(graph->dayMarks()->missing().empty()) << "what was never received is not marked as missing";
}

TEST_F(GraphSummaryLineTest, TheEnergyGraphSaysItsTotalCostAndEmptyHours)
{
    // 0.5 kWh an hour from midnight to the hour under way (16:00), 1 kWh at
    // noon, and no block for 03:00.
    std::vector<double> times;
    for (double t = midnight; t <= nowSeconds; t += hour) {
        if (t != midnight + 3 * hour)
            times.push_back(t);
    }
    std::string body = reply("energyConsumptions", times, [&](double t) {
        return R"({"from":)" + ms(t) + R"(,"energyConsumed":)" + (t == midnight + 12 * hour ? "1.0" : "0.5") + "}";
    });
    transport->enqueue(FakeTransport::Reply::json(body));
    auto graph = load(HomeEnergyConsumptionGraphViewController::create(userSession()));
    loop.runPending();
    EXPECT_EQ(summary(*graph), "Today: 8.50\u00a0kWh\n1 h without data");
    // The empty hour is marked where its bar would stand.
    EXPECT_EQ(graph->dayMarks()->missing(),
        (std::vector<TimeSpan> { { midnight + 3 * hour - 1200, midnight + 3 * hour + 1200 } }));
    auto bars = std::dynamic_pointer_cast<chart::BarPlot>(graph->graph()->plotWithIdentifier("Main Plot"));
    ASSERT_TRUE(bars);
    graph->barWasSelectedAtRecordIndex(*bars, 11);
    EXPECT_EQ(graph->energyConsumptionLabel()->text(), "1.0000 kWh");
    EXPECT_EQ(graph->costLabel()->text(), "") << "no tariff";

    // 0.25 € a kWh, 0.10 € from 22:00 to 06:00: five night hours of 0.5 kWh
    // (0.25 €), ten day hours of 0.5 kWh and the noon hour (1.50 €).
    Tariff tariff;
    tariff.currency = "EUR";
    tariff.pricePerKWh = 0.25;
    tariff.offPeak = Tariff::OffPeak { 0.10, 22, 6 };
    tariff.save(platform::UserDefaults::standard(), "demo");
    transport->enqueue(FakeTransport::Reply::json(body));
    graph = load(HomeEnergyConsumptionGraphViewController::create(userSession()));
    loop.runPending();
    EXPECT_EQ(summary(*graph), "Today: 8.50\u00a0kWh, €1.75\n1 h without data");
    // On a German phone the amount of energy reads as the amount of money does.
    platform::Locale::setCurrent(platform::Locale("de_DE"));
    transport->enqueue(FakeTransport::Reply::json(body));
    auto german = load(HomeEnergyConsumptionGraphViewController::create(userSession()));
    loop.runPending();
    EXPECT_EQ(summary(*german), "Today: 8,50\u00a0kWh, 1,75\u00a0€\n1 h without data");
    platform::Locale::setCurrent(platform::Locale("en_US"));
    graph->barWasSelectedAtRecordIndex(
        *std::dynamic_pointer_cast<chart::BarPlot>(graph->graph()->plotWithIdentifier("Main Plot")), 11);
    EXPECT_EQ(graph->energyConsumptionLabel()->text(), "1.0000 kWh") << "the label's own text stays";
    EXPECT_EQ(graph->costLabel()->text(), "€0.25");
    graph->barWasSelectedAtRecordIndex(
        *std::dynamic_pointer_cast<chart::BarPlot>(graph->graph()->plotWithIdentifier("Main Plot")), 5);
    EXPECT_EQ(graph->timestampLabel()->text(), "Thu. 12/06/12 at 06:00AM");
    EXPECT_EQ(graph->costLabel()->text(), "€0.13") << "06:00 is no longer the night";
    graph->back();
    EXPECT_EQ(graph->costLabel()->text(), "") << "paging clears the readout";
    EXPECT_EQ(summary(*graph), "Yesterday: no data\n24 h without data");
}

TEST_F(GraphSummaryLineTest, DaysOfTwentyThreeAndTwentyFiveHours)
{
    struct Case {
        double now;
        const char* text;
    };
    const Case cases[] = {
        // Mon 29 Oct 2012, 10:00 in Berlin: yesterday the clocks went back.
        { 1351501200, "Yesterday: no data\n25 h without data" },
        // Mon 1 Apr 2013, 12:00 in Berlin: yesterday they went forward.
        { 1364810400, "Yesterday: no data\n23 h without data" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        loop.clock().setNow(platform::Date(c.now));
        transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"statuses":[]})"));
        auto power = load(DevicePowerDrawGraphViewController::create(userSession(), heater()));
        loop.runPending();
        power->back();
        EXPECT_EQ(summary(*power), c.text);
        TimeSpan shown = power->shownDay();
        EXPECT_EQ(power->dayMarks()->missing(), (std::vector<TimeSpan> { shown }));

        transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"energyConsumptions":[]})"));
        auto energy = load(HomeEnergyConsumptionGraphViewController::create(userSession()));
        loop.runPending();
        energy->back();
        EXPECT_EQ(summary(*energy), c.text);
        EXPECT_EQ(energy->dayMarks()->missing().size(), static_cast<std::size_t>(shown.length() / hour));
    }
}
