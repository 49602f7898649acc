#include "app/SessionTestSupport.h"

#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Control.h"
#include "platform/ui/KeyPress.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/TabBarController.h"

#include <functional>

using namespace hestio;
using namespace platform;

namespace {

// The test clock starts at 2012-12-06 00:00:00 UTC; the readings are from
// 23:58 the day before.
const struct {
    const char* url;
    const char* body;
} kReplies[] = {
    { "/session", nullptr }, // the sign-in reply
    { "suggestion=true",
        R"({"success":true,"devices":[{"id":9,"name":"Fridge","location":"Kitchen","suggestions":[{"id":1083,"name":"Raise the fridge by a degree"}]}]})" },
    { "/api/battery",
        R"({"success":true,"statuses":[{"timestamp":1354751880000,"percentage":55,"voltage":12.6,"isCharging":true}]})" },
    { "/api/device",
        R"({"success":true,"devices":[{"id":9,"name":"Fridge","location":"Kitchen","meterPluggedIn":true,"currentStatus":{"timestamp":1354751880000,"powerDraw":80},"onOff":{"device_id":"9","id":7}},{"id":4,"name":"Heater","location":"Bedroom","meterPluggedIn":true,"currentStatus":{"timestamp":1354751880000,"powerDraw":1800},"onOff":{"device_id":"4","id":8}}]})" },
    { "/api/schedule",
        R"({"success":true,"schedules":[{"title":"Home","startHour":8,"startMin":0,"endHour":17,"endMin":30,"repeatDays":"135"}]})" },
    { "/api/activity", R"({"success":true,"activities":[{"title":"Watered the ferns","id":3}]})" },
    { "/api/location", R"({"success":true,"locations":[{"title":"Home","latitude":40.7128,"longitude":-74.006}]})" },
    { "/api/user",
        R"({"success":true,"allUsers":[{"username":"demo","type":"Admin","household":{"name":"The Demos"}}]})" },
    { "/api/movement", R"({"success":true,"movements":[]})" },
};

/// The whole app against a fake service that answers every list, driven as
/// a person with a keyboard drives it.
struct FocusOrderFixture : test::SessionFixture {
    FocusOrderFixture()
    {
        transport->setHandler([](const HttpRequest& request) {
            for (const auto& reply : kReplies)
                if (request.url.find(reply.url) != std::string::npos)
                    return FakeTransport::Reply::json(reply.body ? reply.body : signInReply("T0K3N", 1354838400000.0));
            return FakeTransport::Reply::json(R"({"success":true})");
        });
    }
    void TestBody() override { }

    void settle()
    {
        for (int i = 0; i < 6; ++i) {
            loop.runPending();
            loop.advance(0.5);
        }
    }
    Window& window() { return *session().window; }
    /// Presses what shows `text` (or carries the identifier "#id") as a
    /// tap does, also when the keyboard covers it.
    void tap(const std::string& text)
    {
        window().layoutTree();
        View* view = nullptr;
        if (text.front() == '#') {
            auto found = window().findAll([&](const View& v) { return v.accessibilityIdentifier() == text.substr(1); });
            view = found.empty() ? nullptr : found.front();
        } else {
            view = window().findByText(text);
        }
        ASSERT_TRUE(view) << "nothing shows " << text;
        // A button's title presses the button.
        for (View* v = view; v; v = v->superview())
            if (dynamic_cast<Control*>(v)) {
                view = v;
                break;
            }
        ASSERT_TRUE(performAccessibleAction(*application, { view })) << text << " cannot be pressed";
        settle();
    }
    void key(const std::string& name)
    {
        application->sendKey(*KeyPress::named(name));
        loop.advance(0.5);
    }
    /// The focused control as a screen reader names it.
    std::string focused()
    {
        auto* view = dynamic_cast<View*>(application->firstResponder());
        if (!view)
            return "(nothing)";
        AccessibleNode node { view };
        if (dynamic_cast<TabBar*>(view))
            node.part = view->keyboardFocusStop();
        return accessibleInfo(*application, node).name;
    }
    /// Tab (or Shift+Tab) from nothing focused until the focus comes back
    /// to the stop it started at: the screen's reading order, wrapped once.
    std::vector<std::string> walk(const std::string& name)
    {
        // From nothing focused.
        application->touchBegan();
        if (auto* responder = application->firstResponder())
            responder->resignFirstResponder();
        std::vector<std::string> seen;
        std::pair<View*, int> first { nullptr, 0 };
        for (int i = 0; i < 60; ++i) {
            key(name);
            auto* view = dynamic_cast<View*>(application->firstResponder());
            std::pair<View*, int> at { view, view ? view->keyboardFocusStop() : 0 };
            if (!seen.empty() && at == first)
                break;
            if (seen.empty())
                first = at;
            seen.push_back(focused());
        }
        return seen;
    }
};

}

