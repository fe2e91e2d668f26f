#include "window/Gamepad.h"

#include <algorithm>
#include <cmath>

namespace win {

namespace {

using K = SoKeyboardEvent;

constexpr K::Key kPadKeys[GamepadKeys::kKeys] = {
    K::LEFT_ARROW, K::RIGHT_ARROW, K::UP_ARROW, K::DOWN_ARROW, K::W, K::S, K::TAB, K::PAUSE, K::V,
};

// Triggers rest at -1 and read +1 fully pulled; half way counts as held.
bool pulled(float trigger) { return trigger > 0.0f; }

float axis(float v) { return std::isnan(v) ? 0.0f : std::clamp(v, -1.0f, 1.0f); }

}  // namespace

SbVec2f stickPosition(float x, float y) {
  const SbVec2f p(axis(x), axis(y));
  return p.length() < GamepadKeys::kDeadZone ? SbVec2f(0, 0) : p;
}

std::vector<KeyChange> GamepadKeys::update(const PadState* state) {
  std::array<bool, kKeys> want{};
  if (state) {
    const bool bankLeft = state->leftX < -kDeadZone;
    const bool bankRight = state->leftX > kDeadZone;
    const bool climb = state->leftY < -kDeadZone;
    const bool descend = state->leftY > kDeadZone;
    const bool accelerate = pulled(state->rightTrigger);
    const bool brake = pulled(state->leftTrigger);
    // In the order of kPadKeys.
    want = {bankLeft, bankRight,    climb,        descend,     accelerate,
            brake,    state->south, state->start, state->north};
  }
  std::vector<KeyChange> changes;
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

bool KeySources::keyboard(SoKeyboardEvent::Key key, bool down) {
  keyboardHeld_.erase(std::remove(keyboardHeld_.begin(), keyboardHeld_.end(), key),
                      keyboardHeld_.end());
  if (down) keyboardHeld_.push_back(key);
  // A key the pad still holds stays held when the keyboard lets go.
  return down || !pad_.holds(key);
}

std::vector<KeyChange> KeySources::gamepad(const PadState* state) {
  std::vector<KeyChange> changes = pad_.update(state);
  // Whichever of the two holds a key keeps it held.
  changes.erase(std::remove_if(changes.begin(), changes.end(),
                               [this](const KeyChange& c) {
                                 return std::find(keyboardHeld_.begin(), keyboardHeld_.end(),
                                                  c.key) != keyboardHeld_.end();
                               }),
                changes.end());
  return changes;
}

}  // namespace win
