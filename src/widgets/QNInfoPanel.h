#pragma once

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace hestio {

namespace platform {
    class Window;
}

/// The banner that slides in at the top of a view or of the window with a
/// title, an optional subtitle and an icon for its type (0 information,
/// 1 error), and hides itself after a while or when touched.
class QNInfoPanel final : public platform::View {
public:
    enum Type { Information = 0, Error = 1 };

    /// Shows a panel at the top of `view`; `hideAfterSeconds` <= 0 keeps it
    /// until touched. The view owns the panel while it is shown.
    static std::shared_ptr<QNInfoPanel> showPanelInView(platform::View& view, int type, const std::string& title,
        const std::optional<std::string>& subtitle, double hideAfterSeconds = -1);
    /// The same in the window, below the status bar unless that is hidden.
    static std::shared_ptr<QNInfoPanel> showPanelInWindow(platform::Window& window, int type, const std::string& title,
        const std::optional<std::string>& subtitle, double hideAfterSeconds = -1);
    /// A new panel with its entry transition (push from the bottom, 0.25 s).
    static std::shared_ptr<QNInfoPanel> infoPanel();

    explicit QNInfoPanel(platform::Rect frame);
    ~QNInfoPanel() override;
    std::string className() const override { return "QNInfoPanel"; }

    void setType(int type);
    /// Slides the panel away (push from the top, 0.25 s) and removes it.
    void hidePanel();

    /// What a touch does; hidePanel by default.
    std::function<void(QNInfoPanel&)> onTouched;
    /// Called when the panel is destroyed.
    std::function<void()> onFinished;

    platform::Label& titleLabel() { return *m_titleLabel; }
    platform::Label& detailLabel() { return *m_detailLabel; }
    platform::ImageView& thumbImage() { return *m_thumbImage; }
    platform::ImageView& backgroundGradient() { return *m_backgroundGradient; }

    void touchesBegan(const platform::TouchSet& touches, const platform::Event& event) override;

    static constexpr double transitionSeconds = 0.25;

private:
    void setup();
    std::shared_ptr<platform::ImageView> m_backgroundGradient;
    std::shared_ptr<platform::ImageView> m_thumbImage;
    std::shared_ptr<platform::Label> m_titleLabel;
    std::shared_ptr<platform::Label> m_detailLabel;
};

}
