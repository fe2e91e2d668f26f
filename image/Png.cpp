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
  static const png_uint_32 formats[] = {PNG_FORMAT_GRAY, PNG_FORMAT_GA, PNG_FORMAT_RGB,
                                        PNG_FORMAT_RGBA};
  png.format = formats[image.channels - 1];
  return png;
}

struct Source {
  const std::string& bytes;
  std::size_t at;
};

void readSource(png_structp png, png_bytep out, png_size_t n) {
  auto* source = static_cast<Source*>(png_get_io_ptr(png));
  if (n > source->bytes.size() - source->at) png_error(png, "file ends early");
  std::memcpy(out, source->bytes.data() + source->at, n);
  source->at += n;
}

[[noreturn]] void fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignore(png_structp, png_const_charp) {}

// libpng reports errors by longjmp: the frames that call setjmp hold only
// plain values, and no C++ object is made or changed after it.
bool readHeader(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  // The pixels textures had when Coin's image library read them: 8 bits a
  // channel (the high byte of 16), palettes and grey below 8 bits expanded,
  // a transparent colour as alpha, grey kept grey, no gamma correction.
  png_set_strip_16(png);
  png_set_expand(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return true;
}

bool readRows(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  // The checksums and chunks after the pixels must hold too.
  png_read_end(png, info);
  return true;
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

Decoded decodePng(const std::string& bytes, int maxSide, Image& image) {
  image = Image{};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, fail, ignore);
  if (png == nullptr) return Decoded::NotAnImage;
  png_infop info = png_create_info_struct(png);
  Source source{bytes, 0};
  if (info != nullptr) png_set_read_fn(png, &source, readSource);
  Decoded result = Decoded::NotAnImage;
  if (info != nullptr && readHeader(png, info)) {
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int channels = png_get_channels(png, info);
    if (width > static_cast<png_uint_32>(maxSide) || height > static_cast<png_uint_32>(maxSide)) {
      result = Decoded::TooLarge;
    } else {
      Image decoded(static_cast<int>(width), static_cast<int>(height), channels);
      const std::size_t row = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
      if (decoded.valid() && png_get_rowbytes(png, info) == row) {
        std::vector<png_bytep> rows(height);
        for (png_uint_32 y = 0; y < height; ++y) rows[y] = decoded.at(0, static_cast<int>(y));
        if (readRows(png, info, rows.data())) {
          image = std::move(decoded);
          result = Decoded::Image;
        }
      }
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return result;
}

}  // namespace img
