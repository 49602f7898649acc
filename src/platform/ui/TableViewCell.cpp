#include "platform/ui/TableViewCell.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Theme.h"

#include <cmath>
#include <numbers>

namespace hestio::platform {

namespace {

    /// The red minus (or green plus) at the left of a row being edited.
    class EditingControl final : public Control {
    public:
        EditingControl(TableViewCell& cell)
            : Control({ 0, 0, 32, 32 })
            , m_cell(cell)
        {
        }
        std::string className() const override { return "TableViewCellEditControl"; }

    protected:
        void draw(Context& context, const Rect& rect) override
        {
            bool insert = m_cell.editingStyle() == TableViewCellEditingStyle::Insert;
            Rect circle { rect.midX() - 10, rect.midY() - 10, 20, 20 };
            context.beginPath();
            context.addEllipse(circle.insetBy(-1.5, -1.5));
            context.setFillColor(Color::whiteColor());
            context.fill();
            Color top = insert ? Color::hex(0x5cd55c) : Color::hex(0xf06b6b);
            Color bottom = insert ? Color::hex(0x2b9a2b) : Color::hex(0xc81d1d);
            context.beginPath();
            context.addEllipse(circle);
            context.fillPathWithLinearGradient(
                Gradient::between(top, bottom), { 0, circle.minY() }, { 0, circle.maxY() });
            ContextStateSaver saver(context);
            Point c = circle.center();
            context.translate(c.x, c.y);
            if (m_cell.showingDeleteConfirmation())
                context.rotate(std::numbers::pi / 2);
            context.fillRect({ -6, -1.5, 12, 3 }, Color::whiteColor());
            if (insert)
                context.fillRect({ -1.5, -6, 3, 12 }, Color::whiteColor());
        }

    private:
        TableViewCell& m_cell;
    };

    /// The grip at the right of a movable row; dragging it moves the row.
    class ReorderControl final : public View {
    public:
        ReorderControl(TableViewCell& cell)
            : View({ 0, 0, 38, 44 })
            , m_cell(cell)
        {
        }
        std::string className() const override { return "TableViewCellReorderControl"; }
        void touchesBegan(const TouchSet& touches, const Event&) override
        {
            if (auto* table = m_cell.tableView())
                table->reorderBegan(m_cell, *touches.front());
        }
        void touchesMoved(const TouchSet& touches, const Event&) override
        {
            if (auto* table = m_cell.tableView())
                table->reorderMoved(m_cell, *touches.front());
        }
        void touchesEnded(const TouchSet&, const Event&) override
        {
            if (auto* table = m_cell.tableView())
                table->reorderEnded(m_cell, false);
        }
        void touchesCancelled(const TouchSet&, const Event&) override
        {
            if (auto* table = m_cell.tableView())
                table->reorderEnded(m_cell, true);
        }

    protected:
        void draw(Context& context, const Rect& rect) override
        {
            for (int i = -1; i <= 1; ++i)
                context.fillRect({ rect.midX() - 9, rect.midY() + i * 5 - 1, 18, 2 }, Color::white(0.6));
        }

    private:
        TableViewCell& m_cell;
    };

    /// The red "Delete" button a swipe (or the minus) brings up.
    class DeleteConfirmationButton final : public Button {
    public:
        DeleteConfirmationButton()
            : Button(Type::Custom, { 0, 0, 63, 30 })
        {
            titleLabel().setFont(Font::boldSystemFont(14));
            titleLabel().setShadowColor(Color::white(0, 0.4));
            setAccessibilityIdentifier("deleteConfirmation");
        }
        std::string className() const override { return "DeleteConfirmationButton"; }

    protected:
        void draw(Context& context, const Rect& rect) override
        {
            Rect body = rect.insetBy(0.5, 0.5);
            theme::fillRoundedGradient(
                context, body, 5, Color::hex(isHighlighted() ? 0xb01010 : 0xe2484b), Color::hex(0xb3090d));
            context.beginPath();
            context.addRoundedRect(body, 5);
            context.setStrokeColor(Color::hex(0x8c0a0c));
            context.setLineWidth(1);
            context.stroke();
            drawTitleAndImage(context, rect, Color::whiteColor());
        }
    };

    /// A checkmark accessory.
    class CheckmarkView final : public View {
    public:
        CheckmarkView()
            : View({ 0, 0, 20, 20 })
        {
            setUserInteractionEnabled(false);
        }
        std::string className() const override { return "CheckmarkAccessory"; }

