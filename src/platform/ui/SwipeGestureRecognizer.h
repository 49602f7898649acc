#pragma once

#include "platform/ui/GestureRecognizer.h"

namespace hestio::platform {

/// Recognises a quick stroke of at least 50 points in one of its directions
/// that strays sideways by at most half its length.
class SwipeGestureRecognizer : public GestureRecognizer {
public:
    enum Direction : unsigned { Right = 1 << 0, Left = 1 << 1, Up = 1 << 2, Down = 1 << 3 };
    static constexpr double minimumDistance = 50;

    [[nodiscard]] static std::shared_ptr<SwipeGestureRecognizer> create(unsigned direction, Action action = {});
    explicit SwipeGestureRecognizer(Action action = {});

    const char* kind() const override { return "SwipeGestureRecognizer"; }
    unsigned direction() const { return m_direction; }
    void setDirection(unsigned direction) { m_direction = direction; }
    /// The direction of the last recognised swipe.
    unsigned recognizedDirection() const { return m_recognized; }
    Point locationInView(const View* view) const override;
    /// Recognises a swipe in its direction without a finger (the arrow
    /// keys page what swipes page).
    void recognizeWithoutTouches();

protected:
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;

private:
    bool evaluate(const Touch& touch, bool final);
    unsigned m_direction { Right };
    unsigned m_recognized { 0 };
    Point m_start;
    double m_startTime { 0 };
};

}
