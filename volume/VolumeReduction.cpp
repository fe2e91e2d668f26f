// Heavy fill drawn at reduced resolution: into a target a half or a third of
// the viewport's size, depth-tested against the frame's depth scaled down,
// then scaled up over the frame.

#include "volume/VolumeRenderInternal.h"

#include <algorithm>

namespace volumerender {

// Whether the draw framebuffer's depth and stencil are 24 and 8 bits, as in
// the reduced target: a blit copies depth only between equal layouts.
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

// Names for the target, made on its first use in the context.
bool
prepare(Offscreen & o, const Limits & limits, const cc_glglue * glue)
{
  if (o.tried) return o.usable;
  o.tried = true;
  if (!limits.offscreen) return false;
  cc_glglue_glGenFramebuffers(glue, 1, &o.fbo);
  cc_glglue_glGenRenderbuffers(glue, 1, &o.depth);
  glGenTextures(1, &o.colour);
  o.usable = true;
  return true;
}

// Sizes the target, leaving it bound; false (for good) when the GL cannot
// complete it.
bool
resize(Offscreen & o, const cc_glglue * glue, int width, int height)
{
  if (o.width == width && o.height == height) return true;
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
  cc_glglue_glFramebufferTexture2D(glue, GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                                   o.colour, 0);
  cc_glglue_glFramebufferRenderbuffer(glue, GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                      o.depth);
  cc_glglue_glFramebufferRenderbuffer(glue, GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                      o.depth);
  o.width = width;
  o.height = height;
  o.usable = cc_glglue_glCheckFramebufferStatus(glue, GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  return o.usable;
}

} // namespace

bool
beginReduced(Context & gl, const cc_glglue * glue, const SbVec2s & frame, Reduced & reduced)
{
  const GLint * vp = reduced.viewport;
  const int * r = reduced.pass.rect;
  const int f = reduced.pass.factor;
  Offscreen & o = gl.offscreen;
  if (!prepare(o, gl.limits, glue)) return false;
  // Every buffer within the GL's limits: a window beyond them has no
  // storage to blit from (Mesa crashes), and is drawn at full size.
  if (std::max({int(frame[0]), int(frame[1]), reduced.pass.width, reduced.pass.height}) >
      gl.limits.largestBuffer)
    return false;
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &reduced.drawFbo);
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &reduced.readFbo);
  // The frame's depth, scaled down, hides the volumes behind opaque
  // geometry; a depth buffer laid out otherwise cannot be copied into
  // ours, and the volumes are drawn at full size.
  if (!depthLikeOurs(glue, reduced.drawFbo)) return false;
  if (!resize(o, glue, reduced.pass.width, reduced.pass.height)) {
    cc_glglue_glBindFramebuffer(glue, GL_DRAW_FRAMEBUFFER, GLuint(reduced.drawFbo));
    cc_glglue_glBindFramebuffer(glue, GL_READ_FRAMEBUFFER, GLuint(reduced.readFbo));
    return false;
  }
  reduced.target = &o;
  cc_glglue_glBindFramebuffer(glue, GL_READ_FRAMEBUFFER, GLuint(reduced.drawFbo));
  cc_glglue_glBindFramebuffer(glue, GL_DRAW_FRAMEBUFFER, o.fbo);
  gl.limits.blit(vp[0] + r[0], vp[1] + r[1], vp[0] + std::min(r[2], int(vp[2])),
                 vp[1] + std::min(r[3], int(vp[3])), r[0] / f, r[1] / f,
                 r[0] / f + (std::min(r[2], int(vp[2])) - r[0] + f - 1) / f,
                 r[1] / f + (std::min(r[3], int(vp[3])) - r[1] + f - 1) / f,
                 GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT, GL_NEAREST);
  cc_glglue_glBindFramebuffer(glue, GL_FRAMEBUFFER, o.fbo);
  glViewport(0, 0, reduced.pass.width, reduced.pass.height);
  // The same volumes seen the same way as in the last pass: the picture
  // stands when the opaque scene's depth did not change either. Depth is
  // read back only then, so a moving camera pays nothing for this.
  reduced.kept = false;
  if (reduced.shows == o.shows) {
    const int x = r[0] / f, y = r[1] / f;
    const int w = std::min(reduced.pass.width, (r[2] + f - 1) / f) - x;
    const int h = std::min(reduced.pass.height, (r[3] + f - 1) / f) - y;
    std::vector<GLuint> depth(size_t(std::max(w, 0)) * size_t(std::max(h, 0)));
    if (!depth.empty()) {
      glPixelStorei(GL_PACK_ALIGNMENT, 4);
      glPixelStorei(GL_PACK_ROW_LENGTH, 0);
      glPixelStorei(GL_PACK_SKIP_ROWS, 0);
      glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
      glReadPixels(x, y, w, h, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, depth.data());
    }
    reduced.kept = !depth.empty() && depth == o.drawnOver;
    o.drawnOver.swap(depth);
  } else {
    o.shows = reduced.shows;
    o.drawnOver.clear();
  }
  if (reduced.kept) return true;
  // Cleared a pixel wider than drawn: the scaling filter reads there.
  glEnable(GL_SCISSOR_TEST);
  glScissor(r[0] / f - 1, r[1] / f - 1, (r[2] - r[0]) / f + 2, (r[3] - r[1]) / f + 2);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  return true;
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
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glPixelStorei(GL_PACK_ROW_LENGTH, 0);
      glPixelStorei(GL_PACK_SKIP_ROWS, 0);
      glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
      glReadPixels(x, y, w, h, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.data());
    }
    off->composited = compositeRects(reduced.pass, reduced.screen, vp[2], vp[3], alpha.data());
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
