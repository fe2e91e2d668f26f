#ifndef FS_VOLUME_VOLUMESLICING_H
#define FS_VOLUME_VOLUMESLICING_H

// The geometry and compositing arithmetic behind SoVolumeRender, kept free of
// GL so that it can be checked on its own.

#include <Inventor/SbBox3f.h>
#include <Inventor/SbVec3f.h>

// The polygon where the plane dot(normal, p) = distance cuts the box, its
// vertices in order around the polygon (counter-clockwise seen from the tip of
// the normal). Returns the vertex count: 3 to 6, or 0 when the plane misses
// the box or only touches an edge or a corner.
int sliceBoxPolygon(const SbBox3f & box, const SbVec3f & normal, float distance,
                    SbVec3f vertices[6]);

// Opacity of one slice when `alpha` is the opacity of one voxel's depth and
// the slices lie `ratio` = sliceSpacing / voxelSpacing apart:
// 1 - (1 - alpha)^ratio. A ray then gathers the same opacity whatever the
// number of slices it crosses (n slices of it make (1 - alpha)^(n * ratio)).
float correctSliceOpacity(float alpha, float ratio);

// Distance across one voxel of size `voxelSize` along the unit direction `dir`.
float voxelSpacingAlong(const SbVec3f & voxelSize, const SbVec3f & dir);

// Slices per voxel crossed when the renderer chooses: one while a voxel
// covers a pixel or more (more would only add fill), down to one per two
// voxels for a volume smaller on screen than its voxel count.
float automaticSlicesPerVoxel(float pixelsPerVoxel);

// Slice count when the renderer chooses: the number of voxels a ray crosses
// times automaticSlicesPerVoxel, kept within [minSlices, maxSlices].
int automaticSliceCount(float voxelsAlongView, float pixelsPerVoxel);

constexpr int minSlices = 8;
constexpr int maxSlices = 512;

#endif
