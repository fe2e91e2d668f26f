// The aircraft record and its per-tick flight and camera update.

#include "aircraft/Plane.h"
#include "state/KeyTable.h"
#include "tests/support/QuietCoin.h"

#include <Inventor/SbMatrix.h>
#include <Inventor/SbRotation.h>
#include <Inventor/nodes/SoFile.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoRotation.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

// The aircraft here have no model file.
void initScene() { fstest::initQuietCoin(); }

class Flight : public ::testing::Test {
 protected:
  void SetUp() override {
    initScene();
    for (KeyEntry& k : KeyTable) k.pressed = 0;
    plane.build(1.0f, 0.5f, "");
    camera = new SoPerspectiveCamera;
    camera->ref();
  }
  void TearDown() override {
    for (KeyEntry& k : KeyTable) k.pressed = 0;
    camera->unref();
    plane.root->unref();
  }
  void hold(int key) { KeyTable[key].pressed = 1; }
  void release(int key) { KeyTable[key].pressed = 0; }
  void tick(double dt) { plane.advance(SbTime(dt), camera); }
  SbMatrix matrix() const { return plane.transform->matrix.getValue(); }

  Plane plane;
  SoPerspectiveCamera* camera = nullptr;
};

TEST_F(Flight, AcceleratesAtPointTwoPerSecondUpToExactlyTwo) {
  hold(KEY_W);
  tick(0.5);
  EXPECT_EQ(plane.speed, double{0.2f} * 0.5);
  for (int i = 0; i < 30; ++i) tick(0.5);
  EXPECT_EQ(plane.speed, 2.0);
  tick(0.5);
  EXPECT_EQ(plane.speed, 2.0);
}

TEST_F(Flight, BrakingPastZeroLeavesReverseSpeedThenStops) {
  plane.speed = 0.1;
  hold(KEY_S);
  tick(0.5);
  const double reverse = 0.1 - double{0.5f} * 0.5;
  EXPECT_EQ(plane.speed, reverse);
  EXPECT_LT(plane.speed, 0);
  tick(0.5);
  EXPECT_EQ(plane.speed, 0.0);
}

TEST_F(Flight, ReverseSpeedKeepsDriftingWhenBrakeIsReleased) {
  plane.setHeading(0);
  plane.speed = -0.15;
  const SbVec2f before = plane.horizontalPosition();
  tick(1.0);
  EXPECT_EQ(plane.speed, -0.15);
  EXPECT_LT(plane.horizontalPosition()[1], before[1]);  // backwards along +z
  hold(KEY_W);
  tick(1.0);
  EXPECT_EQ(plane.speed, -0.15 + double{0.2f});
}

TEST_F(Flight, AtRestTheArrowsOnlyClampBank) {
  hold(KEY_LEFT);
  plane.bank = 4;
  tick(0.1);
  EXPECT_EQ(plane.bank, 4.0f);
  plane.bank = -3;
  tick(0.1);
  EXPECT_EQ(plane.bank, 0.0f);
  plane.bank = 15;
  tick(0.1);
  EXPECT_EQ(plane.bank, 10.0f);
  release(KEY_LEFT);
  hold(KEY_RIGHT);
  plane.bank = 3;
  tick(0.1);
  EXPECT_EQ(plane.bank, 0.0f);
  plane.bank = -12;
  tick(0.1);
  EXPECT_EQ(plane.bank, -10.0f);
}

TEST_F(Flight, BankRateFollowsTheTurnFactor) {
  hold(KEY_LEFT);
  plane.speed = 1.0;  // half of maxSpeed: factor 1
  tick(0.1);
  EXPECT_FLOAT_EQ(plane.bank, 5.0f);
  plane.bank = 0;
  plane.speed = 2.0;  // maxSpeed: factor 0.75
  tick(0.1);
  EXPECT_FLOAT_EQ(plane.bank, 3.75f);
  release(KEY_LEFT);
  hold(KEY_RIGHT);  // against a left bank: level at once
  tick(0.1);
  EXPECT_EQ(plane.bank, 0.0f);
}

