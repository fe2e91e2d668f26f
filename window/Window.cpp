#include "window/Window.h"

#include "window/Gamepad.h"
#include "window/KeyMap.h"

#include <GLFW/glfw3.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoRenderManager.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoHandleEventAction.h>
#include <Inventor/events/SoKeyboardEvent.h>
#include <Inventor/events/SoLocation2Event.h>
#include <Inventor/events/SoMouseButtonEvent.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/sensors/SoSensorManager.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace win {

struct TopLevel {
  GLFWwindow* window = nullptr;
  bool hidden = false;
  RenderArea::Impl* area = nullptr;
  int windowedPlace[4] = {0, 0, 1024, 768};  // x, y, width, height before fullscreen
  GamepadKeys pad;
  std::vector<SoKeyboardEvent::Key> keyboardHeld;  // keys down on the keyboard
};

struct RenderArea::Impl {
  TopLevel* top = nullptr;
  SoRenderManager* manager = nullptr;
  SoRenderManager* overlay = nullptr;  // null until an overlay is set
  SoNode* scene = nullptr;
  bool mouseInput = true;
  bool keyboardInput = true;
  bool needRedraw = true;
  uint64_t frames = 0;
  SbVec2s size{0, 0};

  void resize(int width, int height);
  void draw();
  bool redrawIfNeeded();
  GLint maxViewport[2] = {-1, -1};  // GL_MAX_VIEWPORT_DIMS, once known

  bool dispatch(SoEvent* event);
  bool withinGlLimits();
  void sendKey(SoKeyboardEvent::Key key, bool down, int mods);
  SbVec2s cursorPosition() const;
  void stampModifiers(SoEvent* event, int mods) const;
};

namespace {

bool glfwReady = false;
bool quitRequested = false;
TopLevel* current = nullptr;  // the window mainLoop serves

constexpr double kFramePeriod = 1.0 / 60.0;

bool glCheckRequested() {
  static const bool enabled = [] {
    const char* v = std::getenv("FLIGHTSCENE_GL_CHECK");
    return v != nullptr && *v != '\0' && *v != '0';
  }();
  return enabled;
}

// GLFW's text is for diagnosis; users get the caller's own message.
void reportGlfwError(int code, const char* description) {
  if (glCheckRequested()) std::fprintf(stderr, "window: GLFW error %d: %s\n", code, description);
}

short clampToShort(int v) { return static_cast<short>(std::clamp(v, 0, 32767)); }

RenderArea::Impl* areaOf(GLFWwindow* w) {
  auto* top = static_cast<TopLevel*>(glfwGetWindowUserPointer(w));
  return top ? top->area : nullptr;
}

void onFramebufferSize(GLFWwindow* w, int width, int height) {
  if (RenderArea::Impl* a = areaOf(w)) a->resize(width, height);
}

void onKey(GLFWwindow* w, int key, int /*scancode*/, int action, int mods) {
  RenderArea::Impl* a = areaOf(w);
  if (!a || !a->keyboardInput) return;
  const SoKeyboardEvent::Key coinKey = keyFromGlfw(key);
  std::vector<SoKeyboardEvent::Key>& held = a->top->keyboardHeld;
  held.erase(std::remove(held.begin(), held.end(), coinKey), held.end());
  if (action != GLFW_RELEASE) held.push_back(coinKey);
  // A key the gamepad still holds stays held when the keyboard lets go.
  if (action == GLFW_RELEASE && a->top->pad.holds(coinKey)) return;
  SoKeyboardEvent event;
  event.setKey(coinKey);
  if (const char c = printableFromGlfw(key, mods)) event.setPrintableCharacter(c);
  // Auto-repeat reaches the scene as further presses.
  event.setState(action == GLFW_RELEASE ? SoButtonEvent::UP : SoButtonEvent::DOWN);
  event.setPosition(a->cursorPosition());
  a->stampModifiers(&event, mods);
  a->dispatch(&event);
}

// The first connected gamepad, read as keys; unplugging releases its keys.
void pollGamepad(TopLevel* top) {
  GLFWgamepadstate state;
  const GLFWgamepadstate* read = nullptr;
  for (int jid = GLFW_JOYSTICK_1; jid <= GLFW_JOYSTICK_LAST && !read; ++jid) {
    if (glfwJoystickIsGamepad(jid) && glfwGetGamepadState(jid, &state)) read = &state;
  }
  for (const GamepadKeys::Change& change : top->pad.update(read)) {
    const auto& held = top->keyboardHeld;
    // Whichever of the two holds a key keeps it held.
    if (std::find(held.begin(), held.end(), change.key) != held.end()) continue;
    if (top->area && top->area->keyboardInput) top->area->sendKey(change.key, change.down, 0);
  }
}

void onMouseButton(GLFWwindow* w, int button, int action, int mods) {
  RenderArea::Impl* a = areaOf(w);
  if (!a || !a->mouseInput) return;
  SoMouseButtonEvent event;
  switch (button) {
    case GLFW_MOUSE_BUTTON_LEFT:
      event.setButton(SoMouseButtonEvent::BUTTON1);
      break;
    case GLFW_MOUSE_BUTTON_RIGHT:
      event.setButton(SoMouseButtonEvent::BUTTON2);
      break;
    case GLFW_MOUSE_BUTTON_MIDDLE:
      event.setButton(SoMouseButtonEvent::BUTTON3);
      break;
    default:
      event.setButton(SoMouseButtonEvent::ANY);
      break;
  }
  event.setState(action == GLFW_PRESS ? SoButtonEvent::DOWN : SoButtonEvent::UP);
  event.setPosition(a->cursorPosition());
  a->stampModifiers(&event, mods);
  a->dispatch(&event);
}

void onCursor(GLFWwindow* w, double, double) {
  RenderArea::Impl* a = areaOf(w);
  if (!a || !a->mouseInput) return;
  SoLocation2Event event;
  event.setPosition(a->cursorPosition());
  int mods = 0;
  if (glfwGetKey(w, GLFW_KEY_LEFT_SHIFT) || glfwGetKey(w, GLFW_KEY_RIGHT_SHIFT))
    mods |= GLFW_MOD_SHIFT;
  if (glfwGetKey(w, GLFW_KEY_LEFT_CONTROL) || glfwGetKey(w, GLFW_KEY_RIGHT_CONTROL))
    mods |= GLFW_MOD_CONTROL;
  if (glfwGetKey(w, GLFW_KEY_LEFT_ALT) || glfwGetKey(w, GLFW_KEY_RIGHT_ALT)) mods |= GLFW_MOD_ALT;
  a->stampModifiers(&event, mods);
  a->dispatch(&event);
}

void onRenderRequest(void* data, SoRenderManager*) {
  static_cast<RenderArea::Impl*>(data)->needRedraw = true;
}

bool drawable(const TopLevel* top) {
  if (top->hidden) return true;
  return glfwGetWindowAttrib(top->window, GLFW_VISIBLE) &&
         !glfwGetWindowAttrib(top->window, GLFW_ICONIFIED);
}

}  // namespace

