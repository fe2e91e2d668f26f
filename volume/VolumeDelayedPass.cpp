// The delayed pass of SoVolumeRender: the volumes of a frame queued per
// render action while the opaque scene is drawn, then drawn together far to
// near, at reduced resolution when their fill is heavy.

#include "volume/SoTransferFunction.h"
#include "volume/SoVolumeData.h"
#include "volume/SoVolumeRender.h"
#include "volume/VolumeRenderInternal.h"

#include <Inventor/SoPath.h>
#include <Inventor/actions/SoGLRenderAction.h>

#include <algorithm>
#include <chrono>

namespace volumerender {

namespace {

// Volumes waiting for the delayed pass, per render action, and the delayed
// path that will bring the action back to draw them.
struct Frame {
  std::vector<Pending> volumes;
  SoPath * path = nullptr;
};
std::map<SoGLRenderAction *, Frame> pendingFrames;

double * stageSeconds = nullptr;
int qualityMode = SoVolumeRender::EVERY_FRAME;

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

// Everything that the reduced picture depends on besides the depth: when
// it comes twice in a row, the picture of the first time still stands.
std::vector<char>
whatItShows(const std::vector<Pending> & volumes, const Reduced & reduced, const SbVec2s & frame)
{
  std::vector<char> shows;
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
  return shows;
}

// Heavy fill of soft volumes, in the renderer's own quality setting, goes
// to reduced resolution. Soft: linearly filtered and visible only well inside
// their box, so that their outline fades over a voxel or more and no edge
// is sharper than the scaling keeps.
bool
startReduced(const std::vector<Pending> & volumes, SoGLRenderAction * action, Context & gl,
             const cc_glglue * glue, Reduced & reduced)
{
  float fill = 0.0f;
  float rect[4] = {1.0f, 1.0f, -1.0f, -1.0f};
  for (const Pending & p : volumes) {
    if (!softVolume(p)) return false;
    SbVec3s dim;
    void * buffer = nullptr;
    SoVolumeData::DataType type;
    if (!p.data->getVolumeData(dim, buffer, type)) return false;
    const auto known = gl.textures.find(p.node);
    if (known == gl.textures.end() || known->second.name == 0 ||
        known->second.dataId != p.data->getNodeId())
      return false; // not uploadable: its extent is unknown
    const Texture & tex = known->second;
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
  reduced.shows = whatItShows(volumes, reduced, frame);
  // The volumes of one frame share its camera.
  const VolumeView & view = volumes.front().view;
  const float depthRange[2] = {view.nearDist, view.farDist};
  return beginReduced(gl, glue, frame, depthRange, view.projection[3][3] == 0.0f, reduced);
}

} // namespace

void
setStageTimer(double * seconds)
{
  stageSeconds = seconds;
}

int
setQuality(int mode)
{
  const int was = qualityMode;
  qualityMode = mode;
  return was;
}

void
queueVolume(SoGLRenderAction * action, const Pending & p)
{
  p.node->ref();
  p.data->ref();
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
drawQueued(SoGLRenderAction * action)
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
  Context & gl = contextFor(contextid, glue);
  if (!texturesAvailable(gl.limits)) {
    release(volumes);
    return;
  }
  if (stageSeconds) glFinish();
  auto since = std::chrono::steady_clock::now();
  {
    const StateScope scope(glue);
    setVolumeState();
    const Programs & programs = preparePrograms(gl.programs, glue);
    const GLuint * ids = programs.usable ? programs.id : nullptr;
    // Every extent known before anything is planned: the first frame is
    // drawn as every later one of the same view.
    uploadTextures(volumes, gl, glue, ids);
    const bool reference = qualityMode == SoVolumeRender::REFERENCE;
    Reduced reduced;
    const bool reduce = !reference && startReduced(volumes, action, gl, glue, reduced);
    if (reduce) stageDone(0, since);
    if (!reduce)
      for (const Pending & p : volumes)
        drawSlices(p, gl, glue, ids, false, reference ? 2.0f : 0.0f);
    else if (!reduced.kept)
      for (Pending p : volumes) {
        p.view.projection = reducedProjection(p.view.projection, reduced);
        drawSlices(p, gl, glue, ids, true);
      }
    if (programs.usable) cc_glglue_glBindProgram(glue, GL_FRAGMENT_PROGRAM_ARB, 0);
    stageDone(1, since);
    if (reduce) {
      compositeReduced(glue, reduced, programs.usable);
      stageDone(2, since);
      // The edge tiles, left out of the composite, at full resolution
      // against the frame's own depth.
      const std::vector<int> & edges = reduced.target->sliced;
      if (!edges.empty()) {
        setVolumeState();
        for (const Pending & p : volumes) drawSlices(p, gl, glue, ids, false, 0.0f, &edges);
        if (programs.usable) cc_glglue_glBindProgram(glue, GL_FRAGMENT_PROGRAM_ARB, 0);
        stageDone(3, since);
      }
    }
  }
  release(volumes);
}

} // namespace volumerender
