#include "devices/BatteryInfoCell.h"

#include "platform/ui/Animator.h"
#include "platform/ui/LargerText.h"

#include <cmath>

namespace hestio {

using namespace platform;

namespace {

    // Where the bar sits inside the outline image (battery.svg, 110 × 50).
    constexpr Rect outlineFrame { 14, 10, 110, 50 };
    constexpr double barInsetX = 5;
    constexpr double barInsetY = 5.5;
    constexpr double barHeight = 39;

}

std::shared_ptr<BatteryInfoCell> BatteryInfoCell::create(std::string reuseIdentifier)
{
    return std::make_shared<BatteryInfoCell>(std::move(reuseIdentifier));
}

BatteryInfoCell::BatteryInfoCell(std::string reuseIdentifier)
    : TableViewCell(TableViewCellStyle::Default, std::move(reuseIdentifier))
    , m_outline(ImageView::create(outlineFrame))
    , m_fluidView(View::create({ outlineFrame.origin.x + barInsetX, outlineFrame.origin.y + barInsetY, 0, barHeight }))
    , m_percentageLabel(Label::create())
    , m_voltageLabel(Label::create())
{
    m_fluidView->setAccessibilityIdentifier("fluidView");
    m_fluidView->setBackgroundColor(Color::rgb(0.2, 0.72, 0.33));
    m_fluidView->layer().setCornerRadius(4);
    m_outline->setAccessibilityIdentifier("batteryOutline");
    m_outline->setImageNamed("battery");

    m_percentageLabel->setAccessibilityIdentifier("percentageLabel");
    m_percentageLabel->setFont(Font::boldSystemFont(26));
    m_percentageLabel->setTextColor(Color::white(0.15));
    m_percentageLabel->setTextAlignment(TextAlignment::Right);
    m_percentageLabel->setBackgroundColor(Color::clear());
    m_percentageLabel->setText("N/A (%)");
    m_voltageLabel->setAccessibilityIdentifier("voltageLabel");
    m_voltageLabel->setFont(Font::systemFont(17));
    m_voltageLabel->setTextColor(Color::rgb(0.2, 0.33, 0.5));
    m_voltageLabel->setTextAlignment(TextAlignment::Right);
    m_voltageLabel->setBackgroundColor(Color::clear());
    m_voltageLabel->setText("N/A (V)");

    setSelectionStyle(TableViewCellSelectionStyle::None);
    // A screen reader says what the figures are before them.
    setAccessibilityLabel("Battery");
    // The bar lies under the outline, whose glass is translucent.
    contentView().addSubview(m_fluidView);
    contentView().addSubview(m_outline);
    contentView().addSubview(m_percentageLabel);
    contentView().addSubview(m_voltageLabel);
}

double BatteryInfoCell::barWidthForCharge(float percent)
{
    double width = std::trunc(static_cast<double>(percent) / 100 * fullChargeWidth);
    // A charge that is not a number (a broken reply) shows an empty bar
    // rather than an undefined width.
    if (std::isnan(width) || width < 0)
        return 0;
    return std::min(width, widestBar);
}

void BatteryInfoCell::changeBatteryViewChargeTo(float percent, bool animated)
{
    Rect frame = m_fluidView->frame();
    frame.size.width = barWidthForCharge(percent);
    if (!animated) {
        m_fluidView->setFrame(frame);
        return;
    }
    auto& animator = Animator::current();
    animator.beginAnimations("batteryCharge");
    animator.setAnimationDuration(chargeAnimationSeconds);
    animator.setAnimationCurve(AnimationCurve::EaseIn);
    m_fluidView->setFrame(frame);
    animator.commitAnimations();
}

void BatteryInfoCell::layoutSubviews()
{
    TableViewCell::layoutSubviews();
    Rect area = contentView().bounds();
    double left = outlineFrame.origin.x + outlineFrame.size.width + 12;
    double width = std::max(0.0, area.size.width - left - 14);
    // The two lines grow with their text (so does the row).
    m_percentageLabel->setFrame({ left, heightForText(8), width, heightForText(32) });
    m_voltageLabel->setFrame({ left, heightForText(40), width, heightForText(22) });
}

}
