#include "image/Png.h"

#include <png.h>

#include <cstring>

namespace img {

namespace {

png_image forWriting(const Image& image) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = image.channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  return png;
}

}  // namespace

bool writePng(const std::string& path, const Image& image, std::string& error) {
  if (!image.valid()) {
    error = "no image to write to " + path;
    return false;
  }
  png_image png = forWriting(image);
  if (!png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr)) {
    error = "cannot write " + path + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

bool encodePng(const Image& image, std::string& bytes, std::string& error) {
  if (!image.valid()) {
    error = "no image to encode";
    return false;
  }
  png_image png = forWriting(image);
  png_alloc_size_t size = 0;
  // The first call measures, the second writes.
  if (png_image_write_to_memory(&png, nullptr, &size, 0, image.pixels.data(), 0, nullptr)) {
    bytes.resize(size);
    if (png_image_write_to_memory(&png, bytes.data(), &size, 0, image.pixels.data(), 0, nullptr)) {
      bytes.resize(size);
      return true;
    }
  }
  error = std::string("cannot encode the image: ") + png.message;
  png_image_free(&png);
  bytes.clear();
  return false;
}

bool readPng(const std::string& path, Image& image, std::string& error) {
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
  png_color black{0, 0, 0};
  if (!png_image_finish_read(&png, &black, rgb.data(), 0, nullptr)) {
    error = "cannot decode " + path + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.channels = 3;
  image.pixels = std::move(rgb);
  return true;
}

}  // namespace img
