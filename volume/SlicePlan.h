#ifndef FS_VOLUME_SLICEPLAN_H
#define FS_VOLUME_SLICEPLAN_H

// How SoVolumeRender lays its slices through a volume and when it draws
// them at reduced resolution: arithmetic on the camera's matrices and the
// volume's box, kept free of GL so that it can be checked on its own.

#include <Inventor/SbBox3f.h>
#include <Inventor/SbMatrix.h>
#include <Inventor/SbVec2s.h>
#include <Inventor/SbVec3f.h>
#include <Inventor/SbVec3s.h>
#include <Inventor/SbVec4f.h>

#include <cstdint>
#include <vector>

// The camera as it saw one volume.
struct VolumeView {
  SbMatrix modelview;
  SbMatrix projection;
  float nearDist;
  float farDist;
  SbVec2s viewport;
};

// Object space to clip space.
SbMatrix clipMatrix(const VolumeView & view);

// The eight corners of a box, in object and in clip coordinates: bit 0 of
// the index picks the high x, bit 1 the high y, bit 2 the high z.
struct BoxCorners {
  SbVec3f object[8];
  SbVec4f clip[8];
};
BoxCorners projectCorners(const SbBox3f & box, const SbMatrix & mvp);

// True when the box lies wholly beyond one side of the view frustum (left,
// right, bottom or top; the depth range is checked by the caller).
bool outsideView(const SbBox3f & box, const SbMatrix & mvp);

// The part of `box` (of `dim` voxels) where a filtered sample can be
// non-zero when the voxels [first, last) hold everything visible.
SbBox3f occupiedBox(const int first[3], const int last[3], const SbBox3f & box, const SbVec3s & dim,
                    bool linear);

// Rough fill of one volume: the screen area of its box times the voxels a
// ray may cross (maxDim), in viewports. Widens `rect` (x0, y0, x1, y1 in
// normalised device coordinates) to the box's part of the screen; a box
// reaching behind the eye covers it all.
float estimatedFill(const SbMatrix & mvp, const SbBox3f & box, int maxDim, float rect[4]);

// The bounding rectangle (x0, y0, x1, y1 in normalised device coordinates,
// within the screen) of the part of `box` before the near plane; false when
// none of it is on screen.
bool screenRect(const SbMatrix & mvp, const SbBox3f & box, float rect[4]);

// Slices through one volume, back to front: slice i lies at eye-space depth
// zmin + (i + 0.5) * spacing, on the object-space plane where
// dot(axis, p) + offset is that depth.
struct SlicePlan {
  SbVec3f axis;
  float offset = 0.0f;
  float zmin = 0.0f, zmax = 0.0f; // eye-space depth range of the box
  float nearLimit = 0.0f;         // slices nearer than this are skipped
  float farZ = 0.0f;              // and those beyond this
  int count = 0;
  float spacing = 0.0f;
  // Slice spacing over voxel spacing along the view: 1 when the opacity
  // needs no correction.
  float ratio = 1.0f;
};

// Plans the slices of a volume filling `box` with `dim` voxels. `control`
// and `requested` are SoVolumeRender's numSlicesControl and numSlices;
// maximum intensity needs no opacity correction. `leastPerVoxel`, when more
// than 0, raises the renderer's own choice to at least that many slices per
// voxel crossed. False when nothing is to be drawn: the box lies wholly
// outside the depth range, or the view or the voxels are degenerate.
bool planSlices(const VolumeView & view, const SbBox3f & box, const SbVec3s & dim, int control,
                int requested, bool maxIntensity, SlicePlan & plan, float leastPerVoxel = 0.0f);

// The polygon of slice i of the plan through `box`, as sliceBoxPolygon gives
// it; 0 also for a slice outside the view's depth range.
int slicePolygon(const SlicePlan & plan, int i, const SbBox3f & box, SbVec3f vertices[6]);

// Drawing heavy fill at a fraction of the resolution.
struct ReducedPass {
  int factor = 1;            // viewport pixels per reduced pixel along each axis
  int width = 0, height = 0; // of the reduced target
  // x0, y0, x1, y1 in viewport pixels, multiples of factor: the part of the
  // viewport that the volumes may cover.
  int rect[4] = {0, 0, 0, 0};
};

// Whether volumes of `fill` viewports (from estimatedFill) over the normalised
// rectangle `ndcRect` are worth drawing at reduced resolution in a viewport
// of width x height pixels, and how.
bool planReduction(float fill, const float ndcRect[4], int width, int height, ReducedPass & pass);

// Where a block of the frame's depth holds an edge of opaque geometry: in
// window depth (0 to 1), where c[0] + c[1] * nearest + c[2] * farthest > 0,
// that is where the eye distances of its nearest and farthest depth differ
// by more than `ratio`, seen by a camera with these near and far distances.
struct DepthEdges {
  float c[3];
};
DepthEdges depthEdges(float nearDist, float farDist, bool perspective, float ratio);

// Scales the frame's depth down by `factor` for a reduced pass. `depth` is
// width x height depth-and-stencil pixels as GL packs them
// (GL_UNSIGNED_INT_24_8: depth in the upper 24 bits), rows bottom first.
// Each of the ceil(width / factor) x ceil(height / factor) reduced pixels
// gets its block's farthest depth (stencil 0), so that no single nearer
// pixel hides a volume from the whole block, and in `edges` 1 where the
// block holds an edge, else 0. A last, narrower column or row of blocks
// takes only the pixels it covers.
void reduceDepth(const uint32_t * depth, int width, int height, int factor,
                 const DepthEdges & edgeTest, uint32_t * reduced, unsigned char * edges);

// Where the reduced picture is composited: disjoint rectangles (x0, y0, x1,
// y1 in viewport pixels, on whole reduced pixels, within pass.rect) that
// cover every one of `ndcRects` (four floats each, from screenRect) and the
// pixels whose scaling filter reads their reduced pixels, in a viewport of
// width x height. Whole tiles, joined along rows. With `alpha`, the reduced
// picture's alpha over pass.rect (rows bottom first, pass.rect's width over
// the factor apart), only tiles where it is not all zero nearby. Of those,
// tiles where `edges` (laid out as `alpha`) is not all zero nearby go to
// `edgeRects` instead, when given.
std::vector<int> compositeRects(const ReducedPass & pass, const std::vector<float> & ndcRects,
                                int width, int height, const unsigned char * alpha = nullptr,
                                const unsigned char * edges = nullptr,
                                std::vector<int> * edgeRects = nullptr);

#endif
