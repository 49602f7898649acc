#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"

#include <functional>
#include <optional>
#include <vector>

namespace hestio::platform {

class AlertView;

/// What an alert tells its delegate; every method has an empty default.
class AlertViewDelegate {
public:
    virtual ~AlertViewDelegate() = default;
    virtual void alertViewClickedButtonAtIndex(AlertView&, int) { }
    virtual void alertViewWillDismiss(AlertView&, int) { }
    virtual void alertViewDidDismiss(AlertView&, int) { }
};

/// A modal message over the dimmed window: title, message and buttons (the
/// cancel button first, index 0, then the others in order). Screens may add
/// subviews (text fields) and set its frame after showing it.
class AlertView : public View {
public:
    [[nodiscard]] static std::shared_ptr<AlertView> create(std::string title, std::string message,
        AlertViewDelegate* delegate, std::optional<std::string> cancelButtonTitle,
        std::vector<std::string> otherButtonTitles = {});
    AlertView(std::string title, std::string message, AlertViewDelegate* delegate,
        std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles);
    ~AlertView() override;

    std::string className() const override { return "AlertView"; }

    const std::string& title() const { return m_titleLabel->text(); }
    void setTitle(std::string title);
    const std::string& message() const { return m_messageLabel->text(); }
    void setMessage(std::string message);
    /// Non-owning; the delegate outlives the alert or clears itself.
    AlertViewDelegate* delegate() const { return m_delegate; }
    void setDelegate(AlertViewDelegate* delegate) { m_delegate = delegate; }

    int addButtonWithTitle(std::string title);
    int numberOfButtons() const { return static_cast<int>(m_buttonTitles.size()); }
    std::string buttonTitleAtIndex(int index) const;
    /// -1 when there is no cancel button.
    int cancelButtonIndex() const { return m_cancelIndex; }
    int firstOtherButtonIndex() const;
    Button* buttonAtIndex(int index) const;

    /// Puts the alert on screen over the key window (or keeps it listed among
    /// the application's visible alerts when there is no window).
    void show();
    bool isVisible() const { return m_visible; }
    /// As a tap on a button: the delegate's clickedButtonAtIndex, then
    /// onButtonClicked, then dismissal.
    void clickButtonAtIndex(int index);
    /// Told the index of the button tapped. Owned by the alert, so it suits
    /// an alert that outlives whoever showed it.
    std::function<void(int index)> onButtonClicked;
    /// Removes the alert, telling the delegate will/did dismiss (not clicked).
    void dismissWithClickedButtonIndex(int index, bool animated);

    void layoutSubviews() override;
    /// Moves the alert above the keyboard (or back), unless its frame was
    /// set by hand after showing.
    void keyboardDidChange();
    /// The default frame for the current content, centred in `area`.
    Rect preferredFrame(const Rect& area) const;

protected:
    void draw(Context& context, const Rect& rect) override;
    void frameSizeDidChange(Size) override { setNeedsLayout(); }

private:
    void rebuildButtons();
    std::shared_ptr<Label> m_titleLabel;
    std::shared_ptr<Label> m_messageLabel;
    AlertViewDelegate* m_delegate;
    std::vector<std::string> m_buttonTitles;
    std::vector<std::shared_ptr<Button>> m_buttons;
    int m_cancelIndex { -1 };
    bool m_visible { false };
    Rect m_placedFrame;
    /// The window's overlay owns the dimming view, which owns this alert as
    /// its subview; a strong reference back would keep both alive forever.
    std::weak_ptr<View> m_dimmingView;
};

}
