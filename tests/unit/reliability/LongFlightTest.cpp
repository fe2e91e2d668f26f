// A long flight: one selected aircraft flown for a million ticks while the
// six flight keys cycle through all 64 held/released combinations, with
// frame deltas from a steady 60 Hz to multi-second stalls.

#include "aircraft/Plane.h"
#include "state/KeyTable.h"
#include "tests/support/QuietCoin.h"

#include <Inventor/SbMatrix.h>
#include <Inventor/SbRotation.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

namespace {

// Bit k of a combination holds kFlightKeys[k]. Down is the slowest bit: a
// long dive drives the speed negative, and then no key brings it back (Up
// only pulls up while moving forward), so the combinations after it fly
// backwards on a fixed heading.
constexpr int kFlightKeys[6] = {KEY_W, KEY_LEFT, KEY_RIGHT, KEY_UP, KEY_S, KEY_DOWN};
constexpr int64_t kTicks = 1000000;

// The deltas a real loop produces: mostly one display period, sometimes a
// dropped frame, rarely a long stall (a slow frame, a suspended process).
double frameDelta(uint32_t& rng) {
  rng = rng * 1664525u + 1013904223u;
  const uint32_t r = rng >> 8;
  if (r % 1000 == 0) return 0.5 + (r % 3000) / 1000.0;
  if (r % 10 == 0) return 2.0 / 60.0;
  return 1.0 / 60.0;
}

void setKeys(int combination) {
  for (int k = 0; k < 6; ++k) KeyTable[kFlightKeys[k]].pressed = (combination >> k) & 1;
}

bool finite(const SbVec3f& v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

struct FlightRecord {
  int64_t ticks = 0;  // ticks flown with every value finite
  int64_t firstNonFinite = -1;
  std::string fault;  // the first broken rule, empty when none
  float minHeading = 360, maxHeading = 0;
  int combinationsSeen = 0;
};

// Flies `plane` for kTicks ticks, holding each key combination for `run`
// ticks, and records the first rule it breaks.
FlightRecord fly(Plane& plane, SoPerspectiveCamera* camera, int run) {
  FlightRecord rec;
  uint32_t rng = 12345u;
  uint64_t seen = 0;
  for (int64_t t = 0; t < kTicks && rec.fault.empty(); ++t) {
    const int combination = static_cast<int>((t / run) % 64);
    seen |= uint64_t{1} << combination;
    setKeys(combination);
    plane.advance(SbTime(frameDelta(rng)), camera);

    const SbMatrix& m = plane.transform->matrix.getValue();
    bool matrixFinite = true;
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) matrixFinite = matrixFinite && std::isfinite(m[r][c]);
    const bool values = std::isfinite(plane.speed) && std::isfinite(plane.heading) &&
                        std::isfinite(plane.bank) && std::isfinite(plane.climb) &&
                        std::isfinite(plane.altitude) && matrixFinite;
    if (std::isnan(plane.speed) || std::isnan(plane.heading) || std::isnan(plane.bank) ||
        std::isnan(plane.climb) || std::isnan(plane.altitude)) {
      rec.fault = "NaN in the flight state at tick " + std::to_string(t);
      break;
    }
    if (!(plane.heading >= 0 && plane.heading <= 360)) {
      rec.fault = "heading " + std::to_string(plane.heading) + " at tick " + std::to_string(t);
      break;
    }
    rec.minHeading = std::min(rec.minHeading, plane.heading);
    rec.maxHeading = std::max(rec.maxHeading, plane.heading);
    if (!values) {
      if (rec.firstNonFinite < 0) rec.firstNonFinite = t;
      continue;
    }
    ++rec.ticks;
    const SbVec3f eye = camera->position.getValue();
    float q[4];
    camera->orientation.getValue().getValue(q[0], q[1], q[2], q[3]);
    const double norm = std::sqrt(double{q[0]} * q[0] + double{q[1]} * q[1] + double{q[2]} * q[2] +
                                  double{q[3]} * q[3]);
    if (!finite(eye)) {
      rec.fault = "camera position not finite at tick " + std::to_string(t);
    } else if (!(std::fabs(norm - 1.0) < 1e-5)) {
      rec.fault = "camera orientation not a unit quaternion at tick " + std::to_string(t);
    }
  }
  for (int c = 0; c < 64; ++c) rec.combinationsSeen += (seen >> c) & 1;
  return rec;
}

class LongFlight : public ::testing::Test {
 protected:
  void SetUp() override {
    fstest::initQuietCoin();
    plane.build(1.0f, 0.25f, "");
    plane.selected = 1;
    camera = new SoPerspectiveCamera;
    camera->ref();
  }
  void TearDown() override {
    for (KeyEntry& k : KeyTable) k.pressed = 0;
    camera->unref();
    plane.root->unref();
  }
  Plane plane;
  SoPerspectiveCamera* camera = nullptr;
};

// Short runs: every combination comes round many times, so the flight
// keeps crossing between braking, climbing, diving and turning.
TEST_F(LongFlight, MillionTicksCyclingKeyCombinationsEverySixteenTicksStayValid) {
  const FlightRecord rec = fly(plane, camera, 16);
  EXPECT_EQ(rec.fault, "");
  EXPECT_EQ(rec.combinationsSeen, 64);
  EXPECT_GT(rec.ticks, 0);
  // The flight turned all the way round, so the wrap at 0/360 was crossed.
  EXPECT_LT(rec.minHeading, 5.0f);
  EXPECT_GT(rec.maxHeading, 355.0f);
}

// Long runs: each combination is held long enough to saturate bank, climb
// and speed before the next one starts.
TEST_F(LongFlight, MillionTicksHoldingEachCombinationForThousandsOfTicksStayValid) {
  const FlightRecord rec = fly(plane, camera, 4096);
  EXPECT_EQ(rec.fault, "");
  EXPECT_EQ(rec.combinationsSeen, 64);
  EXPECT_GT(rec.ticks, 0);
  EXPECT_LT(rec.minHeading, 5.0f);
  EXPECT_GT(rec.maxHeading, 355.0f);
}

}  // namespace
