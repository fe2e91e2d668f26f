#pragma once
// Coin counts every write as a change, even of an equal value, and each
// change costs a frame. Writing only values whose bits differ keeps a still
// scene idle and every stored value bit-identical to writing it always.

#include <cstring>

template <typename Field, typename Value>
void setIfChanged(Field& field, const Value& value) {
  const Value current = field.getValue();
  if (std::memcmp(&current, &value, sizeof(Value)) != 0) field.setValue(value);
}
