#include "platform/host/FingerTouches.h"

#include "platform/host/ScreenFit.h"

#include <SDL.h>
// After <SDL.h>: its calls go through the library opened on first use.
#include "platform/host/SdlLibrary.h"

#include <algorithm>

namespace hestio::platform {

FingerTouches::Finger* FingerTouches::find(std::int64_t device, std::int64_t id)
{
    auto it = std::find_if(
        m_fingers.begin(), m_fingers.end(), [&](const Finger& f) { return f.device == device && f.id == id; });
    return it == m_fingers.end() ? nullptr : &*it;
}

int FingerTouches::unusedIdentifier() const
{
    int identifier = firstIdentifier;
    while (std::any_of(m_fingers.begin(), m_fingers.end(), [&](const Finger& f) { return f.identifier == identifier; }))
        ++identifier;
    return identifier;
}

std::optional<TouchInput> FingerTouches::translate(const SDL_Event& event, const ScreenFit& fit, Size window)
{
    if (event.type != SDL_FINGERDOWN && event.type != SDL_FINGERMOTION && event.type != SDL_FINGERUP)
        return std::nullopt;
    const SDL_TouchFingerEvent& touch = event.tfinger;
    Point inWindow { static_cast<double>(touch.x) * window.width, static_cast<double>(touch.y) * window.height };
    Point at = fit.pointAt(inWindow);
    Finger* finger = find(touch.touchId, touch.fingerId);

    if (event.type == SDL_FINGERDOWN) {
        // A second down for a finger already down is a repeat; a finger
        // landing on a bar touches nothing.
        if (finger || !fit.isOnScreen(inWindow))
            return std::nullopt;
        Finger added { touch.touchId, touch.fingerId, unusedIdentifier(), at };
        m_fingers.push_back(added);
        return TouchInput { added.identifier, at, TouchPhase::Began };
    }
    if (!finger)
        return std::nullopt;
    if (event.type == SDL_FINGERMOTION) {
        if (at == finger->last)
            return std::nullopt;
        finger->last = at;
        return TouchInput { finger->identifier, at, TouchPhase::Moved };
    }
    TouchInput lifted { finger->identifier, at, TouchPhase::Ended };
    m_fingers.erase(m_fingers.begin() + (finger - m_fingers.data()));
    return lifted;
}

std::vector<TouchInput> FingerTouches::cancelAll()
{
    std::vector<TouchInput> cancelled;
    for (const Finger& finger : m_fingers)
        cancelled.push_back({ finger.identifier, finger.last, TouchPhase::Cancelled });
    m_fingers.clear();
    return cancelled;
}

}
