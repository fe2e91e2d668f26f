#include "app/Tick.h"

#include "app/CameraViews.h"
#include "app/Clock.h"
#include "app/FlightRecorder.h"
#include "app/Replay.h"
#include "app/StopSignals.h"
#include "state/Globals.h"
#include "state/KeyTable.h"

#include <Inventor/sensors/SoOneShotSensor.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

SbTime FrameClock = SbTime::zero();

namespace {

void say(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) std::fprintf(stderr, "flightscene: %s\n", line.c_str());
}

void sayVerdict(const std::string& line) {
  if (!line.empty()) std::fprintf(stderr, "%s\n", line.c_str());
}

// Through exit, the normal exit path, as the plain fleet update ends.
void endOnEscape(TickParts& parts) {
  if (!KeyTable[KEY_ESCAPE].pressed) return;
  if (parts.recorder) say(parts.recorder->finish(*parts.fleet));
  std::exit(0);
}

}  // namespace

void advanceClock(SbTime now, const std::function<void(SbTime delta)>& update) {
  if (FrameClock == SbTime::zero()) {
    FrameClock = now;  // the first tick only starts the clock
    return;
  }
  const SbTime delta = now - FrameClock;
  // Brought up to date before the update, which may end the process.
  FrameClock = now;
  update(delta);
}

void tickAt(TickParts& parts, SbTime now) {
  // A stop signal ends the recording as Escape does, then the program.
  if (const int signal = stopSignalNoted()) {
    if (parts.recorder) say(parts.recorder->finish(*parts.fleet));
    endBySignal(signal);
  }
  advanceClock(now, [&parts](SbTime elapsed) {
    PlaneList& fleet = *parts.fleet;
    SbTime delta = elapsed;
    // Paused, or past the end of its replay, the fleet stays where it is.
    const bool flies = !parts.paused && (!parts.replay || parts.replay->next(delta));
    const uint16_t keys = keyFlags();
    if (flies) fleet.advance(delta, parts.views ? parts.views->chaseCamera() : sceneCamera);
    if (parts.replay && !parts.paused) sayVerdict(parts.replay->check(fleet));
    if (flies && parts.recorder) say(parts.recorder->record(delta, keys, fleet));
    // A program killed while paused keeps the flight up to the pause.
    if (parts.paused && parts.recorder) say(parts.recorder->hold());
    endOnEscape(parts);
    if (parts.views) parts.views->place(elapsed.getValue());
  });
}

void tickCallback(void* userData, SoSensor* sensor) {
  TickParts plain;
  // The time of day jumps when the clock is set (by hand or by time
  // synchronisation); a jump would reach the fleet as a huge or negative
  // delta. A real stall of the loop still shows in full.
  tickAt(userData ? *static_cast<TickParts*>(userData) : plain, monotonicNow());
  static_cast<SoOneShotSensor*>(sensor)->schedule();
}
