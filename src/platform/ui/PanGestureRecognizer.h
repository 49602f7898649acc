#pragma once

#include "platform/ui/GestureRecognizer.h"

namespace hestio::platform {

/// A finger dragging: begins once it has moved 10 points (optionally only
/// when the movement is mostly vertical), then reports every movement.
class PanGestureRecognizer : public GestureRecognizer {
public:
    static constexpr double threshold = 10;
    [[nodiscard]] static std::shared_ptr<PanGestureRecognizer> create(Action action = {});
    explicit PanGestureRecognizer(Action action = {});

    const char* kind() const override { return "PanGestureRecognizer"; }
    /// The movement since the gesture started (or since setTranslation).
    Point translation() const;
    void setTranslation(Point translation);
    bool verticalOnly() const { return m_verticalOnly; }
    void setVerticalOnly(bool on) { m_verticalOnly = on; }

protected:
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;

private:
    Point m_start;
    Point m_current;
    Point m_offset;
    bool m_verticalOnly { false };
};

}