TopLevel* init(const char* appName, const char* className, const InitOptions& options) {
  glfwSetErrorCallback(reportGlfwError);
  if (!glfwReady) {
    if (!glfwInit()) return nullptr;
    glfwReady = true;
  }
  SoDB::init();

  glfwDefaultWindowHints();
  glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
  glfwWindowHint(GLFW_DEPTH_BITS, 24);
  glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
  if (options.visibility == Visibility::Hidden) glfwWindowHint(GLFW_DECORATED, GLFW_FALSE);
  // X11 WM_CLASS, so window managers can tell the program's windows apart.
  if (className) glfwWindowHintString(GLFW_X11_CLASS_NAME, className);
  if (appName) glfwWindowHintString(GLFW_X11_INSTANCE_NAME, appName);
  int width = std::max(1, options.width), height = std::max(1, options.height);
  GLFWmonitor* monitor = options.fullscreen ? glfwGetPrimaryMonitor() : nullptr;
  if (const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr) {
    // The monitor's own mode: no mode switch, just a window covering it.
    glfwWindowHint(GLFW_RED_BITS, mode->redBits);
    glfwWindowHint(GLFW_GREEN_BITS, mode->greenBits);
    glfwWindowHint(GLFW_BLUE_BITS, mode->blueBits);
    glfwWindowHint(GLFW_REFRESH_RATE, mode->refreshRate);
    width = mode->width;
    height = mode->height;
  } else {
    monitor = nullptr;
  }
  GLFWwindow* window = glfwCreateWindow(width, height, appName ? appName : "", monitor, nullptr);
  if (!window) return nullptr;

  auto* top = new TopLevel;
  top->window = window;
  top->hidden = options.visibility == Visibility::Hidden;
  // Where F11 returns to from a fullscreen start.
  top->windowedPlace[2] = std::max(1, options.width);
  top->windowedPlace[3] = std::max(1, options.height);
  glfwSetWindowUserPointer(window, top);
  glfwMakeContextCurrent(window);
  glfwSwapInterval(1);
  glfwSetFramebufferSizeCallback(window, onFramebufferSize);
  glfwSetKeyCallback(window, onKey);
  glfwSetMouseButtonCallback(window, onMouseButton);
  glfwSetCursorPosCallback(window, onCursor);
  current = top;
  return top;
}

