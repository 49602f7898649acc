#include "widgets/InfoDisplayCell.h"

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
    double half = area.size.width / 2;
    m_name->setFrame({ 12, 0, half - 12, area.size.height });
    m_value->setFrame({ half, 0, half - 12, area.size.height });
}

}
