#pragma once
// flightscene's command line. Started without options the program behaves
// as it always has: a 1024x768 window, files read from the working
// directory (or, installed, from the shipped data).

#include "app/CommandLine.h"
#include "window/Window.h"

#include <optional>
#include <string>

struct AppOptions {
  std::string data;  // --data: the directory to work in; empty for the default
  win::InitOptions window;
  std::string screenshotDir;  // --screenshot-dir, absolute; empty: F12 does nothing
  std::string record;         // --record FILE, absolute; empty: nothing recorded
  std::string replay;         // --replay FILE, absolute; empty: the flight is flown live
};

cli::Program appCommandLine(AppOptions& options);

// Makes the run directory the working directory: --data, else the installed
// data, else the working directory as it is. False, with one line on
// stderr, when that directory cannot be entered.
bool enterDataDir(const AppOptions& options);

// In the data directory, before the window opens: opens the --record file
// in `recorder`, or reads the --replay recording into `replay` and checks
// it against the list. False, with one line on stderr, when it cannot be
// used.
class FlightRecorder;
class Replay;
bool prepareRecorder(const AppOptions& options, FlightRecorder& recorder,
                     std::optional<Replay>& replay);
