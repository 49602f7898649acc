#include "platform/host/LocationMenu.h"

#include "platform/location/GeoLocationManager.h"
#include "platform/location/PositionSource.h"
#include "platform/ui/Application.h"
#include "platform/ui/Label.h"
#include "platform/ui/TouchSynthesizer.h"
#include "platform/ui/Window.h"
#include "support/TestRunLoop.h"

#include <gtest/gtest.h>

using namespace hestio::platform;
using Key = LocationMenu::Key;

namespace {

const Coordinate home { 51.5007, -0.1246 };
const Coordinate work { 51.5155, -0.0922 };

struct LocationMenuFixture : ::testing::Test {
    hestio::test::TestRunLoop loop;
    Application app;
    std::shared_ptr<Window> window { Window::create() };
    TouchSynthesizer fingers { app, [this](double s) { loop.advance(s); } };
    PositionSource source;
    GeoLocationManager manager { {}, source };
    LocationMenu menu { source, loop.clock(), [this] { return GeoLocationManager::regionsWatchedOn(source); } };

    LocationMenuFixture()
    {
        window->makeKeyAndVisible();
        manager.startMonitoringForRegion({ "Home", home, 100 });
        manager.startMonitoringForRegion({ "Work", work, 250 });
        loop.runPending();
    }
    std::vector<std::string> titles() const
    {
        std::vector<std::string> out;
        for (const auto& item : menu.items())
            out.push_back(item.title);
        return out;
    }
    View* panel() const { return window->findByAccessibilityIdentifier("locationMenu"); }
};

}

