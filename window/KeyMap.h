#pragma once
// Translation of GLFW key codes to Coin's keyboard-event keys.

#include <Inventor/events/SoKeyboardEvent.h>

namespace win {

// The Coin key for a GLFW key code; SoKeyboardEvent::UNDEFINED for keys
// Coin has no name for (and for GLFW_KEY_UNKNOWN).
SoKeyboardEvent::Key keyFromGlfw(int glfwKey);

// The printable character of a key with the given GLFW modifier bits, or 0.
char printableFromGlfw(int glfwKey, int glfwMods);

}  // namespace win
