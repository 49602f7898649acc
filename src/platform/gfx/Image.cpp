#include "platform/gfx/Image.h"

#include "platform/gfx/ImageImpl.h"

#include "platform/foundation/LazyLibrary.h"
#include "platform/foundation/Log.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

// The SVG library is opened when a picture is first read, not when the
// program starts: it and the libraries it brings were a fifth of the dynamic
// loader's work at every start, and the login screen draws before any of
// the pictures of the screens under it is needed.
namespace {
hestio::platform::LazyLibrary& svgLibrary()
{
    static hestio::platform::LazyLibrary library("librsvg-2.so.2", "install librsvg 2");
    return library;
}
}

#define HESTIO_RSVG(name) HESTIO_LAZY_FUNCTION(svgLibrary(), name)
#define rsvg_handle_get_intrinsic_dimensions(...) HESTIO_RSVG(rsvg_handle_get_intrinsic_dimensions)(__VA_ARGS__)
#define rsvg_handle_get_intrinsic_size_in_pixels(...) HESTIO_RSVG(rsvg_handle_get_intrinsic_size_in_pixels)(__VA_ARGS__)
#define rsvg_handle_new_from_data(...) HESTIO_RSVG(rsvg_handle_new_from_data)(__VA_ARGS__)
#define rsvg_handle_render_document(...) HESTIO_RSVG(rsvg_handle_render_document)(__VA_ARGS__)
#define rsvg_handle_set_dpi(...) HESTIO_RSVG(rsvg_handle_set_dpi)(__VA_ARGS__)

namespace hestio::platform {

using namespace gfx;

namespace {

    // A length of the root element that is a plain number of pixels.
    std::optional<double> plainLength(std::string_view text)
    {
        std::string value(text);
        if (value.size() > 2 && value.compare(value.size() - 2, 2, "px") == 0)
            value.resize(value.size() - 2);
        if (value.empty() || value.find_first_not_of("0123456789.") != std::string::npos)
            return std::nullopt;
        char* end = nullptr;
        double number = std::strtod(value.c_str(), &end);
        if (end != value.c_str() + value.size() || !(number > 0) || !std::isfinite(number))
            return std::nullopt;
        return number;
    }

    // The value of `name` in the attributes of a start tag; none when absent.
    std::optional<std::string_view> attribute(std::string_view tag, std::string_view name)
    {
        for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
            std::size_t after = at + name.size();
            if (!std::isspace(static_cast<unsigned char>(tag[at - 1])) || after + 1 >= tag.size() || tag[after] != '='
                || (tag[after + 1] != '"' && tag[after + 1] != '\''))
                continue;
            std::size_t close = tag.find(tag[after + 1], after + 2);
            if (close == std::string_view::npos)
                return std::nullopt;
            return tag.substr(after + 2, close - after - 2);
        }
        return std::nullopt;
    }

    // The size of a document whose root gives it as plain numbers: its width
    // and height, or, with neither, its view box (as the SVG library tells
    // it). None for anything else, which the library must read.
    std::optional<Size> plainSvgSize(const std::string& svg)
    {
        std::size_t start = svg.find("<svg");
        if (start == std::string::npos || start + 4 >= svg.size()
            || !std::isspace(static_cast<unsigned char>(svg[start + 4])))
            return std::nullopt;
        std::size_t end = svg.find('>', start);
        if (end == std::string::npos)
            return std::nullopt;
        std::string_view tag = std::string_view(svg).substr(start, end - start);
        auto width = attribute(tag, "width");
        auto height = attribute(tag, "height");
        if (width && height) {
            auto w = plainLength(*width), h = plainLength(*height);
            if (w && h)
                return Size { *w, *h };
            return std::nullopt;
        }
        auto box = attribute(tag, "viewBox");
        if (width || height || !box)
            return std::nullopt;
        std::string numbers(*box);
        std::replace(numbers.begin(), numbers.end(), ',', ' ');
        std::istringstream in(numbers);
        std::string field[4], extra;
        if (!(in >> field[0] >> field[1] >> field[2] >> field[3]) || (in >> extra))
            return std::nullopt;
        auto w = plainLength(field[2]), h = plainLength(field[3]);
        if (!w || !h)
            return std::nullopt;
        return Size { *w, *h };
    }

    int pixelsFor(double points, double scale)
    {
        return std::max(0, static_cast<int>(std::ceil(points * scale - 1e-9)));
    }

