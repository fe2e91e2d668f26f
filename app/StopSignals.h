#pragma once
// Ctrl-C, a closed terminal and a polite kill (SIGINT, SIGHUP, SIGTERM)
// while a flight is recorded: the handler only notes the signal, the tick
// ends the recording as Escape does, and the program then ends by that
// signal, as a shell expects. One file per platform implements it
// (StopSignalsPosix.cpp, StopSignalsWin32.cpp). On Windows the
// stop signals are console events: Ctrl-C, Ctrl-Break and a closed console.

// From now on each stop signal is noted instead of ending the program; one
// ignored when the program started stays ignored.
void noteStopSignals();

// The stop signal noted, or 0.
int stopSignalNoted();

// Ends the program by `signal`, as if it had never been noted.
[[noreturn]] void endBySignal(int signal);
