#pragma once
// The sky painters' colours and where they land in the one image type. The
// painters work in texture coordinates, as GL samples the sky box: texel
// (s, t) with t = 0 the bottom row, while img::Image keeps the top row first.

#include "image/Image.h"

#include <cmath>
#include <cstdint>

namespace skygen {

struct Rgb {
  double r = 0.0, g = 0.0, b = 0.0;  // 0..255, unrounded
};

inline const uint8_t* texel(const img::Image& image, int s, int t) {
  return image.at(s, image.height - 1 - t);
}

// Rounds to the nearest byte; out-of-range channels saturate.
inline void setTexel(img::Image& image, int s, int t, const Rgb& c) {
  auto toByte = [](double v) -> uint8_t {
    if (!(v > 0.0)) return 0;  // also catches NaN
    if (v >= 255.0) return 255;
    return static_cast<uint8_t>(std::lround(v));
  };
  uint8_t* p = image.at(s, image.height - 1 - t);
  p[0] = toByte(c.r);
  p[1] = toByte(c.g);
  p[2] = toByte(c.b);
}

}  // namespace skygen