    SurfacePtr newSurface(Size size, double scale)
    {
        SurfacePtr surface(cairo_image_surface_create(
            CAIRO_FORMAT_ARGB32, pixelsFor(size.width, scale), pixelsFor(size.height, scale)));
        cairo_surface_set_device_scale(surface.get(), scale, scale);
        return surface;
    }

    cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length)
    {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
    }

    struct ReadCursor {
        const std::string* data;
        std::size_t offset;
    };

    cairo_status_t readFromString(void* closure, unsigned char* out, unsigned int length)
    {
        auto* cursor = static_cast<ReadCursor*>(closure);
        if (cursor->data->size() - cursor->offset < length)
            return CAIRO_STATUS_READ_ERROR;
        std::memcpy(out, cursor->data->data() + cursor->offset, length);
        cursor->offset += length;
        return CAIRO_STATUS_SUCCESS;
    }

    // PNG files decode to RGB24 when opaque; every raster image here is ARGB32
    // so that pixel access has one layout.
    SurfacePtr asArgb(SurfacePtr decoded, double scale)
    {
        if (!decoded || cairo_surface_status(decoded.get()) != CAIRO_STATUS_SUCCESS)
            return nullptr;
        int width = cairo_image_surface_get_width(decoded.get());
        int height = cairo_image_surface_get_height(decoded.get());
        SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
        CairoPtr cr(cairo_create(surface.get()));
        cairo_set_source_surface(cr.get(), decoded.get(), 0, 0);
        cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr.get());
        cr.reset();
        cairo_surface_set_device_scale(surface.get(), scale, scale);
        return surface;
    }

    // "arrow@2x.png" holds two pixels per point, "arrow@3x.png" three.
    double scaleFromFileName(const std::string& path)
    {
        std::string stem = std::filesystem::path(path).stem().string();
        for (int s = 2; s <= 4; ++s) {
            std::string suffix = "@" + std::to_string(s) + "x";
            if (stem.size() > suffix.size() && stem.compare(stem.size() - suffix.size(), suffix.size(), suffix) == 0)
                return s;
        }
        return 1;
    }

}

Image::Image()
    : m_impl(std::make_unique<Impl>())
{
}

Image::~Image() = default;

std::shared_ptr<Image> Image::create(Size size, double scale)
{
    if (!(scale > 0) || !std::isfinite(scale))
        scale = 2;
    size.width = std::isfinite(size.width) ? std::max(0.0, size.width) : 0;
    size.height = std::isfinite(size.height) ? std::max(0.0, size.height) : 0;
    std::shared_ptr<Image> image(new Image);
    image->m_size = size;
    image->m_scale = scale;
    image->m_impl->surface = newSurface(size, scale);
    return image;
}

std::shared_ptr<Image> Image::reuseOrCreate(std::shared_ptr<Image> reuse, Size size, double scale)
{
    if (!(scale > 0) || !std::isfinite(scale))
        scale = 2;
    size.width = std::isfinite(size.width) ? std::max(0.0, size.width) : 0;
    size.height = std::isfinite(size.height) ? std::max(0.0, size.height) : 0;
    cairo_surface_t* pixels = reuse ? reuse->m_impl->surface.get() : nullptr;
    if (!pixels || reuse.use_count() != 1 || reuse->m_size.width != size.width || reuse->m_size.height != size.height
        || reuse->m_scale != scale || cairo_surface_status(pixels) != CAIRO_STATUS_SUCCESS)
        return create(size, scale);
    cairo_t* cr = cairo_create(pixels);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_destroy(cr);
    // A new image around the pixels: nothing the last picture kept (its
    // renditions, cap insets) comes with them.
    std::shared_ptr<Image> image(new Image);
    image->m_size = size;
    image->m_scale = scale;
    image->m_impl->surface = std::move(reuse->m_impl->surface);
    return image;
}

std::shared_ptr<const Image> Image::named(const std::string& name)
{
    namespace fs = std::filesystem;
    if (name.empty() || name.front() == '/' || name.find("..") != std::string::npos)
        return nullptr;
    // "orb.png" may be shipped as orb@2x.png or drawn as orb.svg; "orb" is
    // any of them, the vector picture first.
    fs::path asked(name);
    std::string stem = asked.has_extension() ? (asked.parent_path() / asked.stem()).string() : name;
    std::vector<std::string> files;
    if (asked.extension() == ".png")
        files = { stem + "@2x.png", name, stem + ".svg" };
    else if (asked.has_extension())
        files = { name };
    else
        files = { name + ".svg", name + "@2x.png", name + ".png" };

    fs::path root = assetsDirectory();
    std::error_code ec;
    for (const fs::path& folder : { root / "images", root }) {
        for (const auto& file : files) {
            fs::path path = folder / file;
            if (!fs::is_regular_file(path, ec))
                continue;
            std::shared_ptr<const Image> image;
            if (path.extension() == ".svg") {
                std::ifstream in(path, std::ios::binary);
                std::string svg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                if (in.good() || in.eof())
                    image = fromSvgAsset(svg);
            } else {
                image = fromPngFile(path.string());
            }
            if (!image)
                hestio::log("Could not read the image " + path.string());
            return image;
        }
    }
    return nullptr;
}

