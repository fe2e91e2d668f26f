// The snapshot tool's parts that need no display: the command line, the
// scripted key schedule, frame spacing, PNG files, image comparison and the
// camera tilt.

#include "image/Png.h"
#include "tools/snapshot/FlightScript.h"
#include "tools/snapshot/ImageDiff.h"
#include "tools/snapshot/Options.h"
#include "tools/snapshot/Snapshot.h"

#include <Inventor/SoDB.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using cli::parseInt64;
using cli::parseReal;
using ParseStatus = cli::Outcome;

ParseStatus parse(const std::vector<std::string>& args, SnapshotOptions& options,
                  std::string* error = nullptr) {
  std::string e;
  const ParseStatus status = cli::parse(snapshotCommandLine(options), args, e);
  if (error) *error = e;
  return status;
}

img::Image gradient(int width, int height) {
  img::Image image;
  image.width = width;
  image.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.pixels.push_back(static_cast<uint8_t>(x * 255 / (width - 1)));
      image.pixels.push_back(static_cast<uint8_t>(y * 255 / (height - 1)));
      image.pixels.push_back(static_cast<uint8_t>((x + y) & 0xFF));
    }
  }
  return image;
}

std::string tempPath(const char* name) { return ::testing::TempDir() + name; }

}  // namespace

TEST(SnapshotOptions, LeaveTheCallersValuesAloneWhenNoneAreGiven) {
  SnapshotOptions o;
  o.data = "/data";
  o.ticks = 7;
  o.width = 320;
  ASSERT_EQ(parse({}, o), ParseStatus::Run);
  EXPECT_EQ(o.data, "/data");
  EXPECT_EQ(o.ticks, 7);
  EXPECT_EQ(o.width, 320);
  EXPECT_FALSE(o.pitchSet);
}

TEST(SnapshotOptions, ReadEveryOptionInBothSpellings) {
  SnapshotOptions o;
  ASSERT_EQ(parse({"--size", "320x240", "--out=a.png", "--data", "d", "--ticks=300", "--dt", "0.02",
                   "--hold", "W:0-200", "--hold=left:50-80", "--tab", "120", "--tab=150",
                   "--frames", "12", "--pitch", "-45.5"},
                  o),
            ParseStatus::Run);
  EXPECT_EQ(o.width, 320);
  EXPECT_EQ(o.height, 240);
  EXPECT_EQ(o.out, "a.png");
  EXPECT_EQ(o.data, "d");
  EXPECT_EQ(o.ticks, 300);
  EXPECT_DOUBLE_EQ(o.dt, 0.02);
  ASSERT_EQ(o.holds.size(), 2u);
  EXPECT_EQ(o.holds[0].key, KEY_W);
  EXPECT_EQ(o.holds[0].first, 0);
  EXPECT_EQ(o.holds[0].last, 200);
  EXPECT_EQ(o.holds[1].key, KEY_LEFT);
  EXPECT_EQ(o.holds[1].first, 50);
  EXPECT_EQ(o.holds[1].last, 80);
  EXPECT_EQ(o.tabs, (std::vector<int64_t>{120, 150}));
  EXPECT_EQ(o.frames, 12);
  EXPECT_TRUE(o.pitchSet);
  EXPECT_DOUBLE_EQ(o.pitchDegrees, -45.5);
}

TEST(SnapshotOptions, AnswerHelpBeforeLookingAtOtherArguments) {
  SnapshotOptions o;
  EXPECT_EQ(parse({"--help"}, o), ParseStatus::Help);
  EXPECT_EQ(parse({"--ticks", "x", "-h"}, o), ParseStatus::Help);
  EXPECT_EQ(parse({"--bogus", "--version"}, o), ParseStatus::Version);
  o.data = "/somewhere/data";
  const std::string text = cli::usage(snapshotCommandLine(o));
  for (const char* option : {"--size", "--out", "--data", "--ticks", "--dt", "--hold", "--tab",
                             "--frames", "--pitch", "--help", "--version", "/somewhere/data"}) {
    EXPECT_NE(text.find(option), std::string::npos) << option;
  }
}

