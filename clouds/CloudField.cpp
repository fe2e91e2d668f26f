#include "clouds/CloudField.h"

#include "clouds/Truncate.h"
#include "numeric/Elementary.h"
#include "state/Globals.h"

#include <algorithm>
#include <cstring>

float CloudField[65][65][65];
float cloudAmplitude = 0.58f;
int16_t cloudCover = 99;
float cloudSharpness = 0.95f;

namespace {

struct Offset {
  int dx, dy, dz;
};

// The smoothing's summation order: corners and edges (1/80), faces (1/24),
// centre (1/4). The order fixes the single-precision running sums.
constexpr Offset kNeighbourhood[27] = {
    {-1, -1, +1}, {-1, +1, +1}, {+1, -1, +1}, {+1, +1, +1}, {-1, -1, -1}, {-1, +1, -1},
    {+1, -1, -1}, {+1, +1, -1}, {0, +1, +1},  {0, -1, +1},  {0, +1, -1},  {0, -1, -1},
    {+1, 0, +1},  {-1, 0, +1},  {+1, 0, -1},  {-1, 0, -1},  {+1, +1, 0},  {+1, -1, 0},
    {-1, +1, 0},  {-1, -1, 0},  {+1, 0, 0},   {-1, 0, 0},   {0, +1, 0},   {0, -1, 0},
    {0, 0, +1},   {0, 0, -1},   {0, 0, 0},
};

// Unsigned throughout so that the wrapping is defined behaviour.
float hashNoise(uint32_t x, uint32_t y, uint32_t z, uint32_t seed) {
  uint32_t n = x + 57u * y + 13u * z + seed;
  n = n ^ (n << 13);
  uint32_t t = n * n;
  t = t * 15731u;
  t = t + 789221u;
  uint32_t r = n * t + 1376312589u;
  r = r & 0x7fffffffu;
  const float v = static_cast<float>(1.0 - static_cast<double>(r) / 1073741824.0);
  return v >= 0.0f ? v : -v;
}

// The smoothing of `count` points side by side: `noise(o, q)` yields
// latticeNoise at neighbourhood offset o of point q. The points' sums are
// independent, so they can overlap; each keeps its own order of terms.
template <int count, class Noise>
void smoothSums(const Noise& noise, double* out) {
  float a[count] = {};
  for (int o = 0; o < 20; ++o) {
    for (int q = 0; q < count; ++q) {
      a[q] = static_cast<float>(static_cast<double>(noise(o, q)) + static_cast<double>(a[q]));
    }
  }
  float b[count] = {};
  for (int o = 20; o < 26; ++o) {
    for (int q = 0; q < count; ++q) {
      b[q] = static_cast<float>(static_cast<double>(noise(o, q)) + static_cast<double>(b[q]));
    }
  }
  for (int q = 0; q < count; ++q) {
    const float t =
        static_cast<float>(static_cast<double>(a[q]) / 80.0 + static_cast<double>(b[q]) / 24.0);
    out[q] = static_cast<double>(noise(26, q)) / 4.0 + static_cast<double>(t);
  }
}

// Inclusive index range, the same on all three axes.
struct Range {
  int lo, hi;
};

// Where a doubling of a lattice of n points can be non-zero, given where its
// source can be: each source point reaches its midpoints on both sides.
Range doubledRange(Range source, int n) {
  return {std::max(2 * source.lo - 1, 0), std::min(2 * source.hi + 1, 2 * n - 2)};
}

constexpr Range unite(Range a, Range b) { return {std::min(a.lo, b.lo), std::max(a.hi, b.hi)}; }

// Octave o adds noise at lattice indices 2*2^o .. 6*2^o-1: the central half.
constexpr Range octaveRange(int octave) { return {2 << octave, (6 << octave) - 1}; }

// The noise of octave 2's points and their neighbours: 8..23 and one more on each side.
constexpr int kMaxCube = 18;
static_assert(octaveRange(2).hi - octaveRange(2).lo + 3 == kMaxCube,
              "the largest octave fits the cube");

// Adds (or, for the first octave, assigns) smoothed noise times `amplitude` at
// lattice indices r.lo..r.hi. Each lattice point's hash is computed once and
// shared by the 27-point neighbourhoods that read it; the sums keep their
// order, so the values equal smoothNoise's to the bit.
void addOctave(float* lattice, int n, Range r, double amplitude, bool assign) {
  const int size = r.hi - r.lo + 3;
  const int origin = r.lo - 1;
  const uint32_t seed = static_cast<uint32_t>(noiseSeed);
  static float cube[kMaxCube * kMaxCube * kMaxCube];
  for (int x = 0; x < size; ++x) {
    for (int y = 0; y < size; ++y) {
      for (int z = 0; z < size; ++z) {
        cube[(x * size + y) * size + z] =
            hashNoise(static_cast<uint32_t>(origin + x), static_cast<uint32_t>(origin + y),
                      static_cast<uint32_t>(origin + z), seed);
      }
    }
  }
  int step[27];
  for (int o = 0; o < 27; ++o) {
    step[o] = (kNeighbourhood[o].dx * size + kNeighbourhood[o].dy) * size + kNeighbourhood[o].dz;
  }
  // Four neighbouring points of a row at a time.
  static_assert((octaveRange(0).hi - octaveRange(0).lo + 1) % 4 == 0,
                "rows of 4, 8 and 16 split into fours");
  for (int i = r.lo; i <= r.hi; ++i) {
    for (int j = r.lo; j <= r.hi; ++j) {
      for (int k = r.lo; k <= r.hi; k += 4) {
        const float* centre = &cube[((i - origin) * size + (j - origin)) * size + (k - origin)];
        double s[4];
        smoothSums<4>([centre, &step](int o, int q) { return centre[step[o] + q]; }, s);
        float* cells = &lattice[(i * n + j) * n + k];
        for (int q = 0; q < 4; ++q) {
          cells[q] = assign ? static_cast<float>(s[q] * amplitude)
                            : static_cast<float>(s[q] * amplitude + static_cast<double>(cells[q]));
        }
      }
    }
  }
}

// One destination row of the doubling, for the parity of its first two
// indices: `ll`, `lh`, `hl` and `hh` are the source rows at (i/2, j/2),
// (i/2, (j+1)/2), ((i+1)/2, j/2) and ((i+1)/2, (j+1)/2). The terms of each
// cell are summed in the order of the step that writes it.
template <bool iOdd, bool jOdd, class Store>
void doubleRow(const float* ll, const float* lh, const float* hl, const float* hh, float* row,
               Range out, Store store) {
  for (int K = out.lo; K <= out.hi; ++K) {
    double v;
    if (K % 2 == 0) {
      const int k = K / 2;
      if (!iOdd && !jOdd) {
        v = ll[k];
      } else if (!iOdd) {
        v = (double(ll[k]) + double(lh[k])) / 2.0;
      } else if (!jOdd) {
        v = (double(ll[k]) + double(hl[k])) / 2.0;
      } else {
        v = (double(hl[k]) + double(lh[k]) + double(ll[k]) + double(hh[k])) / 4.0;
      }
    } else {
      const int l = K / 2, h = K / 2 + 1;
      if (!iOdd && !jOdd) {
        v = (double(ll[l]) + double(ll[h])) / 2.0;
      } else if (!iOdd) {
        v = (double(lh[l]) + double(ll[h]) + double(ll[l]) + double(lh[h])) / 4.0;
      } else if (!jOdd) {
        v = (double(hl[l]) + double(ll[h]) + double(ll[l]) + double(hl[h])) / 4.0;
      } else {
        v = (double(hh[l]) + double(hl[h]) + double(lh[h]) + double(hl[l]) + double(lh[l]) +
             double(ll[h]) + double(ll[l]) + double(hh[h])) /
            8.0;
      }
    }
    store(row[K], static_cast<float>(v));
  }
}

// Destination row (I, J) of the doubling of `src` (n points per axis), for
// the cells K in `ks`. Every cell that the step-by-step doubling reads has
// even indices and holds a plain copy of a source cell, so each destination
// cell is computed straight from the source cells around it.
template <class Store>
void doubleRowAt(const float* src, int n, int I, int J, float* row, Range ks, Store store) {
  const auto S = [src, n](int i, int j) { return &src[(i * n + j) * n]; };
  const int il = I / 2, ih = (I + 1) / 2;
  const int jl = J / 2, jh = (J + 1) / 2;
  const float* ll = S(il, jl);
  const float* lh = S(il, jh);
  const float* hl = S(ih, jl);
  const float* hh = S(ih, jh);
  if (I % 2 == 0 && J % 2 == 0) {
    doubleRow<false, false>(ll, lh, hl, hh, row, ks, store);
  } else if (I % 2 == 0) {
    doubleRow<false, true>(ll, lh, hl, hh, row, ks, store);
  } else if (J % 2 == 0) {
    doubleRow<true, false>(ll, lh, hl, hh, row, ks, store);
  } else {
    doubleRow<true, true>(ll, lh, hl, hh, row, ks, store);
  }
}

// The doubling for the destination cells with every index in `out`.
// `store(cell, value)` writes a finished cell.
template <class Store>
void doubleCells(const float* src, int n, float* dst, int dstSize, Range out, Store store) {
  for (int I = out.lo; I <= out.hi; ++I) {
    for (int J = out.lo; J <= out.hi; ++J) {
      doubleRowAt(src, n, I, J, &dst[(static_cast<size_t>(I) * dstSize + J) * dstSize], out, store);
    }
  }
}

void storeAsIs(float& cell, float value) { cell = value; }

// The shaping of one value. Only a few hundred exponents ever occur, so each
// density is computed once per pass, with the same pow, and looked up after.
class Shaper {
 public:
  Shaper() : base_(static_cast<double>(cloudSharpness)), cover_(static_cast<double>(cloudCover)) {
    std::memset(known_, 0, sizeof known_);
  }

