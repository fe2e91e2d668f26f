#pragma once
// The program-wide variables through which the subsystems reach the scene.
// All are null or zero until start-up sets them.

#include <cstdint>

class SoSeparator;
class SoPerspectiveCamera;
class SoOneShotSensor;

// The scene's root; referenced once by start-up, released after the main loop.
extern SoSeparator* sceneRoot;
// The scene's only camera (owned by the root). The fleet update moves it in
// the chase view, the camera views in the others.
extern SoPerspectiveCamera* sceneCamera;
// The animation sensor; never unscheduled or deleted.
extern SoOneShotSensor* tickSensor;
// Seed of the cloud whose density field is being built.
extern int32_t noiseSeed;
