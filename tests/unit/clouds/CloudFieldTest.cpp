#include "clouds/CloudField.h"
#include "clouds/CloudSeeds.h"
#include "clouds/ReferenceCloudField.h"
#include "state/Globals.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kCells = 65 * 65 * 65;

float* field() { return &CloudField[0][0][0]; }

std::vector<float> snapshot() { return std::vector<float>(field(), field() + kCells); }

void fillWithSeed(int32_t seed) {
  noiseSeed = seed;
  fillCloudField();
}

struct Figures {
  int nonZero = 0;
  float largest = 0.0f;
  int windowNonZero = 0;
  double windowSum = 0.0;
};

// Counts over the 64^3 cells a fill shapes, and over the window 20..43 that
// the cloud node samples.
Figures figures() {
  Figures f;
  for (int i = 0; i < 64; ++i) {
    for (int j = 0; j < 64; ++j) {
      for (int k = 0; k < 64; ++k) {
        const float v = CloudField[i][j][k];
        if (v != 0.0f) {
          ++f.nonZero;
        }
        f.largest = std::max(f.largest, v);
        const bool inWindow = i >= 20 && i <= 43 && j >= 20 && j <= 43 && k >= 20 && k <= 43;
        if (inWindow && v != 0.0f) {
          ++f.windowNonZero;
          f.windowSum += v;
        }
      }
    }
  }
  return f;
}

bool sameBits(const float* a, const float* b, size_t count) {
  return std::memcmp(a, b, count * sizeof(float)) == 0;
}

// Leaves the tuning values and the grid as a fresh process has them.
class CloudFieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(CloudField, 0, sizeof CloudField);
    noiseSeed = 0;
  }
  void TearDown() override {
    std::memset(CloudField, 0, sizeof CloudField);
    noiseSeed = 0;
    cloudAmplitude = 0.58f;
    cloudCover = 99;
    cloudSharpness = 0.95f;
  }
};

}  // namespace

TEST_F(CloudFieldTest, TuningValuesStartAtTheirStockValues) {
  EXPECT_EQ(static_cast<double>(cloudAmplitude), 0.5799999833106995);
  EXPECT_EQ(cloudCover, 99);
  EXPECT_EQ(static_cast<double>(cloudSharpness), 0.949999988079071);
}

TEST_F(CloudFieldTest, LatticeNoiseMatchesTheKnownHashesForSeedZero) {
  noiseSeed = 0;
  EXPECT_EQ(latticeNoise(0, 0, 0), 0.281790972f);
  EXPECT_EQ(latticeNoise(1, 0, 0), 0.226373047f);
  EXPECT_EQ(latticeNoise(0, 1, 0), 0.204343989f);
  EXPECT_EQ(latticeNoise(0, 0, 1), 0.451326042f);
  EXPECT_EQ(latticeNoise(2, 2, 2), 0.799628556f);
  EXPECT_EQ(latticeNoise(-1, -1, -1), 0.147792771f);
}

TEST_F(CloudFieldTest, LatticeNoiseAddsTheSeedBeforeTheShift) {
  noiseSeed = 41;
  EXPECT_EQ(latticeNoise(0, 0, 0), 0.53942138f);
  // The seed is just another term of the sum: seed 1 at x 0 equals x 1 at seed 0.
  noiseSeed = 1;
  const float seeded = latticeNoise(0, 0, 0);
  noiseSeed = 0;
  EXPECT_EQ(seeded, latticeNoise(1, 0, 0));
}

TEST_F(CloudFieldTest, LatticeNoiseWrapsForExtremeCoordinatesAndSeeds) {
  const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -46341,  -1,       0,
                              1,         46341,         1 << 30, INT32_MAX};
  for (int32_t seed : {INT32_MIN, -7, 0, 32767, INT32_MAX}) {
    noiseSeed = seed;
    for (int32_t x : extremes) {
      for (int32_t y : extremes) {
        for (int32_t z : {INT32_MIN, 0, INT32_MAX}) {
          const float v = latticeNoise(x, y, z);
          EXPECT_EQ(v, reference::latticeNoise(seed, x, y, z))
              << seed << " " << x << " " << y << " " << z;
          EXPECT_GE(v, 0.0f);
          EXPECT_LE(v, 1.0f);
        }
      }
    }
  }
  // 13 * 2^31 wraps to 2^31, the pattern of x = INT32_MIN or of that seed.
  noiseSeed = 0;
  EXPECT_EQ(latticeNoise(0, 0, INT32_MIN), latticeNoise(INT32_MIN, 0, 0));
  const float viaCoordinate = latticeNoise(INT32_MIN, 0, 0);
  noiseSeed = INT32_MIN;
  EXPECT_EQ(latticeNoise(0, 0, 0), viaCoordinate);
}

