#include "platform/ui/Responder.h"

#include "platform/ui/Application.h"

namespace hestio::platform {

bool Responder::becomeFirstResponder()
{
    if (isFirstResponder())
        return true;
    if (!canBecomeFirstResponder())
        return false;
    return Application::shared().setFirstResponder(this);
}

bool Responder::resignFirstResponder()
{
    if (!isFirstResponder())
        return true;
    if (!canResignFirstResponder())
        return false;
    return Application::shared().setFirstResponder(nullptr);
}

bool Responder::isFirstResponder() const
{
    return Application::shared().firstResponder() == this;
}

void Responder::touchesBegan(const TouchSet& touches, const Event& event)
{
    if (auto* next = nextResponder())
        next->touchesBegan(touches, event);
}

void Responder::touchesMoved(const TouchSet& touches, const Event& event)
{
    if (auto* next = nextResponder())
        next->touchesMoved(touches, event);
}

void Responder::touchesEnded(const TouchSet& touches, const Event& event)
{
    if (auto* next = nextResponder())
        next->touchesEnded(touches, event);
}

void Responder::touchesCancelled(const TouchSet& touches, const Event& event)
{
    if (auto* next = nextResponder())
        next->touchesCancelled(touches, event);
}

}
