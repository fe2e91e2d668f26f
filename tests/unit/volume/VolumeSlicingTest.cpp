// The geometry and compositing arithmetic of the slicing renderer, and how
// it plans slices and reduced-resolution passes.

#include "volume/SlicePlan.h"
#include "volume/SoVolumeRender.h"
#include "volume/VolumeSlicing.h"

#include <Inventor/SbViewVolume.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

const SbBox3f unitBox(-1, -1, -1, 1, 1, 1);

bool insideBox(const SbBox3f& box, const SbVec3f& p, float eps) {
  for (int i = 0; i < 3; ++i)
    if (p[i] < box.getMin()[i] - eps || p[i] > box.getMax()[i] + eps) return false;
  return true;
}

// Area vector of the polygon: its direction shows the winding, its length
// twice the area.
SbVec3f areaVector(const SbVec3f* v, int n) {
  SbVec3f s(0, 0, 0);
  for (int i = 0; i < n; ++i) s += v[i].cross(v[(i + 1) % n]);
  return s;
}

TEST(SliceBoxPolygon, AxisPlaneCutsTheBoxInItsFullSquare) {
  SbVec3f v[6];
  const int n = sliceBoxPolygon(unitBox, SbVec3f(0, 0, 1), 0.25f, v);
  ASSERT_EQ(n, 4);
  for (int i = 0; i < n; ++i) {
    EXPECT_FLOAT_EQ(v[i][2], 0.25f);
    EXPECT_FLOAT_EQ(std::fabs(v[i][0]), 1.0f);
    EXPECT_FLOAT_EQ(std::fabs(v[i][1]), 1.0f);
  }
  const SbVec3f area = areaVector(v, n);
  EXPECT_NEAR(area[2], 8.0f, 1e-5f);  // 2 x 2 square, counter-clockwise about +z
}

TEST(SliceBoxPolygon, DiagonalPlaneThroughTheCentreIsARegularHexagon) {
  SbVec3f v[6];
  const int n = sliceBoxPolygon(unitBox, SbVec3f(1, 1, 1), 0.0f, v);
  ASSERT_EQ(n, 6);
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(v[i][0] + v[i][1] + v[i][2], 0.0f, 1e-6f);
    EXPECT_NEAR(v[i].length(), std::sqrt(2.0f), 1e-5f);  // edge midpoints of the cube
    EXPECT_NEAR((v[(i + 1) % n] - v[i]).length(), std::sqrt(2.0f), 1e-5f);  // neighbours in order
  }
}

TEST(SliceBoxPolygon, PlaneNearACornerCutsATriangle) {
  SbVec3f v[6];
  const int n = sliceBoxPolygon(unitBox, SbVec3f(1, 1, 1), 2.5f, v);
  ASSERT_EQ(n, 3);
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(v[i][0] + v[i][1] + v[i][2], 2.5f, 1e-5f);
    EXPECT_TRUE(insideBox(unitBox, v[i], 1e-6f));
  }
}

TEST(SliceBoxPolygon, PlaneMissingOrGrazingTheBoxGivesNothing) {
  SbVec3f v[6];
  EXPECT_EQ(sliceBoxPolygon(unitBox, SbVec3f(0, 0, 1), 1.5f, v), 0);
  EXPECT_EQ(sliceBoxPolygon(unitBox, SbVec3f(1, 1, 1), 3.0f, v), 0);    // touches one corner
  EXPECT_EQ(sliceBoxPolygon(unitBox, SbVec3f(1, 1, 0), 2.0f, v), 0);    // touches one edge
  EXPECT_EQ(sliceBoxPolygon(SbBox3f(), SbVec3f(0, 0, 1), 0.0f, v), 0);  // empty box
  EXPECT_EQ(sliceBoxPolygon(unitBox, SbVec3f(0, 0, 0), 0.0f, v), 0);
}

