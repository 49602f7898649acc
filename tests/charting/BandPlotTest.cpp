#include "ChartTestSupport.h"

#include "charting/BandPlot.h"
#include "charting/Exception.h"
#include "platform/gfx/Image.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace hestio;
using namespace hestio::chart;
using namespace hestio::chart::test;

namespace {

class Bands : public PlotDataSource {
public:
    std::vector<double> starts, ends;
    std::size_t numberOfRecordsForPlot(Plot&) override { return starts.size(); }
    std::optional<PlotNumber> numberForPlot(Plot&, unsigned field, std::size_t i) override
    {
        double v = field == BandPlot::Start ? starts[i] : ends[i];
        return std::isnan(v) ? PlotNumber {} : PlotNumber { v };
    }
};

struct BandFixture : ::testing::Test {
    std::shared_ptr<XYGraph> graph = graphWithPlotArea(100, 100);
    std::shared_ptr<Bands> source = std::make_shared<Bands>();
    std::shared_ptr<BandPlot> plot = BandPlot::create();

    void SetUp() override
    {
        graph->defaultXYPlotSpace()->setXRange(range("0", "10"));
        graph->defaultXYPlotSpace()->setYRange(range("0", "10"));
        plot->setDataSource(source);
        graph->addPlot(plot);
        graph->layoutIfNeeded();
    }
    void load(std::vector<double> starts, std::vector<double> ends)
    {
        source->starts = std::move(starts);
        source->ends = std::move(ends);
        plot->reloadData();
    }
    std::shared_ptr<platform::Image> render()
    {
        auto image = platform::Image::create({ 100, 100 }, 1);
        auto context = platform::Context::forImage(*image);
        context->flipY(100);
        graph->layoutAndRenderInContext(*context);
        EXPECT_FALSE(context->hasError());
        return image;
    }
};

const auto red = platform::Color::rgb(1, 0, 0);
const auto blue = platform::Color::rgb(0, 0, 1);

}

TEST_F(BandFixture, ABandIsFilledAcrossTheWholeHeight)
{
    plot->fill = Fill::fillWithColor(Color::redColor());
    // From x = 2 to 4, the other one given backwards, and one without an end.
    load({ 2, 9, 5 }, { 4, 7, NAN });
    auto band = plot->bandAtRecordIndex(0);
    ASSERT_TRUE(band);
    EXPECT_EQ(*band, (platform::Rect { 20, 0, 20, 100 }));
    EXPECT_EQ(*plot->bandAtRecordIndex(1), (platform::Rect { 70, 0, 20, 100 }));
    EXPECT_FALSE(plot->bandAtRecordIndex(2));
    auto image = render();
    for (int y : { 1, 50, 98 }) {
        EXPECT_EQ(image->pixelAt(30, y), red) << y;
        EXPECT_EQ(image->pixelAt(80, y), red) << y;
    }
    EXPECT_EQ(image->pixelAt(10, 50).alpha, 0);
    EXPECT_EQ(image->pixelAt(55, 50).alpha, 0) << "the band without an end";
    EXPECT_EQ(image->pixelAt(95, 50).alpha, 0);
}

TEST_F(BandFixture, ABandOfNoWidthIsOneLineWithItsSymbolOnTop)
{
    auto style = std::make_shared<MutableLineStyle>();
    style->setLineWidth(2);
    style->setLineColor(Color::colorWithComponents(0, 0, 1, 1));
    plot->edgeLineStyle = style;
    plot->plotSymbol = PlotSymbol::ellipsePlotSymbol();
    plot->plotSymbol->setSize({ 10, 10 });
    plot->plotSymbol->setFill(Fill::fillWithColor(Color::redColor()));
    plot->plotSymbol->setLineStyle(nullptr);
    load({ 6 }, { 6 });
    auto image = render();
    EXPECT_EQ(image->pixelAt(60, 50), blue);
    EXPECT_EQ(image->pixelAt(59, 80), blue);
    EXPECT_EQ(image->pixelAt(63, 50).alpha, 0);
    // The symbol hangs from the top edge, centred on the line.
    EXPECT_EQ(image->pixelAt(63, 5), red);
    EXPECT_EQ(image->pixelAt(63, 12).alpha, 0);
}

TEST_F(BandFixture, BandsReachingPastTheRangeStopAtThePlotArea)
{
    plot->fill = Fill::fillWithHatch({ Color::whiteColor(), Color::redColor(), 4, 1, 45 });
    load({ -1e300, 8 }, { 1, INFINITY });
    auto image = render();
    EXPECT_GT(image->pixelAt(5, 50).alpha, 0.9);
    EXPECT_GT(image->pixelAt(95, 50).alpha, 0.9);
    EXPECT_EQ(image->pixelAt(50, 50).alpha, 0);
    // Bands run along x only: they give the y axis no range.
    EXPECT_FALSE(plot->plotRangeForCoordinate(Coordinate::Y));
    auto x = plot->plotRangeForCoordinate(Coordinate::X);
    ASSERT_TRUE(x);
    EXPECT_EQ(x->locationDouble(), -PlotRange::largestMagnitude);
}
