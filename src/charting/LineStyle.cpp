#include "charting/LineStyle.h"

namespace hestio::chart {

void LineStyle::setLineStyleInContext(platform::Context& context) const
{
    context.setLineCap(m_lineCap);
    context.setLineJoin(m_lineJoin);
    context.setMiterLimit(m_miterLimit);
    context.setLineWidth(m_lineWidth);
    context.setLineDash(m_dashPattern, m_patternPhase);
    context.setStrokeColor(m_lineColor.toPlatform());
}

}
