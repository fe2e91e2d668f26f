#include "state/KeyTable.h"

#include <Inventor/events/SoKeyboardEvent.h>
#include <Inventor/nodes/SoEventCallback.h>

KeyEntry KeyTable[KEY_COUNT] = {
    {SoKeyboardEvent::UP_ARROW, 0},   {SoKeyboardEvent::DOWN_ARROW, 0},
    {SoKeyboardEvent::LEFT_ARROW, 0}, {SoKeyboardEvent::RIGHT_ARROW, 0},
    {SoKeyboardEvent::RETURN, 0},     {SoKeyboardEvent::TAB, 0},
    {SoKeyboardEvent::ESCAPE, 0},     {SoKeyboardEvent::SPACE, 0},
    {SoKeyboardEvent::W, 0},          {SoKeyboardEvent::S, 0},
    {SoKeyboardEvent::A, 0},          {SoKeyboardEvent::N, 0},
};

uint16_t keyFlags() {
  uint16_t flags = 0;
  for (int k = 0; k < KEY_COUNT; ++k)
    if (KeyTable[k].pressed) flags = static_cast<uint16_t>(flags | (1u << k));
  return flags;
}

void setKeyFlags(uint16_t flags) {
  for (int k = 0; k < KEY_COUNT; ++k)
    if (k != KEY_ESCAPE) KeyTable[k].pressed = (flags >> k) & 1u;
}

void keyboardCallback(void* /*userData*/, SoEventCallback* node) {
  const SoEvent* event = node->getEvent();
  // Both tests for every entry, no early exit: the codes are distinct, so
  // at most one flag changes.
  for (KeyEntry& entry : KeyTable) {
    const auto key = static_cast<SoKeyboardEvent::Key>(entry.key);
    if (SoKeyboardEvent::isKeyPressEvent(event, key)) entry.pressed = 1;
    if (SoKeyboardEvent::isKeyReleaseEvent(event, key)) entry.pressed = 0;
  }
  node->setHandled();
}
