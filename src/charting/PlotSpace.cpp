#include "charting/PlotSpace.h"

namespace hestio::chart {

bool PlotSpace::pointingDeviceDownEvent(const PointerEvent& event, platform::Point point)
{
    auto d = delegate();
    return d && d->shouldHandlePointingDeviceDownEvent(*this, event, point) == false;
}

bool PlotSpace::pointingDeviceDraggedEvent(const PointerEvent& event, platform::Point point)
{
    auto d = delegate();
    return d && d->shouldHandlePointingDeviceDraggedEvent(*this, event, point) == false;
}

bool PlotSpace::pointingDeviceUpEvent(const PointerEvent& event, platform::Point point)
{
    auto d = delegate();
    return d && d->shouldHandlePointingDeviceUpEvent(*this, event, point) == false;
}

bool PlotSpace::pointingDeviceCancelledEvent(const PointerEvent& event)
{
    auto d = delegate();
    return d && d->shouldHandlePointingDeviceCancelledEvent(*this, event) == false;
}

}
