#pragma once

#include "platform/ui/Control.h"
#include "platform/ui/DrawnText.h"

#include <optional>

namespace hestio::platform {

/// An on/off switch (79 × 27 points); a tap or a slide flips it and sends
/// ControlEventValueChanged.
class Switch : public Control, public DrawsTexts {
public:
    static constexpr Size defaultSize { 79, 27 };
    [[nodiscard]] static std::shared_ptr<Switch> create(Rect frame = {});
    explicit Switch(Rect frame = {});

    std::string className() const override { return "Switch"; }
    std::string visibleText() const override { return m_on ? "ON" : "OFF"; }
    std::vector<DrawnText> drawnTexts() const override;

    bool isOn() const { return m_on; }
    /// Sets the position without sending ValueChanged (as the platform does).
    void setOn(bool on, bool animated = false);
    std::optional<Color> onTintColor() const { return m_onTint; }
    void setOnTintColor(std::optional<Color> tint);

protected:
    bool beginTracking(Point point) override;
    bool continueTracking(Point point) override;
    void endTracking(Point point, bool inside) override;
    void draw(Context& context, const Rect& rect) override;
    std::string describeProperties() const override { return m_on ? " on" : " off"; }

private:
    Rect textSide(const Rect& track) const;
    bool m_on { false };
    std::optional<Color> m_onTint;
    Point m_trackStart;
    bool m_slid { false };
};

}
