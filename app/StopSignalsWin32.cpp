// The stop signals on Windows are console events: Ctrl-C, Ctrl-Break and
// the console window closed. The handler runs on a thread of its own; it
// notes the event as the signal a POSIX system would send and lets the
// tick end the recording.

#include "app/StopSignals.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdlib>

namespace {

std::atomic<int> noted{0};

// After a close event the system ends the process when the handler returns
// (at most 5 s later): the handler waits for the tick to write the end.
std::atomic<bool> ended{false};

BOOL WINAPI note(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      noted = SIGINT;
      return TRUE;
    case CTRL_BREAK_EVENT:
      noted = SIGBREAK;
      return TRUE;
    case CTRL_CLOSE_EVENT:
      noted = SIGTERM;
      for (int i = 0; i < 400 && !ended; ++i) Sleep(10);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void noteStopSignals() { SetConsoleCtrlHandler(note, TRUE); }

int stopSignalNoted() { return noted; }

void endBySignal(int signal) {
  ended = true;
  // Windows has no death by a signal: the status says which one, as a
  // POSIX shell reports it.
  std::_Exit(128 + signal);
}
