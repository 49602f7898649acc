#pragma once

#include "platform/ui/View.h"

namespace hestio::platform {

/// A spinning wheel. Hidden while stopped unless told otherwise.
class ActivityIndicatorView : public View {
public:
    enum class Style { WhiteLarge, White, Gray };

    [[nodiscard]] static std::shared_ptr<ActivityIndicatorView> create(Style style = Style::White);
    explicit ActivityIndicatorView(Style style = Style::White);
    ~ActivityIndicatorView() override;

    std::string className() const override { return "ActivityIndicatorView"; }

    Style style() const { return m_style; }
    void setStyle(Style style);
    bool hidesWhenStopped() const { return m_hidesWhenStopped; }
    void setHidesWhenStopped(bool hides);
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return m_animating; }

protected:
    void draw(Context& context, const Rect& rect) override;
    void didMoveToWindow() override;
    std::string describeProperties() const override { return m_animating ? " animating" : ""; }

private:
    Style m_style;
    bool m_hidesWhenStopped { true };
    bool m_animating { false };
};

}