TEST_F(CloudFieldTest, SmoothNoiseMatchesTheKnownValuesForSeedZero) {
  noiseSeed = 0;
  EXPECT_EQ(smoothNoise(2, 2, 2), 0.41370391845703125);
  EXPECT_EQ(smoothNoise(4, 4, 4), 0.5040775686502457);
  EXPECT_EQ(smoothNoise(8, 8, 8), 0.2785218581557274);
  // The first octave scales by the stored float amplitude widened to double.
  EXPECT_EQ(static_cast<float>(smoothNoise(2, 2, 2) * static_cast<double>(cloudAmplitude)),
            0.239948273f);
}

TEST_F(CloudFieldTest, SmoothNoiseWrapsItsNeighbourhoodAtTheIntegerLimits) {
  for (int32_t seed : {INT32_MIN, -1, 0, 41, INT32_MAX}) {
    noiseSeed = seed;
    for (int32_t c : {INT32_MIN, INT32_MAX, -1, 0}) {
      const double v = smoothNoise(c, 5, c);
      EXPECT_EQ(v, reference::smoothNoise(seed, c, 5, c)) << seed << " " << c;
      EXPECT_GE(v, 0.0);
      EXPECT_LE(v, 0.75);
    }
  }
  // Only x + seed enters the hash, so moving 2^31 from one to the other
  // changes nothing, even where the neighbourhood steps over the limit.
  noiseSeed = 0;
  const double atLimit = smoothNoise(INT32_MAX, 3, 4);
  noiseSeed = INT32_MIN;
  EXPECT_EQ(smoothNoise(-1, 3, 4), atLimit);
}

TEST_F(CloudFieldTest, DoublingSpreadsOneCellTrilinearly) {
  std::vector<float> source(8 * 8 * 8, 0.0f);
  source[(2 * 8 + 2) * 8 + 2] = 1.0f;
  std::vector<float> doubled(16 * 16 * 16, 0.0f);

  upsampleLattice(source.data(), 8, doubled.data(), 16);

  int counts[4] = {0, 0, 0, 0};  // cells by number of axes one step away
  for (int i = 0; i < 16; ++i) {
    for (int j = 0; j < 16; ++j) {
      for (int k = 0; k < 16; ++k) {
        const int di = std::abs(i - 4), dj = std::abs(j - 4), dk = std::abs(k - 4);
        const float v = doubled[(i * 16 + j) * 16 + k];
        if (di > 1 || dj > 1 || dk > 1) {
          EXPECT_EQ(v, 0.0f) << i << " " << j << " " << k;
          continue;
        }
        const int away = di + dj + dk;
        EXPECT_EQ(v, 1.0f / static_cast<float>(1 << away)) << i << " " << j << " " << k;
        ++counts[away];
      }
    }
  }
  EXPECT_EQ(counts[0], 1);
  EXPECT_EQ(counts[1], 6);
  EXPECT_EQ(counts[2], 12);
  EXPECT_EQ(counts[3], 8);
}

TEST_F(CloudFieldTest, DoublingLeavesTheLastPlanesAsTheyWere) {
  const std::vector<float> ones(8 * 8 * 8, 1.0f);
  for (float before : {0.0f, 7.0f}) {
    std::vector<float> doubled(16 * 16 * 16, before);

    upsampleLattice(ones.data(), 8, doubled.data(), 16);

    int written = 0, untouched = 0;
    for (int i = 0; i < 16; ++i) {
      for (int j = 0; j < 16; ++j) {
        for (int k = 0; k < 16; ++k) {
          const float v = doubled[(i * 16 + j) * 16 + k];
          if (i == 15 || j == 15 || k == 15) {
            untouched += v == before;
          } else {
            written += v == 1.0f;
          }
        }
      }
    }
    EXPECT_EQ(written, 15 * 15 * 15);
    EXPECT_EQ(untouched, 721);
  }
}

