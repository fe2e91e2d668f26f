#include "volume/SlicePlan.h"

#include "volume/SoVolumeRender.h"
#include "volume/VolumeSlicing.h"

#include <algorithm>
#include <cmath>

namespace {

// Soft volumes whose slices would cover the viewport this many times over
// are drawn at half the resolution and scaled up, at a third beyond the
// second limit: their fill is what limits the frame rate of a software
// rasteriser, and a soft outline loses nothing a viewer would see.
constexpr float kReducedFillThreshold = 1.0f;
constexpr float kThirdFillThreshold = 8.0f;

// Where the box lies in view: its eye-space depth range (depth is
// dot(a, p) + b) and its extent in normalised device coordinates.
struct BoxExtent {
  float zmin = 0.0f, zmax = 0.0f;
  float xmin = 0.0f, xmax = 0.0f, ymin = 0.0f, ymax = 0.0f;
  bool behind = false; // a corner lies behind the eye
};

BoxExtent
boxExtent(const SbBox3f & box, const SbVec3f & a, float b, const SbMatrix & mvp)
{
  const BoxCorners corners = projectCorners(box, mvp);
  BoxExtent e;
  for (int i = 0; i < 8; ++i) {
    const float z = a.dot(corners.object[i]) + b;
    const SbVec4f & clip = corners.clip[i];
    float x = 0.0f, y = 0.0f;
    if (clip[3] > 0.0f) {
      x = clip[0] / clip[3];
      y = clip[1] / clip[3];
    } else {
      e.behind = true;
    }
    if (i == 0) {
      e.zmin = e.zmax = z;
      e.xmin = e.xmax = x;
      e.ymin = e.ymax = y;
    } else {
      e.zmin = std::min(e.zmin, z);
      e.zmax = std::max(e.zmax, z);
      e.xmin = std::min(e.xmin, x);
      e.xmax = std::max(e.xmax, x);
      e.ymin = std::min(e.ymin, y);
      e.ymax = std::max(e.ymax, y);
    }
  }
  return e;
}

} // namespace

SbMatrix
clipMatrix(const VolumeView & view)
{
  SbMatrix mvp = view.modelview;
  mvp.multRight(view.projection);
  return mvp;
}

BoxCorners
projectCorners(const SbBox3f & box, const SbMatrix & mvp)
{
  const SbVec3f & lo = box.getMin();
  const SbVec3f & hi = box.getMax();
  BoxCorners corners;
  for (int i = 0; i < 8; ++i) {
    const SbVec3f c((i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2]);
    corners.object[i] = c;
    mvp.multVecMatrix(SbVec4f(c[0], c[1], c[2], 1.0f), corners.clip[i]);
  }
  return corners;
}

bool
outsideView(const SbBox3f & box, const SbMatrix & mvp)
{
  const BoxCorners corners = projectCorners(box, mvp);
  int beyond[4] = {0, 0, 0, 0};
  for (const SbVec4f & c : corners.clip) {
    beyond[0] += c[0] < -c[3];
    beyond[1] += c[0] > c[3];
    beyond[2] += c[1] < -c[3];
    beyond[3] += c[1] > c[3];
  }
  return beyond[0] == 8 || beyond[1] == 8 || beyond[2] == 8 || beyond[3] == 8;
}

SbBox3f
occupiedBox(const int first[3], const int last[3], const SbBox3f & box, const SbVec3s & dim,
            bool linear)
{
  // A linearly filtered sample is non-zero only within one voxel of a
  // visible voxel's centre, half a voxel beyond the visible voxels.
  const SbVec3f lo = box.getMin();
  const SbVec3f size = box.getMax() - lo;
  const float margin = linear ? 0.5f : 0.0f;
  SbVec3f occLo, occHi;
  for (int k = 0; k < 3; ++k) {
    const float voxel = size[k] / float(dim[k]);
    occLo[k] = lo[k] + voxel * std::max(0.0f, float(first[k]) - margin);
    occHi[k] = lo[k] + voxel * std::min(float(dim[k]), float(last[k]) + margin);
  }
  return SbBox3f(occLo, occHi);
}

