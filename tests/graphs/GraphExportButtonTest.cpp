#include "GraphTestSupport.h"

#include "graphs/GraphExportButton.h"
#include "platform/ui/AlertView.h"

using namespace hestio;
using platform::Date;

namespace {

constexpr double midnight = test::GraphFixture::berlinMidnight;

struct GraphExportButtonTest : test::GraphFixture {
    std::shared_ptr<GraphExportButton> exporter = GraphExportButton::create();
    std::shared_ptr<platform::View> band = platform::View::create({ 0, 0, 320, 460 });
    std::vector<std::shared_ptr<WebServiceConnectorDelegate>> asked;
    GraphExport::WeekRequest request = [this](Date end, std::shared_ptr<WebServiceConnectorDelegate> replyTo) {
        asked.push_back(std::move(replyTo));
        return end.addingTimeInterval(-7 * day);
    };

    GraphExport::Job job() const
    {
        return { { "graph", { "W", CsvGaps::BetweenSamples }, "powerDraw" },
            { Date(midnight), Date(midnight + 3600), *platform::TimeZone::named("Europe/Berlin") }, "statuses",
            Date(midnight), "", platform::DocumentsLookup::forCurrentProfile() };
    }
    std::shared_ptr<platform::AlertView> alert() const
    {
        auto alerts = application->visibleAlerts();
        return alerts.empty() ? nullptr : alerts.back();
    }
};

}

TEST_F(GraphExportButtonTest, TheButtonWaitsForItsExportAndATapMeanwhileDoesNothing)
{
    int taps = 0;
    exporter->addTo(*band, [&] { ++taps; });
    EXPECT_EQ(exporter->button()->frame(), GraphExportButton::frame);
    EXPECT_EQ(exporter->button()->title(), "Export");
    exporter->button()->sendActionsForControlEvents(platform::ControlEventTouchUpInside);
    EXPECT_EQ(taps, 1);

    exporter->start(job(), request);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(exporter->isExporting());
    EXPECT_TRUE(exporter->button()->isHidden());
    EXPECT_TRUE(exporter->spinner()->isAnimating());
    exporter->start(job(), request);
    EXPECT_EQ(asked.size(), 1u) << "one export at a time";
    EXPECT_EQ(alert(), nullptr);

    asked[0]->dataReceived(true, json::Value(), 0);
    EXPECT_EQ(alert(), nullptr) << "the files are written on the disk writer";
    EXPECT_TRUE(exporter->spinner()->isAnimating());
    loop.runPending();
    ASSERT_NE(alert(), nullptr);
    EXPECT_EQ(alert()->title(), "Export Saved");
    EXPECT_FALSE(exporter->isExporting());
    EXPECT_FALSE(exporter->button()->isHidden());
    EXPECT_FALSE(exporter->spinner()->isAnimating());
}

TEST_F(GraphExportButtonTest, AnExportOutlivesItsButtonAndStillSaysHowItEnded)
{
    exporter->addTo(*band, [] {});
    exporter->start(job(), request);
    exporter.reset(); // the screen closed
    ASSERT_EQ(asked.size(), 1u);
    asked[0]->requestToServerFailedWithError({}, "");
    ASSERT_NE(alert(), nullptr);
    EXPECT_EQ(alert()->title(), "Export Failed");
    EXPECT_EQ(alert()->message(), exportNotLoadedMessage);
}
