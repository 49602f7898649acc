#include "platform/gfx/Context.h"
#include "platform/gfx/GfxHandles.h"
#include "platform/gfx/GlyphCoverage.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/TextLine.h"

#include "platform/foundation/Log.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <list>
#include <unordered_map>

namespace hestio::platform {

using namespace gfx;

namespace {

    FontOptionsPtr unhintedOptions()
    {
        // Unhinted outlines and unrounded positions make a layout measure the
        // same at every scale and in every context, so a size measured without
        // a context is the size drawn.
        FontOptionsPtr options(cairo_font_options_create());
        cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
        return options;
    }

    /// The process's fonts: one font map whose fontconfig configuration is
    /// assets/fonts/fonts.conf, a pango context for measuring, and one
    /// for drawing at each scale and rotation drawn at lately.
    class TextSystem {
    public:
        static TextSystem& shared()
        {
            static TextSystem system;
            return system;
        }

        PangoFontMap* fontMap() const { return m_fontMap.get(); }
        PangoContext* measuring() const { return m_measuring.get(); }
        /// A drawing context kept for the scale and rotation of `cr`, so that
        /// lines laid out in it stay laid out while those stay the same (one
        /// context re-aimed at every drawing would lay them out again at each
        /// change, as between a chart's upright and turned labels).
        PangoContext* keptDrawingFor(cairo_t* cr)
        {
            cairo_matrix_t m;
            cairo_get_matrix(cr, &m);
            auto same = [&](const Kept& k) { return k.xx == m.xx && k.xy == m.xy && k.yx == m.yx && k.yy == m.yy; };
            auto it = std::find_if(m_kept.begin(), m_kept.end(), same);
            if (it == m_kept.end()) {
                if (m_kept.size() >= 8)
                    m_kept.pop_back();
                m_kept.push_front({ m.xx, m.xy, m.yx, m.yy, newContext(), nullptr });
                it = m_kept.begin();
            } else if (it != m_kept.begin()) {
                m_kept.splice(m_kept.begin(), m_kept, it);
                it = m_kept.begin();
            }
            // Updating a context tells every layout in it to lay itself out
            // again, even when nothing changed: only the target's font
            // options can differ here (the matrix is the one looked up; its
            // translation does not count, and the context's own options are
            // set once for all).
            FontOptionsPtr surfaceOptions(cairo_font_options_create());
            cairo_surface_get_font_options(cairo_get_target(cr), surfaceOptions.get());
            if (!it->surfaceOptions || !cairo_font_options_equal(it->surfaceOptions.get(), surfaceOptions.get())) {
                pango_cairo_update_context(cr, it->context.get());
                it->surfaceOptions = std::move(surfaceOptions);
            }
            return it->context.get();
        }

    private:
        TextSystem()
        {
            // The configuration is made before the font map, which starts
            // loading the system's default one on a thread of its own unless
            // one is current: ours, made current, spares that second parse.
            auto config = loadConfiguration();
            m_fontMap.reset(pango_cairo_font_map_new());
            if (config && PANGO_IS_FC_FONT_MAP(m_fontMap.get()))
                pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(m_fontMap.get()), config.get());
            m_measuring = newContext();
        }

        struct ConfigDeleter {
            void operator()(FcConfig* c) const { FcConfigDestroy(c); }
        };
        using ConfigPtr = std::unique_ptr<FcConfig, ConfigDeleter>;

        static ConfigPtr loadConfiguration()
        {
            std::filesystem::path file = std::filesystem::path(assetsDirectory()) / "fonts" / "fonts.conf";
            std::error_code ec;
            if (!std::filesystem::is_regular_file(file, ec)) {
                hestio::log("No font configuration at " + file.string() + "; using the system's");
                return nullptr;
            }
            // Ours alone, not the system's: it resolves the same faces and
            // fallbacks with the same settings, and parsing the system's fifty
            // files was a quarter of a cold start. Without it, the system's.
            ConfigPtr config(FcConfigCreate());
            if (!config)
                return nullptr;
            if (!FcConfigParseAndLoad(config.get(), reinterpret_cast<const FcChar8*>(file.c_str()), FcTrue)
                || !FcConfigBuildFonts(config.get())) {
                hestio::log("Could not load the font configuration in " + file.string() + "; using the system's");
                return nullptr;
            }
            FcConfigSetCurrent(config.get());
            return config;
        }

