// font-resolution: for each family, weight, slant and size the app's text asks
// for, and for every character that some installed font covers, prints the
// face pango draws it with and the settings the face is drawn with, one line
// per run of characters that resolve alike.
//
//   font-resolution CONFIG [LANGUAGE]            the configuration alone
//   font-resolution --system-and CONFIG [LANG]   the system's, CONFIG on top
//
// Two runs that print the same lines draw every character with the same face
// and settings. assets/fonts/fonts.conf was checked against the system's
// configuration with the former aliases on top:
//
//   git show REV:assets/fonts/fonts.conf > /tmp/aliases.conf
//   font-resolution --system-and /tmp/aliases.conf > before.txt
//   font-resolution assets/fonts/fonts.conf > after.txt && diff before.txt after.txt

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-font.h>
#include <pango/pangofc-fontmap.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

FcConfig* loadConfig(bool withSystem, const char* file)
{
    // fontconfig reads a relative name as one of its own configuration files.
    std::string path = std::filesystem::absolute(file).string();
    FcConfig* config = withSystem ? FcInitLoadConfig() : FcConfigCreate();
    if (!config || !FcConfigParseAndLoad(config, reinterpret_cast<const FcChar8*>(path.c_str()), FcTrue)
        || !FcConfigBuildFonts(config)) {
        std::fprintf(stderr, "font-resolution: cannot load %s\n", file);
        std::exit(1);
    }
    return config;
}

// Every character that some font of the configuration covers.
FcCharSet* coveredCharacters(FcConfig* config)
{
    FcPattern* any = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_CHARSET, nullptr);
    FcFontSet* fonts = FcFontList(config, any, objects);
    FcCharSet* all = FcCharSetCreate();
    for (int i = 0; fonts && i < fonts->nfont; ++i) {
        FcCharSet* charset = nullptr;
        if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &charset) == FcResultMatch)
            FcCharSetMerge(all, charset, nullptr);
    }
    if (fonts)
        FcFontSetDestroy(fonts);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(any);
    return all;
}

}

int main(int argc, char** argv)
{
    int arg = 1;
    bool withSystem = arg < argc && std::strcmp(argv[arg], "--system-and") == 0;
    if (withSystem)
        ++arg;
    if (arg >= argc) {
        std::fprintf(stderr, "usage: font-resolution [--system-and] CONFIG [LANGUAGE]\n");
        return 2;
    }
    FcConfig* config = loadConfig(withSystem, argv[arg]);
    const char* language = arg + 1 < argc ? argv[arg + 1] : nullptr;
    FcConfigSetCurrent(config);

    PangoFontMap* map = pango_cairo_font_map_new();
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map), config);
    PangoContext* context = pango_font_map_create_context(map);
    // The options of the app's text (platform/gfx/Text.cpp).
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(context, options);
    pango_context_set_round_glyph_positions(context, FALSE);
    PangoLanguage* lang = language ? pango_language_from_string(language) : pango_language_get_default();

    FcCharSet* covered = coveredCharacters(config);
    const char* families[] = { "System", "Helvetica", "Helvetica Neue", "HelveticaNeue", "Georgia" };
    PangoWeight weights[] = { PANGO_WEIGHT_NORMAL, PANGO_WEIGHT_BOLD };
    PangoStyle styles[] = { PANGO_STYLE_NORMAL, PANGO_STYLE_ITALIC };
    double sizes[] = { 6, 12, 34 };
    const auto* format = reinterpret_cast<const FcChar8*>(
        "%{file}|%{index}|%{embolden}|%{matrix}|%{hinting}|%{hintstyle}|%{antialias}|%{autohint}"
        "|%{embeddedbitmap}|%{rgba}|%{lcdfilter}|%{pixelsize}|%{size}|%{weight}|%{slant}|%{fontvariations}"
        "|%{variable}|%{fontfeatures}|%{color}|%{pixelsizefixupfactor}");
    for (const char* family : families)
        for (PangoWeight weight : weights)
            for (PangoStyle style : styles)
                for (double size : sizes) {
                    PangoFontDescription* description = pango_font_description_new();
                    pango_font_description_set_family(description, family);
                    pango_font_description_set_weight(description, weight);
                    pango_font_description_set_style(description, style);
                    pango_font_description_set_absolute_size(description, size * PANGO_SCALE);
                    PangoFontset* fontset = pango_font_map_load_fontset(map, context, description, lang);
                    std::string last;
                    FcChar32 first = 0;
                    auto print = [&](const char* end) {
                        std::printf("%s %g %d %d U+%04X-%s %s\n", family, size, int(weight), int(style),
                            unsigned(first), end, last.c_str());
                    };
                    FcChar32 page[FC_CHARSET_MAP_SIZE];
                    FcChar32 next = 0;
                    for (FcChar32 base = FcCharSetFirstPage(covered, page, &next); base != FC_CHARSET_DONE;
                         base = FcCharSetNextPage(covered, page, &next))
                        for (unsigned word = 0; word < FC_CHARSET_MAP_SIZE; ++word)
                            for (unsigned bit = 0; bit < 32; ++bit) {
                                if (!(page[word] & (1u << bit)))
                                    continue;
                                FcChar32 c = base + word * 32 + bit;
                                PangoFont* font = pango_fontset_get_font(fontset, c);
                                FcChar8* text = FcPatternFormat(pango_fc_font_get_pattern(PANGO_FC_FONT(font)), format);
                                std::string key = text ? reinterpret_cast<char*>(text) : "";
                                std::free(text);
                                g_object_unref(font);
                                if (key != last) {
                                    if (!last.empty()) {
                                        char end[16];
                                        std::snprintf(end, sizeof end, "%04X", unsigned(c - 1));
                                        print(end);
                                    }
                                    last = key;
                                    first = c;
                                }
                            }
                    print("");
                    g_object_unref(fontset);
                    pango_font_description_free(description);
                }
    return 0;
}
