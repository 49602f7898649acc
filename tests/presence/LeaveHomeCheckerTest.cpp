#include "../app/SessionTestSupport.h"

#include "model/LeaveHomeCheck.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/location/PositionSource.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/DesktopNotifications.h"
#include "session/LeaveHomeChecker.h"
#include "support/NotificationDaemon.h"

#include <algorithm>
#include <set>

using namespace hestio;
using platform::Coordinate;
using platform::FakeTransport;

namespace {

const Coordinate home { 40.712776, -74.005974 };
const Coordinate away { 40.8, -74.1 };

struct LeaveHomeCheckerTest : test::SessionFixture {
    std::shared_ptr<LocationManager> manager;

    LeaveHomeCheckerTest()
    {
        platform::PositionSource::shared().clear();
        manager = LocationManager::create(userSession());
        auto user = User::initWithUsername("demo", "T");
        user->tokenExpiration = 1354752000000.0 + 3600000;
        session().setCurUser(user);
        ServiceEnvironment::shared().currentToken = [this] { return session().currentToken(); };
        markHome({ "Home" });
        moveTo(home);
        manager->startMonitoringRegionWithCenter(home, "Home");
        loop.runPending();
    }
    ~LeaveHomeCheckerTest() override { platform::PositionSource::shared().clear(); }

    void moveTo(Coordinate c)
    {
        platform::PositionSource::shared().moveTo(c, loop.now());
        loop.runPending();
    }
    /// A device object of the device list reading `watts` now.
    std::string deviceJSON(int id, const std::string& name, const std::string& watts, bool onOff = true) const
    {
        auto stamp = static_cast<long long>(loop.now().millisecondsSince1970()) - 10'000;
        return R"({"id":)" + std::to_string(id) + R"(,"name":")" + name
            + R"(","location":"Living room","meterPluggedIn":true,"meterSupplyingPower":true,"currentStatus":{"timestamp":)"
            + std::to_string(stamp) + R"(,"powerDraw":)" + watts + "}"
            + (onOff ? R"(,"onOff":{"device_id":)" + std::to_string(id) + R"(,"id":)" + std::to_string(id % 100) + "}"
                     : std::string())
            + "}";
    }
    FakeTransport::Reply deviceList(const std::vector<std::string>& devices) const
    {
        std::string list;
        for (const auto& d : devices)
            list += (list.empty() ? "" : ",") + d;
        return FakeTransport::Reply::json(R"({"success":true,"devices":[)" + list + "]}");
    }
    /// The household walks out: the movement's answer, then the list's.
    void leave(FakeTransport::Reply list)
    {
        transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
        transport->enqueue(std::move(list));
        moveTo(away);
    }
    FakeTransport::Reply heaterAndTV() const
    {
        return deviceList({ deviceJSON(108, "TV", "90"), deviceJSON(107, "Heater", "1800"),
            deviceJSON(105, "Lamp", "12"), deviceJSON(104, "Fridge", "150", false) });
    }
    std::shared_ptr<LeaveHomeChecker> checker() { return userSession()->leaveHomeChecker(); }
    std::vector<std::string> buttons() const
    {
        std::vector<std::string> titles;
        if (auto* alert = application->topAlert())
            for (int i = 0; i < alert->numberOfButtons(); ++i)
                titles.push_back(alert->buttonTitleAtIndex(i));
        return titles;
    }
    void tap(const std::string& title)
    {
        auto* alert = application->topAlert();
        ASSERT_NE(alert, nullptr);
        for (int i = 0; i < alert->numberOfButtons(); ++i)
            if (alert->buttonTitleAtIndex(i) == title)
                return alert->clickButtonAtIndex(i);
        FAIL() << "no button " << title;
    }
    std::vector<std::string> results() const
    {
        std::vector<std::string> texts;
        for (const auto& n : notifications.entries())
            texts.push_back(n.alertBody);
        return texts;
    }
    void setThreshold(std::optional<double> watts)
    {
        LeaveHomeThreshold { watts }.save(platform::UserDefaults::standard(), "demo");
    }
    static void markHome(std::set<std::string> titles, bool asked = true)
    {
        HomePlaces { std::move(titles), asked }.save(platform::UserDefaults::standard(), "demo");
    }
    static HomePlaces homePlaces() { return HomePlaces::load(platform::UserDefaults::standard(), "demo"); }
    std::size_t deviceListRequests() const
    {
        std::size_t count = 0;
        for (const auto& line : requestLines())
            count += line.find("/api/device?") != std::string::npos;
        return count;
    }
};

}

