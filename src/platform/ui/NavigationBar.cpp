#include "platform/ui/NavigationBar.h"

#include "platform/gfx/Context.h"
#include "platform/ui/Theme.h"

#include <algorithm>
#include <cmath>

namespace hestio::platform {

namespace {
    constexpr double buttonHeight = 30;
    constexpr double sideMargin = 5;
    constexpr double titleFontSize = 20;
    // A long title gives up its centring and then shrinks this far before it
    // is cut with an ellipsis.
    constexpr double smallestTitleFontSize = 15;
    constexpr double smallestLargerTitleSize = 12;
}

NavigationButton::NavigationButton(std::shared_ptr<BarButtonItem> item, bool isBackButton)
    : Button(Type::Custom)
    , m_item(std::move(item))
    , m_isBack(isBackButton)
    , m_barTint(theme::barTint)
{
    titleLabel().setFont(Font::boldSystemFont(12));
    titleLabel().setShadowColor(Color::white(0, 0.5));
    titleLabel().setShadowOffset({ 0, -1 });
    setAccessibilityIdentifier(m_isBack ? "backButton" : "");
    addTarget(ControlEventTouchUpInside, [this](Control&) {
        if (m_item && !m_isBack)
            m_item->trigger();
    });
    refresh();
}

void NavigationButton::setBarTint(Color tint)
{
    m_barTint = tint;
    setNeedsDisplay();
}

void NavigationButton::refresh()
{
    if (!m_item)
        return;
    bool plainAdd = m_item->systemItem() == BarButtonItem::SystemItem::Add;
    std::string text = m_item->displayTitle();
    setTitle(text);
    // The item's own label, else the "+" of an Add item reads as a word.
    if (!m_item->accessibilityLabel().empty())
        setAccessibilityLabel(m_item->accessibilityLabel());
    else if (plainAdd && accessibilityLabel().empty())
        setAccessibilityLabel("Add");
    // The "+" is a symbol in a button of fixed height: it keeps its size.
    titleLabel().setFont(plainAdd ? Font::boldSystemFont(24).fixedSize() : Font::boldSystemFont(12));
    setEnabled(m_item->isEnabled());
    double width = std::max(plainAdd ? 40.0 : 50.0, std::ceil(sizeOfText(text, titleLabel().font()).width) + 20);
    if (m_isBack)
        width += 6;
    width = std::min(width, 110.0);
    Rect f = frame();
    setFrame({ f.x(), f.y(), width, buttonHeight });
    setNeedsDisplay();
}

void NavigationButton::draw(Context& context, const Rect& rect)
{
    Color tint
        = tintColor().value_or(m_item && m_item->tintColor() ? *m_item->tintColor() : theme::darker(m_barTint, 0.12));
    bool plain = m_item && m_item->style() == BarButtonItem::Style::Plain && !m_isBack;
    if (m_item && m_item->style() == BarButtonItem::Style::Done && !m_item->tintColor() && !tintColor())
        tint = Color::hex(0x2f64d8);
    if (isHighlighted())
        tint = theme::darker(tint, 0.25);
    if (!plain) {
        ContextStateSaver saver(context);
        Rect body = rect.insetBy(0.5, 0.5);
        context.beginPath();
        double r = 5;
        if (m_isBack) {
            double arrow = 12;
            context.moveTo({ body.minX(), body.midY() });
            context.lineTo({ body.minX() + arrow, body.minY() });
            context.lineTo({ body.maxX() - r, body.minY() });
            context.curveTo(
                { body.maxX(), body.minY() }, { body.maxX(), body.minY() }, { body.maxX(), body.minY() + r });
            context.lineTo({ body.maxX(), body.maxY() - r });
            context.curveTo(
                { body.maxX(), body.maxY() }, { body.maxX(), body.maxY() }, { body.maxX() - r, body.maxY() });
            context.lineTo({ body.minX() + arrow, body.maxY() });
            context.closePath();
        } else {
            context.addRoundedRect(body, r);
        }
        context.setStrokeColor(theme::darker(tint, 0.45));
        context.setLineWidth(1);
        context.clip();
        Gradient gloss { { { 0, theme::lighter(tint, 0.3) }, { 0.5, theme::lighter(tint, 0.05) }, { 0.5001, tint },
            { 1, theme::darker(tint, 0.05) } } };
        context.drawLinearGradient(gloss, { 0, rect.minY() }, { 0, rect.maxY() });
    }
    Rect content = m_isBack ? Rect { rect.x() + 8, rect.y(), rect.width() - 8, rect.height() } : rect;
    drawTitleAndImage(context, content, isEnabled() ? Color::whiteColor() : Color::white(1, 0.5));
}

std::shared_ptr<NavigationBar> NavigationBar::create(Rect frame)
{
    return std::make_shared<NavigationBar>(frame);
}

NavigationBar::NavigationBar(Rect frame)
    : View(frame)
    , m_title(Label::create())
{
    setAutoresizingMask(AutoresizingFlexibleWidth);
    m_title->setFont(Font::boldSystemFont(20));
    m_title->setTextColor(Color::whiteColor());
    m_title->setShadowColor(Color::white(0, 0.5));
    m_title->setShadowOffset({ 0, -1 });
    m_title->setTextAlignment(TextAlignment::Center);
    m_title->setAccessibilityIdentifier("navigationTitle");
    addSubview(m_title);
}

void NavigationBar::setTintColor(std::optional<Color> tint)
{
    if (tint == m_tint)
        return;
    m_tint = tint;
    if (m_left)
        m_left->setBarTint(effectiveTint());
    if (m_right)
        m_right->setBarTint(effectiveTint());
    setNeedsDisplay();
}

Color NavigationBar::effectiveTint() const
{
    return m_tint.value_or(theme::barTint);
}

void NavigationBar::setItems(std::vector<NavigationItem*> items)
{
    for (auto* item : m_items)
        item->setChangeHandler({});
    m_items = std::move(items);
    for (auto* item : m_items)
        item->setChangeHandler([this] { refresh(); });
    refresh();
}

void NavigationBar::pushItem(NavigationItem& item, bool)
{
    item.setChangeHandler([this] { refresh(); });
    m_items.push_back(&item);
    refresh();
}

void NavigationBar::popItem(bool)
{
    if (m_items.empty())
        return;
    m_items.back()->setChangeHandler({});
    m_items.pop_back();
    refresh();
}

std::shared_ptr<NavigationButton> NavigationBar::buttonFor(
    std::shared_ptr<BarButtonItem> item, bool back, const std::shared_ptr<NavigationButton>& current)
{
    if (!item)
        return nullptr;
    if (current && current->item() == item.get() && current->isBackButton() == back) {
        current->refresh();
        return current;
    }
    auto button = std::make_shared<NavigationButton>(item, back);
    button->setBarTint(effectiveTint());
    if (back)
        button->addTarget(ControlEventTouchUpInside, [this](Control&) {
            if (m_backAction)
                m_backAction();
        });
    std::weak_ptr<NavigationButton> weak = button;
    item->setChangeHandler([weak] {
        if (auto b = weak.lock())
            b->refresh();
    });
    return button;
}

void NavigationBar::refresh()
{
    NavigationItem* top = topItem();
    std::shared_ptr<BarButtonItem> leftItem, rightItem;
    bool leftIsBack = false;
    if (top) {
        leftItem = top->leftBarButtonItem();
        rightItem = top->rightBarButtonItem();
        if (!leftItem && backItem() && !top->hidesBackButton()) {
            leftItem = backItem()->backBarButtonItem();
            if (!leftItem) {
                std::string title = backItem()->title().empty() ? "Back" : backItem()->title();
                leftItem = BarButtonItem::create(title, BarButtonItem::Style::Bordered);
            }
            leftIsBack = true;
        }
    }
    auto left = buttonFor(leftItem, leftIsBack, m_left);
    auto right = buttonFor(rightItem, false, m_right);
    if (m_left != left) {
        if (m_left)
            m_left->removeFromSuperview();
        m_left = left;
        if (m_left)
            addSubview(m_left);
    }
    if (m_right != right) {
        if (m_right)
            m_right->removeFromSuperview();
        m_right = right;
        if (m_right)
            addSubview(m_right);
    }
    auto titleView = top ? top->titleView() : nullptr;
    if (titleView != m_titleView) {
        if (m_titleView)
            m_titleView->removeFromSuperview();
        m_titleView = titleView;
        if (m_titleView)
            addSubview(m_titleView);
    }
    m_title->setText(top ? top->title() : std::string {});
    m_title->setHidden(m_titleView != nullptr);
    setNeedsLayout();
    layoutSubviews();
    setNeedsDisplay();
}

void NavigationBar::layoutSubviews()
{
    Rect b = bounds();
    double y = std::floor((b.height() - buttonHeight) / 2);
    double leftEdge = sideMargin, rightEdge = b.width() - sideMargin;
    if (m_left) {
        m_left->setFrame({ sideMargin, y, m_left->frame().width(), buttonHeight });
        leftEdge = m_left->frame().maxX() + 6;
    }
    if (m_right) {
        double w = m_right->frame().width();
        m_right->setFrame({ b.width() - sideMargin - w, y, w, buttonHeight });
        rightEdge = m_right->frame().minX() - 6;
    }
    m_title->setFrame(titleFrame(leftEdge, rightEdge));
    if (m_titleView) {
        Size s = m_titleView->frame().size;
        m_titleView->setFrame({ b.midX() - s.width / 2, b.midY() - s.height / 2, s.width, s.height });
    }
}

// Centred between the bar's edges when the title fits there; otherwise it
// takes all the room between the buttons, at a smaller size if it must.
Rect NavigationBar::titleFrame(double leftEdge, double rightEdge)
{
    Rect b = bounds();
    double inset = std::max(leftEdge, b.width() - rightEdge);
    Rect centred { inset, 0, std::max(0.0, b.width() - 2 * inset), b.height() };
    Font font = Font::boldSystemFont(titleFontSize);
    double needed = sizeOfText(m_title->text(), font).width;
    if (needed <= centred.width()) {
        m_title->setFont(font);
        return centred;
    }
    Rect between { leftEdge, 0, std::max(0.0, rightEdge - leftEdge), b.height() };
    double size = titleFontSize;
    // With larger text the title may shrink until it is drawn as small as
    // the bar's buttons are at scale 1, so that the bar of fixed height still
    // shows it whole.
    double smallest = textScale() > 1 ? smallestLargerTitleSize / textScale() : smallestTitleFontSize;
    while (needed > between.width() && size > smallest) {
        size -= 0.5;
        needed = sizeOfText(m_title->text(), Font::boldSystemFont(size)).width;
    }
    m_title->setFont(Font::boldSystemFont(size));
    // Centred on the bar still, where the room between the buttons allows.
    double x = std::clamp(b.midX() - needed / 2, between.minX(), std::max(between.minX(), between.maxX() - needed));
    double width = std::min(needed, between.width());
    return { x, 0, width, b.height() };
}

void NavigationBar::draw(Context& context, const Rect& rect)
{
    Color tint = effectiveTint();
    Gradient gloss { { { 0, theme::lighter(tint, 0.32) }, { 0.5, theme::lighter(tint, 0.1) }, { 0.5001, tint },
        { 1, theme::darker(tint, 0.06) } } };
    {
        ContextStateSaver saver(context);
        context.clipToRect(rect);
        context.drawLinearGradient(gloss, { 0, rect.minY() }, { 0, rect.maxY() });
    }
    context.fillRect({ rect.x(), rect.minY(), rect.width(), 1 }, theme::lighter(tint, 0.5));
    context.fillRect({ rect.x(), rect.maxY() - 1, rect.width(), 1 }, theme::darker(tint, 0.45));
}

}
