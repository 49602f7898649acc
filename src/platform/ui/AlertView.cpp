#include "platform/ui/AlertView.h"

#include "platform/gfx/Context.h"
#include "platform/ui/Animator.h"
#include "platform/ui/Application.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Theme.h"
#include "platform/ui/Window.h"

#include <algorithm>
#include <cmath>

namespace hestio::platform {

namespace {

    constexpr double alertWidth = 284;
    constexpr double buttonHeight = 43;
    constexpr double margin = 11;

    // Two buttons share a row; with larger text they stack when a title
    // would not fit its half (at scale 1 they stay side by side as ever).
    bool sideBySide(const std::vector<std::string>& titles)
    {
        if (titles.size() != 2)
            return false;
        if (textScale() <= 1)
            return true;
        double half = (alertWidth - 2 * margin - 8) / 2;
        Font font = Font::boldSystemFont(17);
        return std::all_of(titles.begin(), titles.end(),
            [&](const std::string& title) { return sizeOfText(title, font).width <= half; });
    }

    /// Covers the window behind an alert, darkening it and swallowing touches.
    class DimmingView final : public View {
    public:
        using View::View;
        std::string className() const override { return "AlertDimmingView"; }

    protected:
        void draw(Context& context, const Rect& rect) override
        {
            ContextStateSaver saver(context);
            context.clipToRect(rect);
            context.fillRect(rect, Color::white(0, 0.5));
        }
    };

    /// A button of an alert: a glassy pill, darker for the cancel button.
    class AlertButton final : public Button {
    public:
        AlertButton(bool cancel)
            : Button(Type::Custom)
            , m_cancel(cancel)
        {
            titleLabel().setFont(Font::boldSystemFont(17));
            titleLabel().setShadowColor(Color::white(0, 0.5));
            titleLabel().setShadowOffset({ 0, -1 });
        }
        std::string className() const override { return "AlertButton"; }

    protected:
        void draw(Context& context, const Rect& rect) override
        {
            Rect body = rect.insetBy(0.5, 0.5);
            Color base = m_cancel ? Color::hex(0x2c3a5c) : Color::hex(0x4a5b85);
            if (isHighlighted())
                base = Color::hex(0x1f6fe0);
            context.beginPath();
            context.addRoundedRect(body, 7);
            context.setFillColor(Color::white(1, 0.35));
            context.fill();
            Rect inner = body.insetBy(1, 1);
            theme::fillRoundedGradient(context, inner, 6, theme::lighter(base, 0.25), base);
            {
                ContextStateSaver saver(context);
                context.clipToRect({ inner.x(), inner.y(), inner.width(), inner.height() / 2 });
                context.beginPath();
                context.addRoundedRect(inner, 6);
                context.setFillColor(Color::white(1, 0.12));
                context.fill();
            }
            drawTitleAndImage(context, rect, Color::whiteColor());
        }

