#include "ChartTestSupport.h"

#include "charting/Fill.h"
#include "charting/Gradient.h"
#include "charting/LineStyle.h"
#include "charting/PlotSymbol.h"
#include "platform/gfx/Image.h"

#include <gtest/gtest.h>

using namespace hestio;
using namespace hestio::chart;

namespace {

/// A 40 × 40 point image at scale 2, transparent, with a y-up context;
/// pixels are addressed in device pixels counted from the bottom.
struct Canvas {
    std::shared_ptr<platform::Image> image = platform::Image::create({ 40, 40 }, 2);
    std::unique_ptr<platform::Context> context = platform::Context::forImage(*image);
    Canvas() { context->flipY(40); }
    platform::Color at(int x, int yUp) const { return image->pixelAt(x, 79 - yUp); }
};

void expectColor(platform::Color actual, platform::Color expected, const char* where)
{
    EXPECT_NEAR(actual.red, expected.red, 0.02) << where;
    EXPECT_NEAR(actual.green, expected.green, 0.02) << where;
    EXPECT_NEAR(actual.blue, expected.blue, 0.02) << where;
    EXPECT_NEAR(actual.alpha, expected.alpha, 0.02) << where;
}

const auto green = Color::colorWithComponents(0.3, 1.0, 0.3, 0.8);

}

TEST(Gradient, HalfWayFromTranslucentGreenToClearIsPremultiplied)
{
    auto g = Gradient::gradientWithBeginningColor(green, Color::clearColor());
    auto half = g->premultipliedComponentsAtPosition(0.5);
    EXPECT_DOUBLE_EQ(half.alpha, 0.4);
    EXPECT_DOUBLE_EQ(half.red, 0.15 * 0.4);
    EXPECT_DOUBLE_EQ(half.green, 0.5 * 0.4);
    EXPECT_EQ(Gradient::unpremultiplied(half), Color::colorWithComponents(0.15, 0.5, 0.15, 0.4));
    EXPECT_EQ(Gradient::unpremultiplied({ 0.2, 0.2, 0.2, 0 }), Color::colorWithComponents(0.2, 0.2, 0.2, 0));
    EXPECT_EQ(g->colorAtPosition(-1), green);
    EXPECT_EQ(g->colorAtPosition(2), Color::clearColor());
    EXPECT_EQ(Gradient().colorAtPosition(0.3), Color::whiteColor());
}

TEST(Gradient, AddingAStopLeavesTheOriginalUnchanged)
{
    auto g = Gradient::gradientWithBeginningColor(Color::blackColor(), Color::whiteColor());
    auto h = g->addColorStop(Color::redColor(), 0.5);
    EXPECT_EQ(g->stops().size(), 2u);
    ASSERT_EQ(h->stops().size(), 3u);
    EXPECT_EQ(h->stops()[1].color, Color::redColor());
    EXPECT_EQ(h->colorAtPosition(0.5), Color::redColor());
}

TEST(Gradient, AxialEndpointsFollowTheAngle)
{
    platform::Rect r(10, 20, 100, 50);
    auto g = Gradient::gradientWithBeginningColor(Color::blackColor(), Color::whiteColor());
    auto ends = [&](double angle) { return g->withAngle(angle)->axialEndpoints(r); };
    EXPECT_EQ(ends(0), std::make_pair(platform::Point { 10, 20 }, platform::Point { 110, 20 }));
    EXPECT_EQ(ends(90), std::make_pair(platform::Point { 10, 20 }, platform::Point { 10, 70 }));
    auto down = ends(-90);
    EXPECT_NEAR(down.first.y, 70, 1e-9); // position 0 at the top edge
    EXPECT_NEAR(down.second.y, 20, 1e-9);
    auto diagonal = ends(45);
    EXPECT_NEAR(diagonal.second.x - diagonal.first.x, 75, 1e-9); // L = (100 + 50) / √2, times cos 45°
}

TEST(Fill, GradientFillOfAPathIsGreenAtTheTopAndFadesDown)
{
    Canvas canvas;
    auto fill
        = Fill::fillWithGradient(Gradient::gradientWithBeginningColor(green, Color::clearColor())->withAngle(-90));
    platform::Path path;
    path.addRect({ 0, 0, 40, 40 });
    fill->fillPath(path, *canvas.context);
    expectColor(canvas.at(40, 79), green.toPlatform(), "top");
    // Components are blended straight, towards the clear stop's black.
    expectColor(canvas.at(40, 40), platform::Color::rgb(0.15, 0.5, 0.15, 0.4), "middle");
    EXPECT_LT(canvas.at(40, 0).alpha, 0.02);
    platform::Path empty;
    fill->fillPath(empty, *canvas.context); // draws nothing, does not fail
}

