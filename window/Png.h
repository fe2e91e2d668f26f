#pragma once
// 8-bit RGB images and their PNG files, through libpng.

#include <cstdint>
#include <string>
#include <vector>

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // tightly packed, top row first

  const uint8_t* pixel(int x, int y) const {
    return &rgb[(static_cast<size_t>(y) * width + x) * 3];
  }
};

// Builds an image from GL's read-back order (bottom row first).
RgbImage fromBottomUpRows(int width, int height, const std::vector<uint8_t>& rgb);

// False with a message in `error` when the file cannot be written or read.
bool writePng(const std::string& path, const RgbImage& image, std::string& error);
bool readPng(const std::string& path, RgbImage& image, std::string& error);