float
estimatedFill(const SbMatrix & mvp, const SbBox3f & box, int maxDim, float rect[4])
{
  const BoxCorners corners = projectCorners(box, mvp);
  float x0 = 1.0f, x1 = -1.0f, y0 = 1.0f, y1 = -1.0f;
  bool behind = false;
  for (int i = 0; i < 8 && !behind; ++i) {
    const SbVec4f & c = corners.clip[i];
    behind = !(c[3] > 0.0f);
    x0 = std::min(x0, c[0] / c[3]);
    x1 = std::max(x1, c[0] / c[3]);
    y0 = std::min(y0, c[1] / c[3]);
    y1 = std::max(y1, c[1] / c[3]);
  }
  if (behind) {
    x0 = y0 = -1.0f;
    x1 = y1 = 1.0f;
  }
  x0 = std::max(x0, -1.0f);
  y0 = std::max(y0, -1.0f);
  x1 = std::min(x1, 1.0f);
  y1 = std::min(y1, 1.0f);
  if (x1 <= x0 || y1 <= y0) return 0.0f;
  rect[0] = std::min(rect[0], x0);
  rect[1] = std::min(rect[1], y0);
  rect[2] = std::max(rect[2], x1);
  rect[3] = std::max(rect[3], y1);
  return (x1 - x0) * (y1 - y0) * 0.25f * float(maxDim);
}

bool
screenRect(const SbMatrix & mvp, const SbBox3f & box, float rect[4])
{
  // Corners before the near plane (z >= -w in clip space), and where the
  // edges cross it: their projections bound the visible part of the box.
  const BoxCorners corners = projectCorners(box, mvp);
  const SbVec4f * c = corners.clip;
  float d[8];
  for (int i = 0; i < 8; ++i) d[i] = c[i][2] + c[i][3];
  float x0 = 1.0f, y0 = 1.0f, x1 = -1.0f, y1 = -1.0f;
  bool any = false;
  auto add = [&](const SbVec4f & p) {
    if (!(p[3] > 0.0f)) return;
    x0 = std::min(x0, p[0] / p[3]);
    x1 = std::max(x1, p[0] / p[3]);
    y0 = std::min(y0, p[1] / p[3]);
    y1 = std::max(y1, p[1] / p[3]);
    any = true;
  };
  for (int i = 0; i < 8; ++i) {
    if (d[i] >= 0.0f) add(c[i]);
    for (int bit = 1; bit < 8; bit <<= 1) {
      const int j = i | bit;
      if (j == i || (d[i] >= 0.0f) == (d[j] >= 0.0f)) continue;
      const float t = d[i] / (d[i] - d[j]);
      add(c[i] + (c[j] - c[i]) * t);
    }
  }
  if (!any) return false;
  rect[0] = std::max(x0, -1.0f);
  rect[1] = std::max(y0, -1.0f);
  rect[2] = std::min(x1, 1.0f);
  rect[3] = std::min(y1, 1.0f);
  return rect[2] > rect[0] && rect[3] > rect[1];
}

