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
  // folder that exists. Empty, or the one line why not ("cannot record to
  // PATH: ...").
  std::string open(const std::string& path);
  // Once the scene is built: puts the file in place with its header.
  // Empty, or the one line why not.
  std::string start();
  bool running() const { return writer_ != nullptr; }

  // After a fleet update: its time step, the keys it saw and the fleet it
  // left.
  std::vector<std::string> record(SbTime delta, uint16_t keys, const PlaneList& fleet);
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
};
