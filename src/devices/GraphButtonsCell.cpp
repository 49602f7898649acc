#include "devices/GraphButtonsCell.h"

#include "platform/ui/Button.h"
#include "platform/ui/LargerText.h"

#include <algorithm>

namespace hestio {

using namespace platform;

std::shared_ptr<GraphButtonsCell> GraphButtonsCell::create(std::string reuseIdentifier)
{
    return std::make_shared<GraphButtonsCell>(std::move(reuseIdentifier));
}

GraphButtonsCell::GraphButtonsCell(std::string reuseIdentifier)
    : TableViewCell(TableViewCellStyle::Default, std::move(reuseIdentifier))
    , m_powerDrawButton(Button::create(Button::Type::RoundedRect))
    , m_energyConsumedButton(Button::create(Button::Type::RoundedRect))
{
    m_powerDrawButton->setAccessibilityIdentifier("powerDrawButton");
    m_powerDrawButton->setTitle("Power Draw");
    m_energyConsumedButton->setAccessibilityIdentifier("energyConsumedButton");
    m_energyConsumedButton->setTitle("Energy Used");
    for (const auto& button : { m_powerDrawButton, m_energyConsumedButton })
        button->setTitleColor(Color::rgb(0.098, 0.6, 0.25));
    setSelectionStyle(TableViewCellSelectionStyle::None);
    contentView().addSubview(m_powerDrawButton);
    contentView().addSubview(m_energyConsumedButton);
}

double GraphButtonsCell::rowHeightFor(const std::vector<std::string>& titles, double tableWidth)
{
    // A grouped table's row is 20 points narrower; each button gets half of
    // what the three gaps leave, and is 4 points lower than its row.
    double width = (tableWidth - 20 - 30) / 2;
    double button = heightForText(40);
    for (const auto& title : titles)
        button = std::max(button, buttonHeightForTitle(title, Font::boldSystemFont(15), width, 40));
    return button + 4;
}

void GraphButtonsCell::layoutSubviews()
{
    TableViewCell::layoutSubviews();
    Rect area = contentView().bounds();
    double width = (area.size.width - 30) / 2;
    m_powerDrawButton->setFrame({ 10, 2, width, area.size.height - 4 });
    m_energyConsumedButton->setFrame({ 20 + width, 2, width, area.size.height - 4 });
}

}
