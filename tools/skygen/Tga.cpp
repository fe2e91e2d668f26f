#include "tools/skygen/Tga.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace skygen {

std::vector<uint8_t> encodeTga(const img::Image& image) {
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
  out.reserve(kTgaHeaderSize + image.pixels.size());
  // The image's rows run top first; the file's from the bottom.
  for (int t = 0; t < image.height; ++t) {
    for (int s = 0; s < image.width; ++s) {
      const uint8_t* p = texel(image, s, t);
      out.push_back(p[2]);
      out.push_back(p[1]);
      out.push_back(p[0]);
    }
  }
  return out;
}

bool writeTga(const std::string& path, const img::Image& image, std::string* error) {
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
