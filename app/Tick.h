#pragma once
// The animation tick: each firing of the one-shot sensor hands the time
// since the previous firing to the fleet update and reschedules itself.

#include <Inventor/SbTime.h>

class SoSensor;

// Time of the previous tick on monotonicNow's clock; zero until the first
// tick.
extern SbTime FrameClock;

// While paused the fleet stays where it is; the clock keeps running, so the
// first update after a pause covers one tick, not the pause. Escape still
// ends the program.
void setTickPaused(bool paused);
bool tickPaused();

// The fleet update as the tick calls it: the recorder and the replay wrap
// it, getting the clock's delta and the update to hand a delta on to. Null
// restores the plain update.
using FleetUpdate = void (*)(SbTime delta);
using FleetUpdateWrapper = void (*)(SbTime delta, FleetUpdate update);
void setFleetUpdateWrapper(FleetUpdateWrapper wrapper);

// Seconds on a clock that only runs forward (CLOCK_MONOTONIC), unaffected
// by changes of the time of day.
SbTime monotonicNow();

// Called after every tick's update, paused or not, with its delta; null
// for none. The camera views place the camera here.
void setAfterTick(void (*hook)(SbTime delta));

// SoOneShotSensor callback: tickAt(monotonicNow()), then reschedules.
void tickCallback(void* userData, SoSensor* sensor);

// One tick at `now`: advanceClock with the fleet update, or while paused
// with an update that only lets Escape end the program.
void tickAt(SbTime now);

// One tick at the given time of day: records it and, from the second tick
// on, hands the delta to update. Rescheduling is the caller's.
void advanceClock(SbTime now, void (*update)(SbTime delta));
