#include "app/FlightRecorder.h"

#include "aircraft/FleetState.h"
#include "aircraft/PlaneList.h"
#include "aircraft/PlaneListFile.h"
#include "app/CommandLine.h"
#include "app/ListDigest.h"
#include "app/SkyBox.h"

#include <iterator>

namespace {

std::string shown(const std::string& path) { return printableName(path.c_str()); }

std::size_t countOf(const PlaneList& fleet) {
  std::size_t count = 0;
  for (const PlaneListNode* cell = fleet.head; cell != nullptr; cell = cell->next) ++count;
  return count;
}

// The file of this run's input (the list, a model it names, a sky image)
// that `path` is, or empty. Replacing one would spoil the next start.
std::string inputAt(const std::string& path) {
  std::vector<std::string> inputs{"PlaneList.txt"};
  // The model node reads a name up to its first NUL.
  for (const PlaneListEntry& entry : parsePlaneListFile("PlaneList.txt").entries)
    inputs.emplace_back(entry.name.c_str());
  inputs.insert(inputs.end(), std::begin(skyBoxImages), std::end(skyBoxImages));
  for (const std::string& input : inputs)
    if (OutputFile::sameFile(path, input)) return input;
  return "";
}

void append(std::vector<std::string>& lines, const std::vector<std::string>& more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

}  // namespace

FlightRecorder::FlightRecorder(std::size_t limit) : limit_(limit) {}

std::string FlightRecorder::said(const std::string& what) const {
  return "recording to " + shown(path_) + " " + what;
}

std::string FlightRecorder::open(const std::string& path) {
  const std::string cannot = "cannot record to " + shown(path) + ": ";
  rec::Header header;
  header.programVersion = cli::version();
  ListDigest list;
  if (!readListDigest(list)) return cannot + "cannot read PlaneList.txt";
  if (const std::string input = inputAt(path); !input.empty())
    return cannot + "this run reads it (" + shown(input) + ")";
  header.listSize = list.size;
  header.listCrc = list.crc;
  if (const std::string problem = file_.create(path, OutputFile::Mode::Replace); !problem.empty())
    return cannot + problem;
  path_ = path;
  writer_ = std::make_unique<rec::Writer>(header);
  return "";
}

std::vector<std::string> FlightRecorder::record(SbTime delta, uint16_t keys,
                                                const PlaneList& fleet) {
  if (!writer_) return {};
  writer_->tick({delta.getValue(), keys, fleetStateCrc(fleet)});
  // Room is kept for the next update and the end record.
  const std::size_t next = written_ + writer_->pending().size() + rec::Writer::tickSize() +
                           rec::Writer::endSize(countOf(fleet));
  if (next > limit_) {
    std::vector<std::string> lines{said("ends at its limit of " + std::to_string(limit_ >> 20) +
                                        " MiB; the flight goes on unrecorded")};
    append(lines, finish(fleet));
    return lines;
  }
  return writer_->flushDue() ? flush() : std::vector<std::string>();
}

std::vector<std::string> FlightRecorder::hold() {
  // Nothing is put in place before it holds flight.
  if (!writer_ || writer_->ticks() == 0 || writer_->pending().empty()) return {};
  return flush();
}

std::vector<std::string> FlightRecorder::finish(const PlaneList& fleet) {
  if (!writer_) return {};
  if (writer_->ticks() == 0) {
    stop();
    return {"nothing was flown: " + shown(path_) + " is as it was"};
  }
  rec::End end;
  end.aircraft = aircraftStateCrcs(fleet);
  writer_->end(end);
  std::vector<std::string> lines = flush();
  if (!writer_) return lines;  // stopped by a failed write
  if (const std::string problem = file_.sync(); !problem.empty())
    lines.push_back(said("may be incomplete: " + problem));
  stop();
  return lines;
}

std::vector<std::string> FlightRecorder::flush() {
  std::string problem = file_.write(writer_->pending());
  const bool first = !file_.placed();
  // On the disk before its name is: a crash never leaves a name on nothing.
  if (problem.empty() && first) problem = file_.sync();
  if (problem.empty() && first) problem = file_.place();
  if (!problem.empty()) {
    stop();
    return {said("stopped: " + problem)};
  }
  written_ += writer_->pending().size();
  writer_->flushed();
  if (first && file_.replacedOne()) return {said("replaces the file that was there")};
  if (!first && !lostNoted_ && !file_.stillInPlace()) {
    lostNoted_ = true;
    return {shown(path_) + " was removed or replaced while being recorded"};
  }
  return {};
}

void FlightRecorder::stop() {
  writer_.reset();
  file_.close();
}
