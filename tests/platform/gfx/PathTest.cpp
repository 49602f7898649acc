#include "platform/gfx/Path.h"
#include "platform/gfx/Gradient.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace hestio::platform;

namespace {

constexpr double pi = std::numbers::pi;

void expectNear(Point actual, Point expected, const char* what)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-9) << what;
    EXPECT_NEAR(actual.y, expected.y, 1e-9) << what;
}

TEST(Path, ContainsFollowsTheFillRule)
{
    Path sameWay;
    sameWay.addRect({ 0, 0, 30, 30 });
    sameWay.addRect({ 10, 10, 10, 10 });
    Path opposite;
    opposite.addRect({ 0, 0, 30, 30 });
    opposite.addLines({ { 10, 10 }, { 10, 20 }, { 20, 20 }, { 20, 10 } });
    opposite.close();

    struct Case {
        const Path& path;
        Point point;
        FillRule rule;
        bool inside;
    };
    const Case cases[] = {
        { sameWay, { 5, 5 }, FillRule::NonZero, true },
        { sameWay, { 15, 15 }, FillRule::NonZero, true },
        { sameWay, { 15, 15 }, FillRule::EvenOdd, false },
        { opposite, { 15, 15 }, FillRule::NonZero, false },
        { opposite, { 15, 15 }, FillRule::EvenOdd, false },
        { opposite, { 25, 5 }, FillRule::EvenOdd, true },
        { sameWay, { 35, 15 }, FillRule::NonZero, false },
        { sameWay, { -1, 15 }, FillRule::NonZero, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.point.x << ", " << c.point.y << ") rule " << int(c.rule));
        EXPECT_EQ(c.path.contains(c.point, c.rule), c.inside);
    }
}

TEST(Path, ContainsClosesOpenSubpathsAndFollowsCurves)
{
    Path triangle;
    triangle.addLines({ { 0, 0 }, { 10, 0 }, { 0, 10 } }); // never closed
    EXPECT_TRUE(triangle.contains({ 2, 2 }));
    EXPECT_FALSE(triangle.contains({ 8, 8 }));

    Path circle;
    circle.addEllipse({ 0, 0, 20, 20 });
    EXPECT_TRUE(circle.contains({ 10, 10 }));
    EXPECT_TRUE(circle.contains({ 19.5, 10 }));
    EXPECT_FALSE(circle.contains({ 1, 1 }));
    EXPECT_FALSE(Path().contains({ 0, 0 }));
}

TEST(Path, ArcsStartWithALineAndTurnTheAskedWay)
{
    Path path;
    path.moveTo({ 0, 0 });
    path.addArc({ 10, 0 }, 5, 0, pi / 2);
    ASSERT_GE(path.elements().size(), 3u);
    EXPECT_EQ(path.elements()[1].op, Path::Op::LineTo);
    expectNear(path.elements()[1].points[0], { 15, 0 }, "the line to the arc's start");
    expectNear(*path.currentPoint(), { 10, 5 }, "a quarter turn with growing angle");

    Path clockwise;
    clockwise.addArc({ 0, 0 }, 1, 0, pi / 2, ArcDirection::Clockwise);
    EXPECT_EQ(clockwise.elements()[0].op, Path::Op::MoveTo) << "no current point: the arc starts the path";
    expectNear(*clockwise.currentPoint(), { 0, 1 }, "three quarters the other way");
    EXPECT_TRUE(clockwise.contains({ 0.5, -0.5 }));
    EXPECT_FALSE(clockwise.contains({ 0.5, 0.5 }));

    Path full;
    full.addArc({ 0, 0 }, 2, 0, 10 * pi);
    Rect box = full.boundingBox();
    EXPECT_NEAR(box.width(), 4, 0.01) << "sweeps beyond a full turn stop at one";
    EXPECT_EQ(full.elements().size(), 5u);
}

TEST(Path, BoundingBoxIncludesControlPointsAndTransformsMoveEveryPoint)
{
    Path path;
    EXPECT_EQ(path.boundingBox(), Rect());
    path.moveTo({ 1, 1 });
    path.curveTo({ 5, -4 }, { 8, 9 }, { 3, 2 });
    EXPECT_EQ(path.boundingBox(), Rect(1, -4, 7, 13));

    Path moved = path.transformed(AffineTransform::translation(10, 0).concat(AffineTransform::scale(2, 1)));
    EXPECT_EQ(moved.boundingBox(), Rect(22, -4, 14, 13));
    expectNear(*moved.currentPoint(), { 26, 2 }, "current point follows");
}

TEST(Path, RoundedRectClampsItsRadiusAndLinesWithoutAStartMove)
{
    Path path;
    path.addRoundedRect({ 0, 0, 10, 4 }, 50);
    Rect box = path.boundingBox();
    expectNear(box.origin, { 0, 0 }, "bounds start");
    expectNear({ box.maxX(), box.maxY() }, { 10, 4 }, "bounds end");
    EXPECT_FALSE(path.contains({ 0.2, 0.2 }));
    EXPECT_TRUE(path.contains({ 5, 2 }));

    Path lines;
    lines.lineTo({ 3, 4 });
    EXPECT_EQ(lines.elements()[0].op, Path::Op::MoveTo);
    lines.close();
    lines.close();
    EXPECT_EQ(lines.elements().size(), 3u);
    expectNear(*lines.currentPoint(), { 3, 4 }, "close returns to the start");

    Path appended;
    appended.append(lines);
    EXPECT_EQ(appended.elements().size(), lines.elements().size());
    EXPECT_EQ(appended.currentPoint(), lines.currentPoint());
}

TEST(Gradient, ColorAtInterpolatesStraightComponentsBetweenSortedStops)
{
    const Color red { 1, 0, 0, 1 }, clearBlue { 0, 0, 1, 0 }, green { 0, 1, 0, 1 };
    struct Case {
        Gradient gradient;
        double position;
        Color expected;
    };
    const Case cases[] = {
        { Gradient::between(red, clearBlue), 0.5, { 0.5, 0, 0.5, 0.5 } },
        { Gradient::between(red, clearBlue), 0.25, { 0.75, 0, 0.25, 0.75 } },
        { Gradient::between(red, clearBlue), -1, red },
        { Gradient::between(red, clearBlue), 2, clearBlue },
        { Gradient { { { 1, green }, { 0, red } } }, 0.5, { 0.5, 0.5, 0, 1 } },
        { Gradient { { { 0.2, red }, { 0.6, green } } }, 0.1, red },
        { Gradient { { { 0.2, red }, { 0.6, green } } }, 0.3, { 0.75, 0.25, 0, 1 } },
        { Gradient { { { 0.2, red }, { 0.6, green } } }, 0.9, green },
        { Gradient { { { 0.5, red }, { 0.5, green } } }, 0.5, red },
        { Gradient { { { 0.5, red }, { 0.5, green } } }, 0.51, green },
        { Gradient { { { 0, red } } }, 0.7, red },
        { Gradient {}, 0.5, Color::clear() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "position " << c.position << ", " << c.gradient.stops.size() << " stops");
        Color got = c.gradient.colorAt(c.position);
        EXPECT_NEAR(got.red, c.expected.red, 1e-12);
        EXPECT_NEAR(got.green, c.expected.green, 1e-12);
        EXPECT_NEAR(got.blue, c.expected.blue, 1e-12);
        EXPECT_NEAR(got.alpha, c.expected.alpha, 1e-12);
    }
}

}