        GObjectPtr<PangoContext> newContext() const
        {
            GObjectPtr<PangoContext> context(pango_font_map_create_context(m_fontMap.get()));
            FontOptionsPtr options = unhintedOptions();
            pango_cairo_context_set_font_options(context.get(), options.get());
            pango_context_set_round_glyph_positions(context.get(), FALSE);
            return context;
        }

        struct Kept {
            double xx, xy, yx, yy;
            GObjectPtr<PangoContext> context;
            /// Those of the target it was last updated for.
            FontOptionsPtr surfaceOptions;
        };
        GObjectPtr<PangoFontMap> m_fontMap;
        GObjectPtr<PangoContext> m_measuring;
        std::list<Kept> m_kept;
    };

    FontDescriptionPtr describe(const Font& font)
    {
        FontDescriptionPtr description(pango_font_description_new());
        pango_font_description_set_family(description.get(), font.family.empty() ? "System" : font.family.c_str());
        pango_font_description_set_weight(
            description.get(), font.weight == FontWeight::Bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
        pango_font_description_set_style(
            description.get(), font.slant == FontSlant::Italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
        // Absolute sizes are in user-space units: 17 is 17 points whatever the
        // resolution pango assumes.
        double asked = font.scaledSize();
        double size = std::isfinite(asked) && asked > 0 ? std::min(asked, 2000.0) : Font {}.size;
        pango_font_description_set_absolute_size(description.get(), size * PANGO_SCALE);
        return description;
    }

    int toPango(double points)
    {
        return static_cast<int>(std::lround(points * PANGO_SCALE));
    }

    bool truncates(LineBreakMode mode)
    {
        return mode == LineBreakMode::TruncateHead || mode == LineBreakMode::TruncateTail
            || mode == LineBreakMode::TruncateMiddle;
    }

    std::string validUtf8(const std::string& text)
    {
        if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
            return text;
        GStringPtr fixed(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
        return fixed.get();
    }

    // The number of whole lines that fit in `height`, at least one.
    int linesFitting(PangoLayout* layout, double height)
    {
        int count = pango_layout_get_line_count(layout);
        LayoutIterPtr iter(pango_layout_get_iter(layout));
        int fitting = 0;
        do {
            PangoRectangle logical;
            pango_layout_iter_get_line_extents(iter.get(), nullptr, &logical);
            if ((logical.y + logical.height) / double(PANGO_SCALE) > height + 0.01)
                break;
            ++fitting;
        } while (pango_layout_iter_next_line(iter.get()));
        return std::clamp(fitting, 1, std::max(count, 1));
    }

    /// A single clipped line is laid out unwrapped and cut at the box's edge
    /// when drawn, rather than broken after its last whole word.
    bool clipsOneLine(const TextStyle& style)
    {
        return style.lineBreakMode == LineBreakMode::Clip && style.numberOfLines == 1;
    }

    /// Lays `text` out as `style` asks within `width` (0: unbounded) and
    /// `height` (0: unbounded); keeps at most the lines the style and the height
    /// allow.
    GObjectPtr<PangoLayout> layOut(
        PangoContext* context, const std::string& utf8, const TextStyle& style, double width, double height)
    {
        GObjectPtr<PangoLayout> owner(pango_layout_new(context));
        PangoLayout* layout = owner.get();
        FontDescriptionPtr description = describe(style.font);
        pango_layout_set_font_description(layout, description.get());
        std::string text = validUtf8(utf8);
        pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));

        bool bounded = std::isfinite(width) && width > 0 && !clipsOneLine(style);
        if (bounded) {
            // A width computed from a measured one may come back a hair smaller;
            // rounding up keeps such text on its one line.
            pango_layout_set_width(layout, static_cast<int>(std::ceil(width * PANGO_SCALE - 1e-3)));
            pango_layout_set_wrap(
                layout, style.lineBreakMode == LineBreakMode::CharacterWrap ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
        }
        pango_layout_set_alignment(layout,
            style.alignment == TextAlignment::Center      ? PANGO_ALIGN_CENTER
                : style.alignment == TextAlignment::Right ? PANGO_ALIGN_RIGHT
                                                          : PANGO_ALIGN_LEFT);

        int lines = std::max(0, style.numberOfLines);
        bool heightBounded = std::isfinite(height) && height > 0;
        if (bounded && truncates(style.lineBreakMode) && (lines > 0 || heightBounded)) {
            pango_layout_set_ellipsize(layout,
                style.lineBreakMode == LineBreakMode::TruncateHead         ? PANGO_ELLIPSIZE_START
                    : style.lineBreakMode == LineBreakMode::TruncateMiddle ? PANGO_ELLIPSIZE_MIDDLE
                                                                           : PANGO_ELLIPSIZE_END);
            pango_layout_set_height(layout, lines > 0 ? -lines : toPango(height));
        }

        // pango limits lines per paragraph only, and only when it ellipsizes:
        // any other overflow is cut here at the first line that does not fit.
        int limit = lines;
        if (limit == 0 && heightBounded)
            limit = linesFitting(layout, height);
        if (limit > 0 && pango_layout_get_line_count(layout) > limit) {
            PangoLayoutLine* firstHidden = pango_layout_get_line_readonly(layout, limit);
            std::string kept = text.substr(0, static_cast<std::size_t>(firstHidden->start_index));
            while (!kept.empty() && (kept.back() == '\n' || kept.back() == ' ' || kept.back() == '\r'))
                kept.pop_back();
            if (truncates(style.lineBreakMode))
                kept += "\u2026";
            pango_layout_set_text(layout, kept.data(), static_cast<int>(kept.size()));
        }
        return owner;
    }

    /// Layouts made lately, so that text drawn or measured again as it was
    /// (a screen's labels, frame after frame) is laid out once. Keyed by
    /// everything layOut reads and by the pango context, which lays a layout
    /// out again by itself when its own state changes; a layout holds its
    /// context, so no other context takes its address while it is kept.
    /// Main thread only, as all drawing.
    class RecentLayouts {
    public:
        static RecentLayouts& shared()
        {
            static RecentLayouts recent;
            return recent;
        }

        PangoLayout* layOut(
            PangoContext* context, const std::string& utf8, const TextStyle& style, double width, double height)
        {
            if (utf8.size() > kLongestKept) {
                // Held only until the next call, as the caller uses it now.
                ++m_made;
                m_unkept = hestio::platform::layOut(context, utf8, style, width, height);
                return m_unkept.get();
            }
            Key key { context, utf8, style.font.family, style.font.scaledSize(), style.font.weight, style.font.slant,
                style.alignment, style.lineBreakMode, style.numberOfLines, width, height };
            auto found = m_index.find(key);
            if (found != m_index.end()) {
                m_entries.splice(m_entries.begin(), m_entries, found->second);
                return found->second->layout.get();
            }
            ++m_made;
            return keep(std::move(key), hestio::platform::layOut(context, utf8, style, width, height));
        }

        std::size_t made() const { return m_made; }

    private:
        static constexpr std::size_t kKept = 128;
        static constexpr std::size_t kLongestKept = 1024;

        struct Key {
            PangoContext* context;
            std::string text;
            std::string family;
            double size;
            FontWeight weight;
            FontSlant slant;
            TextAlignment alignment;
            LineBreakMode lineBreakMode;
            int numberOfLines;
            double width;
            double height;
            bool operator==(const Key&) const = default;
        };
        struct KeyHash {
            std::size_t operator()(const Key& k) const noexcept
            {
                std::size_t h = std::hash<std::string> {}(k.text);
                auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
                mix(std::hash<const void*> {}(k.context));
                mix(std::hash<double> {}(k.size));
                mix(std::hash<double> {}(k.width));
                mix(std::hash<double> {}(k.height));
                mix(static_cast<std::size_t>(k.numberOfLines));
                return h;
            }
        };
        struct Entry {
            Key key;
            GObjectPtr<PangoLayout> layout;
        };

        /// Keeps `layout` as the latest, the oldest going, and hands it out.
        PangoLayout* keep(Key key, GObjectPtr<PangoLayout> layout)
        {
            if (m_entries.size() >= kKept) {
                m_index.erase(m_entries.back().key);
                m_entries.pop_back();
            }
            m_entries.push_front({ std::move(key), std::move(layout) });
            m_index.emplace(m_entries.front().key, m_entries.begin());
            return m_entries.front().layout.get();
        }

        std::list<Entry> m_entries; // the latest first
        std::unordered_map<Key, std::list<Entry>::iterator, KeyHash> m_index;
        GObjectPtr<PangoLayout> m_unkept;
        std::size_t m_made { 0 };
    };

    TextMetrics metricsOf(PangoLayout* layout)
    {
        PangoRectangle logical;
        pango_layout_get_extents(layout, nullptr, &logical);
        TextMetrics metrics {};
        metrics.size = { logical.width / double(PANGO_SCALE), logical.height / double(PANGO_SCALE) };
        metrics.lineCount = pango_layout_get_line_count(layout);
        metrics.ascent = pango_layout_get_baseline(layout) / double(PANGO_SCALE);
        PangoRectangle firstLine;
        pango_layout_line_get_extents(pango_layout_get_line_readonly(layout, 0), nullptr, &firstLine);
        metrics.descent = (firstLine.height + firstLine.y) / double(PANGO_SCALE);
        return metrics;
    }

}

std::string resolvedFontFamily(const Font& font)
{
    TextSystem& system = TextSystem::shared();
    FontDescriptionPtr description = describe(font);
    GObjectPtr<PangoFont> loaded(pango_font_map_load_font(system.fontMap(), system.measuring(), description.get()));
    if (!loaded)
        return {};
    FontDescriptionPtr actual(pango_font_describe(loaded.get()));
    const char* family = pango_font_description_get_family(actual.get());
    return family ? family : "";
}

TextMetrics measureText(const std::string& utf8, const TextStyle& style, double maxWidth)
{
    PangoLayout* layout = RecentLayouts::shared().layOut(TextSystem::shared().measuring(), utf8, style, maxWidth, 0);
    TextMetrics metrics = metricsOf(layout);
    if (clipsOneLine(style) && maxWidth > 0)
        metrics.size.width = std::min(metrics.size.width, maxWidth);
    return metrics;
}

Size sizeOfText(const std::string& utf8, const Font& font)
{
    TextStyle style { font, TextAlignment::Left, LineBreakMode::Clip, 0 };
    return measureText(utf8, style).size;
}

void prepareFont(const Font& font, double scale)
{
    // Digits and the signs of times, dates and values, and the letters.
    static const std::string sample = "0123456789 :./,-+%\u2026 ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz";
    TextLine line(sample, font);
    (void)line.size();
    // Drawn at the scale in a picture of one pixel: the font is made for
    // that scale and its glyphs are loaded, as for a frame.
    auto picture = Image::create(Size { 1, 1 }, std::isfinite(scale) && scale > 0 ? std::min(scale, 8.0) : 2.0);
    Context::forImage(*picture)->drawText(line, Point { 0, 0 }, Color {});
}

std::size_t textLayoutsMade()
{
    return RecentLayouts::shared().made();
}

int missingGlyphCount(const std::string& utf8, const Font& font)
{
    TextStyle style { font, TextAlignment::Left, LineBreakMode::Clip, 0 };
    auto layout = layOut(TextSystem::shared().measuring(), utf8, style, 0, 0);
    return pango_layout_get_unknown_glyphs_count(layout.get());
}

void Context::drawText(const std::string& utf8, const Rect& rect, const TextStyle& style, Color color)
{
    showText(utf8, rect, style, color, TextBox::Bounding);
}

void Context::drawText(const std::string& utf8, Point at, const Font& font, Color color)
{
    TextStyle style { font, TextAlignment::Left, LineBreakMode::Clip, 0 };
    showText(utf8, Rect { at, Size {} }, style, color, TextBox::CornerOnly);
}

namespace {

    /// Keeps text upright in a flipped (y-up) space: the box from `top` to
    /// `bottom` is turned over in place, so its top edge is the one at the
    /// top of the screen.
    void turnUpright(cairo_t* cr, double top, double bottom)
    {
        cairo_matrix_t m;
        cairo_get_matrix(cr, &m);
        if (m.xx * m.yy - m.xy * m.yx < 0) {
            cairo_translate(cr, 0, top + bottom);
            cairo_scale(cr, 1, -1);
        }
    }

    /// Puts back the caller's path, which drawing text leaves alone.
    void putPathBack(cairo_t* cr, const CairoPathPtr& saved)
    {
        cairo_new_path(cr);
        if (saved && saved->status == CAIRO_STATUS_SUCCESS && saved->num_data > 0)
            cairo_append_path(cr, saved.get());
    }

}

struct TextLine::Laid {
    PangoContext* context { nullptr }; // held by the layout
    GObjectPtr<PangoLayout> layout;
    FontDescriptionPtr description;
    FontDescriptionPtr measuredWith;
    Size size;
};

TextLine::TextLine(std::string text, Font font)
    : m_text(std::move(text))
    , m_font(std::move(font))
    , m_laid(std::make_unique<Laid>())
{
}

TextLine::~TextLine() = default;

Size TextLine::size() const
{
    FontDescriptionPtr description = describe(m_font);
    if (!m_laid->measuredWith || !pango_font_description_equal(m_laid->measuredWith.get(), description.get())) {
        m_laid->size = sizeOfText(m_text, m_font);
        m_laid->measuredWith = std::move(description);
    }
    return m_laid->size;
}

std::shared_ptr<TextLine> TextLine::shared(const std::string& text, const Font& font)
{
    // Lines drawn lately, the latest first; a chart's labels and titles fit.
    static std::list<std::shared_ptr<TextLine>> recent;
    constexpr std::size_t kept = 128;
    auto it = std::find_if(
        recent.begin(), recent.end(), [&](const auto& line) { return line->m_text == text && line->m_font == font; });
    if (it != recent.end()) {
        recent.splice(recent.begin(), recent, it);
        return recent.front();
    }
    recent.push_front(std::make_shared<TextLine>(text, font));
    if (recent.size() > kept)
        recent.pop_back();
    return recent.front();
}

void Context::drawText(TextLine& line, Point at, Color color)
{
    if (!std::isfinite(at.x) || !std::isfinite(at.y))
        return;
    cairo_t* cr = m_cr.get();
    CairoPathPtr savedPath(cairo_copy_path(cr));
    cairo_save(cr);
    // As showText() draws a line whose corner alone places it.
    turnUpright(cr, at.y, at.y);
    PangoContext* context = TextSystem::shared().keptDrawingFor(cr);
    TextLine::Laid& laid = *line.m_laid;
    FontDescriptionPtr description = describe(line.m_font);
    if (laid.context != context || !laid.layout || !laid.description
        || !pango_font_description_equal(laid.description.get(), description.get())) {
        TextStyle style { line.m_font, TextAlignment::Left, LineBreakMode::Clip, 0 };
        laid.layout = layOut(context, line.m_text, style, 0, 0);
        laid.context = context;
        laid.description = std::move(description);
        ++line.m_layoutCount;
    }
    setSource(color);
    cairo_new_path(cr);
    cairo_move_to(cr, at.x, at.y);
    pango_cairo_show_layout(cr, laid.layout.get());
    cairo_restore(cr);
    putPathBack(cr, savedPath);
}

void Context::showText(const std::string& utf8, const Rect& box, const TextStyle& style, Color color, TextBox use)
{
    bool bounded = use == TextBox::Bounding;
    if (!std::isfinite(box.x()) || !std::isfinite(box.y()) || !std::isfinite(box.width())
        || !std::isfinite(box.height()))
        return;
    cairo_t* cr = m_cr.get();
    CairoPathPtr savedPath(cairo_copy_path(cr));
    cairo_save(cr);
    turnUpright(cr, box.minY(), box.maxY());
    PangoContext* context = TextSystem::shared().keptDrawingFor(cr);
    PangoLayout* layout
        = RecentLayouts::shared().layOut(context, utf8, style, bounded ? box.width() : 0, bounded ? box.height() : 0);
    setSource(color);
    cairo_new_path(cr);
    double x = box.minX();
    if (bounded && clipsOneLine(style) && box.width() > 0) {
        cairo_rectangle(cr, box.minX(), box.minY() - box.height() - 1000, box.width(), 2 * box.height() + 2000);
        cairo_clip(cr);
        cairo_new_path(cr);
        // Aligned within the box while it fits; cut at the far edge otherwise.
        PangoRectangle logical;
        pango_layout_get_extents(layout, nullptr, &logical);
        double room = box.width() - logical.width / double(PANGO_SCALE);
        if (room > 0 && style.alignment != TextAlignment::Left)
            x += style.alignment == TextAlignment::Center ? room / 2 : room;
    }
    cairo_move_to(cr, x, box.minY());
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    putPathBack(cr, savedPath);
}

}
