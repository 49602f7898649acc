#include "schedule/ScheduleTableViewCell.h"

#include "platform/gfx/Image.h"
#include "platform/ui/LargerText.h"

#include <algorithm>

namespace hestio {

using namespace platform;

namespace {

    std::shared_ptr<Label> makeLabel(const std::string& identifier, Font font)
    {
        auto label = Label::create();
        label->setAccessibilityIdentifier(identifier);
        label->setTextAlignment(TextAlignment::Left);
        label->setFont(font);
        label->setTextColor(Color::black());
        label->setBackgroundColor(Color::clear());
        return label;
    }

    // The weekday initials the seven buttons show; the service decides which
    // day each number stands for, the buttons only carry the numbers.
    constexpr const char* dayInitials[7] = { "S", "M", "T", "W", "T", "F", "S" };
    // What a screen reader says for each initial.
    constexpr const char* dayNames[7]
        = { "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday" };

}

std::shared_ptr<ScheduleTableViewCell> ScheduleTableViewCell::create(const std::string& reuseIdentifier)
{
    auto cell = std::make_shared<ScheduleTableViewCell>(reuseIdentifier);
    cell->build();
    return cell;
}

ScheduleTableViewCell::ScheduleTableViewCell(const std::string& reuseIdentifier)
    : TableViewCell(TableViewCellStyle::Default, reuseIdentifier)
{
}

void ScheduleTableViewCell::build()
{
    auto background = ImageView::create();
    background->setImage(Image::named("schedule-cell.png"));
    setBackgroundView(background);

    eventTitle = makeLabel("eventTitle", Font::boldSystemFont(22));
    eventTitle->setShadowColor(Color::whiteColor().withAlpha(0.45));
    eventTitle->setShadowOffset({ 0.7, -1.0 });
    leaveHome = makeLabel("leaveHome", Font::systemFont(12));
    leaveHome->setText("Leave home:");
    leaveHomeTime = makeLabel("leaveHomeTime", Font::systemFont(12));
    arriveHome = makeLabel("arriveHome", Font::systemFont(12));
    arriveHome->setText("Arrive home:");
    arriveHomeTime = makeLabel("arriveHomeTime", Font::systemFont(12));
    for (const auto& label : { eventTitle, leaveHome, leaveHomeTime, arriveHome, arriveHomeTime })
        contentView().addSubview(label);

    highlightedView = ImageView::create();
    highlightedView->setAccessibilityIdentifier("highlightedView");
    highlightedView->setImage(Image::named("selectedCellHighlight"));
    highlightedView->setUserInteractionEnabled(false);
    addSubview(highlightedView);
}

void ScheduleTableViewCell::layoutSubviews()
{
    TableViewCell::layoutSubviews();
    // Larger text: the lines grow (so does the row) and the captions, the
    // title and the times take the width they need.
    double room = textScale() > 1 ? contentView().bounds().width() - 30 : 178;
    double caption = std::max(widthForText(leaveHome->text(), leaveHome->font(), 70),
        widthForText(arriveHome->text(), arriveHome->font(), 70));
    if (textScale() <= 1)
        caption = 70;
    double time = std::max(105.0, room - caption - 3);
    eventTitle->setFrame({ 15, heightForText(10), room, heightForText(24) });
    leaveHome->setFrame({ 15, heightForText(34), caption, heightForText(17) });
    leaveHomeTime->setFrame({ 18 + caption, heightForText(34), textScale() > 1 ? time : 105, heightForText(17) });
    arriveHome->setFrame({ 15, heightForText(51), caption, heightForText(17) });
    arriveHomeTime->setFrame({ 18 + caption, heightForText(51), textScale() > 1 ? time : 105, heightForText(17) });
    double imageHeight = highlightedView->image() ? highlightedView->image()->size().height : bounds().height();
    highlightedView->setFrame({ 0, 0, contentView().bounds().width(), imageHeight });
}

std::shared_ptr<ScheduleDrawerTableViewCell> ScheduleDrawerTableViewCell::create(const std::string& reuseIdentifier)
{
    auto cell = std::make_shared<ScheduleDrawerTableViewCell>(reuseIdentifier);
    cell->build();
    return cell;
}

ScheduleDrawerTableViewCell::ScheduleDrawerTableViewCell(const std::string& reuseIdentifier)
    : TableViewCell(TableViewCellStyle::Default, reuseIdentifier)
{
}

void ScheduleDrawerTableViewCell::build()
{
    for (int tag = 1; tag <= 7; ++tag) {
        auto button = Button::create(Button::Type::Custom);
        button->setAccessibilityIdentifier("day" + std::to_string(tag));
        button->setTag(tag);
        button->setTitle(dayInitials[tag - 1]);
        button->setAccessibilityLabel(dayNames[tag - 1]);
        button->setTitleColor(Color::white(0.6));
        button->setTitleColor(Color::hex(0x35c85a), ControlState::Selected);
        button->addTarget(
            ControlEventTouchUpInside, [this](Control& sender) { daySelected(static_cast<Button&>(sender)); });
        contentView().addSubview(button);
        m_days[static_cast<std::size_t>(tag - 1)] = button;
    }
}

void ScheduleDrawerTableViewCell::layoutSubviews()
{
    TableViewCell::layoutSubviews();
    double width = contentView().bounds().width() / 7;
    for (std::size_t i = 0; i < m_days.size(); ++i)
        m_days[i]->setFrame({ width * static_cast<double>(i), 2, width, 40 });
}

void ScheduleDrawerTableViewCell::prepareForReuse()
{
    TableViewCell::prepareForReuse();
    // A reused drawer starts from the schedule it is given, not the last one.
    for (const auto& button : m_days)
        button->setSelected(false);
}

void ScheduleDrawerTableViewCell::pressRepeatDateButtons()
{
    if (!alarm)
        return;
    for (int day = 1; day <= 7; ++day) {
        if (alarm->repeatDays[static_cast<std::size_t>(day - 1)])
            dayButton(day).setSelected(true);
    }
}

void ScheduleDrawerTableViewCell::daySelected(Button& sender)
{
    int day = sender.tag();
    if (alarm && day >= 1 && day <= 7)
        alarm->repeatDays[static_cast<std::size_t>(day - 1)] = !sender.isSelected();
    sender.setSelected(!sender.isSelected());
}

}
