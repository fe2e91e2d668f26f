#include "app/PilotOverlay.h"

#include "aircraft/Plane.h"
#include "aircraft/PlaneList.h"
#include "app/CameraViews.h"
#include "app/HudFont.h"
#include "app/Screenshot.h"
#include "app/Tick.h"

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoFontSizeElement.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoViewportRegionElement.h>
#include <Inventor/events/SoKeyboardEvent.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCallback.h>
#include <Inventor/nodes/SoEventCallback.h>
#include <Inventor/nodes/SoFont.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoText2.h>
#include <Inventor/nodes/SoTranslation.h>
#include <Inventor/sensors/SoOneShotSensor.h>
#include <Inventor/sensors/SoTimerSensor.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

const char* kHelp[] = {
    "Keys",
    "W / S            accelerate / brake",
    "Left / Right     bank left / right",
    "Up / Down        climb / descend",
    "Tab              follow the next aircraft",
    "V                view: chase, cockpit, fly-by, orbit",
    "Mouse            orbit: drag to turn, wheel to zoom",
    "P or Pause       pause / resume",
    "H                heads-up display",
    "F1               this help",
    "F11              fullscreen / window",
    "F12              screenshot (with --screenshot-dir)",
    "Escape           quit",
    "",
    "Gamepad: left stick banks and climbs, right trigger",
    "accelerates, left trigger brakes, A follows the next",
    "aircraft, Y changes the view, the right stick turns",
    "the orbit, Start pauses.",
};

// Text size follows the window height, so that it reads at 640x480 and at
// 3840x2160 alike.
void scaleFont(void*, SoAction* action) {
  if (!action->isOfType(SoGLRenderAction::getClassTypeId())) return;
  SoState* state = action->getState();
  const SbVec2s size = SoViewportRegionElement::get(state).getViewportSizePixels();
  SoFontSizeElement::set(state, std::max(13.0f, std::floor(size[1] / 48.0f)));
}

// Moves what follows two pixels right and down, for the text's shadow.
void shadowOffset(void*, SoAction* action) {
  if (!action->isOfType(SoGLRenderAction::getClassTypeId())) return;
  SoState* state = action->getState();
  const SbVec2s size = SoViewportRegionElement::get(state).getViewportSizePixels();
  if (size[0] <= 0 || size[1] <= 0) return;
  // The overlay camera maps -1..1 onto the viewport.
  SoModelMatrixElement::translateBy(state, nullptr, SbVec3f(4.0f / size[0], -4.0f / size[1], 0.0f));
}

// Text at (x, y) in the overlay's -1..1 square, over a dark shadow so that it
// reads on sky, cloud and field alike.
SoSwitch* textPanel(float x, float y, SoText2** text) {
  auto* panel = new SoSwitch;
  panel->whichChild = SO_SWITCH_NONE;
  auto* group = new SoSeparator;
  panel->addChild(group);
  auto* place = new SoTranslation;
  place->translation.setValue(x, y, 0);
  group->addChild(place);
  *text = new SoText2;
  auto* shadow = new SoSeparator;
  auto* offset = new SoCallback;
  offset->setCallback(shadowOffset);
  shadow->addChild(offset);
  auto* black = new SoBaseColor;
  black->rgb.setValue(0.0f, 0.0f, 0.0f);
  shadow->addChild(black);
  shadow->addChild(*text);
  group->addChild(shadow);
  auto* colour = new SoBaseColor;
  colour->rgb.setValue(1.0f, 1.0f, 0.85f);
  group->addChild(colour);
  group->addChild(*text);
  return panel;
}

}  // namespace

PilotOverlay::PilotOverlay(win::TopLevel* toplevel, win::RenderArea& area,
                           std::string screenshotDir, TickParts& tick, const CameraViews* views)
    : toplevel_(toplevel),
      area_(area),
      screenshotDir_(std::move(screenshotDir)),
      tick_(tick),
      views_(views) {
  root_ = new SoSeparator;
  root_->ref();
  auto* keys = new SoEventCallback;
  keys->addEventCallback(SoKeyboardEvent::getClassTypeId(), onKey, this);
  root_->addChild(keys);
  auto* camera = new SoOrthographicCamera;
  camera->viewportMapping = SoCamera::LEAVE_ALONE;  // -1..1 on both axes, any window shape
  camera->height = 2.0f;
  root_->addChild(camera);
  auto* unlit = new SoLightModel;
  unlit->model = SoLightModel::BASE_COLOR;
  root_->addChild(unlit);
  // A named font makes Coin draw smooth text; without it, Coin keeps its
  // built-in one.
  auto* face = new SoFont;
  face->name = hudFontName().c_str();
  face->size.setIgnored(TRUE);  // the size follows the window instead
  root_->addChild(face);
  auto* font = new SoCallback;
  font->setCallback(scaleFont);
  root_->addChild(font);

  SoText2* helpText = nullptr;
  help_ = textPanel(-0.96f, 0.55f, &helpText);
  helpText->string.setValues(0, static_cast<int>(sizeof kHelp / sizeof kHelp[0]), kHelp);
  root_->addChild(help_);
  hud_ = textPanel(-0.96f, 0.92f, &hudText_);
  root_->addChild(hud_);
  SoText2* pausedText = nullptr;
  paused_ = textPanel(-0.05f, 0.0f, &pausedText);
  pausedText->string = "paused";
  root_->addChild(paused_);

  refresh_ = new SoTimerSensor(onRefresh, this);
  refresh_->setInterval(SbTime(0.5));
  // Drawing from inside the key's event traversal would disturb it.
  shoot_ = new SoOneShotSensor(onScreenshot, this);
}

