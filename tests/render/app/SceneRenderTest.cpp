// The start-up scene drawn in a hidden window: the sun where the camera sees
// it, and every sky-box face showing its own image.

#include "aircraft/Plane.h"
#include "aircraft/PlaneList.h"
#include "app/Scene.h"
#include "app/SceneWindow.h"
#include "app/SkyBox.h"
#include "image/Decode.h"
#include "state/Globals.h"
#include "tests/support/HiddenWindow.h"
#include "volume/SoVolumeRendering.h"

#include <Inventor/SoDB.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/sensors/SoOneShotSensor.h>
#include <Inventor/sensors/SoSensorManager.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr int kSize = 128;

struct Rgb {
  double r = 0, g = 0, b = 0;
};

class StartupScenePicture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (area != nullptr) return;  // one scene for every suite of this file
    ASSERT_EQ(chdir(FS_SOURCE_DIR "/data"), 0);
    area = fstest::openHiddenWindow("render_app_scene", kSize, kSize).area;
    ASSERT_NE(area, nullptr) << "no display";
    SoVolumeRendering::init();
    buildScene();
    tickSensor->unschedule();  // the camera stays where each test puts it
    area->setSceneGraph(sceneRoot);
  }

  // Looks from `eye` towards `target` and returns the mean colour of the
  // 3 x 3 pixels at the centre of the picture.
  static Rgb centreSeen(const SbVec3f& eye, const SbVec3f& target) {
    sceneCamera->position = eye;
    SbVec3f dir = target - eye;
    dir.normalize();
    // Looking straight up or down needs another up vector.
    const SbVec3f up = std::fabs(dir[1]) > 0.99f ? SbVec3f(0, 0, -1) : SbVec3f(0, 1, 0);
    sceneCamera->pointAt(target, up);
    area->render();
    std::vector<uint8_t> rgb;
    area->readPixels(rgb);
    Rgb mean;
    for (int y = kSize / 2 - 1; y <= kSize / 2 + 1; ++y) {
      for (int x = kSize / 2 - 1; x <= kSize / 2 + 1; ++x) {
        const size_t i = (static_cast<size_t>(y) * kSize + x) * 3;
        mean.r += rgb[i] / 9.0;
        mean.g += rgb[i + 1] / 9.0;
        mean.b += rgb[i + 2] / 9.0;
      }
    }
    return mean;
  }

  static win::RenderArea* area;
};

win::RenderArea* StartupScenePicture::area = nullptr;

