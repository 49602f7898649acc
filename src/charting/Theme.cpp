#include "charting/Theme.h"

#include "charting/AxisSet.h"
#include "charting/Exception.h"
#include "charting/Graph.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace hestio::chart {

void registerBuiltInThemes(); // Themes.cpp

namespace {

    struct Registry {
        std::mutex lock;
        std::vector<std::pair<std::string, Theme::Factory>> themes;
    };

    Registry& registry()
    {
        static Registry r;
        return r;
    }

    /// The built-in themes register on first use of the registry, so that a
    /// static library cannot drop them.
    Registry& populatedRegistry()
    {
        static std::once_flag once;
        std::call_once(once, [] { registerBuiltInThemes(); });
        return registry();
    }

    std::string lowercase(std::string s)
    {
        std::transform(
            s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    }

}

void Theme::registerTheme(const std::string& name, Factory factory)
{
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    for (auto& [existing, f] : r.themes)
        if (existing == name)
            throw Exception("Theme class already registered: " + name);
    r.themes.emplace_back(name, std::move(factory));
}

std::vector<std::string> Theme::themeClasses()
{
    std::vector<std::string> names;
    for (auto& [name, factory] : populatedRegistry().themes)
        names.push_back(name);
    std::stable_sort(names.begin(), names.end(),
        [](const std::string& a, const std::string& b) { return lowercase(a) < lowercase(b); });
    return names;
}

std::shared_ptr<Theme> Theme::themeNamed(const std::string& name)
{
    for (auto& [registered, factory] : populatedRegistry().themes)
        if (registered == name)
            return factory();
    return nullptr;
}

void Theme::setGraphClass(const std::string& graphClass)
{
    if (graphClass == m_graphClass)
        return;
    if (graphClass != "XYGraph")
        throw Exception("Invalid graph class for theme; must be a subclass of CHGraph");
    m_graphClass = graphClass;
}

std::shared_ptr<Graph> Theme::newGraph()
{
    if (m_graphClass.empty())
        return nullptr;
    auto graph = XYGraph::create({ 0, 0, 200, 200 });
    graph->setPaddings(60, 60, 60, 60);
    auto space = graph->defaultXYPlotSpace();
    space->setXRange(PlotRange(Decimal(-1), Decimal(1)));
    space->setYRange(PlotRange(Decimal(-1), Decimal(1)));
    applyThemeToGraph(*graph);
    return graph;
}

void Theme::applyThemeToGraph(Graph& graph)
{
    applyThemeToBackground(graph);
    applyThemeToPlotArea(*graph.plotAreaFrame());
    if (graph.axisSet())
        applyThemeToAxisSet(*graph.axisSet());
}

void XYTheme::applyThemeToAxisSet(AxisSet& axisSet)
{
    AxisStyles styles = axisStyles();
    for (auto& axis : axisSet.axes())
        applyThemeToAxis(*axis, styles.major, styles.minor, styles.text, styles.minorText);
}

std::vector<platform::Font> XYTheme::fonts() const
{
    AxisStyles styles = axisStyles();
    std::vector<platform::Font> fonts;
    for (const auto& style : { styles.text, styles.minorText }) {
        if (style && std::find(fonts.begin(), fonts.end(), style->font()) == fonts.end())
            fonts.push_back(style->font());
    }
    return fonts;
}

void XYTheme::applyThemeToAxis(XYAxis& axis, const std::shared_ptr<const LineStyle>& major,
    const std::shared_ptr<const LineStyle>& minor, const std::shared_ptr<const TextStyle>& text,
    const std::shared_ptr<const TextStyle>& minorText)
{
    axis.setLabelingPolicy(LabelingPolicy::FixedInterval);
    axis.setMajorIntervalLength(Decimal::fromParts(false, 5, -1));
    axis.setOrthogonalCoordinateDecimal(Decimal(0));
    axis.setTickDirection(Sign::None);
    axis.setMinorTicksPerInterval(4);
    axis.majorTickLineStyle = major;
    axis.minorTickLineStyle = minor;
    axis.axisLineStyle = major;
    axis.majorTickLength = 7.0;
    axis.minorTickLength = 5.0;
    axis.setLabelTextStyle(text);
    axis.setMinorTickLabelTextStyle(minorText);
    axis.setTitleTextStyle(text);
}

}