TEST_F(LeaveHomeCheckerTest, LeavingPostsTheMovementUnchangedThenListsWhatIsOnAndSwitchesItOff)
{
    auto at = static_cast<long long>(loop.now().millisecondsSince1970());
    leave(heaterAndTV());
    auto lines = requestLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
        "POST https://localhost:8443/kivoraserver/api/movement action=LEFT&title=Home&longitude=-74.005974&"
        "latitude=40.712776&timestamp="
            + std::to_string(at) + "&token=T")
        << "the movement is posted first, as it always was";
    EXPECT_EQ(lines[1], "GET https://localhost:8443/kivoraserver/api/device?token=T&action=true&token=T")
        << "the Devices tab's request";
    ASSERT_NE(application->topAlert(), nullptr);
    EXPECT_EQ(application->topAlert()->title(), "Leaving home");
    EXPECT_EQ(
        application->topAlert()->message(), "Still on at home: Heater 1.80\u00a0kW, Fridge 150\u00a0W, TV 90\u00a0W");
    EXPECT_EQ(buttons(), (std::vector<std::string> { "Dismiss", "Switch off Heater", "Switch off TV" }))
        << "the fridge has no on/off action";

    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    tap("Switch off Heater");
    EXPECT_EQ(transport->lastRequest().url, "https://localhost:8443/kivoraserver/api/action?");
    EXPECT_EQ(transport->lastRequest().body, "device_id=107&act_id=7&act_value=0&token=T");
    EXPECT_EQ(buttons(), (std::vector<std::string> { "Dismiss", "Switch off TV" })) << "the rest stays on offer";
    loop.runPending();
    EXPECT_EQ(results(), (std::vector<std::string> { "Heater switched off" }));
    ASSERT_NE(application->topAlert(), nullptr);
    EXPECT_EQ(application->topAlert()->message(), "Still on at home: Fridge 150\u00a0W, TV 90\u00a0W")
        << "the notice stops naming what was switched off";
    EXPECT_EQ(buttons(), (std::vector<std::string> { "Dismiss", "Switch off TV" }));
    tap("Dismiss");
    EXPECT_EQ(application->topAlert(), nullptr);
    EXPECT_EQ(transport->requestCount(), 3u);
}

TEST_F(LeaveHomeCheckerTest, TheThresholdIsTheUsersAndOffSwitchesTheCheckOff)
{
    setThreshold(90);
    leave(deviceList({ deviceJSON(108, "TV", "90"), deviceJSON(109, "Radio", "90.000001") }));
    ASSERT_NE(application->topAlert(), nullptr);
    EXPECT_EQ(application->topAlert()->message(), "Still on at home: Radio 90\u00a0W") << "exactly 90 W is not more";
    tap("Dismiss");

    moveTo(home);
    transport->clearRequests();
    setThreshold(std::nullopt);
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    moveTo(away);
    EXPECT_EQ(transport->requestCount(), 1u) << "only the movement; no device list";
    EXPECT_EQ(application->topAlert(), nullptr);
    EXPECT_TRUE(logs.contains("Leave-home check: off"));
}

TEST_F(LeaveHomeCheckerTest, NothingOverTheThresholdOrAListThatFailsShowsNothing)
{
    const std::pair<const char*, FakeTransport::Reply> cases[] = {
        { "nothing on", deviceList({ deviceJSON(105, "Lamp", "12") }) },
        { "refused", FakeTransport::Reply::json(R"({"success":false,"error":"no"})") },
        { "error page", FakeTransport::Reply::json("<html>Bad Gateway</html>", 502) },
        { "unreachable", FakeTransport::Reply::failure() },
    };
    for (const auto& [what, reply] : cases) {
        SCOPED_TRACE(what);
        leave(reply);
        EXPECT_EQ(application->topAlert(), nullptr);
        EXPECT_TRUE(results().empty());
        moveTo(home);
    }
}

