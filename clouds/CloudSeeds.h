#pragma once
// Where the clouds' seeds come from: the C runtime's classic linear
// congruential generator, started at 1 and never reseeded. The scene's 36
// cloud seeds are its first 36 values, whatever the platform's own rand()
// would give.

#include <cstdint>
#include <vector>

struct SceneRandom {
  uint32_t state = 1;
  // 0 to 32767; the state wraps modulo 2^32.
  int32_t next() {
    state = state * 214013u + 2531011u;
    return static_cast<int32_t>((state >> 16) & 0x7FFFu);
  }
};

// The seeds of the scene's 36 clouds, in building order.
inline std::vector<int32_t> startupCloudSeeds() {
  std::vector<int32_t> seeds;
  SceneRandom random;
  for (int c = 0; c < 36; ++c) seeds.push_back(random.next());
  return seeds;
}
