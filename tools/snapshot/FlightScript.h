#pragma once
// The scripted flight: which keys are down at each tick, and at which ticks
// frames are written.

#include "state/KeyTable.h"
#include "tools/snapshot/Options.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using KeyState = std::array<bool, KEY_COUNT>;

// The keys held during `tick`: the --hold ranges that cover it, and Tab at
// the tick of each --tab stroke.
KeyState keysAt(const SnapshotOptions& options, int64_t tick);

// The ticks after which a frame is drawn, in increasing order: the last
// tick alone without --frames; otherwise `frames` ticks spread evenly so the
// last frame shows the last tick, or every tick 1..N when frames >= N.
std::vector<int64_t> frameTicks(int64_t ticks, int64_t frames);

// FILE-0001.png for frame 1 of --out FILE (a trailing .png is moved behind
// the number).
std::string frameFileName(const std::string& out, int64_t index);
