#pragma once
// Texture images from untrusted files, for the models and the sky box. The
// bytes are read once, decoded and checked in a reader child
// (files/UntrustedFile.h), then the same bytes decoded in memory
// (image/Decode.h) for the scene: no copy of an image is ever written.

#include "image/Image.h"

#include <string>

class SoSFImage;

// Why bytes make no texture of at most limit pixels a side, "cannot be
// read as an image" or "too large for the GL"; empty when they do, and then
// the pixels are in *image when it is given.
std::string decodeTexture(const std::string& bytes, int limit, img::Image* image = nullptr);

// Hands the pixels to a texture's field as Coin keeps them, bottom row
// first, with the image's own channel count; an empty image empties it.
void setTexture(SoSFImage& field, const img::Image& image);

// Reads the image file at path once, has a reader child decode and check
// those bytes unless this is one already, and sets field to the same bytes'
// pixels. Empty, or why not (field then empty).
std::string readTextureFile(const char* path, int limit, SoSFImage& field);
