#include "devices/NowFigureCell.h"

#include "platform/ui/Label.h"
#include "platform/ui/LargerText.h"

#include <algorithm>
#include <cmath>

namespace hestio {

using namespace platform;

std::shared_ptr<NowFigureCell> NowFigureCell::create(Form form, std::string reuseIdentifier)
{
    return std::make_shared<NowFigureCell>(form, std::move(reuseIdentifier));
}

NowFigureCell::NowFigureCell(Form form, std::string reuseIdentifier)
    : TableViewCell(TableViewCellStyle::Default, std::move(reuseIdentifier))
    , m_form(form)
    , m_name(Label::create())
    , m_value(Label::create())
    , m_detail(Label::create())
    , m_change(Label::create())
{
    m_name->setAccessibilityIdentifier("name");
    m_name->setFont(Font::systemFont(17));
    m_name->setTextColor(Color::white(0.15));
    m_value->setAccessibilityIdentifier("value");
    m_value->setFont(Font::boldSystemFont(17));
    m_value->setTextColor(Color::rgb(0.2, 0.33, 0.5));
    m_value->setTextAlignment(TextAlignment::Right);
    m_detail->setAccessibilityIdentifier("detail");
    m_detail->setFont(Font::systemFont(12));
    m_detail->setTextColor(Color::white(0.45));
    m_change->setAccessibilityIdentifier("change");
    m_change->setFont(Font::boldSystemFont(12));
    m_change->setTextAlignment(TextAlignment::Right);
    for (const auto& label : { m_name, m_value, m_detail, m_change }) {
        label->setBackgroundColor(Color::clear());
        contentView().addSubview(label);
    }
    m_detail->setHidden(form == Form::Compact);
    m_change->setHidden(form == Form::Compact);
    m_name->setLineBreakMode(LineBreakMode::TruncateTail);
    m_detail->setLineBreakMode(LineBreakMode::TruncateTail);
}

void NowFigureCell::layoutSubviews()
{
    TableViewCell::layoutSubviews();
    Rect area = contentView().bounds();
    double width = area.size.width;
    // Larger text: the name and the detail wrap rather than being cut (the
    // rows are taller for it, HomeNowSection::heightForRow).
    bool larger = textScale() > 1;
    for (const auto& label : { m_name, m_detail }) {
        label->setNumberOfLines(larger ? 0 : 1);
        label->setLineBreakMode(larger ? LineBreakMode::WordWrap : LineBreakMode::TruncateTail);
    }
    // The figure keeps its whole width; the name gets what is left.
    double valueWidth = std::min(width * 0.6, std::ceil(m_value->sizeThatFits({ width, area.size.height }).width));
    double valueX = width - 12 - valueWidth;
    double lineHeight = m_form == Form::Tall ? heightForText(30) : area.size.height;
    double top = m_form == Form::Tall ? heightForText(4) : 0;
    m_name->setFrame({ 12, top, std::max(0.0, valueX - 8 - 12), lineHeight });
    m_value->setFrame({ valueX, top, valueWidth, lineHeight });
    if (m_form == Form::Compact)
        return;
    double detailLine = heightForText(18);
    double changeWidth = std::ceil(m_change->sizeThatFits({ width, 20 }).width);
    double changeX = width - 12 - changeWidth;
    m_change->setFrame({ changeX, top + lineHeight, changeWidth, detailLine });
    double detailWidth = std::max(0.0, changeX - 6 - 12);
    double detailHeight = larger ? std::max(detailLine, m_detail->sizeThatFits({ detailWidth, 0 }).height) : 18;
    m_detail->setFrame({ 12, top + lineHeight, detailWidth, detailHeight });
}

}
