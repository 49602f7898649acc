#include "ChartTestSupport.h"

#include "charting/Exception.h"
#include "charting/Theme.h"

#include <gtest/gtest.h>

using namespace hestio;
using namespace hestio::chart;
using namespace hestio::chart::test;

TEST(Theme, RegistryListsTheFiveThemesByNameAndLooksThemUpExactly)
{
    EXPECT_EQ(Theme::themeClasses(),
        (std::vector<std::string> { "Dark Gradients", "Plain Black", "Plain White", "Slate", "Stocks" }));
    auto theme = Theme::themeNamed("Dark Gradients");
    ASSERT_TRUE(theme);
    EXPECT_EQ(theme->name(), "Dark Gradients");
    EXPECT_EQ(theme->graphClass(), "XYGraph");
    EXPECT_FALSE(Theme::themeNamed("dark gradients"));
    EXPECT_NE(Theme::themeNamed("Dark Gradients"), theme); // a new instance each time
}

TEST(Theme, RegisteringANameTwiceFails)
{
    Theme::themeClasses();
    try {
        Theme::registerTheme("Slate", [] { return Theme::themeNamed("Slate"); });
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Theme class already registered: Slate");
    }
}

TEST(Theme, GraphClassMustBeAGraphSubclass)
{
    auto theme = Theme::themeNamed("Plain White");
    try {
        theme->setGraphClass("Graph");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid graph class for theme; must be a subclass of CHGraph");
    }
    EXPECT_EQ(theme->graphClass(), "XYGraph");
}

TEST(Theme, DarkGradientsStylesEveryAxisAlike)
{
    auto graph = graphWithPlotArea(320, 367);
    graph->applyTheme(Theme::themeNamed(DarkGradientTheme).get());
    for (auto& axis : graph->axisSet()->axes()) {
        EXPECT_EQ(axis->labelingPolicy(), LabelingPolicy::FixedInterval);
        EXPECT_EQ(axis->majorIntervalLength(), dec("0.5"));
        EXPECT_EQ(axis->minorTicksPerInterval(), 4u);
        EXPECT_EQ(axis->orthogonalCoordinateDecimal(), dec("0"));
        EXPECT_EQ(axis->tickDirection(), Sign::None);
        EXPECT_EQ(axis->majorTickLength, 7.0);
        EXPECT_EQ(axis->minorTickLength, 5.0);
        EXPECT_EQ(axis->axisLineStyle, axis->majorTickLineStyle);
        EXPECT_EQ(axis->majorTickLineStyle->lineWidth(), 2.0);
        EXPECT_EQ(axis->majorTickLineStyle->lineCap(), platform::LineCap::Square);
        EXPECT_EQ(axis->majorTickLineStyle->lineColor(), Color::colorWithGenericGray(0.5));
        EXPECT_EQ(axis->minorTickLineStyle->lineWidth(), 1.0);
        EXPECT_EQ(axis->minorTickLineStyle->lineColor(), Color::darkGrayColor());
        EXPECT_EQ(axis->labelTextStyle()->fontSize(), 14.0);
        EXPECT_EQ(axis->labelTextStyle()->color(), Color::whiteColor());
        EXPECT_EQ(axis->minorTickLabelTextStyle()->fontSize(), 12.0);
        EXPECT_EQ(axis->titleTextStyle(), axis->labelTextStyle());
    }
    EXPECT_EQ(graph->xyAxisSet()->xAxis()->majorTickLineStyle, graph->xyAxisSet()->yAxis()->majorTickLineStyle);
}

TEST(Theme, DarkGradientsBackgroundAndPlotAreaFrame)
{
    auto graph = graphWithPlotArea(320, 367);
    graph->applyTheme(Theme::themeNamed(DarkGradientTheme).get());
    auto frame = graph->plotAreaFrame();
    EXPECT_EQ(frame->borderLineStyle()->lineWidth(), 4.0);
    EXPECT_EQ(frame->borderLineStyle()->lineColor(), Color::colorWithGenericGray(0.2));
    EXPECT_EQ(frame->cornerRadius(), 10.0);
    const Gradient* area = frame->fill()->gradient();
    ASSERT_TRUE(area);
    EXPECT_EQ(area->angle(), 90);
    EXPECT_EQ(area->colorAtPosition(0), Color::colorWithGenericGray(0.1));
    EXPECT_EQ(area->colorAtPosition(1), Color::colorWithGenericGray(0.3));
    const Gradient* background = graph->fill()->gradient();
    ASSERT_TRUE(background);
    std::vector<double> positions;
    for (auto& stop : background->stops())
        positions.push_back(stop.position);
    EXPECT_EQ(positions, (std::vector<double> { 0, 0.3, 0.5, 0.6, 1 }));
    EXPECT_EQ(background->colorAtPosition(0.5), Color::colorWithGenericGray(0.3));
    EXPECT_EQ(background->colorAtPosition(1), Color::colorWithGenericGray(0.1));
}

TEST(Theme, NoThemeChangesNothingAndNewGraphIsThemed)
{
    auto graph = graphWithPlotArea(100, 100);
    graph->applyTheme(nullptr);
    EXPECT_FALSE(graph->fill());
    auto made = std::dynamic_pointer_cast<XYGraph>(Theme::themeNamed(PlainBlackTheme)->newGraph());
    ASSERT_TRUE(made);
    EXPECT_EQ(made->frame(), platform::Rect(0, 0, 200, 200));
    EXPECT_EQ(made->paddingLeft(), 60);
    EXPECT_EQ(made->defaultXYPlotSpace()->xRange(), range("-1", "1"));
    EXPECT_TRUE(made->fill());
}