TEST(FocusOrder, EachScreenOfTheTourIsReadInOrderByTabAndBackwardsByShiftTabWrappingAtBothEnds)
{
    struct Step {
        const char* screen;
        /// How it is reached from the screen before.
        std::function<void(FocusOrderFixture&)> open;
        std::vector<std::string> order;
    };
    const Step steps[] = {
        { "sign in", [](FocusOrderFixture&) {}, { "Choose the service", "User name", "Password", "Sign In" } },
        { "the sign-in's alert", [](FocusOrderFixture& f) { f.tap("Sign In"); }, { "OK" } },
        { "suggestions",
            [](FocusOrderFixture& f) {
                f.tap("OK");
                f.tap("#username");
                f.application->sendText("demo");
                f.tap("#password");
                f.application->sendText("demo");
                f.tap("Sign In");
            },
            { "Fridge", "Follow", "Ignore", "Suggestions", "Home", "Devices", "Schedule", "Log" } },
        { "home", [](FocusOrderFixture& f) { f.key("Ctrl+2"); },
            { "Account", "Power now", "Energy today", "Heater", "Fridge", "Battery", "Charging (AC Generator)",
                "Suggestions", "Home", "Devices", "Schedule", "Log" } },
        { "account", [](FocusOrderFixture& f) { f.tap("Account"); },
            { "Home", "Log Out", "Type", "Household", "Change your password", "Energy price", "Suggestions", "Home",
                "Devices", "Schedule", "Log" } },
        { "energy price", [](FocusOrderFixture& f) { f.tap("Energy price"); },
            { "Back", "Save", "Standard price", "per kWh", "Currency", "Choose", "Off-peak tariff", "Off-peak tariff",
                "Suggestions", "Home", "Devices", "Schedule", "Log" } },
        { "devices",
            [](FocusOrderFixture& f) {
                f.key("Escape");
                f.key("Escape");
                f.key("Ctrl+3");
            },
            { "Edit", "Heater", "Fridge", "Suggestions", "Home", "Devices", "Schedule", "Log" } },
        { "device detail", [](FocusOrderFixture& f) { f.tap("Heater"); },
            { "Back", "Power", "Power", "Device Status", "Power Draw", "Power Draw", "Energy Used", "Suggestions",
                "Home", "Devices", "Schedule", "Log" } },
        { "power graph", [](FocusOrderFixture& f) { f.tap("#powerDrawButton"); }, { "Done", "Export" } },
        { "schedule",
            [](FocusOrderFixture& f) {
                f.tap("Done");
                f.key("Ctrl+4");
            },
            { "Edit", "Add Schedule", "Home", "Suggestions", "Home", "Devices", "Schedule", "Log" } },
        { "new schedule", [](FocusOrderFixture& f) { f.tap("Add Schedule"); },
            { "Schedule", "Save", "Title:", "Title:", "Leave At:", "Arrive At:", "7:02 PM", "7:02 PM", "7:02 PM",
                "Suggestions", "Home", "Devices", "Schedule", "Log" } },
        { "log",
            [](FocusOrderFixture& f) {
                f.key("Escape");
                f.key("Ctrl+5");
            },
            { "Watered the ferns", "What did you do?", "Post", "Suggestions", "Home", "Devices", "Schedule", "Log" } },
        { "the log's confirmation", [](FocusOrderFixture& f) { f.tap("Watered the ferns"); }, { "Cancel", "Yes" } },
    };
    FocusOrderFixture f;
    f.session().applicationDidFinishLaunching(false);
    f.activate();
    f.settle();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.screen);
        step.open(f);
        f.settle();
        auto forward = f.walk("Tab");
        EXPECT_EQ(forward, step.order);
        auto backward = f.walk("Shift+Tab");
        std::reverse(backward.begin(), backward.end());
        EXPECT_EQ(backward, step.order) << "Shift+Tab reads the same stops backwards";
        EXPECT_TRUE(test::unnamedControls(*f.application).empty())
            << ::testing::PrintToString(test::unnamedControls(*f.application));
    }
}
