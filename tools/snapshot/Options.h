#pragma once
// The snapshot tool's command line: what to render, where, and the scripted
// flight that leads up to it.

#include "app/CommandLine.h"

#include <cstdint>
#include <string>
#include <vector>

// A watched key held over the ticks first..last, both included.
struct KeyHold {
  int key = 0;  // a KeyIndex
  int64_t first = 0;
  int64_t last = 0;
};

struct SnapshotOptions {
  int width = 1024;
  int height = 768;
  std::string out = "flightscene-snapshot.png";
  std::string data;        // the run directory
  int64_t ticks = 0;       // fleet updates, numbered from 1
  double dt = 1.0 / 60.0;  // seconds per tick
  std::vector<KeyHold> holds;
  std::vector<int64_t> tabs;  // Tab pressed at T, released at T + 1
  int64_t frames = 0;         // 0: one image of the last tick
  std::string replay;         // --replay FILE, absolute: its ticks, keys and deltas
  bool scripted = false;      // --ticks, --dt, --hold or --tab given
  bool pitchSet = false;
  double pitchDegrees = 0;  // camera pitch after the flight, up positive
  int cloudQuality = -1;    // an SoVolumeRender::Quality; -1: the renderer's default
  bool noClouds = false;    // the scene without its clouds
};

// The tool's command line, filling `options` (whose members hold the
// defaults on entry, the --data default among them, shown in the usage).
cli::Program snapshotCommandLine(SnapshotOptions& options);

// The watched key named by a --hold argument (case-insensitive), or -1.
// Escape and Tab have no name here: see --tab.
int holdableKey(const std::string& name);
