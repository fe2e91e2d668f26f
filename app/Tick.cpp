#include "app/Tick.h"

#include "aircraft/PlaneList.h"
#include "state/KeyTable.h"

#include <Inventor/sensors/SoOneShotSensor.h>

#include <cstdlib>

SbTime FrameClock = SbTime::zero();

namespace {
bool paused = false;
void updateFleet(SbTime delta) { fleet.update(delta); }
void holdFleet(SbTime) {
  if (KeyTable[KEY_ESCAPE].pressed) std::exit(0);
}
}  // namespace

void setTickPaused(bool on) { paused = on; }
bool tickPaused() { return paused; }

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

void tickCallback(void* /*userData*/, SoSensor* sensor) {
  advanceClock(SbTime::getTimeOfDay(), paused ? holdFleet : updateFleet);
  static_cast<SoOneShotSensor*>(sensor)->schedule();
}
