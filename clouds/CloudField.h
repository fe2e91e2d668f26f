#pragma once
// The cloud density field: three octaves of smoothed integer-hash value noise
// on lattices of 8, 16 and 32 points per axis, doubled onto a 64-point grid and
// shaped into whole densities 0..255. One shared grid, rewritten for each cloud
// from `noiseSeed` (state/Globals.h). Single-threaded, not reentrant.
//
// Every value is determined to the bit: the hash wraps modulo 2^32, arithmetic
// is IEEE double, and values are rounded to single precision exactly where they
// are stored (noise result, smoothing sums, lattice cells, grid cells).

#include <cstdint>

// Indexed [i][j][k], k fastest; i feeds the noise x, j y, k z. A fill writes
// indices 0..62 and reshapes 0..63; the planes at 64 are never touched.
extern float CloudField[65][65][65];

// Tuning values: amplitude of the coarsest octave (the finer ones use 1/2 and
// 1/4 of it), the density threshold on the 0..255 scale, and the shaping base.
extern float cloudAmplitude;
extern int16_t cloudCover;
extern float cloudSharpness;

// Hash noise at one lattice point, in 0..1. Pure in its arguments and noiseSeed.
float latticeNoise(int32_t x, int32_t y, int32_t z);

// Weighted 3x3x3 neighbourhood of latticeNoise around (x, y, z), in 0..0.75.
double smoothNoise(int32_t x, int32_t y, int32_t z);

// Doubles the lattice `src` (n points per axis, densely packed) onto `dst`,
// a cube of `dstSize` points per axis (2n for a scratch lattice, 65 for
// CloudField), with linear midpoints. Writes indices 0..2n-2 and never the
// plane 2n-1. Requires 1 <= n and 2n <= dstSize.
void upsampleLattice(const float* src, int n, float* dst, int dstSize);

// Computes the noise sum of the current noiseSeed into CloudField without
// shaping it; fillCloudField() is this followed by the shaping.
void fillCloudNoise();

// Rewrites every CloudField cell with indices 0..63 as a whole density 0..255.
void shapeCloudField();

// One cloud: fillCloudNoise() then the shaping.
void fillCloudField();
