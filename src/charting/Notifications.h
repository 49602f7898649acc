#pragma once

namespace hestio::chart {

/// Posted with the graph as sender whenever something it shows changed.
inline constexpr const char* GraphNeedsRedrawNotification = "CHGraphNeedsRedrawNotification";
/// Posted with the plot space as sender after one of its ranges changed.
inline constexpr const char* PlotSpaceCoordinateMappingDidChangeNotification
    = "CHPlotSpaceCoordinateMappingDidChangeNotification";

}
