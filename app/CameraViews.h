#pragma once
// Camera views, cycled with V (or the gamepad's north button): the chase
// camera behind the selected aircraft, the default; the pilot's seat at the
// nose; a fly-by point ahead on the aircraft's path; and an orbit around
// the aircraft that the mouse (left drag, wheel) and the gamepad's right
// stick turn. The views own the scene camera: in the chase view they hand
// it to the fleet update, in the others they place it themselves after
// each tick, only when its bits change, so a still scene draws nothing in
// any view. Back in the chase view the camera is where the fleet would
// have put it, to the bit.

#include "window/Window.h"

#include <Inventor/SbBox3f.h>
#include <Inventor/SbLinear.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SbTime.h>

#include <utility>
#include <vector>

class SoEventCallback;
class SoNode;
class SoPerspectiveCamera;
struct Plane;

enum class View { Chase, Cockpit, FlyBy, Orbit };

// "chase", "cockpit", "fly-by", "orbit".
const char* viewName(View view);
// The view V selects next; orbit goes back to chase.
View nextView(View view);

// The orientation of a camera at `eye` looking at `target`, its up toward
// +y; false when the two points coincide.
bool lookAt(const SbVec3f& eye, const SbVec3f& target, SbRotation& orientation);

// The pilot's seat of an aircraft placed by `placement` (rows side, up and
// nose axes, times the model scale, then the position): on the nose axis,
// just beyond the farthest reach of the model's bounding box `model` (in
// model units) along it, looking along that axis with the aircraft's up
// axis as the camera's up. The whole model is then behind the eye, even
// when climbing and banking tilt the side axis toward the nose. A collapsed
// aircraft (size or scale 0 leave its axes zero) has no nose or up: the
// seat is then at its position, level, looking along the horizontal unit
// `heading` (x, z).
void cockpitPose(const SbMatrix& placement, const SbBox3f& model, const SbVec2f& heading,
                 SbVec3f& position, SbRotation& orientation);

// A point ahead of the aircraft, beside its path, that it flies past.
struct FlyByPoint {
  static constexpr float kAhead = 3.0f;  // along the heading
  static constexpr float kAside = 0.4f;  // to the right of the path
  static constexpr float kAbove = 0.15f;
  static constexpr float kPast = 0.8f;  // behind the point by this much, it moves on
  static constexpr float kAway = 6.0f;  // or when the aircraft is this far off

  SbVec3f point{0, 0, 0};
  bool placed = false;

  // Places the point ahead of an aircraft at `at` flying along the
  // horizontal unit `direction` (x, z) when it is not placed yet, or once
  // the aircraft has passed it or flown away from it; true when moved.
  bool follow(const SbVec3f& at, const SbVec2f& direction);
};

// Where the orbit's eye sits around its centre: yaw about +y (0 looks from
// +z), pitch above the horizontal, and the distance, each bounded.
struct OrbitPlace {
  static constexpr float kMinDistance = 0.4f;
  static constexpr float kMaxDistance = 8.0f;
  static constexpr float kMaxPitch = 1.4f;  // radians, about 80 degrees, either way
  static constexpr float kZoomStep = 1.15f;

  float yaw = 0.0f;
  float pitch = 0.25f;
  float distance = 1.5f;

  // Turns by the given radians; the pitch stays within its bound.
  void turn(float yawBy, float pitchBy);
  // Closer for positive steps (wheel up), further for negative ones.
  void zoom(int steps);
  SbVec3f eye(const SbVec3f& centre) const;
};

class CameraViews {
 public:
  // The gamepad of `toplevel` turns the orbit; null for none.
  explicit CameraViews(win::TopLevel* toplevel);
  ~CameraViews();
  CameraViews(const CameraViews&) = delete;
  CameraViews& operator=(const CameraViews&) = delete;

  // Sees V and the mouse, in a scene that every event reaches (the overlay).
  SoNode* eventNode() const;
  View view() const { return view_; }
  void cycle();

  // The camera the fleet update places behind the selected aircraft:
  // sceneCamera in the chase view, none in the others.
  SoPerspectiveCamera* chaseCamera() const;
  // After each tick, with the seconds since the last: places the scene
  // camera in every view but the chase view.
  void place(double seconds);

 private:
  static void onEvent(void* self, SoEventCallback* node);
  const SbBox3f& boxOf(const Plane* plane);

  win::TopLevel* toplevel_;
  SoEventCallback* events_ = nullptr;
  View view_ = View::Chase;
  FlyByPoint flyBy_;
  OrbitPlace orbit_;
  const Plane* following_ = nullptr;
  bool vDown_ = false;
  bool dragging_ = false;
  SbVec2s dragFrom_{0, 0};
  std::vector<std::pair<const Plane*, SbBox3f>> boxes_;
};
