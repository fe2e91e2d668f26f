#include "window/Gamepad.h"

#include <gtest/gtest.h>

namespace {

using K = SoKeyboardEvent;

TEST(GamepadKeys, RestingPadAndSmallDriftHoldNothing) {
  win::GamepadKeys pad;
  win::PadState s;
  s.leftX = 0.2f;
  s.leftY = -0.2f;
  EXPECT_TRUE(pad.update(&s).empty());
  for (K::Key k : {K::LEFT_ARROW, K::RIGHT_ARROW, K::UP_ARROW, K::DOWN_ARROW, K::W, K::S})
    EXPECT_FALSE(pad.holds(k));
}

TEST(GamepadKeys, SticksAndTriggersHoldFlightKeysOncePerChange) {
  win::GamepadKeys pad;
  win::PadState s;
  s.leftX = -0.9f;
  s.leftY = -0.8f;  // pushed away: climb
  s.rightTrigger = 0.5f;
  const auto down = pad.update(&s);
  ASSERT_EQ(down.size(), 3u);
  EXPECT_TRUE(pad.holds(K::LEFT_ARROW) && pad.holds(K::UP_ARROW) && pad.holds(K::W));
  EXPECT_FALSE(pad.holds(K::RIGHT_ARROW) || pad.holds(K::DOWN_ARROW) || pad.holds(K::S));
  EXPECT_TRUE(pad.update(&s).empty());  // unchanged: no repeated presses

  s.leftX = 0.9f;
  s.rightTrigger = -1.0f;
  s.leftTrigger = 1.0f;
  const auto swapped = pad.update(&s);
  EXPECT_EQ(swapped.size(), 4u);  // Left and W up, Right and S down
  EXPECT_TRUE(pad.holds(K::RIGHT_ARROW) && pad.holds(K::S));
  EXPECT_FALSE(pad.holds(K::LEFT_ARROW) || pad.holds(K::W));
}

TEST(GamepadKeys, SouthButtonIsTabDownThenUpAndStartIsPause) {
  win::GamepadKeys pad;
  win::PadState s;
  s.south = true;
  s.start = true;
  auto changes = pad.update(&s);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_TRUE(pad.holds(K::TAB) && pad.holds(K::PAUSE));
  s.south = false;
  changes = pad.update(&s);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].key, K::TAB);
  EXPECT_FALSE(changes[0].down);  // the release is what selects the next aircraft
}

TEST(KeyboardAndGamepad, KeyHeldOnBothStaysHeldUntilBothLetGo) {
  win::KeySources keys;
  win::PadState throttle;
  throttle.rightTrigger = 1.0f;
  EXPECT_TRUE(keys.keyboard(K::W, true));
  EXPECT_TRUE(keys.gamepad(&throttle).empty());  // already held by the keyboard
  EXPECT_FALSE(keys.keyboard(K::W, false));      // the pad still holds it
  const win::PadState resting;
  const auto released = keys.gamepad(&resting);
  ASSERT_EQ(released.size(), 1u);
  EXPECT_EQ(released[0].key, K::W);
  EXPECT_FALSE(released[0].down);
}

TEST(KeyboardAndGamepad, PadReleaseLeavesAKeyTheKeyboardHolds) {
  win::KeySources keys;
  win::PadState bank;
  bank.leftX = -1.0f;
  ASSERT_EQ(keys.gamepad(&bank).size(), 1u);
  EXPECT_TRUE(keys.keyboard(K::LEFT_ARROW, true));
  const win::PadState resting;
  EXPECT_TRUE(keys.gamepad(&resting).empty());
  EXPECT_TRUE(keys.keyboard(K::LEFT_ARROW, false));  // now released by the last holder
}

TEST(KeyboardAndGamepad, UnpluggingReleasesOnlyWhatThePadAloneHeld) {
  win::KeySources keys;
  win::PadState s;
  s.leftX = 1.0f;
  s.rightTrigger = 1.0f;
  s.south = true;
  EXPECT_EQ(keys.gamepad(&s).size(), 3u);
  keys.keyboard(K::RIGHT_ARROW, true);
  keys.keyboard(K::UP_ARROW, true);
  const auto released = keys.gamepad(nullptr);
  ASSERT_EQ(released.size(), 2u);
  for (const auto& c : released) {
    EXPECT_FALSE(c.down);
    EXPECT_TRUE(c.key == K::W || c.key == K::TAB) << c.key;
  }
  EXPECT_TRUE(keys.gamepad(nullptr).empty());
}

}  // namespace