// The bilinear colour of an image at texture coordinates (s, t); s runs
// along the image's rows, t up its columns.
Rgb texel(const char* file, float s, float t) {
  // Decoded as the program decodes it, by the image folder.
  std::ifstream in(file, std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  img::Image image;
  EXPECT_EQ(img::decodeImage(data, 4096, image), img::Decoded::Image) << "cannot decode " << file;
  const int nc = image.channels;
  EXPECT_GE(nc, 3);
  if (!image.valid() || nc < 3) return {};
  const SbVec2s size(static_cast<short>(image.width), static_cast<short>(image.height));
  const double fx = s * size[0] - 0.5, fy = t * size[1] - 0.5;
  const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
  const double ax = fx - x0, ay = fy - y0;
  Rgb out;
  for (int dy = 0; dy <= 1; ++dy) {
    for (int dx = 0; dx <= 1; ++dx) {
      const int x = std::clamp(x0 + dx, 0, size[0] - 1), y = std::clamp(y0 + dy, 0, size[1] - 1);
      const double w = (dx ? ax : 1 - ax) * (dy ? ay : 1 - ay);
      const unsigned char* p = image.at(x, size[1] - 1 - y);  // rows top first
      out.r += w * p[0];
      out.g += w * p[1];
      out.b += w * p[2];
    }
  }
  return out;
}

void expectClose(const Rgb& seen, const Rgb& expected, const std::string& what) {
  EXPECT_NEAR(seen.r, expected.r, 14) << what;
  EXPECT_NEAR(seen.g, expected.g, 14) << what;
  EXPECT_NEAR(seen.b, expected.b, 14) << what;
}

TEST_F(StartupScenePicture, TheSunShinesWhereTheCameraLooksAtIt) {
  // From above, looking straight down on the sun at (-2, 1, 1).
  const Rgb sun = centreSeen(SbVec3f(-2, 4, 1), SbVec3f(-2, 1, 1));
  EXPECT_GT(sun.r, 230);
  EXPECT_GT(sun.g, 230);
  EXPECT_GT(sun.b, 120);
  EXPECT_LT(sun.b, sun.r - 20);  // yellowish white, not the white of a cloud
  // A little to the side the sun is gone.
  const Rgb beside = centreSeen(SbVec3f(-2, 4, 1), SbVec3f(-2.8f, 1, 1));
  EXPECT_GT(std::fabs(beside.b - sun.b) + std::fabs(beside.g - sun.g), 40);
}

// Each face: a point on it (relative to the camera) and its texture
// coordinates, from the face's strip and the texture coordinate table.
struct FaceProbe {
  const char* name;
  int face;
  SbVec3f point;
  float s, t;
};

TEST_F(StartupScenePicture, EverySkyFaceShowsItsOwnImage) {
  const FaceProbe probes[] = {
      {"back wall (z = -100)", 0, SbVec3f(-30, 10, -100), (25 - 10) / 50.0f, (-30 + 100) / 200.0f},
      {"left wall (x = -100)", 1, SbVec3f(-100, 5, 40), (25 - 5) / 50.0f, (40 + 100) / 200.0f},
      {"right wall (x = 100)", 2, SbVec3f(100, -8, -20), (25 + 8) / 50.0f, (-20 + 100) / 200.0f},
      {"front wall (z = 100)", 3, SbVec3f(10, 15, 100), (25 - 15) / 50.0f, (100 - 10) / 200.0f},
      {"top", 4, SbVec3f(20, 25, -30), (20 + 100) / 200.0f, (-30 + 100) / 200.0f},
      {"floor", 5, SbVec3f(-25, -25, 35), (-25 + 100) / 200.0f, (100 - 35) / 200.0f},
  };
  // Far from the clouds and aircraft: the box travels with the camera.
  const SbVec3f eye(3000, 2000, -4000);
  for (const FaceProbe& probe : probes) {
    const Rgb seen = centreSeen(eye, eye + probe.point);
    const Rgb expected = texel(skyBoxImages[probe.face], probe.s, probe.t);
    expectClose(seen, expected, probe.name);
  }
}

TEST_F(StartupScenePicture, WallsShowTheGradientFromSkyToGround) {
  const SbVec3f eye(-3000, 500, 2500);
  const Rgb high = centreSeen(eye, eye + SbVec3f(0, 20, -100));
  const Rgb low = centreSeen(eye, eye + SbVec3f(0, -20, -100));
  // Upper wall sky blue, lower wall ground: the image's horizontal axis is
  // the sky's height.
  EXPECT_GT(high.b, high.g);
  EXPECT_GT(low.g, low.b);
}

// The fleet at rest and the tick running, whatever flew before.
class StillScene : public StartupScenePicture {
 protected:
  void SetUp() override {
    for (PlaneListNode* cell = fleet.head; cell != nullptr; cell = cell->next) {
      cell->plane->speed = 0;
      cell->plane->bank = 0;
      cell->plane->climb = 0;
    }
    tickSensor->schedule();
  }
  void TearDown() override { tickSensor->unschedule(); }
};

// A still scene draws no frames however many ticks run, and the next key
// brings the frames back.
TEST_F(StillScene, StopsDrawingAndAKeyWakesIt) {
  const auto framesOver = [](int ticks) {
    const uint64_t before = area->frameCount();
    for (int i = 0; i < ticks; ++i) {
      usleep(1000);  // every tick sees time pass
      SoDB::getSensorManager()->processDelayQueue(TRUE);
      area->redrawIfNeeded();
    }
    return area->frameCount() - before;
  };
  framesOver(5);  // the first ticks place the camera behind the aircraft
  EXPECT_EQ(framesOver(30), 0u) << "frames drawn while nothing moved";
  sendKey(*area, KEY_W, true);
  EXPECT_GE(framesOver(30), 25u) << "frames drawn while flying";
  sendKey(*area, KEY_W, false);
}

}  // namespace
