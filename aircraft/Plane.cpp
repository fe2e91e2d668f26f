#include "aircraft/Plane.h"

#include "aircraft/ModelFile.h"
#include "numeric/Elementary.h"
#include "state/KeyTable.h"
#include "state/SetIfChanged.h"

#include <Inventor/SbMatrix.h>
#include <Inventor/SbRotation.h>
#include <Inventor/nodes/SoFile.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoRotation.h>
#include <Inventor/nodes/SoSeparator.h>

namespace {

constexpr float kBankLimit = 10.0f;
constexpr float kHeadingDivisor = 4.0f;
constexpr float kClimbLimit = 5.0f;
constexpr float kClimbRate = 0.01f;
constexpr float kPitchFactor = 64.0f;
constexpr float kRollDivisor = 8.0f;
constexpr double kCameraDistance = 1.1;
constexpr double kCameraHeight = 0.3;
constexpr float kCameraPitch = -0.01f;

bool held(int index) { return KeyTable[index].pressed != 0; }

double toRadians(double degrees) { return degrees / 360.0 * 2.0 * kPi; }

// Heading in degrees (double) of a direction, before wrapping into 0..360.
// Normalising by a reciprocal can leave |x| a hair above 1; clamp so asin
// never sees it.
double rawHeading(const SbVec2f& v, float& y) {
  SbVec2f n = v;
  n.normalize();
  double x = n[0];
  if (x > 1.0) x = 1.0;
  if (x < -1.0) x = -1.0;
  y = n[1];
  return numeric::asin(x) / kTwoPi * 360;
}

}  // namespace

float headingOf(const SbVec2f& v) {
  float y;
  float a = static_cast<float>(rawHeading(v, y));
  if (y < 0) a = 180 - a;
  if (a < 0) a = a + 360;
  return a;
}

SoSeparator* Plane::build(float newSize, float newScale, const char* modelName) {
  bank = 0;
  climb = 0;
  size = newSize;
  scale = newScale;
  altitude = 0;
  speed = 0;
  maxSpeed = 2.0f;
  turnRate = 50.0f;
  acceleration = 0.2f;
  deceleration = 0.5f;

  root = new SoSeparator;
  root->ref();
  transform = new SoMatrixTransform;
  root->addChild(transform);
  setHorizontalPosition(SbVec2f(8, 8));
  setScale(scale);

  rotation = new SoRotation;
  setHeading(headingOf(SbVec2f(0, 0) - SbVec2f(8, 8)));
  root->addChild(rotation);

  modelFile = new SoFile;
  loadModelFile(modelFile, modelName);
  root->addChild(modelFile);
  return root;
}

SbVec2f Plane::horizontalPosition() const {
  const SbMatrix& m = transform->matrix.getValue();
  return SbVec2f(m[3][0], m[3][2]);
}

void Plane::getHorizontalPosition(float& x, float& z) const {
  const SbMatrix& m = transform->matrix.getValue();
  x = m[3][0];
  z = m[3][2];
}

void Plane::setHorizontalPosition(const SbVec2f& xz) { setTranslation(xz[0], altitude, xz[1]); }

void Plane::setTranslation(float x, float y, float z) {
  SbMatrix m = transform->matrix.getValue();
  m[3][0] = x;
  m[3][1] = y;
  m[3][2] = z;
  setIfChanged(transform->matrix, m);
}

void Plane::setScale(float s) {
  SbMatrix m = transform->matrix.getValue();
  m[0][0] = s;
  m[1][1] = s;
  m[2][2] = s;
  setIfChanged(transform->matrix, m);
}

void Plane::setAxes(const SbVec3f& side, const SbVec3f& up, const SbVec3f& forward) {
  SbMatrix m = transform->matrix.getValue();
  const SbVec3f* rows[3] = {&side, &up, &forward};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m[r][c] = (*rows[r])[c] * scale;
  setIfChanged(transform->matrix, m);
}

void Plane::setHeading(float degrees) {
  heading = degrees;
  rotation->rotation.setValue(SbVec3f(0, 1, 0), 0);
}

SbVec2f Plane::directionFromHeading(float degrees) const {
  const numeric::SinCos t = numeric::sincos(toRadians(degrees));
  return SbVec2f(static_cast<float>(t.sin), static_cast<float>(t.cos));
}

