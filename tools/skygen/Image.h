#pragma once
// An 8-bit RGB raster in the row order OpenGL and Targa use by default:
// row 0 is the bottom of the picture, so pixel (x, y) is texture (s, t).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace skygen {

struct Rgb {
  double r = 0.0, g = 0.0, b = 0.0;  // 0..255, unrounded
};

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // width * height * 3, rows bottom to top

  Image() = default;
  Image(int w, int h)
      : width(w),
        height(h),
        rgb(static_cast<std::size_t>(w > 0 ? w : 0) * static_cast<std::size_t>(h > 0 ? h : 0) * 3u,
            0) {}

  std::size_t offset(int x, int y) const {
    return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
            static_cast<std::size_t>(x)) *
           3u;
  }
  const uint8_t* at(int x, int y) const { return &rgb[offset(x, y)]; }
  uint8_t* at(int x, int y) { return &rgb[offset(x, y)]; }

  // Rounds to the nearest byte; out-of-range channels saturate.
  void set(int x, int y, const Rgb& c);
};

}  // namespace skygen
