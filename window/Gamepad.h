#pragma once
// A gamepad flies with the keyboard's keys: its sticks, triggers and buttons
// (GLFW's standard gamepad layout) read as held keys.
//
//   left stick left / right   Left / Right arrow (bank)
//   left stick up / down      Up / Down arrow (climb / descend)
//   right / left trigger      W / S (accelerate / brake)
//   south button (A)          Tab (the next aircraft, on release)
//   Start                     Pause
//   north button (Y)          V (the next camera view)
//
// The right stick holds no key: it turns the orbit view, read as a position
// (rightStick in Window.h).

#include <Inventor/SbVec2f.h>
#include <Inventor/events/SoKeyboardEvent.h>

#include <array>
#include <vector>

namespace win {

// What the keys are read from: the sticks and triggers run from -1 to +1
// (a stick's y is negative when pushed away; a trigger rests at -1).
struct PadState {
  float leftX = 0.0f;
  float leftY = 0.0f;
  float leftTrigger = -1.0f;
  float rightTrigger = -1.0f;
  float rightX = 0.0f;
  float rightY = 0.0f;
  bool south = false;
  bool start = false;
  bool north = false;
};

// The stick at (x, y), or (0, 0) within the dead zone; each axis clamped to
// -1..1, and not a number reads as centred.
SbVec2f stickPosition(float x, float y);

struct KeyChange {
  SoKeyboardEvent::Key key;
  bool down;
};

class GamepadKeys {
 public:
  // A stick within this distance of its centre holds nothing: resting
  // sticks drift by a few percent.
  static constexpr float kDeadZone = 0.3f;

  // The keys that went down or up since the last call. A null state (no pad,
  // or the pad was unplugged) releases everything the pad held.
  std::vector<KeyChange> update(const PadState* state);

  bool holds(SoKeyboardEvent::Key key) const;

  static constexpr int kKeys = 9;

 private:
  std::array<bool, kKeys> held_{};
};

// The keyboard and the pad hold keys independently; the scene sees a key
// held while either of them holds it.
class KeySources {
 public:
  // A keyboard press (auto-repeat included) or release; true when the scene
  // is to see it.
  bool keyboard(SoKeyboardEvent::Key key, bool down);
  // The pad's changes that the scene is to see.
  std::vector<KeyChange> gamepad(const PadState* state);

 private:
  // No focus handling here: when the window loses focus GLFW itself sends a
  // release for every key still down, so this list empties then.
  std::vector<SoKeyboardEvent::Key> keyboardHeld_;
  GamepadKeys pad_;
};

}  // namespace win