TEST(LineStyle, NoDashPatternDrawsSolidAfterADashedStyle)
{
    Canvas canvas;
    MutableLineStyle dashed;
    dashed.setDashPattern({ 4, 4 });
    dashed.setLineWidth(2);
    dashed.setLineStyleInContext(*canvas.context);
    MutableLineStyle solid;
    solid.setLineWidth(2);
    solid.setLineColor(Color::redColor());
    solid.setLineStyleInContext(*canvas.context);
    canvas.context->beginPath();
    canvas.context->moveTo({ 0, 10 });
    canvas.context->lineTo({ 40, 10 });
    canvas.context->stroke();
    for (int x = 1; x < 79; ++x)
        ASSERT_GT(canvas.at(x, 20).alpha, 0.99) << x;
    LineStyle defaults;
    EXPECT_EQ(defaults.lineWidth(), 1.0);
    EXPECT_EQ(defaults.lineColor(), Color::blackColor());
    EXPECT_EQ(defaults.lineCap(), platform::LineCap::Butt);
    EXPECT_EQ(defaults.miterLimit(), 10.0);
    EXPECT_TRUE(defaults.dashPattern().empty());
}

TEST(PlotSymbol, RedEllipseHasABlackOnePointOutline)
{
    Canvas canvas;
    auto symbol = PlotSymbol::ellipsePlotSymbol();
    EXPECT_EQ(symbol->symbolType(), PlotSymbol::Type::Ellipse);
    EXPECT_EQ(symbol->size(), (platform::Size { 5, 5 }));
    symbol->setSize({ 12, 12 });
    symbol->setFill(Fill::fillWithColor(Color::redColor()));
    symbol->renderAsVectorInContext(*canvas.context, { 20, 20 });
    expectColor(canvas.at(40, 40), platform::Color::rgb(1, 0, 0), "centre");
    expectColor(canvas.at(51, 40), platform::Color::rgb(0, 0, 0), "outline right");
    expectColor(canvas.at(40, 28), platform::Color::rgb(0, 0, 0), "outline bottom");
    EXPECT_LT(canvas.at(40, 58).alpha, 0.01);
    EXPECT_LT(canvas.at(52, 52).alpha, 0.01);
}

TEST(PlotSymbol, NoneOrNothingToPaintDrawsNothing)
{
    Canvas canvas;
    PlotSymbol none;
    none.setFill(Fill::fillWithColor(Color::redColor()));
    none.renderAsVectorInContext(*canvas.context, { 20, 20 });
    auto bare = PlotSymbol::ellipsePlotSymbol();
    bare->setLineStyle(nullptr);
    bare->renderAsVectorInContext(*canvas.context, { 20, 20 });
    EXPECT_LT(canvas.at(40, 40).alpha, 0.01);
    EXPECT_TRUE(bare->symbolPath().boundingBox().size == (platform::Size { 5, 5 }));
}

TEST(Fill, AHatchDrawsItsLinesOverItsBackgroundWithinTheArea)
{
    // Horizontal white lines 2 points wide every 10 points over black, in a
    // rectangle from (5, 5) to (35, 35): at scale 2, lines on rows 19 and 20
    // (y = 10 points), 39 and 40, 59 and 60.
    Canvas canvas;
    auto fill = Fill::fillWithHatch({ Color::whiteColor(), Color::blackColor(), 10, 2, 0 });
    ASSERT_TRUE(fill->hatch());
    EXPECT_FALSE(fill->color());
    fill->fillRect({ 5, 5, 30, 30 }, *canvas.context);
    const auto white = platform::Color::rgb(1, 1, 1);
    const auto black = platform::Color::rgb(0, 0, 0);
    expectColor(canvas.at(40, 20), white, "on a line");
    expectColor(canvas.at(40, 40), white, "on the next line");
    expectColor(canvas.at(40, 30), black, "between lines");
    expectColor(canvas.at(40, 50), black, "between the next two");
    expectColor(canvas.at(4, 20), platform::Color::rgb(0, 0, 0, 0), "left of the area");
    expectColor(canvas.at(40, 75), platform::Color::rgb(0, 0, 0, 0), "above it");

    // Upright lines through a path's inside only, over no background.
    Canvas upright;
    platform::Path path;
    path.addRect({ 0, 0, 20, 40 });
    Fill::fillWithHatch({ Color::redColor(), Color::clearColor(), 10, 2, 90 })->fillPath(path, *upright.context);
    expectColor(upright.at(20, 40), platform::Color::rgb(1, 0, 0), "on the line at x = 10");
    expectColor(upright.at(30, 40), platform::Color::rgb(0, 0, 0, 0), "between");
    expectColor(upright.at(60, 40), platform::Color::rgb(0, 0, 0, 0), "beyond the path");

    // A spacing that is no length paints the background and no lines.
    Canvas plain;
    Fill::fillWithHatch({ Color::whiteColor(), Color::blackColor(), 0, 2, 0 })
        ->fillRect({ 0, 0, 40, 40 }, *plain.context);
    expectColor(plain.at(40, 20), black, "no line");
    EXPECT_FALSE(plain.context->hasError());
}
