#include "UiTestSupport.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/TextField.h"

#include <gtest/gtest.h>

using namespace hestio::platform;
using hestio::test::UiFixture;

namespace {

struct KeyboardFixture : UiFixture {
    std::vector<std::string> notes;
    std::vector<Rect> frames;
    std::shared_ptr<TextField> username { TextField::create({ 20, 200, 280, 31 }) };
    std::shared_ptr<TextField> password { TextField::create({ 20, 240, 280, 31 }) };
    KeyboardFixture()
    {
        auto& center = NotificationCenter::defaultCenter();
        for (auto* name : { &Keyboard::willShowNotification, &Keyboard::willHideNotification })
            center.addObserver(this, *name, [this](const Notification& n) {
                notes.push_back(n.name);
                frames.push_back(std::any_cast<Rect>(n.userInfo.at(Keyboard::frameEndUserInfoKey)));
            });
        window->addSubview(username);
        window->addSubview(password);
    }
    ~KeyboardFixture() { NotificationCenter::defaultCenter().removeObserver(this); }
};

class FieldDelegate : public TextFieldDelegate {
public:
    std::vector<std::string> calls;
    void textFieldDidBeginEditing(TextField& f) override { calls.push_back("begin " + f.placeholder()); }
    void textFieldDidEndEditing(TextField& f) override { calls.push_back("end " + f.placeholder()); }
    bool textFieldShouldReturn(TextField& f) override
    {
        calls.push_back("return " + f.placeholder());
        return true;
    }
};

}

TEST(Keyboard, ComesUpOnceForAFieldAndStaysWhileFocusMoves)
{
    KeyboardFixture f;
    f.fingers.tap({ 100, 215 });
    EXPECT_TRUE(f.username->isFirstResponder());
    EXPECT_TRUE(f.app.keyboard().isVisible());
    EXPECT_EQ(f.app.keyboard().frame(), (Rect { 0, 264, 320, 216 }));
    f.password->becomeFirstResponder();
    EXPECT_EQ(f.notes, (std::vector<std::string> { Keyboard::willShowNotification }));
    f.password->resignFirstResponder();
    EXPECT_EQ(f.notes, (std::vector<std::string> { Keyboard::willShowNotification, Keyboard::willHideNotification }));
    EXPECT_EQ(f.frames.front(), (Rect { 0, 264, 320, 216 }));
    EXPECT_FALSE(f.app.keyboard().isVisible());
    f.password->resignFirstResponder();
    EXPECT_EQ(f.notes.size(), 2u) << "hiding twice tells once";
}

TEST(Keyboard, TypedTextGoesToTheFirstResponder)
{
    KeyboardFixture f;
    FieldDelegate delegate;
    f.username->setPlaceholder("user");
    f.username->setDelegate(&delegate);
    f.password->setPlaceholder("pass");
    f.password->setDelegate(&delegate);
    f.password->setSecureTextEntry(true);
    f.username->becomeFirstResponder();
    f.app.sendText("dem");
    f.app.sendText("o!");
    f.app.sendBackspace();
    EXPECT_EQ(f.username->text(), "demo");
    f.app.sendReturn();
    f.password->becomeFirstResponder();
    f.app.sendText("a&b");
    EXPECT_EQ(f.password->text(), "a&b");
    EXPECT_EQ(f.password->visibleText(), "\u2022\u2022\u2022");
    EXPECT_EQ(delegate.calls, (std::vector<std::string> { "begin user", "return user", "end user", "begin pass" }));
}

TEST(Keyboard, ClearsOnBeginEditingAndTheClearButtonEmptiesTheField)
{
    KeyboardFixture f;
    f.username->setText("old");
    f.username->setClearsOnBeginEditing(true);
    f.username->setClearButtonMode(TextFieldViewMode::WhileEditing);
    EXPECT_FALSE(f.username->isClearButtonVisible());
    f.username->becomeFirstResponder();
    EXPECT_EQ(f.username->text(), "");
    f.app.sendText("Garage");
    EXPECT_TRUE(f.username->isClearButtonVisible());
    Rect clear = f.username->clearButtonRect();
    f.fingers.tap(f.username->convertToWindow(clear.center()));
    EXPECT_EQ(f.username->text(), "");
    EXPECT_TRUE(f.username->isFirstResponder());
}

TEST(Keyboard, AnInputViewReplacesTheKeys)
{
    KeyboardFixture f;
    auto picker = PickerView::create();
    f.username->setInputView(picker);
    f.username->becomeFirstResponder();
    EXPECT_EQ(f.app.keyboard().currentView(), picker.get());
    EXPECT_EQ(picker->window(), f.window.get());
    f.window->endEditing(true);
    EXPECT_FALSE(f.app.keyboard().isVisible());
    f.settle();
    EXPECT_EQ(picker->window(), nullptr);
}

TEST(Keyboard, HidingAFieldResignsIt)
{
    KeyboardFixture f;
    f.username->becomeFirstResponder();
    f.username->setHidden(true);
    EXPECT_FALSE(f.username->isFirstResponder());
    EXPECT_FALSE(f.app.keyboard().isVisible());
}

TEST(Keyboard, DrawsOnlyWithinItsFrame)
{
    KeyboardFixture f;
    f.window->setBackgroundColor(Color::whiteColor());
    f.fingers.tap({ 100, 215 });
    f.loop.advance(1.0);
    auto shot = f.window->snapshot(1.0);
    EXPECT_EQ(shot->pixelAt(5, 100), Color::whiteColor()) << "above the keyboard the window shows";
    EXPECT_EQ(shot->pixelAt(5, 262), Color::whiteColor()) << "just above the keyboard";
    EXPECT_NE(shot->pixelAt(5, 266), Color::whiteColor()) << "the keyboard's own background";
}

TEST(Keyboard, AnAccessoryViewRidesAboveTheKeysAndTakesTaps)
{
    KeyboardFixture f;
    auto bar = View::create({ 0, 0, 320, 44 });
    auto done = Button::create(Button::Type::RoundedRect, { 250, 7, 64, 30 });
    int taps = 0;
    done->addTarget(ControlEventTouchUpInside, [&](Control&) { ++taps; });
    bar->addSubview(done);
    f.username->setInputAccessoryView(bar);

    f.username->becomeFirstResponder();
    EXPECT_EQ(f.app.keyboard().accessoryView(), bar.get());
    EXPECT_EQ(f.app.keyboard().frame(), (Rect { 0, 220, 320, 260 })) << "alerts and screens make room for both";
    EXPECT_EQ(f.frames.back(), (Rect { 0, 220, 320, 260 }));
    f.loop.advance(1);
    EXPECT_EQ(bar->frame(), (Rect { 0, 220, 320, 44 }));
    f.fingers.tap({ 280, 240 });
    EXPECT_EQ(taps, 1) << "the bar is hit-tested like the keys";

    f.password->becomeFirstResponder();
    EXPECT_EQ(f.app.keyboard().accessoryView(), nullptr) << "a field without one shows the keys alone";
    EXPECT_EQ(f.app.keyboard().frame(), (Rect { 0, 264, 320, 216 }));
    EXPECT_FALSE(bar->window());

    f.username->becomeFirstResponder();
    f.username->resignFirstResponder();
    EXPECT_EQ(f.app.keyboard().accessoryView(), nullptr);
    f.loop.advance(1);
    EXPECT_FALSE(bar->window()) << "gone with the keyboard";
}
