#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"

#include <gtest/gtest.h>

using namespace hestio::platform;

TEST(OffsetClock, MovesWallTimeAndLeavesTimersToTheClockBeneath)
{
    ManualClock base(Date(1354752000.0));
    base.advance(2.5);
    struct Case {
        double offset;
        double expected;
    };
    for (Case c : { Case { 7 * 86400.0, 1354752002.5 + 604800 }, Case { -86400.0, 1354752002.5 - 86400 },
             Case { 0, 1354752002.5 } }) {
        OffsetClock moved(base, c.offset);
        EXPECT_EQ(moved.now(), Date(c.expected)) << c.offset;
        EXPECT_EQ(moved.monotonicSeconds(), base.monotonicSeconds()) << c.offset;
        EXPECT_FALSE(moved.isManual());
    }
    OffsetClock week(base, 604800);
    base.advance(1);
    EXPECT_EQ(week.now(), Date(1354752003.5 + 604800)) << "follows the clock beneath";

    // On the machine's clock it is as far ahead of it.
    OffsetClock ahead(SystemClock::shared(), 604800);
    Date before = SystemClock::shared().now();
    Date moved = ahead.now();
    Date after = SystemClock::shared().now();
    EXPECT_GE(moved.timeIntervalSince(before), 604800);
    EXPECT_LE(moved.timeIntervalSince(after), 604800);
}
