#include "PixelTesting.h"

#include "platform/gfx/ImageImpl.h"

#include <cairo.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <unistd.h>

using namespace hestio::platform;

namespace {

// Left half red, right half blue, ten units square.
const std::string halves = R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10">
  <rect x="0" y="0" width="5" height="10" fill="#ff0000"/>
  <rect x="5" y="0" width="5" height="10" fill="#0000ff"/>
</svg>)";

TEST(Image, CreatedImagesCountPixelsAtTheirScale)
{
    struct Case {
        Size size;
        double scale;
        int width, height;
    };
    const Case cases[] = {
        { { 10, 5 }, 2, 20, 10 },
        { { 10, 5 }, 1, 10, 5 },
        { { 10.25, 3 }, 2, 21, 6 },
        { { 3, 3 }, 3, 9, 9 },
        { { -4, 2 }, 2, 0, 4 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size.width << "x" << c.size.height << " @" << c.scale);
        auto image = Image::create(c.size, c.scale);
        EXPECT_EQ(image->pixelWidth(), c.width);
        EXPECT_EQ(image->pixelHeight(), c.height);
        EXPECT_EQ(image->scale(), c.scale);
        EXPECT_FALSE(image->isVector());
    }
    EXPECT_EQ(Image::create({ 4, 4 })->scale(), 2) << "two pixels per point by default";
    auto image = Image::create({ 2, 2 }, 1);
    EXPECT_TRUE(sameColor(image->pixelAt(0, 0), Color::clear()));
    EXPECT_TRUE(sameColor(image->pixelAt(5, 0), Color::clear())) << "outside reads as clear";
}

TEST(Image, AFramePictureIsDrawnAgainInItsOwnPixelsOnlyWhenNothingElseHoldsIt)
{
    auto pixelsOf = [](const Image& image) { return cairo_image_surface_get_data(image.impl().surface.get()); };
    auto painted = [](Size size, double scale) {
        auto image = Image::create(size, scale);
        Context::forImage(*image)->fillRect({ { 0, 0 }, size }, Color::rgb(1, 0, 0));
        return image;
    };

    auto last = painted({ 10, 5 }, 2);
    auto* buffer = pixelsOf(*last);
    auto again = Image::reuseOrCreate(std::move(last), { 10, 5 }, 2);
    EXPECT_EQ(pixelsOf(*again), buffer) << "the same pixels";
    EXPECT_EQ(again->size(), (Size { 10, 5 }));
    EXPECT_EQ(again->pixelWidth(), 20);
    EXPECT_TRUE(sameColor(again->pixelAt(0, 0), Color::clear())) << "cleared as a new picture";
    EXPECT_TRUE(sameColor(again->pixelAt(19, 9), Color::clear()));
    EXPECT_EQ(Image::reuseOrCreate(painted({ 10, 5 }, 2), { 10, 5 }, 0)->scale(), 2) << "a scale of 0 is 2, as made";

    // Someone still holds the last picture: it stays as it was.
    auto held = painted({ 10, 5 }, 2);
    auto copy = held;
    auto fresh = Image::reuseOrCreate(held, { 10, 5 }, 2);
    EXPECT_NE(pixelsOf(*fresh), pixelsOf(*held));
    EXPECT_TRUE(sameColor(held->pixelAt(19, 9), Color::rgb(1, 0, 0)));
    EXPECT_TRUE(sameColor(fresh->pixelAt(19, 9), Color::clear()));

    // Another size or scale (one pixel more, or a size that rounds to the
    // same pixels) makes a new picture.
    for (auto [size, scale] : { std::pair { Size { 10, 5.5 }, 2.0 }, std::pair { Size { 10, 5.25 }, 2.0 },
             std::pair { Size { 20, 10 }, 1.0 } }) {
        auto other = painted({ 10, 5 }, 2);
        auto* old = pixelsOf(*other);
        auto made = Image::reuseOrCreate(std::move(other), size, scale);
        EXPECT_NE(pixelsOf(*made), old);
        EXPECT_EQ(made->size(), size);
        EXPECT_EQ(made->scale(), scale);
        EXPECT_TRUE(sameColor(made->pixelAt(0, 0), Color::clear()));
    }
    EXPECT_EQ(Image::reuseOrCreate(nullptr, { 3, 3 }, 1)->pixelWidth(), 3);
}

TEST(Image, PngRoundTripKeepsEveryPixel)
{
    Canvas canvas(6, 4, 2);
    canvas.context->fillRect({ 0, 0, 3, 4 }, red);
    canvas.context->fillRect({ 3, 0, 3, 2 }, blue.withAlpha(0.5));
    std::string png = canvas.image->pngData();
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.substr(1, 3), "PNG");

    auto back = Image::fromPngData(png, 2);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->size(), canvas.image->size());
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x)
            EXPECT_TRUE(sameColor(back->pixelAt(x, y), canvas.image->pixelAt(x, y), 1.0 / 255)) << x << "," << y;

    auto folder = std::filesystem::temp_directory_path() / ("hestio-gfx-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    auto path = (folder / "canvas@2x.png").string();
    ASSERT_TRUE(canvas.image->writePng(path));
    auto file = Image::fromPngFile(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->scale(), 2);
    EXPECT_EQ(file->size(), canvas.image->size());
    EXPECT_TRUE(sameColor(file->pixelAt(1, 1), red));
    std::filesystem::remove_all(folder);

    EXPECT_FALSE(Image::fromPngData("not a png"));
    EXPECT_FALSE(Image::fromPngData(png.substr(0, png.size() / 2)));
    EXPECT_FALSE(Image::fromPngFile("/nonexistent/file.png"));
}

