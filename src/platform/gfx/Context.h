#pragma once

#include "platform/gfx/Color.h"
#include "platform/gfx/CoverageMask.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Geometry.h"
#include "platform/gfx/Gradient.h"
#include "platform/gfx/Path.h"

#include <memory>
#include <string>
#include <vector>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo_matrix cairo_matrix_t;

namespace hestio::platform {

class Image;
class KeptPixels;
class TextLine;

enum class LineCap { Butt, Round, Square };
enum class LineJoin { Miter, Round, Bevel };
enum class BlendMode { Normal, Copy, Clear };

/// The drawing context every view and chart draws into. Coordinates are in
/// points with y growing downwards (view space); flipY() sets up the y-up space
/// charts draw in, and text always comes out upright either way.
///
/// One context owns its cairo_t; nothing outside gfx/ sees cairo.
class Context {
public:
    /// A context drawing into a raster image (made with Image::create).
    [[nodiscard]] static std::unique_ptr<Context> forImage(Image& image);
    /// Wraps a cairo context owned elsewhere (the host's window surface) whose
    /// user space is in points (a device scale of `scale`). The context takes
    /// its own reference and hands `cr` back in the state it found it.
    [[nodiscard]] static std::unique_ptr<Context> wrapping(cairo_t* cr, double scale);
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    [[nodiscard]] double scale() const { return m_scale; }

    // State
    void save();
    void restore();
    void translate(double dx, double dy);
    void scaleBy(double sx, double sy);
    void rotate(double radians);
    void concat(const AffineTransform& t);
    [[nodiscard]] AffineTransform currentTransform() const;
    /// From user space to the target's device pixels (the current transform
    /// followed by the surface's own scale and offset).
    [[nodiscard]] AffineTransform deviceTransform() const;
    /// The device pixels drawing can reach now: the clip's extents within
    /// the target, in whole pixels (empty when nothing can be drawn).
    [[nodiscard]] Rect deviceClipBounds() const;
    /// Turns the current space upside down within `height`: y = 0 becomes
    /// the bottom edge and y grows upwards.
    void flipY(double height);
    void setAlpha(double alpha);
    void setBlendMode(BlendMode mode);

    // Paths
    void beginPath();
    void moveTo(Point p);
    void lineTo(Point p);
    void curveTo(Point c1, Point c2, Point end);
    void addArc(Point center, double radius, double startAngle, double endAngle,
        ArcDirection direction = ArcDirection::CounterClockwise);
    void addRect(const Rect& r);
    void addRoundedRect(const Rect& r, double cornerRadius);
    void addEllipse(const Rect& inRect);
    void closePath();
    void addPath(const Path& path);
    /// The current path's bounds in user space.
    [[nodiscard]] Rect pathBoundingBox() const;

    // Painting (each consumes the current path)
    void setFillColor(Color c);
    void setStrokeColor(Color c);
    void setLineWidth(double width);
    void setLineCap(LineCap cap);
    void setLineJoin(LineJoin join);
    void setMiterLimit(double limit);
    /// Dash lengths in user units; an empty pattern draws solid lines.
    void setLineDash(const std::vector<double>& lengths, double phase = 0);
    void fill(FillRule rule = FillRule::NonZero);
    void stroke();
    void fillAndStroke(FillRule rule = FillRule::NonZero);
    /// Intersects the clip with the current path.
    void clip(FillRule rule = FillRule::NonZero);
    void clipToRect(const Rect& r);
    void fillRect(const Rect& r, Color c);
    void strokeRect(const Rect& r, Color c, double width);
    void clearRect(const Rect& r);

    /// Fills the current clip with an axial gradient from `start` to `end`;
    /// beyond the ends the end colours continue.
    void drawLinearGradient(const Gradient& g, Point start, Point end);
    /// Fills the current path with an axial gradient (consumes the path).
    void fillPathWithLinearGradient(const Gradient& g, Point start, Point end, FillRule rule = FillRule::NonZero);

    /// Paints `c` through a coverage mask laid out in device pixels, under
    /// the current clip, alpha and blend mode; the current path is kept.
    void fillMask(const CoverageMask& mask, Color c);
    /// The same with an axial gradient from `start` to `end` (user space).
    void fillMaskWithLinearGradient(const CoverageMask& mask, const Gradient& g, Point start, Point end);