std::shared_ptr<const Image> Image::fromPngFile(const std::string& path)
{
    double scale = scaleFromFileName(path);
    SurfacePtr surface = asArgb(SurfacePtr(cairo_image_surface_create_from_png(path.c_str())), scale);
    if (!surface)
        return nullptr;
    std::shared_ptr<Image> image(new Image);
    image->m_scale = scale;
    image->m_size = { cairo_image_surface_get_width(surface.get()) / scale,
        cairo_image_surface_get_height(surface.get()) / scale };
    image->m_impl->surface = std::move(surface);
    return image;
}

std::shared_ptr<const Image> Image::fromPngData(const std::string& png, double scale)
{
    if (!(scale > 0) || !std::isfinite(scale))
        scale = 1;
    ReadCursor cursor { &png, 0 };
    SurfacePtr surface = asArgb(SurfacePtr(cairo_image_surface_create_from_png_stream(readFromString, &cursor)), scale);
    if (!surface)
        return nullptr;
    std::shared_ptr<Image> image(new Image);
    image->m_scale = scale;
    image->m_size = { cairo_image_surface_get_width(surface.get()) / scale,
        cairo_image_surface_get_height(surface.get()) / scale };
    image->m_impl->surface = std::move(surface);
    return image;
}

std::shared_ptr<const Image> Image::fromSvgAsset(const std::string& svg)
{
    auto size = plainSvgSize(svg);
    if (!size)
        return fromSvgData(svg);
    std::shared_ptr<Image> image(new Image);
    image->m_scale = 1;
    image->m_size = *size;
    image->m_impl->svgSource = svg;
    return image;
}

std::shared_ptr<const Image> Image::fromSvgData(const std::string& svg)
{
    GObjectPtr<RsvgHandle> handle = parseSvg(svg);
    if (!handle)
        return nullptr;
    gdouble width = 0, height = 0;
    if (!rsvg_handle_get_intrinsic_size_in_pixels(handle.get(), &width, &height)) {
        // No absolute width and height: the view box gives the size.
        gboolean hasWidth = false, hasHeight = false, hasViewBox = false;
        RsvgLength w, h;
        RsvgRectangle viewBox;
        rsvg_handle_get_intrinsic_dimensions(handle.get(), &hasWidth, &w, &hasHeight, &h, &hasViewBox, &viewBox);
        if (!hasViewBox)
            return nullptr;
        width = viewBox.width;
        height = viewBox.height;
    }
    if (!(width > 0) || !(height > 0))
        return nullptr;
    std::shared_ptr<Image> image(new Image);
    image->m_scale = 1;
    image->m_size = { width, height };
    image->m_impl->parsedSvg = std::move(handle);
    return image;
}

std::shared_ptr<const Image> Image::stretchable(double leftCapWidth, double topCapHeight) const
{
    std::shared_ptr<Image> copy(new Image);
    copy->m_size = m_size;
    copy->m_scale = m_scale;
    copy->m_impl->surface = share(m_impl->surface.get());
    if (m_impl->parsedSvg)
        copy->m_impl->parsedSvg.reset(static_cast<RsvgHandle*>(g_object_ref(m_impl->parsedSvg.get())));
    copy->m_impl->svgSource = m_impl->svgSource;
    // A cap of zero leaves that direction stretching whole; otherwise the
    // opposite cap is what remains beside a one-point middle.
    auto clampCap = [](double cap, double extent) { return std::clamp(std::isfinite(cap) ? cap : 0, 0.0, extent); };
    double left = clampCap(leftCapWidth, m_size.width);
    double top = clampCap(topCapHeight, m_size.height);
    double right = left > 0 ? std::max(0.0, m_size.width - left - 1) : 0;
    double bottom = top > 0 ? std::max(0.0, m_size.height - top - 1) : 0;
    copy->m_capInsets = EdgeInsets { top, left, bottom, right };
    return copy;
}

