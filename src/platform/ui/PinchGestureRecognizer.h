#pragma once

#include "platform/ui/GestureRecognizer.h"

namespace hestio::platform {

/// Two fingers moving apart or together. scale() is the ratio of their
/// distance to the distance when it was last reset; receivers usually reset
/// it to 1 after applying it, so each report is relative.
class PinchGestureRecognizer : public GestureRecognizer {
public:
    [[nodiscard]] static std::shared_ptr<PinchGestureRecognizer> create(Action action = {});
    explicit PinchGestureRecognizer(Action action = {});

    const char* kind() const override { return "PinchGestureRecognizer"; }
    double scale() const { return m_scale; }
    void setScale(double scale) { m_scale = scale; }
    double velocity() const { return m_velocity; }

protected:
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void reset() override;

private:
    double currentDistance() const;
    double m_scale { 1 };
    double m_velocity { 0 };
    double m_startDistance { 0 };
    double m_lastDistance { 0 };
    double m_lastTime { 0 };
};

}