TEST_F(LeaveHomeCheckerTest, EachSwitchOffReportsItsOwnOutcome)
{
    struct Case {
        const char* what;
        FakeTransport::Reply reply;
        const char* result;
    };
    Case cases[] = {
        { "accepted", FakeTransport::Reply::json(R"({"success":true})"), "Heater switched off" },
        { "refused", FakeTransport::Reply::json(R"({"success":false,"error":"device 107 is locked"})"),
            "Heater was not switched off: device 107 is locked" },
        { "refused without a reason", FakeTransport::Reply::json(R"({"success":false})"),
            "Heater was not switched off: the service refused." },
        { "not the service's answer", FakeTransport::Reply::json("<html>Bad Gateway</html>", 502),
            "Heater was not switched off: the service's answer could not be read." },
        { "unreachable", FakeTransport::Reply::failure(),
            "Heater was not switched off: the service could not be reached." },
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        notifications.clear();
        leave(heaterAndTV());
        transport->enqueue(std::move(c.reply));
        tap("Switch off Heater");
        loop.runPending();
        EXPECT_EQ(results(), (std::vector<std::string> { c.result }));
        bool offeredAgain = buttons() == std::vector<std::string> { "Dismiss", "Switch off Heater", "Switch off TV" };
        EXPECT_EQ(offeredAgain, std::string(c.what) != "accepted") << "a failed switch-off can be tried again";
        tap("Dismiss");
        moveTo(home);
    }
}

TEST_F(LeaveHomeCheckerTest, TwoSwitchOffsInFlightBothReportWhateverOrderTheyEndIn)
{
    leave(heaterAndTV());
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(5));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false,"error":"busy"})").after(1));
    tap("Switch off Heater");
    // The same device again from the desktop while its request is on its way:
    // not sent twice.
    checker()->switchOff(0);
    tap("Switch off TV");
    EXPECT_EQ(application->topAlert(), nullptr) << "nothing left to offer";
    EXPECT_EQ(transport->requestCount(), 4u);
    loop.advance(1);
    EXPECT_EQ(results(), (std::vector<std::string> { "TV was not switched off: busy" }));
    EXPECT_EQ(buttons(), (std::vector<std::string> { "Dismiss", "Switch off TV" }));
    loop.advance(4);
    EXPECT_EQ(results(), (std::vector<std::string> { "TV was not switched off: busy", "Heater switched off" }));
}

TEST_F(LeaveHomeCheckerTest, ALateListAfterComingBackOrSigningOutIsDropped)
{
    leave(heaterAndTV().after(5));
    loop.advance(1);
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    moveTo(home);
    loop.advance(10);
    EXPECT_EQ(application->topAlert(), nullptr) << "back home before the list came";

    leave(heaterAndTV().after(5));
    loop.advance(1);
    platform::NotificationCenter::defaultCenter().post("UserLoggedOut");
    loop.advance(10);
    EXPECT_EQ(application->topAlert(), nullptr) << "signed out before the list came";
    EXPECT_FALSE(checker()->isDownloading());
}

TEST_F(LeaveHomeCheckerTest, ComingBackClosesTheNoticeButASwitchOffOnItsWayStillReports)
{
    leave(heaterAndTV());
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(3));
    tap("Switch off Heater");
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    moveTo(home);
    EXPECT_EQ(application->topAlert(), nullptr);
    EXPECT_EQ(checker()->notice(), nullptr);
    loop.advance(3);
    EXPECT_EQ(results(), (std::vector<std::string> { "Heater switched off" }));
}

