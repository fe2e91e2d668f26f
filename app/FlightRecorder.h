#pragma once
// The flight recorder: --record writes every fleet update's delta and key
// flags as they are flown (record/Recording.h), --replay flies them again in
// place of the clock and the keyboard and says whether every aircraft state
// came out the same to the bit. Escape, pause and the cockpit keys stay live
// in a replay; the flight keys and Tab come from the recording.

#include "record/Recording.h"

#include <cstdint>
#include <string>
#include <vector>

// A recording read whole: the updates up to the last whole record.
struct FlightRecording {
  rec::Header header;
  std::vector<rec::Tick> ticks;
  bool ended = false;  // closed cleanly, `end` holds the final states
  rec::End end;
};

// Reads and checks the recording at path: empty, or why it cannot be
// replayed ("cannot replay PATH: ..."). A recording cut short is read up to
// its last whole record, ended false.
std::string readFlightRecording(const std::string& path, FlightRecording& recording);

// Empty when PlaneList.txt in the working directory has the bytes the
// recording was flown with; otherwise why not, in the same words.
std::string recordingListProblem(const std::string& path, const FlightRecording& recording);

// The line for a recording cut short: "PATH is cut short after ...".
std::string cutShortNote(const std::string& path, const FlightRecording& recording);

// CRC-32 of every aircraft's state (flight values and matrix), in list
// order; and of each aircraft alone.
uint32_t fleetStateCrc();
std::vector<uint32_t> aircraftStateCrcs();

// The key flags as a recording holds them: bit k for KeyTable[k].
uint16_t keyFlags();
// Sets every key flag from a recording's, except Escape, which stays live.
void setKeyFlags(uint16_t flags);

// Before the window opens: why path cannot take a recording, or empty. It
// must be absent or a regular file, in a directory that exists.
std::string recordTargetProblem(const std::string& path);

// After the scene is built: starts writing the flight to path and wraps
// the fleet update; the recording is closed by finishRecording or, on
// Escape, at exit. False with one line on stderr.
bool startRecording(const std::string& path);
// Closes the recording with the final states; does nothing when none runs.
void finishRecording();

// After the scene is built: flies `recording` in place of the clock and the
// keyboard, one update per tick, and at its end prints on stderr whether it
// matched. The fleet then holds still until Escape.
void startReplay(FlightRecording recording);
