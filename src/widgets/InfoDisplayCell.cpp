#include "widgets/InfoDisplayCell.h"

#include "platform/gfx/Font.h"

#include <algorithm>
#include <cmath>

namespace hestio {

using namespace platform;

std::shared_ptr<InfoDisplayCell> InfoDisplayCell::create(std::string reuseIdentifier)
{
    return std::make_shared<InfoDisplayCell>(std::move(reuseIdentifier));
}

InfoDisplayCell::InfoDisplayCell(std::string reuseIdentifier)
    : TableViewCell(TableViewCellStyle::Default, std::move(reuseIdentifier))
    , m_name(Label::create())
    , m_value(Label::create())
{
    m_name->setAccessibilityIdentifier("name");
    m_name->setFont(Font::boldSystemFont(17));
    m_name->setTextColor(Color::white(0.15));
    m_name->setBackgroundColor(Color::clear());
    m_value->setAccessibilityIdentifier("value");
    m_value->setFont(Font::systemFont(18));
    m_value->setTextColor(Color::rgb(0.2, 0.33, 0.5));
    m_value->setTextAlignment(TextAlignment::Right);
    m_value->setBackgroundColor(Color::clear());
    contentView().addSubview(m_name);
    contentView().addSubview(m_value);
}

void InfoDisplayCell::layoutSubviews()
{
    TableViewCell::layoutSubviews();
    Rect area = contentView().bounds();
    double split = area.size.width / 2;
    // Larger text: the name takes the room it needs, the value what is left.
    if (textScale() > 1) {
        double name = std::ceil(m_name->sizeThatFits({ 0, 0 }).width);
        double value = std::ceil(m_value->sizeThatFits({ 0, 0 }).width);
        if (12 + name + 8 + value + 12 > area.size.width) {
            // Not both on one line: the name above, the value below it.
            double half = area.size.height / 2;
            m_name->setFrame({ 12, 0, area.size.width - 24, half });
            m_value->setFrame({ 12, half, area.size.width - 24, area.size.height - half });
            return;
        }
        split = std::min(12 + name + 8, std::max(split, area.size.width - 12 - value));
    }
    m_name->setFrame({ 12, 0, split - 12, area.size.height });
    m_value->setFrame({ split, 0, area.size.width - split - 12, area.size.height });
}

}
