#include "app/Tick.h"

#include "aircraft/PlaneList.h"

#include <Inventor/sensors/SoOneShotSensor.h>

SbTime FrameClock = SbTime::zero();

namespace {
void updateFleet(SbTime delta) { fleet.update(delta); }
}  // namespace

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
  advanceClock(SbTime::getTimeOfDay(), updateFleet);
  static_cast<SoOneShotSensor*>(sensor)->schedule();
}
