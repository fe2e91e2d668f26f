#include "window/Png.h"

#include <png.h>

#include <cstring>

RgbImage fromBottomUpRows(int width, int height, const std::vector<uint8_t>& rgb) {
  RgbImage image;
  image.width = width;
  image.height = height;
  const size_t row = static_cast<size_t>(width) * 3;
  image.rgb.resize(row * static_cast<size_t>(height));
  if (rgb.size() < image.rgb.size()) return RgbImage{};
  for (int y = 0; y < height; ++y) {
    std::memcpy(&image.rgb[static_cast<size_t>(y) * row],
                &rgb[static_cast<size_t>(height - 1 - y) * row], row);
  }
  return image;
}

bool writePng(const std::string& path, const RgbImage& image, std::string& error) {
  if (image.width < 1 || image.height < 1 ||
      image.rgb.size() != static_cast<size_t>(image.width) * image.height * 3) {
    error = "no image to write to " + path;
    return false;
  }
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), 0, nullptr)) {
    error = "cannot write " + path + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

bool readPng(const std::string& path, RgbImage& image, std::string& error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    error = "cannot read " + path + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  png.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(png));
  // A black background for images with alpha, so both sides compare alike.
  png_color black{0, 0, 0};
  if (!png_image_finish_read(&png, &black, rgb.data(), 0, nullptr)) {
    error = "cannot decode " + path + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.rgb = std::move(rgb);
  return true;
}
