#include "volume/SoVolumeRender.h"

#include "volume/SoTransferFunction.h"
#include "volume/SoTransferFunctionElement.h"
#include "volume/SoVolumeData.h"
#include "volume/SoVolumeDataElement.h"
#include "volume/VolumeRenderInternal.h"

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

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <vector>

using volumerender::Pending;

namespace {

// Volumes waiting for the delayed pass, per render action, and the delayed
// path that will bring the action back to draw them.
struct Frame {
  std::vector<Pending> volumes;
  SoPath * path = nullptr;
};
std::map<SoGLRenderAction *, Frame> pendingFrames;

double * stageSeconds = nullptr;

// Adds the time since `since` to stage `stage` once GL is done, and
// restarts the clock.
void
stageDone(int stage, std::chrono::steady_clock::time_point & since)
{
  if (!stageSeconds) return;
  glFinish();
  const auto now = std::chrono::steady_clock::now();
  stageSeconds[stage] += std::chrono::duration<double>(now - since).count();
  since = now;
}

void
release(std::vector<Pending> & volumes)
{
  for (auto & p : volumes) {
    if (p.transfer) p.transfer->unref();
    p.data->unref();
    p.node->unref();
  }
  volumes.clear();
}

// Unlit, 3-D textured, blended, depth-tested without writing depth.
void
setVolumeState()
{
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
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
}

void
setBlending(const cc_glglue * glue, int comp, bool premultiply)
{
  const bool equations = cc_glglue_has_blendequation(glue);
  if (comp == SoVolumeRender::MAX_INTENSITY) {
    glBlendFunc(GL_ONE, GL_ONE);
    if (equations) cc_glglue_glBlendEquation(glue, GL_MAX);
  } else {
    glBlendFunc(GL_SRC_ALPHA,
                comp == SoVolumeRender::SUM_INTENSITY ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
    // Into an empty target: keep the coverage in alpha for the compositing.
    if (premultiply && cc_glglue_has_blendfuncseparate(glue))
      cc_glglue_glBlendFuncSeparate(glue, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE,
                                    GL_ONE_MINUS_SRC_ALPHA);
    if (equations) cc_glglue_glBlendEquation(glue, GL_FUNC_ADD);
  }
}

void
setFog(const Pending & p)
{
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
}

// One draw for all slices of the volume: a software rasteriser pays per
// draw, and triangles are drawn in the order given, back to front.
void
drawSliceTriangles(const SlicePlan & plan, const SbBox3f & occupied, const SbBox3f & box)
{
  const SbVec3f lo = box.getMin();
  const SbVec3f size = box.getMax() - lo;
  SbVec3f poly[6];
  glBegin(GL_TRIANGLES);
  for (int i = 0; i < plan.count; ++i) {
    const int n = slicePolygon(plan, i, occupied, poly);
    for (int k = 1; k + 1 < n; ++k)
      for (int v : {0, k, k + 1}) {
        const SbVec3f t = poly[v] - lo;
        glTexCoord3f(t[0] / size[0], t[1] / size[1], t[2] / size[2]);
        glVertex3f(poly[v][0], poly[v][1], poly[v][2]);
      }
  }
  glEnd();
}

} // namespace

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
  : pimpl(new SoVolumeRenderP)
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
  for (const auto & entry : this->pimpl->textures) {
    if (entry.second.name == 0) continue;
    SoGLCacheContextElement::scheduleDeleteCallback(
      entry.first, volumerender::deleteTexture,
      reinterpret_cast<void *>(static_cast<uintptr_t>(entry.second.name)));
  }
  delete this->pimpl;
}

