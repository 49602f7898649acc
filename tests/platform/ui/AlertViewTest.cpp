#include "UiTestSupport.h"

#include "platform/ui/AlertView.h"
#include "platform/ui/TextField.h"

#include <gtest/gtest.h>

using namespace hestio::platform;
using hestio::test::UiFixture;

namespace {

class Listener : public AlertViewDelegate {
public:
    std::vector<std::string> calls;
    void alertViewClickedButtonAtIndex(AlertView& a, int i) override
    {
        calls.push_back(a.title() + " clicked " + std::to_string(i));
    }
    void alertViewWillDismiss(AlertView&, int i) override { calls.push_back("will dismiss " + std::to_string(i)); }
    void alertViewDidDismiss(AlertView&, int i) override { calls.push_back("did dismiss " + std::to_string(i)); }
};

}

TEST(AlertView, NumbersTheCancelButtonFirst)
{
    auto alert = AlertView::create("Change Password", " \n\n\n", nullptr, "Cancel", { "OK" });
    EXPECT_EQ(alert->numberOfButtons(), 2);
    EXPECT_EQ(alert->cancelButtonIndex(), 0);
    EXPECT_EQ(alert->firstOtherButtonIndex(), 1);
    EXPECT_EQ(alert->buttonTitleAtIndex(1), "OK");
    auto single = AlertView::create("Error", "Please enter your username and password.", nullptr, "OK");
    EXPECT_EQ(single->numberOfButtons(), 1);
    EXPECT_EQ(single->buttonTitleAtIndex(0), "OK");
    auto none = AlertView::create("Note", "", nullptr, std::nullopt, { "Yes", "No" });
    EXPECT_EQ(none->cancelButtonIndex(), -1);
    EXPECT_EQ(none->firstOtherButtonIndex(), 0);
    EXPECT_EQ(none->addButtonWithTitle("Later"), 2);
}

TEST(AlertView, TappingAButtonReportsItsIndexThenDismisses)
{
    UiFixture ui;
    Listener listener;
    auto alert = AlertView::create("Are you sure?", "Post activity: Watered plants?", &listener, "Cancel", { "Yes" });
    alert->show();
    ASSERT_EQ(ui.app.topAlert(), alert.get());
    EXPECT_TRUE(alert->isVisible());
    EXPECT_NE(ui.window->findByText("Post activity: Watered plants?"), nullptr);
    ui.window->layoutTree();
    auto* yes = alert->buttonAtIndex(1);
    ui.fingers.tap(yes->convertToWindow(yes->bounds().center()));
    EXPECT_EQ(listener.calls, (std::vector<std::string> { "Are you sure? clicked 1", "will dismiss 1" }));
    EXPECT_EQ(ui.app.topAlert(), nullptr);
    ui.settle();
    EXPECT_EQ(listener.calls.back(), "did dismiss 1");
    EXPECT_TRUE(ui.window->overlays().empty());
}

TEST(AlertView, ShowsOverADimmedWindowThatSwallowsTouches)
{
    UiFixture ui;
    auto button = Button::create(Button::Type::RoundedRect, { 0, 400, 320, 60 });
    int taps = 0;
    button->addTarget(ControlEventTouchUpInside, [&](Control&) { ++taps; });
    ui.window->addSubview(button);
    auto alert = AlertView::create("Authentication Failed", "Wrong username or password", nullptr, "OK");
    alert->show();
    ui.fingers.tap({ 160, 450 });
    EXPECT_EQ(taps, 0);
    EXPECT_TRUE(alert->isVisible());
}

TEST(AlertView, HoldsTextFieldsAndTakesTheFrameSetAfterShowing)
{
    UiFixture ui;
    Listener listener;
    auto alert = AlertView::create("Set Location Name", "\n\n", &listener, "Cancel", { "OK" });
    auto field = TextField::create({ 14, 50, 255, 28 });
    field->setTag(4);
    alert->addSubview(field);
    alert->show();
    field->becomeFirstResponder();
    ui.app.sendText("Cottage");
    alert->setFrame({ 0, 0, 310, 350 });
    ui.window->layoutTree();
    EXPECT_EQ(alert->frame(), (Rect { 0, 0, 310, 350 }));
    EXPECT_GT(alert->buttonAtIndex(1)->frame().y(), 250) << "buttons follow the new bottom edge";
    alert->clickButtonAtIndex(1);
    EXPECT_EQ(static_cast<TextField*>(alert->viewWithTag(4))->text(), "Cottage");
    EXPECT_FALSE(field->isFirstResponder()) << "dismissal ends editing";
}

TEST(AlertView, MovesAboveTheKeyboardUnlessPlacedByHand)
{
    UiFixture ui;
    auto alert = AlertView::create("Set Location Name", "\n\n", nullptr, "Cancel", { "OK" });
    auto field = TextField::create({ 14, 50, 255, 28 });
    alert->addSubview(field);
    alert->show();
    double centred = alert->frame().midY();
    EXPECT_NEAR(centred, 240, 1);
    field->becomeFirstResponder();
    EXPECT_NEAR(alert->frame().midY(), 132, 1) << "centred in the 264 points above the keyboard";
    EXPECT_LE(alert->frame().maxY(), 264);
    field->resignFirstResponder();
    EXPECT_NEAR(alert->frame().midY(), centred, 1);

    auto placed = AlertView::create("Failed Location Posts", "\n\n\n\n\n\n\n\n\n\n", nullptr, "OK");
    placed->show();
    placed->setFrame({ 0, 0, 310, 350 });
    field->becomeFirstResponder();
    EXPECT_EQ(placed->frame(), (Rect { 0, 0, 310, 350 }));
}

TEST(AlertView, AlertsWithoutAWindowAreStillListed)
{
    hestio::test::TestRunLoop loop;
    Application app;
    auto alert = AlertView::create("Message from server", "Your heater is on", nullptr, "OK");
    alert->show();
    ASSERT_EQ(app.visibleAlerts().size(), 1u);
    EXPECT_EQ(app.topAlert()->message(), "Your heater is on");
    alert->clickButtonAtIndex(0);
    EXPECT_TRUE(app.visibleAlerts().empty());
}

TEST(AlertView, ADismissedAlertFreesItselfAndItsButtons)
{
    UiFixture ui;
    Listener listener;
    auto alert = AlertView::create("Are you sure?", "Post activity: Watered plants?", &listener, "Cancel", { "Yes" });
    alert->show();
    ui.window->layoutTree();
    std::weak_ptr<AlertView> watchedAlert = alert;
    std::weak_ptr<Button> watchedButton = alert->buttonAtIndex(1)->self<Button>();
    auto* yes = alert->buttonAtIndex(1);
    ui.fingers.tap(yes->convertToWindow(yes->bounds().center()));
    ui.settle();
    ASSERT_EQ(listener.calls.back(), "did dismiss 1");
    alert.reset();
    EXPECT_TRUE(watchedAlert.expired());
    EXPECT_TRUE(watchedButton.expired());
}

TEST(AlertView, AnAlertLeftOnScreenGoesWithItsApplicationAndWindow)
{
    std::weak_ptr<AlertView> watchedAlert;
    std::weak_ptr<Button> watchedButton;
    {
        UiFixture ui;
        auto alert = AlertView::create("Authentication Failed", "Wrong username or password", nullptr, "OK");
        alert->show();
        watchedAlert = alert;
        watchedButton = alert->buttonAtIndex(0)->self<Button>();
    }
    EXPECT_TRUE(watchedAlert.expired());
    EXPECT_TRUE(watchedButton.expired());
}
