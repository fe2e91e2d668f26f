#include "aircraft/TextureImage.h"

#include "files/UntrustedFile.h"
#include "image/Decode.h"

#include <Inventor/fields/SoSFImage.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

std::string decodeTexture(const std::string& bytes, int limit, img::Image* image) {
  img::Image local;
  img::Image& decoded = image != nullptr ? *image : local;
  switch (img::decodeImage(bytes, limit, decoded)) {
    case img::Decoded::Image:
      return {};
    case img::Decoded::TooLarge:
      return "too large for the GL";
    case img::Decoded::NotAnImage:
      break;
  }
  return "cannot be read as an image";
}

namespace {
// The image reader: argument is the size limit.
std::string checkImage(const std::string& bytes, const std::string& argument) {
  return decodeTexture(bytes, std::atoi(argument.c_str()));
}
[[maybe_unused]] const bool registered = registerReader("image", checkImage);
}  // namespace

void setTexture(SoSFImage& field, const img::Image& image) {
  // Coin's sizes are 16-bit.
  constexpr int kMaxSide = std::numeric_limits<short>::max();
  if (!image.valid() || image.width > kMaxSide || image.height > kMaxSide) {
    field.setValue(SbVec2s(0, 0), 0, nullptr);
    return;
  }
  const std::size_t row = static_cast<std::size_t>(image.width) * image.channels;
  std::unique_ptr<unsigned char[]> rows(new unsigned char[image.pixels.size()]);
  for (int y = 0; y < image.height; ++y)
    std::memcpy(&rows[static_cast<std::size_t>(image.height - 1 - y) * row], image.at(0, y), row);
  field.setValue(SbVec2s(static_cast<short>(image.width), static_cast<short>(image.height)),
                 image.channels, rows.release(), SoSFImage::NO_COPY_AND_DELETE);
}

std::string readTextureFile(const char* path, int limit, SoSFImage& field) {
  img::Image image;
  std::string bytes;
  std::string problem = readRegularFile(path, bytes);
  if (problem.empty() && !inReaderChild())
    problem = readInChild("image", bytes, std::to_string(limit));
  if (problem.empty()) problem = decodeTexture(bytes, limit, &image);
  setTexture(field, image);
  return problem;
}
