#include "platform/foundation/NotificationCenter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using hestio::platform::Notification;
using hestio::platform::NotificationCenter;

TEST(NotificationCenter, DeliversSynchronouslyInRegistrationOrderWithSenderAndUserInfo)
{
    NotificationCenter center;
    std::vector<std::string> calls;
    int a = 0, b = 0, sender = 0;
    center.addObserver(&b, "Changed", [&](const Notification& n) {
        calls.push_back("b " + std::any_cast<std::string>(n.userInfo.at("what")));
        EXPECT_EQ(n.sender, &sender);
        EXPECT_EQ(n.name, "Changed");
    });
    center.addObserver(&a, "Changed", [&](const Notification&) { calls.push_back("a"); });
    center.addObserver(&a, "Other", [&](const Notification&) { calls.push_back("other"); });

    center.post("Changed", &sender, { { "what", std::string("battery") } });
    EXPECT_EQ(calls, (std::vector<std::string> { "b battery", "a" }));
}

TEST(NotificationCenter, SenderFilterLimitsDeliveryToThatSender)
{
    NotificationCenter center;
    int observer = 0, one = 0, other = 0;
    int fromOne = 0, fromAny = 0;
    center.addObserver(
        &observer, "N", [&](const Notification&) { ++fromOne; }, &one);
    center.addObserver(&observer, "N", [&](const Notification&) { ++fromAny; });
    center.post("N", &one);
    center.post("N", &other);
    center.post("N");
    EXPECT_EQ(fromOne, 1);
    EXPECT_EQ(fromAny, 3);
}

TEST(NotificationCenter, RemovesByTokenByObserverAndByObserverAndName)
{
    NotificationCenter center;
    int a = 0, b = 0;
    std::vector<std::string> calls;
    auto record = [&](std::string what) { return [&calls, what](const Notification&) { calls.push_back(what); }; };
    auto token = center.addObserver(&a, "X", record("a X 1"));
    center.addObserver(&a, "X", record("a X 2"));
    center.addObserver(&a, "Y", record("a Y"));
    center.addObserver(&b, "X", record("b X"));
    center.addObserver(&b, "Y", record("b Y"));

    center.removeObserver(token);
    center.removeObserver(&b, std::string("X"));
    center.post("X");
    center.post("Y");
    EXPECT_EQ(calls, (std::vector<std::string> { "a X 2", "a Y", "b Y" }));

    calls.clear();
    center.removeObserver(static_cast<const void*>(&a));
    center.post("X");
    center.post("Y");
    EXPECT_EQ(calls, (std::vector<std::string> { "b Y" }));
    EXPECT_EQ(center.observerCount("X"), 0u);
    EXPECT_EQ(center.observerCount("Y"), 1u);
}

TEST(NotificationCenter, RemovalDuringDeliveryTakesEffectAtOnce)
{
    NotificationCenter center;
    int first = 0, second = 0, third = 0;
    std::vector<std::string> calls;
    center.addObserver(&first, "N", [&](const Notification&) {
        calls.push_back("first");
        center.removeObserver(static_cast<const void*>(&first)); // itself
        center.removeObserver(static_cast<const void*>(&second)); // one not yet called
    });
    center.addObserver(&second, "N", [&](const Notification&) { calls.push_back("second"); });
    center.addObserver(&third, "N", [&](const Notification&) { calls.push_back("third"); });
    center.post("N");
    center.post("N");
    EXPECT_EQ(calls, (std::vector<std::string> { "first", "third", "third" }));
    EXPECT_EQ(center.observerCount("N"), 1u);
}

TEST(NotificationCenter, ObserversAddedDuringDeliveryHearOnlyLaterPosts)
{
    NotificationCenter center;
    int observer = 0;
    int lateCalls = 0;
    bool added = false;
    center.addObserver(&observer, "N", [&](const Notification&) {
        if (!added) {
            added = true;
            for (int i = 0; i < 50; ++i) // enough to move the list's storage
                center.addObserver(&observer, "N", [&](const Notification&) { ++lateCalls; });
        }
    });
    center.post("N");
    EXPECT_EQ(lateCalls, 0);
    center.post("N");
    EXPECT_EQ(lateCalls, 50);
}

TEST(NotificationCenter, NestedPostsDeliverBeforeTheOuterPostContinues)
{
    NotificationCenter center;
    int observer = 0;
    std::vector<std::string> calls;
    center.addObserver(&observer, "Outer", [&](const Notification&) {
        calls.push_back("outer 1");
        center.post("Inner");
    });
    center.addObserver(&observer, "Inner", [&](const Notification&) {
        calls.push_back("inner");
        center.removeObserver(static_cast<const void*>(&observer), std::string("Inner"));
    });
    center.addObserver(&observer, "Outer", [&](const Notification&) { calls.push_back("outer 2"); });
    center.post("Outer");
    center.post("Outer");
    EXPECT_EQ(calls, (std::vector<std::string> { "outer 1", "inner", "outer 2", "outer 1", "outer 2" }));
}

TEST(NotificationCenter, DefaultCenterIsOneObject)
{
    EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
}
