#pragma once
// Assembly of the whole scene, shared by the program, its tools and tests.

#include "clouds/CloudSeeds.h"

#include <cstdint>

class SoGroup;
class SoPerspectiveCamera;
class SoSeparator;

// The camera's fixed lens: near and far planes, vertical field of view in
// radians (about 50.7 degrees).
constexpr float kCameraNear = 0.1f;
constexpr float kCameraFar = 4096.0f;
constexpr float kCameraHeightAngle = 0.885398f;

// The generator the scene draws its cloud seeds from; never reseeded.
extern SceneRandom sceneRandom;

// Called once per cloud of the grid, in building order, with its offset.
using CloudBuiltHook = void (*)(int index, int32_t seed, float x, float y, float z);

// A new, unreferenced camera with the scene's lens.
SoPerspectiveCamera* buildCamera();

// Adds the 6 x 6 cloud grid to `parent`, row by row, setting noiseSeed from
// `random` before each cloud.
void addCloudGrid(SoGroup* parent, SceneRandom& random, CloudBuiltHook onCloud = nullptr);

// Builds the scene under a new, referenced sceneRoot: camera, sky box, fog,
// material, sun and light, the 6 x 6 cloud grid, the aircraft of
// PlaneList.txt (the loader ends the process on a bad list), the scheduled
// tick sensor and, first of all, the keyboard callback node. Needs Coin's
// database and the volume nodes initialised. Returns sceneRoot.
SoSeparator* buildScene(CloudBuiltHook onCloud = nullptr);
