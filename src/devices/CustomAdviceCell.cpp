#include "devices/CustomAdviceCell.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/LargerText.h"

#include <algorithm>
#include <cmath>

namespace hestio {

using namespace platform;

namespace {

    constexpr double buttons = 2 * 40 + 8;

    Font deviceFont()
    {
        return Font::boldSystemFont(16);
    }

    Font adviceFont()
    {
        return Font::systemFont(13);
    }

    // The height `text` takes wrapped in `width`.
    double wrappedHeight(const std::string& text, const Font& font, double width)
    {
        TextStyle style { font, TextAlignment::Left, LineBreakMode::WordWrap, 0 };
        return std::ceil(measureText(text, style, std::max(1.0, width)).size.height);
    }

}

std::shared_ptr<CustomAdviceCell> CustomAdviceCell::create(std::string reuseIdentifier)
{
    return std::make_shared<CustomAdviceCell>(std::move(reuseIdentifier));
}

CustomAdviceCell::CustomAdviceCell(std::string reuseIdentifier)
    : TableViewCell(TableViewCellStyle::Default, std::move(reuseIdentifier))
    , m_deviceLabel(Label::create())
    , m_adviceLabel(Label::create())
    , m_likeButton(Button::create(Button::Type::Custom))
    , m_dislikeButton(Button::create(Button::Type::Custom))
{
    m_deviceLabel->setAccessibilityIdentifier("deviceLabel");
    m_deviceLabel->setFont(deviceFont());
    m_deviceLabel->setTextColor(Color::white(0.15));
    m_deviceLabel->setBackgroundColor(Color::clear());
    m_adviceLabel->setAccessibilityIdentifier("adviceLabel");
    m_adviceLabel->setFont(adviceFont());
    m_adviceLabel->setTextColor(Color::white(0.4));
    // Two lines at most; a longer text ends in an ellipsis, and tapping the
    // row shows the whole of it.
    m_adviceLabel->setNumberOfLines(2);
    m_adviceLabel->setLineBreakMode(LineBreakMode::TruncateTail);
    m_adviceLabel->setBackgroundColor(Color::clear());

    m_likeButton->setAccessibilityIdentifier("likeButton");
    m_likeButton->setAccessibilityLabel("Follow");
    m_likeButton->setTag(0);
    // Coloured discs: the cell is white, and so were the panel's icons used here before.
    m_likeButton->setImage(Image::named("adviceFollow"));
    m_dislikeButton->setAccessibilityIdentifier("dislikeButton");
    m_dislikeButton->setAccessibilityLabel("Ignore");
    m_dislikeButton->setTag(1);
    m_dislikeButton->setImage(Image::named("adviceIgnore"));

    contentView().addSubview(m_deviceLabel);
    contentView().addSubview(m_adviceLabel);
    contentView().addSubview(m_likeButton);
    contentView().addSubview(m_dislikeButton);
}

double CustomAdviceCell::rowHeightFor(const std::string& device, const std::string& advice, double tableWidth)
{
    if (textScale() <= 1)
        return rowHeight;
    double textWidth = tableWidth - buttons - 18;
    double needed = heightForText(6) + wrappedHeight(device, deviceFont(), textWidth)
        + wrappedHeight(advice, adviceFont(), textWidth) + heightForText(6);
    return std::max(heightForText(rowHeight), needed);
}

void CustomAdviceCell::layoutSubviews()
{
    TableViewCell::layoutSubviews();
    Rect area = contentView().bounds();
    double textWidth = area.size.width - buttons - 18;
    if (textScale() > 1) {
        // Larger text: both wrap, whole, and the row is as tall as they need.
        m_deviceLabel->setNumberOfLines(0);
        m_deviceLabel->setLineBreakMode(LineBreakMode::WordWrap);
        m_adviceLabel->setNumberOfLines(0);
        m_adviceLabel->setLineBreakMode(LineBreakMode::WordWrap);
        double device = wrappedHeight(m_deviceLabel->text(), deviceFont(), textWidth);
        double top = heightForText(6);
        m_deviceLabel->setFrame({ 10, top, textWidth, device });
        m_adviceLabel->setFrame({ 10, top + device, textWidth, area.size.height - top - device - top });
    } else {
        m_deviceLabel->setFrame({ 10, 6, textWidth, 22 });
        m_adviceLabel->setFrame({ 10, 28, textWidth, area.size.height - 34 });
    }
    double top = (area.size.height - 40) / 2;
    m_likeButton->setFrame({ area.size.width - buttons, top, 40, 40 });
    m_dislikeButton->setFrame({ area.size.width - 48, top, 40, 40 });
}

}
