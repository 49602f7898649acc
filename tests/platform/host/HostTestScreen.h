#pragma once

#include "platform/foundation/Log.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/PinchGestureRecognizer.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SwipeGestureRecognizer.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

#include <memory>

namespace hestio::test {

/// A screen that turns with the device.
class TurningController final : public platform::ViewController {
public:
    bool shouldAutorotateToInterfaceOrientation(platform::InterfaceOrientation) const override { return true; }
};

/// A small screen with one of each thing the host reaches: a button, two
/// fields, a pad that knows double taps, swipes and pinches, and a list that
/// counts pulls past its top. Shown in `window`; the application is launched.
class HostTestScreen : public platform::ScrollViewDelegate {
public:
    HostTestScreen(platform::Application& app, platform::Window& window)
    {
        using namespace platform;
        auto controller = std::make_shared<TurningController>();
        View& root = *controller->view();
        root.setBackgroundColor(Color::whiteColor());
        button = Button::create(Button::Type::RoundedRect, { 20, 10, 120, 40 });
        button->setTitle("Go");
        button->setAccessibilityIdentifier("goButton");
        button->addTarget(ControlEventTouchUpInside, [this](Control&) {
            status->setText("Went");
            hestio::log("go tapped");
        });
        root.addSubview(button);

        status = Label::create({ 160, 10, 140, 40 });
        status->setText("Waiting");
        status->setAccessibilityIdentifier("status");
        root.addSubview(status);

        name = TextField::create({ 20, 60, 280, 30 });
        name->setAccessibilityIdentifier("name");
        root.addSubview(name);
        other = TextField::create({ 20, 100, 280, 30 });
        other->setAccessibilityIdentifier("other");
        root.addSubview(other);

        pad = View::create({ 20, 140, 280, 100 });
        pad->setAccessibilityIdentifier("pad");
        pad->setMultipleTouchEnabled(true);
        pad->addGestureRecognizer(TapGestureRecognizer::create(
            [this](GestureRecognizer& r) {
                if (r.state() == GestureRecognizer::State::Ended)
                    ++doubleTaps;
            },
            2));
        pad->addGestureRecognizer(
            SwipeGestureRecognizer::create(SwipeGestureRecognizer::Left, [this](GestureRecognizer& r) {
                if (r.state() == GestureRecognizer::State::Ended)
                    ++leftSwipes;
            }));
        pad->addGestureRecognizer(PinchGestureRecognizer::create(
            [this](GestureRecognizer& r) { lastPinchScale = static_cast<PinchGestureRecognizer&>(r).scale(); }));
        root.addSubview(pad);

        list = ScrollView::create({ 0, 250, 320, 200 });
        list->setContentSize({ 320, 600 });
        list->setDelegate(this);
        list->setAccessibilityIdentifier("list");
        auto row = Label::create({ 10, 10, 200, 30 });
        row->setText("First row");
        list->addSubview(row);
        root.addSubview(list);

        window.setRootViewController(controller);
        window.makeKeyAndVisible();
        app.launch();
    }

    void scrollViewDidEndDragging(platform::ScrollView& scrollView, bool) override
    {
        if (scrollView.contentOffset().y < -60)
            ++refreshes;
    }

    std::shared_ptr<platform::Button> button;
    std::shared_ptr<platform::Label> status;
    std::shared_ptr<platform::TextField> name;
    std::shared_ptr<platform::TextField> other;
    std::shared_ptr<platform::View> pad;
    std::shared_ptr<platform::ScrollView> list;
    int doubleTaps { 0 };
    int leftSwipes { 0 };
    int refreshes { 0 };
    double lastPinchScale { 0 };
};

}