  // True when v, and so every value not above it, shapes to 0.
  bool isClear(float v) const { return static_cast<double>(v) * 255.0 - cover_ < 1.0; }

  float operator()(float v) {
    const double x = static_cast<double>(v) * 255.0 - cover_;
    if (x < 1.0) {
      return 0.0f;  // b truncates to 0 or below: pow(base, 0) = 1
    }
    const int32_t b = truncateToInt32(x);  // NaN gives 0 and density 0
    if (b >= kTable) {
      return density(b);
    }
    if (!known_[b]) {
      table_[b] = density(b);
      known_[b] = true;
    }
    return table_[b];
  }

 private:
  static constexpr int kTable = 1024;

  float density(int32_t b) const {
    return static_cast<float>(
        truncateToInt32(255.0 - numeric::pown(base_, static_cast<uint32_t>(b)) * 255.0));
  }

  double base_;
  double cover_;
  float table_[kTable];
  bool known_[kTable];
};

void shapeBox(Shaper& shape, int i0, int i1, int j0, int j1, int k0, int k1) {
  for (int i = i0; i <= i1; ++i) {
    for (int j = j0; j <= j1; ++j) {
      for (int k = k0; k <= k1; ++k) {
        float& cell = CloudField[i][j][k];
        cell = shape(cell);
      }
    }
  }
}

// Sets cells to +0.0, writing only when one is not: reading the grid is
// cheaper than writing it, and after a fill it is almost all zero already.
void clearCells(float* cells, int count) {
  uint32_t any = 0;
  for (int c = 0; c < count; ++c) {
    uint32_t bits;
    std::memcpy(&bits, &cells[c], sizeof bits);
    any |= bits;
  }
  if (any != 0) {
    std::memset(cells, 0, static_cast<size_t>(count) * sizeof(float));
  }
}

float level0[8][8][8];
float level1[16][16][16];
float level2[32][32][32];

// Computes the three octaves into the scratch lattices and returns the
// cube of level 2 outside which it is exactly 0.
Range computeLattices() {
  std::memset(level0, 0, sizeof level0);
  std::memset(level1, 0, sizeof level1);
  std::memset(level2, 0, sizeof level2);
  const double amplitude = static_cast<double>(cloudAmplitude);

  Range live = octaveRange(0);
  addOctave(&level0[0][0][0], 8, live, amplitude, true);

  live = doubledRange(live, 8);
  doubleCells(&level0[0][0][0], 8, &level1[0][0][0], 16, live, storeAsIs);
  addOctave(&level1[0][0][0], 16, octaveRange(1), amplitude / 2.0, false);
  live = unite(live, octaveRange(1));

  live = doubledRange(live, 16);
  doubleCells(&level1[0][0][0], 16, &level2[0][0][0], 32, live, storeAsIs);
  addOctave(&level2[0][0][0], 32, octaveRange(2), amplitude / 4.0, false);
  return unite(live, octaveRange(2));
}

void clearCloudFieldBelow63() {
  for (int i = 0; i < 63; ++i) {
    for (int j = 0; j < 63; ++j) {
      clearCells(&CloudField[i][j][0], 63);
    }
  }
}

// The last doubling with the shaping of each cell as it is computed. A
// doubled cell is an average, never above the largest of its source cells,
// and the shaping never decreases with the value; so a cell whose source
// cells all shape to 0 shapes to 0 too, and only the stretch of each row
// next to source cells that do not is computed. The rest stays cleared.
void doubleAndShape(const float* src, Range out, Shaper& shape) {
  constexpr int n = 32;
  struct Span {
    int lo = n, hi = -1;
  };
  static Span spans[n][n];
  const Range sources = {out.lo / 2, (out.hi + 1) / 2};
  for (int i = sources.lo; i <= sources.hi; ++i) {
    for (int j = sources.lo; j <= sources.hi; ++j) {
      Span span;
      const float* row = &src[(i * n + j) * n];
      for (int k = sources.lo; k <= sources.hi; ++k) {
        if (!shape.isClear(row[k])) {
          span.lo = std::min(span.lo, k);
          span.hi = k;
        }
      }
      spans[i][j] = span;
    }
  }
  const auto shaped = [&shape](float& cell, float value) { cell = shape(value); };
  for (int I = out.lo; I <= out.hi; ++I) {
    for (int J = out.lo; J <= out.hi; ++J) {
      int lo = n, hi = -1;
      for (int i : {I / 2, (I + 1) / 2}) {
        for (int j : {J / 2, (J + 1) / 2}) {
          lo = std::min(lo, spans[i][j].lo);
          hi = std::max(hi, spans[i][j].hi);
        }
      }
      if (hi < lo) {
        continue;
      }
      const Range ks = {std::max(out.lo, 2 * lo - 1), std::min(out.hi, 2 * hi + 1)};
      doubleRowAt(src, n, I, J, &CloudField[I][J][0], ks, shaped);
    }
  }
}

}  // namespace