TEST(SnapshotOptions, RejectMalformedValuesWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {"--size", "640"},
      {"--size", "0x10"},
      {"--size", "10x-3"},
      {"--size", "9000x10"},
      {"--size", "10x10x"},
      {"--ticks", "-1"},
      {"--ticks", "1e3"},
      {"--ticks", "12abc"},
      {"--ticks", "99999999999999999999"},
      {"--dt", "0"},
      {"--dt", "-0.5"},
      {"--dt", "nan"},
      {"--dt", "inf"},
      {"--dt", "0.1s"},
      {"--hold", "W"},
      {"--hold", "W:5-1"},
      {"--hold", "W:-1-3"},
      {"--hold", "Q:1-2"},
      {"--hold", "W:1"},
      {"--tab", "0"},
      {"--tab", "x"},
      {"--frames", "0"},
      {"--pitch", "90.5"},
      {"--out", ""},
      {"--bogus"},
      {"stray"},
      {"--ticks"},
      {"--help=yes"},
      {"-x"},
      {"--tab", "9223372036854775807"},
      {"--replay", ""},
      {"--replay", "flight.rec", "--ticks", "5"},
      {"--dt", "0.5", "--replay", "flight.rec"},
  };
  for (const auto& args : bad) {
    SnapshotOptions o;
    std::string error;
    EXPECT_EQ(parse(args, o, &error), ParseStatus::Error) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

TEST(SnapshotOptions, NeverHoldEscapeOrTab) {
  SnapshotOptions o;
  std::string error;
  EXPECT_EQ(parse({"--hold", "Escape:1-2"}, o, &error), ParseStatus::Error);
  EXPECT_NE(error.find("Escape"), std::string::npos);
  EXPECT_EQ(parse({"--hold", "tab:1-2"}, o, &error), ParseStatus::Error);
  EXPECT_NE(error.find("--tab"), std::string::npos);
  EXPECT_EQ(holdableKey("escape"), -1);
  EXPECT_EQ(holdableKey("Tab"), -1);
  EXPECT_EQ(holdableKey("RETURN"), KEY_RETURN);
  EXPECT_EQ(holdableKey("Space"), KEY_SPACE);
  EXPECT_EQ(holdableKey("n"), KEY_N);
}

TEST(SnapshotOptions, RequireATabReleaseWithinTheFlight) {
  SnapshotOptions o;
  std::string error;
  // Pressed at 10, released at 11: needs an 11th tick to be seen.
  EXPECT_EQ(parse({"--ticks", "10", "--tab", "10"}, o, &error), ParseStatus::Error);
  EXPECT_NE(error.find("--ticks"), std::string::npos);
  SnapshotOptions ok;
  EXPECT_EQ(parse({"--tab", "10", "--ticks", "11"}, ok), ParseStatus::Run);
}

TEST(CheckedNumbers, AcceptOnlyWholeStrings) {
  int64_t i = 0;
  EXPECT_TRUE(parseInt64("42", i));
  EXPECT_EQ(i, 42);
  EXPECT_TRUE(parseInt64("-7", i));
  EXPECT_EQ(i, -7);
  for (const char* s : {"", " 1", "1 ", "+1", "0x10", "1.0", "9223372036854775808"}) {
    EXPECT_FALSE(parseInt64(s, i)) << s;
  }
  double d = 0;
  EXPECT_TRUE(parseReal("0.25", d));
  EXPECT_DOUBLE_EQ(d, 0.25);
  EXPECT_TRUE(parseReal("1e-3", d));
  EXPECT_DOUBLE_EQ(d, 0.001);
  for (const char* s : {"", "nan", "inf", "-inf", "1e999", "0.5x", ".", " 1"}) {
    EXPECT_FALSE(parseReal(s, d)) << s;
  }
}

TEST(FlightScript, HoldsKeysOverInclusiveTickRanges) {
  SnapshotOptions o;
  o.holds = {{KEY_W, 1, 3}, {KEY_LEFT, 3, 4}, {KEY_W, 6, 6}};
  const bool w[] = {false, true, true, true, false, false, true, false};
  const bool left[] = {false, false, false, true, true, false, false, false};
  for (int t = 0; t < 8; ++t) {
    const KeyState keys = keysAt(o, t);
    EXPECT_EQ(keys[KEY_W], w[t]) << "tick " << t;
    EXPECT_EQ(keys[KEY_LEFT], left[t]) << "tick " << t;
    EXPECT_FALSE(keys[KEY_ESCAPE]);
    EXPECT_FALSE(keys[KEY_UP]);
  }
}

TEST(FlightScript, PressesTabForOneTickPerStroke) {
  SnapshotOptions o;
  o.ticks = 20;
  o.tabs = {5, 9};
  for (int t = 0; t <= 20; ++t) {
    EXPECT_EQ(keysAt(o, t)[KEY_TAB], t == 5 || t == 9) << "tick " << t;
  }
}

TEST(FrameSchedule, DrawsTheLastTickAloneWithoutFrames) {
  EXPECT_EQ(frameTicks(0, 0), (std::vector<int64_t>{0}));
  EXPECT_EQ(frameTicks(250, 0), (std::vector<int64_t>{250}));
  EXPECT_EQ(frameTicks(0, 5), (std::vector<int64_t>{0}));
}

TEST(FrameSchedule, SpreadsFramesEvenlyAndEndsOnTheLastTick) {
  EXPECT_EQ(frameTicks(3, 10), (std::vector<int64_t>{1, 2, 3}));
  EXPECT_EQ(frameTicks(4, 4), (std::vector<int64_t>{1, 2, 3, 4}));
  EXPECT_EQ(frameTicks(100, 4), (std::vector<int64_t>{25, 50, 75, 100}));
  EXPECT_EQ(frameTicks(10, 3), (std::vector<int64_t>{4, 7, 10}));
  const std::vector<int64_t> many = frameTicks(1000, 37);
  ASSERT_EQ(many.size(), 37u);
  EXPECT_EQ(many.back(), 1000);
  for (size_t i = 1; i < many.size(); ++i) {
    EXPECT_GT(many[i], many[i - 1]);
    EXPECT_LE(many[i] - many[i - 1], 28);  // 1000 / 37 rounded up
  }
}

TEST(FrameSchedule, NumbersFramesBeforeThePngExtension) {
  EXPECT_EQ(frameFileName("fly.png", 1), "fly-0001.png");
  EXPECT_EQ(frameFileName("out/fly", 12), "out/fly-0012.png");
  EXPECT_EQ(frameFileName("a.b.png", 12345), "a.b-12345.png");
  EXPECT_EQ(frameFileName(".png", 2), ".png-0002.png");
}

TEST(PngFiles, RoundTripEveryPixelTopRowFirst) {
  const img::Image image = gradient(37, 19);
  const std::string path = tempPath("snapshot_roundtrip.png");
  std::string error;
  ASSERT_TRUE(img::writePng(path, image, error)) << error;
  img::Image back;
  ASSERT_TRUE(img::readPng(path, back, error)) << error;
  EXPECT_EQ(back.width, 37);
  EXPECT_EQ(back.height, 19);
  EXPECT_EQ(back.pixels, image.pixels);
  std::remove(path.c_str());
}

TEST(PngFiles, FlipGlRowsSoTheTopRowComesFirst) {
  // GL reads back the bottom row first: rows 0 (bottom) and 1 (top).
  const std::vector<uint8_t> gl = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const img::Image image = img::fromBottomUpRows(2, 2, gl);
  EXPECT_EQ(image.pixels, (std::vector<uint8_t>{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));
}

TEST(PngFiles, ReportUnwritableAndUnreadableFiles) {
  std::string error;
  EXPECT_FALSE(img::writePng("/nonexistent-dir/x.png", gradient(4, 4), error));
  EXPECT_NE(error.find("/nonexistent-dir/x.png"), std::string::npos);
  EXPECT_FALSE(img::writePng(tempPath("empty.png"), img::Image{}, error));

  const std::string text = tempPath("not-a.png");
  FILE* f = std::fopen(text.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("plain text, no PNG signature", f);
  std::fclose(f);
  img::Image image;
  error.clear();
  EXPECT_FALSE(img::readPng(text, image, error));
  EXPECT_FALSE(error.empty());
  std::remove(text.c_str());
}

TEST(ImageComparison, CountsPixelsBeyondTheChannelTolerance) {
  const img::Image reference = gradient(10, 10);
  img::Image actual = reference;
  const DiffSummary same = compareImages(reference, actual, 0);
  EXPECT_TRUE(same.sameSize);
  EXPECT_EQ(same.differing, 0);
  EXPECT_EQ(same.maxDelta, 0);

  // Pixel (3, 2): green off by exactly the tolerance; pixel (5, 7): blue off by one more.
  actual.pixels[(2 * 10 + 3) * 3 + 1] = static_cast<uint8_t>(reference.at(3, 2)[1] + 20);
  actual.pixels[(7 * 10 + 5) * 3 + 2] = static_cast<uint8_t>(reference.at(5, 7)[2] + 21);
  const DiffSummary d = compareImages(reference, actual, 20);
  EXPECT_EQ(d.pixels, 100);
  EXPECT_EQ(d.differing, 1);
  EXPECT_DOUBLE_EQ(d.differingFraction(), 0.01);
  EXPECT_EQ(d.maxDelta, 21);
  EXPECT_DOUBLE_EQ(d.meanDelta, 41.0 / 300.0);
}

TEST(ImageComparison, PaintsDifferingPixelsRedOverADimmedReference) {
  img::Image reference = gradient(8, 8);
  img::Image actual = reference;
  actual.pixels[(4 * 8 + 6) * 3] = static_cast<uint8_t>(reference.at(6, 4)[0] ^ 0x80);
  const DiffSummary d = compareImages(reference, actual, 10);
  ASSERT_EQ(d.picture.width, 8);
  ASSERT_EQ(d.picture.height, 8);
  const uint8_t* marked = d.picture.at(6, 4);
  EXPECT_GE(marked[0], 128 + 10);
  EXPECT_EQ(marked[1], 0);
  EXPECT_EQ(marked[2], 0);
  const uint8_t* plain = d.picture.at(7, 7);
  EXPECT_EQ(plain[0], plain[1]);
  EXPECT_EQ(plain[1], plain[2]);
  EXPECT_LE(plain[0], 64);
}

TEST(ImageComparison, TreatsASizeChangeAsEveryPixelDiffering) {
  const DiffSummary d = compareImages(gradient(10, 10), gradient(10, 9), 255);
  EXPECT_FALSE(d.sameSize);
  EXPECT_DOUBLE_EQ(d.differingFraction(), 1.0);
  EXPECT_FALSE(compareImages(img::Image{}, img::Image{}, 0).sameSize);
}

TEST(ImageComparison, TellsABlankFrameFromAPicture) {
  img::Image black;
  black.width = black.height = 16;
  black.pixels.assign(16 * 16 * 3, 0);
  EXPECT_TRUE(looksBlank(black));
  img::Image flat = black;
  for (size_t i = 0; i < flat.pixels.size(); ++i) flat.pixels[i] = static_cast<uint8_t>(90 + i % 3);
  EXPECT_TRUE(looksBlank(flat));
  EXPECT_FALSE(looksBlank(gradient(16, 16)));
  EXPECT_TRUE(looksBlank(img::Image{}));
}

class CameraPitch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { SoDB::init(); }

  // The flight's chase camera at a heading: pitch -0.01 rad, then the yaw.
  static SoPerspectiveCamera* chaseCamera(float headingDegrees) {
    auto* camera = new SoPerspectiveCamera;
    camera->ref();
    const float yaw = static_cast<float>(headingDegrees / 180.0 * M_PI - M_PI);
    camera->orientation.setValue(SbRotation(SbVec3f(1, 0, 0), -0.01f) *
                                 SbRotation(SbVec3f(0, 1, 0), yaw));
    camera->position.setValue(1, 2, 3);
    return camera;
  }

  static SbVec3f view(SoPerspectiveCamera* c) {
    SbVec3f v;
    c->orientation.getValue().multVec(SbVec3f(0, 0, -1), v);
    return v;
  }
  static SbVec3f up(SoPerspectiveCamera* c) {
    SbVec3f v;
    c->orientation.getValue().multVec(SbVec3f(0, 1, 0), v);
    return v;
  }
};

TEST_F(CameraPitch, TiltsUpAndDownKeepingCompassDirectionAndPosition) {
  for (float heading : {0.0f, 45.0f, 135.0f, 225.0f, 300.0f}) {
    SoPerspectiveCamera* camera = chaseCamera(heading);
    const SbVec3f before = view(camera);
    const float compass = std::atan2(before[0], before[2]);
    for (double degrees : {30.0, 85.0, -60.0, -85.0}) {
      pitchCamera(camera, degrees);
      const SbVec3f after = view(camera);
      EXPECT_NEAR(std::asin(after[1]) * 180 / M_PI, degrees, 1e-3) << heading;
      EXPECT_NEAR(std::atan2(after[0], after[2]), compass, 1e-3) << heading << " " << degrees;
      EXPECT_GT(up(camera)[1], 0) << "no roll over the top";
      EXPECT_NEAR(up(camera).dot(SbVec3f(after[2], 0, -after[0])), 0, 1e-5) << "no roll";
    }
    EXPECT_EQ(camera->position.getValue(), SbVec3f(1, 2, 3));
    camera->unref();
  }
}
