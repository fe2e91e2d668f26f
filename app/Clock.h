#pragma once
// The clock the animation tick measures with. One file per platform
// implements it (ClockPosix.cpp, ClockWin32.cpp).

#include <Inventor/SbTime.h>

// Seconds on a clock that only runs forward, unaffected by changes of the
// time of day.
SbTime monotonicNow();
