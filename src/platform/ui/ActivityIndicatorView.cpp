#include "platform/ui/ActivityIndicatorView.h"

#include "platform/gfx/Context.h"
#include "platform/ui/Animator.h"
#include "platform/ui/Application.h"

#include <cmath>
#include <numbers>

namespace hestio::platform {

std::shared_ptr<ActivityIndicatorView> ActivityIndicatorView::create(Style style)
{
    return std::make_shared<ActivityIndicatorView>(style);
}

ActivityIndicatorView::ActivityIndicatorView(Style style)
    : View({ 0, 0, style == Style::WhiteLarge ? 37.0 : 20.0, style == Style::WhiteLarge ? 37.0 : 20.0 })
    , m_style(style)
{
    setUserInteractionEnabled(false);
    setHidden(true);
}

ActivityIndicatorView::~ActivityIndicatorView()
{
    if (auto* app = Application::currentIfAny())
        app->animator().setContinuouslyAnimating(*this, false);
}

void ActivityIndicatorView::setStyle(Style style)
{
    m_style = style;
    setNeedsDisplay();
}

void ActivityIndicatorView::setHidesWhenStopped(bool hides)
{
    m_hidesWhenStopped = hides;
    if (!m_animating)
        setHidden(hides);
}

void ActivityIndicatorView::startAnimating()
{
    if (m_animating)
        return;
    m_animating = true;
    setHidden(false);
    Animator::current().setContinuouslyAnimating(*this, window() != nullptr);
    setNeedsDisplay();
}

void ActivityIndicatorView::stopAnimating()
{
    if (!m_animating)
        return;
    m_animating = false;
    Animator::current().setContinuouslyAnimating(*this, false);
    if (m_hidesWhenStopped)
        setHidden(true);
    setNeedsDisplay();
}

void ActivityIndicatorView::didMoveToWindow()
{
    Animator::current().setContinuouslyAnimating(*this, m_animating && window() != nullptr);
}

void ActivityIndicatorView::draw(Context& context, const Rect& rect)
{
    Color color = m_style == Style::Gray ? Color::white(0.35) : Color::whiteColor();
    double radius = std::min(rect.width(), rect.height()) / 2;
    Point c = rect.center();
    int step = m_animating ? static_cast<int>(std::floor(Animator::current().now() * 12)) % 12 : 0;
    for (int i = 0; i < 12; ++i) {
        double angle = (i - 3) * std::numbers::pi / 6;
        int age = (step - i + 12) % 12;
        double alpha = 1.0 - age / 12.0 * 0.85;
        ContextStateSaver saver(context);
        context.beginPath();
        context.moveTo({ c.x + std::cos(angle) * radius * 0.45, c.y + std::sin(angle) * radius * 0.45 });
        context.lineTo({ c.x + std::cos(angle) * radius * 0.92, c.y + std::sin(angle) * radius * 0.92 });
        context.setStrokeColor(color.withAlpha(alpha));
        context.setLineWidth(radius * 0.2);
        context.setLineCap(LineCap::Round);
        context.stroke();
    }
}

}