TEST_F(Flight, BankTurnsTheHeadingPerCallAndWraps) {
  plane.speed = 1.0;
  plane.bank = 10;
  plane.setHeading(10);
  tick(0.001);
  EXPECT_EQ(plane.heading, 12.5f);
  tick(1.0);  // the step does not scale with time
  EXPECT_EQ(plane.heading, 15.0f);

  plane.setHeading(359);
  tick(0.01);
  EXPECT_EQ(plane.heading, 1.5f);
  plane.setHeading(357.5f);
  tick(0.01);
  EXPECT_EQ(plane.heading, 360.0f);

  plane.bank = -10;
  plane.setHeading(1);
  tick(0.01);
  EXPECT_EQ(plane.heading, 358.5f);

  plane.speed = -0.1;  // reverse speed turns too
  plane.setHeading(100);
  tick(0.01);
  EXPECT_EQ(plane.heading, 97.5f);
  plane.speed = 0;
  tick(0.01);
  EXPECT_EQ(plane.heading, 97.5f);
}

TEST_F(Flight, ClimbOvershootsFiveOnceThenHoldsFive) {
  plane.speed = 1.0;
  plane.climb = 4.999f;
  hold(KEY_UP);
  tick(1.0);
  const float overshoot = static_cast<float>(4.999f + double{0.01f});
  EXPECT_EQ(plane.climb, overshoot);
  EXPECT_GT(plane.climb, 5.0f);
  EXPECT_EQ(plane.speed, 1.0 - overshoot);
  tick(1.0);
  EXPECT_EQ(plane.climb, 5.0f);
  tick(1.0);
  EXPECT_EQ(plane.climb, 5.0f);
  release(KEY_UP);
  hold(KEY_DOWN);
  tick(1.0);
  EXPECT_EQ(plane.climb, static_cast<float>(5.0f - double{0.01f}));
}

TEST_F(Flight, UpDoesNothingWithoutForwardSpeedButClimbStillLifts) {
  hold(KEY_UP);
  plane.climb = 0.5f;
  plane.speed = 0;
  tick(1.0);
  EXPECT_EQ(plane.climb, 0.5f);
  EXPECT_EQ(plane.altitude, 0.5f);
  plane.speed = -1;
  tick(1.0);
  EXPECT_EQ(plane.climb, 0.5f);
  EXPECT_EQ(plane.altitude, 1.0f);
  EXPECT_EQ(matrix()[3][1], 1.0f);
}

TEST_F(Flight, DownHasNoLimitAndTradesClimbForSpeed) {
  hold(KEY_DOWN);
  plane.climb = -100;
  plane.speed = 0.5;
  tick(1.0);
  const float climb = static_cast<float>(-100.0f - double{0.01f});
  EXPECT_EQ(plane.climb, climb);
  EXPECT_EQ(plane.speed, 0.5 + climb);  // far below zero
  EXPECT_EQ(plane.altitude, climb);
}

TEST_F(Flight, StepUsesSinglePrecisionSpeedAndTime) {
  plane.setHorizontalPosition(SbVec2f(0, 0));
  plane.setHeading(0);
  plane.speed = 1.0 / 3.0;
  tick(1.0 / 3.0);
  const float expected = (1.0f * static_cast<float>(1.0 / 3.0)) * static_cast<float>(1.0 / 3.0);
  EXPECT_EQ(plane.horizontalPosition()[1], expected);
  EXPECT_EQ(plane.horizontalPosition()[0], 0.0f);
}

TEST_F(Flight, MovesAlongTheHeading) {
  plane.setHeading(90);
  plane.speed = 1.0;
  tick(0.5);
  EXPECT_EQ(plane.horizontalPosition()[0], 8.5f);
  EXPECT_FLOAT_EQ(plane.horizontalPosition()[1], 8.0f);
}

TEST_F(Flight, LevelFlightAtHeadingZeroGivesScaledIdentityAxes) {
  plane.setHeading(0);
  tick(0.1);
  const SbMatrix m = matrix();
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(m[r][c], r == c ? 0.5f : 0.0f, 1e-6f) << r << c;
  EXPECT_EQ(m[3][0], 8.0f);
  EXPECT_EQ(m[3][1], 0.0f);
  EXPECT_EQ(m[3][2], 8.0f);
}

TEST_F(Flight, BankLowersTheLeftWingAndClimbRaisesTheNose) {
  plane.setHeading(0);
  plane.bank = 8;  // side axis (2, -1, 0)
  tick(0.1);
  SbMatrix m = matrix();
  EXPECT_NEAR(m[0][0], 0.5f * 2 / std::sqrt(5.0f), 1e-6f);
  EXPECT_NEAR(m[0][1], -0.5f / std::sqrt(5.0f), 1e-6f);
  EXPECT_GT(m[1][0], 0.0f);  // the top leans left (+x), into the turn
  plane.bank = 0;
  plane.climb = 1.0f / 32;  // forward axis (0, 2, 2)
  tick(0.1);
  m = matrix();
  EXPECT_NEAR(m[2][1], 0.5f / std::sqrt(2.0f), 1e-6f);
  EXPECT_NEAR(m[2][2], 0.5f / std::sqrt(2.0f), 1e-6f);
}

