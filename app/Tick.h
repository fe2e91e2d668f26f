#pragma once
// The animation tick: each firing of the one-shot sensor hands the time
// since the previous firing to the fleet update and reschedules itself.
//
// The sensor is built with no user data, which gives the plain tick: the
// live keys and the clock's time step to the fleet update. The program hands
// it its parts once (tickSensor->setData(&parts)), and one tick then runs,
// in this order: a noted stop signal (app/StopSignals.h); the clock; while
// paused only Escape; the replayed or live keys and time step; the fleet
// update; the recording; Escape; the camera views, which follow the live
// clock also while paused or replaying.

#include "aircraft/PlaneList.h"

#include <Inventor/SbTime.h>

#include <functional>

class CameraViews;
class FlightRecorder;
class Replay;
class SoSensor;

// Time of the previous tick on monotonicNow's clock; zero until the first
// tick.
extern SbTime FrameClock;

struct TickParts {
  PlaneList* fleet = &::fleet;
  // The recorded keys and time steps in place of the keyboard and clock.
  Replay* replay = nullptr;
  FlightRecorder* recorder = nullptr;
  // Which camera the chase step writes, and the other views' camera.
  CameraViews* views = nullptr;
  // The fleet stays where it is; the clock keeps running, so the first
  // update after a pause covers one tick, not the pause.
  bool paused = false;
};

// SoOneShotSensor callback: tickAt with the sensor's parts (none for null
// user data) at monotonicNow(), then reschedules.
void tickCallback(void* userData, SoSensor* sensor);

// One tick at `now`. Escape ends the program with status 0, after the
// recording is ended with its end record.
void tickAt(TickParts& parts, SbTime now);

// One tick at the given time: records it and, from the second tick on,
// hands the delta to update. Rescheduling is the caller's.
void advanceClock(SbTime now, const std::function<void(SbTime delta)>& update);
