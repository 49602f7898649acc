#pragma once

#include "charting/Graph.h"
#include "platform/foundation/NotificationCenter.h"

#include <string>
#include <vector>

namespace hestio::chart::test {

inline Decimal dec(const char* text)
{
    return Decimal::fromString(text).value_or(Decimal::notANumber());
}

inline PlotRange range(const char* location, const char* length)
{
    return PlotRange(dec(location), dec(length));
}

/// An XY graph whose plot area is exactly `width` × `height` points at the
/// graph's origin, laid out.
inline std::shared_ptr<XYGraph> graphWithPlotArea(double width, double height)
{
    auto graph = XYGraph::create({ 0, 0, width, height });
    graph->setPaddings(0, 0, 0, 0);
    graph->layoutIfNeeded();
    return graph;
}

/// Records the names of the notifications posted while it lives.
class NotificationRecorder {
public:
    explicit NotificationRecorder(std::vector<std::string> names)
    {
        for (auto& name : names)
            platform::NotificationCenter::defaultCenter().addObserver(
                this, name, [this](const platform::Notification& n) { posted.push_back(n.name); });
    }
    ~NotificationRecorder() { platform::NotificationCenter::defaultCenter().removeObserver(this); }
    std::vector<std::string> posted;
};

}