bool
planSlices(const VolumeView & view, const SbBox3f & box, const SbVec3s & dim, int control,
           int requested, bool maxIntensity, SlicePlan & plan, float leastPerVoxel)
{
  const SbVec3f size = box.getMax() - box.getMin();
  // Eye-space depth of an object-space point p is dot(a, p) + b.
  const SbMatrix & m = view.modelview;
  const SbVec3f a(m[0][2], m[1][2], m[2][2]);
  const float b = m[3][2];
  const float alen = a.length();
  if (!(alen > 0.0f)) return false;

  const BoxExtent e = boxExtent(box, a, b, clipMatrix(view));
  const float nearZ = -view.nearDist;
  const float farZ = -view.farDist;
  if (e.zmin > nearZ || e.zmax < farZ)
    return false; // wholly in front of the near or beyond the far plane

  const SbVec3f voxel(size[0] / float(dim[0]), size[1] / float(dim[1]), size[2] / float(dim[2]));
  const float reference = voxelSpacingAlong(voxel, a / alen);
  if (!(reference > 0.0f)) return false;
  const float depthObject = (e.zmax - e.zmin) / alen;
  const int maxDim = std::max<int>(dim[0], std::max<int>(dim[1], dim[2]));

  int count = 1;
  float dz = 0.0f;
  switch (control) {
    case SoVolumeRender::ALL:
      count = maxDim;
      break;
    case SoVolumeRender::MANUAL:
      count = std::clamp(requested, 1, 4 * maxSlices);
      break;
    default: {
      const float extent = std::max((e.xmax - e.xmin) * 0.5f * float(view.viewport[0]),
                                    (e.ymax - e.ymin) * 0.5f * float(view.viewport[1]));
      const float pixelsPerVoxel = e.behind ? INFINITY : extent / float(maxDim);
      const float perVoxel = std::max(automaticSlicesPerVoxel(pixelsPerVoxel), leastPerVoxel);
      count = automaticSliceCount(depthObject / reference, pixelsPerVoxel);
      if (perVoxel > 1.0f)
        count =
          std::clamp(int(std::ceil(depthObject / reference * perVoxel)), minSlices, 4 * maxSlices);
      // Within the limits the slices lie a whole voxel apart (two when small
      // on screen) rather than spread evenly: one voxel apart needs no
      // opacity correction, and so no per-sample program.
      const float exact = depthObject / reference * perVoxel;
      if (exact >= float(minSlices) && exact <= float(count)) dz = reference * alen / perVoxel;
      break;
    }
  }
  if (dz == 0.0f) dz = (e.zmax - e.zmin) / float(count);
  // Maximum intensity ignores how many slices a ray crosses.
  float ratio = maxIntensity ? 1.0f : (dz / alen) / reference;
  if (std::fabs(ratio - 1.0f) < 1e-3f) ratio = 1.0f;

  plan.axis = a;
  plan.offset = b;
  plan.zmin = e.zmin;
  plan.zmax = e.zmax;
  plan.nearLimit = nearZ * (1.0f + 1e-5f);
  plan.farZ = farZ;
  plan.count = count;
  plan.spacing = dz;
  plan.ratio = ratio;
  return true;
}

int
slicePolygon(const SlicePlan & plan, int i, const SbBox3f & box, SbVec3f vertices[6])
{
  // Slices stay at fixed depths across the box whatever the camera's near
  // plane; those nearer than it are skipped, which a camera inside the
  // volume needs (each slice lies at one depth, so GL would drop it whole).
  const float z = plan.zmin + (float(i) + 0.5f) * plan.spacing;
  if (z > plan.nearLimit || z < plan.farZ) return 0;
  return sliceBoxPolygon(box, plan.axis, z - plan.offset, vertices);
}

bool
planReduction(float fill, const float ndcRect[4], int width, int height, ReducedPass & pass)
{
  if (!(fill > kReducedFillThreshold) || width < 2 || height < 2) return false;
  const int f = fill > kThirdFillThreshold ? 3 : 2;
  const int w = (width + f - 1) / f;
  const int h = (height + f - 1) / f;
  // In whole reduced pixels, so that the rectangle maps onto them exactly.
  auto down = [f](float ndc, int size) {
    return int(std::floor((ndc + 1.0f) * 0.5f * float(size))) / f * f;
  };
  auto up = [f](float ndc, int size) {
    return (int(std::ceil((ndc + 1.0f) * 0.5f * float(size))) + f - 1) / f * f;
  };
  pass.factor = f;
  pass.width = w;
  pass.height = h;
  pass.rect[0] = std::clamp(down(ndcRect[0], width), 0, f * w);
  pass.rect[1] = std::clamp(down(ndcRect[1], height), 0, f * h);
  pass.rect[2] = std::clamp(up(ndcRect[2], width), 0, f * w);
  pass.rect[3] = std::clamp(up(ndcRect[3], height), 0, f * h);
  return pass.rect[2] > pass.rect[0] && pass.rect[3] > pass.rect[1];
}