    protected:
        void draw(Context& context, const Rect& rect) override
        {
            context.beginPath();
            context.moveTo({ rect.x() + 3, rect.midY() });
            context.lineTo({ rect.x() + 8, rect.maxY() - 4 });
            context.lineTo({ rect.maxX() - 3, rect.y() + 3 });
            context.setStrokeColor(theme::detailText);
            context.setLineWidth(3);
            context.setLineCap(LineCap::Round);
            context.setLineJoin(LineJoin::Round);
            context.stroke();
        }
    };

    /// A grey chevron accessory.
    class DisclosureIndicatorView final : public View {
    public:
        DisclosureIndicatorView()
            : View({ 0, 0, 10, 14 })
        {
            setUserInteractionEnabled(false);
        }
        std::string className() const override { return "DisclosureIndicator"; }

    protected:
        void draw(Context& context, const Rect& rect) override
        {
            theme::drawChevron(context, rect.center(), Color::white(0.5), 11, 3);
        }
    };

}

std::shared_ptr<TableViewCell> TableViewCell::create(TableViewCellStyle style, std::string reuseIdentifier)
{
    return std::make_shared<TableViewCell>(style, std::move(reuseIdentifier));
}

TableViewCell::TableViewCell(TableViewCellStyle style, std::string reuseIdentifier)
    : View({ 0, 0, 320, 44 })
    , m_style(style)
    , m_reuseIdentifier(std::move(reuseIdentifier))
    , m_contentView(View::create({ 0, 0, 320, 44 }))
    , m_textLabel(Label::create())
    , m_imageView(ImageView::create())
{
    m_contentView->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    addSubview(m_contentView);
    m_contentView->addSubview(m_imageView);
    m_textLabel->setFont(Font::boldSystemFont(style == TableViewCellStyle::Value2 ? 12 : 17));
    m_contentView->addSubview(m_textLabel);
    if (style != TableViewCellStyle::Default) {
        m_detailTextLabel = Label::create();
        switch (style) {
        case TableViewCellStyle::Subtitle:
            m_detailTextLabel->setFont(Font::systemFont(14));
            m_detailTextLabel->setTextColor(Color::white(0.5));
            break;
        case TableViewCellStyle::Value1:
            m_detailTextLabel->setFont(Font::systemFont(17));
            m_detailTextLabel->setTextColor(theme::detailText);
            m_detailTextLabel->setTextAlignment(TextAlignment::Right);
            break;
        case TableViewCellStyle::Value2:
            m_textLabel->setTextColor(theme::detailText);
            m_textLabel->setTextAlignment(TextAlignment::Right);
            m_detailTextLabel->setFont(Font::boldSystemFont(15));
            break;
        case TableViewCellStyle::Default:
            break;
        }
        m_contentView->addSubview(m_detailTextLabel);
    }
}

TableViewCell::~TableViewCell() = default;

void TableViewCell::prepareForReuse()
{
    setHighlighted(false);
    setSelected(false);
    setShowingDeleteConfirmation(false);
}

bool TableViewCell::isGrouped() const
{
    return m_tableView && m_tableView->style() == TableViewStyle::Grouped;
}

void TableViewCell::setAccessoryType(TableViewCellAccessoryType type)
{
    if (type == m_accessoryType)
        return;
    m_accessoryType = type;
    if (m_builtInAccessory) {
        m_builtInAccessory->removeFromSuperview();
        m_builtInAccessory.reset();
    }
    switch (type) {
    case TableViewCellAccessoryType::None:
        break;
    case TableViewCellAccessoryType::DisclosureIndicator:
        m_builtInAccessory = std::make_shared<DisclosureIndicatorView>();
        break;
    case TableViewCellAccessoryType::Checkmark:
        m_builtInAccessory = std::make_shared<CheckmarkView>();
        break;
    case TableViewCellAccessoryType::DetailDisclosureButton: {
        auto button = Button::create(Button::Type::DetailDisclosure);
        button->setAccessibilityIdentifier("detailDisclosureButton");
        button->addTarget(ControlEventTouchUpInside, [this](Control&) {
            if (m_tableView)
                m_tableView->accessoryTapped(*this);
        });
        m_builtInAccessory = button;
        break;
    }
    }
    if (m_builtInAccessory && !m_accessoryView)
        addSubview(m_builtInAccessory);
    setNeedsLayout();
}

void TableViewCell::setAccessoryView(std::shared_ptr<View> view)
{
    if (view == m_accessoryView)
        return;
    if (m_accessoryView)
        m_accessoryView->removeFromSuperview();
    m_accessoryView = std::move(view);
    if (m_accessoryView) {
        if (m_builtInAccessory)
            m_builtInAccessory->removeFromSuperview();
        addSubview(m_accessoryView);
    } else if (m_builtInAccessory) {
        addSubview(m_builtInAccessory);
    }
    setNeedsLayout();
}

void TableViewCell::setSelectionStyle(TableViewCellSelectionStyle style)
{
    m_selectionStyle = style;
    updateLabelHighlight();
    setNeedsDisplay();
}

void TableViewCell::setBackgroundView(std::shared_ptr<View> view)
{
    if (m_backgroundView)
        m_backgroundView->removeFromSuperview();
    m_backgroundView = std::move(view);
    if (m_backgroundView)
        insertSubview(m_backgroundView, 0);
    setNeedsLayout();
    setNeedsDisplay();
}

void TableViewCell::setSelectedBackgroundView(std::shared_ptr<View> view)
{
    if (m_selectedBackgroundView)
        m_selectedBackgroundView->removeFromSuperview();
    m_selectedBackgroundView = std::move(view);
    if (m_selectedBackgroundView) {
        insertSubview(m_selectedBackgroundView, m_backgroundView ? 1 : 0);
        m_selectedBackgroundView->setHidden(true);
    }
    updateLabelHighlight();
}

void TableViewCell::setSelected(bool selected, bool)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    updateLabelHighlight();
    setNeedsDisplay();
}

