#include "app/CameraViews.h"

#include "aircraft/Plane.h"
#include "aircraft/PlaneList.h"
#include "state/Globals.h"
#include "state/SetIfChanged.h"

#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/events/SoKeyboardEvent.h>
#include <Inventor/events/SoLocation2Event.h>
#include <Inventor/events/SoMouseButtonEvent.h>
#include <Inventor/nodes/SoEventCallback.h>
#include <Inventor/nodes/SoFile.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr float kSeatAhead = 0.02f;    // scene units beyond the nose
constexpr float kDragRadians = 0.01f;  // per pixel of mouse drag
constexpr float kStickYawRate = 1.5f;  // radians per second at full deflection
constexpr float kStickPitchRate = 1.0f;
constexpr double kLongestStickStep = 0.1;  // a stalled tick turns no further

SbRotation fromAxes(const SbVec3f& right, const SbVec3f& up, const SbVec3f& back) {
  return SbRotation(SbMatrix(right[0], right[1], right[2], 0, up[0], up[1], up[2], 0, back[0],
                             back[1], back[2], 0, 0, 0, 0, 1));
}

}  // namespace

const char* viewName(View view) {
  switch (view) {
    case View::Chase:
      return "chase";
    case View::Cockpit:
      return "cockpit";
    case View::FlyBy:
      return "fly-by";
    case View::Orbit:
      return "orbit";
  }
  return "chase";
}

View nextView(View view) {
  switch (view) {
    case View::Chase:
      return View::Cockpit;
    case View::Cockpit:
      return View::FlyBy;
    case View::FlyBy:
      return View::Orbit;
    case View::Orbit:
      return View::Chase;
  }
  return View::Chase;
}

bool lookAt(const SbVec3f& eye, const SbVec3f& target, SbRotation& orientation) {
  SbVec3f ahead = target - eye;
  if (ahead.length() == 0.0f) return false;
  ahead.normalize();
  SbVec3f right = ahead.cross(SbVec3f(0, 1, 0));
  // Straight up or down the horizon gives no right: any will do.
  if (right.length() < 1e-6f) right = SbVec3f(1, 0, 0);
  right.normalize();
  orientation = fromAxes(right, right.cross(ahead), -ahead);
  return true;
}

void cockpitPose(const SbMatrix& m, const SbBox3f& model, const SbVec2f& heading, SbVec3f& position,
                 SbRotation& orientation) {
  const SbVec3f at(m[3][0], m[3][1], m[3][2]);
  SbVec3f nose(m[2][0], m[2][1], m[2][2]);
  SbVec3f up(m[1][0], m[1][1], m[1][2]);
  const float scale = nose.length();
  SbVec3f right(0, 0, 0);
  if (scale > 0.0f && up.length() > 0.0f) {
    nose /= scale;
    right = nose.cross(up);
  }
  if (!(right.length() > 0.0f)) {
    nose.setValue(heading[0], 0.0f, heading[1]);
    position = at + nose * kSeatAhead;
    orientation = fromAxes(nose.cross(SbVec3f(0, 1, 0)), SbVec3f(0, 1, 0), -nose);
    return;
  }
  right.normalize();
  // The aircraft's up is square to its nose; rebuilt so rounding keeps it so.
  up = right.cross(nose);
  float reach = 0.0f;
  if (!model.isEmpty()) {
    const SbVec3f& lo = model.getMin();
    const SbVec3f& hi = model.getMax();
    for (int corner = 0; corner < 8; ++corner) {
      const SbVec3f p((corner & 1) ? hi[0] : lo[0], (corner & 2) ? hi[1] : lo[1],
                      (corner & 4) ? hi[2] : lo[2]);
      SbVec3f turned;
      m.multDirMatrix(p, turned);
      reach = std::max(reach, turned.dot(nose));
    }
  }
  position = at + nose * (reach + kSeatAhead);
  orientation = fromAxes(right, up, -nose);
}

bool FlyByPoint::follow(const SbVec3f& at, const SbVec2f& direction) {
  if (placed) {
    const SbVec2f from(at[0] - point[0], at[2] - point[2]);
    if (from.dot(direction) <= kPast && from.length() <= kAway) return false;
  }
  // Right of the path: the heading grows to the left.
  const SbVec2f right(-direction[1], direction[0]);
  const SbVec2f ground = SbVec2f(at[0], at[2]) + direction * kAhead + right * kAside;
  point.setValue(ground[0], at[1] + kAbove, ground[1]);
  placed = true;
  return true;
}

void OrbitPlace::turn(float yawBy, float pitchBy) {
  yaw = std::remainder(yaw + yawBy, kTwoPi);
  pitch = std::clamp(pitch + pitchBy, -kMaxPitch, kMaxPitch);
}

void OrbitPlace::zoom(int steps) {
  distance = std::clamp(distance * std::pow(kZoomStep, -static_cast<float>(steps)), kMinDistance,
                        kMaxDistance);
}