TEST_F(CloudFieldTest, DoublingMatchesTheLiteralEvaluationOnEveryLatticeSize) {
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 16777216.0f;  // 0..1, all bits varied
  };
  for (int n : {8, 16, 32}) {
    std::vector<float> source(static_cast<size_t>(n) * n * n);
    for (float& v : source) {
      v = next();
    }
    for (int dstSize : {2 * n, 65}) {
      if (2 * n > dstSize) {
        continue;
      }
      const size_t cells = static_cast<size_t>(dstSize) * dstSize * dstSize;
      std::vector<float> expected(cells, 3.0f), actual(cells, 3.0f);

      reference::upsampleLattice(source.data(), n, expected.data(), dstSize);
      upsampleLattice(source.data(), n, actual.data(), dstSize);

      EXPECT_TRUE(sameBits(expected.data(), actual.data(), cells)) << n << " onto " << dstSize;
    }
  }
}

TEST_F(CloudFieldTest, ShapingClearsThinAirAndSaturatesDenseAir) {
  const float threshold = 100.0f / 255.0f;  // nearest float, just above 100/255
  ASSERT_GT(static_cast<double>(threshold), 100.0 / 255.0);
  CloudField[0][0][0] = 0.0f;
  CloudField[0][0][1] = std::nextafter(threshold, 0.0f);
  CloudField[0][0][2] = threshold;
  // For each b, a value that lands in the middle of it: (b + 99.5) / 255.
  const int b[] = {1, 2, 3, 4, 5, 10, 12, 20, 50, 95, 109};
  const float density[] = {12, 24, 36, 47, 57, 102, 117, 163, 235, 253, 254};
  for (int c = 0; c < 11; ++c) {
    CloudField[1][2][c] = static_cast<float>((b[c] + 99.5) / 255.0);
  }
  CloudField[63][63][63] = 0.5f;  // the last shaped cell: b = 28
  CloudField[64][0][0] = 0.5f;    // beyond the shaped cube
  CloudField[0][64][0] = 0.5f;
  CloudField[0][0][64] = 0.5f;

  shapeCloudField();

  EXPECT_EQ(CloudField[0][0][0], 0.0f);
  EXPECT_EQ(CloudField[0][0][1], 0.0f);
  EXPECT_EQ(CloudField[0][0][2], 12.0f);
  for (int c = 0; c < 11; ++c) {
    EXPECT_EQ(CloudField[1][2][c], density[c]) << "b = " << b[c];
  }
  EXPECT_EQ(CloudField[63][63][63], reference::shapeValue(0.5f, 99, 0.95f));
  EXPECT_GT(CloudField[63][63][63], 0.0f);
  EXPECT_EQ(CloudField[64][0][0], 0.5f);
  EXPECT_EQ(CloudField[0][64][0], 0.5f);
  EXPECT_EQ(CloudField[0][0][64], 0.5f);
}

TEST_F(CloudFieldTest, ShapingUsesTheStoredSharpnessAndCover) {
  // 0.8 gives b = 105 with cover 99 but b = 195 with cover 9.
  cloudCover = 9;
  cloudSharpness = 0.99f;
  CloudField[5][5][5] = 0.8f;

  shapeCloudField();

  EXPECT_EQ(CloudField[5][5][5], reference::shapeValue(0.8f, 9, 0.99f));
  EXPECT_NE(CloudField[5][5][5], reference::shapeValue(0.8f, 99, 0.95f));
}

TEST_F(CloudFieldTest, SeedZeroCentreBeforeAndAfterShaping) {
  noiseSeed = 0;
  fillCloudNoise();
  EXPECT_EQ(CloudField[32][32][32], 0.435682029f);
  EXPECT_EQ(static_cast<int>(CloudField[32][32][32] * 255.0 - 99), 12);

  fillCloudField();
  EXPECT_EQ(CloudField[32][32][32], 117.0f);
}

TEST_F(CloudFieldTest, SeedFortyOneFillFigures) {
  fillWithSeed(41);

  const Figures f = figures();
  EXPECT_EQ(CloudField[32][32][32], 163.0f);
  EXPECT_EQ(f.nonZero, 6171);
  EXPECT_EQ(f.largest, 203.0f);
  EXPECT_EQ(f.windowNonZero, 3755);
  EXPECT_EQ(f.windowSum, 221440.0);
}

