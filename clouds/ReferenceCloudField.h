#pragma once
// The cloud density field evaluated literally, formula by formula: every hash
// afresh, every cell doubled, one pow per cell. The production fill takes
// shortcuts and must match this to the bit. It lives here, beside the fast
// fill, so that the tests and the benchmark can both include it: nothing
// outside tests/ includes a test header. The program never includes it.

#include "clouds/Truncate.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace reference {

constexpr int kGrid = 65;

inline float latticeNoise(int32_t seed, int32_t x, int32_t y, int32_t z) {
  uint32_t n = static_cast<uint32_t>(x) + 57u * static_cast<uint32_t>(y) +
               13u * static_cast<uint32_t>(z) + static_cast<uint32_t>(seed);
  n = n ^ (n << 13);
  uint32_t t = n * n;
  t = t * 15731u;
  t = t + 789221u;
  uint32_t r = n * t + 1376312589u;
  r = r & 0x7fffffffu;
  float v = static_cast<float>(1.0 - static_cast<double>(r) / 1073741824.0);
  return v >= 0.0f ? v : -v;
}

// Offsets wrap like the hash does.
inline int32_t wrapAdd(int32_t a, int d) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(d));
}

inline double smoothNoise(int32_t seed, int32_t x, int32_t y, int32_t z) {
  static const int kOffsets[26][3] = {
      {-1, -1, +1}, {-1, +1, +1}, {+1, -1, +1}, {+1, +1, +1}, {-1, -1, -1}, {-1, +1, -1},
      {+1, -1, -1}, {+1, +1, -1}, {0, +1, +1},  {0, -1, +1},  {0, +1, -1},  {0, -1, -1},
      {+1, 0, +1},  {-1, 0, +1},  {+1, 0, -1},  {-1, 0, -1},  {+1, +1, 0},  {+1, -1, 0},
      {-1, +1, 0},  {-1, -1, 0},  {+1, 0, 0},   {-1, 0, 0},   {0, +1, 0},   {0, -1, 0},
      {0, 0, +1},   {0, 0, -1},
  };
  float a = 0.0f;
  for (int o = 0; o < 20; ++o) {
    const float noise = latticeNoise(seed, wrapAdd(x, kOffsets[o][0]), wrapAdd(y, kOffsets[o][1]),
                                     wrapAdd(z, kOffsets[o][2]));
    a = static_cast<float>(static_cast<double>(noise) + static_cast<double>(a));
  }
  float b = 0.0f;
  for (int o = 20; o < 26; ++o) {
    const float noise = latticeNoise(seed, wrapAdd(x, kOffsets[o][0]), wrapAdd(y, kOffsets[o][1]),
                                     wrapAdd(z, kOffsets[o][2]));
    b = static_cast<float>(static_cast<double>(noise) + static_cast<double>(b));
  }
  const float t = static_cast<float>(static_cast<double>(a) / 80.0 + static_cast<double>(b) / 24.0);
  return static_cast<double>(latticeNoise(seed, x, y, z)) / 4.0 + static_cast<double>(t);
}