void
SoVolumeRender::setStageTimer(double * seconds)
{
  stageSeconds = seconds;
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
SoVolumeRender::GLRender(SoGLRenderAction * action)
{
  SoState * state = action->getState();
  // The slices follow the camera: no render cache may keep them.
  SoCacheElement::invalidate(state);

  if (action->isRenderingDelayedPaths()) {
    SoVolumeRenderP::drawPending(action);
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
SoVolumeRenderP::drawPending(SoGLRenderAction * action)
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
  if (!volumerender::texturesAvailable(glue)) {
    release(volumes);
    return;
  }
  if (stageSeconds) glFinish();
  auto since = std::chrono::steady_clock::now();
  {
    const volumerender::StateScope scope(glue);
    setVolumeState();
    const volumerender::Programs & programs = volumerender::programsFor(contextid, glue);
    volumerender::Reduced reduced;
    const bool reduce = startReduced(volumes, action, glue, reduced);
    if (!reduce || !reduced.kept)
      for (const Pending & p : volumes)
        drawSlices(p, contextid, programs.usable ? programs.id : nullptr, reduce);
    if (programs.usable) cc_glglue_glBindProgram(glue, GL_FRAGMENT_PROGRAM_ARB, 0);
    stageDone(0, since);
    if (reduce) volumerender::compositeReduced(glue, reduced, programs.usable);
    stageDone(1, since);
  }
  release(volumes);
}

// Heavy fill of soft volumes, in the renderer's own quality setting, goes
// to reduced resolution. Soft: linearly filtered and visible only well inside
// their box, so that their outline fades over a voxel or more and no edge
// is sharper than the scaling keeps.
bool
SoVolumeRenderP::startReduced(const std::vector<Pending> & volumes, SoGLRenderAction * action,
                              const cc_glglue * glue, volumerender::Reduced & reduced)
{
  const uint32_t contextid = action->getCacheContext();
  float fill = 0.0f;
  float rect[4] = {1.0f, 1.0f, -1.0f, -1.0f};
  for (const Pending & p : volumes) {
    if (p.node->numSlicesControl.getValue() != SoVolumeRender::AUTOMATIC ||
        p.node->composition.getValue() != SoVolumeRender::ALPHA_BLENDING ||
        p.node->interpolation.getValue() != SoVolumeRender::LINEAR)
      return false;
    SbVec3s dim;
    void * buffer = nullptr;
    SoVolumeData::DataType type;
    if (!p.data->getVolumeData(dim, buffer, type)) return false;
    const auto known = p.node->pimpl->textures.find(contextid);
    if (known == p.node->pimpl->textures.end() || known->second.name == 0 ||
        known->second.dataId != p.data->getNodeId())
      return false; // not uploaded yet: its extent is unknown
    const volumerender::Texture & tex = known->second;
    if (tex.last[0] <= tex.first[0]) continue;
    int depth = 1;
    for (int k = 0; k < 3; ++k) {
      if (tex.first[k] <= 0 || tex.last[k] >= dim[k]) return false;
      depth = std::max(depth, tex.last[k] - tex.first[k] + 1);
    }
    const SbBox3f occupied = occupiedBox(tex.first, tex.last, p.data->getVolumeSize(), dim, true);
    fill += estimatedFill(clipMatrix(p.view), occupied, depth, rect);
    float screen[4];
    if (screenRect(clipMatrix(p.view), occupied, screen))
      reduced.screen.insert(reduced.screen.end(), screen, screen + 4);
  }
  glGetIntegerv(GL_VIEWPORT, reduced.viewport);
  // The pass covers what the volumes' screen rectangles cover: less than the
  // estimate's rectangle, which takes the whole screen for a box reaching
  // behind the eye.
  float onScreen[4] = {1.0f, 1.0f, -1.0f, -1.0f};
  for (size_t i = 0; i + 3 < reduced.screen.size(); i += 4)
    for (int k = 0; k < 2; ++k) {
      onScreen[k] = std::min(onScreen[k], reduced.screen[i + k]);
      onScreen[k + 2] = std::max(onScreen[k + 2], reduced.screen[i + k + 2]);
    }
  if (!planReduction(fill, onScreen, reduced.viewport[2], reduced.viewport[3], reduced.pass))
    return false;
  const SbVec2s frame = action->getViewportRegion().getWindowSize();
  // Everything that the reduced picture depends on besides the depth.
  std::vector<char> & shows = reduced.shows;
  auto put = [&shows](const void * what, size_t size) {
    shows.insert(shows.end(), static_cast<const char *>(what),
                 static_cast<const char *>(what) + size);
  };
  for (const Pending & p : volumes) {
    const SbUniqueId ids[3] = {p.node->getNodeId(), p.data->getNodeId(),
                               p.transfer ? p.transfer->getNodeId() : 0};
    put(&p.node, sizeof(p.node));
    put(ids, sizeof(ids));
    put(p.view.modelview[0], sizeof(SbMat));
    put(p.view.projection[0], sizeof(SbMat));
    const float depthRange[2] = {p.view.nearDist, p.view.farDist};
    put(depthRange, sizeof(depthRange));
    const GLfloat fog[5] = {GLfloat(p.fog), GLfloat(p.fogMode), p.fogDensity, p.fogStart, p.fogEnd};
    put(fog, sizeof(fog));
    put(p.fogColour, sizeof(p.fogColour));
  }
  const int pass[11] = {reduced.pass.factor,
                        reduced.pass.width,
                        reduced.pass.height,
                        reduced.pass.rect[0],
                        reduced.pass.rect[1],
                        reduced.pass.rect[2],
                        reduced.pass.rect[3],
                        reduced.viewport[2],
                        reduced.viewport[3],
                        frame[0],
                        frame[1]};
  put(pass, sizeof(pass));
  return volumerender::beginReduced(contextid, glue, frame, reduced);
}

void
SoVolumeRenderP::drawSlices(const Pending & p, uint32_t contextid, const GLuint * programs,
                            bool premultiply)
{
  SbVec3s dim;
  void * buffer = nullptr;
  SoVolumeData::DataType type;
  if (!p.data->getVolumeData(dim, buffer, type)) return;
  if (!volumerender::textureFits(dim)) return;
  const SoVolumeRender * node = p.node;
  const int comp = node->composition.getValue();
  const SbBox3f box = p.data->getVolumeSize();
  SlicePlan plan;
  if (!planSlices(p.view, box, dim, node->numSlicesControl.getValue(), node->numSlices.getValue(),
                  comp == SoVolumeRender::MAX_INTENSITY, plan))
    return;

  const cc_glglue * glue = cc_glglue_instance(int(contextid));
  const GLint filter =
    node->interpolation.getValue() == SoVolumeRender::NEAREST ? GL_NEAREST : GL_LINEAR;
  // The opacity correction is baked into the texture only without fragment
  // programs.
  const volumerender::Texture & tex = volumerender::bindTexture(
    node->pimpl->textures[contextid], p, dim, programs ? 1.0f : plan.ratio, filter, glue);
  setBlending(glue, comp, premultiply);
  setFog(p);
  if (programs) volumerender::useProgram(glue, programs, p, plan.ratio);
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(p.view.projection[0]);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(p.view.modelview[0]);

  if (tex.last[0] <= tex.first[0]) return; // nothing visible
  const SbBox3f occupied = occupiedBox(tex.first, tex.last, box, dim, filter == GL_LINEAR);
  if (outsideView(occupied, clipMatrix(p.view))) return;
  drawSliceTriangles(plan, occupied, box);
}
