// The sky box: sixteen nodes, a 200 x 50 x 200 box that follows the camera
// position and ignores its orientation.

#include "app/Scene.h"
#include "app/SkyBox.h"

#include <Inventor/SoDB.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTextureCoordinate2.h>
#include <Inventor/nodes/SoTranslation.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

namespace {

class SkyBox : public ::testing::Test {
 protected:
  void SetUp() override {
    SoDB::init();
    camera = new SoPerspectiveCamera;
    camera->ref();
    box = buildSkyBox(camera);
    box->ref();
  }
  void TearDown() override {
    box->unref();
    camera->unref();
  }
  SbBox3f bounds() {
    SoGetBoundingBoxAction action(SbViewportRegion(100, 100));
    action.apply(box);
    return action.getBoundingBox();
  }
  SoPerspectiveCamera* camera = nullptr;
  SoSeparator* box = nullptr;
};

TEST(SkyBoxBuilder, ReturnsAnUnreferencedSeparator) {
  SoDB::init();
  auto* camera = new SoPerspectiveCamera;
  camera->ref();
  SoSeparator* box = buildSkyBox(camera);
  EXPECT_EQ(box->getRefCount(), 0);
  box->ref();
  box->unref();
  camera->unref();
}

TEST_F(SkyBox, HasSixteenChildrenInOrder) {
  ASSERT_EQ(box->getNumChildren(), 16);
  EXPECT_TRUE(box->getChild(0)->isOfType(SoTranslation::getClassTypeId()));
  EXPECT_TRUE(box->getChild(1)->isOfType(SoLightModel::getClassTypeId()));
  EXPECT_TRUE(box->getChild(2)->isOfType(SoCoordinate3::getClassTypeId()));
  EXPECT_TRUE(box->getChild(3)->isOfType(SoTextureCoordinate2::getClassTypeId()));
  for (int f = 0; f < 6; ++f) {
    EXPECT_TRUE(box->getChild(4 + 2 * f)->isOfType(SoTexture2::getClassTypeId())) << f;
    EXPECT_TRUE(box->getChild(5 + 2 * f)->isOfType(SoIndexedTriangleStripSet::getClassTypeId()))
        << f;
  }
  EXPECT_EQ(static_cast<SoLightModel*>(box->getChild(1))->model.getValue(), SoLightModel::PHONG);
}

TEST_F(SkyBox, FacesShowTheirImagesInDecalMode) {
  std::set<SoNode*> distinct;
  for (int f = 0; f < 6; ++f) {
    auto* texture = static_cast<SoTexture2*>(box->getChild(4 + 2 * f));
    EXPECT_EQ(texture->model.getValue(), SoTexture2::DECAL) << f;
    distinct.insert(texture);
  }
  EXPECT_EQ(distinct.size(), 6u);  // every face its own texture node
}

TEST_F(SkyBox, EachStripIsOneSideOfTheBoxWithTheImageForIt) {
  auto* coords = static_cast<SoCoordinate3*>(box->getChild(2));
  auto* tex = static_cast<SoTextureCoordinate2*>(box->getChild(3));
  std::set<std::pair<int, float>> sides;  // (axis, coordinate) of each face's plane
  for (int f = 0; f < 6; ++f) {
    auto* strip = static_cast<SoIndexedTriangleStripSet*>(box->getChild(5 + 2 * f));
    ASSERT_EQ(strip->coordIndex.getNum(), 5) << f;
    ASSERT_EQ(strip->textureCoordIndex.getNum(), 5) << f;
    SbVec3f p[4];
    SbVec2f st[4];
    for (int k = 0; k < 4; ++k) {
      p[k] = coords->point[strip->coordIndex[k]];
      st[k] = tex->point[strip->textureCoordIndex[k]];
    }
    int flatAxis = -1;
    for (int axis = 0; axis < 3; ++axis)
      if (p[0][axis] == p[1][axis] && p[0][axis] == p[2][axis] && p[0][axis] == p[3][axis])
        flatAxis = axis;
    ASSERT_NE(flatAxis, -1) << f;
    sides.insert({flatAxis, p[0][flatAxis]});
    // A strip of four is a quad when corners 0 and 3 are opposite, in space
    // and in the image alike.
    for (int axis = 0; axis < 3; ++axis) {
      if (axis != flatAxis) {
        EXPECT_NE(p[0][axis], p[3][axis]) << f;
      }
    }
    EXPECT_NE(st[0][0], st[3][0]) << f;
    EXPECT_NE(st[0][1], st[3][1]) << f;
    const SbString image = static_cast<SoTexture2*>(box->getChild(4 + 2 * f))->filename.getValue();
    const char* expected = flatAxis != 1 ? "img/side.tga"
                           : p[0][1] > 0 ? "img/above.tga"
                                         : "img/floor.tga";
    EXPECT_EQ(image, SbString(expected)) << f;
  }
  EXPECT_EQ(sides.size(), 6u);  // every side of the box once
}

TEST_F(SkyBox, CornersFollowTheBitPattern) {
  auto* coords = static_cast<SoCoordinate3*>(box->getChild(2));
  ASSERT_EQ(coords->point.getNum(), 8);
  for (int i = 0; i < 8; ++i) {
    const SbVec3f& p = coords->point[i];
    EXPECT_EQ(p[0], (i & 1) ? 100.0f : -100.0f) << i;
    EXPECT_EQ(p[1], (i & 2) ? 25.0f : -25.0f) << i;
    EXPECT_EQ(p[2], (i & 4) ? 100.0f : -100.0f) << i;
  }
}

TEST_F(SkyBox, StaysCentredOnTheCameraWhereverItGoes) {
  const SbVec3f places[] = {SbVec3f(0, 0, 0), SbVec3f(8.7f, 0.3f, 6.9f), SbVec3f(-500, 42, 1e4f)};
  for (const SbVec3f& p : places) {
    camera->position = p;
    const SbBox3f b = bounds();
    const SbVec3f centre = b.getCenter();
    float dx, dy, dz;
    b.getSize(dx, dy, dz);
    EXPECT_NEAR(centre[0], p[0], 1e-3f * (1 + std::fabs(p[0])));
    EXPECT_NEAR(centre[1], p[1], 1e-3f * (1 + std::fabs(p[1])));
    EXPECT_NEAR(centre[2], p[2], 1e-3f * (1 + std::fabs(p[2])));
    EXPECT_NEAR(dx, 200.0f, 1e-2f);
    EXPECT_NEAR(dy, 50.0f, 1e-2f);
    EXPECT_NEAR(dz, 200.0f, 1e-2f);
  }
}

TEST(SkyBoxCorners, StayInsideTheScenesFarPlane) {
  // The box is centred on the camera, so a corner's distance from the
  // origin is its distance from the eye.
  double farthest = 0;
  for (const float* v : skyBoxVertices) {
    farthest = std::max(farthest,
                        std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]));
  }
  EXPECT_GT(farthest, 0.0);
  EXPECT_LT(farthest, kCameraFar);
}

TEST_F(SkyBox, TurningTheCameraDoesNotTurnTheBox) {
  camera->position.setValue(3, 4, 5);
  const SbBox3f before = bounds();
  camera->orientation = SbRotation(SbVec3f(0, 1, 0), 0.7f) * SbRotation(SbVec3f(1, 0, 0), -0.3f);
  const SbBox3f after = bounds();
  EXPECT_EQ(before.getMin(), after.getMin());
  EXPECT_EQ(before.getMax(), after.getMax());
}

}  // namespace
