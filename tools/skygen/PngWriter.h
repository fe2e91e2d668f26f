#pragma once
// A minimal PNG encoder for the icon files: 8-bit RGBA, the image data in
// stored (uncompressed) deflate blocks, so the standard library suffices.
// Icons are small; the files stay a few hundred kilobytes at most.

#include <cstdint>
#include <string>
#include <vector>

namespace skygen {

// `rgba`: width x height pixels, rows top first. Empty when the size and the
// pixel count disagree.
std::vector<uint8_t> encodePng(int width, int height, const std::vector<uint8_t>& rgba);

// Writes the encoded image; on failure returns false and, when error is
// given, a one-line reason.
bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba,
              std::string* error);

}  // namespace skygen