TEST_F(LocationMenuFixture, OffersTheWatchedPlacesAndStayingOnlyWithAFix)
{
    menu.open(window.get());
    EXPECT_EQ(titles(), (std::vector<std::string> { "Go to Home", "Go to Work", "Go away" }));
    ASSERT_NE(panel(), nullptr);
    auto* first = dynamic_cast<Label*>(window->findByAccessibilityIdentifier("locationMenuItem1"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->text(), "1  Go to Home");

    source.moveTo(home, loop.now());
    menu.open(window.get());
    EXPECT_EQ(titles(), (std::vector<std::string> { "Stay here", "Go to Home", "Go to Work", "Go away" }));

    GeoLocationManager other { {}, source };
    other.startMonitoringForRegion({ "Work", work, 250 });
    other.startMonitoringForRegion({ "Gym", { 51.52, -0.1 }, 80 });
    menu.open(window.get());
    EXPECT_EQ(titles(), (std::vector<std::string> { "Stay here", "Go to Home", "Go to Work", "Go to Gym", "Go away" }))
        << "a place two managers watch is offered once";
}

TEST(LocationMenu, WithNothingToGoToItSaysSoAndPicksNothing)
{
    hestio::test::TestRunLoop loop;
    Application app;
    auto window = Window::create();
    window->makeKeyAndVisible();
    PositionSource source;
    LocationMenu menu(source, loop.clock(), {});
    EXPECT_TRUE(menu.handleKey(Key::Toggle, window.get()));
    EXPECT_TRUE(menu.items().empty());
    auto* panel = window->findByAccessibilityIdentifier("locationMenu");
    ASSERT_NE(panel, nullptr);
    std::vector<std::string> texts;
    for (const auto& view : panel->subviews())
        if (auto* label = dynamic_cast<Label*>(view.get()))
            texts.push_back(label->text());
    EXPECT_EQ(texts, (std::vector<std::string> { "Location", "No saved places yet" }));
    EXPECT_TRUE(menu.handleKey(Key::Down, window.get()));
    EXPECT_TRUE(menu.handleKey(Key::Pick, window.get()));
    EXPECT_TRUE(menu.handleKey(Key::Digit, window.get(), 1));
    EXPECT_FALSE(source.current());
}

TEST_F(LocationMenuFixture, KeysChooseAndPickAndTheMenuClosesAfter)
{
    source.moveTo(home, loop.now());
    EXPECT_FALSE(menu.handleKey(Key::Down, window.get())) << "a closed menu leaves the keys to the app";
    EXPECT_TRUE(menu.handleKey(Key::Toggle, window.get()));
    EXPECT_TRUE(menu.isOpen());
    EXPECT_TRUE(menu.handleKey(Key::Up, window.get()));
    EXPECT_EQ(menu.selection(), 3u) << "up from the first line wraps to the last";
    EXPECT_TRUE(menu.handleKey(Key::Down, window.get()));
    EXPECT_TRUE(menu.handleKey(Key::Down, window.get()));
    EXPECT_TRUE(menu.handleKey(Key::Down, window.get()));
    EXPECT_EQ(menu.selection(), 2u);
    loop.advance(30);
    EXPECT_TRUE(menu.handleKey(Key::Pick, window.get()));
    EXPECT_FALSE(menu.isOpen());
    EXPECT_EQ(panel(), nullptr);
    ASSERT_TRUE(source.current());
    EXPECT_EQ(source.current()->coordinate, work);
    EXPECT_EQ(source.current()->timestamp, loop.now());

    EXPECT_TRUE(menu.handleKey(Key::Toggle, window.get()));
    EXPECT_TRUE(menu.handleKey(Key::Toggle, window.get()));
    EXPECT_FALSE(menu.isOpen()) << "F2 again closes it";
    EXPECT_TRUE(menu.handleKey(Key::Toggle, window.get()));
    EXPECT_TRUE(menu.handleKey(Key::Close, window.get()));
    EXPECT_FALSE(menu.isOpen());
    EXPECT_EQ(panel(), nullptr);

    // Staying is a fresh fix at the same place.
    loop.advance(60);
    EXPECT_TRUE(menu.handleKey(Key::Toggle, window.get()));
    EXPECT_TRUE(menu.handleKey(Key::Digit, window.get(), 1));
    EXPECT_EQ(source.current()->coordinate, work);
    EXPECT_EQ(source.current()->timestamp, loop.now());

    // A digit past the last line picks nothing and keeps the menu.
    EXPECT_TRUE(menu.handleKey(Key::Toggle, window.get()));
    EXPECT_TRUE(menu.handleKey(Key::Digit, window.get(), 5));
    EXPECT_TRUE(menu.isOpen());
}

TEST_F(LocationMenuFixture, GoingAwayLeavesEveryPlaceAndTheAppHearsTheDeparture)
{
    struct Departures : GeoLocationManagerDelegate {
        std::vector<std::string> events;
        void didExitRegion(GeoLocationManager&, const CircularRegion& r) override
        {
            events.push_back("exit " + r.identifier);
        }
        void didEnterRegion(GeoLocationManager&, const CircularRegion& r) override
        {
            events.push_back("enter " + r.identifier);
        }
    } delegate;
    manager.setDelegate(&delegate);
    source.moveTo(home, loop.now());
    loop.runPending();
    ASSERT_TRUE(delegate.events.empty()) << "the first fix only says where the device is";

    menu.open(window.get());
    menu.pick(menu.items().size() - 1);
    loop.runPending();
    EXPECT_EQ(delegate.events, (std::vector<std::string> { "exit Home" }));
    Coordinate away = source.current()->coordinate;
    EXPECT_GE(distanceBetween(away, home), 100 + LocationMenu::awayMargin);
    EXPECT_GE(distanceBetween(away, work), 250 + LocationMenu::awayMargin);
    manager.setDelegate(nullptr);
}

TEST(LocationMenu, AwayFromClearsEachPlaceWithTheMarginEvenAtThePole)
{
    struct Case {
        std::vector<CircularRegion> places;
        Coordinate start;
    };
    const Case cases[] = {
        // Already outside: stays.
        { { { "Home", home, 100 } }, { 52.5, 13.4 } },
        // Just inside the margin of the only place.
        { { { "Home", home, 100 } },
            { home.latitude + (100 + LocationMenu::awayMargin - 1) / 111194.93, home.longitude } },
        // A chain of places along the way north.
        { { { "A", { 10, 20 }, 1000 }, { "B", { 10.02, 20 }, 1000 }, { "C", { 10.045, 20 }, 1000 } }, { 10, 20 } },
        // Near the pole the way on crosses it.
        { { { "Pole", { 89.99, 30 }, 5000 } }, { 89.99, 30 } },
    };
    for (const auto& c : cases) {
        Coordinate away = LocationMenu::awayFrom(c.places, c.start);
        EXPECT_LE(std::abs(away.latitude), 90);
        EXPECT_LE(std::abs(away.longitude), 180);
        for (const auto& place : c.places)
            EXPECT_GE(distanceBetween(away, place.center), place.radius + LocationMenu::awayMargin)
                << place.identifier << " from " << away.latitude << "," << away.longitude;
    }
    EXPECT_EQ(LocationMenu::awayFrom({ { "Home", home, 100 } }, { 52.5, 13.4 }), (Coordinate { 52.5, 13.4 }));
}

TEST_F(LocationMenuFixture, TappingALinePicksIt)
{
    menu.open(window.get());
    ASSERT_NE(panel(), nullptr);
    Rect frame = panel()->frame();
    // The second line: below the title, 30 points a line.
    fingers.tap({ frame.origin.x + 40, frame.origin.y + 34 + 30 + 15 });
    EXPECT_FALSE(menu.isOpen());
    ASSERT_TRUE(source.current());
    EXPECT_EQ(source.current()->coordinate, work);
    EXPECT_EQ(panel(), nullptr);
}