TEST_F(LeaveHomeCheckerTest, OutOfViewTheDesktopNotificationCarriesTheSameActions)
{
    std::vector<platform::DesktopNotice> desktop;
    application->setDesktopNotifier([&](const platform::DesktopNotice& n) { desktop.push_back(n); });
    activate();
    application->setDelegate(nullptr);
    application->enterBackground();
    leave(heaterAndTV());
    ASSERT_EQ(desktop.size(), 1u);
    EXPECT_EQ(desktop[0].body, "Still on at home: Heater 1.80\u00a0kW, Fridge 150\u00a0W, TV 90\u00a0W");
    ASSERT_EQ(desktop[0].actions.size(), 2u);
    EXPECT_EQ(desktop[0].actions[0].label, "Switch off Heater");
    EXPECT_EQ(desktop[0].actions[1].label, "Switch off TV");

    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    desktop[0].onAction(desktop[0].actions[1].key);
    EXPECT_EQ(transport->lastRequest().body, "device_id=108&act_id=8&act_value=0&token=T");
    loop.runPending();
    EXPECT_EQ(results(), (std::vector<std::string> { "TV switched off" }));
    // The daemon closed the first; the heater is offered again in a new one,
    // and the app's own alert offers the same.
    ASSERT_GE(desktop.size(), 2u);
    EXPECT_EQ(desktop[1].actions.size(), 1u);
    EXPECT_EQ(buttons(), (std::vector<std::string> { "Dismiss", "Switch off Heater" }));
    std::size_t sent = transport->requestCount();
    desktop[0].onAction(desktop[0].actions[1].key);
    EXPECT_EQ(transport->requestCount(), sent) << "the TV is off already";
    for (const char* key :
        { "switch-off-", "switch-off-x", "switch-off-0x", "switch-off-99999999999999999999", "default" })
        desktop[1].onAction(key);
    EXPECT_EQ(transport->requestCount(), sent) << "keys the notice never had send nothing";
}

TEST_F(LeaveHomeCheckerTest, ManyDevicesOnOffersASwitchForEachNamedOne)
{
    std::vector<std::string> devices;
    for (int i = 1; i <= 7; ++i)
        devices.push_back(deviceJSON(100 + i, "D" + std::to_string(i), std::to_string(i * 100)));
    leave(deviceList(devices));
    ASSERT_NE(application->topAlert(), nullptr);
    EXPECT_EQ(application->topAlert()->message(),
        "Still on at home: D7 700\u00a0W, D6 600\u00a0W, D5 500\u00a0W, D4 400\u00a0W, D3 300\u00a0W and 2 more");
    EXPECT_EQ(buttons(),
        (std::vector<std::string> {
            "Dismiss", "Switch off D7", "Switch off D6", "Switch off D5", "Switch off D4", "Switch off D3" }));
}

TEST_F(LeaveHomeCheckerTest, OnlyLeavingHomeChecksAndWithNoneMarkedTheFirstDepartureAsksOnce)
{
    // Another place: nothing asked for, nothing shown.
    checker()->left("Office");
    EXPECT_EQ(deviceListRequests(), 0u);
    EXPECT_EQ(application->topAlert(), nullptr);
    EXPECT_TRUE(logs.contains("Leave-home check: Office is not home"));

    // None marked: the first departure asks, and "Not Home" is kept.
    markHome({}, false);
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    moveTo(away);
    EXPECT_EQ(deviceListRequests(), 0u) << "no check before the answer";
    ASSERT_NE(application->topAlert(), nullptr);
    EXPECT_EQ(application->topAlert()->title(), "Is This Home?");
    EXPECT_EQ(application->topAlert()->message(),
        "You left \"Home\". Is it your home? Leaving home checks what is still on there; the account screen's "
        "\"When You Leave\" section says which places count as home.");
    EXPECT_EQ(buttons(), (std::vector<std::string> { "Not Home", "It's Home" }));
    tap("Not Home");
    EXPECT_EQ(application->topAlert(), nullptr);
    EXPECT_EQ(homePlaces(), (HomePlaces { {}, true }));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    moveTo(home);
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    moveTo(away);
    EXPECT_EQ(application->topAlert(), nullptr) << "asked once";
    EXPECT_EQ(deviceListRequests(), 0u);

    // "It's Home" marks the place and checks at once: it was just left.
    markHome({}, false);
    moveTo(home);
    leave(heaterAndTV());
    tap("It's Home");
    loop.runPending();
    EXPECT_EQ(homePlaces(), (HomePlaces { { "Home" }, true }));
    EXPECT_EQ(deviceListRequests(), 1u);
    ASSERT_NE(application->topAlert(), nullptr);
    EXPECT_EQ(
        application->topAlert()->message(), "Still on at home: Heater 1.80\u00a0kW, Fridge 150\u00a0W, TV 90\u00a0W");

    // With the check off nothing is asked.
    markHome({}, false);
    setThreshold(std::nullopt);
    checker()->left("Office");
    EXPECT_EQ(checker()->question(), nullptr);
}

