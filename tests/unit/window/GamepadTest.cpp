#include "window/Gamepad.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using K = SoKeyboardEvent;

TEST(GamepadKeys, SticksPastTheDeadZoneAndTriggersHoldFlightKeysOncePerChange) {
  win::GamepadKeys pad;
  win::PadState s;
  s.leftX = 0.2f;  // resting sticks drift a little
  s.leftY = -0.2f;
  EXPECT_TRUE(pad.update(&s).empty());
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

TEST(GamepadKeys, SouthButtonIsTabDownThenUpStartIsPauseAndNorthIsV) {
  win::GamepadKeys pad;
  win::PadState s;
  s.south = true;
  s.start = true;
  s.north = true;
  s.rightX = 1.0f;  // the right stick holds no key
  auto changes = pad.update(&s);
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_TRUE(pad.holds(K::TAB) && pad.holds(K::PAUSE) && pad.holds(K::V));
  s.north = false;
  s.start = false;
  pad.update(&s);
  s.south = false;
  changes = pad.update(&s);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].key, K::TAB);
  EXPECT_FALSE(changes[0].down);  // the release is what selects the next aircraft
}

TEST(GamepadKeys, RightStickReadsCentredInTheDeadZoneAndBoundedBeyond) {
  EXPECT_EQ(win::stickPosition(0.2f, -0.2f), SbVec2f(0, 0));
  EXPECT_EQ(win::stickPosition(0.5f, 0.0f), SbVec2f(0.5f, 0));
  EXPECT_EQ(win::stickPosition(3.0f, -7.0f), SbVec2f(1, -1));
  EXPECT_EQ(win::stickPosition(std::nanf(""), 0.9f), SbVec2f(0, 0.9f));
}

// The pad's state that holds W (and nothing else), and one that holds nothing.
win::PadState throttle() {
  win::PadState s;
  s.rightTrigger = 1.0f;
  return s;
}
const win::PadState kResting;

TEST(KeyboardAndGamepad, KeyHeldOnBothStaysHeldUntilBothLetGo) {
  win::KeySources keys;
  const win::PadState pulled = throttle();
  EXPECT_TRUE(keys.keyboard(K::W, true));
  EXPECT_TRUE(keys.gamepad(&pulled).empty());  // already held by the keyboard
  EXPECT_FALSE(keys.keyboard(K::W, false));    // the pad still holds it
  const auto released = keys.gamepad(&kResting);
  ASSERT_EQ(released.size(), 1u);
  EXPECT_TRUE(released[0].key == K::W && !released[0].down);
}

TEST(KeyboardAndGamepad, PadReleaseLeavesAKeyTheKeyboardHolds) {
  win::KeySources keys;
  const win::PadState pulled = throttle();
  ASSERT_EQ(keys.gamepad(&pulled).size(), 1u);
  EXPECT_TRUE(keys.keyboard(K::W, true));
  EXPECT_TRUE(keys.gamepad(&kResting).empty());
  EXPECT_TRUE(keys.keyboard(K::W, false));  // now released by the last holder
}

TEST(KeyboardAndGamepad, UnpluggingReleasesOnlyWhatThePadAloneHeld) {
  win::KeySources keys;
  win::PadState s = throttle();
  s.south = true;
  keys.gamepad(&s);
  keys.keyboard(K::W, true);
  keys.keyboard(K::UP_ARROW, true);
  const auto released = keys.gamepad(nullptr);
  ASSERT_EQ(released.size(), 1u);
  EXPECT_TRUE(released[0].key == K::TAB && !released[0].down);
  EXPECT_TRUE(keys.gamepad(nullptr).empty());
}

}  // namespace