TEST_F(Flight, ZeroSizeLeavesAZeroUpAxisWithoutNaN) {
  Plane flat;
  flat.build(0.0f, 1.0f, "");
  flat.climb = 0.5f;
  flat.bank = 4;
  flat.advance(SbTime(0.1), camera);
  const SbMatrix m = flat.transform->matrix.getValue();
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_FALSE(std::isnan(m[r][c])) << r << c;
  EXPECT_EQ(SbVec3f(m[1][0], m[1][1], m[1][2]), SbVec3f(0, 0, 0));
  EXPECT_EQ(SbVec3f(m[2][0], m[2][1], m[2][2]), SbVec3f(0, 1, 0));
  EXPECT_EQ(SbVec3f(m[0][0], m[0][1], m[0][2]), SbVec3f(0, -1, 0));
  flat.root->unref();
}

TEST_F(Flight, SelectedAircraftPutsCameraBehindAndAbove) {
  plane.selected = 1;
  plane.setHeading(0);
  plane.climb = 0.25f;
  tick(0.1);
  EXPECT_EQ(camera->position.getValue(), SbVec3f(8.0f, 0.55f, static_cast<float>(8 - 1.1)));

  const SbRotation pitch(SbVec3f(1, 0, 0), -0.01f);
  const SbRotation yaw(SbVec3f(0, 1, 0), -3.1415927f);
  EXPECT_TRUE(camera->orientation.getValue() == pitch * yaw);
  SbVec3f look;
  camera->orientation.getValue().multVec(SbVec3f(0, 0, -1), look);
  EXPECT_NEAR(look[0], 0.0f, 1e-6f);
  EXPECT_NEAR(look[1], -0.01f, 1e-4f);
  EXPECT_NEAR(look[2], 1.0f, 1e-4f);

  plane.setHeading(90);
  plane.climb = 0;
  tick(0.1);
  const SbVec3f at = camera->position.getValue();
  EXPECT_NEAR(at[0], 8.0f - 1.1f, 1e-6f);
  EXPECT_NEAR(at[2], 8.0f, 1e-6f);
  camera->orientation.getValue().multVec(SbVec3f(0, 0, -1), look);
  EXPECT_NEAR(look[0], 1.0f, 1e-4f);
  EXPECT_NEAR(look[2], 0.0f, 1e-6f);
}

TEST_F(Flight, UnselectedAircraftNeverTouchesTheCamera) {
  camera->position.setValue(1, 2, 3);
  camera->orientation.setValue(SbVec3f(0, 0, 1), 0.5f);
  const SbRotation before = camera->orientation.getValue();
  plane.speed = 1;
  tick(0.5);
  EXPECT_EQ(camera->position.getValue(), SbVec3f(1, 2, 3));
  EXPECT_TRUE(camera->orientation.getValue() == before);
  plane.advance(SbTime(0.5), nullptr);  // no camera needed at all
}

class Record : public ::testing::Test {
 protected:
  void SetUp() override { initScene(); }
};

TEST_F(Record, BuildStartsAtEightZeroEightFacingTheOrigin) {
  Plane plane;
  EXPECT_EQ(plane.root, nullptr);
  EXPECT_EQ(plane.selected, 0);
  SoSeparator* root = plane.build(1.5f, 0.25f, "models/some.iv");
  ASSERT_EQ(root, plane.root);
  EXPECT_EQ(plane.heading, 225.0f);
  EXPECT_EQ(plane.speed, 0.0);
  EXPECT_EQ(plane.bank, 0.0f);
  EXPECT_EQ(plane.climb, 0.0f);
  EXPECT_EQ(plane.altitude, 0.0f);
  EXPECT_EQ(plane.size, 1.5f);
  EXPECT_EQ(plane.scale, 0.25f);
  EXPECT_EQ(plane.maxSpeed, 2.0f);
  EXPECT_EQ(plane.acceleration, 0.2f);
  EXPECT_EQ(plane.deceleration, 0.5f);
  EXPECT_EQ(plane.turnRate, 50.0f);

  SbMatrix expected = SbMatrix::identity();
  expected[0][0] = expected[1][1] = expected[2][2] = 0.25f;
  expected[3][0] = 8;
  expected[3][2] = 8;
  EXPECT_TRUE(plane.transform->matrix.getValue() == expected);
  plane.root->unref();
}

