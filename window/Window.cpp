// The top-level window: GLFW and Coin set-up, showing, icon, fullscreen and
// shutdown.

#include "window/Internal.h"

#include <Inventor/SoDB.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace win {

namespace {

// The error callback set before init: it still hears every error, and
// shutdown puts it back.
GLFWerrorfun chainedErrorCallback = nullptr;

// GLFW's text is for diagnosis; users get the caller's own message.
void reportGlfwError(int code, const char* description) {
  if (glCheckRequested()) std::fprintf(stderr, "window: GLFW error %d: %s\n", code, description);
  if (chainedErrorCallback) chainedErrorCallback(code, description);
}

void onFramebufferSize(GLFWwindow* w, int width, int height) {
  TopLevel* top = topLevelOf(w);
  if (top && top->area) top->area->resize(width, height);
}

// The monitor holding the centre of `place`, else the primary one.
GLFWmonitor* monitorAt(const Place& place) {
  int count = 0;
  GLFWmonitor** monitors = glfwGetMonitors(&count);
  const int cx = place.x + place.width / 2, cy = place.y + place.height / 2;
  for (int i = 0; i < count; ++i) {
    int mx = 0, my = 0;
    glfwGetMonitorPos(monitors[i], &mx, &my);
    const GLFWvidmode* mode = glfwGetVideoMode(monitors[i]);
    if (mode && cx >= mx && cx < mx + mode->width && cy >= my && cy < my + mode->height)
      return monitors[i];
  }
  return glfwGetPrimaryMonitor();
}

}  // namespace

bool glCheckRequested() {
  static const bool enabled = [] {
    const char* v = std::getenv("FLIGHTSCENE_GL_CHECK");
    return v != nullptr && *v != '\0' && *v != '0';
  }();
  return enabled;
}

// No flag of our own for GLFW's initialisation: GLFW keeps it, glfwInit
// returns at once when it is already done and glfwTerminate does nothing
// when it is not.
TopLevel* init(const char* appName, const char* className, const InitOptions& options) {
  if (GLFWerrorfun previous = glfwSetErrorCallback(reportGlfwError); previous != reportGlfwError)
    chainedErrorCallback = previous;
  if (!glfwInit()) return nullptr;
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
  top->windowed.width = std::max(1, options.width);
  top->windowed.height = std::max(1, options.height);
  glfwSetWindowUserPointer(window, top);
  glfwMakeContextCurrent(window);
  glfwSwapInterval(1);
  glfwSetFramebufferSizeCallback(window, onFramebufferSize);
  installInputCallbacks(window);
  return top;
}

void show(TopLevel* top) {
  if (top && !top->hidden) glfwShowWindow(top->window);
}

void hide(TopLevel* top) {
  if (top && !top->hidden) glfwHideWindow(top->window);
}

void setIcon(TopLevel* top, const std::vector<img::Image>& sizes) {
  if (!top) return;
  std::vector<GLFWimage> images;
  for (const img::Image& i : sizes) {
    if (!i.valid() || i.channels != 4) continue;
    images.push_back({i.width, i.height, const_cast<unsigned char*>(i.pixels.data())});
  }
  if (!images.empty())
    glfwSetWindowIcon(top->window, static_cast<int>(images.size()), images.data());
}

int maxTextureSize() {
  GLint size = 0;
  if (glfwGetCurrentContext() != nullptr) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  return size;
}

Place placeOf(const TopLevel* top) {
  Place place;
  if (!top) return place;
  glfwGetWindowPos(top->window, &place.x, &place.y);
  glfwGetWindowSize(top->window, &place.width, &place.height);
  return place;
}

bool isFullscreen(const TopLevel* top) {
  return top && glfwGetWindowMonitor(top->window) != nullptr;
}

void setFullscreen(TopLevel* top, bool fullscreen) {
  if (!top || top->hidden || fullscreen == isFullscreen(top)) return;
  Place& place = top->windowed;
  if (!fullscreen) {
    glfwSetWindowMonitor(top->window, nullptr, place.x, place.y, place.width, place.height, 0);
    return;
  }
  place = placeOf(top);
  GLFWmonitor* monitor = monitorAt(place);
  const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
  if (!mode) return;
  glfwSetWindowMonitor(top->window, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
}

void shutdown(TopLevel* top) {
  if (top) {
    glfwDestroyWindow(top->window);
    delete top;
  }
  glfwTerminate();
  glfwSetErrorCallback(chainedErrorCallback);
  chainedErrorCallback = nullptr;
}

}  // namespace win