void TableViewCell::setHighlighted(bool highlighted, bool)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    updateLabelHighlight();
    setNeedsDisplay();
}

void TableViewCell::updateLabelHighlight()
{
    bool on = (m_selected || m_highlighted) && m_selectionStyle != TableViewCellSelectionStyle::None;
    m_textLabel->setHighlighted(on);
    if (m_detailTextLabel)
        m_detailTextLabel->setHighlighted(on);
    m_imageView->setHighlighted(on);
    if (m_selectedBackgroundView)
        m_selectedBackgroundView->setHidden(!on);
    for (auto& view : m_contentView->subviews())
        if (auto* label = dynamic_cast<Label*>(view.get()))
            label->setHighlighted(on);
}

void TableViewCell::setEditing(bool editing, bool)
{
    if (editing == m_editing)
        return;
    m_editing = editing;
    if (!editing)
        setShowingDeleteConfirmation(false);
    configureEditing(m_editingStyle, m_indentWhileEditing, m_showsReorderControl);
}

void TableViewCell::configureEditing(TableViewCellEditingStyle style, bool indent, bool reorder)
{
    m_editingStyle = style;
    m_indentWhileEditing = indent;
    m_showsReorderControl = reorder;
    bool wantsControl = m_editing && style != TableViewCellEditingStyle::None && indent;
    if (wantsControl && !m_editingControl) {
        m_editingControl = std::make_shared<EditingControl>(*this);
        m_editingControl->addTarget(ControlEventTouchUpInside, [this](Control&) {
            if (m_tableView)
                m_tableView->editingControlTapped(*this);
        });
        addSubview(m_editingControl);
    } else if (!wantsControl && m_editingControl) {
        m_editingControl->removeFromSuperview();
        m_editingControl.reset();
    }
    bool wantsReorder = m_editing && reorder;
    if (wantsReorder && !m_reorderControl) {
        m_reorderControl = std::make_shared<ReorderControl>(*this);
        addSubview(m_reorderControl);
    } else if (!wantsReorder && m_reorderControl) {
        m_reorderControl->removeFromSuperview();
        m_reorderControl.reset();
    }
    setNeedsLayout();
    setNeedsDisplay();
}

void TableViewCell::setShowingDeleteConfirmation(bool showing, const std::string& title)
{
    if (showing == m_showingDeleteConfirmation)
        return;
    m_showingDeleteConfirmation = showing;
    if (showing) {
        m_deleteButton = std::make_shared<DeleteConfirmationButton>();
        m_deleteButton->setTitle(title);
        m_deleteButton->addTarget(ControlEventTouchUpInside, [this](Control&) {
            if (m_tableView)
                m_tableView->deleteConfirmed(*this);
        });
        addSubview(m_deleteButton);
    } else if (m_deleteButton) {
        m_deleteButton->removeFromSuperview();
        m_deleteButton.reset();
    }
    setNeedsLayout();
    setNeedsDisplay();
}

