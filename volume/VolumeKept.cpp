// Volumes that keep their picture from frame to frame. A volume's look
// depends on where the eye is, not where it looks: drawn once into a texture
// as seen from the eye, its picture stands on a quad through the volume's
// middle until the eye's direction to it or its distance has changed enough.

#include "volume/SoTransferFunction.h"
#include "volume/SoVolumeData.h"
#include "volume/SoVolumeRender.h"
#include "volume/VolumeRenderInternal.h"

#include <algorithm>
#include <cmath>

namespace volumerender {

namespace {

// How far (radians) the eye's direction to a volume's middle may turn, and
// by what share its distance may change, before the picture is drawn anew.
// Measured along the scripted flight, every tick drawn: 0.01, 0.02 and 0.04
// (the share twice that) give a mean cloud error of 2.89, 2.83 and 2.79
// against the reference drawing and a largest change from one frame to the
// next of 12.3, 12.0 and 11.5; with fewer pictures due at once, the
// refreshes of a frame catch up sooner.
constexpr float kKeepAngle = 0.04f;
constexpr float kKeepDistance = 0.08f;
// Pictures drawn anew per frame for an eye that moved, nearest first; a
// volume that has no picture of its present state gets one at once.
constexpr int kRefreshesPerFrame = 2;
// A picture whose eye is this many thresholds away is not shown.
constexpr float kFarOff = 3.0f;
// Nearer than this many radii of its bounding sphere, a volume's picture
// would change from frame to frame, and the eye may come inside: sliced.
constexpr float kNearestRadii = 2.0f;
constexpr int kLargestPicture = 1024;

unsigned long refreshes = 0;

struct Candidate {
  const Pending * p;
  SbBox3f occupied;
  SbVec3f centre, eye;
  float radius, distance;
  Kept * kept;
  std::vector<char> shows;
  bool draw = false;  // a new picture this frame
  bool stale = false; // the eye has left the picture's view
  bool far = false;   // so far that the picture must not be shown
};

std::vector<char>
whatItShows(const Pending & p, const Texture & tex, bool programs)
{
  std::vector<char> shows;
  auto put = [&shows](const void * what, size_t size) {
    shows.insert(shows.end(), static_cast<const char *>(what),
                 static_cast<const char *>(what) + size);
  };
  const SbUniqueId ids[3] = {p.node->getNodeId(), p.data->getNodeId(),
                             p.transfer ? p.transfer->getNodeId() : 0};
  put(ids, sizeof(ids));
  const GLfloat fog[5] = {GLfloat(p.fog), GLfloat(p.fogMode), p.fogDensity, p.fogStart, p.fogEnd};
  put(fog, sizeof(fog));
  put(p.fogColour, sizeof(p.fogColour));
  // The viewport and the lens, not the depth range: the picture's size on
  // screen follows them.
  const float lens[2] = {p.view.projection[0][0], p.view.projection[1][1]};
  put(lens, sizeof(lens));
  const short viewport[2] = {p.view.viewport[0], p.view.viewport[1]};
  put(viewport, sizeof(viewport));
  put(tex.first, sizeof(tex.first));
  put(tex.last, sizeof(tex.last));
  put(&programs, sizeof(programs));
  return shows;
}

// The faces of `box`, wound counter-clockwise seen from outside.
void
boxFaces(const SbBox3f & box)
{
  const SbVec3f & lo = box.getMin();
  const SbVec3f & hi = box.getMax();
  static const float uu[4] = {0, 1, 1, 0}, vv[4] = {0, 0, 1, 1};
  glBegin(GL_QUADS);
  for (int axis = 0; axis < 3; ++axis) {
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    for (int side = 0; side < 2; ++side)
      for (int k = 0; k < 4; ++k) {
        const int q = side ? k : 3 - k;
        SbVec3f c;
        c[axis] = side ? hi[axis] : lo[axis];
        c[u] = uu[q] ? hi[u] : lo[u];
        c[v] = vv[q] ? hi[v] : lo[v];
        glVertex3f(c[0], c[1], c[2]);
      }
  }
  glEnd();
}

// Drops the candidates whose box opaque geometry reaches into: pixels where
// the frame's depth lies behind the box's front faces but not behind its
// back faces. Without occlusion queries no candidate is trusted.
void
dropReachedInto(std::vector<Candidate> & candidates, std::vector<Pending> & rest,
                KeptTarget & target, const cc_glglue * glue)
{
  if (candidates.empty()) return;
  if (!cc_glglue_has_occlusion_query(glue)) {
    for (const Candidate & c : candidates) rest.push_back(*c.p);
    candidates.clear();
    return;
  }
  const size_t needed = 2 * candidates.size();
  if (target.queries.size() < needed) {
    const size_t had = target.queries.size();
    target.queries.resize(needed, 0);
    cc_glglue_glGenQueries(glue, GLsizei(needed - had), &target.queries[had]);
  }
  glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  glDisable(GL_TEXTURE_3D);
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_GEQUAL); // passes where the frame's depth is at or before the face
  glEnable(GL_CULL_FACE);
  glFrontFace(GL_CCW);
  for (size_t i = 0; i < candidates.size(); ++i) {
    const Pending & p = *candidates[i].p;
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(p.view.projection[0]);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(p.view.modelview[0]);
    for (int face = 0; face < 2; ++face) {
      glCullFace(face == 0 ? GL_BACK : GL_FRONT);
      cc_glglue_glBeginQuery(glue, GL_SAMPLES_PASSED, target.queries[2 * i + size_t(face)]);
      boxFaces(candidates[i].occupied);
      cc_glglue_glEndQuery(glue, GL_SAMPLES_PASSED);
    }
  }
  std::vector<Candidate> kept;
  for (size_t i = 0; i < candidates.size(); ++i) {
    GLuint front = 0, back = 0;
    cc_glglue_glGetQueryObjectuiv(glue, target.queries[2 * i], GL_QUERY_RESULT, &front);
    cc_glglue_glGetQueryObjectuiv(glue, target.queries[2 * i + 1], GL_QUERY_RESULT, &back);
    if (back > front)
      rest.push_back(*candidates[i].p);
    else
      kept.push_back(candidates[i]);
  }
  candidates.swap(kept);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDisable(GL_CULL_FACE);
  glDepthFunc(GL_LEQUAL);
}

// Draws the picture of `c` as seen from its eye, into its texture, with
// the target bound. The slices and the fog are those of the frame's own
// eye space, so that a fresh picture shows what slicing in the frame would;
// only the projection turns to face the volume.
void
drawPicture(Candidate & c, Context & gl, const cc_glglue * glue, const GLuint * programs,
            int factor)
{
  const Pending & p = *c.p;
  Kept & k = *c.kept;
  const SbMatrix & modelview = p.view.modelview;
  SbVec3f middle, up;
  modelview.multVecMatrix(c.centre, middle);
  const SbVec3f d = middle / c.distance;
  // Upright in the volume's own space, whatever the camera's roll.
  modelview.multDirMatrix(SbVec3f(0.0f, 1.0f, 0.0f), up);
  if (std::fabs(d.dot(up)) > 0.99f * up.length())
    modelview.multDirMatrix(SbVec3f(0.0f, 0.0f, 1.0f), up);
  SbVec3f right = d.cross(up);
  right.normalize();
  up = right.cross(d);
  // The occupied box's outline on the plane through the middle, facing the
  // eye: the quad, and the part of the view that the picture covers.
  const float D = c.distance;
  float x0 = 0.0f, x1 = 0.0f, y0 = 0.0f, y1 = 0.0f;
  const SbVec3f & lo = c.occupied.getMin();
  const SbVec3f & hi = c.occupied.getMax();
  for (int i = 0; i < 8; ++i) {
    SbVec3f v;
    modelview.multVecMatrix(
      SbVec3f((i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2]), v);
    const float x = D * right.dot(v) / d.dot(v), y = D * up.dot(v) / d.dot(v);
    x0 = i ? std::min(x0, x) : x;
    x1 = i ? std::max(x1, x) : x;
    y0 = i ? std::min(y0, y) : y;
    y1 = i ? std::max(y1, y) : y;
  }
  const float nearDist = (D - c.radius) * 0.99f, farDist = (D + c.radius) * 1.01f;
  const float perUnit = 0.5f / D / float(factor) *
                        std::max(p.view.projection[0][0] * float(p.view.viewport[0]),
                                 p.view.projection[1][1] * float(p.view.viewport[1]));
  const int largest = std::min(kLargestPicture, gl.limits.largestBuffer);
  const int width = std::clamp(int(std::ceil((x1 - x0) * perUnit)), 8, largest);
  const int height = std::clamp(int(std::ceil((y1 - y0) * perUnit)), 8, largest);

  if (k.colour == 0) glGenTextures(1, &k.colour);
  glBindTexture(GL_TEXTURE_2D, k.colour);
  if (k.width != width || k.height != height) {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  cc_glglue_glFramebufferTexture2D(glue, GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                                   k.colour, 0);
  k.width = width;
  k.height = height;
  glViewport(0, 0, width, height);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT);

  // Eye space turned to look at the middle, then a frustum around the sphere.
  Pending q = p;
  SbMatrix & projection = q.view.projection;
  projection.makeIdentity();
  for (int i = 0; i < 3; ++i) {
    projection[i][0] = right[i];
    projection[i][1] = up[i];
    projection[i][2] = -d[i];
  }
  SbMatrix frustum = SbMatrix::identity();
  frustum[0][0] = 2.0f * D / (x1 - x0);
  frustum[2][0] = (x1 + x0) / (x1 - x0);
  frustum[1][1] = 2.0f * D / (y1 - y0);
  frustum[2][1] = (y1 + y0) / (y1 - y0);
  frustum[2][2] = -(farDist + nearDist) / (farDist - nearDist);
  frustum[2][3] = -1.0f;
  frustum[3][2] = -2.0f * farDist * nearDist / (farDist - nearDist);
  frustum[3][3] = 0.0f;
  projection.multRight(frustum);
  q.view.viewport = SbVec2s(short(width), short(height));
  setVolumeState();
  glDisable(GL_DEPTH_TEST); // nothing opaque is inside, and the target has no depth
  drawSlices(q, gl, glue, programs, true);
  if (programs) glDisable(GL_FRAGMENT_PROGRAM_ARB);

  const SbMatrix toObject = modelview.inverse();
  const SbVec3f corner[4] = {right * x0 + up * y0, right * x1 + up * y0, right * x1 + up * y1,
                             right * x0 + up * y1};
  for (int i = 0; i < 4; ++i) toObject.multVecMatrix(middle + corner[i], k.corners[i]);
  k.eye = c.eye;
  k.factor = factor;
  k.shows = c.shows;
  ++refreshes;
}

} // namespace

