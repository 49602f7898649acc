#pragma once

#include "platform/gfx/Geometry.h"

#include <memory>
#include <string>

namespace hestio::platform {

class Application;
class View;

/// The on-screen keyboard: a 216-point area at the bottom of the key window
/// that comes up while a text field is first responder (or that field's input
/// view in its place), with the field's accessory view, if any, right above
/// it. Typing itself comes from the host.
class Keyboard {
public:
    static constexpr double height = 216;
    static inline const std::string willShowNotification = "KeyboardWillShowNotification";
    static inline const std::string didShowNotification = "KeyboardDidShowNotification";
    static inline const std::string willHideNotification = "KeyboardWillHideNotification";
    static inline const std::string didHideNotification = "KeyboardDidHideNotification";
    /// userInfo keys: the end frame (Rect) and the animation duration (double).
    static inline const std::string frameEndUserInfoKey = "KeyboardFrameEndUserInfoKey";
    static inline const std::string animationDurationUserInfoKey = "KeyboardAnimationDurationUserInfoKey";
    static constexpr double animationDuration = 0.25;

    explicit Keyboard(Application& application);
    ~Keyboard();

    bool isVisible() const { return m_visible; }
    /// In window coordinates, the accessory view included; empty while hidden.
    Rect frame() const;
    /// Brings the keyboard (or `inputView`) up, with `accessoryView` above it
    /// (a bar of controls, say); posts will/did show once.
    void show(std::shared_ptr<View> inputView, std::shared_ptr<View> accessoryView = nullptr);
    /// Takes it down; posts will/did hide once.
    void hide();
    /// What is shown: the input view or the keyboard's own keys.
    View* currentView() const { return m_current.get(); }
    /// The accessory view shown above it, if any.
    View* accessoryView() const { return m_accessory.get(); }
    static constexpr double defaultAccessoryHeight = 44;

private:
    void moveAlerts();
    double accessoryHeight() const;
    /// Puts `accessory` (or none) above keys whose frame is `keysFrame`.
    void setAccessory(std::shared_ptr<View> accessory, const Rect& keysFrame);
    Application& m_application;
    bool m_visible { false };
    std::shared_ptr<View> m_keysView;
    std::shared_ptr<View> m_current;
    std::shared_ptr<View> m_accessory;
};

}
