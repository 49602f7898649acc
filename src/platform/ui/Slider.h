#pragma once

#include "platform/ui/Control.h"

#include <optional>

namespace hestio::platform {

/// A horizontal slider between a minimum and a maximum. Dragging sends
/// ControlEventValueChanged (continuously); lifting the finger inside sends
/// ControlEventTouchUpInside.
class Slider : public Control {
public:
    [[nodiscard]] static std::shared_ptr<Slider> create(Rect frame = {});
    explicit Slider(Rect frame = {});

    std::string className() const override { return "Slider"; }

    double value() const { return m_value; }
    /// Clamped to [minimum, maximum]; sends nothing.
    void setValue(double value, bool animated = false);
    double minimumValue() const { return m_minimum; }
    void setMinimumValue(double minimum);
    double maximumValue() const { return m_maximum; }
    void setMaximumValue(double maximum);
    bool isContinuous() const { return m_continuous; }
    void setContinuous(bool continuous) { m_continuous = continuous; }
    std::optional<Color> minimumTrackTintColor() const { return m_minTint; }
    void setMinimumTrackTintColor(std::optional<Color> tint);

    /// The x of the thumb's centre for a value, in bounds coordinates.
    double thumbCenterX(double value) const;
    double valueForX(double x) const;

    /// Left and Down move the value a step down, Right and Up a step up
    /// (KeyboardFocus::sliderStep), sending ValueChanged and then
    /// TouchUpInside as a finger letting go does; at the end of the range
    /// the key changes and sends nothing.
    bool keyPressed(const KeyPress& key) override;
    /// A tap would move the thumb to the middle: the keys move it instead.
    bool accessibilityActivate() override { return false; }

protected:
    bool beginTracking(Point point) override;
    bool continueTracking(Point point) override;
    void endTracking(Point point, bool inside) override;
    void draw(Context& context, const Rect& rect) override;
    std::string describeProperties() const override;

private:
    void trackTo(double x);
    double m_value { 0 };
    double m_minimum { 0 };
    double m_maximum { 1 };
    bool m_continuous { true };
    std::optional<Color> m_minTint;
    bool m_changedWhileTracking { false };
};

}
