#pragma once

#include "platform/ui/GestureRecognizer.h"

#include <algorithm>

namespace hestio::platform {

/// Recognises one or more taps in quick succession (within 0.35 s and 45
/// points of each other), each a touch that moves less than 10 points.
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
    Point m_start;
    Point m_location;
};

}
