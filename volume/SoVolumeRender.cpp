#include "volume/SoVolumeRender.h"

#include "volume/SoTransferFunction.h"
#include "volume/SoTransferFunctionElement.h"
#include "volume/SoVolumeData.h"
#include "volume/SoVolumeDataElement.h"
#include "volume/SlicePlan.h"
#include "volume/VolumeSlicing.h"

#include <Inventor/C/glue/gl.h>
#include <Inventor/SbViewVolume.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoGetPrimitiveCountAction.h>
#include <Inventor/actions/SoPickAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoDrawStyleElement.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoProjectionMatrixElement.h>
#include <Inventor/elements/SoViewVolumeElement.h>
#include <Inventor/elements/SoViewingMatrixElement.h>
#include <Inventor/elements/SoViewportRegionElement.h>
#include <Inventor/system/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

// One volume captured during the opaque pass, drawn once all of them are
// known so that they can be sorted.
struct SoVolumeRender::Pending {
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

namespace {

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

// Where the texels are not all zero. Slicing only that part of the box saves
// most of the fill for clouds, whose data fill the middle of their volume.
void
findOccupied(const std::vector<uint16_t> & rgba, const SbVec3s & dim, Texture & tex)
{
  const int n[3] = {dim[0], dim[1], dim[2]};
  int lo[3] = {n[0], n[1], n[2]}, hi[3] = {-1, -1, -1};
  size_t i = 0;
  for (int z = 0; z < n[2]; ++z)
    for (int y = 0; y < n[1]; ++y)
      for (int x = 0; x < n[0]; ++x, i += 4) {
        if ((rgba[i] | rgba[i + 1] | rgba[i + 2] | rgba[i + 3]) == 0) continue;
        const int v[3] = {x, y, z};
        for (int k = 0; k < 3; ++k) {
          lo[k] = std::min(lo[k], v[k]);
          hi[k] = std::max(hi[k], v[k]);
        }
      }
  for (int k = 0; k < 3; ++k) {
    tex.first[k] = hi[0] < 0 ? 0 : lo[k];
    tex.last[k] = hi[0] < 0 ? 0 : hi[k] + 1;
  }
}

// Volumes waiting for the delayed pass, per render action, and the delayed
// path that will bring the action back to draw them.
struct Frame {
  std::vector<SoVolumeRender::Pending> volumes;
  SoPath * path = nullptr;
};
std::map<SoGLRenderAction *, Frame> pendingFrames;

void
release(std::vector<SoVolumeRender::Pending> & volumes)
{
  for (auto & p : volumes) {
    if (p.transfer) p.transfer->unref();
    p.data->unref();
    p.node->unref();
  }
  volumes.clear();
}

void
warnOnce(bool & warned, const char * message)
{
  if (warned) return;
  warned = true;
  std::fprintf(stderr, "SoVolumeRender: %s\n", message);
}

// Fragment programs that correct each sample's opacity for the slice
// spacing, so that the texture need not change with it. One per fog mode
// (none, linear, exp, exp2): the fog option makes the program fog exactly as
// the fixed pipeline does. Without fragment programs the correction is baked
// into the texture instead.
struct Programs {
  bool tried = false;
  bool usable = false;
  GLuint id[4] = {0, 0, 0, 0};
};
std::map<uint32_t, Programs> programsPerContext;

std::string
programText(int fogVariant)
{
  static const char * const fogOption[4] = {
    "", "OPTION ARB_fog_linear;\n", "OPTION ARB_fog_exp;\n", "OPTION ARB_fog_exp2;\n"};
  // alpha' = 1 - (1 - alpha)^ratio; POW of 0 is 0 for a positive ratio.
  return std::string("!!ARBfp1.0\n") + fogOption[fogVariant] +
         "PARAM ratio = program.local[0];\n"
         "PARAM one = {1.0, 1.0, 1.0, 1.0};\n"
         "TEMP c, t;\n"
         "TEX c, fragment.texcoord[0], texture[0], 3D;\n"
         "SUB t.x, one.x, c.w;\n"
         "POW t.x, t.x, ratio.x;\n"
         "SUB c.w, one.x, t.x;\n"
         "MOV result.color, c;\n"
         "END\n";
}

const Programs &
programsFor(uint32_t contextid, const cc_glglue * glue)
{
  Programs & pr = programsPerContext[contextid];
  if (pr.tried) return pr;
  pr.tried = true;
  if (!cc_glglue_has_arb_fragment_program(glue)) return pr;
  while (glGetError() != GL_NO_ERROR) {
  }
  cc_glglue_glGenPrograms(glue, 4, pr.id);
  pr.usable = true;
  for (int v = 0; v < 4; ++v) {
    const std::string text = programText(v);
    cc_glglue_glBindProgram(glue, GL_FRAGMENT_PROGRAM_ARB, pr.id[v]);
    cc_glglue_glProgramString(glue, GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB,
                              GLsizei(text.size()), text.c_str());
    if (glGetError() != GL_NO_ERROR) pr.usable = false;
  }
  cc_glglue_glBindProgram(glue, GL_FRAGMENT_PROGRAM_ARB, 0);
  return pr;
}

bool warnedNo3D = false;
bool warnedTooLarge = false;
bool warnedNoMax = false;

void
deleteTexture(void * closure, uint32_t)
{
  const GLuint name = static_cast<GLuint>(reinterpret_cast<uintptr_t>(closure));
  glDeleteTextures(1, &name);
}

// Voxels coloured through the transfer function, with each alpha corrected
// for the slice spacing. 16 bits per channel: with many slices the corrected
// opacities are small, and 8 bits would round them by up to a fifth.
std::vector<uint16_t>
colourVoxels(const SoVolumeData * data, const SoTransferFunction * transfer, float ratio)
{
  SbVec3s dim;
  void * buffer = nullptr;
  SoVolumeData::DataType type;
  data->getVolumeData(dim, buffer, type);
  const size_t dx = size_t(dim[0]), dy = size_t(dim[1]), dz = size_t(dim[2]);
  const size_t count = dx * dy * dz;

  uint8_t table[256 * 4];
  if (transfer) transfer->getLookupTable(table);
  else SoTransferFunction::predefinedLookupTable(SoTransferFunction::GREY, table);
  uint16_t corrected[256];
  for (int a = 0; a < 256; ++a)
    corrected[a] = uint16_t(std::lround(correctSliceOpacity(float(a) / 255.0f, ratio) * 65535.0f));
  uint16_t lut[256 * 4];
  for (int v = 0; v < 256; ++v) {
    for (int c = 0; c < 3; ++c) lut[4 * v + c] = uint16_t(table[4 * v + c] * 257u);
    lut[4 * v + 3] = corrected[table[4 * v + 3]];
  }

  std::vector<uint16_t> rgba(count * 4);
  if (type == SoVolumeData::UNSIGNED_BYTE) {
    const uint8_t * src = static_cast<const uint8_t *>(buffer);
    for (size_t i = 0; i < count; ++i) {
      const uint16_t * c = lut + 4 * src[i];
      std::copy(c, c + 4, &rgba[4 * i]);
    }
  } else if (type == SoVolumeData::RGBA) {
    const uint8_t * src = static_cast<const uint8_t *>(buffer);
    for (size_t i = 0; i < count * 4; i += 4) {
      rgba[i] = uint16_t(src[i] * 257u);
      rgba[i + 1] = uint16_t(src[i + 1] * 257u);
      rgba[i + 2] = uint16_t(src[i + 2] * 257u);
      rgba[i + 3] = corrected[src[i + 3]];
    }
  } else {
    size_t i = 0;
    for (size_t z = 0; z < dz; ++z)
      for (size_t y = 0; y < dy; ++y)
        for (size_t x = 0; x < dx; ++x, ++i) {
          const uint16_t * c = lut + 4 * data->getVoxelIndex(int(x), int(y), int(z));
          std::copy(c, c + 4, &rgba[4 * i]);
        }
  }
  return rgba;
}

// Whether the draw framebuffer's depth and stencil are 24 and 8 bits, as in
// the reduced target: a blit copies depth only between equal layouts.
bool
depthLikeOurs(const cc_glglue * glue, GLint fbo)
{
  const GLenum attachment[2] = {GLenum(fbo ? GL_DEPTH_ATTACHMENT : GL_DEPTH),
                                GLenum(fbo ? GL_STENCIL_ATTACHMENT : GL_STENCIL)};
  const GLenum sizeName[2] = {GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE};
  const GLint want[2] = {24, 8};
  for (int i = 0; i < 2; ++i) {
    GLint type = GL_NONE, size = 0;
    cc_glglue_glGetFramebufferAttachmentParameteriv(glue, GL_DRAW_FRAMEBUFFER, attachment[i],
                                                    GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
    if (type == GL_NONE) return false;
    cc_glglue_glGetFramebufferAttachmentParameteriv(glue, GL_DRAW_FRAMEBUFFER, attachment[i], sizeName[i], &size);
    if (size != want[i]) return false;
  }
  return true;
}

// The reduced-resolution target of one GL context: colour in a texture for the
// final scaling, depth copied from the frame's own depth buffer.
struct Offscreen {
  bool tried = false;
  bool usable = false;
  GLuint fbo = 0, colour = 0, depth = 0;
  int width = 0, height = 0;
  void (*blit)(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield, GLenum) = nullptr;
};
std::map<uint32_t, Offscreen> offscreenPerContext;

Offscreen *
offscreenFor(uint32_t contextid, const cc_glglue * glue, int width, int height)
{
  Offscreen & o = offscreenPerContext[contextid];
  if (!o.tried) {
    o.tried = true;
    if (!cc_glglue_has_framebuffer_objects(glue) || !cc_glglue_has_blendfuncseparate(glue)) return nullptr;
    o.blit = reinterpret_cast<decltype(o.blit)>(cc_glglue_getprocaddress(glue, "glBlitFramebuffer"));
    if (!o.blit) return nullptr;
    cc_glglue_glGenFramebuffers(glue, 1, &o.fbo);
    cc_glglue_glGenRenderbuffers(glue, 1, &o.depth);
    glGenTextures(1, &o.colour);
    o.usable = true;
  }
  if (!o.usable) return nullptr;
  if (o.width != width || o.height != height) {
    glBindTexture(GL_TEXTURE_2D, o.colour);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    cc_glglue_glBindRenderbuffer(glue, GL_RENDERBUFFER, o.depth);
    cc_glglue_glRenderbufferStorage(glue, GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    cc_glglue_glBindRenderbuffer(glue, GL_RENDERBUFFER, 0);
    cc_glglue_glBindFramebuffer(glue, GL_FRAMEBUFFER, o.fbo);
    cc_glglue_glFramebufferTexture2D(glue, GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, o.colour, 0);
    cc_glglue_glFramebufferRenderbuffer(glue, GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, o.depth);
    cc_glglue_glFramebufferRenderbuffer(glue, GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, o.depth);
    o.width = width;
    o.height = height;
  }
  return &o;
}

} // namespace

struct SoVolumeRender::TextureCache {
  std::map<uint32_t, Texture> perContext;
};

SO_NODE_SOURCE(SoVolumeRender);

void
SoVolumeRender::initClass(void)
{
  SO_NODE_INIT_CLASS(SoVolumeRender, SoShape, "Shape");
  SO_ENABLE(SoGLRenderAction, SoVolumeDataElement);
  SO_ENABLE(SoGLRenderAction, SoTransferFunctionElement);
  SO_ENABLE(SoGetBoundingBoxAction, SoVolumeDataElement);
  SO_ENABLE(SoCallbackAction, SoVolumeDataElement);
  SO_ENABLE(SoCallbackAction, SoTransferFunctionElement);
  SO_ENABLE(SoPickAction, SoVolumeDataElement);
  SO_ENABLE(SoGetPrimitiveCountAction, SoVolumeDataElement);
}

SoVolumeRender::SoVolumeRender(void)
  : textures(new TextureCache)
{
  SO_NODE_CONSTRUCTOR(SoVolumeRender);
  SO_NODE_ADD_FIELD(numSlicesControl, (AUTOMATIC));
  SO_NODE_ADD_FIELD(numSlices, (64));
  SO_NODE_ADD_FIELD(composition, (ALPHA_BLENDING));
  SO_NODE_ADD_FIELD(interpolation, (LINEAR));

  SO_NODE_DEFINE_ENUM_VALUE(NumSlicesControl, ALL);
  SO_NODE_DEFINE_ENUM_VALUE(NumSlicesControl, MANUAL);
  SO_NODE_DEFINE_ENUM_VALUE(NumSlicesControl, AUTOMATIC);
  SO_NODE_SET_SF_ENUM_TYPE(numSlicesControl, NumSlicesControl);

  SO_NODE_DEFINE_ENUM_VALUE(Composition, MAX_INTENSITY);
  SO_NODE_DEFINE_ENUM_VALUE(Composition, SUM_INTENSITY);
  SO_NODE_DEFINE_ENUM_VALUE(Composition, ALPHA_BLENDING);
  SO_NODE_SET_SF_ENUM_TYPE(composition, Composition);

  SO_NODE_DEFINE_ENUM_VALUE(Interpolation, NEAREST);
  SO_NODE_DEFINE_ENUM_VALUE(Interpolation, LINEAR);
  SO_NODE_SET_SF_ENUM_TYPE(interpolation, Interpolation);
}

SoVolumeRender::~SoVolumeRender()
{
  // Textures die with their context's next use, when it is current.
  for (const auto & entry : this->textures->perContext) {
    if (entry.second.name == 0) continue;
    SoGLCacheContextElement::scheduleDeleteCallback(
      entry.first, deleteTexture,
      reinterpret_cast<void *>(static_cast<uintptr_t>(entry.second.name)));
  }
  delete this->textures;
}

void
SoVolumeRender::computeBBox(SoAction * action, SbBox3f & box, SbVec3f & center)
{
  const SoVolumeData * data = SoVolumeDataElement::get(action->getState());
  if (!data) {
    box.makeEmpty();
    center.setValue(0.0f, 0.0f, 0.0f);
    return;
  }
  box = data->getVolumeSize();
  center = box.isEmpty() ? SbVec3f(0.0f, 0.0f, 0.0f) : box.getCenter();
}

void
SoVolumeRender::generatePrimitives(SoAction * action)
{
  // The faces of the volume's box, so that picking and triangle callbacks
  // see the extent that the volume occupies.
  const SoVolumeData * data = SoVolumeDataElement::get(action->getState());
  if (!data) return;
  const SbBox3f box = data->getVolumeSize();
  if (box.isEmpty()) return;
  const SbVec3f & lo = box.getMin();
  const SbVec3f & hi = box.getMax();
  SoPrimitiveVertex pv;
  this->beginShape(action, TRIANGLES);
  for (int axis = 0; axis < 3; ++axis) {
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    for (int side = 0; side < 2; ++side) {
      SbVec3f normal(0.0f, 0.0f, 0.0f);
      normal[axis] = side ? 1.0f : -1.0f;
      SbVec3f quad[4];
      const float uu[4] = {0, 1, 1, 0}, vv[4] = {0, 0, 1, 1};
      for (int k = 0; k < 4; ++k) {
        const int q = side ? k : 3 - k; // outward winding on both sides
        quad[k][axis] = side ? hi[axis] : lo[axis];
        quad[k][u] = uu[q] ? hi[u] : lo[u];
        quad[k][v] = vv[q] ? hi[v] : lo[v];
      }
      static const int tri[6] = {0, 1, 2, 0, 2, 3};
      for (int k : tri) {
        pv.setPoint(quad[k]);
        pv.setNormal(normal);
        const SbVec3f t = quad[k] - lo;
        const SbVec3f s = hi - lo;
        pv.setTextureCoords(SbVec4f(t[0] / s[0], t[1] / s[1], t[2] / s[2], 1.0f));
        this->shapeVertex(&pv);
      }
    }
  }
  this->endShape();
}

void
SoVolumeRender::drawPending(SoGLRenderAction * action)
{
  auto frame = pendingFrames.find(action);
  if (frame == pendingFrames.end() || frame->second.volumes.empty()) return;
  // The first volume reached in the delayed pass draws every volume of the
  // frame, sorted far to near; the others find the list empty.
  std::vector<Pending> volumes;
  volumes.swap(frame->second.volumes);
  frame->second.path->unref(); // the action still holds it while drawing it
  frame->second.path = nullptr;
  std::stable_sort(volumes.begin(), volumes.end(),
                   [](const Pending & a, const Pending & b) { return a.depth < b.depth; });

  const uint32_t contextid = action->getCacheContext();
  const cc_glglue * glue = cc_glglue_instance(int(contextid));
  if (!cc_glglue_has_3d_textures(glue)) {
    warnOnce(warnedNo3D, "this OpenGL has no 3-D textures; volumes are not drawn");
    release(volumes);
    return;
  }
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_TEXTURE_BIT |
               GL_FOG_BIT | GL_LIGHTING_BIT | GL_POLYGON_BIT | GL_CURRENT_BIT |
               GL_TRANSFORM_BIT | GL_VIEWPORT_BIT | GL_SCISSOR_BIT);
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  if (cc_glglue_max_texture_units(glue) > 1) cc_glglue_glActiveTexture(glue, GL_TEXTURE0);
  glMatrixMode(GL_TEXTURE);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();

  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_TEXTURE_1D);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_TEXTURE_GEN_R);
  glDisable(GL_TEXTURE_GEN_Q);
  glDisable(GL_CLIP_PLANE0);
  glEnable(GL_TEXTURE_3D);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDepthMask(GL_FALSE);
  glEnable(GL_BLEND);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);

  const Programs & programs = programsFor(contextid, glue);
  const GLuint * ids = programs.usable ? programs.id : nullptr;

  // Heavy fill of soft volumes, in the renderer's own quality setting, goes
  // to reduced resolution. Soft: linearly filtered and visible only well inside
  // their box, so that their outline fades over a voxel or more and no edge
  // is sharper than the scaling keeps.
  float fill = 0.0f;
  float rect[4] = {1.0f, 1.0f, -1.0f, -1.0f};
  bool reducible = true;
  for (const Pending & p : volumes) {
    reducible = reducible && p.node->numSlicesControl.getValue() == AUTOMATIC &&
                p.node->composition.getValue() == ALPHA_BLENDING &&
                p.node->interpolation.getValue() == LINEAR;
    SbVec3s dim;
    void * buffer = nullptr;
    SoVolumeData::DataType type;
    if (!reducible || !p.data->getVolumeData(dim, buffer, type)) break;
    const auto known = p.node->textures->perContext.find(contextid);
    if (known == p.node->textures->perContext.end() || known->second.name == 0 ||
        known->second.dataId != p.data->getNodeId()) {
      reducible = false; // not uploaded yet: its extent is unknown
      break;
    }
    const Texture & tex = known->second;
    if (tex.last[0] <= tex.first[0]) continue;
    int depth = 1;
    for (int k = 0; k < 3; ++k) {
      reducible = reducible && tex.first[k] > 0 && tex.last[k] < dim[k];
      depth = std::max(depth, tex.last[k] - tex.first[k] + 1);
    }
    fill += estimatedFill(clipMatrix(p.view), occupiedBox(tex.first, tex.last, p.data->getVolumeSize(), dim, true),
                          depth, rect);
  }
  GLint vp[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, vp);
  Offscreen * off = nullptr;
  GLint drawFbo = 0, readFbo = 0;
  ReducedPass pass;
  const bool planned = reducible && planReduction(fill, rect, vp[2], vp[3], pass);
  const int f = pass.factor;
  const int * const r = pass.rect;
  if (planned) {
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFbo);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFbo);
    // The frame's depth, scaled down, hides the volumes behind opaque
    // geometry; a depth buffer laid out otherwise cannot be copied into
    // ours, and the volumes are drawn at full size.
    off = depthLikeOurs(glue, drawFbo) ? offscreenFor(contextid, glue, pass.width, pass.height) : nullptr;
    if (off) {
      cc_glglue_glBindFramebuffer(glue, GL_READ_FRAMEBUFFER, GLuint(drawFbo));
      cc_glglue_glBindFramebuffer(glue, GL_DRAW_FRAMEBUFFER, off->fbo);
      off->blit(vp[0] + r[0], vp[1] + r[1], vp[0] + std::min(r[2], int(vp[2])),
                vp[1] + std::min(r[3], int(vp[3])), r[0] / f, r[1] / f,
                r[0] / f + (std::min(r[2], int(vp[2])) - r[0] + f - 1) / f,
                r[1] / f + (std::min(r[3], int(vp[3])) - r[1] + f - 1) / f,
                GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT, GL_NEAREST);
      cc_glglue_glBindFramebuffer(glue, GL_FRAMEBUFFER, off->fbo);
      glViewport(0, 0, pass.width, pass.height);
      // Cleared a pixel wider than drawn: the scaling filter reads there.
      glEnable(GL_SCISSOR_TEST);
      glScissor(r[0] / f - 1, r[1] / f - 1, (r[2] - r[0]) / f + 2, (r[3] - r[1]) / f + 2);
      glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
      glClear(GL_COLOR_BUFFER_BIT);
      glDisable(GL_SCISSOR_TEST);
    }
  }

  for (const Pending & p : volumes) p.node->drawSlices(p, contextid, ids, off != nullptr);
  if (programs.usable) cc_glglue_glBindProgram(glue, GL_FRAGMENT_PROGRAM_ARB, 0);

  if (off) {
    // Composite the premultiplied reduced picture over its rectangle.
    cc_glglue_glBindFramebuffer(glue, GL_DRAW_FRAMEBUFFER, GLuint(drawFbo));
    cc_glglue_glBindFramebuffer(glue, GL_READ_FRAMEBUFFER, GLuint(readFbo));
    glViewport(vp[0], vp[1], vp[2], vp[3]);
    if (programs.usable) glDisable(GL_FRAGMENT_PROGRAM_ARB);
    glDisable(GL_TEXTURE_3D);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, off->colour);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_FOG);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    if (cc_glglue_has_blendequation(glue)) cc_glglue_glBlendEquation(glue, GL_FUNC_ADD);
    // Where no volume drew, nothing needs blending.
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float x0 = 2.0f * float(r[0]) / float(vp[2]) - 1.0f, x1 = 2.0f * float(r[2]) / float(vp[2]) - 1.0f;
    const float y0 = 2.0f * float(r[1]) / float(vp[3]) - 1.0f, y1 = 2.0f * float(r[3]) / float(vp[3]) - 1.0f;
    const float s0 = float(r[0]) / float(f * off->width), s1 = float(r[2]) / float(f * off->width);
    const float t0 = float(r[1]) / float(f * off->height), t1 = float(r[3]) / float(f * off->height);
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t0);
    glVertex2f(x0, y0);
    glTexCoord2f(s1, t0);
    glVertex2f(x1, y0);
    glTexCoord2f(s1, t1);
    glVertex2f(x1, y1);
    glTexCoord2f(s0, t1);
    glVertex2f(x0, y1);
    glEnd();
  }

  glMatrixMode(GL_TEXTURE);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopClientAttrib();
  glPopAttrib();
  release(volumes);
}

