#include "widgets/QNInfoPanel.h"

#include "platform/foundation/RunLoop.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

#include <algorithm>

namespace hestio {

using namespace platform;

namespace {
    // Where the layout puts things before a show adjusts them.
    constexpr Rect iconFrame { 15, 5, 35, 35 };
    constexpr Rect titleFrameWithSubtitle { 57, 5, 240, 21 };
    constexpr Rect titleFrameAlone { 57, 12, 240, 21 };
    constexpr Rect detailFrame { 57, 26, 240, 21 };
}

QNInfoPanel::QNInfoPanel(Rect frame)
    : View(frame)
{
    setup();
}

QNInfoPanel::~QNInfoPanel()
{
    if (onFinished)
        onFinished();
}

void QNInfoPanel::setup()
{
    onTouched = [](QNInfoPanel& panel) { panel.hidePanel(); };
    setAutoresizingMask(AutoresizingFlexibleWidth);
    setAccessibilityIdentifier("QNInfoPanel");

    m_backgroundGradient = ImageView::create(Rect { 0, 0, frame().width(), frame().height() });
    m_backgroundGradient->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    m_backgroundGradient->setAccessibilityIdentifier("backgroundGradient");
    addSubview(m_backgroundGradient);

    m_thumbImage = ImageView::create(iconFrame);
    m_thumbImage->setAccessibilityIdentifier("thumbImage");
    addSubview(m_thumbImage);

    m_titleLabel = Label::create(titleFrameWithSubtitle);
    m_titleLabel->setAccessibilityIdentifier("titleLabel");
    m_titleLabel->setTextColor(Color::whiteColor());
    m_titleLabel->setFont(Font::boldSystemFont(15));
    m_titleLabel->setBackgroundColor(Color::clear());
    addSubview(m_titleLabel);

    m_detailLabel = Label::create(detailFrame);
    m_detailLabel->setAccessibilityIdentifier("detailLabel");
    m_detailLabel->setNumberOfLines(0);
    m_detailLabel->setLineBreakMode(LineBreakMode::WordWrap);
    m_detailLabel->setFont(Font::systemFont(13));
    m_detailLabel->setBackgroundColor(Color::clear());
    addSubview(m_detailLabel);
}

std::shared_ptr<QNInfoPanel> QNInfoPanel::infoPanel()
{
    auto panel = std::make_shared<QNInfoPanel>(Rect { 0, 0, 320, 50 });
    panel->layer().addTransition(
        { Transition::Type::Push, Transition::Subtype::FromBottom, transitionSeconds, AnimationCurve::EaseInOut });
    return panel;
}

void QNInfoPanel::setType(int type)
{
    auto background = [](const char* name) {
        auto image = Image::named(name);
        return image ? image->stretchable(1, 5) : nullptr;
    };
    switch (type) {
    case Information:
        m_backgroundGradient->setImage(background("Blue"));
        m_thumbImage->setImageNamed("Tick");
        m_titleLabel->setFont(Font::boldSystemFont(15));
        m_detailLabel->setTextColor(Color::rgb(210 / 255.0, 210 / 255.0, 235 / 255.0));
        break;
    case Error:
        m_backgroundGradient->setImage(background("Red"));
        m_thumbImage->setImageNamed("Warning");
        m_titleLabel->setFont(Font::boldSystemFont(14));
        m_detailLabel->setFont(Font { "Helvetica Neue", 14 });
        m_detailLabel->setTextColor(Color::rgb(1.0, 0.651, 0.651));
        break;
    default:
        break; // any other type keeps the layout's look
    }
}

std::shared_ptr<QNInfoPanel> QNInfoPanel::showPanelInView(
    View& view, int type, const std::string& title, const std::optional<std::string>& subtitle, double hideAfterSeconds)
{
    auto panel = infoPanel();
    panel->setType(type);
    panel->m_titleLabel->setText(title);
    double height;
    if (subtitle) {
        panel->m_titleLabel->setFrame(titleFrameWithSubtitle);
        panel->m_detailLabel->setText(*subtitle);
        panel->m_detailLabel->sizeToFit();
        height = std::max(panel->m_thumbImage->frame().maxY(), panel->m_detailLabel->frame().maxY()) + 10;
    } else {
        panel->m_detailLabel->setHidden(true);
        panel->m_thumbImage->setFrame(iconFrame);
        panel->m_titleLabel->setFrame(titleFrameAlone);
        height = 50;
    }
    panel->setFrame({ 0, 0, view.bounds().width(), height });
    view.addSubview(panel);
    if (hideAfterSeconds > 0) {
        std::weak_ptr<QNInfoPanel> weak = panel;
        RunLoop::current().postDelayed(
            hideAfterSeconds,
            [weak] {
                if (auto shown = weak.lock())
                    shown->hidePanel();
            },
            panel.get());
    }
    return panel;
}

std::shared_ptr<QNInfoPanel> QNInfoPanel::showPanelInWindow(Window& window, int type, const std::string& title,
    const std::optional<std::string>& subtitle, double hideAfterSeconds)
{
    auto panel = showPanelInView(window, type, title, subtitle, hideAfterSeconds);
    Application& application = Application::shared();
    if (!application.isStatusBarHidden()) {
        Rect frame = panel->frame();
        frame.origin.y += application.statusBarFrame().height();
        panel->setFrame(frame);
    }
    return panel;
}

void QNInfoPanel::hidePanel()
{
    RunLoop::current().cancelDelayed(this);
    layer().addTransition(
        { Transition::Type::Push, Transition::Subtype::FromTop, transitionSeconds, AnimationCurve::EaseInOut });
    Rect frame = this->frame();
    setFrame({ 0, -frame.height(), frame.width(), frame.height() });
    std::weak_ptr<View> weak = std::static_pointer_cast<View>(shared_from_this());
    RunLoop::current().postDelayed(transitionSeconds, [weak] {
        if (auto view = weak.lock())
            view->removeFromSuperview();
    });
}

void QNInfoPanel::touchesBegan(const TouchSet&, const Event&)
{
    if (onTouched)
        onTouched(*this);
}

}
