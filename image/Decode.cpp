#include "image/Decode.h"

#include "image/Png.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

// stb_image is compiled here, static to this file, with its Targa reader
// alone and without stdio: it decodes bytes already read, the same way on
// every platform, and no other format's reader is there to be attacked.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#include <stb_image.h>

namespace img {

namespace {

unsigned byteAt(const std::string& b, std::size_t at) { return static_cast<unsigned char>(b[at]); }
unsigned le16(const std::string& b, std::size_t at) {
  return byteAt(b, at) | byteAt(b, at + 1) << 8;
}

// Whether bytes hold everything stb_image's Targa reader takes for the
// pixels: past the end it reads zeros, or leaves pixels as malloc left
// them, rather than fail. Mirrors what it reads: the ID field, the bytes of
// the first palette index (which it skips), the palette, then the pixels,
// raw or in run-length packets that may run across rows.
bool targaComplete(const std::string& b) {
  if (b.size() < 18) return false;
  const unsigned mapStart = le16(b, 3), mapLength = le16(b, 5), mapBits = byteAt(b, 7);
  const unsigned bits = byteAt(b, 16);
  uint64_t at = 18 + byteAt(b, 0);
  uint64_t unit = (bits + 7) / 8;
  if (byteAt(b, 1) == 1) {
    at += mapStart + uint64_t{mapLength} * (mapBits == 15 || mapBits == 16 ? 2 : mapBits / 8);
    unit = bits == 8 ? 1 : 2;
  }
  uint64_t left = uint64_t{le16(b, 12)} * le16(b, 14);
  if (byteAt(b, 2) < 8) return at + left * unit <= b.size();
  while (left > 0) {
    if (at >= b.size()) return false;
    const unsigned packet = byteAt(b, at++);
    const uint64_t count = std::min<uint64_t>(1 + (packet & 127), left);
    at += (packet & 128) != 0 ? unit : count * unit;
    left -= count;
  }
  return at <= b.size();
}

}  // namespace

Decoded decodeTarga(const std::string& bytes, int maxSide, Image& image) {
  image = Image{};
  if (bytes.size() > INT_MAX) return Decoded::NotAnImage;
  const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
  const int size = static_cast<int>(bytes.size());
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(data, size, &width, &height, &channels)) return Decoded::NotAnImage;
  if (width > maxSide || height > maxSide) return Decoded::TooLarge;
  if (!targaComplete(bytes)) return Decoded::NotAnImage;
  stbi_uc* pixels = stbi_load_from_memory(data, size, &width, &height, &channels, 0);
  if (pixels == nullptr) return Decoded::NotAnImage;
  Image decoded(width, height, channels);
  if (decoded.valid()) {
    std::memcpy(decoded.pixels.data(), pixels, decoded.pixels.size());
    image = std::move(decoded);
  }
  stbi_image_free(pixels);
  return image.valid() ? Decoded::Image : Decoded::NotAnImage;
}

Decoded decodeImage(const std::string& bytes, int maxSide, Image& image) {
  static const char signature[] = "\x89PNG\r\n\x1a\n";
  if (bytes.compare(0, 8, signature, 8) == 0) return decodePng(bytes, maxSide, image);
  return decodeTarga(bytes, maxSide, image);
}

}  // namespace img