SbVec3f OrbitPlace::eye(const SbVec3f& centre) const {
  const float level = std::cos(pitch) * distance;
  return centre + SbVec3f(level * std::sin(yaw), std::sin(pitch) * distance, level * std::cos(yaw));
}

CameraViews::CameraViews(win::TopLevel* toplevel) : toplevel_(toplevel) {
  events_ = new SoEventCallback;
  events_->ref();
  events_->addEventCallback(SoEvent::getClassTypeId(), onEvent, this);
}

CameraViews::~CameraViews() { events_->unref(); }

SoNode* CameraViews::eventNode() const { return events_; }

SoPerspectiveCamera* CameraViews::chaseCamera() const {
  return view_ == View::Chase ? sceneCamera : nullptr;
}

void CameraViews::cycle() {
  view_ = nextView(view_);
  if (view_ == View::FlyBy) flyBy_.placed = false;
  if (view_ == View::Orbit && fleet.current) {
    // Begins behind the aircraft, as the chase camera is.
    orbit_.yaw = std::remainder(fleet.current->plane->heading / 360.0f * kTwoPi + kPi, kTwoPi);
  }
  // The chase camera's place is a function of the aircraft's state alone:
  // put back as the last update would have put it.
  if (view_ == View::Chase && fleet.current && sceneCamera)
    fleet.current->plane->placeChaseCamera(sceneCamera);
  place(0.0);
}

void CameraViews::onEvent(void* self, SoEventCallback* node) {
  auto* views = static_cast<CameraViews*>(self);
  const SoEvent* event = node->getEvent();
  using K = SoKeyboardEvent;
  using M = SoMouseButtonEvent;
  // Auto-repeat arrives as further presses: one view per press.
  if (K::isKeyPressEvent(event, K::V)) {
    if (!views->vDown_) views->cycle();
    views->vDown_ = true;
  }
  if (K::isKeyReleaseEvent(event, K::V)) views->vDown_ = false;

  if (M::isButtonPressEvent(event, M::BUTTON1)) {
    views->dragging_ = true;
    views->dragFrom_ = event->getPosition();
  }
  if (M::isButtonReleaseEvent(event, M::BUTTON1)) views->dragging_ = false;
  if (views->view_ != View::Orbit) return;
  if (M::isButtonPressEvent(event, M::BUTTON4)) views->orbit_.zoom(1);
  if (M::isButtonPressEvent(event, M::BUTTON5)) views->orbit_.zoom(-1);
  if (views->dragging_ && event->isOfType(SoLocation2Event::getClassTypeId())) {
    const SbVec2s to = event->getPosition();
    const float dx = static_cast<float>(to[0] - views->dragFrom_[0]);
    const float dy = static_cast<float>(to[1] - views->dragFrom_[1]);
    views->dragFrom_ = to;
    // The aircraft turns with the hand: dragging right brings its right
    // side into view, dragging up its underside.
    views->orbit_.turn(-dx * kDragRadians, -dy * kDragRadians);
  }
  views->place(0.0);
}

const SbBox3f& CameraViews::boxOf(const Plane* plane) {
  for (const auto& known : boxes_)
    if (known.first == plane) return known.second;
  SoGetBoundingBoxAction measure{SbViewportRegion()};
  measure.apply(plane->modelFile);
  SbBox3f box = measure.getBoundingBox();
  const SbVec3f& lo = box.getMin();
  const SbVec3f& hi = box.getMax();
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(lo[i]) || !std::isfinite(hi[i])) box.makeEmpty();
  boxes_.emplace_back(plane, box);
  return boxes_.back().second;
}

void CameraViews::place(double seconds) {
  if (view_ == View::Chase || !fleet.current || !sceneCamera) return;
  const Plane* plane = fleet.current->plane;
  if (plane != following_) {
    following_ = plane;
    flyBy_.placed = false;
  }
  const SbMatrix& m = plane->transform->matrix.getValue();
  const SbVec3f at(m[3][0], m[3][1], m[3][2]);
  SbVec2f direction = plane->directionFromHeading(plane->heading);
  direction.normalize();
  SbVec3f position;
  SbRotation orientation;
  switch (view_) {
    case View::Cockpit:
      cockpitPose(m, boxOf(plane), direction, position, orientation);
      break;
    case View::FlyBy: {
      flyBy_.follow(at, direction);
      position = flyBy_.point;
      if (!lookAt(position, at, orientation)) return;
      break;
    }
    case View::Orbit: {
      const SbVec2f stick = win::rightStick(toplevel_);
      const float dt = static_cast<float>(std::clamp(seconds, 0.0, kLongestStickStep));
      if (stick != SbVec2f(0, 0))
        orbit_.turn(-stick[0] * kStickYawRate * dt, -stick[1] * kStickPitchRate * dt);
      position = orbit_.eye(at);
      if (!lookAt(position, at, orientation)) return;
      break;
    }
    case View::Chase:
      return;
  }
  setIfChanged(sceneCamera->position, position);
  setIfChanged(sceneCamera->orientation, orientation);
}
