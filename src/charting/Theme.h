#pragma once

#include "charting/LineStyle.h"
#include "charting/TextStyle.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace hestio::chart {

class AxisSet;
class Graph;
class PlotAreaFrame;
class XYAxis;

/// A named bundle of styles applied to a whole graph in one call. Themes are
/// registered once per process by name; look-ups make a new instance.
class Theme {
public:
    using Factory = std::function<std::shared_ptr<Theme>()>;

    virtual ~Theme() = default;

    /// Adds a theme to the process-wide registry; a name registered twice
    /// throws "Theme class already registered: <name>".
    static void registerTheme(const std::string& name, Factory factory);
    /// The registered names, sorted case-insensitively.
    static std::vector<std::string> themeClasses();
    /// A new instance of the theme with exactly this name, or none.
    [[nodiscard]] static std::shared_ptr<Theme> themeNamed(const std::string& name);

    virtual std::string name() const = 0;
    /// "XYGraph" for XY themes; only graph classes may be set.
    const std::string& graphClass() const { return m_graphClass; }
    void setGraphClass(const std::string& graphClass);
    /// A 200 × 200 graph with paddings of 60 and ranges (−1, 1), themed.
    virtual std::shared_ptr<Graph> newGraph();

    /// Background, then plot area frame, then axis set.
    void applyThemeToGraph(Graph& graph);
    virtual void applyThemeToBackground(Graph&) { }
    virtual void applyThemeToPlotArea(PlotAreaFrame&) { }
    virtual void applyThemeToAxisSet(AxisSet&) { }
    /// The fonts of the texts it styles.
    [[nodiscard]] virtual std::vector<platform::Font> fonts() const { return {}; }

protected:
    std::string m_graphClass;
};

/// The base of the XY themes: graphs of class XYGraph, axes styled one by one.
class XYTheme : public Theme {
public:
    XYTheme() { m_graphClass = "XYGraph"; }
    void applyThemeToAxisSet(AxisSet& axisSet) override;
    [[nodiscard]] std::vector<platform::Font> fonts() const override;

protected:
    virtual void applyThemeToAxis(XYAxis& axis, const std::shared_ptr<const LineStyle>& major,
        const std::shared_ptr<const LineStyle>& minor, const std::shared_ptr<const TextStyle>& text,
        const std::shared_ptr<const TextStyle>& minorText);
    struct AxisStyles {
        std::shared_ptr<const LineStyle> major, minor;
        std::shared_ptr<const TextStyle> text, minorText;
    };
    virtual AxisStyles axisStyles() const = 0;
};

/// Names of the built-in themes.
inline constexpr const char* DarkGradientTheme = "Dark Gradients";
inline constexpr const char* PlainBlackTheme = "Plain Black";
inline constexpr const char* PlainWhiteTheme = "Plain White";
inline constexpr const char* StocksTheme = "Stocks";
inline constexpr const char* SlateTheme = "Slate";

}
