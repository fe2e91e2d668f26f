#include "app/Replay.h"

#include "aircraft/FleetState.h"
#include "app/ListDigest.h"
#include "files/UntrustedFile.h"
#include "state/KeyTable.h"

#include <utility>

namespace {

std::string shown(const std::string& path) { return printableName(path.c_str()); }

}  // namespace

std::string readFlightRecording(const std::string& path, FlightRecording& recording) {
  const std::string cannot = "cannot replay " + shown(path) + ": ";
  std::string bytes;
  const std::string problem = readRegularFile(path.c_str(), bytes);
  if (!problem.empty()) return cannot + problem;
  rec::Reader reader(bytes.data(), bytes.size());
  switch (reader.open(recording.header)) {
    case rec::Reader::Open::Ok:
      break;
    case rec::Reader::Open::Empty:
      return cannot + "the file is empty";
    case rec::Reader::Open::NotARecording:
      return cannot + "not a flight recording";
    case rec::Reader::Open::NewerFormat:
      return cannot + "recorded by a newer flightscene (format " +
             std::to_string(recording.header.format) + "; this one reads format " +
             std::to_string(rec::kFormatVersion) + ")";
    case rec::Reader::Open::Truncated:
      return cannot + "cut short inside its header";
    case rec::Reader::Open::Damaged:
      return cannot + "its header is damaged";
  }
  recording.ticks.clear();
  recording.ended = false;
  for (;;) {
    rec::Tick tick;
    switch (reader.next(tick, recording.end)) {
      case rec::Reader::Step::Tick:
        recording.ticks.push_back(tick);
        continue;
      case rec::Reader::Step::End:
        recording.ended = true;
        return "";
      case rec::Reader::Step::Truncated:
        return "";
      case rec::Reader::Step::Damaged:
        return cannot + "damaged after tick " + std::to_string(reader.ticks());
    }
  }
}

std::string recordingListProblem(const std::string& path, const FlightRecording& recording) {
  ListDigest list;
  // An unreadable list is the loader's to report, in its own words.
  if (!readListDigest(list)) return "";
  if (list.size == recording.header.listSize && list.crc == recording.header.listCrc) return "";
  return "cannot replay " + shown(path) + ": it was flown with another PlaneList.txt";
}

std::string cutShortNote(const std::string& path, const FlightRecording& recording) {
  return shown(path) + " is cut short after tick " + std::to_string(recording.ticks.size()) +
         ": replaying its whole ticks";
}

Replay::Replay(FlightRecording recording) : recording_(std::move(recording)) {}

bool Replay::next(SbTime& delta) {
  if (over_ || next_ == recording_.ticks.size()) return false;
  const rec::Tick& tick = recording_.ticks[next_++];
  setKeyFlags(tick.keys);
  delta = SbTime(tick.delta);
  return true;
}

std::string Replay::check(const PlaneList& fleet) {
  if (over_) return "";
  const std::vector<rec::Tick>& ticks = recording_.ticks;
  if (next_ > 0 && fleetStateCrc(fleet) != ticks[next_ - 1].state) return judge(false);
  if (next_ < ticks.size()) return "";
  // Every update flown, or none recorded: the end record, when there is
  // one, names each aircraft's final state, and their number.
  return judge(!recording_.ended || recording_.end.aircraft == aircraftStateCrcs(fleet));
}

std::string Replay::judge(bool same) {
  over_ = true;
  matches_ = same;
  differsAt_ = same ? 0 : next_;
  if (same)
    return "replay: " + std::to_string(recording_.ticks.size()) + " ticks, matches the recording";
  return "replay: differs from the recording at tick " + std::to_string(next_);
}
