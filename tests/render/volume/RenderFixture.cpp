#include "RenderFixture.h"

#include "window/Window.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <Inventor/C/glue/gl.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoRenderManager.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/misc/SoContextHandler.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSeparator.h>

#include <cstdio>
#include <deque>

namespace {

win::TopLevel* window = nullptr;
int winWidth = 0, winHeight = 0;
uint32_t cacheContext = 0;
GLuint fbo = 0, colourRb = 0, depthRb = 0;
bool fboComplete = false;
// One manager for the whole run, as a window has: its render action lives
// across frames.
SoRenderManager* manager = nullptr;

// The framebuffer calls, looked up in the driver: Windows' OpenGL library
// exports nothing past OpenGL 1.1.
PFNGLGENFRAMEBUFFERSPROC glGenFramebuffers = nullptr;
PFNGLDELETEFRAMEBUFFERSPROC glDeleteFramebuffers = nullptr;
PFNGLBINDFRAMEBUFFERPROC glBindFramebuffer = nullptr;
PFNGLFRAMEBUFFERRENDERBUFFERPROC glFramebufferRenderbuffer = nullptr;
PFNGLCHECKFRAMEBUFFERSTATUSPROC glCheckFramebufferStatus = nullptr;
PFNGLGENRENDERBUFFERSPROC glGenRenderbuffers = nullptr;
PFNGLDELETERENDERBUFFERSPROC glDeleteRenderbuffers = nullptr;
PFNGLBINDRENDERBUFFERPROC glBindRenderbuffer = nullptr;
PFNGLRENDERBUFFERSTORAGEPROC glRenderbufferStorage = nullptr;

template <typename F>
bool lookUp(F& call, const char* name) {
  call = reinterpret_cast<F>(cc_glglue_getprocaddress(cc_glglue_instance(int(cacheContext)), name));
  return call != nullptr;
}

bool lookUpFramebufferCalls() {
  return lookUp(glGenFramebuffers, "glGenFramebuffers") &&
         lookUp(glDeleteFramebuffers, "glDeleteFramebuffers") &&
         lookUp(glBindFramebuffer, "glBindFramebuffer") &&
         lookUp(glFramebufferRenderbuffer, "glFramebufferRenderbuffer") &&
         lookUp(glCheckFramebufferStatus, "glCheckFramebufferStatus") &&
         lookUp(glGenRenderbuffers, "glGenRenderbuffers") &&
         lookUp(glDeleteRenderbuffers, "glDeleteRenderbuffers") &&
         lookUp(glBindRenderbuffer, "glBindRenderbuffer") &&
         lookUp(glRenderbufferStorage, "glRenderbufferStorage");
}

void startCacheContext() {
  cacheContext = SoGLCacheContextElement::getUniqueCacheContext();
  manager->getGLRenderAction()->setCacheContext(cacheContext);
  // Coin's first render on a context, and its first look at the context's
  // GL, probe the driver; with extensions hidden through
  // MESA_EXTENSION_OVERRIDE that probe itself raises a GL error. Let it
  // happen here, before any test counts errors.
  SoSeparator* empty = new SoSeparator;
  empty->ref();
  manager->setSceneGraph(empty);
  manager->render(TRUE, TRUE);
  manager->setSceneGraph(nullptr);
  empty->unref();
  cc_glglue_instance(int(cacheContext));
  while (glGetError() != GL_NO_ERROR) {
  }
}

}  // namespace

void Image::writePpm(const std::string& path) const {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fprintf(f, "P6\n%d %d\n255\n", width, height);
  for (int y = height - 1; y >= 0; --y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) {
        float v = at(x, y, c);
        v = v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v);
        std::fputc(int(v + 0.5f), f);
      }
  std::fclose(f);
}

bool openRenderWindow(int width, int height) {
  if (window) return true;
  win::InitOptions options;
  options.visibility = win::Visibility::Hidden;
  options.width = width;
  options.height = height;
  // Double-buffered, 24 depth bits, its context made current.
  window = win::init("volume render test", "flightscene-test", options);
  if (!window) return false;
  winWidth = width;
  winHeight = height;
  manager = new SoRenderManager;
  startCacheContext();
  if (!lookUpFramebufferCalls()) return true;  // no float target, as below

  glGenFramebuffers(1, &fbo);
  glGenRenderbuffers(1, &colourRb);
  glGenRenderbuffers(1, &depthRb);
  glBindRenderbuffer(GL_RENDERBUFFER, colourRb);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA32F, width, height);
  glBindRenderbuffer(GL_RENDERBUFFER, depthRb);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourRb);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthRb);
  fboComplete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  while (glGetError() != GL_NO_ERROR) {
  }
  return true;
}

bool floatTargetAvailable() { return fboComplete; }

uint32_t renderCacheContext() { return cacheContext; }

void renewRenderContext() {
  if (!window) return;
  SoContextHandler::destructingContext(cacheContext);
  startCacheContext();
}

void closeRenderWindow() {
  if (!window) return;
  SoContextHandler::destructingContext(cacheContext);
  delete manager;
  manager = nullptr;
  if (glBindFramebuffer != nullptr) {
    glDeleteFramebuffers(1, &fbo);  // names from a failed set-up are still valid
    glDeleteRenderbuffers(1, &colourRb);
    glDeleteRenderbuffers(1, &depthRb);
  }
  win::shutdown(window);
  window = nullptr;
}

Image renderScene(SoNode* root, Target target, unsigned* glError, const SbColor& background,
                  const std::function<void(SoGLRenderAction*)>& prepare) {
  Image img;
  img.width = winWidth;
  img.height = winHeight;
  while (glGetError() != GL_NO_ERROR) {
  }
  if (target == Target::FloatBuffer && !fboComplete) return img;
  if (fboComplete) glBindFramebuffer(GL_FRAMEBUFFER, target == Target::FloatBuffer ? fbo : 0);
  // Coin leaves enabling the depth test to the window binding, as its GUI
  // bindings do when they set up a context.
  glEnable(GL_DEPTH_TEST);
  manager->setSceneGraph(root);
  manager->setWindowSize(SbVec2s(short(winWidth), short(winHeight)));
  manager->setViewportRegion(SbViewportRegion(short(winWidth), short(winHeight)));
  manager->setAutoClipping(SoRenderManager::NO_AUTO_CLIPPING);
  manager->setBackgroundColor(background);
  SoGLRenderAction* action = manager->getGLRenderAction();
  if (prepare) prepare(action);
  manager->render(TRUE, TRUE);
  action->setAbortCallback(nullptr, nullptr);
  glFinish();
  if (target == Target::BackBuffer)
    glReadBuffer(GL_BACK);
  else
    glReadBuffer(GL_COLOR_ATTACHMENT0);
  img.rgb.resize(size_t(winWidth) * winHeight * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, winWidth, winHeight, GL_RGB, GL_FLOAT, img.rgb.data());
  manager->setSceneGraph(nullptr);
  for (float& v : img.rgb) v *= 255.0f;
  const GLenum err = glGetError();
  if (glError) *glError = err;
  if (fboComplete) glBindFramebuffer(GL_FRAMEBUFFER, 0);
  return img;
}

std::vector<uint8_t>& keepVoxels(std::vector<uint8_t> voxels) {
  // Volume data nodes keep only a pointer: buffers live for the whole run.
  static std::deque<std::vector<uint8_t>> kept;
  kept.push_back(std::move(voxels));
  return kept.back();
}