TEST(SliceBoxPolygon, AnyCutIsAConvexPolygonOnThePlaneAndInsideTheBox) {
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
    ASSERT_GE(n, 3);  // the plane passes through a point inside the box
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

TEST(SliceOpacity, SlicesOfOneVoxelsDepthGatherThatVoxelsOpacity) {
  EXPECT_FLOAT_EQ(correctSliceOpacity(0.3f, 1.0f), 0.3f);
  EXPECT_FLOAT_EQ(correctSliceOpacity(0.0f, 0.25f), 0.0f);
  EXPECT_FLOAT_EQ(correctSliceOpacity(1.0f, 0.25f), 1.0f);
  EXPECT_NEAR(correctSliceOpacity(0.5f, 2.0f), 0.75f, 1e-6f);  // two voxels' depth per slice
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

TEST(VoxelSpacing, IsTheVoxelSizeAlongAxesAndCubeDiagonals) {
  EXPECT_FLOAT_EQ(voxelSpacingAlong(SbVec3f(0.1f, 0.2f, 0.4f), SbVec3f(1, 0, 0)), 0.1f);
  EXPECT_FLOAT_EQ(voxelSpacingAlong(SbVec3f(0.1f, 0.2f, 0.4f), SbVec3f(0, 0, -1)), 0.4f);
  const float r = 1.0f / std::sqrt(3.0f);
  EXPECT_NEAR(voxelSpacingAlong(SbVec3f(0.5f, 0.5f, 0.5f), SbVec3f(r, r, -r)), 0.5f, 1e-6f);
  EXPECT_EQ(voxelSpacingAlong(SbVec3f(0.0f, 1.0f, 1.0f), SbVec3f(0, 1, 0)), 0.0f);
}

TEST(AutomaticSlices, OnePerVoxelCrossedFewerWhenSmallOnScreenWithinLimits) {
  // A voxel on one pixel or more: one slice per voxel crossed, however
  // large the volume is on screen (more slices would only add fill).
  EXPECT_EQ(automaticSliceCount(35.0f, 1.0f), 35);
  EXPECT_EQ(automaticSliceCount(35.0f, 1.5f), 35);
  EXPECT_EQ(automaticSliceCount(35.0f, 40.0f), 35);
  EXPECT_EQ(automaticSliceCount(35.0f, INFINITY), 35);  // camera inside
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

// Slice planning. The box (-1,-1,-1)-(1,1,1) of 20^3 voxels lies `depth`
// units before an orthographic camera whose 256 pixels see 4 units: 6.4
// pixels per voxel.
VolumeView orthoView(float depth = 10.0f, float nearDist = 1.0f) {
  SbViewVolume vv;
  vv.ortho(-2, 2, -2, 2, nearDist, 30);
  SbMatrix affine, projection;
  vv.getMatrices(affine, projection);
  SbMatrix modelview;
  modelview.setTranslate(SbVec3f(0, 0, -depth));
  return VolumeView{modelview, projection, nearDist, 30.0f, SbVec2s(256, 256)};
}

const SbVec3s voxels20(20, 20, 20);

int slicesCut(const SlicePlan& plan) {
  int cut = 0;
  SbVec3f v[6];
  for (int i = 0; i < plan.count; ++i) cut += slicePolygon(plan, i, unitBox, v) > 0;
  return cut;
}

TEST(SlicePlan, ChosenSlicesLieOneVoxelApartAndNeedNoCorrection) {
  SlicePlan plan;
  ASSERT_TRUE(
      planSlices(orthoView(), unitBox, voxels20, SoVolumeRender::AUTOMATIC, 64, false, plan));
  EXPECT_EQ(plan.count, 20);
  EXPECT_NEAR(plan.spacing, 0.1f, 1e-6f);
  EXPECT_EQ(plan.ratio, 1.0f);
  EXPECT_NEAR(plan.zmin, -11.0f, 1e-5f);
  EXPECT_NEAR(plan.zmax, -9.0f, 1e-5f);
  EXPECT_EQ(slicesCut(plan), 20);
}

TEST(SlicePlan, AskedCountsSpreadOverTheDepthWithOpacityCorrected) {
  SlicePlan plan;
  ASSERT_TRUE(planSlices(orthoView(), unitBox, voxels20, SoVolumeRender::MANUAL, 64, false, plan));
  EXPECT_EQ(plan.count, 64);
  EXPECT_NEAR(plan.ratio, 2.0f / 64.0f / 0.1f, 1e-5f);
  EXPECT_EQ(slicesCut(plan), 64);
  ASSERT_TRUE(planSlices(orthoView(), unitBox, voxels20, SoVolumeRender::MANUAL, 64, true, plan));
  EXPECT_EQ(plan.ratio, 1.0f);  // maximum intensity does not add up slices
  ASSERT_TRUE(
      planSlices(orthoView(), unitBox, voxels20, SoVolumeRender::MANUAL, 1 << 20, false, plan));
  EXPECT_EQ(plan.count, 4 * maxSlices);
  ASSERT_TRUE(planSlices(orthoView(), unitBox, voxels20, SoVolumeRender::MANUAL, -3, false, plan));
  EXPECT_EQ(plan.count, 1);
  ASSERT_TRUE(
      planSlices(orthoView(), unitBox, SbVec3s(8, 30, 4), SoVolumeRender::ALL, 64, false, plan));
  EXPECT_EQ(plan.count, 30);
}

TEST(SlicePlan, OnlySlicesWithinTheDepthRangeAreCut) {
  SlicePlan plan;
  EXPECT_FALSE(
      planSlices(orthoView(40.0f), unitBox, voxels20, SoVolumeRender::AUTOMATIC, 64, false, plan));
  EXPECT_FALSE(
      planSlices(orthoView(-5.0f), unitBox, voxels20, SoVolumeRender::AUTOMATIC, 64, false, plan));
  // The near plane at 1 crosses the box 1.5 units away: a quarter of it is nearer.
  ASSERT_TRUE(
      planSlices(orthoView(1.5f), unitBox, voxels20, SoVolumeRender::AUTOMATIC, 64, false, plan));
  EXPECT_EQ(plan.count, 20);
  EXPECT_EQ(slicesCut(plan), 15);
}

TEST(SlicePlan, FillIsTheScreenAreaTimesTheVoxelsCrossed) {
  const SbMatrix mvp = clipMatrix(orthoView());
  float rect[4] = {1.0f, 1.0f, -1.0f, -1.0f};
  EXPECT_NEAR(estimatedFill(mvp, unitBox, 20, rect), 0.25f * 20.0f,
              1e-4f);  // a quarter of the screen
  EXPECT_NEAR(rect[0], -0.5f, 1e-6f);
  EXPECT_NEAR(rect[3], 0.5f, 1e-6f);
  // Beyond the right edge: nothing, and the rectangle stays.
  EXPECT_EQ(estimatedFill(mvp, SbBox3f(3, -1, -1, 5, 1, 1), 20, rect), 0.0f);
  EXPECT_NEAR(rect[2], 0.5f, 1e-6f);
  EXPECT_TRUE(outsideView(SbBox3f(3, -1, -1, 5, 1, 1), mvp));
  EXPECT_FALSE(outsideView(SbBox3f(1.5f, -1, -1, 5, 1, 1), mvp));
  // A box reaching behind the eye covers the whole screen.
  SbViewVolume perspective;
  perspective.perspective(1.0f, 1.0f, 1.0f, 30.0f);
  SbMatrix affine, projection, around;
  perspective.getMatrices(affine, projection);
  around.setTranslate(SbVec3f(0, 0, -0.5f));
  EXPECT_NEAR(estimatedFill(around.multRight(projection), unitBox, 20, rect), 20.0f, 1e-4f);
  EXPECT_EQ(rect[0], -1.0f);
  EXPECT_EQ(rect[3], 1.0f);
}

TEST(SlicePlan, ReductionHalvesOrThirdsOnWholeReducedPixels) {
  const float rect[4] = {-0.5f, -0.5f, 0.5f, 0.5f};
  ReducedPass pass;
  EXPECT_FALSE(planReduction(1.0f, rect, 256, 256, pass));
  EXPECT_FALSE(planReduction(4.0f, rect, 1, 256, pass));
  for (float fill : {4.0f, 9.0f}) {
    ASSERT_TRUE(planReduction(fill, rect, 255, 256, pass));
    const int f = pass.factor;
    EXPECT_EQ(f, fill > 8.0f ? 3 : 2);
    EXPECT_EQ(pass.width, (255 + f - 1) / f);
    EXPECT_EQ(pass.height, (256 + f - 1) / f);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(pass.rect[k] % f, 0) << k;
    // Covers the volumes' pixels 63.75..191.25 across and 64..192 up.
    EXPECT_LE(pass.rect[0], 63);
    EXPECT_GE(pass.rect[2], 192);
    EXPECT_LE(pass.rect[1], 64);
    EXPECT_GE(pass.rect[3], 192);
    EXPECT_LE(pass.rect[2], f * pass.width);
  }
}

TEST(SlicePlan, ScreenRectangleIsTheVisiblePartOfTheBox) {
  float rect[4];
  ASSERT_TRUE(screenRect(clipMatrix(orthoView()), unitBox, rect));
  EXPECT_NEAR(rect[0], -0.5f, 1e-6f);
  EXPECT_NEAR(rect[3], 0.5f, 1e-6f);
  EXPECT_FALSE(screenRect(clipMatrix(orthoView()), SbBox3f(3, -1, -1, 5, 1, 1), rect));
  // Half behind the near plane of a perspective camera: only what lies
  // before it counts, not the whole screen.
  SbViewVolume perspective;
  perspective.perspective(1.0f, 1.0f, 1.0f, 30.0f);
  SbMatrix affine, projection, at;
  perspective.getMatrices(affine, projection);
  at.setTranslate(SbVec3f(2.0f, 0, -1.0f));
  ASSERT_TRUE(screenRect(at.multRight(projection), unitBox, rect));
  EXPECT_GT(rect[0], 0.5f);
  EXPECT_EQ(rect[2], 1.0f);
  at.setTranslate(SbVec3f(0, 0, 5.0f));  // behind the eye
  EXPECT_FALSE(screenRect(at.multRight(projection), unitBox, rect));
}

TEST(SlicePlan, CompositeCoversEachVolumeOnceInDisjointTiles) {
  const float whole[4] = {-1.0f, -1.0f, 1.0f, 1.0f};
  // A small rectangle low left and a larger one across the middle.
  const std::vector<float> volumes = {-0.9f, -0.9f, -0.8f, -0.8f, -0.3f, -0.2f, 0.4f, 0.1f};
  ReducedPass pass;
  ASSERT_TRUE(planReduction(9.0f, whole, 640, 480, pass));
  const std::vector<int> rects = compositeRects(pass, volumes, 640, 480);
  ASSERT_EQ(rects.size() % 4, 0u);
  std::vector<int> hits(640 * 480, 0);
  for (size_t i = 0; i < rects.size(); i += 4) {
    for (int k = 0; k < 4; ++k) EXPECT_EQ(rects[i + k] % pass.factor, 0);
    EXPECT_GE(rects[i], pass.rect[0]);
    EXPECT_LE(rects[i + 2], pass.rect[2]);
    for (int y = rects[i + 1]; y < std::min(rects[i + 3], 480); ++y)
      for (int x = rects[i]; x < std::min(rects[i + 2], 640); ++x) ++hits[size_t(y) * 640 + x];
  }
  int covered = 0;
  for (int h : hits) {
    EXPECT_LE(h, 1);
    covered += h;
  }
  // Each volume's pixels and the reduced pixel around them that the scaling
  // filter reads, and far less than the whole viewport.
  for (size_t i = 0; i < volumes.size(); i += 4) {
    const int x0 = int((volumes[i] + 1.0f) * 320.0f) - pass.factor;
    const int y0 = int((volumes[i + 1] + 1.0f) * 240.0f) - pass.factor;
    const int x1 = int((volumes[i + 2] + 1.0f) * 320.0f) + pass.factor;
    const int y1 = int((volumes[i + 3] + 1.0f) * 240.0f) + pass.factor;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) EXPECT_EQ(hits[size_t(y) * 640 + x], 1) << x << "," << y;
  }
  EXPECT_LT(covered, 640 * 480 / 4);
  EXPECT_TRUE(compositeRects(pass, {}, 640, 480).empty());
  // With the picture's alpha: nothing where it is empty; one drawn reduced
  // pixel on a tile's edge brings that tile and the one its filter reaches.
  const int aw = pass.rect[2] / pass.factor - pass.rect[0] / pass.factor;
  const int ah = pass.rect[3] / pass.factor - pass.rect[1] / pass.factor;
  std::vector<unsigned char> alpha(size_t(aw) * size_t(ah), 0);
  EXPECT_TRUE(compositeRects(pass, volumes, 640, 480, alpha.data()).empty());
  const int px = int((0.0f + 1.0f) * 320.0f) / pass.factor / 8 *
                 8;  // a tile's left edge, in the middle volume
  const int py = int((0.0f + 1.0f) * 240.0f) / pass.factor / 8 * 8 + 4;  // within its tile's rows
  alpha[size_t(py) * size_t(aw) + size_t(px)] = 1;
  const std::vector<int> two = compositeRects(pass, volumes, 640, 480, alpha.data());
  ASSERT_EQ(two.size(), 4u);
  EXPECT_EQ(two[0], (px - 8) * pass.factor);
  EXPECT_EQ(two[2], (px + 8) * pass.factor);
  EXPECT_EQ(two[1], (py - 4) * pass.factor);
  EXPECT_EQ(two[3], (py + 4) * pass.factor);
  // Edge marks where the picture holds something take those tiles to full
  // resolution instead; elsewhere they change nothing.
  std::vector<unsigned char> edges(alpha.size(), 0);
  edges[size_t(py) * size_t(aw) + size_t(px) - 1] = 1;
  edges[0] = 1;
  std::vector<int> sliced;
  EXPECT_TRUE(compositeRects(pass, volumes, 640, 480, alpha.data(), edges.data(), &sliced).empty());
  EXPECT_EQ(sliced, two);
  edges[size_t(py) * size_t(aw) + size_t(px) - 1] = 0;
  EXPECT_EQ(compositeRects(pass, volumes, 640, 480, alpha.data(), edges.data(), &sliced), two);
  EXPECT_TRUE(sliced.empty());
}

// 24-bit window depth of eye distance z, packed as GL reads it with stencil.
uint32_t packedDepth(float z, float n, float f, bool perspective) {
  const double d = perspective ? (1.0 / n - 1.0 / z) / (1.0 / n - 1.0 / f) : (z - n) / (f - n);
  return uint32_t(std::lround(d * 16777215.0)) << 8 | 0x5au;
}

TEST(SlicePlan, DepthScalesDownToEachBlocksFarthestWithItsEdgesMarked) {
  // 5 x 3 pixels in blocks of two: a last column and row of one pixel each.
  // Eye distances at 1..100; 25 is the sky, blocks mixing 2 with 2.4 are
  // not edges (ratio 1.2), 2 with 2.6 are (1.3).
  for (bool perspective : {true, false}) {
    auto at = [perspective](float z) { return packedDepth(z, 1.0f, 100.0f, perspective); };
    const uint32_t depth[15] = {at(2), at(2.4f), at(2),  at(2.6f), at(25),  // bottom row
                                at(2), at(2),    at(2),  at(2),    at(25),  //
                                at(3), at(3),    at(25), at(3),    at(3)};  // top row
    uint32_t reduced[6];
    unsigned char edges[6];
    reduceDepth(depth, 5, 3, 2, depthEdges(1.0f, 100.0f, perspective, 1.25f), reduced, edges);
    const uint32_t want[6] = {at(2.4f), at(2.6f), at(25), at(3), at(25), at(3)};
    const unsigned char edge[6] = {0, 1, 0, 0, 1, 0};
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(reduced[i], want[i] & ~0xffu) << perspective << " " << i;  // stencil 0
      EXPECT_EQ(edges[i], edge[i]) << perspective << " " << i;
    }
  }
}

TEST(SlicePlan, OccupiedBoxReachesHalfAVoxelBeyondVisibleVoxelsWhenFiltered) {
  const int first[3] = {0, 5, 10}, last[3] = {20, 6, 11};
  const SbBox3f linear = occupiedBox(first, last, unitBox, voxels20, true);
  EXPECT_NEAR(linear.getMin()[0], -1.0f, 1e-6f);  // not beyond the box
  EXPECT_NEAR(linear.getMax()[0], 1.0f, 1e-6f);
  EXPECT_NEAR(linear.getMin()[1], -0.55f, 1e-6f);
  EXPECT_NEAR(linear.getMax()[1], -0.35f, 1e-6f);
  const SbBox3f nearest = occupiedBox(first, last, unitBox, voxels20, false);
  EXPECT_NEAR(nearest.getMin()[2], 0.0f, 1e-6f);
  EXPECT_NEAR(nearest.getMax()[2], 0.1f, 1e-6f);
}

}  // namespace