// S has n points per axis, densely packed; D has m points per axis.
inline void upsampleLattice(const float* S, int n, float* D, int m) {
  auto at = [D, m](int i, int j, int k) -> float& {
    return D[(static_cast<size_t>(i) * m + j) * m + k];
  };
  auto d = [&at](int i, int j, int k) { return static_cast<double>(at(i, j, k)); };
  for (int i = 0; i <= 2 * n - 2; i += 2) {
    for (int j = 0; j <= 2 * n - 2; j += 2) {
      for (int k = 0; k <= 2 * n - 2; k += 2) {
        at(i, j, k) = S[((i / 2) * n + j / 2) * n + k / 2];
        if (k >= 2) {
          at(i, j, k - 1) = static_cast<float>((d(i, j, k - 2) + d(i, j, k)) / 2.0);
        }
        if (j >= 2) {
          at(i, j - 1, k) = static_cast<float>((d(i, j - 2, k) + d(i, j, k)) / 2.0);
        }
        if (i >= 2) {
          at(i - 1, j, k) = static_cast<float>((d(i - 2, j, k) + d(i, j, k)) / 2.0);
        }
        if (k >= 2 && j >= 2) {
          at(i, j - 1, k - 1) = static_cast<float>(
              (d(i, j, k - 2) + d(i, j - 2, k) + d(i, j - 2, k - 2) + d(i, j, k)) / 4.0);
        }
        if (k >= 2 && i >= 2) {
          at(i - 1, j, k - 1) = static_cast<float>(
              (d(i, j, k - 2) + d(i - 2, j, k) + d(i - 2, j, k - 2) + d(i, j, k)) / 4.0);
        }
        if (j >= 2 && i >= 2) {
          at(i - 1, j - 1, k) = static_cast<float>(
              (d(i, j - 2, k) + d(i - 2, j, k) + d(i - 2, j - 2, k) + d(i, j, k)) / 4.0);
        }
        if (k >= 2 && j >= 2 && i >= 2) {
          at(i - 1, j - 1, k - 1) = static_cast<float>(
              (d(i, j, k - 2) + d(i, j - 2, k) + d(i - 2, j, k) + d(i, j - 2, k - 2) +
               d(i - 2, j, k - 2) + d(i - 2, j - 2, k) + d(i - 2, j - 2, k - 2) + d(i, j, k)) /
              8.0);
        }
      }
    }
  }
}

inline float shapeValue(float v, int16_t cover, float sharpness) {
  int32_t b = truncateToInt32(static_cast<double>(v) * 255.0 - static_cast<double>(cover));
  if (b < 0) {
    b = 0;
  }
  const double d = 255.0 - std::pow(static_cast<double>(sharpness), static_cast<double>(b)) * 255.0;
  return static_cast<float>(truncateToInt32(d));
}

// The noise sum into `field` (65^3 floats), before shaping.
inline void fillNoise(int32_t seed, float amplitude, float* field) {
  std::vector<float> level0(8 * 8 * 8, 0.0f);
  std::vector<float> level1(16 * 16 * 16, 0.0f);
  std::vector<float> level2(32 * 32 * 32, 0.0f);
  for (int i = 2; i <= 5; ++i) {
    for (int j = 2; j <= 5; ++j) {
      for (int k = 2; k <= 5; ++k) {
        level0[(i * 8 + j) * 8 + k] =
            static_cast<float>(smoothNoise(seed, i, j, k) * static_cast<double>(amplitude));
      }
    }
  }
  upsampleLattice(level0.data(), 8, level1.data(), 16);
  for (int i = 4; i <= 11; ++i) {
    for (int j = 4; j <= 11; ++j) {
      for (int k = 4; k <= 11; ++k) {
        float& cell = level1[(i * 16 + j) * 16 + k];
        cell =
            static_cast<float>(smoothNoise(seed, i, j, k) * (static_cast<double>(amplitude) / 2.0) +
                               static_cast<double>(cell));
      }
    }
  }
  upsampleLattice(level1.data(), 16, level2.data(), 32);
  for (int i = 8; i <= 23; ++i) {
    for (int j = 8; j <= 23; ++j) {
      for (int k = 8; k <= 23; ++k) {
        float& cell = level2[(i * 32 + j) * 32 + k];
        cell =
            static_cast<float>(smoothNoise(seed, i, j, k) * (static_cast<double>(amplitude) / 4.0) +
                               static_cast<double>(cell));
      }
    }
  }
  upsampleLattice(level2.data(), 32, field, kGrid);
}

inline void shape(float* field, int16_t cover, float sharpness) {
  for (int i = 0; i < 64; ++i) {
    for (int j = 0; j < 64; ++j) {
      for (int k = 0; k < 64; ++k) {
        float& cell = field[(i * kGrid + j) * kGrid + k];
        cell = shapeValue(cell, cover, sharpness);
      }
    }
  }
}

// One whole fill with the stock tuning values, in place like the real one.
inline void fill(int32_t seed, float* field) {
  fillNoise(seed, 0.58f, field);
  shape(field, 99, 0.95f);
}

}  // namespace reference