TEST_F(LeaveHomeCheckerTest, ASwitchOffIsSentOnlyForADeviceTheNoticeOffersToTheUserSignedIn)
{
    std::vector<std::string> devices { deviceJSON(104, "Fridge", "9000", false) };
    for (int i = 1; i <= 6; ++i)
        devices.push_back(deviceJSON(100 + i, "D" + std::to_string(i), std::to_string(i * 100)));
    leave(deviceList(devices)); // Fridge, D6, D5, D4, D3 named; D2, D1 counted
    std::size_t sent = transport->requestCount();
    for (std::size_t index : { 0, 5, 6, 7, 99 })
        checker()->switchOff(index);
    EXPECT_EQ(transport->requestCount(), sent) << "no on/off action, not named, or no such device";
    ASSERT_NE(checker()->notice(), nullptr);

    // Another user signed in behind the notice's back (no sign-out was
    // announced): the notice offers nothing to them.
    session().setCurUser(User::initWithUsername("other", "T2"));
    checker()->switchOff(1);
    EXPECT_EQ(transport->requestCount(), sent);
    session().setCurUser(User::initWithUsername("demo", "T"));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(2));
    checker()->switchOff(4);
    EXPECT_EQ(transport->requestCount(), sent + 1);
    EXPECT_EQ(transport->lastRequest().body, "device_id=103&act_id=3&act_value=0&token=T");

    // Its outcome comes after the next user signed in: not theirs to read.
    session().setCurUser(User::initWithUsername("other", "T2"));
    loop.advance(2);
    EXPECT_TRUE(results().empty());
    EXPECT_TRUE(logs.contains("Leave-home check: a switch-off ended after its user signed out"));
}

TEST_F(LeaveHomeCheckerTest, SigningOutEndsTheNoticeTheQuestionAndTheDesktopNoticeWithTheirActions)
{
    std::vector<platform::DesktopNotice> desktop;
    application->setDesktopNotifier([&](const platform::DesktopNotice& n) { desktop.push_back(n); });
    leave(heaterAndTV());
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(3));
    tap("Switch off Heater");
    ASSERT_FALSE(desktop.empty());
    EXPECT_EQ(desktop.back().tag, "leave-home");
    auto lastAction = desktop.back().onAction;

    platform::NotificationCenter::defaultCenter().post("UserLoggedOut");
    EXPECT_EQ(application->topAlert(), nullptr);
    EXPECT_EQ(checker()->notice(), nullptr);
    ASSERT_FALSE(desktop.empty());
    EXPECT_TRUE(desktop.back().withdrawn);
    EXPECT_EQ(desktop.back().tag, "leave-home");
    session().setCurUser(User::initWithUsername("other", "T2"));
    std::size_t sent = transport->requestCount();
    lastAction("switch-off-2");
    EXPECT_EQ(transport->requestCount(), sent) << "the old notice's actions are gone";
    loop.advance(3);
    EXPECT_TRUE(results().empty()) << "the heater's outcome is not the next user's";

    // The question goes the same way.
    session().setCurUser(User::initWithUsername("demo", "T"));
    markHome({}, false);
    checker()->left("Home");
    ASSERT_NE(checker()->question(), nullptr);
    auto answer = desktop.back().onAction;
    EXPECT_EQ(desktop.back().actions.size(), 2u);
    platform::NotificationCenter::defaultCenter().post("UserLoggedOut");
    EXPECT_EQ(checker()->question(), nullptr);
    EXPECT_EQ(application->topAlert(), nullptr);
    EXPECT_TRUE(desktop.back().withdrawn);
    answer("home");
    EXPECT_EQ(homePlaces(), (HomePlaces { {}, false }));
    EXPECT_EQ(transport->requestCount(), sent + 0u);
}