PilotOverlay::~PilotOverlay() {
  delete refresh_;
  delete shoot_;
  root_->unref();
}

SoNode* PilotOverlay::sceneNode() const { return root_; }

void PilotOverlay::onKey(void* self, SoEventCallback* node) {
  auto* overlay = static_cast<PilotOverlay*>(self);
  const SoEvent* event = node->getEvent();
  using K = SoKeyboardEvent;
  if (K::isKeyPressEvent(event, K::F1)) overlay->toggle(overlay->help_);
  if (K::isKeyPressEvent(event, K::H)) {
    overlay->toggle(overlay->hud_);
    if (overlay->hud_->whichChild.getValue() == 0) {
      overlay->lastFrames_ = overlay->area_.frameCount();
      overlay->lastRefresh_ = SbTime::getTimeOfDay();
      overlay->refreshHud();
      overlay->refresh_->schedule();
    } else {
      overlay->refresh_->unschedule();
    }
  }
  if (K::isKeyPressEvent(event, K::P) || K::isKeyPressEvent(event, K::PAUSE))
    overlay->togglePause();
  if (K::isKeyPressEvent(event, K::F11))
    win::setFullscreen(overlay->toplevel_, !win::isFullscreen(overlay->toplevel_));
  // Auto-repeat arrives as further presses: one shot per press.
  if (K::isKeyPressEvent(event, K::F12)) {
    if (!overlay->f12Down_ && !overlay->screenshotDir_.empty()) overlay->shoot_->schedule();
    overlay->f12Down_ = true;
  }
  if (K::isKeyReleaseEvent(event, K::F12)) overlay->f12Down_ = false;
}

void PilotOverlay::onRefresh(void* self, SoSensor*) {
  static_cast<PilotOverlay*>(self)->refreshHud();
}

void PilotOverlay::onScreenshot(void* self, SoSensor*) {
  static_cast<PilotOverlay*>(self)->screenshot();
}

void PilotOverlay::toggle(SoSwitch* which) {
  which->whichChild = which->whichChild.getValue() == 0 ? SO_SWITCH_NONE : 0;
}

void PilotOverlay::togglePause() {
  tick_.paused = !tick_.paused;
  paused_->whichChild = tick_.paused ? 0 : SO_SWITCH_NONE;
}

void PilotOverlay::refreshHud() {
  const Plane* plane = fleet.current ? fleet.current->plane : nullptr;
  int index = 0, count = 0;
  for (PlaneListNode* cell = fleet.head; cell; cell = cell->next) {
    ++count;
    if (cell == fleet.current) index = count;
  }
  // Frames drawn since the last refresh: a still scene draws none.
  const SbTime now = SbTime::getTimeOfDay();
  const uint64_t frames = area_.frameCount();
  const double seconds = (now - lastRefresh_).getValue();
  char rate[32];
  if (frames - lastFrames_ >= 2 && seconds > 0)
    std::snprintf(rate, sizeof rate, "%.0f fps", double(frames - lastFrames_) / seconds);
  else
    std::snprintf(rate, sizeof rate, "still");
  lastFrames_ = frames;
  lastRefresh_ = now;

  char lines[3][96];
  if (plane) {
    std::snprintf(lines[0], sizeof lines[0], "speed %.2f   altitude %.2f   heading %.1f",
                  plane->speed, double(plane->altitude), double(plane->heading));
    std::snprintf(lines[1], sizeof lines[1], "climb %.3f   bank %.1f", double(plane->climb),
                  double(plane->bank));
  } else {
    std::snprintf(lines[0], sizeof lines[0], "no aircraft");
    lines[1][0] = '\0';
  }
  const char* view = viewName(views_ ? views_->view() : View::Chase);
  std::snprintf(lines[2], sizeof lines[2], "aircraft %d of %d   %s view   %s", index, count, view,
                rate);
  // Only a changed text costs a frame.
  for (int i = 0; i < 3; ++i)
    if (hudText_->string.getNum() <= i || hudText_->string[i] != lines[i])
      hudText_->string.set1Value(i, lines[i]);
}

void PilotOverlay::screenshot() {
  if (screenshotDir_.empty()) return;
  const std::time_t t = std::time(nullptr);
  // The run's only thread that reads the time of day: localtime's shared
  // result is safe here, and it is on both platforms.
  const std::tm* now = std::localtime(&t);
  const std::tm local = now ? *now : std::tm{};
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  // The same limit as every frame: beyond it the GL driver may crash.
  const SbVec2s size = area_.getSize();
  if (!area_.render()) {
    std::fprintf(stderr,
                 "flightscene: screenshot not saved: the window's %dx%d pixels are more than this "
                 "OpenGL can draw\n",
                 size[0], size[1]);
    return;
  }
  std::vector<uint8_t> rgb;
  area_.readPixels(rgb);
  std::string result;
  if (saveScreenshot(screenshotDir_, stamp, img::fromBottomUpRows(size[0], size[1], rgb), result))
    std::fprintf(stderr, "flightscene: screenshot saved to %s\n", result.c_str());
  else
    std::fprintf(stderr, "flightscene: screenshot not saved: %s\n", result.c_str());
}