void TableViewCell::layoutSubviews()
{
    Rect b = bounds();
    double h = b.height();
    double left = isGrouped() ? 10 : 0;
    double right = b.width() - (isGrouped() ? 10 : 0);
    if (m_backgroundView)
        m_backgroundView->setFrame(b);
    if (m_selectedBackgroundView)
        m_selectedBackgroundView->setFrame(b);
    double contentLeft = left;
    if (m_editingControl) {
        m_editingControl->setFrame({ left, std::floor(h / 2 - 16), 32, 32 });
        contentLeft = left + 32;
    }
    double contentRight = right;
    if (m_reorderControl) {
        m_reorderControl->setFrame({ right - 38, 0, 38, h });
        contentRight = right - 38;
    }
    View* accessory = m_accessoryView ? m_accessoryView.get() : m_builtInAccessory.get();
    if (accessory) {
        bool hide = m_editing && m_showsReorderControl;
        accessory->setHidden(hide);
        if (!hide) {
            Size s = accessory->frame().size;
            accessory->setFrame({ contentRight - s.width - 10, std::floor((h - s.height) / 2), s.width, s.height });
            contentRight = accessory->frame().x() - 2;
        }
    }
    if (m_deleteButton) {
        m_deleteButton->setFrame({ contentRight - 73, std::floor(h / 2 - 15), 63, 30 });
        contentRight = m_deleteButton->frame().x() - 2;
    }
    m_contentView->setFrame({ contentLeft, 0, std::max(0.0, contentRight - contentLeft), h });

    Rect c = m_contentView->bounds();
    double x = 10;
    if (auto image = m_imageView->image()) {
        Size s = image->size();
        m_imageView->setFrame({ x, std::floor((h - s.height) / 2), s.width, s.height });
        x += s.width + 10;
    } else {
        m_imageView->setFrame({});
    }
    double w = std::max(0.0, c.width() - x - 10);
    switch (m_style) {
    case TableViewCellStyle::Default:
        m_textLabel->setFrame({ x, 0, w, h });
        break;
    case TableViewCellStyle::Subtitle:
        if (m_detailTextLabel->text().empty()) {
            m_textLabel->setFrame({ x, 0, w, h });
            m_detailTextLabel->setFrame({ x, h, w, 0 });
        } else {
            // The two lines grow with the text (so does the row).
            double text = textScale();
            m_textLabel->setFrame({ x, std::floor(h / 2 - 20 * text), w, 22 * text });
            m_detailTextLabel->setFrame({ x, std::floor(h / 2 + 2 * text), w, 18 * text });
        }
        break;
    case TableViewCellStyle::Value1: {
        double textWidth = std::min(w, std::ceil(m_textLabel->sizeThatFits({ w, h }).width));
        m_textLabel->setFrame({ x, 0, textWidth, h });
        double detailX = x + textWidth + 8;
        m_detailTextLabel->setFrame({ detailX, 0, std::max(0.0, c.width() - 10 - detailX), h });
        break;
    }
    case TableViewCellStyle::Value2:
        m_textLabel->setFrame({ x, 0, 67, h });
        m_detailTextLabel->setFrame({ x + 73, 0, std::max(0.0, c.width() - x - 83), h });
        break;
    }
}

Path TableViewCell::shapePath(const Rect& local) const
{
    Path path;
    if (!isGrouped()) {
        path.addRect(local);
        return path;
    }
    Rect r { local.x() + 9.5, local.y(), local.width() - 19, local.height() };
    double radius = 8;
    bool top = m_position == Position::Single || m_position == Position::Top;
    bool bottom = m_position == Position::Single || m_position == Position::Bottom;
    double rt = top ? radius : 0, rb = bottom ? radius : 0;
    const double k = 0.5523;
    if (top)
        r = { r.x(), r.y() + 0.5, r.width(), r.height() - 0.5 };
    if (bottom)
        r = { r.x(), r.y(), r.width(), r.height() - 0.5 };
    path.moveTo({ r.minX() + rt, r.minY() });
    path.lineTo({ r.maxX() - rt, r.minY() });
    if (rt > 0)
        path.curveTo(
            { r.maxX() - rt + rt * k, r.minY() }, { r.maxX(), r.minY() + rt - rt * k }, { r.maxX(), r.minY() + rt });
    path.lineTo({ r.maxX(), r.maxY() - rb });
    if (rb > 0)
        path.curveTo(
            { r.maxX(), r.maxY() - rb + rb * k }, { r.maxX() - rb + rb * k, r.maxY() }, { r.maxX() - rb, r.maxY() });
    path.lineTo({ r.minX() + rb, r.maxY() });
    if (rb > 0)
        path.curveTo(
            { r.minX() + rb - rb * k, r.maxY() }, { r.minX(), r.maxY() - rb + rb * k }, { r.minX(), r.maxY() - rb });
    path.lineTo({ r.minX(), r.minY() + rt });
    if (rt > 0)
        path.curveTo(
            { r.minX(), r.minY() + rt - rt * k }, { r.minX() + rt - rt * k, r.minY() }, { r.minX() + rt, r.minY() });
    path.close();
    return path;
}