TEST_F(LeaveHomeCheckerTest, OnTheDesktopTheQuestionAndTheNoticeAreOneNoticeWhoseActionsGoWhenNoLongerOffered)
{
    std::vector<platform::DesktopNotice> desktop;
    application->setDesktopNotifier([&](const platform::DesktopNotice& n) { desktop.push_back(n); });
    markHome({}, false);
    // The name as the list's JSON writes it: quotes escaped, an override.
    leave(deviceList({ deviceJSON(107, R"(<b>Heater</b> & \"TV\"\u202e)", "1800") }));
    ASSERT_EQ(desktop.size(), 1u);
    EXPECT_EQ(desktop[0].tag, "leave-home");
    ASSERT_EQ(desktop[0].actions.size(), 2u);
    EXPECT_EQ(desktop[0].actions[0].label, "It's Home");
    desktop[0].onAction("home");
    loop.runPending();
    EXPECT_EQ(homePlaces(), (HomePlaces { { "Home" }, true }));
    ASSERT_GE(desktop.size(), 3u);
    EXPECT_TRUE(desktop[1].withdrawn) << "the answered question";
    const auto& notice = desktop.back();
    EXPECT_EQ(notice.tag, "leave-home") << "in the question's place";
    EXPECT_EQ(notice.body, "Still on at home: <b>Heater</b> & \"TV\" 1.80\u00a0kW")
        << "no override; markup is escaped below";
    ASSERT_EQ(notice.actions.size(), 1u);
    EXPECT_EQ(notice.actions[0].label, "Switch off <b>Heater</b> & \"TV\"");

    // While its one switch-off is on the way the notice offers nothing; a
    // refusal offers it again, and the notice tells why; once off, the
    // notice says so. The outcomes come in that one notice, not beside it.
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false,"error":"busy"})"));
    std::size_t before = desktop.size();
    notice.onAction(notice.actions[0].key);
    EXPECT_TRUE(desktop.back().actions.empty());
    EXPECT_FALSE(desktop.back().withdrawn);
    loop.runPending();
    EXPECT_EQ(desktop.back().body,
        "<b>Heater</b> & \"TV\" was not switched off: busy\nStill on at home: <b>Heater</b> & \"TV\" 1.80\u00a0kW");
    ASSERT_EQ(desktop.back().actions.size(), 1u);
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    desktop.back().onAction(desktop.back().actions[0].key);
    loop.runPending();
    EXPECT_EQ(desktop.back().body, "<b>Heater</b> & \"TV\" switched off");
    EXPECT_TRUE(desktop.back().actions.empty());
    EXPECT_EQ(desktop.size(), before + 4);
    for (std::size_t i = before; i < desktop.size(); ++i)
        EXPECT_EQ(desktop[i].tag, "leave-home");
    EXPECT_EQ(results(),
        (std::vector<std::string> {
            "<b>Heater</b> & \"TV\" was not switched off: busy", "<b>Heater</b> & \"TV\" switched off" }))
        << "still told in the app";
}

TEST_F(LeaveHomeCheckerTest, ADeviceNamedInMarkupReachesTheNotificationDaemonEscaped)
{
    test::NotificationDaemon desktop;
    ASSERT_EQ(desktop.start(), "");
    platform::DesktopNotifications notifications(loop.loop(), { desktop.bus.address() });
    platform::routeDesktopNotices(
        *application, notifications, [] { return false; }, [] {});
    // The name as the list's JSON writes it.
    leave(deviceList({ deviceJSON(107, R"(<b>Heater</b> & \"TV\")", "1800") }));
    ASSERT_TRUE(test::runUntil(loop.loop(), [&] { return notifications.shownCount() == 1; }));
    EXPECT_EQ(desktop.daemon->calls(),
        (std::vector<std::string> {
            "Notify('Hestio', 0, 'hestio', 'Hestio', 'Still on at home: &lt;b&gt;Heater&lt;/b&gt; &amp; \"TV\" "
            "1.80\u00a0kW', ['default', 'Open', 'switch-off-0', 'Switch off &lt;b&gt;Heater&lt;/b&gt; &amp; \"TV\"'], "
            "{'desktop-entry': <'hestio'>}, -1)" }));

    // Picked on the desktop, the switch-off goes out; the one notice then
    // offers nothing while it is on its way, and tells the outcome.
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    desktop.invoke(41, "switch-off-0");
    ASSERT_TRUE(test::runUntil(loop.loop(), [&] { return desktop.daemon->calls().size() == 3; }));
    EXPECT_EQ(transport->lastRequest().body, "device_id=107&act_id=7&act_value=0&token=T");
    EXPECT_EQ(desktop.daemon->calls()[2],
        "Notify('Hestio', 41, 'hestio', 'Hestio', '&lt;b&gt;Heater&lt;/b&gt; &amp; \"TV\" switched off', "
        "['default', 'Open'], {'desktop-entry': <'hestio'>}, -1)");
    application->setDesktopNotifier({});
}
