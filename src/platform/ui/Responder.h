#pragma once

#include "platform/ui/Touch.h"

#include <memory>
#include <string>

namespace hestio::platform {

/// Something that takes part in event handling: touches travel up the chain of
/// next responders until one handles them; the first responder receives typed
/// text and keys, and is the view that has the keyboard focus. Always owned by std::shared_ptr (views are made with
/// create()).
class Responder : public std::enable_shared_from_this<Responder> {
public:
    virtual ~Responder() = default;

    virtual Responder* nextResponder() const { return nullptr; }

    /// Posted on the default notification centre, with the application as
    /// sender, whenever the first responder (the focused view) changes.
    static constexpr const char* firstResponderDidChangeNotification = "FirstResponderDidChange";

    virtual bool canBecomeFirstResponder() const { return false; }
    virtual bool canResignFirstResponder() const { return true; }
    /// Asks to receive typed text; the previous first responder resigns first.
    bool becomeFirstResponder();
    bool resignFirstResponder();
    bool isFirstResponder() const;

    // Touches; the defaults pass them on to the next responder.
    virtual void touchesBegan(const TouchSet& touches, const Event& event);
    virtual void touchesMoved(const TouchSet& touches, const Event& event);
    virtual void touchesEnded(const TouchSet& touches, const Event& event);
    virtual void touchesCancelled(const TouchSet& touches, const Event& event);

    /// Whether the on-screen keyboard comes up while this is first responder,
    /// and what it shows instead of the keys (none: the keys).
    virtual bool wantsKeyboard() const { return false; }
    virtual std::shared_ptr<class View> keyboardInputView() const { return nullptr; }

    // Keyboard input (first responder only).
    virtual void insertText(const std::string&) { }
    virtual void deleteBackward() { }
    virtual void insertReturn() { }

protected:
    friend class Application;
    virtual void didBecomeFirstResponder() { }
    virtual void didResignFirstResponder() { }
};

}
