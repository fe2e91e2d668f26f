// The geometry of the camera views: where each puts the eye, where it looks,
// and the bounds the pilot cannot push it past.

#include "app/CameraViews.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectNear(const SbVec3f& got, const SbVec3f& want) {
  EXPECT_LT((got - want).length(), 1e-5f) << got[0] << " " << got[1] << " " << got[2];
}

// An aircraft's placement: rows side, up and nose times the scale, then the
// position.
SbMatrix placement(const SbVec3f& side, const SbVec3f& up, const SbVec3f& nose, float scale,
                   const SbVec3f& at) {
  SbMatrix m = SbMatrix::identity();
  const SbVec3f* rows[3] = {&side, &up, &nose};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m[r][c] = (*rows[r])[c] * scale;
  for (int c = 0; c < 3; ++c) m[3][c] = at[c];
  return m;
}

TEST(CameraViews, CockpitLooksAlongTheNoseWithTheAircraftsUpAndTheModelBehindTheEye) {
  // Climbing along +x and banked: the axes of a turning, climbing aircraft.
  SbVec3f nose(2, 1, 0), side(0, 0.4f, -1), up = nose.cross(side);
  nose.normalize();
  up.normalize();
  side.normalize();
  const SbVec3f at(8, 3, 8);
  const SbMatrix m = placement(side, up, nose, 0.25f, at);
  SbVec3f eye;
  SbRotation orientation;
  const SbBox3f model(-3, -1, -4, 3, 2, 1.2f);
  cockpitPose(m, model, SbVec2f(0, 1), eye, orientation);
  SbVec3f looks, camUp;
  orientation.multVec(SbVec3f(0, 0, -1), looks);
  orientation.multVec(SbVec3f(0, 1, 0), camUp);
  expectNear(looks, nose);
  expectNear(camUp, up);
  // Every point of the model, wingtips at the nose included, is behind the eye.
  for (const SbVec3f& p : {SbVec3f(0, 0, 1.2f), SbVec3f(3, -1, 1.2f), SbVec3f(-3, 2, 1.2f)}) {
    SbVec3f world;
    m.multVecMatrix(p, world);
    EXPECT_LT((world - eye).dot(looks), 0.0f);
  }
}

TEST(CameraViews, CockpitOfACollapsedAircraftSitsAtItsPositionLookingAlongItsHeading) {
  const SbVec3f at(8, 3, 8), side(0, 0, -1), up(0, 1, 0), nose(1, 0, 0);
  const SbVec2f heading(0.6f, -0.8f);
  // Size 0 leaves the up axis zero; scale 0 every axis.
  for (const SbMatrix& m :
       {placement(side, SbVec3f(0, 0, 0), nose, 1, at), placement(side, up, nose, 0, at)}) {
    SbVec3f eye;
    SbRotation orientation;
    cockpitPose(m, SbBox3f(-1, -1, -1, 1, 1, 1), heading, eye, orientation);
    SbVec3f looks, camUp;
    orientation.multVec(SbVec3f(0, 0, -1), looks);
    orientation.multVec(SbVec3f(0, 1, 0), camUp);
    expectNear(looks, SbVec3f(0.6f, 0, -0.8f));
    expectNear(camUp, SbVec3f(0, 1, 0));
    EXPECT_LT((eye - at).length(), 0.1f);
  }
}

TEST(CameraViews, FlyByPointStaysUntilTheAircraftHasPassedItThenMovesAhead) {
  FlyByPoint flyBy;
  const SbVec2f east(1, 0);
  ASSERT_TRUE(flyBy.follow(SbVec3f(0, 2, 0), east));
  const SbVec3f first = flyBy.point;
  EXPECT_FLOAT_EQ(first[0], FlyByPoint::kAhead);
  EXPECT_FLOAT_EQ(first[1], 2 + FlyByPoint::kAbove);
  EXPECT_NE(first[2], 0.0f);  // beside the path, not in it
  // Approaching, beside it, and just past it: the point stays.
  for (float x : {1.0f, FlyByPoint::kAhead, FlyByPoint::kAhead + FlyByPoint::kPast})
    EXPECT_FALSE(flyBy.follow(SbVec3f(x, 2, 0), east)) << x;
  EXPECT_EQ(flyBy.point, first);
  // Once behind it, the point goes ahead again.
  const float beyond = FlyByPoint::kAhead + FlyByPoint::kPast + 0.1f;
  EXPECT_TRUE(flyBy.follow(SbVec3f(beyond, 2, 0), east));
  EXPECT_FLOAT_EQ(flyBy.point[0], beyond + FlyByPoint::kAhead);
  // Drifting backwards it never passes the point: it moves once too far off.
  const SbVec3f before = flyBy.point;
  EXPECT_FALSE(flyBy.follow(SbVec3f(beyond - 1, 2, 0), east));
  EXPECT_EQ(flyBy.point, before);
  const float far = before[0] - FlyByPoint::kAway - 0.1f;
  EXPECT_TRUE(flyBy.follow(SbVec3f(far, 2, 0), east));
  EXPECT_FLOAT_EQ(flyBy.point[0], far + FlyByPoint::kAhead);
}

TEST(CameraViews, OrbitStaysWithinItsDistanceAndPitchBoundsAndLooksAtTheAircraft) {
  OrbitPlace orbit;
  for (int i = 0; i < 100; ++i) orbit.zoom(1);
  EXPECT_FLOAT_EQ(orbit.distance, OrbitPlace::kMinDistance);
  orbit.zoom(-1000);
  EXPECT_FLOAT_EQ(orbit.distance, OrbitPlace::kMaxDistance);
  orbit.turn(0, 10);
  EXPECT_FLOAT_EQ(orbit.pitch, OrbitPlace::kMaxPitch);
  orbit.turn(100, -30);
  EXPECT_FLOAT_EQ(orbit.pitch, -OrbitPlace::kMaxPitch);
  EXPECT_LE(std::abs(orbit.yaw), 3.1415927f);

  const SbVec3f centre(8, 1, 8);
  const SbVec3f eye = orbit.eye(centre);
  EXPECT_NEAR((eye - centre).length(), OrbitPlace::kMaxDistance, 1e-4f);
  EXPECT_LT(eye[1], centre[1]);  // pitched down: below the aircraft
  SbRotation orientation;
  ASSERT_TRUE(lookAt(eye, centre, orientation));
  SbVec3f looks;
  orientation.multVec(SbVec3f(0, 0, -1), looks);
  SbVec3f toCentre = centre - eye;
  toCentre.normalize();
  expectNear(looks, toCentre);
  EXPECT_FALSE(lookAt(centre, centre, orientation));
}

}  // namespace
