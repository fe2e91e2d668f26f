// The animation tick hands the real time between firings to the fleet.

#include "app/Tick.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<double> deltas;
void record(SbTime delta) { deltas.push_back(delta.getValue()); }

class AnimationTick : public ::testing::Test {
 protected:
  void SetUp() override {
    FrameClock = SbTime::zero();
    deltas.clear();
  }
};

TEST_F(AnimationTick, FirstFiringOnlyStartsTheClock) {
  advanceClock(SbTime(100.0), record);
  EXPECT_TRUE(deltas.empty());
  EXPECT_EQ(FrameClock, SbTime(100.0));
}

TEST_F(AnimationTick, SecondFiringHandsOnTheTimeSinceTheFirst) {
  advanceClock(SbTime(100.0), record);
  advanceClock(SbTime(100.25), record);
  ASSERT_EQ(deltas.size(), 1u);
  EXPECT_DOUBLE_EQ(deltas[0], 0.25);
  EXPECT_EQ(FrameClock, SbTime(100.25));
}

TEST_F(AnimationTick, ZeroAndLargeDeltasPassUnchanged) {
  advanceClock(SbTime(5.0), record);
  advanceClock(SbTime(5.0), record);
  advanceClock(SbTime(125.0), record);
  ASSERT_EQ(deltas.size(), 2u);
  EXPECT_EQ(deltas[0], 0.0);
  EXPECT_EQ(deltas[1], 120.0);
}

TEST_F(AnimationTick, DeltasAddUpToTheTimeFromFirstToLastTick) {
  const double stamps[] = {1000.0, 1000.016, 1000.05, 1000.051, 1001.5, 1002.0};
  for (double t : stamps) advanceClock(SbTime(t), record);
  double sum = 0;
  for (double d : deltas) sum += d;
  EXPECT_EQ(deltas.size(), 5u);
  EXPECT_NEAR(sum, 2.0, 1e-9);
}

TEST_F(AnimationTick, ClockIsCurrentWhenTheUpdateRuns) {
  static SbTime seenClock;
  advanceClock(SbTime(7.0), [](SbTime) {});
  advanceClock(SbTime(9.0), [](SbTime) { seenClock = FrameClock; });
  EXPECT_EQ(seenClock, SbTime(9.0));
}

}  // namespace
