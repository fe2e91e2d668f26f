#ifndef FS_VOLUME_VOLUMERENDERINTERNAL_H
#define FS_VOLUME_VOLUMERENDERINTERNAL_H

// What the source files of SoVolumeRender share: the volumes waiting for
// the delayed pass, and the record of what one GL context holds for them
// (limits, 3-D textures, fragment programs, reduced-resolution target).
// Private to volume/.

#include "volume/SlicePlan.h"

#include <Inventor/C/basic.h>
#include <Inventor/C/glue/gl.h>
#include <Inventor/system/gl.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class SoGLRenderAction;
class SoTransferFunction;
class SoVolumeData;
class SoVolumeRender;

namespace volumerender {

// One volume captured during the opaque pass, drawn once all of them are
// known so that they can be sorted.
struct Pending {
  SoVolumeRender * node;
  SoVolumeData * data;
  SoTransferFunction * transfer;
  VolumeView view;
  GLboolean fog;
  GLint fogMode;
  GLfloat fogDensity, fogStart, fogEnd;
  GLfloat fogColour[4];
  float depth; // eye-space z of the box centre
};

// Saves the GL state that the delayed pass changes, and gives it back
// however the pass ends.
class StateScope {
public:
  explicit StateScope(const cc_glglue * glue)
  {
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_TEXTURE_BIT |
                 GL_FOG_BIT | GL_LIGHTING_BIT | GL_POLYGON_BIT | GL_CURRENT_BIT | GL_TRANSFORM_BIT |
                 GL_VIEWPORT_BIT | GL_SCISSOR_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    // The texture matrix is kept on the unit that the volumes use.
    if (cc_glglue_has_multitexture(glue) && cc_glglue_max_texture_units(glue) > 1)
      cc_glglue_glActiveTexture(glue, GL_TEXTURE0);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
  }
  ~StateScope()
  {
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
  }
  StateScope(const StateScope &) = delete;
  StateScope & operator=(const StateScope &) = delete;
};

// A volume's texture in one GL context.
struct Texture {
  GLuint name = 0;
  GLint filter = 0; // as last set on the texture object; 0 before the first
  SbUniqueId dataId = 0;
  SbUniqueId transferId = 0;
  float ratio = 0.0f;
  // Voxel index range (half-open) holding anything visible; empty when
  // nothing is.
  int first[3] = {0, 0, 0};
  int last[3] = {0, 0, 0};
};

std::vector<uint16_t> colourVoxels(const SoVolumeData * data, const SoTransferFunction * transfer,
                                   float ratio);
void findOccupied(const std::vector<uint16_t> & rgba, const SbVec3s & dim, Texture & tex);

// What a GL context allows the volumes, asked once per context.
struct Limits {
  bool textures3d = false;
  GLint max3dTexture = 0; // asked only with 3-D textures
  // The reduced pass: framebuffer objects, separate draw and read targets,
  // packed depth and stencil, separate alpha blending, and the largest
  // buffer that every use there allows.
  bool offscreen = false;
  int largestBuffer = 0;
};

// Whether this GL has 3-D textures, and whether it can hold one of `dim`
// voxels; each warns once when not.
bool texturesAvailable(const Limits & limits);
bool textureFits(const SbVec3s & dim, const Limits & limits);

// Binds the volume's texture, uploading it first when the data, the
// transfer function or the baked-in opacity `ratio` changed.
const Texture & bindTexture(Texture & tex, const Pending & p, const SbVec3s & dim, float ratio,
                            GLint filter, const cc_glglue * glue);

// For SoGLCacheContextElement::scheduleDeleteCallback: the closure is the
// texture name.
void deleteTexture(void * closure, uint32_t contextid);

// Fragment programs that correct each sample's opacity for the slice
// spacing, one per fog mode (none, linear, exp, exp2).
struct Programs {
  bool tried = false;
  bool usable = false;
  GLuint id[4] = {0, 0, 0, 0};
};

std::string programText(int fogVariant);
// Loads the programs on first use in their context.
const Programs & preparePrograms(Programs & programs, const cc_glglue * glue);

// Binds the program for the volume's fog with `ratio`, or turns programs off
// when the opacity needs no correction.
void useProgram(const cc_glglue * glue, const GLuint * programs, const Pending & p, float ratio);

// The reduced-resolution target of one GL context: colour in a texture for the
// final scaling, depth in a texture filled with the frame's own depth,
// scaled down on the CPU (reduceDepth).
struct Offscreen {
  bool tried = false;
  bool usable = false;
  GLuint fbo = 0, colour = 0, depth = 0;
  int width = 0, height = 0;
  std::vector<uint32_t> frameDepth, reducedDepth; // this pass's, reused
  std::vector<unsigned char> edges;               // this pass's edge marks
  // What the picture in `colour` shows (the volumes, their views, the pass)
  // and the scaled-down depth and edge marks it was drawn against: when all
  // come again (a still camera), the picture stands.
  std::vector<char> shows;
  std::vector<uint32_t> drawnOver;
  std::vector<unsigned char> drawnEdges;
  // From compositeRects: where the picture was composited, and the edge
  // tiles that were sliced at full resolution instead.
  std::vector<int> composited, sliced;
};

bool depthLikeOurs(const cc_glglue * glue, GLint fbo);

// Everything the volumes keep in one GL context. Made on the context's
// first delayed pass; freed, GL names and all, when Coin is told that the
// context is destroyed (SoContextHandler::destructingContext).
struct Context {
  Limits limits;
  std::map<const SoVolumeRender *, Texture> textures; // one per volume node
  Programs programs;
  Offscreen offscreen;
  // Coin may let go of the context's glue before the record is freed: the
  // entry points that free the names are kept from the first use.
  typedef void(APIENTRY * DeleteNames)(GLsizei, const GLuint *);
  DeleteNames deletePrograms = nullptr;
  DeleteNames deleteFramebuffers = nullptr;
};

Context & contextFor(uint32_t contextid, const cc_glglue * glue);
// The node's textures, in every context, are deleted when that context is
// next current.
void forgetTextures(const SoVolumeRender * node);

// A reduced-resolution pass under way, and the framebuffers to go back to.
struct Reduced {
  Offscreen * target = nullptr;
  ReducedPass pass;
  std::vector<float> screen; // each volume's screen rectangle, from screenRect
  std::vector<char> shows;   // what the pass is to draw, as Offscreen keeps it
  bool kept = false;         // the target still holds that picture: no slices
  GLint viewport[4] = {0, 0, 0, 0};
  GLint drawFbo = 0, readFbo = 0;
};

// Starts drawing into the reduced target, with the frame's depth scaled down
// into it; false (and drawing left where it was) when this GL or a frame of
// `frame` pixels does not allow it. Sets `kept` when the target holds the
// picture of `shows` drawn against the same depth already. `depthRange` is
// the camera's near and far distance, `perspective` its kind: they tell the
// depth of an edge.
bool beginReduced(Context & gl, const cc_glglue * glue, const SbVec2s & frame,
                  const float depthRange[2], bool perspective, Reduced & reduced);
// The projection for slicing into the reduced target, whose pixel i is
// viewport pixels [factor * i, factor * (i + 1)) also when the viewport is
// not a whole number of reduced pixels.
SbMatrix reducedProjection(const SbMatrix & projection, const Reduced & reduced);
// Scales the reduced picture up over the frame, but for the edge tiles,
// which are left in target->sliced.
void compositeReduced(const cc_glglue * glue, const Reduced & reduced, bool programs);

// The delayed pass. GLRender queues each volume it meets (taking a
// reference to its nodes) on the render action's delayed path; the first
// volume reached in the delayed pass draws the whole queue, far to near.
void queueVolume(SoGLRenderAction * action, const Pending & p);
void drawQueued(SoGLRenderAction * action);
void setStageTimer(double * seconds);
// SoVolumeRender::Quality, for every render action; returns the one it
// replaces.
int setQuality(int quality);

// Uploads the textures that the volumes need and are not up to date, so
// that their extents are known before anything is planned.
void uploadTextures(const std::vector<Pending> & volumes, Context & gl, const cc_glglue * glue,
                    const GLuint * programs);
// Drawing one volume's slices, in the GL state that setVolumeState sets.
void setVolumeState();
// `leastPerVoxel` as for planSlices. With `scissors` (x0, y0, x1, y1 in
// viewport pixels) only within those rectangles.
void drawSlices(const Pending & p, Context & gl, const cc_glglue * glue, const GLuint * programs,
                bool premultiply, float leastPerVoxel = 0.0f,
                const std::vector<int> * scissors = nullptr);
// Whether the renderer may simplify the volume: it chooses the slices, and
// the volume is soft (alpha blended, linearly filtered).
bool softVolume(const Pending & p);

} // namespace volumerender

#endif
