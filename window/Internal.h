#pragma once
// State shared by the window layer's files: one record per top-level window
// (reached from its GLFW window's user pointer) and the render area's
// implementation. Not for use outside window/.

#include "window/Gamepad.h"
#include "window/Window.h"

#include <GLFW/glfw3.h>
#include <Inventor/events/SoKeyboardEvent.h>

class SoRenderManager;

namespace win {

struct TopLevel {
  GLFWwindow* window = nullptr;
  bool hidden = false;
  RenderArea::Impl* area = nullptr;
  Place windowed{0, 0, 1024, 768};  // where fullscreen returns to
  KeySources keys;                  // held on the keyboard or the gamepad
  SbVec2f rightStick{0, 0};         // the gamepad's, at the last poll
  bool quitRequested = false;       // exitMainLoop() was called during mainLoop()
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
  mutable GLint maxViewport[2] = {-1, -1};  // GL_MAX_VIEWPORT_DIMS, once known

  // RenderArea.cpp
  void resize(int width, int height);
  void draw();
  bool redrawIfNeeded();
  bool withinGlLimits() const;
  // Input.cpp
  bool dispatch(SoEvent* event);
  void sendKey(SoKeyboardEvent::Key key, bool down, int mods);
  SbVec2s cursorPosition() const;
  void stampModifiers(SoEvent* event, int mods) const;
};

// The record of a window that init made (its user pointer); null for null.
// Only for those: every GLFW window of this process is one.
inline TopLevel* topLevelOf(GLFWwindow* window) {
  return window ? static_cast<TopLevel*>(glfwGetWindowUserPointer(window)) : nullptr;
}

// FLIGHTSCENE_GL_CHECK is set (read once: it is fixed for the run).
bool glCheckRequested();

// Input.cpp: the key, mouse and cursor callbacks, and the gamepad, read once
// per main-loop iteration.
void installInputCallbacks(GLFWwindow* window);
void pollGamepad(TopLevel* top);

}  // namespace win
