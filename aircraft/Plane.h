#pragma once
// One aircraft: its flight state and the scene subgraph that places and
// draws its model. The horizontal position is not a field: it lives in the
// translation row of the matrix transform, and is read back from there.

#include <Inventor/SbTime.h>
#include <Inventor/SbVec2f.h>
#include <Inventor/SbVec3f.h>

#include <cstdint>

class SoSeparator;
class SoMatrixTransform;
class SoFile;
class SoRotation;
class SoPerspectiveCamera;

// Single-precision 2*pi and pi: every degree/radian conversion uses these,
// so headings and camera angles round the same way everywhere.
constexpr float kTwoPi = 6.2831855f;
constexpr float kPi = 3.1415927f;

// Heading in degrees, 0 to 360, of a horizontal vector (x, z): 0 is +z,
// 90 is +x.
float headingOf(const SbVec2f& v);

struct Plane {
  SoSeparator* root = nullptr;             // holds one reference of its own
  SoMatrixTransform* transform = nullptr;  // child 0: rows side, up, nose, position
  SoFile* modelFile = nullptr;             // child 2
  SoRotation* rotation = nullptr;          // child 1: stays the identity
  float size = 0;                          // pitch and roll tilt against 2 * size
  float scale = 0;                         // uniform model scale
  double speed = 0;
  float heading = 0;  // degrees, 0..360
  float bank = 0;     // -10..10, also the heading step * 4
  float climb = 0;    // altitude step per update
  float maxSpeed = 0;
  float acceleration = 0;
  float deceleration = 0;
  float turnRate = 0;
  float altitude = 0;
  int32_t selected = 0;  // written by the fleet only

  // Creates the subgraph (transform, rotation, model file) and the start
  // state: at (8, 0, 8), heading toward the origin, at rest. Returns root.
  SoSeparator* build(float size, float scale, const char* modelName);

  SbVec2f horizontalPosition() const;
  void getHorizontalPosition(float& x, float& z) const;
  void setHorizontalPosition(const SbVec2f& xz);
  void setTranslation(float x, float y, float z);
  void setScale(float s);
  void setAxes(const SbVec3f& side, const SbVec3f& up, const SbVec3f& forward);
  void setHeading(float degrees);

  SbVec2f directionFromHeading(float degrees) const;
  // Unit direction at the heading of `direction` plus `degrees`.
  SbVec2f turnDirection(const SbVec2f& direction, float degrees) const;

  // One flight step from the held keys; a selected aircraft also places
  // the camera behind itself (none when null).
  void advance(SbTime dt, SoPerspectiveCamera* camera);
  // The chase camera's place behind the aircraft as it is now: where
  // advance puts it, to the bit.
  void placeChaseCamera(SoPerspectiveCamera* camera) const;
};
