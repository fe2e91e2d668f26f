#pragma once
// A gamepad flies with the keyboard's keys: its sticks, triggers and buttons
// (GLFW's standard gamepad layout) read as held keys.
//
//   left stick left / right   Left / Right arrow (bank)
//   left stick up / down      Up / Down arrow (climb / descend)
//   right / left trigger      W / S (accelerate / brake)
//   south button (A)          Tab (the next aircraft, on release)
//   Start                     Pause

#include <Inventor/events/SoKeyboardEvent.h>

#include <array>
#include <vector>

struct GLFWgamepadstate;

namespace win {

class GamepadKeys {
 public:
  struct Change {
    SoKeyboardEvent::Key key;
    bool down;
  };

  // A stick within this distance of its centre holds nothing: resting
  // sticks drift by a few percent.
  static constexpr float kDeadZone = 0.3f;

  // The keys that went down or up since the last call. A null state (no pad,
  // or the pad was unplugged) releases everything the pad held.
  std::vector<Change> update(const GLFWgamepadstate* state);

  bool holds(SoKeyboardEvent::Key key) const;

  static constexpr int kKeys = 8;

 private:
  std::array<bool, kKeys> held_{};
};

}  // namespace win
