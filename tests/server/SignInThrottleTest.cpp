#include "SignInThrottle.h"

#include "ServiceHarness.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

using namespace hestio::sim;
using hestio::sim::test::ManualTime;

namespace {
constexpr int64_t kSecond = 1000;
constexpr int64_t kMinute = 60 * kSecond;

struct Throttled {
    ManualTime time { test::kTestStartMs };
    SignInThrottle throttle { time.function() };

    /// `count` failures from `address`, for `name` or numbered names.
    int64_t fail(int count, const std::string& address, const std::string& name = "")
    {
        int64_t wait = 0;
        for (int i = 0; i < count; ++i)
            wait = throttle.failed(address, name.empty() ? "guess" + std::to_string(i) : name);
        return wait;
    }
    int64_t waitOf(const std::string& address) { return throttle.check(address).waitMs; }
};
}

TEST(SignInThrottle, OneNameWaitsFromItsFifthFailureAnyNamesFromTheirTwentieth)
{
    struct Case {
        const char* what;
        int failures;
        bool oneName;
        int64_t wait;
    };
    const Case cases[] = {
        { "4 for one name", 4, true, 0 },
        { "5 for one name", 5, true, 1 * kSecond },
        { "19 for any names", 19, false, 0 },
        { "20 for any names", 20, false, 1 * kSecond },
    };
    for (const auto& c : cases) {
        Throttled t;
        EXPECT_EQ(t.fail(c.failures, "10.0.0.9", c.oneName ? "demo" : ""), c.wait) << c.what;
        EXPECT_EQ(t.waitOf("10.0.0.9"), c.wait) << c.what;
        // The wait is over at its end, to the millisecond.
        t.time.advance(c.wait ? c.wait - 1 : 0);
        EXPECT_EQ(t.waitOf("10.0.0.9"), c.wait ? 1 : 0) << c.what;
        t.time.advance(1);
        EXPECT_EQ(t.waitOf("10.0.0.9"), 0) << c.what;
        // One failure more starts the wait (the 5th, the 20th) or doubles it
        // (the 6th, the 21st).
        EXPECT_EQ(t.fail(1, "10.0.0.9", c.oneName ? "demo" : "extra"), c.wait ? 2 * kSecond : kSecond) << c.what;
        // Another address never waits for it.
        EXPECT_EQ(t.waitOf("10.0.0.10"), 0) << c.what;
    }
}

TEST(SignInThrottle, TheWaitDoublesWithEachFailureUpToFifteenMinutes)
{
    Throttled t;
    t.fail(4, "10.0.0.9", "demo");
    std::vector<int64_t> waits;
    // Failures that were under way together, so none has aged out of the
    // window by the last: the cap is the wait's only bound here.
    for (int i = 0; i < 12; ++i) {
        int64_t wait = t.fail(1, "10.0.0.9", "demo");
        waits.push_back(wait / kSecond);
        EXPECT_EQ(t.throttle.check("10.0.0.9").waitMs, wait);
        t.time.advance(1);
    }
    EXPECT_EQ(waits, (std::vector<int64_t> { 1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 900, 900 }));
}

TEST(SignInThrottle, AFailureExactlyFifteenMinutesOldNoLongerCounts)
{
    for (int64_t age : { 15 * kMinute - 1, 15 * kMinute }) {
        Throttled t;
        t.fail(4, "10.0.0.9", "demo");
        t.time.advance(age);
        int64_t wait = t.fail(1, "10.0.0.9", "demo");
        EXPECT_EQ(wait, age < 15 * kMinute ? kSecond : 0) << age;
    }
}

TEST(SignInThrottle, ASuccessForgetsThatNameAtThatAddressOnly)
{
    Throttled t;
    t.fail(4, "10.0.0.9", "demo");
    t.fail(4, "10.0.0.9", "sam");
    t.fail(4, "10.0.0.10", "demo");
    t.throttle.succeeded("10.0.0.9", "demo");
    EXPECT_EQ(t.fail(4, "10.0.0.9", "demo"), 0); // counts from zero again
    EXPECT_EQ(t.fail(1, "10.0.0.9", "sam"), kSecond); // sam's four still count
    EXPECT_EQ(t.fail(1, "10.0.0.10", "demo"), kSecond); // and so do the other address's
}

TEST(SignInThrottle, ForgottenAddressesAreSweptOut)
{
    Throttled t;
    for (int i = 0; i < 5000; ++i)
        t.throttle.failed("10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256), "demo");
    EXPECT_GT(t.throttle.addressesKept(), 4096u);
    t.time.advance(15 * kMinute);
    t.throttle.failed("10.9.9.9", "demo");
    EXPECT_EQ(t.throttle.addressesKept(), 1u);
}

TEST(SignInThrottle, TheServiceRefusesAWaitingAddressWithTheWrongPasswordReply)
{
    test::ServiceHarness sim;
    auto signIn = [&](const std::string& password, const std::string& peer) {
        return sim.service->handle(
            ServiceRequest { "POST", "/kivoraserver/session", "", "name=demo&password=" + password, peer });
    };
    ServiceReply wrong = signIn("wrong", "10.0.0.9");
    for (int i = 0; i < 4; ++i)
        signIn("wrong", "10.0.0.9");
    // The right password from the guessing address is refused, unchecked,
    // exactly as a wrong one is answered; another address signs in.
    ServiceReply refused = signIn("demo", "10.0.0.9");
    EXPECT_EQ(refused.status, wrong.status);
    EXPECT_EQ(refused.body, wrong.body);
    EXPECT_EQ(refused.allow, wrong.allow);
    EXPECT_EQ(refused.body, Service::errorBody("Wrong username or password"));
    EXPECT_EQ(signIn("demo", "10.0.0.10").status, 200);
    sim.time.advance(kSecond);
    EXPECT_EQ(signIn("demo", "10.0.0.9").status, 200);
}
