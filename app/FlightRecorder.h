#pragma once
// The flight recorder behind --record: every fleet update's time step, the
// keys it saw and the fleet's state after it (record/Recording.h), written
// as the flight is flown, and at the end every aircraft's state. The file
// is made whole before anyone sees it (files/OutputFile.h); only a regular
// file is ever replaced.
//
// Nothing here prints: each call returns the lines it has to say on stderr
// (without the program's name), and its caller says them.

#include "files/OutputFile.h"
#include "files/UntrustedFile.h"
#include "record/Recording.h"

#include <Inventor/SbTime.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct PlaneList;

class FlightRecorder {
 public:
  // A replay reads at most kMaxFileBytes: a recording ends before `limit`.
  explicit FlightRecorder(std::size_t limit = kMaxFileBytes);

  // Before the window, in the data directory: makes the new file for path,
  // which must be absent or a regular file (a link is followed to it) in a
  // folder that exists, and no other program's recording. Empty, or the
  // one line why not ("cannot record to PATH: ...").
  std::string open(const std::string& path);
  bool running() const { return writer_ != nullptr; }

  // The file gets its name at its first write holding flight, replacing
  // the one there (said on stderr); a run that flies nothing leaves the
  // name as it was.

  // After a fleet update: its time step, the keys it saw and the fleet it
  // left.
  std::vector<std::string> record(SbTime delta, uint16_t keys, const PlaneList& fleet);
  // While the flight stands still: writes what is pending, so that a
  // program killed during a pause keeps the flight up to it.
  std::vector<std::string> hold();
  // Ends the recording with the state of every aircraft; does nothing when
  // none runs.
  std::vector<std::string> finish(const PlaneList& fleet);

 private:
  std::vector<std::string> flush();
  std::string said(const std::string& what) const;  // "recording to PATH " + what
  void stop();

  std::size_t limit_;
  std::string path_;
  OutputFile file_;
  std::unique_ptr<rec::Writer> writer_;
  std::size_t written_ = 0;
  bool lostNoted_ = false;  // said that the name no longer leads to the file
};