DepthEdges
depthEdges(float nearDist, float farDist, bool perspective, float ratio)
{
  // Through a perspective 1 / distance is linear in the depth, n / distance
  // = 1 - k * depth; an edge is where that of the nearest depth is more
  // than `ratio` times that of the farthest. Through a parallel
  // projection the distance itself is linear in the depth.
  DepthEdges e;
  if (perspective) {
    const float k = (farDist - nearDist) / farDist;
    e.c[0] = 1.0f - ratio;
    e.c[1] = -k;
    e.c[2] = ratio * k;
  } else {
    const float span = farDist - nearDist;
    e.c[0] = (1.0f - ratio) * nearDist;
    e.c[1] = -ratio * span;
    e.c[2] = span;
  }
  return e;
}

namespace {

// Widens lo and hi, per block of F pixels, by one row's `full` whole blocks.
template <int F>
void
widenByRow(const uint32_t * row, int full, uint32_t * lo, uint32_t * hi)
{
  for (int rx = 0; rx < full; ++rx) {
    const uint32_t * p = row + F * rx;
    uint32_t l = lo[rx], h = hi[rx];
    for (int k = 0; k < F; ++k) {
      l = std::min(l, p[k]);
      h = std::max(h, p[k]);
    }
    lo[rx] = l;
    hi[rx] = h;
  }
}

} // namespace

void
reduceDepth(const uint32_t * depth, int width, int height, int factor, const DepthEdges & edgeTest,
            uint32_t * reduced, unsigned char * edges)
{
  // Packed values order as their depths (upper bits), the stencil only
  // breaking ties: compared whole, with the stencil masked off after.
  const int f = factor;
  const int rw = (width + f - 1) / f, rh = (height + f - 1) / f, full = width / f;
  const float unit = 1.0f / (16777215.0f * 256.0f);
  const float c0 = edgeTest.c[0], c1 = edgeTest.c[1] * unit, c2 = edgeTest.c[2] * unit;
  std::vector<uint32_t> lo(static_cast<size_t>(rw)), hi(static_cast<size_t>(rw));
  for (int ry = 0; ry < rh; ++ry) {
    std::fill(lo.begin(), lo.end(), UINT32_MAX);
    std::fill(hi.begin(), hi.end(), 0u);
    for (int y = ry * f; y < std::min(ry * f + f, height); ++y) {
      const uint32_t * row = depth + size_t(y) * size_t(width);
      // Whole blocks at a factor known to the compiler, which vectorises them.
      if (f == 2)
        widenByRow<2>(row, full, lo.data(), hi.data());
      else if (f == 3)
        widenByRow<3>(row, full, lo.data(), hi.data());
      else
        for (int rx = 0; rx < full; ++rx)
          for (int k = 0; k < f; ++k) {
            lo[size_t(rx)] = std::min(lo[size_t(rx)], row[f * rx + k]);
            hi[size_t(rx)] = std::max(hi[size_t(rx)], row[f * rx + k]);
          }
      for (int x = full * f; x < width; ++x) {
        lo[size_t(full)] = std::min(lo[size_t(full)], row[x]);
        hi[size_t(full)] = std::max(hi[size_t(full)], row[x]);
      }
    }
    const size_t at = size_t(ry) * size_t(rw);
    for (int rx = 0; rx < rw; ++rx) {
      // 24 significant bits: exact as floats.
      const uint32_t l = lo[size_t(rx)] & ~0xffu, h = hi[size_t(rx)] & ~0xffu;
      reduced[at + size_t(rx)] = h;
      edges[at + size_t(rx)] = c0 + c1 * float(l) + c2 * float(h) > 0.0f;
    }
  }
}

