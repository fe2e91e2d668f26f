#pragma once
// A recorded flight flown again (record/Recording.h), by the program's
// --replay and by flightscene-snapshot --replay alike: each update takes the
// recorded time step and keys in place of the clock and the keyboard, and
// the fleet's state after it must match the recorded one to the bit. The
// keys go into the key table, as the keyboard's do; Escape stays the
// keyboard's.

#include "record/Recording.h"

#include <Inventor/SbTime.h>

#include <cstdint>
#include <string>
#include <vector>

struct PlaneList;

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

class Replay {
 public:
  explicit Replay(FlightRecording recording);

  // Before an update: sets the key table to the recorded update's keys and
  // `delta` to its time step. False once every recorded update is flown:
  // the fleet then holds still.
  bool next(SbTime& delta);
  // After each update, and once before the first: compares the fleet with
  // the recording. Returns the verdict line when this ends the replay (the
  // last update flown, one that differs, or a recording without updates),
  // else empty.
  std::string check(const PlaneList& fleet);

  bool over() const { return over_; }
  // Once over: the update that differed (0: the states before any), or
  // none.
  bool matches() const { return matches_; }
  uint64_t differsAt() const { return differsAt_; }

 private:
  std::string judge(bool same);

  FlightRecording recording_;
  std::size_t next_ = 0;  // updates flown
  bool over_ = false;
  bool matches_ = false;
  uint64_t differsAt_ = 0;
};