    /// Draws what follows, up to popGroupThroughMask(), into a group of its
    /// own, which is then painted through a coverage mask: anything drawn
    /// can be shaped by a mask this way, not only a colour or a gradient.
    /// Keeps the state as save() does.
    void pushGroup();
    void popGroupThroughMask(const CoverageMask& mask);

    // Images. Raster and SVG pictures are stretched to fill `into`;
    // stretchable ones keep their caps and stretch only the middle.
    void drawImage(const Image& image, const Rect& into, double alpha = 1);
    /// Paints kept pixels back one for one where they were drawn, under the
    /// current clip. False, painting nothing, where that could differ from
    /// drawing them again: a clip that is not whole pixels, an alpha below 1
    /// or another blend mode.
    [[nodiscard]] bool paintKept(const KeptPixels& kept);

    // Text. Lay out within `rect` (its width bounds wrapping; its height the
    // visible lines) and draw at the top of it.
    void drawText(const std::string& utf8, const Rect& rect, const TextStyle& style, Color color);
    /// Draws one unwrapped line whose layout box starts at `at` (top-left).
    /// In a flipped (y-up) space the box hangs below `at` as seen on screen.
    void drawText(const std::string& utf8, Point at, const Font& font, Color color);
    /// The same with a line laid out before: it is laid out again only when
    /// this context's scale or rotation differs from the last drawing's.
    void drawText(TextLine& line, Point at, Color color);

    [[nodiscard]] cairo_t* cairoForGfxOnly() const { return m_cr.get(); }
    /// Whether cairo has refused a call and stopped drawing (for tests: calls
    /// that would put cairo in that state are ignored instead).
    [[nodiscard]] bool hasError() const;

private:
    friend class KeptPixels;
    /// Whether the clip is a set of rectangles on whole device pixels.
    [[nodiscard]] bool clipIsWholePixels() const;
    struct CairoReleaser {
        void operator()(cairo_t* cr) const;
    };
    /// The state CoreGraphics-style callers expect save/restore to keep and
    /// cairo does not: the colours and the global alpha.
    struct PaintState {
        Color fill;
        Color stroke;
        double alpha;
    };

    Context(cairo_t* cr, double scale);
    void setSource(Color c);
    void paintSourceThrough(const CoverageMask& mask);
    void transformBy(const cairo_matrix_t& m);
    void drawUpright(const Image& image, const Rect& into, double alpha);
    [[nodiscard]] bool drawCachedSvg(const Image& image, const Rect& into, double alpha);
    void drawRaster(cairo_surface_t* surface, const Rect& from, const Rect& into, double alpha);
    void drawNineSlice(const Image& image, const Rect& into, double alpha);
    /// Whether the box's size bounds the text, or only its corner places it.
    enum class TextBox { Bounding, CornerOnly };
    void showText(const std::string& utf8, const Rect& box, const TextStyle& style, Color color, TextBox use);

    std::unique_ptr<cairo_t, CairoReleaser> m_cr;
    double m_scale;
    Color m_fill { Color::black() };
    Color m_stroke { Color::black() };
    double m_alpha { 1 };
    std::vector<PaintState> m_saved;
};

/// Keeps a context's state between construction and destruction.
class ContextStateSaver {
public:
    explicit ContextStateSaver(Context& c)
        : m_context(c)
    {
        m_context.save();
    }
    ~ContextStateSaver() { m_context.restore(); }
    ContextStateSaver(const ContextStateSaver&) = delete;
    ContextStateSaver& operator=(const ContextStateSaver&) = delete;

private:
    Context& m_context;
};

/// Text measuring, without a context.
struct TextMetrics {
    Size size; ///< of the laid-out block
    double ascent; ///< of the first line
    double descent;
    int lineCount;
};
/// Measures `utf8` laid out in `maxWidth` (0: unbounded) under `style`.
[[nodiscard]] TextMetrics measureText(const std::string& utf8, const TextStyle& style, double maxWidth = 0);
/// The size of one line in `font`.
[[nodiscard]] Size sizeOfText(const std::string& utf8, const Font& font);
/// Does once what the first frame to show `font` would otherwise do itself
/// (matching its face, working out its metrics, loading the glyphs of the
/// digits, letters and signs labels use) for measuring it and for drawing it
/// upright at `scale`. Nothing is drawn anywhere that shows.
void prepareFont(const Font& font, double scale);
/// How many times text was laid out for drawText and measureText: text
/// drawn or measured again as before reuses its layout (for tests).
[[nodiscard]] std::size_t textLayoutsMade();

}
