#pragma once
// The one image type of the program and its tools: 8-bit pixels of one
// (grey), two (grey and alpha), three (RGB) or four (RGBA, straight alpha)
// channels, tightly packed, top row first, the order PNG files and window
// icons take. GL reads back, Coin keeps textures and Targa files store the
// bottom row first; they flip at their edge.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace img {

struct Image {
  int width = 0;
  int height = 0;
  int channels = 3;
  std::vector<uint8_t> pixels;  // width * height * channels, rows top first

  Image() = default;
  // All pixels zero; a size below 1 or a channel count outside 1 to 4
  // gives an empty image.
  Image(int width, int height, int channels = 3);

  // Whether the size, the channel count and the pixels agree and are not empty.
  bool valid() const;

  std::size_t offset(int x, int y) const {
    return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
            static_cast<std::size_t>(x)) *
           static_cast<std::size_t>(channels);
  }
  const uint8_t* at(int x, int y) const { return &pixels[offset(x, y)]; }
  uint8_t* at(int x, int y) { return &pixels[offset(x, y)]; }
};

// An RGB image from GL's read-back order (tightly packed, bottom row
// first); empty when `rows` holds fewer bytes than the size needs.
Image fromBottomUpRows(int width, int height, const std::vector<uint8_t>& rows);

}  // namespace img
