#pragma once
// PNG files of the one image type, through libpng.

#include "image/Decode.h"
#include "image/Image.h"

#include <string>

namespace img {

// Writes an RGB or RGBA image. False, with "cannot write PATH: reason" (or
// "no image to write to PATH") in `error`, when that fails.
bool writePng(const std::string& path, const Image& image, std::string& error);
// The PNG file's bytes in memory, for a caller that writes them itself.
// False, with the reason in `error`, when the image cannot be encoded.
bool encodePng(const Image& image, std::string& bytes, std::string& error);

// Reads any PNG file as RGB, composing transparent pixels over black so that
// images with and without alpha compare alike. False, with a message in
// `error`, when the file cannot be read or decoded.
bool readPng(const std::string& path, Image& image, std::string& error);

// The bytes of a PNG file as libpng decodes them, in the file's own
// channels (grey, grey and alpha, RGB or RGBA; a palette gives RGB or RGBA).
// A side past maxSide is refused before any pixel is decoded.
Decoded decodePng(const std::string& bytes, int maxSide, Image& image);

}  // namespace img