std::vector<int>
compositeRects(const ReducedPass & pass, const std::vector<float> & ndcRects, int width, int height,
               const unsigned char * alpha, const unsigned char * edges,
               std::vector<int> * edgeRects)
{
  // Tiles of this many reduced pixels: few quads, little area beyond the
  // volumes.
  constexpr int tile = 8;
  const int f = pass.factor;
  const int tx0 = pass.rect[0] / f, ty0 = pass.rect[1] / f;
  const int cols = (pass.rect[2] / f - tx0 + tile - 1) / tile;
  const int rows = (pass.rect[3] / f - ty0 + tile - 1) / tile;
  std::vector<int> out;
  if (edgeRects) edgeRects->clear();
  if (cols <= 0 || rows <= 0) return out;
  // 0: nothing; 1: composited; 2: an edge tile.
  std::vector<char> marked(size_t(cols) * size_t(rows), 0);
  for (size_t i = 0; i + 3 < ndcRects.size(); i += 4) {
    // In reduced pixels, widened by those that a slice's rasterisation and
    // the scaling filter may reach.
    const float * r = &ndcRects[i];
    const int x0 = int(std::floor((r[0] + 1.0f) * 0.5f * float(width) / float(f))) - 2 - tx0;
    const int y0 = int(std::floor((r[1] + 1.0f) * 0.5f * float(height) / float(f))) - 2 - ty0;
    const int x1 = int(std::ceil((r[2] + 1.0f) * 0.5f * float(width) / float(f))) + 2 - tx0;
    const int y1 = int(std::ceil((r[3] + 1.0f) * 0.5f * float(height) / float(f))) + 2 - ty0;
    const int c0 = std::max(x0, 0) / tile, c1 = std::min((x1 + tile - 1) / tile, cols);
    const int r0 = std::max(y0, 0) / tile, r1 = std::min((y1 + tile - 1) / tile, rows);
    for (int y = r0; y < r1; ++y)
      for (int x = c0; x < c1; ++x) marked[size_t(y) * size_t(cols) + size_t(x)] = 1;
  }
  if (alpha) {
    // Only tiles where the picture holds something, or holds it one reduced
    // pixel beyond their edge, where the filter reads; of those, the ones
    // with an edge there, whose reduced pixels were drawn against their
    // block's farthest depth, go to full resolution.
    const int aw = pass.rect[2] / f - tx0, ah = pass.rect[3] / f - ty0;
    for (int ty = 0; ty < rows; ++ty)
      for (int tx = 0; tx < cols; ++tx) {
        char & m = marked[size_t(ty) * size_t(cols) + size_t(tx)];
        if (!m) continue;
        bool drawn = false, edge = false;
        const int x1 = std::min(tile * tx + tile + 1, aw), y1 = std::min(tile * ty + tile + 1, ah);
        const bool needEdges = edges && edgeRects;
        for (int y = std::max(tile * ty - 1, 0); y < y1 && !(drawn && (edge || !needEdges)); ++y)
          for (int x = std::max(tile * tx - 1, 0); x < x1; ++x) {
            const size_t at = size_t(y) * size_t(aw) + size_t(x);
            drawn = drawn || alpha[at] != 0;
            edge = edge || (needEdges && edges[at] != 0);
          }
        m = drawn ? (edge ? 2 : 1) : 0;
      }
  }
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < cols;) {
      const char kind = marked[size_t(y) * size_t(cols) + size_t(x)];
      if (!kind) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < cols && marked[size_t(y) * size_t(cols) + size_t(x)] == kind) ++x;
      std::vector<int> & to = kind == 1 || !edgeRects ? out : *edgeRects;
      to.push_back(std::min(f * (tx0 + start * tile), pass.rect[2]));
      to.push_back(std::min(f * (ty0 + y * tile), pass.rect[3]));
      to.push_back(std::min(f * (tx0 + x * tile), pass.rect[2]));
      to.push_back(std::min(f * (ty0 + (y + 1) * tile), pass.rect[3]));
    }
  return out;
}