unsigned long
pictureRefreshes()
{
  return refreshes;
}

void
refreshKept(const std::vector<Pending> & volumes, Context & gl, const cc_glglue * glue,
            const GLuint * programs, int factor, std::vector<Pending> & rest,
            std::vector<Shown> & shown)
{
  KeptTarget & target = gl.keptTarget;
  if (!target.tried) {
    target.tried = true;
    if (gl.limits.offscreen) {
      cc_glglue_glGenFramebuffers(glue, 1, &target.fbo);
      target.usable = true;
    }
  }
  std::vector<Candidate> candidates;
  for (const Pending & p : volumes) {
    const auto known = gl.textures.find(p.node);
    SbVec3s dim;
    void * buffer = nullptr;
    SoVolumeData::DataType type;
    if (!target.usable || !softVolume(p) || known == gl.textures.end() || known->second.name == 0 ||
        known->second.dataId != p.data->getNodeId() || !p.data->getVolumeData(dim, buffer, type)) {
      rest.push_back(p);
      continue;
    }
    const Texture & tex = known->second;
    if (tex.last[0] <= tex.first[0]) continue; // nothing visible
    // Only soft outlines, that resampling the picture cannot blur, and only
    // through a perspective: the picture is the view from a point.
    bool soft = p.view.projection[3][3] == 0.0f;
    for (int k = 0; k < 3; ++k) soft = soft && tex.first[k] > 0 && tex.last[k] < dim[k];
    if (!soft) {
      rest.push_back(p);
      continue;
    }
    Candidate c;
    c.p = &p;
    c.occupied = occupiedBox(tex.first, tex.last, p.data->getVolumeSize(), dim, true);
    if (outsideView(c.occupied, clipMatrix(p.view))) continue;
    c.centre = c.occupied.getCenter();
    c.radius = 0.5f * (c.occupied.getMax() - c.occupied.getMin()).length();
    p.view.modelview.inverse().multVecMatrix(SbVec3f(0.0f, 0.0f, 0.0f), c.eye);
    c.distance = (c.centre - c.eye).length();
    SbVec3f middle;
    p.view.modelview.multVecMatrix(c.centre, middle);
    // Near the eye, or reaching out of the depth range: sliced.
    if (!(c.distance > kNearestRadii * c.radius) || -middle[2] - c.radius < p.view.nearDist ||
        -middle[2] + c.radius > p.view.farDist) {
      rest.push_back(p);
      continue;
    }
    c.kept = &gl.kept[p.node];
    c.shows = whatItShows(p, tex, programs != nullptr);
    if (c.kept->width == 0 || c.kept->shows != c.shows) {
      c.draw = true;
    } else {
      const SbVec3f before = c.centre - c.kept->eye;
      const float was = before.length();
      const float turn =
        std::acos(std::clamp(before.dot(c.centre - c.eye) / (was * c.distance), -1.0f, 1.0f));
      const float moved =
        std::max(turn / kKeepAngle, std::fabs(c.distance / was - 1.0f) / kKeepDistance);
      c.stale = moved > 1.0f || c.kept->factor > factor;
      c.far = moved > kFarOff;
    }
    candidates.push_back(c);
  }
  dropReachedInto(candidates, rest, target, glue);
  if (candidates.empty()) return;

  // The nearest of those that the eye left, within the frame's share.
  std::vector<Candidate *> stale;
  for (Candidate & c : candidates)
    if (c.stale) stale.push_back(&c);
  std::stable_sort(stale.begin(), stale.end(), [](const Candidate * a, const Candidate * b) {
    return a->distance < b->distance;
  });
  for (size_t i = 0; i < stale.size() && i < size_t(kRefreshesPerFrame); ++i) stale[i]->draw = true;
  // Beyond the frame's share, a picture seen from far off its eye would
  // show flattened: that volume is sliced this once.
  std::vector<Candidate> shownOnes;
  for (const Candidate & c : candidates)
    if (c.far && !c.draw)
      rest.push_back(*c.p);
    else
      shownOnes.push_back(c);
  candidates.swap(shownOnes);

  GLint viewport[4], drawFbo = 0, readFbo = 0;
  glGetIntegerv(GL_VIEWPORT, viewport);
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFbo);
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFbo);
  bool bound = false;
  for (Candidate & c : candidates) {
    if (!c.draw) continue;
    if (!bound) cc_glglue_glBindFramebuffer(glue, GL_FRAMEBUFFER, target.fbo);
    bound = true;
    drawPicture(c, gl, glue, programs, factor);
  }
  if (bound) {
    cc_glglue_glBindFramebuffer(glue, GL_DRAW_FRAMEBUFFER, GLuint(drawFbo));
    cc_glglue_glBindFramebuffer(glue, GL_READ_FRAMEBUFFER, GLuint(readFbo));
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  }

  for (const Candidate & c : candidates)
    if (c.kept->width > 0) shown.push_back({c.p, c.kept});
}

void
drawPictures(const std::vector<Shown> & shown, const cc_glglue * glue, const GLuint * programs)
{
  // The pictures, far to near, premultiplied, fog and all; depth-tested
  // against the frame, which reaches into none of the boxes.
  glDisable(GL_TEXTURE_3D);
  if (programs) glDisable(GL_FRAGMENT_PROGRAM_ARB);
  glEnable(GL_TEXTURE_2D);
  glDisable(GL_FOG);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  if (cc_glglue_has_blendequation(glue)) cc_glglue_glBlendEquation(glue, GL_FUNC_ADD);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0.0f);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDepthMask(GL_FALSE);
  static const float st[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (const Shown & picture : shown) {
    const Kept & k = *picture.kept;
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(picture.p->view.projection[0]);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(picture.p->view.modelview[0]);
    glBindTexture(GL_TEXTURE_2D, k.colour);
    glBegin(GL_QUADS);
    for (int i = 0; i < 4; ++i) {
      glTexCoord2f(st[i][0], st[i][1]);
      glVertex3f(k.corners[i][0], k.corners[i][1], k.corners[i][2]);
    }
    glEnd();
  }
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_ALPHA_TEST);
}

} // namespace volumerender
