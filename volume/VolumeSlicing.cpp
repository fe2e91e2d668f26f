#include "volume/VolumeSlicing.h"

#include <algorithm>
#include <cmath>
#include <utility>

int
sliceBoxPolygon(const SbBox3f & box, const SbVec3f & normal, float distance, SbVec3f vertices[6])
{
  if (box.isEmpty() || normal.sqrLength() == 0.0f) return 0;
  const SbVec3f & lo = box.getMin();
  const SbVec3f & hi = box.getMax();
  SbVec3f corner[8];
  float side[8];
  for (int i = 0; i < 8; ++i) {
    corner[i].setValue((i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2]);
    side[i] = normal.dot(corner[i]) - distance;
  }
  // The 12 edges join corners whose indices differ in one bit.
  static const int edges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                   {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

  SbVec3f found[12];
  int n = 0;
  const float eps = 1e-6f * (hi - lo).length();
  for (const auto & e : edges) {
    const float da = side[e[0]], db = side[e[1]];
    if ((da < 0.0f) == (db < 0.0f)) continue;
    const float t = da / (da - db);
    const SbVec3f p = corner[e[0]] + (corner[e[1]] - corner[e[0]]) * t;
    // A corner on the plane is found from each of its edges: keep it once.
    bool dup = false;
    for (int k = 0; k < n && !dup; ++k) dup = (found[k] - p).length() <= eps;
    if (!dup) found[n++] = p;
  }
  if (n < 3) return 0;
  if (n > 6) n = 6; // cannot happen for a convex box; guards the output size

  SbVec3f centre(0.0f, 0.0f, 0.0f);
  for (int i = 0; i < n; ++i) centre += found[i];
  centre /= float(n);
  SbVec3f unit = normal;
  unit.normalize();
  // Any direction in the plane serves as the angle origin.
  SbVec3f u = unit.cross(std::fabs(unit[0]) < 0.9f ? SbVec3f(1, 0, 0) : SbVec3f(0, 1, 0));
  u.normalize();
  const SbVec3f v = unit.cross(u);
  float angle[6];
  int order[6];
  for (int i = 0; i < n; ++i) {
    const SbVec3f d = found[i] - centre;
    angle[i] = std::atan2(d.dot(v), d.dot(u));
    order[i] = i;
  }
  // Insertion sort: at most six entries (and std::sort trips GCC's bounds warning here).
  for (int i = 1; i < n; ++i)
    for (int j = i; j > 0 && angle[order[j]] < angle[order[j - 1]]; --j)
      std::swap(order[j], order[j - 1]);
  for (int i = 0; i < n; ++i) vertices[i] = found[order[i]];
  return n;
}

float
correctSliceOpacity(float alpha, float ratio)
{
  if (!(alpha > 0.0f)) return 0.0f;
  if (alpha >= 1.0f) return 1.0f;
  return float(1.0 - std::pow(1.0 - double(alpha), double(ratio)));
}

float
voxelSpacingAlong(const SbVec3f & voxelSize, const SbVec3f & dir)
{
  // Planes one voxel apart along each axis are 1/|dir_i / size_i| apart along
  // dir; combining the axes this way gives the voxel size for any axis-aligned
  // or diagonal direction of a cubic grid.
  double s = 0.0;
  for (int i = 0; i < 3; ++i) {
    if (voxelSize[i] <= 0.0f) return 0.0f;
    const double q = double(dir[i]) / double(voxelSize[i]);
    s += q * q;
  }
  return s > 0.0 ? float(1.0 / std::sqrt(s)) : 0.0f;
}

float
automaticSlicesPerVoxel(float pixelsPerVoxel)
{
  // NaN or infinity: the camera is inside or very close, use the finest.
  return (pixelsPerVoxel < 1.0f) ? std::max(pixelsPerVoxel, 0.5f) : 1.0f;
}

int
automaticSliceCount(float voxelsAlongView, float pixelsPerVoxel)
{
  if (!(voxelsAlongView > 0.0f)) return minSlices;
  const float perVoxel = automaticSlicesPerVoxel(pixelsPerVoxel);
  const float n = std::ceil(std::min(voxelsAlongView * perVoxel, float(maxSlices)));
  return std::clamp(int(n), minSlices, maxSlices);
}