SbVec2f Plane::turnDirection(const SbVec2f& direction, float degrees) const {
  float y;
  double a = rawHeading(direction, y);
  if (y < 0) a = 180 - a;
  a = a + degrees;
  if (a < 0)
    a = a + 360;
  else if (a > 360)
    a = a - 360;
  const numeric::SinCos t = numeric::sincos(toRadians(a));
  return SbVec2f(static_cast<float>(t.sin), static_cast<float>(t.cos));
}

void Plane::advance(SbTime frameTime, SoPerspectiveCamera* camera) {
  const double dt = frameTime.getValue();

  if (held(KEY_W) && maxSpeed > speed) {
    speed = speed + acceleration * dt;
    if (speed > maxSpeed) speed = maxSpeed;
  }
  if (held(KEY_S)) {
    // Not clamped at 0: the crossing step leaves a small reverse speed.
    if (speed > 0)
      speed = speed - deceleration * dt;
    else
      speed = 0;
  }

  const double half = speed - maxSpeed / 2;
  const double turnFactor = 1 - half * half / (maxSpeed * maxSpeed);
  if (held(KEY_LEFT)) {
    if (speed > 0) bank = static_cast<float>(bank + turnRate * dt * turnFactor);
    if (bank > kBankLimit)
      bank = kBankLimit;
    else if (bank < 0)
      bank = 0;
  }
  if (held(KEY_RIGHT)) {
    if (speed > 0) bank = static_cast<float>(bank - turnRate * dt * turnFactor);
    if (bank < -kBankLimit)
      bank = -kBankLimit;
    else if (bank > 0)
      bank = 0;
  }

  // Heading and altitude step once per update, not scaled by the frame
  // time: by design the tick rate is part of how the aircraft fly.
  if (bank != 0 && speed != 0) {
    heading = heading + bank / kHeadingDivisor;
    if (heading > 360)
      heading = heading - 360;
    else if (heading < 0)
      heading = heading + 360;
  }

  if (held(KEY_UP)) {
    if (climb < kClimbLimit) {
      if (speed > 0) {
        climb = static_cast<float>(climb + kClimbRate * dt);
        speed = speed - dt * climb;
      }
    } else {
      climb = kClimbLimit;
    }
  }
  if (held(KEY_DOWN)) {
    climb = static_cast<float>(climb - kClimbRate * dt);
    speed = speed + dt * climb;
  }

  SbVec2f dir = directionFromHeading(heading);
  dir.normalize();
  const SbVec2f step = dir * static_cast<float>(speed) * static_cast<float>(dt);
  const SbVec2f pos = horizontalPosition() + step;

  const SbVec2f ahead = dir * (2 * size);
  SbVec3f forward(ahead[0], kPitchFactor * climb, ahead[1]);
  const SbVec2f left = turnDirection(dir, 90) * (2 * size);
  SbVec3f side(left[0], -bank / kRollDivisor, left[1]);
  SbVec3f up = forward.cross(side);

  altitude = altitude + climb;
  setHorizontalPosition(pos);

  // A zero axis (size 0) stays zero rather than turning into NaN.
  if (side.length() > 0) side.normalize();
  if (up.length() > 0) up.normalize();
  if (forward.length() > 0) forward.normalize();
  setAxes(side, up, forward);

  if (selected != 0 && camera != nullptr) placeChaseCamera(camera);
}

void Plane::placeChaseCamera(SoPerspectiveCamera* camera) const {
  const SbRotation pitch(SbVec3f(1, 0, 0), kCameraPitch);
  const double yawAngle = heading / 360.0 * 2 * kPi - kPi;
  const SbRotation yaw(SbVec3f(0, 1, 0), static_cast<float>(yawAngle));
  setIfChanged(camera->orientation, pitch * yaw);

  float x, z;
  getHorizontalPosition(x, z);
  const numeric::SinCos h = numeric::sincos(heading / 360.0 * 2 * kPi);
  setIfChanged(camera->position, SbVec3f(static_cast<float>(x - kCameraDistance * h.sin),
                                         static_cast<float>(altitude + kCameraHeight),
                                         static_cast<float>(z - kCameraDistance * h.cos)));
}