    private:
        bool m_cancel;
    };

}

std::shared_ptr<AlertView> AlertView::create(std::string title, std::string message, AlertViewDelegate* delegate,
    std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles)
{
    return std::make_shared<AlertView>(
        std::move(title), std::move(message), delegate, std::move(cancelButtonTitle), std::move(otherButtonTitles));
}

AlertView::AlertView(std::string title, std::string message, AlertViewDelegate* delegate,
    std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles)
    : View({ 0, 0, alertWidth, 140 })
    , m_titleLabel(Label::create())
    , m_messageLabel(Label::create())
    , m_delegate(delegate)
{
    m_titleLabel->setText(std::move(title));
    m_titleLabel->setFont(Font::boldSystemFont(18));
    m_titleLabel->setTextColor(Color::whiteColor());
    m_titleLabel->setShadowColor(Color::white(0, 0.6));
    m_titleLabel->setTextAlignment(TextAlignment::Center);
    m_titleLabel->setNumberOfLines(0);
    m_titleLabel->setLineBreakMode(LineBreakMode::WordWrap);
    m_titleLabel->setAccessibilityIdentifier("alertTitle");
    m_messageLabel->setText(std::move(message));
    m_messageLabel->setFont(Font::systemFont(16));
    m_messageLabel->setTextColor(Color::whiteColor());
    m_messageLabel->setShadowColor(Color::white(0, 0.6));
    m_messageLabel->setTextAlignment(TextAlignment::Center);
    m_messageLabel->setNumberOfLines(0);
    m_messageLabel->setLineBreakMode(LineBreakMode::WordWrap);
    m_messageLabel->setAccessibilityIdentifier("alertMessage");
    addSubview(m_titleLabel);
    addSubview(m_messageLabel);
    if (cancelButtonTitle) {
        m_cancelIndex = 0;
        m_buttonTitles.push_back(std::move(*cancelButtonTitle));
    }
    for (auto& t : otherButtonTitles)
        m_buttonTitles.push_back(std::move(t));
    rebuildButtons();
}

AlertView::~AlertView() = default;

void AlertView::setTitle(std::string title)
{
    m_titleLabel->setText(std::move(title));
    setNeedsLayout();
}

void AlertView::setMessage(std::string message)
{
    m_messageLabel->setText(std::move(message));
    setNeedsLayout();
}

int AlertView::addButtonWithTitle(std::string title)
{
    m_buttonTitles.push_back(std::move(title));
    rebuildButtons();
    return numberOfButtons() - 1;
}

std::string AlertView::buttonTitleAtIndex(int index) const
{
    if (index < 0 || index >= numberOfButtons())
        return {};
    return m_buttonTitles[static_cast<std::size_t>(index)];
}

int AlertView::firstOtherButtonIndex() const
{
    int first = m_cancelIndex == 0 ? 1 : 0;
    return first < numberOfButtons() ? first : -1;
}

Button* AlertView::buttonAtIndex(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_buttons.size()))
        return nullptr;
    return m_buttons[static_cast<std::size_t>(index)].get();
}

void AlertView::rebuildButtons()
{
    for (auto& b : m_buttons)
        b->removeFromSuperview();
    m_buttons.clear();
    for (int i = 0; i < numberOfButtons(); ++i) {
        auto button = std::make_shared<AlertButton>(i == m_cancelIndex);
        button->setTitle(m_buttonTitles[static_cast<std::size_t>(i)]);
        button->setTag(i);
        button->addTarget(ControlEventTouchUpInside, [this, i](Control&) { clickButtonAtIndex(i); });
        m_buttons.push_back(button);
        addSubview(button);
    }
    setNeedsLayout();
}

Rect AlertView::preferredFrame(const Rect& area) const
{
    double inner = alertWidth - 2 * (margin + 5);
    double h = 16;
    if (!title().empty())
        h += std::ceil(m_titleLabel->sizeThatFits({ inner, 0 }).height) + 6;
    if (!message().empty())
        h += std::ceil(m_messageLabel->sizeThatFits({ inner, 0 }).height) + 6;
    int rows = sideBySide(m_buttonTitles) ? 1 : numberOfButtons();
    h += 10 + rows * (buttonHeight + 8) + 8;
    return { std::floor(area.midX() - alertWidth / 2), std::floor(area.midY() - h / 2), alertWidth, h };
}

void AlertView::layoutSubviews()
{
    Rect b = bounds();
    double inner = b.width() - 2 * (margin + 5);
    double y = 16;
    if (!title().empty()) {
        double h = std::ceil(m_titleLabel->sizeThatFits({ inner, 0 }).height);
        m_titleLabel->setFrame({ margin + 5, y, inner, h });
        y += h + 6;
    }
    if (!message().empty()) {
        double h = std::ceil(m_messageLabel->sizeThatFits({ inner, 0 }).height);
        m_messageLabel->setFrame({ margin + 5, y, inner, h });
    }
    int count = numberOfButtons();
    if (count == 0)
        return;
    double bottom = b.height() - 16;
    if (sideBySide(m_buttonTitles)) {
        double w = (b.width() - 2 * margin - 8) / 2;
        // The cancel button sits on the left, as on the phone.
        for (int i = 0; i < 2; ++i)
            m_buttons[static_cast<std::size_t>(i)]->setFrame(
                { margin + i * (w + 8), bottom - buttonHeight, w, buttonHeight });
        return;
    }
    // Stacked: the other buttons first, the cancel button last.
    std::vector<int> order;
    for (int i = 0; i < count; ++i)
        if (i != m_cancelIndex)
            order.push_back(i);
    if (m_cancelIndex >= 0)
        order.push_back(m_cancelIndex);
    double top = bottom - count * buttonHeight - (count - 1) * 8;
    for (std::size_t k = 0; k < order.size(); ++k)
        m_buttons[static_cast<std::size_t>(order[k])]->setFrame(
            { margin, top + static_cast<double>(k) * (buttonHeight + 8), b.width() - 2 * margin, buttonHeight });
}

