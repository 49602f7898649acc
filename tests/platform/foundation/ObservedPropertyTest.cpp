#include "platform/foundation/ObservedProperty.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using hestio::platform::ObservedProperty;

TEST(ObservedProperty, EveryAssignmentReachesTheObserversInOrderEvenWithoutAChange)
{
    ObservedProperty<int> numberOfNewItems("numberOfNewItems");
    std::vector<std::string> calls;
    int screen = 0, badge = 0;
    numberOfNewItems.addObserver(&screen, [&](const std::string& keyPath, const int& value) {
        calls.push_back("screen " + keyPath + " " + std::to_string(value));
    });
    numberOfNewItems.addObserver(
        &badge, [&](const std::string&, const int& value) { calls.push_back("badge " + std::to_string(value)); });
    numberOfNewItems = 3;
    numberOfNewItems = 3;
    EXPECT_EQ(numberOfNewItems.get(), 3);
    EXPECT_EQ(calls,
        (std::vector<std::string> { "screen numberOfNewItems 3", "badge 3", "screen numberOfNewItems 3", "badge 3" }));
}

TEST(ObservedProperty, RemovalDuringDeliverySkipsTheRemovedAndAdditionsWaitForTheNextChange)
{
    ObservedProperty<int> count("count");
    std::vector<std::string> calls;
    int first = 0, second = 0, late = 0;
    count.addObserver(&first, [&](const std::string&, const int&) {
        calls.push_back("first");
        count.removeObserver(static_cast<const void*>(&first));
        count.removeObserver(static_cast<const void*>(&second));
        count.addObserver(&late, [&](const std::string&, const int&) { calls.push_back("late"); });
    });
    count.addObserver(&second, [&](const std::string&, const int&) { calls.push_back("second"); });
    count = 1;
    EXPECT_EQ(calls, (std::vector<std::string> { "first" }));
    count = 2;
    EXPECT_EQ(calls, (std::vector<std::string> { "first", "late" }));
    EXPECT_EQ(count.observerCount(), 1u);
}
