// The animation tick hands the real time between firings to the fleet,
// while paused holds the fleet still but lets Escape end the program, and
// runs its parts in order: replayed keys, fleet update, recording, views.

#include "aircraft/Plane.h"
#include "aircraft/PlaneList.h"
#include "app/CameraViews.h"
#include "app/FlightRecorder.h"
#include "app/Replay.h"
#include "app/Tick.h"
#include "state/Globals.h"
#include "state/KeyTable.h"
#include "tests/support/QuietCoin.h"

#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoFile.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
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
    for (KeyEntry& k : KeyTable) k.pressed = 0;
    delete fleet.head;
    fleet = PlaneList();
    plane.root->unref();
    sceneCamera->unref();
    sceneCamera = nullptr;
  }
  static Plane plane;
  TickParts parts;
};
Plane PausedFleet::plane;
using EscapeWhilePaused = PausedFleet;

TEST_F(PausedFleet, StaysWhereItIsAndResumesWithOneTickNotThePause) {
  tickAt(parts, SbTime(10.0));
  tickAt(parts, SbTime(10.25));
  const double speed = plane.speed;
  const SbVec2f where = plane.horizontalPosition();
  parts.paused = true;
  tickAt(parts, SbTime(11.0));
  tickAt(parts, SbTime(40.0));
  EXPECT_EQ(plane.speed, speed);
  EXPECT_EQ(plane.horizontalPosition(), where);

  parts.paused = false;
  tickAt(parts, SbTime(40.25));

  Plane twin;  // flies the two quarter-second ticks without a pause
  twin.build(1, 1, "");
  twin.advance(SbTime(0.25), sceneCamera);
  twin.advance(SbTime(0.25), sceneCamera);
  EXPECT_EQ(plane.speed, twin.speed);
  EXPECT_EQ(plane.horizontalPosition(), twin.horizontalPosition());
  twin.root->unref();
}

TEST_F(EscapeWhilePaused, EndsWithStatusZeroWithoutFlying) {
  parts.paused = true;
  KeyTable[KEY_ESCAPE].pressed = 1;
  tickAt(parts, SbTime(1.0));
  EXPECT_EXIT(
      {
        std::atexit([] { std::fprintf(stderr, "speed %g;", plane.speed); });
        tickAt(parts, SbTime(2.0));
      },
      ::testing::ExitedWithCode(0), "speed 0;");
}

// A flight recorded live, then replayed through a tick that records again
// with the cockpit view on, in a folder with a list file of its own.
class RecordedFlight : public PausedFleet {
 protected:
  void SetUp() override {
    PausedFleet::SetUp();
    namespace fs = std::filesystem;
    home = fs::current_path();
    dir = (fs::temp_directory_path() / ("fs-tick-" + std::to_string(std::rand()))).string();
    ASSERT_TRUE(fs::create_directory(dir));
    fs::current_path(dir);
    std::ofstream("PlaneList.txt") << "models/none.iv 1 1 0\n";
  }
  void TearDown() override {
    std::filesystem::current_path(home);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    PausedFleet::TearDown();
  }
  static std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string dir;
  std::filesystem::path home;
};

TEST_F(RecordedFlight, ReplayedKeysReachTheUpdateWhichIsRecordedBeforeTheViewsFollowIt) {
  FlightRecorder live;
  ASSERT_EQ(live.open("live.rec"), "");
  parts.recorder = &live;
  for (double t : {10.0, 10.25, 10.375}) tickAt(parts, SbTime(t));
  KeyTable[KEY_LEFT].pressed = 1;
  tickAt(parts, SbTime(10.5));
  EXPECT_TRUE(live.finish(fleet).empty());

  // The same aircraft from its start, no key held, another clock.
  for (KeyEntry& k : KeyTable) k.pressed = 0;
  plane.root->unref();
  plane = Plane();
  plane.build(1, 1, "");
  plane.selected = 1;
  FrameClock = SbTime::zero();
  FlightRecording recording;
  ASSERT_EQ(readFlightRecording("live.rec", recording), "");
  Replay replay(std::move(recording));
  FlightRecorder again;
  ASSERT_EQ(again.open("again.rec"), "");
  CameraViews views(nullptr);
  views.cycle();
  ASSERT_EQ(views.view(), View::Cockpit);
  parts.recorder = &again;
  parts.replay = &replay;
  parts.views = &views;
  for (double t : {50.0, 51.0, 90.0, 90.5}) tickAt(parts, SbTime(t));
  EXPECT_TRUE(again.finish(fleet).empty());

  EXPECT_TRUE(replay.over() && replay.matches());
  // Recorded after the update: the same time steps, keys and states.
  EXPECT_EQ(bytesOf("again.rec"), bytesOf("live.rec"));
  // Placed after the update: the cockpit of the aircraft where it is now.
  SbVec3f eye;
  SbRotation orientation;
  cockpitPose(plane.transform->matrix.getValue(), SbBox3f(), SbVec2f(0, 1), eye, orientation);
  EXPECT_EQ(sceneCamera->position.getValue(), eye);
  EXPECT_EQ(sceneCamera->orientation.getValue(), orientation);
}

TEST_F(RecordedFlight, RecordingEndsBeforeItsLimitWithItsEndRecordAndOneLine) {
  const std::size_t limit = std::size_t{1} << 20;
  FlightRecorder recorder(limit);
  ASSERT_EQ(recorder.open("live.rec"), "");
  parts.recorder = &recorder;
  double t = 10;
  ::testing::internal::CaptureStderr();
  for (int i = 0; i < 100000 && recorder.running(); ++i) tickAt(parts, SbTime(t += 1.0 / 64));
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(recorder.running());
  EXPECT_EQ(said,
            "flightscene: recording to live.rec ends at its limit of 1 MiB; the flight goes on "
            "unrecorded\n");
  const SbVec2f where = plane.horizontalPosition();
  tickAt(parts, SbTime(t += 1.0 / 64));
  EXPECT_NE(plane.horizontalPosition(), where);  // flying on

  const std::size_t size = bytesOf("live.rec").size();
  EXPECT_LE(size, limit);
  EXPECT_GT(size + rec::Writer::tickSize(), limit);  // no room for one more update
  FlightRecording recording;
  ASSERT_EQ(readFlightRecording("live.rec", recording), "");
  EXPECT_TRUE(recording.ended);
}

}  // namespace
