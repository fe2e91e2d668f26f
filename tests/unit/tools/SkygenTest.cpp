#include "aircraft/TextureImage.h"
#include "tests/support/ExitStatus.h"
#include "tools/skygen/SkyTextures.h"
#include "tools/skygen/Tga.h"

#include <Inventor/SbVec2s.h>
#include <Inventor/SoDB.h>
#include <Inventor/fields/SoSFImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;
using img::Image;
using skygen::setTexel;
using skygen::texel;

namespace {

const int N = skygen::kSkyImageSize;
const std::size_t kFileSize = 18 + 512 * 512 * 3;
const uint8_t kHeader512[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x02, 0x00, 0x02, 24, 0};

// Coin's database lives for the whole run and is torn down at exit, so leak
// checkers see only what the tests themselves leave behind.
class CoinDatabase : public ::testing::Environment {
 public:
  void SetUp() override { SoDB::init(); }
  void TearDown() override { SoDB::finish(); }
};
::testing::Environment* const coinDatabase = ::testing::AddGlobalTestEnvironment(new CoinDatabase);

const skygen::SkyBoxImages& generated() {
  static const skygen::SkyBoxImages images = skygen::makeSkyBoxImages();
  return images;
}

struct NamedImage {
  const char* name;
  const Image* image;
};
// Built on first use, so listing the tests does not generate the images.
std::vector<NamedImage> files() {
  return {{"side.tga", &generated().side},
          {"above.tga", &generated().above},
          {"floor.tga", &generated().floor}};
}

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A scratch directory that is removed again even when an assertion fails.
struct TempDir {
  fs::path path;
  explicit TempDir(const std::string& name)
      : path(fs::temp_directory_path() / ("skygen-test-" + std::to_string(getpid()) + "-" + name)) {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

struct RunResult {
  int status = -1;
  std::string out, err;
};

std::string inQuotes(const fs::path& path) { return "\"" + path.string() + "\""; }

// Runs the real program; its output goes to files in dir.
RunResult runSkygen(const std::string& args, const fs::path& dir) {
  const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt";
  // Double quotes: the POSIX shell and cmd.exe (under Wine) read them alike.
  const std::string cmd = std::string("\"") + SKYGEN_EXE + "\" " + args + " >\"" + out.string() +
                          "\" 2>\"" + err.string() + "\"";
  return {runCommand(cmd), readFile(out), readFile(err)};
}

double luma(const uint8_t* p) { return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]; }

bool samePixel(const uint8_t* a, const uint8_t* b) { return std::equal(a, a + 3, b); }

}  // namespace

TEST(TargaEncoding, HeaderDeclaresUncompressed24BitBottomUpImage) {
  const std::vector<uint8_t> bytes = skygen::encodeTga(Image(512, 512));
  ASSERT_EQ(bytes.size(), kFileSize);
  EXPECT_TRUE(std::equal(kHeader512, kHeader512 + 18, bytes.begin()));

  // Width and height are little-endian and not swapped.
  const std::vector<uint8_t> wide = skygen::encodeTga(Image(300, 2));
  EXPECT_EQ((std::vector<uint8_t>(wide.begin() + 12, wide.begin() + 16)),
            (std::vector<uint8_t>{300 & 0xff, 300 >> 8, 2, 0}));
  EXPECT_EQ(wide.size(), 18u + 300u * 2u * 3u);
}

TEST(TargaEncoding, PixelsAreStoredBgrRowByRowFromTheBottom) {
  Image img(3, 2);
  setTexel(img, 0, 0, {10, 20, 30});     // bottom-left
  setTexel(img, 2, 0, {40, 50, 60});     // bottom-right
  setTexel(img, 0, 1, {70, 80, 90});     // top-left
  setTexel(img, 2, 1, {100, 110, 120});  // top-right

  const std::vector<uint8_t> b = skygen::encodeTga(img);

  EXPECT_EQ(b[17] & 0x30, 0) << "origin bits must say bottom-left";
  auto at = [&](std::size_t pixel) {
    return std::vector<uint8_t>(b.begin() + 18 + 3 * pixel, b.begin() + 21 + 3 * pixel);
  };
  EXPECT_EQ(at(0), (std::vector<uint8_t>{30, 20, 10}));
  EXPECT_EQ(at(2), (std::vector<uint8_t>{60, 50, 40}));
  EXPECT_EQ(at(3), (std::vector<uint8_t>{90, 80, 70}));
  EXPECT_EQ(at(5), (std::vector<uint8_t>{120, 110, 100}));
}

TEST(TargaEncoding, WriteReportsWhyItFailed) {
  std::string error;
  EXPECT_FALSE(skygen::writeTga("/nonexistent-skygen-dir/side.tga", Image(4, 4), &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;

  const TempDir dir("too-wide");
  error.clear();
  EXPECT_FALSE(skygen::writeTga((dir.path / "x.tga").string(), Image(70000, 1), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(fs::exists(dir.path / "x.tga"));
}

// The sky box decodes the files as textures (aircraft/TextureImage.h).
SoSFImage decoded(const fs::path& file) {
  img::Image image;
  EXPECT_EQ(decodeTexture(readFile(file), 4096, &image), "") << file;
  SoSFImage texture;
  setTexture(texture, image);
  return texture;
}

TEST(SkyTextures, ReadAWrittenFileWithTheSameOrientation) {
  Image img(4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) setTexel(img, x, y, {20.0 * x + 5, 60.0 * y + 7, x * y + 200.0});
  const TempDir dir("orientation");
  const fs::path file = dir.path / "small.tga";
  ASSERT_TRUE(skygen::writeTga(file.string(), img, nullptr));

  const SoSFImage texture = decoded(file);
  SbVec2s size;
  int components = 0;
  const unsigned char* data = texture.getValue(size, components);

  ASSERT_NE(data, nullptr);
  ASSERT_EQ(size, SbVec2s(4, 3));
  ASSERT_EQ(components, 3);
  // Coin's rows run bottom to top like ours: pixel (x, y) lands at the same place.
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_TRUE(samePixel(data + (y * 4 + x) * 3, texel(img, x, y))) << "pixel " << x << "," << y;
}

TEST(SkyTextures, ReadTheGeneratedSkyBoxImages) {
  const TempDir dir("coin-read");
  ASSERT_EQ(runSkygen(inQuotes(dir.path), dir.path).status, 0);
  for (const NamedImage& f : files()) {
    const SoSFImage texture = decoded(dir.path / f.name);
    SbVec2s size;
    int components = 0;
    const unsigned char* data = texture.getValue(size, components);
    ASSERT_NE(data, nullptr) << f.name;
    EXPECT_EQ(size, SbVec2s(512, 512)) << f.name;
    ASSERT_EQ(components, 3) << f.name;
    const int spots[][2] = {{0, 0}, {511, 0}, {0, 511}, {137, 402}, {400, 21}};
    for (const auto& s : spots)
      EXPECT_TRUE(samePixel(data + (s[1] * 512 + s[0]) * 3, texel(*f.image, s[0], s[1])))
          << f.name << " pixel " << s[0] << "," << s[1];
  }
}

TEST(SideImage, SkyGradientRunsAlongTheHorizontalAxis) {
  const Image& side = generated().side;

  for (int y = 1; y < N; ++y)
    for (int x = 0; x < N; ++x)
      ASSERT_TRUE(samePixel(texel(side, x, y), texel(side, x, 0)))
          << "row " << y << " column " << x;

  // Left edge (top of the wall) is clearly blue and darker than the sky near the horizon.
  const uint8_t* top = texel(side, 0, 0);
  EXPECT_GT(int(top[2]), int(top[0]) + 60);
  EXPECT_LT(luma(top) + 60.0, luma(texel(side, 250, 0)));
  // The sky half brightens steadily towards the horizon.
  for (int x = 1; x < N / 2; ++x)
    EXPECT_GE(luma(texel(side, x, 0)), luma(texel(side, x - 1, 0))) << x;
}

TEST(SideImage, HorizonIsInTheMiddleAndTheFootMatchesTheFloor) {
  const Image& side = generated().side;
  const skygen::Rgb floorMean = skygen::meanColour(generated().floor);

  // Just above the horizon: pale, hazy, still bluish.
  const uint8_t* horizon = texel(side, N / 2 - 1, 0);
  for (int c = 0; c < 3; ++c) EXPECT_GT(horizon[c], 190) << "channel " << c;
  EXPECT_GE(horizon[2], horizon[0]);
  // Below the horizon the ground darkens out of the haze into the floor's mean colour.
  EXPECT_LT(luma(texel(side, N - 1, 0)), luma(texel(side, N / 2, 0)));
  const uint8_t* foot = texel(side, N - 1, 0);
  EXPECT_NEAR(foot[0], floorMean.r, 0.51);
  EXPECT_NEAR(foot[1], floorMean.g, 0.51);
  EXPECT_NEAR(foot[2], floorMean.b, 0.51);
}

TEST(AboveImage, BorderMatchesTheTopEdgeOfTheWalls) {
  const Image& above = generated().above;
  const uint8_t* wallTop = texel(generated().side, 0, 0);
  for (int i = 0; i < N; ++i) {
    ASSERT_TRUE(samePixel(texel(above, i, 0), wallTop)) << "bottom " << i;
    ASSERT_TRUE(samePixel(texel(above, i, N - 1), wallTop)) << "top " << i;
    ASSERT_TRUE(samePixel(texel(above, 0, i), wallTop)) << "left " << i;
    ASSERT_TRUE(samePixel(texel(above, N - 1, i), wallTop)) << "right " << i;
  }
}

TEST(AboveImage, DeepensTowardsTheZenithWithFaintHighCloud) {
  const Image& above = generated().above;
  const double rim = luma(texel(above, 0, 0));

  int cloud = 0, clear = 0;
  for (int y = 0; y < N; ++y) {
    for (int x = 0; x < N; ++x) {
      const uint8_t* p = texel(above, x, y);
      ASSERT_GE(p[2], p[0]) << "sky stays blue at " << x << "," << y;
      ASSERT_LT(luma(p), 235.0) << "cloud too dense at " << x << "," << y;
      cloud += luma(p) > rim + 15.0;
      clear += luma(p) <= rim;
    }
  }
  EXPECT_GT(cloud, N * N / 50);
  EXPECT_GT(clear, N * N / 2);
  // Open sky near the centre is a deeper blue than the rim.
  double centre = 255.0;
  for (int y = N / 2 - 32; y < N / 2 + 32; ++y)
    for (int x = N / 2 - 32; x < N / 2 + 32; ++x)
      centre = std::min(centre, luma(texel(above, x, y)));
  EXPECT_LT(centre, rim - 15.0);
}

TEST(FloorImage, FieldsAreGreensAndBrowns) {
  int green = 0, brown = 0, earthy = 0;
  for (int y = 0; y < N; ++y) {
    for (int x = 0; x < N; ++x) {
      const uint8_t* p = texel(generated().floor, x, y);
      earthy += p[0] >= p[2] && p[1] >= p[2];  // no blue or purple
      green += p[1] > p[0];
      brown += p[0] > p[1] + 10;
    }
  }
  EXPECT_GT(earthy, N * N * 99 / 100);
  EXPECT_GT(green, N * N / 2);
  EXPECT_GT(brown, N * N / 20);
}

TEST(FloorImage, PatternRepeatsSoTheTextureTiles) {
  // One tile further in any direction gives the same colours, so the image
  // wraps onto itself without a seam.
  const double offsets[][2] = {{1.0, 0.0}, {0.0, 1.0}, {-1.0, 0.0}, {1.0, -1.0}};
  for (int y = 0; y < N; y += 3) {
    for (int x = 0; x < N; x += 5) {
      const double tx = (x + 0.5) / N, ty = (y + 0.5) / N;
      const skygen::Rgb base = skygen::floorColourAt(tx, ty);
      for (const auto& o : offsets) {
        const skygen::Rgb moved = skygen::floorColourAt(tx + o[0], ty + o[1]);
        ASSERT_NEAR(moved.r, base.r, 0.5) << x << "," << y << " shifted " << o[0] << "," << o[1];
        ASSERT_NEAR(moved.g, base.g, 0.5) << x << "," << y << " shifted " << o[0] << "," << o[1];
        ASSERT_NEAR(moved.b, base.b, 0.5) << x << "," << y << " shifted " << o[0] << "," << o[1];
      }
    }
  }
}

TEST(SkygenCommand, WritesTheSameThreeImagesOnEveryRun) {
  const TempDir a("run-a"), b("run-b");
  ASSERT_EQ(runSkygen(inQuotes(a.path), a.path).status, 0);
  ASSERT_EQ(runSkygen(inQuotes(b.path), b.path).status, 0);

  for (const NamedImage& f : files()) {
    const std::string first = readFile(a.path / f.name), second = readFile(b.path / f.name);
    ASSERT_EQ(first.size(), kFileSize) << f.name;
    EXPECT_TRUE(first == second) << f.name << " differs between runs";
    const std::vector<uint8_t> encoded = skygen::encodeTga(*f.image);
    EXPECT_TRUE(first == std::string(encoded.begin(), encoded.end()))
        << f.name << " differs from the library";
  }
}

TEST(SkygenCommand, UsageAndWriteFailuresGiveAClearMessage) {
  const TempDir dir("cli");
  const RunResult help = runSkygen("--help", dir.path);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: flightscene-skygen [OPTIONS] OUTDIR"), std::string::npos)
      << help.out;
  const RunResult version = runSkygen("--version", dir.path);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("flightscene-skygen ", 0), 0u) << version.out;

  const RunResult none = runSkygen("", dir.path);
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("Usage"), std::string::npos) << none.err;

  const std::string missing = (dir.path / "no-such-dir").string();
  const RunResult unwritable = runSkygen(inQuotes(missing), dir.path);
  EXPECT_NE(unwritable.status, 0);
  EXPECT_NE(unwritable.err.find("cannot write " + missing + "/side.tga"), std::string::npos)
      << unwritable.err;
}