void AlertView::show()
{
    if (m_visible)
        return;
    m_visible = true;
    auto& app = Application::shared();
    app.showAlert(self<AlertView>());
    Window* window = app.keyWindow();
    Size screen = window ? window->frame().size : app.screenSize();
    Rect area { 0, 0, screen.width, screen.height };
    if (app.keyboard().isVisible())
        area.size.height -= app.keyboard().frame().height();
    m_placedFrame = preferredFrame(area);
    Animator::performWithoutAnimation([&] { setFrame(m_placedFrame); });
    layoutSubviews();
    if (window) {
        auto dimming = std::make_shared<DimmingView>(Rect { 0, 0, screen.width, screen.height });
        dimming->addSubview(self());
        window->addOverlay(dimming);
        m_dimmingView = dimming;
        AffineTransform small = AffineTransform::scale(0.85, 0.85);
        Animator::performWithoutAnimation([&] {
            setTransform(small);
            dimming->setAlpha(0);
        });
        Animator::animate(0.2, [&] {
            setTransform(AffineTransform::identity());
            dimming->setAlpha(1);
        });
    }
}

void AlertView::keyboardDidChange()
{
    if (!m_visible || !(frame() == m_placedFrame))
        return;
    auto& app = Application::shared();
    Window* window = app.keyWindow();
    Size screen = window ? window->frame().size : app.screenSize();
    Rect area { 0, 0, screen.width, screen.height };
    if (app.keyboard().isVisible())
        area.size.height -= app.keyboard().frame().height();
    Rect placed = preferredFrame(area);
    placed.origin.y = std::max(Application::statusBarHeight, placed.y());
    m_placedFrame = placed;
    Animator::animate(Keyboard::animationDuration, [&] { setFrame(placed); });
}

void AlertView::clickButtonAtIndex(int index)
{
    if (!m_visible)
        return;
    auto keep = self();
    if (m_delegate)
        m_delegate->alertViewClickedButtonAtIndex(*this, index);
    if (onButtonClicked)
        onButtonClicked(index);
    dismissWithClickedButtonIndex(index, true);
}

void AlertView::dismissWithClickedButtonIndex(int index, bool animated)
{
    if (!m_visible)
        return;
    auto keep = self<AlertView>();
    if (m_delegate)
        m_delegate->alertViewWillDismiss(*this, index);
    m_visible = false;
    endEditing(true);
    auto dimming = m_dimmingView.lock();
    m_dimmingView.reset();
    auto& app = Application::shared();
    app.removeAlert(*this);
    auto finish = [keep, dimming, index] {
        keep->removeFromSuperview();
        if (dimming)
            if (auto* window = dimming->window())
                window->removeOverlay(*dimming);
        if (keep->m_delegate)
            keep->m_delegate->alertViewDidDismiss(*keep, index);
    };
    if (animated && dimming && dimming->window())
        Animator::animate(
            0.2, [&] { dimming->setAlpha(0); }, [finish](bool) { finish(); });
    else
        finish();
}

void AlertView::draw(Context& context, const Rect& rect)
{
    Rect body = rect.insetBy(2, 2);
    context.beginPath();
    context.addRoundedRect(body.offsetBy(0, 3), 10);
    context.setFillColor(Color::white(0, 0.35));
    context.fill();
    context.beginPath();
    context.addRoundedRect(body, 10);
    context.setFillColor(Color::white(1, 0.85));
    context.fill();
    Rect inner = body.insetBy(2, 2);
    theme::fillRoundedGradient(context, inner, 8, Color::rgb(0.2, 0.27, 0.45, 0.94), Color::rgb(0.05, 0.1, 0.26, 0.94));
    ContextStateSaver saver(context);
    context.beginPath();
    context.addEllipse({ inner.x() - inner.width() * 0.3, inner.y() - 60, inner.width() * 1.6, 100 });
    context.clip();
    context.beginPath();
    context.addRoundedRect(inner, 8);
    context.setFillColor(Color::white(1, 0.13));
    context.fill();
}

}
