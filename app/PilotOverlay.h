#pragma once
// The pilot overlay: the pilot's comforts drawn over the scene and never
// part of it: key help (F1), heads-up display (H), pause (P or Pause),
// fullscreen (F11) and a screenshot key (F12, only when a screenshot folder
// was given). The heads-up display names the camera view. A pilot who
// presses none of these keys sees exactly the scene alone.

#include "window/Window.h"

#include <Inventor/SbTime.h>

#include <cstdint>
#include <string>

class SoNode;
class SoSeparator;
class SoSwitch;
class SoText2;
class SoOneShotSensor;
class SoTimerSensor;
class SoEventCallback;
class SoSensor;
class CameraViews;
struct TickParts;

class PilotOverlay {
 public:
  // screenshotDir empty: F12 does nothing. P pauses `tick`. Without views
  // the display names the chase view.
  PilotOverlay(win::TopLevel* toplevel, win::RenderArea& area, std::string screenshotDir,
               TickParts& tick, const CameraViews* views = nullptr);
  ~PilotOverlay();
  PilotOverlay(const PilotOverlay&) = delete;
  PilotOverlay& operator=(const PilotOverlay&) = delete;

  // Its own camera, text and key handler, for the render area's overlay
  // scene; it sees every event.
  SoNode* sceneNode() const;

 private:
  static void onKey(void* self, SoEventCallback* node);
  static void onRefresh(void* self, SoSensor* sensor);
  static void onScreenshot(void* self, SoSensor* sensor);
  void toggle(SoSwitch* which);
  void togglePause();
  void refreshHud();
  void screenshot();

  win::TopLevel* toplevel_;
  win::RenderArea& area_;
  std::string screenshotDir_;
  TickParts& tick_;
  const CameraViews* views_;
  SoSeparator* root_ = nullptr;
  SoSwitch* help_ = nullptr;
  SoSwitch* hud_ = nullptr;
  SoSwitch* paused_ = nullptr;
  SoText2* hudText_ = nullptr;
  SoTimerSensor* refresh_ = nullptr;
  SoOneShotSensor* shoot_ = nullptr;
  bool f12Down_ = false;  // a press seen, its release not yet
  uint64_t lastFrames_ = 0;
  SbTime lastRefresh_;
};
