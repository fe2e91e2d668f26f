// The window layer draws a Coin scene into a hidden window, keeps the
// camera's clipping planes, follows resizes and runs Coin's sensor queues;
// closing the window and real key events are covered end to end (e2e_fly).

#include "tests/support/HiddenWindow.h"

#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSphere.h>
#include <Inventor/nodes/SoTranslation.h>
#include <Inventor/sensors/SoAlarmSensor.h>
#include <Inventor/sensors/SoOneShotSensor.h>
#include <Inventor/system/gl.h>
#include <gtest/gtest.h>

namespace {

struct Rgb {
  int r, g, b;
};

Rgb pixelAt(const std::vector<uint8_t>& rgb, int width, int x, int y) {
  const size_t i = (static_cast<size_t>(y) * width + x) * 3;
  return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

class WindowLayer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const fstest::HiddenWindow window = fstest::openHiddenWindow("render_window", 128, 96);
    top = window.top;
    area = window.area;
    ASSERT_NE(top, nullptr) << "no display";
  }

  void SetUp() override {
    ASSERT_NE(area, nullptr);
    root = new SoSeparator;
    root->ref();
    camera = new SoPerspectiveCamera;
    camera->position.setValue(0, 0, 5);
    camera->nearDistance = 0.1f;
    camera->farDistance = 4096.0f;
    root->addChild(camera);
    auto* unlit = new SoLightModel;
    unlit->model = SoLightModel::BASE_COLOR;
    root->addChild(unlit);
    auto* red = new SoBaseColor;
    red->rgb.setValue(1, 0, 0);
    root->addChild(red);
    root->addChild(new SoSphere);
    area->setSize(128, 96);
    area->setBackgroundColor(SbColor4f(0, 0, 1, 1));
    area->setSceneGraph(root);
  }

  void TearDown() override {
    area->setSceneGraph(nullptr);
    root->unref();
  }

  static win::TopLevel* top;
  static win::RenderArea* area;
  SoSeparator* root = nullptr;
  SoPerspectiveCamera* camera = nullptr;
};

win::TopLevel* WindowLayer::top = nullptr;
win::RenderArea* WindowLayer::area = nullptr;

TEST_F(WindowLayer, DrawsThroughTheScenesCameraWithDepthTestAndItsClippingPlanes) {
  // A green sphere behind the red one, drawn after it: depth testing must
  // keep the red one in front; the corners show the background.
  auto* behind = new SoSeparator;
  auto* green = new SoBaseColor;
  green->rgb.setValue(0, 1, 0);
  behind->addChild(green);
  auto* away = new SoTranslation;
  away->translation.setValue(0, 0, -3);
  behind->addChild(away);
  auto* big = new SoSphere;
  big->radius = 2.0f;
  behind->addChild(big);
  root->addChild(behind);
  area->render();
  EXPECT_FLOAT_EQ(camera->nearDistance.getValue(), 0.1f);
  EXPECT_FLOAT_EQ(camera->farDistance.getValue(), 4096.0f);
  std::vector<uint8_t> rgb;
  area->readPixels(rgb);
  ASSERT_EQ(rgb.size(), 128u * 96u * 3u);
  const Rgb centre = pixelAt(rgb, 128, 64, 48);
  EXPECT_GT(centre.r, 200);
  EXPECT_LT(centre.g, 50);
  EXPECT_LT(centre.b, 50);
  const Rgb corner = pixelAt(rgb, 128, 2, 2);
  EXPECT_LT(corner.r, 50);
  EXPECT_GT(corner.b, 200);
}

TEST_F(WindowLayer, FollowsAResizeWithViewportAndAspect) {
  area->setSize(64, 64);
  EXPECT_EQ(area->getSize(), SbVec2s(64, 64));
  area->render();
  std::vector<uint8_t> rgb;
  area->readPixels(rgb);
  ASSERT_EQ(rgb.size(), 64u * 64u * 3u);
  // Square viewport: the sphere is round, as wide as it is tall.
  int wide = 0, tall = 0;
  for (int x = 0; x < 64; ++x) wide += pixelAt(rgb, 64, x, 32).r > 128;
  for (int y = 0; y < 64; ++y) tall += pixelAt(rgb, 64, 32, y).r > 128;
  EXPECT_GT(wide, 10);
  EXPECT_NEAR(wide, tall, 2);
}

TEST_F(WindowLayer, NeitherDrawsNorReadsBackAWindowWiderThanTheGlViewport) {
  GLint limit[2] = {0, 0};
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, limit);
  if (limit[0] <= 0 || limit[0] >= 32767) GTEST_SKIP() << "no window can be wider than this GL";
  area->setSize(limit[0] + 1, 8);
  ASSERT_EQ(area->getSize(), SbVec2s(static_cast<short>(limit[0] + 1), 8));
  EXPECT_FALSE(area->render());
  std::vector<uint8_t> rgb(3);
  area->readPixels(rgb);
  EXPECT_TRUE(rgb.empty());
}

struct LoopProbe {
  int ticks = 0;
  int stopAfter = 0;
  bool alarmRang = false;
};

TEST_F(WindowLayer, MainLoopRunsSelfReschedulingSensorsAndTimers) {
  LoopProbe probe;
  probe.stopAfter = 10;
  SoOneShotSensor tick(
      [](void* data, SoSensor* sensor) {
        auto* p = static_cast<LoopProbe*>(data);
        if (++p->ticks == p->stopAfter) {
          win::exitMainLoop();
          return;
        }
        static_cast<SoOneShotSensor*>(sensor)->schedule();
      },
      &probe);
  SoAlarmSensor alarm(
      [](void* data, SoSensor*) { static_cast<LoopProbe*>(data)->alarmRang = true; }, &probe);
  alarm.setTimeFromNow(SbTime(0.01));
  alarm.schedule();
  tick.schedule();
  const uint64_t framesBefore = area->frameCount();
  win::mainLoop();
  EXPECT_EQ(probe.ticks, 10);
  EXPECT_TRUE(probe.alarmRang);
  EXPECT_GT(area->frameCount(), framesBefore);
}

TEST_F(WindowLayer, IgnoresFullscreenWhileHidden) {
  win::setFullscreen(top, true);
  EXPECT_FALSE(win::isFullscreen(top));
  EXPECT_EQ(win::placeOf(top).width, 128);
}

}  // namespace
