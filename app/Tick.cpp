#include "app/Tick.h"

#include "aircraft/PlaneList.h"

#include <Inventor/sensors/SoOneShotSensor.h>

#include <time.h>

SbTime FrameClock = SbTime::zero();

namespace {
bool paused = false;
void (*afterTick)(SbTime) = nullptr;
FleetUpdateWrapper wrapper = nullptr;
void updateFleet(SbTime delta) { fleet.update(delta); }
void wrappedUpdate(SbTime delta) { wrapper(delta, updateFleet); }
void holdFleet(SbTime) { exitOnEscape(); }
// The camera follows the live clock, also while paused or replaying.
void runTick(SbTime delta) {
  (paused ? holdFleet : wrapper ? wrappedUpdate : updateFleet)(delta);
  if (afterTick) afterTick(delta);
}
}  // namespace

void setAfterTick(void (*hook)(SbTime delta)) { afterTick = hook; }

void setTickPaused(bool on) { paused = on; }
bool tickPaused() { return paused; }
void setFleetUpdateWrapper(FleetUpdateWrapper w) { wrapper = w; }

void advanceClock(SbTime now, void (*update)(SbTime delta)) {
  if (FrameClock == SbTime::zero()) {
    FrameClock = now;  // the first tick only starts the clock
    return;
  }
  const SbTime delta = now - FrameClock;
  // Brought up to date before the update, which may end the process.
  FrameClock = now;
  update(delta);
}

SbTime monotonicNow() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return SbTime(static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9);
}

void tickCallback(void* /*userData*/, SoSensor* sensor) {
  // The time of day jumps when the clock is set (by hand or by time
  // synchronisation); a jump would reach the fleet as a huge or negative
  // delta. A real stall of the loop still shows in full.
  tickAt(monotonicNow());
  static_cast<SoOneShotSensor*>(sensor)->schedule();
}

void tickAt(SbTime now) { advanceClock(now, runTick); }
