#pragma once
// The twelve watched keys and whether each is held right now. The keyboard
// callback keeps the table current; the per-tick updates sample it.

#include <cstdint>

class SoEventCallback;

struct KeyEntry {
  int32_t key;      // a SoKeyboardEvent::Key value
  uint8_t pressed;  // 1 while held
};

enum KeyIndex : int {
  KEY_UP = 0,
  KEY_DOWN = 1,
  KEY_LEFT = 2,
  KEY_RIGHT = 3,
  KEY_RETURN = 4,
  KEY_TAB = 5,
  KEY_ESCAPE = 6,
  KEY_SPACE = 7,
  KEY_W = 8,
  KEY_S = 9,
  KEY_A = 10,
  KEY_N = 11,
};

constexpr int KEY_COUNT = 12;

extern KeyEntry KeyTable[KEY_COUNT];

// Every key flag as one word, bit k for KeyTable[k]: how a recording holds
// the keys an update saw.
uint16_t keyFlags();
// Sets every key flag from such a word, except Escape, which stays the
// keyboard's: a replayed flight ends with its recording, not inside it.
void setKeyFlags(uint16_t flags);

// SoEventCallback callback for SoKeyboardEvent: sets or clears the flag of
// the event's key, and marks every keyboard event handled.
void keyboardCallback(void* userData, SoEventCallback* node);
