// The main loop: Coin's sensor queues, events and redraws, paced at the
// display's refresh.

#include "window/Internal.h"

#include <Inventor/SoDB.h>
#include <Inventor/sensors/SoSensorManager.h>

#include <algorithm>

namespace win {

namespace {

constexpr double kFramePeriod = 1.0 / 60.0;

// The loop serves the window whose context is current: init makes a new
// window's context current, and only our own drawing changes it after that.
TopLevel* servedTopLevel() { return topLevelOf(glfwGetCurrentContext()); }

bool drawable(const TopLevel* top) {
  if (top->hidden) return true;
  return glfwGetWindowAttrib(top->window, GLFW_VISIBLE) &&
         !glfwGetWindowAttrib(top->window, GLFW_ICONIFIED);
}

}  // namespace

void exitMainLoop() {
  if (TopLevel* top = servedTopLevel()) top->quitRequested = true;
}

void mainLoop() {
  TopLevel* top = servedTopLevel();
  if (!top) return;
  top->quitRequested = false;
  SoSensorManager* sensors = SoDB::getSensorManager();
  double nextFrame = glfwGetTime();

  while (!top->quitRequested && !glfwWindowShouldClose(top->window)) {
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

}  // namespace win