void
SoVolumeRender::GLRender(SoGLRenderAction * action)
{
  SoState * state = action->getState();
  // The slices follow the camera: no render cache may keep them.
  SoCacheElement::invalidate(state);

  if (action->isRenderingDelayedPaths()) {
    drawPending(action);
    return;
  }

  SoVolumeData * data = SoVolumeDataElement::get(state);
  if (!data) return;
  if (SoDrawStyleElement::get(state) == SoDrawStyleElement::INVISIBLE) return;
  SbVec3s dim;
  void * buffer = nullptr;
  SoVolumeData::DataType type;
  if (!data->getVolumeData(dim, buffer, type)) return;
  const SbBox3f box = data->getVolumeSize();
  if (box.isEmpty()) return;

  Pending p;
  p.node = this;
  p.data = data;
  p.transfer = SoTransferFunctionElement::get(state);
  p.view.modelview = SoModelMatrixElement::get(state);
  p.view.modelview.multRight(SoViewingMatrixElement::get(state));
  p.view.projection = SoProjectionMatrixElement::get(state);
  const SbViewVolume & vv = SoViewVolumeElement::get(state);
  p.view.nearDist = vv.getNearDist();
  p.view.farDist = vv.getNearDist() + vv.getDepth();
  p.view.viewport = SoViewportRegionElement::get(state).getViewportSizePixels();
  // Coin has set the fog of this point in the scene in GL already; keep it
  // for the delayed draw, when another part of the scene may be current.
  p.fog = glIsEnabled(GL_FOG);
  glGetIntegerv(GL_FOG_MODE, &p.fogMode);
  glGetFloatv(GL_FOG_DENSITY, &p.fogDensity);
  glGetFloatv(GL_FOG_START, &p.fogStart);
  glGetFloatv(GL_FOG_END, &p.fogEnd);
  glGetFloatv(GL_FOG_COLOR, p.fogColour);
  SbVec3f centre;
  p.view.modelview.multVecMatrix(box.getCenter(), centre);
  p.depth = centre[2];

  this->ref();
  data->ref();
  if (p.transfer) p.transfer->ref();

  Frame & f = pendingFrames[action];
  if (!f.volumes.empty() && f.path->getRefCount() <= 1) {
    // The action let go of our delayed path without drawing it (an aborted
    // render, or a new action at the same address): those volumes are stale.
    release(f.volumes);
    f.path->unref();
    f.path = nullptr;
  }
  if (f.volumes.empty()) {
    // Delayed paths run after the whole scene has been drawn.
    f.path = action->getCurPath()->copy();
    f.path->ref();
    action->addDelayedPath(f.path);
  }
  f.volumes.push_back(p);
}

