// Input: GLFW's key, mouse and cursor events, and the first gamepad, as
// Coin events sent into the render area's scenes.

#include "window/Internal.h"
#include "window/KeyMap.h"

#include <Inventor/SoRenderManager.h>
#include <Inventor/actions/SoHandleEventAction.h>
#include <Inventor/events/SoLocation2Event.h>
#include <Inventor/events/SoMouseButtonEvent.h>

#include <algorithm>

namespace win {

namespace {

RenderArea::Impl* areaOf(GLFWwindow* w) {
  TopLevel* top = topLevelOf(w);
  return top ? top->area : nullptr;
}

void onKey(GLFWwindow* w, int key, int /*scancode*/, int action, int mods) {
  RenderArea::Impl* a = areaOf(w);
  if (!a || !a->keyboardInput) return;
  const SoKeyboardEvent::Key coinKey = keyFromGlfw(key);
  if (!a->top->keys.keyboard(coinKey, action != GLFW_RELEASE)) return;
  SoKeyboardEvent event;
  event.setKey(coinKey);
  if (const char c = printableFromGlfw(key, mods)) event.setPrintableCharacter(c);
  // Auto-repeat reaches the scene as further presses.
  event.setState(action == GLFW_RELEASE ? SoButtonEvent::UP : SoButtonEvent::DOWN);
  event.setPosition(a->cursorPosition());
  a->stampModifiers(&event, mods);
  a->dispatch(&event);
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

// X11's convention, which Coin follows: a wheel step is a press and a
// release of button 4 (up, away from the user) or 5 (down).
void onScroll(GLFWwindow* w, double, double dy) {
  RenderArea::Impl* a = areaOf(w);
  if (!a || !a->mouseInput || dy == 0.0) return;
  SoMouseButtonEvent event;
  event.setButton(dy > 0 ? SoMouseButtonEvent::BUTTON4 : SoMouseButtonEvent::BUTTON5);
  event.setPosition(a->cursorPosition());
  a->stampModifiers(&event, 0);
  for (const auto state : {SoButtonEvent::DOWN, SoButtonEvent::UP}) {
    event.setState(state);
    a->dispatch(&event);
  }
}

PadState padStateOf(const GLFWgamepadstate& s) {
  PadState pad;
  pad.leftX = s.axes[GLFW_GAMEPAD_AXIS_LEFT_X];
  pad.leftY = s.axes[GLFW_GAMEPAD_AXIS_LEFT_Y];
  pad.leftTrigger = s.axes[GLFW_GAMEPAD_AXIS_LEFT_TRIGGER];
  pad.rightTrigger = s.axes[GLFW_GAMEPAD_AXIS_RIGHT_TRIGGER];
  pad.south = s.buttons[GLFW_GAMEPAD_BUTTON_A] == GLFW_PRESS;
  pad.start = s.buttons[GLFW_GAMEPAD_BUTTON_START] == GLFW_PRESS;
  pad.north = s.buttons[GLFW_GAMEPAD_BUTTON_Y] == GLFW_PRESS;
  pad.rightX = s.axes[GLFW_GAMEPAD_AXIS_RIGHT_X];
  pad.rightY = s.axes[GLFW_GAMEPAD_AXIS_RIGHT_Y];
  return pad;
}

}  // namespace

void installInputCallbacks(GLFWwindow* window) {
  glfwSetKeyCallback(window, onKey);
  glfwSetMouseButtonCallback(window, onMouseButton);
  glfwSetCursorPosCallback(window, onCursor);
  glfwSetScrollCallback(window, onScroll);
}

// The first connected gamepad, read as keys; unplugging releases its keys.
void pollGamepad(TopLevel* top) {
  PadState pad;
  const PadState* read = nullptr;
  for (int jid = GLFW_JOYSTICK_1; jid <= GLFW_JOYSTICK_LAST && !read; ++jid) {
    GLFWgamepadstate state;
    if (glfwJoystickIsGamepad(jid) && glfwGetGamepadState(jid, &state)) {
      pad = padStateOf(state);
      read = &pad;
    }
  }
  top->rightStick = read ? stickPosition(pad.rightX, pad.rightY) : SbVec2f(0, 0);
  for (const KeyChange& change : top->keys.gamepad(read)) {
    if (top->area && top->area->keyboardInput) top->area->sendKey(change.key, change.down, 0);
  }
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

SbVec2f rightStick(const TopLevel* toplevel) {
  return toplevel ? toplevel->rightStick : SbVec2f(0, 0);
}

bool RenderArea::processEvent(const SoEvent* event) {
  return impl_->dispatch(const_cast<SoEvent*>(event));
}

}  // namespace win
