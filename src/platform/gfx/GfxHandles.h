#pragma once

// Owning handles for the C objects gfx uses. Internal to gfx/: nothing outside
// this folder includes cairo, pango or librsvg.

#include <cairo.h>
#include <glib-object.h>
#include <pango/pango.h>

#include <memory>

namespace hestio::platform::gfx {

struct CairoDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
    void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
    void operator()(cairo_path_t* p) const { cairo_path_destroy(p); }
    void operator()(cairo_font_options_t* o) const { cairo_font_options_destroy(o); }
};

struct GObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};

struct PangoDeleter {
    void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
    void operator()(PangoAttrList* l) const { pango_attr_list_unref(l); }
    void operator()(PangoLayoutIter* i) const { pango_layout_iter_free(i); }
};

struct GFreeDeleter {
    void operator()(gpointer p) const { g_free(p); }
};

struct GErrorDeleter {
    void operator()(GError* e) const { g_error_free(e); }
};

using CairoPtr = std::unique_ptr<cairo_t, CairoDeleter>;
using SurfacePtr = std::unique_ptr<cairo_surface_t, CairoDeleter>;
using PatternPtr = std::unique_ptr<cairo_pattern_t, CairoDeleter>;
using CairoPathPtr = std::unique_ptr<cairo_path_t, CairoDeleter>;
using FontOptionsPtr = std::unique_ptr<cairo_font_options_t, CairoDeleter>;
template<typename T> using GObjectPtr = std::unique_ptr<T, GObjectDeleter>;
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, PangoDeleter>;
using LayoutIterPtr = std::unique_ptr<PangoLayoutIter, PangoDeleter>;
using GStringPtr = std::unique_ptr<gchar, GFreeDeleter>;
using ErrorPtr = std::unique_ptr<GError, GErrorDeleter>;

/// A second owner of a reference-counted surface.
[[nodiscard]] inline SurfacePtr share(cairo_surface_t* s)
{
    return SurfacePtr(s ? cairo_surface_reference(s) : nullptr);
}

}
