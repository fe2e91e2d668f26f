#include "window/Gamepad.h"

#include <GLFW/glfw3.h>

namespace win {

namespace {

using K = SoKeyboardEvent;

constexpr K::Key kPadKeys[GamepadKeys::kKeys] = {
    K::LEFT_ARROW, K::RIGHT_ARROW, K::UP_ARROW, K::DOWN_ARROW, K::W, K::S, K::TAB, K::PAUSE,
};

// Triggers rest at -1 and read +1 fully pulled; half way counts as held.
bool pulled(float trigger) { return trigger > 0.0f; }

}  // namespace

std::vector<GamepadKeys::Change> GamepadKeys::update(const GLFWgamepadstate* state) {
  std::array<bool, kKeys> want{};
  if (state) {
    const float x = state->axes[GLFW_GAMEPAD_AXIS_LEFT_X];
    const float y = state->axes[GLFW_GAMEPAD_AXIS_LEFT_Y];  // negative is up
    want = {
        x<-kDeadZone, x>
            kDeadZone,
        y<-kDeadZone, y>
            kDeadZone,
        pulled(state->axes[GLFW_GAMEPAD_AXIS_RIGHT_TRIGGER]),
        pulled(state->axes[GLFW_GAMEPAD_AXIS_LEFT_TRIGGER]),
        state->buttons[GLFW_GAMEPAD_BUTTON_A] == GLFW_PRESS,
        state->buttons[GLFW_GAMEPAD_BUTTON_START] == GLFW_PRESS,
    };
  }
  std::vector<Change> changes;
  for (int i = 0; i < kKeys; ++i) {
    if (want[i] == held_[i]) continue;
    held_[i] = want[i];
    changes.push_back({kPadKeys[i], want[i]});
  }
  return changes;
}

bool GamepadKeys::holds(SoKeyboardEvent::Key key) const {
  for (int i = 0; i < kKeys; ++i)
    if (kPadKeys[i] == key) return held_[i];
  return false;
}

}  // namespace win