TEST(Image, SvgDrawsSharplyAtOneAndTwoTimes)
{
    auto svg = Image::fromSvgData(halves);
    ASSERT_TRUE(svg);
    EXPECT_TRUE(svg->isVector());
    EXPECT_EQ(svg->size(), (Size { 10, 10 }));
    for (double scale : { 1.0, 2.0 }) {
        SCOPED_TRACE(testing::Message() << "scale " << scale);
        Canvas canvas(20, 20, scale);
        canvas.context->drawImage(*svg, { 0, 0, 20, 20 });
        EXPECT_TRUE(sameColor(canvas.at(9.5, 10), red));
        EXPECT_TRUE(sameColor(canvas.at(10, 10), blue)) << "the edge falls on a pixel boundary";
        EXPECT_TRUE(sameColor(canvas.at(0, 0), red));
        EXPECT_TRUE(sameColor(canvas.at(19.5, 19.5), blue));
    }
    EXPECT_FALSE(Image::fromSvgData("<svg"));
    EXPECT_FALSE(Image::fromSvgData(""));
}

TEST(Image, AnAssetSvgReadWhenDrawnHasTheSizeAndPixelsOfOneReadAtOnce)
{
    const std::string circle = R"(<svg xmlns="http://www.w3.org/2000/svg" %s>
      <circle cx="8" cy="8" r="6" fill="none" stroke="#36c" stroke-width="2"/></svg>)";
    auto with = [&](const char* attributes) {
        std::string text = circle;
        return text.replace(text.find("%s"), 2, attributes);
    };
    // Plain numbers (or a view box alone) are read without the library; the
    // rest is read at once, as the library tells the size.
    for (const char* root : { R"(width="16" height="16")", R"(width='16px' height="16.0")", R"(viewBox="0 0 16 16")",
             R"(viewBox="0,0,16,16" stroke-width="3")", R"(width="1.6em" height="1.6em")",
             R"(width="100%" height="100%" viewBox="0 0 16 16")", R"(width="16" viewBox="0 0 16 16")" }) {
        SCOPED_TRACE(root);
        auto atOnce = Image::fromSvgData(with(root));
        auto whenDrawn = Image::fromSvgAsset(with(root));
        ASSERT_TRUE(atOnce);
        ASSERT_TRUE(whenDrawn);
        EXPECT_TRUE(whenDrawn->isVector());
        EXPECT_EQ(whenDrawn->size(), atOnce->size());
        Canvas a(40, 30, 2), b(40, 30, 2);
        a.context->drawImage(*atOnce, { 3, 4, 24, 20 });
        b.context->drawImage(*whenDrawn, { 3, 4, 24, 20 });
        EXPECT_EQ(a.image->pngData(), b.image->pngData());
    }
    // A document the library cannot read is left out when drawn.
    auto broken = Image::fromSvgAsset(R"(<svg width="4" height="4"><rect width="4" height="4"></svg>)");
    ASSERT_TRUE(broken);
    Canvas canvas(8, 8, 1);
    canvas.context->drawImage(*broken, { 0, 0, 8, 8 });
    EXPECT_EQ(canvas.image->pixelAt(4, 4).alpha, 0);
    EXPECT_FALSE(Image::fromSvgAsset("<svg"));
}

TEST(Image, SvgCopiedFromItsRenditionMatchesTheSvgDrawnDirectly)
{
    auto svg = Image::fromSvgData(R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16">
      <circle cx="8" cy="8" r="6" fill="none" stroke="#36c" stroke-width="2"/></svg>)");
    ASSERT_TRUE(svg);
    Canvas copied(40, 30, 2);
    copied.context->drawImage(*svg, { 3, 4, 24, 20 });
    copied.context->drawImage(*svg, { 3, 4, 24, 20 }); // from the rendition kept
    Canvas direct(40, 30, 2);
    direct.context->rotate(2 * std::numbers::pi); // not a plain scale: drawn as vectors
    direct.context->drawImage(*svg, { 3, 4, 24, 20 });
    direct.context->drawImage(*svg, { 3, 4, 24, 20 });
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x)
            ASSERT_TRUE(sameColor(copied.image->pixelAt(x, y), direct.image->pixelAt(x, y), 3.0 / 255))
                << x << "," << y;
}

