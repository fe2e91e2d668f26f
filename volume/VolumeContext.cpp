// The record of what one GL context holds for the volumes: its limits,
// asked once, and the GL names made in it, freed when it is destroyed.

#include "volume/VolumeRenderInternal.h"

#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/misc/SoContextHandler.h>

#include <algorithm>

namespace volumerender {

namespace {

// Never destroyed: a scene may let go of its last volume node while the
// program exits, after the destructors of static objects have run.
std::map<uint32_t, Context> &
contexts()
{
  static auto * all = new std::map<uint32_t, Context>;
  return *all;
}

// The reduced pass needs framebuffer objects (Coin's check, which also
// tells whether its entry points for them are there) with separate draw
// and read targets, packed depth and stencil and queries on the window's
// own framebuffer, all of GL 3.0 and GL_ARB_framebuffer_object; and
// separate alpha blending.
void
askOffscreenLimits(Limits & limits, const cc_glglue * glue)
{
  if (!cc_glglue_has_framebuffer_objects(glue) || !cc_glglue_has_blendfuncseparate(glue)) return;
  if (!cc_glglue_glversion_matches_at_least(glue, 3, 0, 0) &&
      !cc_glglue_glext_supported(glue, "GL_ARB_framebuffer_object"))
    return;
  GLint viewport[2] = {0, 0}, renderbuffer = 0, texture = 0;
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
  limits.largestBuffer = std::min({viewport[0], viewport[1], renderbuffer, texture});
  limits.offscreen = true;
}

// Called by Coin with the context current, so its names can go at once.
void
contextDestroyed(uint32_t contextid, void *)
{
  const auto found = contexts().find(contextid);
  if (found == contexts().end()) return;
  Context & gl = found->second;
  for (const auto & entry : gl.textures)
    if (entry.second.name != 0) glDeleteTextures(1, &entry.second.name);
  if (gl.programs.id[0] != 0 && gl.deletePrograms) gl.deletePrograms(4, gl.programs.id);
  const Offscreen & o = gl.offscreen;
  if (o.fbo != 0 && gl.deleteFramebuffers) gl.deleteFramebuffers(1, &o.fbo);
  if (o.depth != 0) glDeleteTextures(1, &o.depth);
  if (o.colour != 0) glDeleteTextures(1, &o.colour);
  contexts().erase(found);
}

} // namespace

Context &
contextFor(uint32_t contextid, const cc_glglue * glue)
{
  static bool watching = false;
  if (!watching) {
    SoContextHandler::addContextDestructionCallback(contextDestroyed, nullptr);
    watching = true;
  }
  const auto found = contexts().find(contextid);
  if (found != contexts().end()) return found->second;
  Context & gl = contexts()[contextid];
  // Asking for a limit of a feature the GL lacks is itself an error.
  gl.limits.textures3d = cc_glglue_has_3d_textures(glue);
  if (gl.limits.textures3d) {
    glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &gl.limits.max3dTexture);
    askOffscreenLimits(gl.limits, glue);
  }
  auto entry = [glue](const char * name) {
    return reinterpret_cast<Context::DeleteNames>(cc_glglue_getprocaddress(glue, name));
  };
  if (cc_glglue_has_arb_fragment_program(glue)) gl.deletePrograms = entry("glDeleteProgramsARB");
  if (gl.limits.offscreen) {
    gl.deleteFramebuffers = entry("glDeleteFramebuffers");
  }
  return gl;
}

void
forgetTextures(const SoVolumeRender * node)
{
  // The context may not be current now: its next use deletes the name.
  for (auto & context : contexts()) {
    const auto found = context.second.textures.find(node);
    if (found == context.second.textures.end()) continue;
    if (found->second.name != 0)
      SoGLCacheContextElement::scheduleDeleteCallback(
        context.first, deleteTexture,
        reinterpret_cast<void *>(static_cast<uintptr_t>(found->second.name)));
    context.second.textures.erase(found);
  }
}

} // namespace volumerender