bool Image::isVector() const
{
    return m_impl->isVector();
}

int Image::pixelWidth() const
{
    return m_impl->surface ? cairo_image_surface_get_width(m_impl->surface.get()) : 0;
}

int Image::pixelHeight() const
{
    return m_impl->surface ? cairo_image_surface_get_height(m_impl->surface.get()) : 0;
}

Color Image::pixelAt(int x, int y) const
{
    cairo_surface_t* s = m_impl->surface.get();
    if (!s || x < 0 || y < 0 || x >= pixelWidth() || y >= pixelHeight())
        return Color::clear();
    cairo_surface_flush(s);
    const unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    uint32_t argb;
    std::memcpy(&argb, row + 4 * x, sizeof argb);
    double a = (argb >> 24) & 0xff;
    if (a == 0)
        return Color::clear();
    auto channel = [&](int shift) { return std::min(1.0, ((argb >> shift) & 0xff) / a); };
    return { channel(16), channel(8), channel(0), a / 255 };
}

namespace {
    cairo_surface_t* writableSurface(const Image& image)
    {
        return image.impl().rasterAt(image.size(), 2);
    }
}

bool Image::writePng(const std::string& path) const
{
    cairo_surface_t* s = m_impl->surface ? m_impl->surface.get() : writableSurface(*this);
    return s && cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

std::string Image::pngData() const
{
    std::string png;
    cairo_surface_t* s = m_impl->surface ? m_impl->surface.get() : writableSurface(*this);
    if (!s || cairo_surface_write_to_png_stream(s, appendToString, &png) != CAIRO_STATUS_SUCCESS)
        return {};
    return png;
}

cairo_surface_t* Image::Impl::rasterAt(Size size, double scale) const
{
    if (surface)
        return surface.get();
    auto found = m_renditions.find(scale);
    if (found != m_renditions.end())
        return found->second.get();
    RsvgHandle* document = svg();
    if (!document)
        return nullptr;
    SurfacePtr rendition = newSurface(size, scale);
    CairoPtr cr(cairo_create(rendition.get()));
    if (!gfx::renderSvg(document, cr.get(), Rect { { 0, 0 }, size }))
        return nullptr;
    cr.reset();
    return m_renditions.emplace(scale, std::move(rendition)).first->second.get();
}

cairo_surface_t* Image::Impl::rasterOfPixels(Size size, int width, int height) const
{
    if (!isVector() || size.width <= 0 || size.height <= 0)
        return nullptr;
    auto key = std::make_pair(width, height);
    auto found = m_pixelRenditions.find(key);
    if (found != m_pixelRenditions.end())
        return found->second.get();
    RsvgHandle* document = svg();
    if (!document)
        return nullptr;
    constexpr std::size_t sizesKept = 8;
    if (m_pixelRenditions.size() >= sizesKept)
        m_pixelRenditions.clear();
    SurfacePtr rendition(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    CairoPtr cr(cairo_create(rendition.get()));
    cairo_scale(cr.get(), width / size.width, height / size.height);
    if (!gfx::renderSvg(document, cr.get(), Rect { { 0, 0 }, size }))
        return nullptr;
    cr.reset();
    return m_pixelRenditions.emplace(key, std::move(rendition)).first->second.get();
}

RsvgHandle* Image::Impl::svg() const
{
    if (!parsedSvg && !svgSource.empty() && !m_svgTried) {
        m_svgTried = true;
        parsedSvg = parseSvg(svgSource);
        if (!parsedSvg)
            hestio::log("Could not read an SVG picture of the assets; it is left out");
    }
    return parsedSvg.get();
}

GObjectPtr<RsvgHandle> gfx::parseSvg(const std::string& svg)
{
    if (auto missing = svgLibrary().open()) {
        static bool told = false;
        if (!std::exchange(told, true))
            hestio::log("Pictures cannot be drawn: " + *missing);
        return nullptr;
    }
    GError* raw = nullptr;
    GObjectPtr<RsvgHandle> handle(
        rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &raw));
    ErrorPtr error(raw);
    if (!handle || error)
        return nullptr;
    rsvg_handle_set_dpi(handle.get(), 96);
    return handle;
}

bool gfx::renderSvg(RsvgHandle* handle, cairo_t* cr, const Rect& viewport)
{
    RsvgRectangle box { viewport.x(), viewport.y(), viewport.width(), viewport.height() };
    GError* raw = nullptr;
    bool ok = rsvg_handle_render_document(handle, cr, &box, &raw);
    ErrorPtr error(raw);
    return ok && !error;
}

}
