#pragma once

#include "platform/ui/GestureRecognizer.h"

#include <algorithm>

namespace hestio::platform {

/// Recognises one or more taps in quick succession (within 0.35 s and 45
/// points of each other), each a touch that moves less than 10 points.
/// The taps of a multiple tap all come from fingers, or all from one
/// accessible action: two presses through the accessibility bus are two
/// activations, not a double tap.
class TapGestureRecognizer : public GestureRecognizer {
public:
    [[nodiscard]] static std::shared_ptr<TapGestureRecognizer> create(Action action = {}, int taps = 1);
    explicit TapGestureRecognizer(Action action = {});

    const char* kind() const override { return "TapGestureRecognizer"; }
    int numberOfTapsRequired() const { return m_tapsRequired; }
    void setNumberOfTapsRequired(int taps) { m_tapsRequired = std::max(1, taps); }
    int numberOfTouchesRequired() const { return m_touchesRequired; }
    void setNumberOfTouchesRequired(int touches) { m_touchesRequired = std::max(1, touches); }
    Point locationInView(const View* view) const override;

    /// For as long as one lives, the touches delivered are the taps of one
    /// accessible action (a press through the accessibility bus), numbered
    /// apart from every other action's. Main thread only.
    class AccessibleActivation {
    public:
        AccessibleActivation();
        ~AccessibleActivation();
        AccessibleActivation(const AccessibleActivation&) = delete;
        AccessibleActivation& operator=(const AccessibleActivation&) = delete;

    private:
        int m_outer;
    };

protected:
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void reset() override;

private:
    int m_tapsRequired { 1 };
    int m_touchesRequired { 1 };
    int m_taps { 0 };
    double m_lastEnd { -1 };
    int m_activation { 0 };
    Point m_start;
    Point m_location;
};

}
