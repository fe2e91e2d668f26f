// Texture images reach Coin as the file holds them, bottom row first,
// whatever the file's layout, and bytes that do not hold a whole image are
// refused rather than drawn with made-up pixels.

#include "aircraft/TextureImage.h"
#include "image/Png.h"

#include <Inventor/SoDB.h>
#include <Inventor/fields/SoSFImage.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
struct Texture {
  std::string problem;
  int channels = 0;
  Bytes pixels;
};

// Decoded as the sky box and the models do, and handed to Coin.
Texture decode(const Bytes& file, int limit = 8) {
  SoDB::init();
  img::Image image;
  Texture t;
  t.problem = decodeTexture(std::string(file.begin(), file.end()), limit, &image);
  SoSFImage field;
  setTexture(field, image);
  SbVec2s size;
  const unsigned char* data = field.getValue(size, t.channels);
  t.pixels.assign(data, data + size[0] * size[1] * t.channels);
  return t;
}

// 3 x 2 pixels, the top row one colour. type 1: a 24-bit colour map, 8-bit indices.
Bytes targa(unsigned char type, unsigned char descriptor, const Bytes& data,
            const Bytes& map = {}) {
  const unsigned char mapped = map.empty() ? 0 : 1, entries = map.size() / 3,
                      bits = mapped ? 8 : 24;
  Bytes file = {0, mapped, type, 0, 0, entries, 0, 24, 0, 0, 0, 0, 3, 0, 2, 0, bits, descriptor};
  file.insert(file.end(), map.begin(), map.end());
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

TEST(TextureImage, TargaLayoutsGiveCoinTheSamePixels) {
  const Bytes bottomUp = {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 12, 11, 10, 12, 11, 10};
  const Bytes topDown = {12, 11, 10, 12, 11, 10, 12, 11, 10, 3, 2, 1, 6, 5, 4, 9, 8, 7};
  const Bytes runs = {2, 3, 2, 1, 6, 5, 4, 9, 8, 7, 0x82, 12, 11, 10};
  const Bytes coin = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 10, 11, 12, 10, 11, 12};
  for (const Bytes& file :
       {targa(2, 0, bottomUp), targa(2, 0x20, topDown), targa(10, 0, runs),
        targa(1, 0, {0, 1, 2, 3, 3, 3}, Bytes(bottomUp.begin(), bottomUp.end() - 6))}) {
    const Texture t = decode(file);
    EXPECT_EQ(t.problem, "") << int(file[2]);
    EXPECT_EQ(t.channels, 3);
    EXPECT_EQ(t.pixels, coin) << int(file[2]);
    EXPECT_EQ(decode(file, 2).problem, "too large for the GL");
    for (std::size_t n = 0; n < file.size(); ++n)
      EXPECT_EQ(decode(Bytes(file.begin(), file.begin() + n)).problem, "cannot be read as an image")
          << int(file[2]) << " cut to " << n;
  }
}

TEST(TextureImage, PngKeepsItsChannelsAndComesBottomRowFirst) {
  for (int c = 1; c <= 4; ++c) {
    img::Image image(3, 2, c);
    for (std::size_t k = 0; k < image.pixels.size(); ++k) image.pixels[k] = uint8_t(k * 7 + 1);
    std::string encoded, error;
    ASSERT_TRUE(img::encodePng(image, encoded, error)) << error;
    const Bytes file(encoded.begin(), encoded.end());
    Bytes bottomUp(image.pixels.begin() + 3 * c, image.pixels.end());
    bottomUp.insert(bottomUp.end(), image.pixels.begin(), image.pixels.begin() + 3 * c);
    const Texture t = decode(file);
    EXPECT_EQ(t.problem, "") << c;
    EXPECT_EQ(t.channels, c);
    EXPECT_EQ(t.pixels, bottomUp);
    EXPECT_EQ(decode(file, 2).problem, "too large for the GL");
  }
}

}  // namespace
