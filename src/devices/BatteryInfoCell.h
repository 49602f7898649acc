#pragma once

#include "platform/ui/ImageView.h"
#include "platform/ui/TableViewCell.h"
#include "json/Value.h"

#include <memory>
#include <vector>

namespace hestio {

/// The home tab's battery row: the charge and voltage as text and a fill bar
/// inside a battery outline, 92 points wide at full charge.
class BatteryInfoCell : public platform::TableViewCell {
public:
    static constexpr double fullChargeWidth = 92;
    static constexpr double widestBar = 100;
    static constexpr double chargeAnimationSeconds = 1.75;

    [[nodiscard]] static std::shared_ptr<BatteryInfoCell> create(std::string reuseIdentifier);
    explicit BatteryInfoCell(std::string reuseIdentifier);
    std::string className() const override { return "BatteryInfoCell"; }

    /// The bar's width for a charge in percent.
    [[nodiscard]] static double barWidthForCharge(float percent);
    /// Sets the fill bar for a charge in percent, sliding to it when animated.
    void changeBatteryViewChargeTo(float percent, bool animated);

    platform::Label& percentageLabel() { return *m_percentageLabel; }
    platform::Label& voltageLabel() { return *m_voltageLabel; }
    platform::View& fluidView() { return *m_fluidView; }

    /// The battery statuses of the last reply.
    std::vector<json::Value> statuses;

    void layoutSubviews() override;

private:
    std::shared_ptr<platform::ImageView> m_outline;
    std::shared_ptr<platform::View> m_fluidView;
    std::shared_ptr<platform::Label> m_percentageLabel;
    std::shared_ptr<platform::Label> m_voltageLabel;
};

}
