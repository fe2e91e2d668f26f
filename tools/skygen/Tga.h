#pragma once
// Uncompressed true-colour Targa (image type 2): 18-byte header, 24 bits per
// pixel in B, G, R order, rows from the bottom up (origin bit clear), which is
// the order a GL texture takes its rows in, so no reader has to flip.

#include "tools/skygen/Image.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skygen {

constexpr size_t kTgaHeaderSize = 18;

std::vector<uint8_t> encodeTga(const img::Image& image);

// Writes the encoded image to path. On failure returns false and, when error
// is given, a one-line reason.
bool writeTga(const std::string& path, const img::Image& image, std::string* error);

}  // namespace skygen
