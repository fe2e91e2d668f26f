// The animation tick hands the real time between firings to the fleet, and
// while paused holds the fleet still but lets Escape end the program.

#include "aircraft/Plane.h"
#include "aircraft/PlaneList.h"
#include "app/Tick.h"
#include "state/Globals.h"
#include "state/KeyTable.h"
#include "tests/support/QuietCoin.h"

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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

TEST_F(AnimationTick, ClockIsCurrentWhenTheUpdateRuns) {
  static SbTime seenClock;
  advanceClock(SbTime(7.0), [](SbTime) {});
  advanceClock(SbTime(9.0), [](SbTime) { seenClock = FrameClock; });
  EXPECT_EQ(seenClock, SbTime(9.0));
}

// One aircraft in the program's fleet, W held, the clock not yet started.
class PausedFleet : public AnimationTick {
 protected:
  void SetUp() override {
    AnimationTick::SetUp();
    fstest::initQuietCoin();
    sceneCamera = new SoPerspectiveCamera;
    sceneCamera->ref();
    plane.build(1, 1, "");
    fleet.append(&plane);
    KeyTable[KEY_W].pressed = 1;
  }
  void TearDown() override {
    setTickPaused(false);
    for (KeyEntry& k : KeyTable) k.pressed = 0;
    delete fleet.head;
    fleet = PlaneList();
    plane.root->unref();
    sceneCamera->unref();
    sceneCamera = nullptr;
  }
  static Plane plane;
};
Plane PausedFleet::plane;
using EscapeWhilePaused = PausedFleet;

TEST_F(PausedFleet, StaysWhereItIsAndResumesWithOneTickNotThePause) {
  tickAt(SbTime(10.0));
  tickAt(SbTime(10.25));
  const double speed = plane.speed;
  const SbVec2f where = plane.horizontalPosition();
  setTickPaused(true);
  tickAt(SbTime(11.0));
  tickAt(SbTime(40.0));
  EXPECT_EQ(plane.speed, speed);
  EXPECT_EQ(plane.horizontalPosition(), where);

  setTickPaused(false);
  tickAt(SbTime(40.25));

  Plane twin;  // flies the two quarter-second ticks without a pause
  twin.build(1, 1, "");
  twin.advance(SbTime(0.25), sceneCamera);
  twin.advance(SbTime(0.25), sceneCamera);
  EXPECT_EQ(plane.speed, twin.speed);
  EXPECT_EQ(plane.horizontalPosition(), twin.horizontalPosition());
  twin.root->unref();
}

TEST_F(EscapeWhilePaused, EndsWithStatusZeroWithoutFlying) {
  setTickPaused(true);
  KeyTable[KEY_ESCAPE].pressed = 1;
  tickAt(SbTime(1.0));
  EXPECT_EXIT(
      {
        std::atexit([] { std::fprintf(stderr, "speed %g;", plane.speed); });
        tickAt(SbTime(2.0));
      },
      ::testing::ExitedWithCode(0), "speed 0;");
}

}  // namespace
