#include "image/Image.h"

#include <cstring>

namespace img {

Image::Image(int w, int h, int c) {
  if (w < 1 || h < 1 || c < 1 || c > 4) return;
  width = w;
  height = h;
  channels = c;
  pixels.assign(
      static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * static_cast<std::size_t>(c), 0);
}

bool Image::valid() const {
  return width > 0 && height > 0 && channels >= 1 && channels <= 4 &&
         pixels.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                              static_cast<std::size_t>(channels);
}

Image fromBottomUpRows(int width, int height, const std::vector<uint8_t>& rows) {
  Image image(width, height, 3);
  if (!image.valid() || rows.size() < image.pixels.size()) return Image{};
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    std::memcpy(&image.pixels[static_cast<std::size_t>(y) * row],
                &rows[static_cast<std::size_t>(height - 1 - y) * row], row);
  }
  return image;
}

}  // namespace img
