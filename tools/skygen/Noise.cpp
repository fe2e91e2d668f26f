#include "tools/skygen/Noise.h"

#include <cmath>

namespace skygen {

uint32_t hash2(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = seed * 0x9E3779B9u;
  h ^= x * 0x85EBCA6Bu;
  h = (h << 13) | (h >> 19);
  h ^= y * 0xC2B2AE35u;
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return h;
}

double hashUnit(uint32_t x, uint32_t y, uint32_t seed) {
  return static_cast<double>(hash2(x, y, seed)) / 4294967295.0;
}

namespace {

// floor() as a lattice index; coordinates far outside any texture map to 0
// instead of overflowing the conversion.
int64_t latticeIndex(double v) {
  const double f = std::floor(v);
  if (!(std::fabs(f) < 1e15)) return 0;
  return static_cast<int64_t>(f);
}

uint32_t wrapIndex(int64_t i, uint32_t period) {
  if (period == 0) return static_cast<uint32_t>(i);  // modulo 2^32, well defined
  const int64_t p = period;
  return static_cast<uint32_t>(((i % p) + p) % p);
}

double smooth(double t) { return t * t * (3.0 - 2.0 * t); }

}  // namespace

double valueNoise(double x, double y, uint32_t seed, uint32_t period) {
  const int64_t ix = latticeIndex(x);
  const int64_t iy = latticeIndex(y);
  const double fx = smooth(x - std::floor(x));
  const double fy = smooth(y - std::floor(y));
  const uint32_t x0 = wrapIndex(ix, period), x1 = wrapIndex(ix + 1, period);
  const uint32_t y0 = wrapIndex(iy, period), y1 = wrapIndex(iy + 1, period);
  const double a = hashUnit(x0, y0, seed), b = hashUnit(x1, y0, seed);
  const double c = hashUnit(x0, y1, seed), d = hashUnit(x1, y1, seed);
  const double bottom = a + (b - a) * fx;
  const double top = c + (d - c) * fx;
  return bottom + (top - bottom) * fy;
}

double fractalNoise(double x, double y, int octaves, uint32_t seed, uint32_t period) {
  double sum = 0.0, weight = 1.0, total = 0.0, freq = 1.0;
  for (int o = 0; o < octaves; ++o) {
    sum += weight * valueNoise(x * freq, y * freq, seed + static_cast<uint32_t>(o) * 101u,
                               period == 0 ? 0u : period << o);
    total += weight;
    weight *= 0.5;
    freq *= 2.0;
  }
  return total > 0.0 ? sum / total : 0.0;
}

}  // namespace skygen
