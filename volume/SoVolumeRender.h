#ifndef FS_VOLUME_SOVOLUMERENDER_H
#define FS_VOLUME_SOVOLUMERENDER_H

// Draws the latest SoVolumeData in the traversal state through the latest
// SoTransferFunction (GREY when there is none) as view-aligned slices of a
// 3-D texture, back to front. Volumes are drawn after the opaque geometry of
// the frame, sorted far to near among themselves, depth-tested but writing no
// depth, unlit and fogged like other geometry. Slice opacity is corrected for
// the slice spacing, so the look does not depend on the slice count: per
// sample in a fragment program, so that the texture is uploaded again only
// when the data or the transfer function change, or baked into the texture
// on a GL without fragment programs. Slices one voxel apart need no
// correction at all, which is what the renderer picks for a volume on a
// pixel or more per voxel. When the renderer chooses the slices and they
// would cover the viewport many times over, soft volumes (visible only well
// inside their box) are drawn at a half or a third of the resolution,
// depth-tested against the frame's depth scaled down, and scaled up over the
// frame where they drew; around the edges of opaque geometry, where the
// depth within one reduced pixel varies much, they are drawn at full
// resolution against the frame's own depth instead. A frame that shows the
// same volumes from the same view over the same depth as the one before (a
// still camera, something else changed) keeps that reduced picture and only
// scales it up again.
//
// Without 3-D textures (or with a volume larger than the GL allows) it warns
// once through SoDebugError and draws nothing.

#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/fields/SoSFInt32.h>
#include <Inventor/nodes/SoShape.h>
#include <Inventor/nodes/SoSubNode.h>

class SoVolumeRender : public SoShape {
  typedef SoShape inherited;
  SO_NODE_HEADER(SoVolumeRender);

public:
  static void initClass(void);
  SoVolumeRender(void);

  enum NumSlicesControl {
    ALL = 0,      // one slice per voxel along the largest dimension
    MANUAL = 1,   // numSlices
    AUTOMATIC = 2 // from the voxels crossed and the size on screen
  };
  enum Composition { MAX_INTENSITY = 0, SUM_INTENSITY = 1, ALPHA_BLENDING = 2 };
  enum Interpolation { NEAREST = 0, LINEAR = 1 };

  SoSFEnum numSlicesControl;
  SoSFInt32 numSlices;
  SoSFEnum composition;
  SoSFEnum interpolation;

  virtual void GLRender(SoGLRenderAction * action);

  // For benchmarks: while `seconds` is set, the delayed pass waits for GL
  // before and after each stage and adds its time: [0] the frame's depth
  // scaled down for a reduced pass, [1] the slices, [2] the reduced
  // picture's compositing, [3] the slices of its edge tiles at full
  // resolution. A stage that does not run adds nothing. The waits cost time
  // themselves; NULL turns it off.
  static void setStageTimer(double * seconds);

  // How the volumes that the renderer may simplify are drawn, for every
  // render action: EVERY_FRAME (the default) sliced in each frame, reduced
  // when heavy; REFERENCE at full resolution with at least two slices per
  // voxel, to judge the other by. Returns the mode it replaces, so that a
  // caller can restore it.
  enum Quality { REFERENCE = 0, EVERY_FRAME = 1 };
  static Quality setQuality(Quality quality);

protected:
  virtual ~SoVolumeRender();

  virtual void computeBBox(SoAction * action, SbBox3f & box, SbVec3f & center);
  virtual void generatePrimitives(SoAction * action);
};

#endif