void
SoVolumeRender::drawSlices(const Pending & p, uint32_t contextid, const GLuint * programs,
                           bool premultiply)
{
  SbVec3s dim;
  void * buffer = nullptr;
  SoVolumeData::DataType type;
  if (!p.data->getVolumeData(dim, buffer, type)) return;
  GLint max3d = 0;
  glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &max3d);
  if (max3d <= 0) {
    warnOnce(warnedNoMax, "this OpenGL reports no 3-D texture size; volumes are not drawn");
    return;
  }
  if (dim[0] > max3d || dim[1] > max3d || dim[2] > max3d ||
      double(dim[0]) * double(dim[1]) * double(dim[2]) > double(1 << 27)) {
    warnOnce(warnedTooLarge, "volume larger than the OpenGL 3-D texture limit; not drawn");
    return;
  }

  const SbBox3f box = p.data->getVolumeSize();
  const SbVec3f lo = box.getMin();
  const SbVec3f size = box.getMax() - lo;
  const int comp = this->composition.getValue();
  SlicePlan plan;
  if (!planSlices(p.view, box, dim, this->numSlicesControl.getValue(), this->numSlices.getValue(),
                  comp == MAX_INTENSITY, plan))
    return;
  const float ratio = plan.ratio;
  const bool correct = ratio != 1.0f;

  const cc_glglue * glue = cc_glglue_instance(int(contextid));
  Texture & tex = this->textures->perContext[contextid];
  const SbUniqueId dataId = p.data->getNodeId();
  const SbUniqueId transferId = p.transfer ? p.transfer->getNodeId() : 0;
  // Baked into the texture only without fragment programs; a 2% change of
  // the spacing is not worth a new upload there.
  const float textureRatio = programs ? 1.0f : ratio;
  const bool stale = tex.name == 0 || tex.dataId != dataId || tex.transferId != transferId ||
                     std::fabs(tex.ratio - textureRatio) > 0.02f * textureRatio;
  if (tex.name == 0) glGenTextures(1, &tex.name);
  glBindTexture(GL_TEXTURE_3D, tex.name);
  if (stale) {
    std::vector<uint16_t> rgba = colourVoxels(p.data, p.transfer, textureRatio);
    if (textureRatio == 1.0f) {
      // Uncorrected, the texels are the transfer function's own 8-bit values
      // (times 257): 8 bits hold them exactly at half the memory and fetch cost.
      std::vector<uint8_t> rgba8(rgba.size());
      for (size_t i = 0; i < rgba.size(); ++i) rgba8[i] = uint8_t(rgba[i] >> 8);
      cc_glglue_glTexImage3D(glue, GL_TEXTURE_3D, 0, GL_RGBA8, dim[0], dim[1], dim[2], 0, GL_RGBA,
                             GL_UNSIGNED_BYTE, rgba8.data());
    } else {
      // Corrected opacities are small with many slices; 8 bits would round
      // them by up to a fifth.
      cc_glglue_glTexImage3D(glue, GL_TEXTURE_3D, 0, GL_RGBA16, dim[0], dim[1], dim[2], 0, GL_RGBA,
                             GL_UNSIGNED_SHORT, rgba.data());
    }
    findOccupied(rgba, dim, tex);
    tex.dataId = dataId;
    tex.transferId = transferId;
    tex.ratio = textureRatio;
  }
  const GLint filter = this->interpolation.getValue() == NEAREST ? GL_NEAREST : GL_LINEAR;
  // Texture parameters belong to the texture object: set them on change
  // only, each change costs the driver a new sampler.
  if (tex.filter != filter) {
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    tex.filter = filter;
  }

  const bool equations = cc_glglue_has_blendequation(glue);
  if (comp == MAX_INTENSITY) {
    glBlendFunc(GL_ONE, GL_ONE);
    if (equations) cc_glglue_glBlendEquation(glue, GL_MAX);
  } else {
    glBlendFunc(GL_SRC_ALPHA, comp == SUM_INTENSITY ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
    // Into an empty target: keep the coverage in alpha for the compositing.
    if (premultiply)
      cc_glglue_glBlendFuncSeparate(glue, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE,
                                    GL_ONE_MINUS_SRC_ALPHA);
    if (equations) cc_glglue_glBlendEquation(glue, GL_FUNC_ADD);
  }

  if (p.fog) {
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, p.fogMode);
    glFogf(GL_FOG_DENSITY, p.fogDensity);
    glFogf(GL_FOG_START, p.fogStart);
    glFogf(GL_FOG_END, p.fogEnd);
    glFogfv(GL_FOG_COLOR, p.fogColour);
  } else {
    glDisable(GL_FOG);
  }

  if (programs && correct) {
    int variant = 0;
    if (p.fog) variant = p.fogMode == GL_LINEAR ? 1 : (p.fogMode == GL_EXP ? 2 : 3);
    cc_glglue_glBindProgram(glue, GL_FRAGMENT_PROGRAM_ARB, programs[variant]);
    cc_glglue_glProgramLocalParameter4f(glue, GL_FRAGMENT_PROGRAM_ARB, 0, ratio, 0.0f, 0.0f, 0.0f);
    glEnable(GL_FRAGMENT_PROGRAM_ARB);
  } else if (programs) {
    glDisable(GL_FRAGMENT_PROGRAM_ARB);
  }

  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(p.view.projection[0]);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(p.view.modelview[0]);

  if (tex.last[0] <= tex.first[0]) return; // nothing visible
  const SbBox3f occupied = occupiedBox(tex.first, tex.last, box, dim, filter == GL_LINEAR);
  if (outsideView(occupied, clipMatrix(p.view))) return;
  SbVec3f poly[6];
  // One draw for all slices of the volume: a software rasteriser pays per
  // draw, and triangles are drawn in the order given, back to front.
  glBegin(GL_TRIANGLES);
  for (int i = 0; i < plan.count; ++i) {
    const int n = planSlice(plan, i, occupied, poly);
    for (int k = 1; k + 1 < n; ++k)
      for (int v : {0, k, k + 1}) {
        const SbVec3f t = poly[v] - lo;
        glTexCoord3f(t[0] / size[0], t[1] / size[1], t[2] / size[2]);
        glVertex3f(poly[v][0], poly[v][1], poly[v][2]);
      }
  }
  glEnd();
}
