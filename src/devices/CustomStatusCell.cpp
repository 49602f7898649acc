#include "devices/CustomStatusCell.h"

#include "platform/gfx/Font.h"

namespace hestio {

using namespace platform;

std::shared_ptr<CustomStatusCell> CustomStatusCell::create(std::string reuseIdentifier)
{
    return std::make_shared<CustomStatusCell>(std::move(reuseIdentifier));
}

CustomStatusCell::CustomStatusCell(std::string reuseIdentifier)
    : TableViewCell(TableViewCellStyle::Default, std::move(reuseIdentifier))
    , m_deviceLabel(Label::create())
    , m_statusLabel(Label::create())
    , m_statusOnOff(ImageView::create(Rect {}))
{
    m_deviceLabel->setAccessibilityIdentifier("deviceLabel");
    m_deviceLabel->setFont(Font::boldSystemFont(17));
    m_deviceLabel->setTextColor(Color::white(0.12));
    m_deviceLabel->setBackgroundColor(Color::clear());
    m_statusLabel->setAccessibilityIdentifier("statusLabel");
    m_statusLabel->setFont(Font::systemFont(13));
    m_statusLabel->setBackgroundColor(Color::clear());
    m_statusOnOff->setAccessibilityIdentifier("statusOnOff");
    contentView().addSubview(m_statusOnOff);
    contentView().addSubview(m_deviceLabel);
    contentView().addSubview(m_statusLabel);
    setAccessoryType(TableViewCellAccessoryType::DisclosureIndicator);
}

void CustomStatusCell::layoutSubviews()
{
    TableViewCell::layoutSubviews();
    Rect area = contentView().bounds();
    // The two lines keep their places at any text scale: the row is as
    // much taller (StatusTableViewController sizes it).
    double scale = textScale();
    m_statusOnOff->setFrame({ 10, (area.size.height - 24) / 2, 24, 24 });
    m_deviceLabel->setFrame({ 44, 6 * scale, area.size.width - 50, 24 * scale });
    m_statusLabel->setFrame({ 44, 30 * scale, area.size.width - 50, 20 * scale });
}

}
