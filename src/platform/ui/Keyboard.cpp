#include "platform/ui/Keyboard.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/gfx/Context.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Animator.h"
#include "platform/ui/Application.h"
#include "platform/ui/Theme.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace hestio::platform {

namespace {

    /// The keys: three rows of letters and a row with the space bar and return.
    class KeyboardKeysView final : public View {
    public:
        using View::View;
        std::string className() const override { return "KeyboardView"; }
        bool pointInside(Point p) const override { return bounds().contains(p); }

    protected:
        void draw(Context& context, const Rect& rect) override
        {
            {
                // A gradient fills the whole clip: kept to the keys' own
                // rectangle, or it would paint over the screen above them.
                ContextStateSaver saver(context);
                context.clipToRect(rect);
                context.drawLinearGradient(
                    Gradient::between(Color::hex(0x8f949c), Color::hex(0x606670)), { 0, rect.y() }, { 0, rect.maxY() });
            }
            static const char* rows[] = { "QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM" };
            double keyWidth = (rect.width() - 6) / 10;
            Font font = Font::systemFont(22);
            for (int r = 0; r < 3; ++r) {
                std::string row = rows[r];
                double inset = (rect.width() - keyWidth * static_cast<double>(row.size())) / 2;
                for (std::size_t i = 0; i < row.size(); ++i) {
                    Rect key { inset + keyWidth * static_cast<double>(i) + 3, 10 + r * 54.0, keyWidth - 6, 42 };
                    drawKey(context, key, std::string(1, row[i]), font, false);
                }
            }
            drawKey(context, { 3, 118, 40, 42 }, "", font, true);
            drawKey(context, { rect.width() - 43, 118, 40, 42 }, "\u232b", Font::systemFont(18), true);
            drawKey(context, { 3, 172, 78, 40 }, "123", Font::boldSystemFont(16), true);
            drawKey(context, { 85, 172, 150, 40 }, "space", Font::systemFont(16), false);
            drawKey(context, { 239, 172, 78, 40 }, "return", Font::systemFont(16), true);
        }

    private:
        static void drawKey(Context& context, const Rect& key, const std::string& label, const Font& font, bool dark)
        {
            context.beginPath();
            context.addRoundedRect(key.offsetBy(0, 1), 5);
            context.setFillColor(Color::white(0, 0.35));
            context.fill();
            Color top = dark ? Color::hex(0xa9afb9) : Color::hex(0xfbfbfb);
            Color bottom = dark ? Color::hex(0x8a919c) : Color::hex(0xdcdde0);
            theme::fillRoundedGradient(context, key, 5, top, bottom);
            if (label.empty())
                return;
            // Keys are of a fixed size: their letters are too.
            Font keyFont = font.fixedSize();
            Size s = sizeOfText(label, keyFont);
            context.drawText(label, { key.midX() - s.width / 2, key.midY() - s.height / 2 }, keyFont,
                dark ? Color::whiteColor() : Color::black());
        }
    };

    UserInfo keyboardInfo(const Rect& end)
    {
        return { { Keyboard::frameEndUserInfoKey, end },
            { Keyboard::animationDurationUserInfoKey, Keyboard::animationDuration } };
    }

}

Keyboard::Keyboard(Application& application)
    : m_application(application)
{
}

Keyboard::~Keyboard() = default;

Rect Keyboard::frame() const
{
    if (!m_visible)
        return {};
    Size s = m_application.screenSize();
    double h = (m_current ? std::max(m_current->frame().height(), 1.0) : height) + accessoryHeight();
    return { 0, s.height - h, s.width, h };
}

double Keyboard::accessoryHeight() const
{
    if (!m_accessory)
        return 0;
    return m_accessory->frame().height() > 0 ? m_accessory->frame().height() : defaultAccessoryHeight;
}

void Keyboard::setAccessory(std::shared_ptr<View> accessory, const Rect& keysFrame)
{
    Window* window = m_application.keyWindow();
    if (m_accessory != accessory) {
        if (m_accessory) {
            if (auto* shownIn = m_accessory->window())
                shownIn->removeOverlay(*m_accessory);
        }
        m_accessory = std::move(accessory);
        if (m_accessory && window)
            window->addOverlay(m_accessory);
    }
    if (m_accessory) {
        double h = accessoryHeight();
        m_accessory->setFrame({ 0, keysFrame.y() - h, keysFrame.width(), h });
    }
}

void Keyboard::show(std::shared_ptr<View> inputView, std::shared_ptr<View> accessoryView)
{
    if (!inputView) {
        if (!m_keysView) {
            m_keysView = std::make_shared<KeyboardKeysView>(Rect { 0, 0, 320, height });
            m_keysView->setAccessibilityIdentifier("keyboard");
        }
        inputView = m_keysView;
    }
    Size screen = m_application.screenSize();
    Window* window = m_application.keyWindow();
    double h = inputView->frame().height() > 0 ? inputView->frame().height() : height;
    Rect end { 0, screen.height - h, screen.width, h };
    if (m_visible) {
        if (m_current == inputView && m_accessory == accessoryView)
            return;
        if (window && m_current)
            window->removeOverlay(*m_current);
        m_current = inputView;
        Animator::performWithoutAnimation([&] {
            m_current->setFrame(end);
            setAccessory(std::move(accessoryView), end);
        });
        if (window)
            window->addOverlay(m_current);
        moveAlerts();
        return;
    }
    auto& center = NotificationCenter::defaultCenter();
    double below = h;
    Animator::performWithoutAnimation([&] {
        setAccessory(std::move(accessoryView), end);
        below += accessoryHeight();
        inputView->setFrame(end.offsetBy(0, below));
        if (m_accessory)
            m_accessory->setFrame(m_accessory->frame().offsetBy(0, below));
    });
    Rect whole { 0, screen.height - below, screen.width, below };
    center.post(willShowNotification, this, keyboardInfo(whole));
    m_visible = true;
    m_current = inputView;
    if (window)
        window->addOverlay(m_current);
    Animator::animate(animationDuration, [&] {
        m_current->setFrame(end);
        if (m_accessory)
            m_accessory->setFrame(m_accessory->frame().offsetBy(0, -below));
    });
    moveAlerts();
    center.post(didShowNotification, this, keyboardInfo(whole));
}

void Keyboard::hide()
{
    if (!m_visible)
        return;
    Rect end = frame().offsetBy(0, frame().height());
    auto& center = NotificationCenter::defaultCenter();
    center.post(willHideNotification, this, keyboardInfo(end));
    double below = frame().height();
    m_visible = false;
    auto leaving = m_current;
    auto leavingAccessory = std::move(m_accessory);
    m_current.reset();
    Animator::animate(
        animationDuration,
        [&] {
            leaving->setFrame(leaving->frame().offsetBy(0, below));
            if (leavingAccessory)
                leavingAccessory->setFrame(leavingAccessory->frame().offsetBy(0, below));
        },
        [this, leaving, leavingAccessory](bool) {
            for (const auto& view : { leaving, leavingAccessory }) {
                if (!view || (m_visible && (m_current == view || m_accessory == view)))
                    continue;
                if (auto* window = view->window())
                    window->removeOverlay(*view);
            }
        });
    moveAlerts();
    center.post(didHideNotification, this, keyboardInfo(end));
}

void Keyboard::moveAlerts()
{
    for (auto& alert : std::vector<std::shared_ptr<AlertView>>(m_application.visibleAlerts()))
        alert->keyboardDidChange();
}

}