void TableViewCell::drawBackground(Context& context, const Rect& local, Color color)
{
    if (m_backgroundView)
        return;
    if (color.alpha <= 0) {
        if (!isGrouped())
            return;
        color = Color::whiteColor();
    }
    context.beginPath();
    context.addPath(shapePath(local));
    context.setFillColor(color);
    context.fill();
}

void TableViewCell::draw(Context& context, const Rect& rect)
{
    Rect local = rect;
    bool highlight = (m_selected || m_highlighted) && m_selectionStyle != TableViewCellSelectionStyle::None
        && !m_selectedBackgroundView;
    if (highlight) {
        bool blue = m_selectionStyle == TableViewCellSelectionStyle::Blue;
        context.beginPath();
        context.addPath(shapePath(local));
        context.fillPathWithLinearGradient(Gradient::between(blue ? theme::selectionTop : Color::hex(0xbababa),
                                               blue ? theme::selectionBottom : Color::hex(0x8c8c8c)),
            { 0, local.minY() }, { 0, local.maxY() });
    }
    if (m_backgroundView)
        return;
    if (isGrouped()) {
        context.beginPath();
        context.addPath(shapePath(local));
        context.setStrokeColor(theme::groupedBorder);
        context.setLineWidth(1);
        context.stroke();
    } else {
        context.fillRect({ local.x(), local.maxY() - 1, local.width(), 1 }, theme::separator);
    }
}

std::string TableViewCell::describeProperties() const
{
    std::string out;
    if (!m_reuseIdentifier.empty())
        out += " reuse=" + m_reuseIdentifier;
    if (m_selected)
        out += " selected";
    if (m_editing)
        out += " editing";
    if (m_showingDeleteConfirmation)
        out += " confirmingDelete";
    return out;
}

namespace {

    /// Whether `view` shows a text of its own (not a control's title), and
    /// whether it holds a control, among what is shown.
    void textsAndControls(const View& view, bool& text, bool& control)
    {
        for (const auto& sub : view.subviews()) {
            if (sub->isHidden() || sub->alpha() <= 0.01)
                continue;
            if (dynamic_cast<const Control*>(sub.get()))
                control = true;
            else if (auto* label = dynamic_cast<const Label*>(sub.get()))
                text = text || !label->text().empty();
            else
                textsAndControls(*sub, text, control);
        }
    }

}

bool TableViewCell::canBecomeFirstResponder() const
{
    // Screens turn the highlight off on rows a tap still opens: every row of
    // a list that lets a person pick rows is a stop, but for a row of
    // nothing but buttons (the graph buttons): its buttons are the stops.
    if (!m_tableView || !m_tableView->selectable() || !isUserInteractionEnabled())
        return false;
    bool text = false, control = false;
    textsAndControls(*this, text, control);
    return text || !control;
}

bool TableViewCell::accessibilityActivate()
{
    auto* table = m_tableView;
    if (!table)
        return false;
    auto path = table->indexPathForCell(*this);
    if (!path || !table->selectable())
        return false;
    auto keep = table->self();
    table->userSelectedRow(*path);
    return true;
}

bool TableViewCell::keyPressed(const KeyPress& key)
{
    if (!m_tableView || (key.code != KeyCode::Up && key.code != KeyCode::Down))
        return false;
    m_tableView->moveFocusFrom(*this, key.code == KeyCode::Down ? 1 : -1);
    return true;
}

void TableViewCell::touchesBegan(const TouchSet& touches, const Event& event)
{
    if (m_tableView)
        m_tableView->cellTouchBegan(*this, *touches.front());
    else
        View::touchesBegan(touches, event);
}

void TableViewCell::touchesMoved(const TouchSet& touches, const Event& event)
{
    if (!m_tableView)
        View::touchesMoved(touches, event);
}

void TableViewCell::touchesEnded(const TouchSet& touches, const Event& event)
{
    if (m_tableView)
        m_tableView->cellTouchEnded(*this, *touches.front());
    else
        View::touchesEnded(touches, event);
}

void TableViewCell::touchesCancelled(const TouchSet& touches, const Event& event)
{
    if (m_tableView)
        m_tableView->cellTouchCancelled(*this);
    else
        View::touchesCancelled(touches, event);
}

}
