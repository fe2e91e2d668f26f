#include "app/Clock.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

SbTime monotonicNow() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  // Whole seconds and the rest apart: the counter's ticks overflow a double's
  // exact range long before the seconds do.
  const LONGLONG seconds = now.QuadPart / frequency.QuadPart;
  const LONGLONG rest = now.QuadPart % frequency.QuadPart;
  return SbTime(static_cast<double>(seconds) +
                static_cast<double>(rest) / static_cast<double>(frequency.QuadPart));
}
