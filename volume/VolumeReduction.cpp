// Heavy fill drawn at reduced resolution: into a target a half or a third of
// the viewport's size, depth-tested against the frame's depth scaled down,
// then scaled up over the frame. Scaled down, each reduced pixel has its
// block's farthest depth, so that no opaque pixel of the block decides alone
// whether a volume is seen there; where the block's depths lie far apart,
// at an edge of opaque geometry, the tiles around it are sliced at full
// resolution against the frame's own depth instead of composited. The
// scaling runs on the CPU: reading the depth back costs llvmpipe a fraction
// of copying it into a texture for a program to scale.

#include "volume/VolumeRenderInternal.h"

#include <algorithm>

namespace volumerender {

// Whether the draw framebuffer's depth and stencil are 24 and 8 bits, as in
// the reduced target: they are read back and scaled down as such.
bool
depthLikeOurs(const cc_glglue * glue, GLint fbo)
{
  const GLenum attachment[2] = {GLenum(fbo ? GL_DEPTH_ATTACHMENT : GL_DEPTH),
                                GLenum(fbo ? GL_STENCIL_ATTACHMENT : GL_STENCIL)};
  const GLenum sizeName[2] = {GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE,
                              GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE};
  const GLint want[2] = {24, 8};
  for (int i = 0; i < 2; ++i) {
    GLint type = GL_NONE, size = 0;
    cc_glglue_glGetFramebufferAttachmentParameteriv(glue, GL_DRAW_FRAMEBUFFER, attachment[i],
                                                    GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
    if (type == GL_NONE) return false;
    cc_glglue_glGetFramebufferAttachmentParameteriv(glue, GL_DRAW_FRAMEBUFFER, attachment[i],
                                                    sizeName[i], &size);
    if (size != want[i]) return false;
  }
  return true;
}

namespace {

// The ratio of eye distances within one reduced pixel beyond which the
// volumes there are sliced at full resolution.
constexpr float kEdgeDepthRatio = 1.25f;

// Names for the target, made on its first use in the context.
bool
prepare(Offscreen & o, const Limits & limits, const cc_glglue * glue)
{
  if (o.tried) return o.usable;
  o.tried = true;
  if (!limits.offscreen) return false;
  cc_glglue_glGenFramebuffers(glue, 1, &o.fbo);
  glGenTextures(1, &o.colour);
  glGenTextures(1, &o.depth);
  o.usable = true;
  return true;
}

void
setTexture(GLuint name, GLenum format, GLenum pixels, GLenum type, int width, int height)
{
  glBindTexture(GL_TEXTURE_2D, name);
  glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), width, height, 0, pixels, type, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

// Sizes the target, leaving it bound; false (for good) when the GL cannot
// complete it.
bool
resize(Offscreen & o, const cc_glglue * glue, int width, int height)
{
  cc_glglue_glBindFramebuffer(glue, GL_FRAMEBUFFER, o.fbo);
  if (o.width == width && o.height == height) return true;
  setTexture(o.colour, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, width, height);
  setTexture(o.depth, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, width, height);
  cc_glglue_glFramebufferTexture2D(glue, GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                                   o.colour, 0);
  cc_glglue_glFramebufferTexture2D(glue, GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D,
                                   o.depth, 0);
  cc_glglue_glFramebufferTexture2D(glue, GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_TEXTURE_2D,
                                   o.depth, 0);
  o.width = width;
  o.height = height;
  // A picture drawn over the old storage is gone.
  o.shows.clear();
  o.usable = cc_glglue_glCheckFramebufferStatus(glue, GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  return o.usable;
}

void
setPacking(GLenum name, int alignment)
{
  const bool pack = name == GL_PACK_ALIGNMENT;
  glPixelStorei(name, alignment);
  glPixelStorei(pack ? GL_PACK_ROW_LENGTH : GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(pack ? GL_PACK_SKIP_ROWS : GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(pack ? GL_PACK_SKIP_PIXELS : GL_UNPACK_SKIP_PIXELS, 0);
}

} // namespace

bool
beginReduced(Context & gl, const cc_glglue * glue, const SbVec2s & frame, const float depthRange[2],
             bool perspective, Reduced & reduced)
{
  const GLint * vp = reduced.viewport;
  const int * r = reduced.pass.rect;
  const int f = reduced.pass.factor;
  Offscreen & o = gl.offscreen;
  if (!prepare(o, gl.limits, glue)) return false;
  // Every buffer within the GL's limits: a window beyond them has no
  // storage to read from (Mesa crashes), and is drawn at full size.
  if (std::max({int(frame[0]), int(frame[1]), reduced.pass.width, reduced.pass.height}) >
      gl.limits.largestBuffer)
    return false;
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &reduced.drawFbo);
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &reduced.readFbo);
  // The frame's depth hides the volumes behind opaque geometry; a depth
  // buffer laid out otherwise is not read as ours, and the volumes are
  // drawn at full size.
  if (!depthLikeOurs(glue, reduced.drawFbo)) return false;
  // The frame's depth under the pass's rectangle, scaled down.
  const int x1 = std::min(r[2], int(vp[2])), y1 = std::min(r[3], int(vp[3]));
  const int w = x1 - r[0], h = y1 - r[1];
  if (w <= 0 || h <= 0) return false;
  const int rw = (w + f - 1) / f, rh = (h + f - 1) / f;
  o.frameDepth.resize(size_t(w) * size_t(h));
  o.reducedDepth.resize(size_t(rw) * size_t(rh));
  o.edges.resize(o.reducedDepth.size());
  cc_glglue_glBindFramebuffer(glue, GL_READ_FRAMEBUFFER, GLuint(reduced.drawFbo));
  setPacking(GL_PACK_ALIGNMENT, 4);
  glReadPixels(vp[0] + r[0], vp[1] + r[1], w, h, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8,
               o.frameDepth.data());
  reduceDepth(o.frameDepth.data(), w, h, f,
              depthEdges(depthRange[0], depthRange[1], perspective, kEdgeDepthRatio),
              o.reducedDepth.data(), o.edges.data());
  if (!resize(o, glue, reduced.pass.width, reduced.pass.height)) {
    cc_glglue_glBindFramebuffer(glue, GL_DRAW_FRAMEBUFFER, GLuint(reduced.drawFbo));
    cc_glglue_glBindFramebuffer(glue, GL_READ_FRAMEBUFFER, GLuint(reduced.readFbo));
    return false;
  }
  reduced.target = &o;
  glViewport(0, 0, reduced.pass.width, reduced.pass.height);
  // The same volumes seen the same way over the same depth as in the last
  // pass: the picture stands.
  reduced.kept =
    reduced.shows == o.shows && o.reducedDepth == o.drawnOver && o.edges == o.drawnEdges;
  if (reduced.kept) return true;
  o.shows = reduced.shows;
  o.drawnOver = o.reducedDepth;
  o.drawnEdges = o.edges;
  glBindTexture(GL_TEXTURE_2D, o.depth);
  setPacking(GL_UNPACK_ALIGNMENT, 4);
  glTexSubImage2D(GL_TEXTURE_2D, 0, r[0] / f, r[1] / f, rw, rh, GL_DEPTH_STENCIL,
                  GL_UNSIGNED_INT_24_8, o.reducedDepth.data());
  // Cleared a pixel wider than drawn: the scaling filter reads there.
  glEnable(GL_SCISSOR_TEST);
  glScissor(r[0] / f - 1, r[1] / f - 1, (r[2] - r[0]) / f + 2, (r[3] - r[1]) / f + 2);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  return true;
}

SbMatrix
reducedProjection(const SbMatrix & projection, const Reduced & reduced)
{
  // x' = a (x + 1) - 1 in normalised device coordinates, in clip space.
  const float a = float(reduced.viewport[2]) / float(reduced.pass.factor * reduced.pass.width);
  const float b = float(reduced.viewport[3]) / float(reduced.pass.factor * reduced.pass.height);
  SbMatrix fit = SbMatrix::identity();
  fit[0][0] = a;
  fit[3][0] = a - 1.0f;
  fit[1][1] = b;
  fit[3][1] = b - 1.0f;
  SbMatrix m = projection;
  return m.multRight(fit);
}

void
compositeReduced(const cc_glglue * glue, const Reduced & reduced, bool programs)
{
  Offscreen * off = reduced.target;
  const GLint * vp = reduced.viewport;
  const int * r = reduced.pass.rect;
  const int f = reduced.pass.factor;
  // Only the tiles that the volumes drew on: outside them the reduced picture
  // is empty, and each composited pixel costs a filtered fetch. Reading the
  // picture's alpha costs far less than those fetches.
  if (!reduced.kept) {
    const int x = r[0] / f, y = r[1] / f, w = r[2] / f - x, h = r[3] / f - y;
    std::vector<unsigned char> alpha(size_t(std::max(w, 0)) * size_t(std::max(h, 0)));
    if (!alpha.empty()) {
      setPacking(GL_PACK_ALIGNMENT, 1);
      glReadPixels(x, y, w, h, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.data());
    }
    // The edge marks cover the same reduced pixels.
    const bool edges = off->edges.size() == alpha.size();
    off->composited = compositeRects(reduced.pass, reduced.screen, vp[2], vp[3], alpha.data(),
                                     edges ? off->edges.data() : nullptr, &off->sliced);
  }
  const std::vector<int> & rects = off->composited;
  // The reduced picture is premultiplied: composite it over its rectangle.
  cc_glglue_glBindFramebuffer(glue, GL_DRAW_FRAMEBUFFER, GLuint(reduced.drawFbo));
  cc_glglue_glBindFramebuffer(glue, GL_READ_FRAMEBUFFER, GLuint(reduced.readFbo));
  glViewport(vp[0], vp[1], vp[2], vp[3]);
  if (programs) glDisable(GL_FRAGMENT_PROGRAM_ARB);
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
  const float sw = float(f * off->width), sh = float(f * off->height);
  glBegin(GL_QUADS);
  for (size_t i = 0; i + 3 < rects.size(); i += 4) {
    const int * q = &rects[i];
    const float x0 = 2.0f * float(q[0]) / float(vp[2]) - 1.0f,
                x1 = 2.0f * float(q[2]) / float(vp[2]) - 1.0f;
    const float y0 = 2.0f * float(q[1]) / float(vp[3]) - 1.0f,
                y1 = 2.0f * float(q[3]) / float(vp[3]) - 1.0f;
    const float s0 = float(q[0]) / sw, s1 = float(q[2]) / sw;
    const float t0 = float(q[1]) / sh, t1 = float(q[3]) / sh;
    glTexCoord2f(s0, t0);
    glVertex2f(x0, y0);
    glTexCoord2f(s1, t0);
    glVertex2f(x1, y0);
    glTexCoord2f(s1, t1);
    glVertex2f(x1, y1);
    glTexCoord2f(s0, t1);
    glVertex2f(x0, y1);
  }
  glEnd();
}

} // namespace volumerender
