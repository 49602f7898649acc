#include "charting/PlotSymbol.h"

namespace hestio::chart {

std::shared_ptr<PlotSymbol> PlotSymbol::ellipsePlotSymbol()
{
    auto s = std::make_shared<PlotSymbol>();
    s->m_type = Type::Ellipse;
    return s;
}

void PlotSymbol::setSymbolType(Type type)
{
    if (type == m_type)
        return;
    m_type = type;
    m_cachedPath.reset();
}

void PlotSymbol::setSize(platform::Size size)
{
    if (size == m_size)
        return;
    m_size = size;
    m_cachedPath.reset();
}

const platform::Path& PlotSymbol::symbolPath() const
{
    if (!m_cachedPath) {
        m_cachedPath.emplace();
        platform::Rect r(-m_size.width / 2, -m_size.height / 2, m_size.width, m_size.height);
        if (m_type == Type::Ellipse)
            m_cachedPath->addEllipse(r);
        else if (m_type == Type::Rectangle)
            m_cachedPath->addRect(r);
    }
    return *m_cachedPath;
}

void PlotSymbol::renderAsVectorInContext(platform::Context& context, platform::Point center, double scale) const
{
    if (m_type == Type::None || !hasArea() || (!m_fill && !m_lineStyle))
        return;
    platform::ContextStateSaver saver(context);
    context.translate(center.x, center.y);
    context.scaleBy(scale, scale);
    const platform::Path& path = symbolPath();
    if (m_fill) {
        platform::ContextStateSaver clipSaver(context);
        context.beginPath();
        context.addPath(path);
        context.clip(m_usesEvenOddClipRule ? platform::FillRule::EvenOdd : platform::FillRule::NonZero);
        m_fill->fillRect(platform::Rect(-m_size.width / 2, -m_size.height / 2, m_size.width, m_size.height), context);
    }
    if (m_lineStyle) {
        m_lineStyle->setLineStyleInContext(context);
        context.beginPath();
        context.addPath(path);
        context.stroke();
    }
}

}