float latticeNoise(int32_t x, int32_t y, int32_t z) {
  return hashNoise(static_cast<uint32_t>(x), static_cast<uint32_t>(y), static_cast<uint32_t>(z),
                   static_cast<uint32_t>(noiseSeed));
}

double smoothNoise(int32_t x, int32_t y, int32_t z) {
  const uint32_t ux = static_cast<uint32_t>(x);
  const uint32_t uy = static_cast<uint32_t>(y);
  const uint32_t uz = static_cast<uint32_t>(z);
  const uint32_t seed = static_cast<uint32_t>(noiseSeed);
  double s;
  smoothSums<1>(
      [&](int o, int) {
        const Offset& d = kNeighbourhood[o];
        return hashNoise(ux + static_cast<uint32_t>(d.dx), uy + static_cast<uint32_t>(d.dy),
                         uz + static_cast<uint32_t>(d.dz), seed);
      },
      &s);
  return s;
}

void upsampleLattice(const float* src, int n, float* dst, int dstSize) {
  doubleCells(src, n, dst, dstSize, {0, 2 * n - 2}, storeAsIs);
}

void fillCloudNoise() {
  const Range live = doubledRange(computeLattices(), 32);
  clearCloudFieldBelow63();
  doubleCells(&level2[0][0][0], 32, &CloudField[0][0][0], 65, live, storeAsIs);
}

void shapeCloudField() {
  Shaper shape;
  shapeBox(shape, 0, 63, 0, 63, 0, 63);
}

void fillCloudField() {
  Shaper shape;
  if (!shape.isClear(0.0f)) {
    // A cover below 0 lifts even clear air: every cell needs its shaping.
    fillCloudNoise();
    shapeCloudField();
    return;
  }
  const Range live = doubledRange(computeLattices(), 32);
  clearCloudFieldBelow63();
  doubleAndShape(&level2[0][0][0], live, shape);
  // Plane 63 is never written by the doubling but is shaped like the rest.
  shapeBox(shape, 63, 63, 0, 63, 0, 63);
  shapeBox(shape, 0, 62, 63, 63, 0, 63);
  shapeBox(shape, 0, 62, 0, 62, 63, 63);
}