TEST_F(CloudFieldTest, FilledCellsAreWholeDensitiesOnlyInsideTheCentralBlock) {
  for (int32_t seed : {0, 41, 18467, -5, INT32_MAX}) {
    noiseSeed = seed;
    fillCloudNoise();
    for (int i = 0; i < 65; ++i) {
      for (int j = 0; j < 65; ++j) {
        for (int k = 0; k < 65; ++k) {
          const bool inside = i >= 9 && i <= 47 && j >= 9 && j <= 47 && k >= 9 && k <= 47;
          const float v = CloudField[i][j][k];
          if (!inside) {
            ASSERT_EQ(v, 0.0f) << seed << ": " << i << " " << j << " " << k;
          }
          ASSERT_LE(v, 0.7613f);
        }
      }
    }
    fillCloudField();
    for (int i = 0; i < 65; ++i) {
      for (int j = 0; j < 65; ++j) {
        for (int k = 0; k < 65; ++k) {
          const float v = CloudField[i][j][k];
          ASSERT_EQ(v, std::floor(v));
          ASSERT_GE(v, 0.0f);
          ASSERT_LE(v, 253.0f);
          if (i == 63 || j == 63 || k == 63 || i == 64 || j == 64 || k == 64) {
            ASSERT_EQ(v, 0.0f) << seed << ": " << i << " " << j << " " << k;
          }
        }
      }
    }
  }
}

TEST_F(CloudFieldTest, SameSeedGivesTheSameGridWhateverRanBetween) {
  fillWithSeed(6334);
  const std::vector<float> first = snapshot();
  fillWithSeed(41);
  ASSERT_FALSE(sameBits(first.data(), field(), kCells));

  fillWithSeed(6334);

  EXPECT_TRUE(sameBits(first.data(), field(), kCells));
}

TEST_F(CloudFieldTest, FillMatchesTheLiteralEvaluationForManySeeds) {
  std::vector<int32_t> seeds = startupCloudSeeds();
  for (int32_t s : {INT32_MIN, INT32_MIN + 1, -32768, -1, 0, 1, 32767, 32768, 65535, INT32_MAX - 1,
                    INT32_MAX}) {
    seeds.push_back(s);
  }
  uint32_t mix = 2463534242u;
  while (seeds.size() < 300) {
    mix ^= mix << 13;
    mix ^= mix >> 17;
    mix ^= mix << 5;
    seeds.push_back(static_cast<int32_t>(mix));
  }
  std::vector<float> expected(kCells);
  int mismatches = 0;
  for (int32_t seed : seeds) {
    std::memcpy(expected.data(), field(), kCells * sizeof(float));
    reference::fill(seed, expected.data());

    fillWithSeed(seed);

    if (!sameBits(expected.data(), field(), kCells)) {
      ADD_FAILURE() << "seed " << seed << " differs from the literal evaluation";
      if (++mismatches == 5) {
        break;
      }
    }
  }
}

TEST_F(CloudFieldTest, FillOverwritesWhateverTheGridHeldLikeTheLiteralEvaluation) {
  // Leftovers everywhere, plane 63 and 64 included: the fill must rewrite
  // 0..62, reshape 63 and leave 64 alone, exactly as the literal evaluation.
  uint32_t state = 99;
  for (size_t c = 0; c < kCells; ++c) {
    state = state * 1664525u + 1013904223u;
    field()[c] = static_cast<float>(state >> 24) / 255.0f;
  }
  std::vector<float> expected = snapshot();
  reference::fill(41, expected.data());

  fillWithSeed(41);

  EXPECT_TRUE(sameBits(expected.data(), field(), kCells));
  EXPECT_NE(CloudField[64][3][3], 0.0f);
}

TEST_F(CloudFieldTest, FillReadsTheTuningValues) {
  cloudAmplitude = 2.0f;
  cloudCover = 10;
  cloudSharpness = 0.9f;
  std::vector<float> expected = snapshot();
  reference::fillNoise(41, 2.0f, expected.data());
  reference::shape(expected.data(), 10, 0.9f);

  fillWithSeed(41);

  EXPECT_TRUE(sameBits(expected.data(), field(), kCells));
  // Densities beyond what the stock values allow show the values were used.
  EXPECT_GT(figures().largest, 253.0f);

  // A cover below 0 makes even the cells outside the cloud dense.
  cloudCover = -5;
  reference::fillNoise(41, 2.0f, expected.data());
  reference::shape(expected.data(), -5, 0.9f);

  fillWithSeed(41);

  EXPECT_TRUE(sameBits(expected.data(), field(), kCells));
  EXPECT_GT(CloudField[0][0][0], 0.0f);
}
