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

void LineStyle::describe(DrawingSignature& into) const
{
    into.numbers.insert(into.numbers.end(),
        { m_lineWidth, m_lineColor.red(), m_lineColor.green(), m_lineColor.blue(), m_lineColor.alpha(),
            static_cast<double>(m_lineCap), static_cast<double>(m_lineJoin), m_miterLimit, m_patternPhase,
            static_cast<double>(m_dashPattern.size()) });
    into.numbers.insert(into.numbers.end(), m_dashPattern.begin(), m_dashPattern.end());
}

}
