#pragma once
// A double's bits and back, without the undefined behaviour of a pointer
// cast (C++17 has no std::bit_cast).

#include <cstdint>
#include <cstring>

namespace numeric {

inline uint64_t bitsOf(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

inline double fromBits(uint64_t b) {
  double v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}

}  // namespace numeric
