// The render area: the scene and its overlay drawn through Coin's render
// managers, the GL error report, and reading the picture back.

#include "window/Internal.h"

#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoRenderManager.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/misc/SoContextHandler.h>
#include <Inventor/nodes/SoNode.h>

#include <algorithm>
#include <cstdio>

namespace win {

namespace {

short clampToShort(int v) { return static_cast<short>(std::clamp(v, 0, 32767)); }

void onRenderRequest(void* data, SoRenderManager*) {
  static_cast<RenderArea::Impl*>(data)->needRedraw = true;
}

void fitToSize(SoRenderManager* manager, const SbVec2s& size) {
  manager->setWindowSize(size);
  manager->setSize(size);
  manager->setViewportRegion(SbViewportRegion(size));
}

// FLIGHTSCENE_GL_CHECK=1 reports on stderr every GL error a frame leaves
// behind, for soak runs (Coin's own check only exists in its debug build).
// Bounded: a lost context may report an error on every call.
void reportGlErrors(uint64_t frame) {
  if (!glCheckRequested()) return;
  for (int i = 0; i < 8; ++i) {
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) break;
    std::fprintf(stderr, "window: GL error 0x%04x in frame %llu\n", static_cast<unsigned>(error),
                 static_cast<unsigned long long>(frame));
  }
}

}  // namespace

void RenderArea::Impl::resize(int width, int height) {
  size = SbVec2s(clampToShort(width), clampToShort(height));
  if (size[0] == 0 || size[1] == 0) return;  // minimised: keep the last viewport
  fitToSize(manager, size);
  if (overlay) fitToSize(overlay, size);
  needRedraw = true;
}

void RenderArea::Impl::draw() {
  if (top) glfwMakeContextCurrent(top->window);
  // Coin's render manager leaves depth testing to the window binding.
  glEnable(GL_DEPTH_TEST);
  needRedraw = false;
  manager->render(TRUE, TRUE);
  if (overlay && overlay->getSceneGraph()) {
    // Each render action caches the GL state it last left. The scene's
    // action must find GL as it left it, so the overlay's changes are undone;
    // the overlay's action starts afresh, as its own cache is then stale.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    overlay->getGLRenderAction()->invalidateState();
    overlay->render(FALSE, TRUE);
    glPopClientAttrib();
    glPopAttrib();
  }
  ++frames;
  reportGlErrors(frames);
}

// Whether the GL can draw a window of this size. Beyond its viewport limit
// the picture would be wrong, and Mesa's software drivers cannot even
// allocate such a window (32767 x 32767 under Xvfb) and crash in the next
// frame or swap: such a window keeps its last picture until it shrinks.
bool RenderArea::Impl::withinGlLimits() const {
  // The limit belongs to the context: asked once, not every frame.
  if (maxViewport[0] < 0) glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
  return maxViewport[0] <= 0 || (size[0] <= maxViewport[0] && size[1] <= maxViewport[1]);
}

bool RenderArea::Impl::redrawIfNeeded() {
  if (!needRedraw || !top) return false;
  glfwMakeContextCurrent(top->window);
  if (!withinGlLimits()) return false;
  draw();
  glfwSwapBuffers(top->window);
  return true;
}

RenderArea::RenderArea(TopLevel* parent, const char* /*name*/, bool /*embed*/, bool mouseInput,
                       bool keyboardInput)
    : impl_(new Impl) {
  impl_->top = parent;
  impl_->mouseInput = mouseInput;
  impl_->keyboardInput = keyboardInput;
  impl_->manager = new SoRenderManager;
  // The scene's camera sets its own near and far planes.
  impl_->manager->setAutoClipping(SoRenderManager::NO_AUTO_CLIPPING);
  impl_->manager->setRenderCallback(onRenderRequest, impl_);
  impl_->manager->activate();
  if (parent) {
    parent->area = impl_;
    int w = 1, h = 1;
    glfwGetFramebufferSize(parent->window, &w, &h);
    impl_->resize(w, h);
  }
}

RenderArea::~RenderArea() {
  if (impl_->top && impl_->top->area == impl_) impl_->top->area = nullptr;
  if (impl_->top) glfwMakeContextCurrent(impl_->top->window);
  // Coin and our volume nodes free what they keep per GL context only when
  // told that the context ends.
  const uint32_t scene = impl_->manager->getGLRenderAction()->getCacheContext();
  const uint32_t overlay =
      impl_->overlay ? impl_->overlay->getGLRenderAction()->getCacheContext() : scene;
  delete impl_->overlay;
  delete impl_->manager;  // releases its reference on the scene
  if (impl_->top) {
    SoContextHandler::destructingContext(scene);
    if (overlay != scene) SoContextHandler::destructingContext(overlay);
  }
  delete impl_;
}

void RenderArea::setSceneGraph(SoNode* root) {
  impl_->scene = root;
  impl_->manager->setSceneGraph(root);
  impl_->needRedraw = true;
}

void RenderArea::setOverlaySceneGraph(SoNode* overlay) {
  if (!impl_->overlay) {
    impl_->overlay = new SoRenderManager;
    impl_->overlay->setAutoClipping(SoRenderManager::NO_AUTO_CLIPPING);
    impl_->overlay->setRenderCallback(onRenderRequest, impl_);
    impl_->overlay->activate();
    if (impl_->size[0] > 0 && impl_->size[1] > 0) fitToSize(impl_->overlay, impl_->size);
  }
  impl_->overlay->setSceneGraph(overlay);
  impl_->needRedraw = true;
}

void RenderArea::setTitle(const char* title) {
  if (impl_->top) glfwSetWindowTitle(impl_->top->window, title ? title : "");
}

void RenderArea::show() { win::show(impl_->top); }

void RenderArea::setBackgroundColor(const SbColor4f& color) {
  impl_->manager->setBackgroundColor(color);
  impl_->needRedraw = true;
}

void RenderArea::setSize(int width, int height) {
  if (!impl_->top) return;
  glfwSetWindowSize(impl_->top->window, std::max(1, width), std::max(1, height));
  int w = 1, h = 1;
  glfwGetFramebufferSize(impl_->top->window, &w, &h);
  impl_->resize(w, h);
}

SbVec2s RenderArea::getSize() const { return impl_->size; }

bool RenderArea::render() {
  if (impl_->top) glfwMakeContextCurrent(impl_->top->window);
  if (!impl_->withinGlLimits()) return false;
  impl_->draw();
  return true;
}

bool RenderArea::redrawIfNeeded() { return impl_->redrawIfNeeded(); }

void RenderArea::readPixels(std::vector<uint8_t>& rgb) const {
  const int w = impl_->size[0], h = impl_->size[1];
  if (impl_->top) {
    glfwMakeContextCurrent(impl_->top->window);
    // Nothing was drawn, and the buffer alone could be gigabytes.
    if (!impl_->withinGlLimits()) {
      rgb.clear();
      return;
    }
  }
  rgb.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, 0);
  if (!impl_->top || rgb.empty()) return;
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
}

uint64_t RenderArea::frameCount() const { return impl_->frames; }

}  // namespace win
