#include "charting/Layer.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

namespace hestio::chart {

Layer::~Layer()
{
    for (auto& child : m_sublayers)
        child->m_superlayer = nullptr;
}

void Layer::setFrame(const platform::Rect& frame)
{
    if (frame == m_frame)
        return;
    bool resized = frame.size != m_frame.size;
    m_frame = frame;
    if (resized)
        m_needsLayout = true;
}

void Layer::setContentsScale(double scale)
{
    m_contentsScale = scale;
    for (auto& child : m_sublayers)
        child->setContentsScale(scale);
}

void Layer::addSublayer(std::shared_ptr<Layer> layer)
{
    insertSublayer(std::move(layer), m_sublayers.size());
}

void Layer::insertSublayer(std::shared_ptr<Layer> layer, std::size_t index)
{
    if (!layer)
        return;
    layer->removeFromSuperlayer();
    layer->m_superlayer = this;
    layer->setContentsScale(m_contentsScale);
    m_sublayers.insert(m_sublayers.begin() + std::min(index, m_sublayers.size()), std::move(layer));
}

void Layer::removeFromSuperlayer()
{
    if (!m_superlayer)
        return;
    auto& siblings = m_superlayer->m_sublayers;
    m_superlayer = nullptr;
    auto it = std::find_if(siblings.begin(), siblings.end(), [this](auto& l) { return l.get() == this; });
    if (it != siblings.end())
        siblings.erase(it); // may destroy this layer: nothing after this line
}

platform::Point Layer::originInRoot() const
{
    platform::Point origin;
    for (const Layer* l = this; l; l = l->m_superlayer) {
        origin.x += l->m_frame.x();
        origin.y += l->m_frame.y();
    }
    return origin;
}

platform::Point Layer::convertPointToLayer(platform::Point point, const Layer* other) const
{
    platform::Point from = originInRoot();
    platform::Point to = other ? other->originInRoot() : platform::Point {};
    return { point.x + from.x - to.x, point.y + from.y - to.y };
}

platform::Point Layer::convertPointFromLayer(platform::Point point, const Layer* other) const
{
    return other ? other->convertPointToLayer(point, this) : convertPointToLayer(point, nullptr);
}

void Layer::layoutIfNeeded()
{
    if (m_needsLayout) {
        m_needsLayout = false;
        layoutSublayers();
    }
    for (auto& child : std::vector<std::shared_ptr<Layer>>(m_sublayers))
        child->layoutIfNeeded();
}

void Layer::renderInContext(platform::Context& context)
{
    if (m_hidden || m_paintedFromKeptPixels)
        return;
    platform::ContextStateSaver saver(context);
    context.translate(m_frame.x(), m_frame.y());
    if (m_masksToBounds)
        context.clipToRect(bounds());
    renderAsVectorInContext(context);
    for (auto& child : std::vector<std::shared_ptr<Layer>>(m_sublayers))
        child->renderInContext(context);
}

bool Layer::describeOwnDrawing(platform::Context&, DrawingSignature&)
{
    return typeid(*this) == typeid(Layer);
}

bool Layer::describeDrawing(platform::Context& context, DrawingSignature& into)
{
    into.add(m_frame);
    into.add(m_hidden ? 1 : 0);
    if (m_hidden)
        return true;
    into.add(m_masksToBounds ? 1 : 0);
    into.add(static_cast<double>(m_sublayers.size()));
    // In the layer's own coordinates, as it draws.
    platform::ContextStateSaver saver(context);
    context.translate(m_frame.x(), m_frame.y());
    if (!describeOwnDrawing(context, into))
        return false;
    for (auto& child : m_sublayers)
        if (!child->describeDrawing(context, into))
            return false;
    return true;
}

platform::Point alignPointToPixelCenter(platform::Context& context, platform::Point p)
{
    platform::AffineTransform t = context.currentTransform();
    platform::Point device = t.apply(p);
    device = { std::round(device.x) + 0.5, std::round(device.y) + 0.5 };
    return t.inverted().apply(device);
}

platform::Point alignPointToPixelCorner(platform::Context& context, platform::Point p)
{
    platform::AffineTransform t = context.currentTransform();
    platform::Point device = t.apply(p);
    device = { std::round(device.x), std::round(device.y) };
    return t.inverted().apply(device);
}

}