TEST(Image, ImagesStayUprightInAFlippedSpace)
{
    auto svg = Image::fromSvgData(R"(<svg xmlns="http://www.w3.org/2000/svg" width="4" height="4">
  <rect width="4" height="2" fill="#ff0000"/><rect y="2" width="4" height="2" fill="#0000ff"/></svg>)");
    ASSERT_TRUE(svg);
    Canvas canvas(8, 8, 1);
    canvas.context->flipY(8);
    canvas.context->drawImage(*svg, { 0, 0, 8, 8 });
    EXPECT_TRUE(sameColor(canvas.at(4, 1), red));
    EXPECT_TRUE(sameColor(canvas.at(4, 7), blue));
}

TEST(Image, StretchableImageKeepsItsCaps)
{
    // A 12×12 point source at 2x whose every pixel differs from its neighbours.
    auto source = Image::create({ 12, 12 }, 2);
    {
        auto c = Context::forImage(*source);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x)
                c->fillRect({ x / 2.0, y / 2.0, 0.5, 0.5 }, Color::rgb(x / 23.0, y / 23.0, ((x + y) % 2) ? 1 : 0));
    }
    auto stretchable = source->stretchable(5, 4);
    ASSERT_TRUE(stretchable->capInsets());
    EXPECT_EQ(*stretchable->capInsets(), (EdgeInsets { 4, 5, 7, 6 }));

    Canvas canvas(40, 30, 2);
    canvas.context->drawImage(*stretchable, { 0, 0, 40, 30 });
    auto expectCorner = [&](int fromX, int fromY, int toX, int toY, int width, int height) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                ASSERT_TRUE(sameColor(
                    canvas.image->pixelAt(toX + x, toY + y), source->pixelAt(fromX + x, fromY + y), 1.0 / 255))
                    << "source pixel " << fromX + x << "," << fromY + y;
    };
    expectCorner(0, 0, 0, 0, 10, 8); // top left cap: 5 × 4 points
    expectCorner(12, 0, 68, 0, 12, 8); // top right: 6 points wide
    expectCorner(0, 10, 0, 46, 10, 14); // bottom left: 7 points tall
    expectCorner(12, 10, 68, 46, 12, 14); // bottom right
    // The middle is stretched from the one-point column and row: source
    // pixels 10 and 11 across, 8 and 9 down.
    Color middle = canvas.at(20, 15);
    EXPECT_GE(middle.red, 10 / 23.0 - 0.01);
    EXPECT_LE(middle.red, 11 / 23.0 + 0.01);
    EXPECT_GE(middle.green, 8 / 23.0 - 0.01);
    EXPECT_LE(middle.green, 9 / 23.0 + 0.01);
}

TEST(Image, StretchableSvgKeepsItsCapsAtTheContextScale)
{
    auto svg = Image::fromSvgData(halves);
    ASSERT_TRUE(svg);
    auto stretchable = svg->stretchable(3, 0);
    EXPECT_EQ(*stretchable->capInsets(), (EdgeInsets { 0, 3, 0, 6 }));
    for (double scale : { 1.0, 2.0 }) {
        SCOPED_TRACE(testing::Message() << "scale " << scale);
        Canvas canvas(40, 10, scale);
        canvas.context->drawImage(*stretchable, { 0, 0, 40, 10 });
        EXPECT_TRUE(sameColor(canvas.at(1, 5), red));
        EXPECT_TRUE(sameColor(canvas.at(20, 5), red)) << "the middle column is red";
        EXPECT_TRUE(sameColor(canvas.at(34.5, 5), red)) << "right cap: one red point";
        EXPECT_TRUE(sameColor(canvas.at(35, 5), blue));
        EXPECT_TRUE(sameColor(canvas.at(39.5, 9.5), blue));
    }
}

TEST(Image, NamedImagesComeFromTheAssetsFolder)
{
    auto image = Image::named("gfx-test-halves");
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->isVector());
    EXPECT_EQ(image->size(), (Size { 10, 10 }));
    EXPECT_TRUE(Image::named("gfx-test-halves.svg"));
    auto asPng = Image::named("gfx-test-halves.png");
    ASSERT_TRUE(asPng) << "a .png name is drawn from the SVG shipped in its place";
    EXPECT_TRUE(asPng->isVector());
    for (const char* missing : { "", "no-such-image", "../assets/images/gfx-test-halves", "/etc/passwd" }) {
        SCOPED_TRACE(missing);
        EXPECT_FALSE(Image::named(missing));
    }
}

TEST(Image, AssetsFolderComesFromTheEnvironmentElseTheSourceTree)
{
    const char* given = std::getenv("HESTIO_ASSETS");
    std::string saved = given ? given : "";
    setenv("HESTIO_ASSETS", "/somewhere/assets", 1);
    EXPECT_EQ(assetsDirectory(), "/somewhere/assets");
    unsetenv("HESTIO_ASSETS");
    EXPECT_EQ(std::filesystem::path(assetsDirectory()), std::filesystem::path(HESTIO_SOURCE_DIR) / "assets")
        << "a test binary is not installed: the source tree's folder";
    if (given)
        setenv("HESTIO_ASSETS", saved.c_str(), 1);
}

}