TEST_F(Record, SubgraphIsTransformRotationFileAndRootIsHeldOnce) {
  Plane plane;
  plane.build(1, 1, "models/some.iv");
  ASSERT_EQ(plane.root->getNumChildren(), 3);
  EXPECT_EQ(plane.root->getChild(0), plane.transform);
  EXPECT_EQ(plane.root->getChild(1), plane.rotation);
  EXPECT_EQ(plane.root->getChild(2), plane.modelFile);
  EXPECT_EQ(plane.modelFile->name.getValue(), SbString("models/some.iv"));
  EXPECT_TRUE(plane.rotation->rotation.getValue() == SbRotation::identity());
  EXPECT_EQ(plane.root->getRefCount(), 1);
  EXPECT_EQ(plane.transform->getRefCount(), 1);

  SoSeparator* scene = new SoSeparator;
  scene->ref();
  scene->addChild(plane.root);
  EXPECT_EQ(plane.root->getRefCount(), 2);
  scene->unref();
  EXPECT_EQ(plane.root->getRefCount(), 1);  // the record's own reference survives
  plane.root->unref();
}

TEST_F(Record, MatrixHelpersChangeOnlyTheirElements) {
  Plane plane;
  plane.build(1, 2, "");
  plane.altitude = 3;
  plane.setHorizontalPosition(SbVec2f(-1, 4));
  float x = 0, z = 0;
  plane.getHorizontalPosition(x, z);
  EXPECT_EQ(x, -1.0f);
  EXPECT_EQ(z, 4.0f);
  EXPECT_EQ(plane.transform->matrix.getValue()[3][1], 3.0f);
  plane.setAxes(SbVec3f(0, 0, 1), SbVec3f(0, 1, 0), SbVec3f(-1, 0, 0));
  plane.setScale(5);
  const SbMatrix m = plane.transform->matrix.getValue();
  EXPECT_EQ(m[0][0], 5.0f);
  EXPECT_EQ(m[0][2], 2.0f);
  EXPECT_EQ(m[2][0], -2.0f);
  EXPECT_EQ(m[2][2], 5.0f);
  EXPECT_EQ(m[3][0], -1.0f);
  EXPECT_EQ(m[3][3], 1.0f);
  plane.root->unref();
}

TEST(Headings, CardinalDirections) {
  EXPECT_EQ(headingOf(SbVec2f(0, 1)), 0.0f);
  EXPECT_EQ(headingOf(SbVec2f(1, 0)), 90.0f);
  EXPECT_EQ(headingOf(SbVec2f(0, -1)), 180.0f);
  EXPECT_EQ(headingOf(SbVec2f(-1, 0)), 270.0f);
  EXPECT_EQ(headingOf(SbVec2f(-8, -8)), 225.0f);
  EXPECT_EQ(headingOf(SbVec2f(0, 5)), 0.0f);  // length does not matter
}

TEST(Headings, TurnDirectionAddsDegreesAndWraps) {
  Plane plane;
  const SbVec2f from = plane.directionFromHeading(300);
  const SbVec2f left = plane.turnDirection(from, 90);
  const SbVec2f right = plane.turnDirection(from, -90);
  EXPECT_NEAR(headingOf(left), 30.0f, 1e-3f);
  EXPECT_NEAR(headingOf(right), 210.0f, 1e-3f);
  EXPECT_NEAR(left[0], 0.5f, 1e-6f);
  EXPECT_NEAR(left[1], std::sqrt(3.0f) / 2, 1e-6f);
  const SbVec2f back = plane.turnDirection(SbVec2f(0, 1), -90);
  EXPECT_NEAR(back[0], -1.0f, 1e-6f);
}

TEST(Headings, DirectionAndHeadingRoundTrip) {
  Plane plane;
  for (float h = 0; h < 360; h += 0.37f) {
    const SbVec2f d = plane.directionFromHeading(h);
    EXPECT_NEAR(d.length(), 1.0f, 1e-6f);
    float back = headingOf(d);
    if (h < 0.01f && back > 359.99f) back -= 360;
    // asin loses digits near +-1 in single precision: worst near 90 and 270.
    EXPECT_NEAR(back, h, 0.025f) << h;
  }
}

}  // namespace