void show(TopLevel* top) {
  if (top && !top->hidden) glfwShowWindow(top->window);
}

void setIcon(TopLevel* top, const std::vector<IconImage>& sizes) {
  if (!top) return;
  std::vector<GLFWimage> images;
  for (const IconImage& i : sizes) {
    if (i.width < 1 || i.height < 1 ||
        i.rgba.size() != static_cast<size_t>(i.width) * static_cast<size_t>(i.height) * 4) {
      continue;
    }
    images.push_back({i.width, i.height, const_cast<unsigned char*>(i.rgba.data())});
  }
  if (!images.empty())
    glfwSetWindowIcon(top->window, static_cast<int>(images.size()), images.data());
}

GLFWwindow* glfwWindowOf(TopLevel* top) { return top ? top->window : nullptr; }

void exitMainLoop() { quitRequested = true; }

bool isFullscreen(const TopLevel* top) {
  return top && glfwGetWindowMonitor(top->window) != nullptr;
}

void setFullscreen(TopLevel* top, bool fullscreen) {
  if (!top || top->hidden || fullscreen == isFullscreen(top)) return;
  int* place = top->windowedPlace;
  if (!fullscreen) {
    glfwSetWindowMonitor(top->window, nullptr, place[0], place[1], place[2], place[3], 0);
    return;
  }
  glfwGetWindowPos(top->window, &place[0], &place[1]);
  glfwGetWindowSize(top->window, &place[2], &place[3]);
  // The monitor holding the window's centre, else the primary one.
  GLFWmonitor* monitor = glfwGetPrimaryMonitor();
  int count = 0;
  GLFWmonitor** monitors = glfwGetMonitors(&count);
  const int cx = place[0] + place[2] / 2, cy = place[1] + place[3] / 2;
  for (int i = 0; i < count; ++i) {
    int mx = 0, my = 0;
    glfwGetMonitorPos(monitors[i], &mx, &my);
    const GLFWvidmode* mode = glfwGetVideoMode(monitors[i]);
    if (mode && cx >= mx && cx < mx + mode->width && cy >= my && cy < my + mode->height) {
      monitor = monitors[i];
      break;
    }
  }
  const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
  if (!mode) return;
  glfwSetWindowMonitor(top->window, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
}

void shutdown(TopLevel* top) {
  if (top) {
    if (current == top) current = nullptr;
    glfwDestroyWindow(top->window);
    delete top;
  }
  if (glfwReady) {
    glfwTerminate();
    glfwReady = false;
  }
}

void mainLoop() {
  TopLevel* top = current;
  if (!top) return;
  quitRequested = false;
  SoSensorManager* sensors = SoDB::getSensorManager();
  double nextFrame = glfwGetTime();

  while (!quitRequested && !glfwWindowShouldClose(top->window)) {
    // Sleep in the event wait, never spin: until the next frame when there
    // is work for it, until the next timer, or until an event arrives.
    const bool frameWork = sensors->isDelaySensorPending() || (top->area && top->area->needRedraw);
    SbTime timerDue;
    const bool timerPending = sensors->isTimerSensorPending(timerDue);
    if (!frameWork && !timerPending) {
      glfwWaitEvents();
    } else {
      double timeout = frameWork ? nextFrame - glfwGetTime() : 1.0;
      if (timerPending) {
        timeout = std::min(timeout, (timerDue - SbTime::getTimeOfDay()).getValue());
      }
      if (timeout > 0.0) {
        glfwWaitEventsTimeout(timeout);
      } else {
        glfwPollEvents();
      }
    }
    pollGamepad(top);
    sensors->processTimerQueue();

    const double now = glfwGetTime();
    if (now < nextFrame) continue;
    // One pass over the delay queue per frame: the animation sensor
    // reschedules itself, so this is what sets the tick rate.
    sensors->processDelayQueue(TRUE);
    // A hidden or minimised window is not drawn; the flight goes on.
    if (top->area && drawable(top)) top->area->redrawIfNeeded();
    nextFrame += kFramePeriod;
    if (nextFrame < now) nextFrame = now + kFramePeriod;  // no catch-up burst after a stall
  }
}

// ---------------------------------------------------------------- RenderArea

void RenderArea::Impl::resize(int width, int height) {
  size = SbVec2s(clampToShort(width), clampToShort(height));
  if (size[0] == 0 || size[1] == 0) return;  // minimised: keep the last viewport
  manager->setWindowSize(size);
  manager->setSize(size);
  manager->setViewportRegion(SbViewportRegion(size));
  if (overlay) {
    overlay->setWindowSize(size);
    overlay->setSize(size);
    overlay->setViewportRegion(SbViewportRegion(size));
  }
  needRedraw = true;
}

SbVec2s RenderArea::Impl::cursorPosition() const {
  double x = 0, y = 0;
  glfwGetCursorPos(top->window, &x, &y);
  int ww = 1, wh = 1, fw = 1, fh = 1;
  glfwGetWindowSize(top->window, &ww, &wh);
  glfwGetFramebufferSize(top->window, &fw, &fh);
  const double sx = ww > 0 ? static_cast<double>(fw) / ww : 1.0;
  const double sy = wh > 0 ? static_cast<double>(fh) / wh : 1.0;
  // Coin's pixel origin is the bottom-left corner.
  const int px = static_cast<int>(std::clamp(x * sx, 0.0, 32767.0));
  const int py = static_cast<int>(std::clamp(fh - 1 - y * sy, 0.0, 32767.0));
  return SbVec2s(static_cast<short>(px), static_cast<short>(py));
}

void RenderArea::Impl::stampModifiers(SoEvent* event, int mods) const {
  event->setTime(SbTime::getTimeOfDay());
  event->setShiftDown((mods & GLFW_MOD_SHIFT) != 0);
  event->setCtrlDown((mods & GLFW_MOD_CONTROL) != 0);
  event->setAltDown((mods & GLFW_MOD_ALT) != 0);
}

bool RenderArea::Impl::dispatch(SoEvent* event) {
  if (!scene) return false;
  SoHandleEventAction action(manager->getViewportRegion());
  action.setEvent(event);
  action.apply(scene);
  bool handled = action.isHandled();
  if (overlay && overlay->getSceneGraph()) {
    SoHandleEventAction over(manager->getViewportRegion());
    over.setEvent(event);
    over.apply(overlay->getSceneGraph());
    handled = handled || over.isHandled();
  }
  return handled;
}

void RenderArea::Impl::sendKey(SoKeyboardEvent::Key key, bool down, int mods) {
  SoKeyboardEvent event;
  event.setKey(key);
  event.setState(down ? SoButtonEvent::DOWN : SoButtonEvent::UP);
  event.setPosition(cursorPosition());
  stampModifiers(&event, mods);
  dispatch(&event);
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
  delete impl_->overlay;
  delete impl_->manager;  // releases its reference on the scene
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
    if (impl_->size[0] > 0 && impl_->size[1] > 0) {
      impl_->overlay->setWindowSize(impl_->size);
      impl_->overlay->setSize(impl_->size);
      impl_->overlay->setViewportRegion(SbViewportRegion(impl_->size));
    }
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

// FLIGHTSCENE_GL_CHECK=1 reports on stderr every GL error a frame leaves
// behind, for soak runs (Coin's own check only exists in its debug build).
// Bounded: a lost context may report an error on every call.
static void reportGlErrors(uint64_t frame) {
  if (!glCheckRequested()) return;
  for (int i = 0; i < 8; ++i) {
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) break;
    std::fprintf(stderr, "window: GL error 0x%04x in frame %llu\n", static_cast<unsigned>(error),
                 static_cast<unsigned long long>(frame));
  }
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
bool RenderArea::Impl::withinGlLimits() {
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

void RenderArea::render() { impl_->draw(); }

bool RenderArea::redrawIfNeeded() { return impl_->redrawIfNeeded(); }

void RenderArea::readPixels(std::vector<uint8_t>& rgb) const {
  const int w = impl_->size[0], h = impl_->size[1];
  rgb.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, 0);
  if (!impl_->top || rgb.empty()) return;
  glfwMakeContextCurrent(impl_->top->window);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
}

bool RenderArea::processEvent(const SoEvent* event) {
  return impl_->dispatch(const_cast<SoEvent*>(event));
}

uint64_t RenderArea::frameCount() const { return impl_->frames; }

}  // namespace win
