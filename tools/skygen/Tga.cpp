#include "tools/skygen/Tga.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace skygen {

namespace {

uint8_t toByte(double v) {
  if (!(v > 0.0)) return 0;  // also catches NaN
  if (v >= 255.0) return 255;
  return static_cast<uint8_t>(std::lround(v));
}

}  // namespace

void Image::set(int x, int y, const Rgb& c) {
  uint8_t* p = at(x, y);
  p[0] = toByte(c.r);
  p[1] = toByte(c.g);
  p[2] = toByte(c.b);
}

std::vector<uint8_t> encodeTga(const Image& image) {
  const uint16_t w = static_cast<uint16_t>(image.width);
  const uint16_t h = static_cast<uint16_t>(image.height);
  std::vector<uint8_t> out(kTgaHeaderSize, 0);
  out[2] = 2;  // uncompressed true colour
  out[12] = static_cast<uint8_t>(w & 0xffu);
  out[13] = static_cast<uint8_t>(w >> 8);
  out[14] = static_cast<uint8_t>(h & 0xffu);
  out[15] = static_cast<uint8_t>(h >> 8);
  out[16] = 24;
  out[17] = 0;  // no alpha bits, bottom-left origin
  out.reserve(kTgaHeaderSize + image.rgb.size());
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* p = image.at(x, y);
      out.push_back(p[2]);
      out.push_back(p[1]);
      out.push_back(p[0]);
    }
  }
  return out;
}

bool writeTga(const std::string& path, const Image& image, std::string* error) {
  if (image.width <= 0 || image.height <= 0 || image.width > 0xffff || image.height > 0xffff) {
    if (error) *error = "image size does not fit a Targa header";
    return false;
  }
  const std::vector<uint8_t> bytes = encodeTga(image);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), f);
  const int writeErrno = errno;
  // fclose flushes, so a full disk may only show up here.
  const bool closed = std::fclose(f) == 0;
  if (written != bytes.size() || !closed) {
    if (error) *error = std::strerror(written != bytes.size() ? writeErrno : errno);
    std::remove(path.c_str());
    return false;
  }
  return true;
}

}  // namespace skygen
