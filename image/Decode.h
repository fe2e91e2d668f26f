#pragma once
// Images decoded from a file's bytes in memory: PNG files, told by their
// signature, through libpng; anything else as a Targa file (it has no
// signature) through stb_image. Pixels come as the file holds them, one to
// four channels, top row first.

#include "image/Image.h"

#include <string>

namespace img {

enum class Decoded { Image, NotAnImage, TooLarge };

// Decodes bytes into image (empty unless the result is Decoded::Image).
// An image with a side past maxSide is refused before its pixels are
// decoded: a small file can promise gigabytes.
Decoded decodeImage(const std::string& bytes, int maxSide, Image& image);

// Targa alone: uncompressed or run-length encoded, true-colour (15, 16, 24
// or 32 bits), grey (8, or 16 with alpha) or colour-mapped. A file whose
// pixel data ends before the last pixel is refused.
Decoded decodeTarga(const std::string& bytes, int maxSide, Image& image);

}  // namespace img
