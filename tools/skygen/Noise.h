#pragma once
// Small deterministic 2-D value noise for the texture generator. Lattice
// values come from an integer hash, so the output is the same on every
// platform and run.

#include <cstdint>

namespace skygen {

// Well-mixed 32-bit hash of a lattice point.
uint32_t hash2(uint32_t x, uint32_t y, uint32_t seed);

// Hash mapped to [0, 1].
double hashUnit(uint32_t x, uint32_t y, uint32_t seed);

// Smoothly interpolated lattice noise in [0, 1]. With period > 0 the lattice
// wraps every `period` units, which makes the noise tile.
double valueNoise(double x, double y, uint32_t seed, uint32_t period = 0);

// Sum of `octaves` noise layers, each at twice the frequency and half the
// weight of the one before, normalised back to [0, 1]. A non-zero period
// applies to the first octave and doubles with each one, so tiling holds.
double fractalNoise(double x, double y, int octaves, uint32_t seed, uint32_t period = 0);

}  // namespace skygen
