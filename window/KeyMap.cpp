#include "window/KeyMap.h"

#include <GLFW/glfw3.h>

namespace win {

SoKeyboardEvent::Key keyFromGlfw(int k) {
  using K = SoKeyboardEvent;
  // GLFW letters are upper-case ASCII; Coin's are the lower-case codes.
  if (k >= GLFW_KEY_A && k <= GLFW_KEY_Z) return static_cast<K::Key>(K::A + (k - GLFW_KEY_A));
  if (k >= GLFW_KEY_0 && k <= GLFW_KEY_9)
    return static_cast<K::Key>(K::NUMBER_0 + (k - GLFW_KEY_0));
  if (k >= GLFW_KEY_F1 && k <= GLFW_KEY_F12) return static_cast<K::Key>(K::F1 + (k - GLFW_KEY_F1));
  switch (k) {
    case GLFW_KEY_SPACE:
      return K::SPACE;
    case GLFW_KEY_APOSTROPHE:
      return K::APOSTROPHE;
    case GLFW_KEY_COMMA:
      return K::COMMA;
    case GLFW_KEY_MINUS:
      return K::MINUS;
    case GLFW_KEY_PERIOD:
      return K::PERIOD;
    case GLFW_KEY_SLASH:
      return K::SLASH;
    case GLFW_KEY_SEMICOLON:
      return K::SEMICOLON;
    case GLFW_KEY_EQUAL:
      return K::EQUAL;
    case GLFW_KEY_LEFT_BRACKET:
      return K::BRACKETLEFT;
    case GLFW_KEY_BACKSLASH:
      return K::BACKSLASH;
    case GLFW_KEY_RIGHT_BRACKET:
      return K::BRACKETRIGHT;
    case GLFW_KEY_GRAVE_ACCENT:
      return K::GRAVE;
    case GLFW_KEY_ESCAPE:
      return K::ESCAPE;
    case GLFW_KEY_ENTER:
      return K::RETURN;
    case GLFW_KEY_TAB:
      return K::TAB;
    case GLFW_KEY_BACKSPACE:
      return K::BACKSPACE;
    case GLFW_KEY_INSERT:
      return K::INSERT;
    case GLFW_KEY_DELETE:
      return K::KEY_DELETE;
    case GLFW_KEY_RIGHT:
      return K::RIGHT_ARROW;
    case GLFW_KEY_LEFT:
      return K::LEFT_ARROW;
    case GLFW_KEY_DOWN:
      return K::DOWN_ARROW;
    case GLFW_KEY_UP:
      return K::UP_ARROW;
    case GLFW_KEY_PAGE_UP:
      return K::PAGE_UP;
    case GLFW_KEY_PAGE_DOWN:
      return K::PAGE_DOWN;
    case GLFW_KEY_HOME:
      return K::HOME;
    case GLFW_KEY_END:
      return K::END;
    case GLFW_KEY_CAPS_LOCK:
      return K::CAPS_LOCK;
    case GLFW_KEY_SCROLL_LOCK:
      return K::SCROLL_LOCK;
    case GLFW_KEY_NUM_LOCK:
      return K::NUM_LOCK;
    case GLFW_KEY_PRINT_SCREEN:
      return K::PRINT;
    case GLFW_KEY_PAUSE:
      return K::PAUSE;
    case GLFW_KEY_KP_0:
      return K::PAD_0;
    case GLFW_KEY_KP_1:
      return K::PAD_1;
    case GLFW_KEY_KP_2:
      return K::PAD_2;
    case GLFW_KEY_KP_3:
      return K::PAD_3;
    case GLFW_KEY_KP_4:
      return K::PAD_4;
    case GLFW_KEY_KP_5:
      return K::PAD_5;
    case GLFW_KEY_KP_6:
      return K::PAD_6;
    case GLFW_KEY_KP_7:
      return K::PAD_7;
    case GLFW_KEY_KP_8:
      return K::PAD_8;
    case GLFW_KEY_KP_9:
      return K::PAD_9;
    case GLFW_KEY_KP_DECIMAL:
      return K::PAD_PERIOD;
    case GLFW_KEY_KP_DIVIDE:
      return K::PAD_DIVIDE;
    case GLFW_KEY_KP_MULTIPLY:
      return K::PAD_MULTIPLY;
    case GLFW_KEY_KP_SUBTRACT:
      return K::PAD_SUBTRACT;
    case GLFW_KEY_KP_ADD:
      return K::PAD_ADD;
    case GLFW_KEY_KP_ENTER:
      return K::PAD_ENTER;
    case GLFW_KEY_LEFT_SHIFT:
      return K::LEFT_SHIFT;
    case GLFW_KEY_RIGHT_SHIFT:
      return K::RIGHT_SHIFT;
    case GLFW_KEY_LEFT_CONTROL:
      return K::LEFT_CONTROL;
    case GLFW_KEY_RIGHT_CONTROL:
      return K::RIGHT_CONTROL;
    case GLFW_KEY_LEFT_ALT:
      return K::LEFT_ALT;
    case GLFW_KEY_RIGHT_ALT:
      return K::RIGHT_ALT;
    default:
      return K::UNDEFINED;
  }
}

char printableFromGlfw(int k, int mods) {
  const bool shift = (mods & GLFW_MOD_SHIFT) != 0;
  if (k >= GLFW_KEY_A && k <= GLFW_KEY_Z) {
    const bool upper = shift != ((mods & GLFW_MOD_CAPS_LOCK) != 0);
    return static_cast<char>((upper ? 'A' : 'a') + (k - GLFW_KEY_A));
  }
  if (k >= GLFW_KEY_0 && k <= GLFW_KEY_9 && !shift)
    return static_cast<char>('0' + (k - GLFW_KEY_0));
  if (k == GLFW_KEY_SPACE) return ' ';
  return 0;
}

}  // namespace win
