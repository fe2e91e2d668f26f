// The geometry and compositing arithmetic of the slicing renderer.

#include "volume/VolumeSlicing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

const SbBox3f unitBox(-1, -1, -1, 1, 1, 1);

bool
insideBox(const SbBox3f & box, const SbVec3f & p, float eps)
{
  for (int i = 0; i < 3; ++i)
    if (p[i] < box.getMin()[i] - eps || p[i] > box.getMax()[i] + eps) return false;
  return true;
}

// Area vector of the polygon: its direction shows the winding, its length
// twice the area.
SbVec3f
areaVector(const SbVec3f * v, int n)
{
  SbVec3f s(0, 0, 0);
  for (int i = 0; i < n; ++i) s += v[i].cross(v[(i + 1) % n]);
  return s;
}

TEST(SliceBoxPolygon, AxisPlaneCutsTheBoxInItsFullSquare)
{
  SbVec3f v[6];
  const int n = sliceBoxPolygon(unitBox, SbVec3f(0, 0, 1), 0.25f, v);
  ASSERT_EQ(n, 4);
  for (int i = 0; i < n; ++i) {
    EXPECT_FLOAT_EQ(v[i][2], 0.25f);
    EXPECT_FLOAT_EQ(std::fabs(v[i][0]), 1.0f);
    EXPECT_FLOAT_EQ(std::fabs(v[i][1]), 1.0f);
  }
  const SbVec3f area = areaVector(v, n);
  EXPECT_NEAR(area[2], 8.0f, 1e-5f); // 2 x 2 square, counter-clockwise about +z
}

TEST(SliceBoxPolygon, DiagonalPlaneThroughTheCentreIsARegularHexagon)
{
  SbVec3f v[6];
  const int n = sliceBoxPolygon(unitBox, SbVec3f(1, 1, 1), 0.0f, v);
  ASSERT_EQ(n, 6);
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(v[i][0] + v[i][1] + v[i][2], 0.0f, 1e-6f);
    EXPECT_NEAR(v[i].length(), std::sqrt(2.0f), 1e-5f); // edge midpoints of the cube
    EXPECT_NEAR((v[(i + 1) % n] - v[i]).length(), std::sqrt(2.0f), 1e-5f); // neighbours in order
  }
}

TEST(SliceBoxPolygon, PlaneNearACornerCutsATriangle)
{
  SbVec3f v[6];
  const int n = sliceBoxPolygon(unitBox, SbVec3f(1, 1, 1), 2.5f, v);
  ASSERT_EQ(n, 3);
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(v[i][0] + v[i][1] + v[i][2], 2.5f, 1e-5f);
    EXPECT_TRUE(insideBox(unitBox, v[i], 1e-6f));
  }
}

TEST(SliceBoxPolygon, PlaneMissingOrGrazingTheBoxGivesNothing)
{
  SbVec3f v[6];
  EXPECT_EQ(sliceBoxPolygon(unitBox, SbVec3f(0, 0, 1), 1.5f, v), 0);
  EXPECT_EQ(sliceBoxPolygon(unitBox, SbVec3f(1, 1, 1), 3.0f, v), 0); // touches one corner
  EXPECT_EQ(sliceBoxPolygon(unitBox, SbVec3f(1, 1, 0), 2.0f, v), 0); // touches one edge
  EXPECT_EQ(sliceBoxPolygon(SbBox3f(), SbVec3f(0, 0, 1), 0.0f, v), 0); // empty box
  EXPECT_EQ(sliceBoxPolygon(unitBox, SbVec3f(0, 0, 0), 0.0f, v), 0);
}

