#pragma once
// One snapshot session: the program's own start-up in a hidden window, the
// scripted flight on a fixed clock, and the PNG files.

#include "tools/snapshot/Options.h"

class SoPerspectiveCamera;

// Runs the session; the process's working directory becomes the data
// directory. Returns the exit status: 0 written, 1 failed (message on
// stderr). Call at most once per process: the scene is built from
// program-wide state.
int runSnapshot(const SnapshotOptions& options, const char* argv0);

// Tilts the camera to look `degrees` above the horizon (below when
// negative), keeping the compass direction it looks in and its position.
void pitchCamera(SoPerspectiveCamera* camera, double degrees);
