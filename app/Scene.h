#pragma once
// Assembly of the whole scene, shared by the program, its tools and tests.

#include <cstdint>

class SoSeparator;

// The C runtime's classic linear congruential generator. The cloud seeds
// are its first 36 values, whatever the platform's own rand() would give.
struct SceneRandom {
  uint32_t state = 1;
  int32_t next() {
    state = state * 214013u + 2531011u;
    return static_cast<int32_t>((state >> 16) & 0x7FFFu);
  }
};

// The generator the scene draws its cloud seeds from; never reseeded.
extern SceneRandom sceneRandom;

// Called once per cloud of the grid, in building order, with its offset.
using CloudBuiltHook = void (*)(int index, int32_t seed, float x, float y, float z);

// Builds the scene under a new, referenced sceneRoot: camera, sky box, fog,
// material, sun and light, the 6 x 6 cloud grid, the aircraft of
// PlaneList.txt (the loader ends the process on a bad list), the scheduled
// tick sensor and, first of all, the keyboard callback node. Needs Coin's
// database and the volume nodes initialised. Returns sceneRoot.
SoSeparator* buildScene(CloudBuiltHook onCloud = nullptr);