TEST(SliceBoxPolygon, AnyCutIsAConvexPolygonOnThePlaneAndInsideTheBox)
{
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  const SbBox3f box(-2, 0, 1, 3, 0.5f, 4);
  int cuts = 0;
  for (int trial = 0; trial < 2000; ++trial) {
    SbVec3f normal(u(rng), u(rng), u(rng));
    if (normal.length() < 0.1f) continue;
    normal.normalize();
    const SbVec3f point(0.5f + 2.5f * u(rng), 0.25f + 0.25f * u(rng), 2.5f + 1.5f * u(rng));
    const float d = normal.dot(point);
    SbVec3f v[6];
    const int n = sliceBoxPolygon(box, normal, d, v);
    ASSERT_GE(n, 3); // the plane passes through a point inside the box
    ASSERT_LE(n, 6);
    ++cuts;
    for (int i = 0; i < n; ++i) {
      EXPECT_NEAR(normal.dot(v[i]), d, 1e-4f);
      EXPECT_TRUE(insideBox(box, v[i], 1e-4f));
    }
    // Ordered around the polygon: every turn goes the same way as the normal.
    for (int i = 0; i < n; ++i) {
      const SbVec3f e1 = v[(i + 1) % n] - v[i];
      const SbVec3f e2 = v[(i + 2) % n] - v[(i + 1) % n];
      EXPECT_GE(e1.cross(e2).dot(normal), -1e-5f) << "trial " << trial;
    }
  }
  EXPECT_GT(cuts, 1500);
}

TEST(SliceOpacity, SlicesOfOneVoxelsDepthGatherThatVoxelsOpacity)
{
  EXPECT_FLOAT_EQ(correctSliceOpacity(0.3f, 1.0f), 0.3f);
  EXPECT_FLOAT_EQ(correctSliceOpacity(0.0f, 0.25f), 0.0f);
  EXPECT_FLOAT_EQ(correctSliceOpacity(1.0f, 0.25f), 1.0f);
  EXPECT_NEAR(correctSliceOpacity(0.5f, 2.0f), 0.75f, 1e-6f); // two voxels' depth per slice
  for (float alpha : {0.01f, 0.2f, 0.7f, 0.99f})
    for (int n : {2, 3, 8, 64}) {
      // n slices across one voxel, composited over each other.
      const float a = correctSliceOpacity(alpha, 1.0f / float(n));
      float transmitted = 1.0f;
      for (int i = 0; i < n; ++i) transmitted *= 1.0f - a;
      EXPECT_NEAR(1.0f - transmitted, alpha, 1e-5f) << alpha << " " << n;
      EXPECT_LT(a, alpha);
    }
}

TEST(VoxelSpacing, IsTheVoxelSizeAlongAxesAndCubeDiagonals)
{
  EXPECT_FLOAT_EQ(voxelSpacingAlong(SbVec3f(0.1f, 0.2f, 0.4f), SbVec3f(1, 0, 0)), 0.1f);
  EXPECT_FLOAT_EQ(voxelSpacingAlong(SbVec3f(0.1f, 0.2f, 0.4f), SbVec3f(0, 0, -1)), 0.4f);
  const float r = 1.0f / std::sqrt(3.0f);
  EXPECT_NEAR(voxelSpacingAlong(SbVec3f(0.5f, 0.5f, 0.5f), SbVec3f(r, r, -r)), 0.5f, 1e-6f);
  EXPECT_EQ(voxelSpacingAlong(SbVec3f(0.0f, 1.0f, 1.0f), SbVec3f(0, 1, 0)), 0.0f);
}

TEST(AutomaticSlices, OnePerVoxelCrossedFewerWhenSmallOnScreenWithinLimits)
{
  // A voxel on one pixel or more: one slice per voxel crossed, however
  // large the volume is on screen (more slices would only add fill).
  EXPECT_EQ(automaticSliceCount(35.0f, 1.0f), 35);
  EXPECT_EQ(automaticSliceCount(35.0f, 1.5f), 35);
  EXPECT_EQ(automaticSliceCount(35.0f, 40.0f), 35);
  EXPECT_EQ(automaticSliceCount(35.0f, INFINITY), 35); // camera inside
  EXPECT_EQ(automaticSlicesPerVoxel(NAN), 1.0f);
  // Far away: fewer, down to one per two voxels, never under the floor.
  EXPECT_EQ(automaticSlicesPerVoxel(0.75f), 0.75f);
  EXPECT_EQ(automaticSlicesPerVoxel(0.01f), 0.5f);
  EXPECT_EQ(automaticSliceCount(35.0f, 0.01f), 18);
  EXPECT_EQ(automaticSliceCount(4.0f, 0.01f), minSlices);
  EXPECT_EQ(automaticSliceCount(0.0f, 1.0f), minSlices);
  EXPECT_EQ(automaticSliceCount(5000.0f, 4.0f), maxSlices);
  EXPECT_LT(automaticSliceCount(100.0f, 0.7f), automaticSliceCount(100.0f, 1.4f));
}

} // namespace
