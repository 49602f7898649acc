#include "platform/ui/Button.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/LargerText.h"
#include "platform/ui/Theme.h"

#include <cmath>

namespace hestio::platform {

std::shared_ptr<Button> Button::create(Type type, Rect frame)
{
    return std::make_shared<Button>(type, frame);
}

Button::Button(Type type, Rect frame)
    : Control(frame)
    , m_type(type)
    , m_titleLabel(Label::create())
{
    if (frame.isEmpty() && type != Type::Custom && type != Type::RoundedRect)
        storeFrame({ frame.origin, { 29, 29 } });
    m_titleLabel->setFont(Font::boldSystemFont(type == Type::RoundedRect ? 15 : 17));
    m_titleLabel->setTextAlignment(TextAlignment::Center);
    m_titleColors[ControlState::Normal] = type == Type::RoundedRect ? theme::buttonText : Color::whiteColor();
    if (type == Type::RoundedRect)
        m_titleColors[ControlState::Highlighted] = Color::whiteColor();
}

template<class T> std::optional<T> Button::lookup(const std::map<ControlState, T>& map, ControlState state)
{
    if (auto it = map.find(state); it != map.end())
        return it->second;
    if (auto it = map.find(ControlState::Normal); it != map.end())
        return it->second;
    return std::nullopt;
}

std::string Button::title(ControlState state) const
{
    return lookup(m_titles, state).value_or(std::string {});
}

void Button::setTitle(std::string title, ControlState state)
{
    m_titles[state] = std::move(title);
    setNeedsDisplay();
}

Color Button::titleColor(ControlState state) const
{
    if (state == ControlState::Disabled && !m_titleColors.count(state))
        return lookup(m_titleColors, ControlState::Normal).value_or(Color::black()).withAlpha(0.45);
    return lookup(m_titleColors, state).value_or(Color::black());
}

void Button::setTitleColor(Color color, ControlState state)
{
    m_titleColors[state] = color;
    setNeedsDisplay();
}

std::shared_ptr<const Image> Button::image(ControlState state) const
{
    return lookup(m_images, state).value_or(nullptr);
}

void Button::setImage(std::shared_ptr<const Image> image, ControlState state)
{
    m_images[state] = std::move(image);
    setNeedsDisplay();
}

std::shared_ptr<const Image> Button::backgroundImage(ControlState state) const
{
    return lookup(m_backgroundImages, state).value_or(nullptr);
}

void Button::setBackgroundImage(std::shared_ptr<const Image> image, ControlState state)
{
    m_backgroundImages[state] = std::move(image);
    setNeedsDisplay();
}

void Button::setTintColor(std::optional<Color> tint)
{
    m_tint = tint;
    setNeedsDisplay();
}

void Button::setContentEdgeInsets(EdgeInsets insets)
{
    m_contentInsets = insets;
    setNeedsDisplay();
}

Size Button::sizeThatFits(Size) const
{
    Size text = sizeOfText(currentTitle(), m_titleLabel->font());
    double w = text.width + 24 + m_contentInsets.left + m_contentInsets.right;
    double h = std::max(text.height + 14, 37.0);
    if (auto img = image(state()))
        w += img->size().width + 4;
    return { std::ceil(w), std::ceil(h) };
}

void Button::draw(Context& context, const Rect& rect)
{
    ControlState s = state();
    Rect r = rect;
    switch (m_type) {
    case Type::RoundedRect: {
        Rect body = r.insetBy(0.5, 0.5);
        context.beginPath();
        context.addRoundedRect(body, 9);
        context.setFillColor(Color::whiteColor());
        context.setStrokeColor(Color::hex(0xa3a6ab));
        context.setLineWidth(1);
        context.fillAndStroke();
        if (s == ControlState::Highlighted || isSelected())
            theme::fillRoundedGradient(context, body, 9, theme::selectionTop, theme::selectionBottom);
        break;
    }
    case Type::DetailDisclosure:
    case Type::ContactAdd:
    case Type::InfoLight:
    case Type::InfoDark: {
        double d = std::min(r.width(), r.height()) - 3;
        Rect circle { r.midX() - d / 2, r.midY() - d / 2, d, d };
        context.beginPath();
        context.addEllipse(circle.insetBy(-1.5, -1.5));
        context.setFillColor(m_type == Type::InfoLight ? Color::white(1, 0.9) : Color::whiteColor());
        context.fill();
        Color top = Color::hex(0x5aa1f8), bottom = Color::hex(0x1c5ed2);
        if (m_type == Type::InfoDark)
            top = Color::white(0.45), bottom = Color::white(0.15);
        if (s == ControlState::Highlighted)
            top = theme::darker(top, 0.25), bottom = theme::darker(bottom, 0.25);
        context.beginPath();
        context.addEllipse(circle);
        context.fillPathWithLinearGradient(Gradient::between(top, bottom), { 0, circle.minY() }, { 0, circle.maxY() });
        Point c = circle.center();
        if (m_type == Type::DetailDisclosure) {
            theme::drawChevron(context, { c.x + 1, c.y }, Color::whiteColor(), d * 0.42, 2.6);
        } else if (m_type == Type::ContactAdd) {
            double arm = d * 0.27;
            context.fillRect({ c.x - arm, c.y - 1.5, arm * 2, 3 }, Color::whiteColor());
            context.fillRect({ c.x - 1.5, c.y - arm, 3, arm * 2 }, Color::whiteColor());
        } else {
            Font f { "Georgia", d * 0.62, FontWeight::Bold, FontSlant::Italic };
            Size ts = sizeOfText("i", f);
            context.drawText("i", { c.x - ts.width / 2, c.y - ts.height / 2 }, f, Color::whiteColor());
        }
        return;
    }
    case Type::Custom:
        if (auto bg = backgroundImage(s))
            context.drawImage(*bg, r, s == ControlState::Disabled ? 0.5 : 1.0);
        else if (m_tint)
            theme::fillGloss(context, r.insetBy(0.5, 0.5), *m_tint, 5);
        if (s == ControlState::Highlighted && !backgroundImage(ControlState::Highlighted)
            && !image(ControlState::Highlighted)) {
            context.beginPath();
            context.addRoundedRect(r, 5);
            context.setFillColor(Color::white(0, 0.25));
            context.fill();
        }
        break;
    }
    drawTitleAndImage(context, r, titleColor(s));
}

void Button::drawTitleAndImage(Context& context, const Rect& rect, Color color)
{
    ControlState s = state();
    Rect content { rect.x() + m_contentInsets.left, rect.y() + m_contentInsets.top,
        rect.width() - m_contentInsets.left - m_contentInsets.right,
        rect.height() - m_contentInsets.top - m_contentInsets.bottom };
    std::string text = currentTitle();
    auto img = image(s);
    double room = content.width() - (img ? img->size().width + 4 : 0);
    // A title too wide for one line wraps where the button is tall enough.
    auto title = text.empty() ? ButtonTitleLayout {}
                              : layOutButtonTitle(text, m_titleLabel->font(), { room, content.height() });
    Size textSize = title.size;
    // Wrapped lines are centred in the whole width they were wrapped to.
    textSize.width = title.numberOfLines == 1 ? std::min(textSize.width, room) : room;
    double total = textSize.width + (img ? img->size().width + (text.empty() ? 0 : 4) : 0);
    double x = content.x() + std::max(0.0, (content.width() - total) / 2);
    if (img) {
        Size is = img->size();
        if (text.empty() && (is.width > content.width() || is.height > content.height()))
            is = content.size;
        context.drawImage(
            *img, { x, content.midY() - is.height / 2, is.width, is.height }, s == ControlState::Disabled ? 0.5 : 1.0);
        x += is.width + 4;
    }
    if (!text.empty()) {
        TextStyle style = m_titleLabel->textStyle();
        style.alignment = TextAlignment::Center;
        style.numberOfLines = title.numberOfLines;
        if (title.numberOfLines != 1)
            style.lineBreakMode = LineBreakMode::WordWrap;
        Rect textRect { x, content.midY() - textSize.height / 2, textSize.width, textSize.height };
        if (auto shadow = m_titleLabel->shadowColor())
            context.drawText(text,
                textRect.offsetBy(m_titleLabel->shadowOffset().width, m_titleLabel->shadowOffset().height), style,
                *shadow);
        context.drawText(text, textRect, style, color);
    }
}

}
