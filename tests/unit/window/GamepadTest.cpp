#include "window/Gamepad.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

namespace {

using K = SoKeyboardEvent;

GLFWgamepadstate resting() {
  GLFWgamepadstate s{};
  s.axes[GLFW_GAMEPAD_AXIS_LEFT_TRIGGER] = -1.0f;  // triggers rest at -1
  s.axes[GLFW_GAMEPAD_AXIS_RIGHT_TRIGGER] = -1.0f;
  return s;
}

TEST(GamepadKeys, RestingPadAndSmallDriftHoldNothing) {
  win::GamepadKeys pad;
  GLFWgamepadstate s = resting();
  s.axes[GLFW_GAMEPAD_AXIS_LEFT_X] = 0.2f;
  s.axes[GLFW_GAMEPAD_AXIS_LEFT_Y] = -0.2f;
  EXPECT_TRUE(pad.update(&s).empty());
  for (K::Key k : {K::LEFT_ARROW, K::RIGHT_ARROW, K::UP_ARROW, K::DOWN_ARROW, K::W, K::S})
    EXPECT_FALSE(pad.holds(k));
}

TEST(GamepadKeys, SticksAndTriggersHoldFlightKeysOncePerChange) {
  win::GamepadKeys pad;
  GLFWgamepadstate s = resting();
  s.axes[GLFW_GAMEPAD_AXIS_LEFT_X] = -0.9f;
  s.axes[GLFW_GAMEPAD_AXIS_LEFT_Y] = -0.8f;  // pushed away: climb
  s.axes[GLFW_GAMEPAD_AXIS_RIGHT_TRIGGER] = 0.5f;
  const auto down = pad.update(&s);
  ASSERT_EQ(down.size(), 3u);
  EXPECT_TRUE(pad.holds(K::LEFT_ARROW) && pad.holds(K::UP_ARROW) && pad.holds(K::W));
  EXPECT_FALSE(pad.holds(K::RIGHT_ARROW) || pad.holds(K::DOWN_ARROW) || pad.holds(K::S));
  EXPECT_TRUE(pad.update(&s).empty());  // unchanged: no repeated presses

  s.axes[GLFW_GAMEPAD_AXIS_LEFT_X] = 0.9f;
  s.axes[GLFW_GAMEPAD_AXIS_RIGHT_TRIGGER] = -1.0f;
  s.axes[GLFW_GAMEPAD_AXIS_LEFT_TRIGGER] = 1.0f;
  const auto swapped = pad.update(&s);
  EXPECT_EQ(swapped.size(), 4u);  // Left and W up, Right and S down
  EXPECT_TRUE(pad.holds(K::RIGHT_ARROW) && pad.holds(K::S));
  EXPECT_FALSE(pad.holds(K::LEFT_ARROW) || pad.holds(K::W));
}

TEST(GamepadKeys, SouthButtonIsTabDownThenUpAndStartIsPause) {
  win::GamepadKeys pad;
  GLFWgamepadstate s = resting();
  s.buttons[GLFW_GAMEPAD_BUTTON_A] = GLFW_PRESS;
  s.buttons[GLFW_GAMEPAD_BUTTON_START] = GLFW_PRESS;
  auto changes = pad.update(&s);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_TRUE(pad.holds(K::TAB) && pad.holds(K::PAUSE));
  s.buttons[GLFW_GAMEPAD_BUTTON_A] = GLFW_RELEASE;
  changes = pad.update(&s);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].key, K::TAB);
  EXPECT_FALSE(changes[0].down);  // the release is what selects the next aircraft
}

TEST(GamepadKeys, UnpluggingReleasesEverythingThePadHeld) {
  win::GamepadKeys pad;
  GLFWgamepadstate s = resting();
  s.axes[GLFW_GAMEPAD_AXIS_LEFT_X] = 1.0f;
  s.axes[GLFW_GAMEPAD_AXIS_RIGHT_TRIGGER] = 1.0f;
  s.buttons[GLFW_GAMEPAD_BUTTON_A] = GLFW_PRESS;
  pad.update(&s);
  const auto released = pad.update(nullptr);
  ASSERT_EQ(released.size(), 3u);
  for (const auto& c : released) EXPECT_FALSE(c.down);
  EXPECT_FALSE(pad.holds(K::RIGHT_ARROW) || pad.holds(K::W) || pad.holds(K::TAB));
  EXPECT_TRUE(pad.update(nullptr).empty());
}

}  // namespace
