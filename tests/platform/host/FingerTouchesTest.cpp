#include "platform/host/FingerTouches.h"
#include "platform/host/ScreenFit.h"

#include <SDL.h>
#include <gtest/gtest.h>

using namespace hestio::platform;

namespace {

SDL_Event finger(Uint32 type, SDL_FingerID id, float x, float y, SDL_TouchID device = 1)
{
    SDL_Event event {};
    event.type = type;
    event.tfinger.touchId = device;
    event.tfinger.fingerId = id;
    event.tfinger.x = x;
    event.tfinger.y = y;
    return event;
}

/// The phone's screen in a 1000 × 960 window: bars of 180 left and right.
class FingerTouchesTest : public ::testing::Test {
protected:
    std::optional<TouchInput> send(Uint32 type, SDL_FingerID id, double px, double py, SDL_TouchID device = 1)
    {
        return fingers.translate(
            finger(type, id, static_cast<float>(px / window.width), static_cast<float>(py / window.height), device),
            fit, window);
    }

    Size window { 1000, 960 };
    ScreenFit fit { { 320, 480 }, window };
    FingerTouches fingers;
};

void expectTouch(const std::optional<TouchInput>& touch, int identifier, Point at, TouchPhase phase)
{
    ASSERT_TRUE(touch);
    EXPECT_EQ(touch->identifier, identifier);
    EXPECT_NEAR(touch->location.x, at.x, 1e-3);
    EXPECT_NEAR(touch->location.y, at.y, 1e-3);
    EXPECT_EQ(touch->phase, phase);
}

}

TEST_F(FingerTouchesTest, OneFingerLandsMovesAndLiftsAtItsPointOnTheScreen)
{
    expectTouch(send(SDL_FINGERDOWN, 7, 500, 480), 11, { 160, 240 }, TouchPhase::Began);
    EXPECT_EQ(fingers.activeCount(), 1u);
    expectTouch(send(SDL_FINGERMOTION, 7, 520, 400), 11, { 170, 200 }, TouchPhase::Moved);
    // Sliding off the screen onto a bar keeps the touch, past the edge.
    expectTouch(send(SDL_FINGERMOTION, 7, 170, 400), 11, { -5, 200 }, TouchPhase::Moved);
    expectTouch(send(SDL_FINGERUP, 7, 170, 400), 11, { -5, 200 }, TouchPhase::Ended);
    EXPECT_EQ(fingers.activeCount(), 0u);
    EXPECT_FALSE(send(SDL_FINGERMOTION, 7, 500, 400)) << "a lifted finger moves nothing";
    EXPECT_FALSE(send(SDL_FINGERUP, 7, 500, 400));
}

TEST_F(FingerTouchesTest, TwoFingersAreTwoTouchesAndIdentifiersAreReused)
{
    expectTouch(send(SDL_FINGERDOWN, 100, 400, 480), 11, { 110, 240 }, TouchPhase::Began);
    expectTouch(send(SDL_FINGERDOWN, 200, 600, 480), 12, { 210, 240 }, TouchPhase::Began);
    expectTouch(send(SDL_FINGERMOTION, 200, 700, 480), 12, { 260, 240 }, TouchPhase::Moved);
    expectTouch(send(SDL_FINGERMOTION, 100, 300, 480), 11, { 60, 240 }, TouchPhase::Moved);
    expectTouch(send(SDL_FINGERUP, 100, 300, 480), 11, { 60, 240 }, TouchPhase::Ended);
    // The next finger takes the free identifier; the one still down keeps its own.
    expectTouch(send(SDL_FINGERDOWN, 300, 500, 100), 11, { 160, 50 }, TouchPhase::Began);
    expectTouch(send(SDL_FINGERUP, 200, 700, 480), 12, { 260, 240 }, TouchPhase::Ended);
    // The same finger number on another touch device is another finger.
    expectTouch(send(SDL_FINGERDOWN, 300, 500, 100, 2), 12, { 160, 50 }, TouchPhase::Began);
    EXPECT_EQ(fingers.activeCount(), 2u);
}

TEST_F(FingerTouchesTest, AFingerOnABarTouchesNothingUntilItLifts)
{
    EXPECT_FALSE(send(SDL_FINGERDOWN, 1, 179, 480));
    EXPECT_FALSE(send(SDL_FINGERMOTION, 1, 500, 480)) << "sliding onto the screen does not make it a touch";
    EXPECT_FALSE(send(SDL_FINGERUP, 1, 500, 480));
    EXPECT_FALSE(send(SDL_FINGERDOWN, 2, 821, 480)) << "the right bar";
    expectTouch(send(SDL_FINGERDOWN, 3, 180, 0), 11, { 0, 0 }, TouchPhase::Began);
    EXPECT_EQ(fingers.activeCount(), 1u);
}

TEST_F(FingerTouchesTest, RepeatsStillMovesAndOtherEventsMakeNoTouch)
{
    expectTouch(send(SDL_FINGERDOWN, 1, 500, 480), 11, { 160, 240 }, TouchPhase::Began);
    EXPECT_FALSE(send(SDL_FINGERDOWN, 1, 510, 480)) << "a second down of a finger that is down";
    EXPECT_FALSE(send(SDL_FINGERMOTION, 1, 500, 480)) << "no move without movement";
    EXPECT_FALSE(send(SDL_FINGERMOTION, 9, 520, 480)) << "a finger that never landed";
    SDL_Event mouse {};
    mouse.type = SDL_MOUSEMOTION;
    EXPECT_FALSE(fingers.translate(mouse, fit, window));
    EXPECT_EQ(fingers.activeCount(), 1u);
}

TEST_F(FingerTouchesTest, CancellingLiftsEveryFingerWhereItLastWas)
{
    send(SDL_FINGERDOWN, 1, 500, 480);
    send(SDL_FINGERDOWN, 2, 300, 200);
    send(SDL_FINGERMOTION, 2, 340, 240);
    auto cancelled = fingers.cancelAll();
    ASSERT_EQ(cancelled.size(), 2u);
    expectTouch(cancelled[0], 11, { 160, 240 }, TouchPhase::Cancelled);
    expectTouch(cancelled[1], 12, { 80, 120 }, TouchPhase::Cancelled);
    EXPECT_EQ(fingers.activeCount(), 0u);
    EXPECT_TRUE(fingers.cancelAll().empty());
    EXPECT_FALSE(send(SDL_FINGERUP, 1, 500, 480)) << "a cancelled finger's lifting is no touch";
}
