#include "app/FlightRecorder.h"

#include "aircraft/Plane.h"
#include "aircraft/PlaneList.h"
#include "app/CommandLine.h"
#include "app/Tick.h"
#include "files/UntrustedFile.h"
#include "state/KeyTable.h"

#include <Inventor/nodes/SoMatrixTransform.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

std::string shown(const std::string& path) { return printableName(path.c_str()); }

void put(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
}

void putFloat(std::string& out, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  put(out, bits, 4);
}

// Every value the flight update carries from one tick to the next, in a
// fixed byte order, so equal states give equal bytes on every machine.
void appendState(std::string& out, const Plane& plane) {
  uint64_t speed;
  std::memcpy(&speed, &plane.speed, sizeof speed);
  put(out, speed, 8);
  for (float f : {plane.heading, plane.bank, plane.climb, plane.altitude}) putFloat(out, f);
  const SbMatrix& m = plane.transform->matrix.getValue();
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) putFloat(out, m[row][column]);
  put(out, static_cast<uint32_t>(plane.selected), 4);
}

// The byte count and CRC-32 of PlaneList.txt; false when it cannot be read.
bool listDigest(uint64_t& size, uint32_t& crc) {
  std::FILE* file = openRegularFile("PlaneList.txt");
  if (file == nullptr) return false;
  size = 0;
  crc = 0;
  char buffer[1 << 16];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    crc = rec::crc32(buffer, n, crc);
    size += n;
  }
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

bool writeAll(int fd, const std::string& bytes, std::string& problem) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      problem = n < 0 ? std::strerror(errno) : "nothing written";
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// --- recording -------------------------------------------------------------

struct Recorder {
  std::string path;
  int fd = -1;
  std::unique_ptr<rec::Writer> writer;
  std::size_t written = 0;
  std::size_t aircraft = 0;
  bool tickOpen = false;  // an update is under way, its state not yet taken
  rec::Tick tick;
};
Recorder recorder;

void stopRecording() {
  ::close(recorder.fd);
  recorder.fd = -1;
  recorder.writer.reset();
  setFleetUpdateWrapper(nullptr);
}

bool flushRecording() {
  std::string problem;
  if (!writeAll(recorder.fd, recorder.writer->pending(), problem)) {
    std::fprintf(stderr, "flightscene: recording to %s stopped: %s\n", shown(recorder.path).c_str(),
                 problem.c_str());
    stopRecording();
    return false;
  }
  recorder.written += recorder.writer->pending().size();
  recorder.writer->flushed();
  return true;
}

void closeTick() {
  if (!recorder.tickOpen) return;
  recorder.tickOpen = false;
  recorder.tick.state = fleetStateCrc();
  recorder.writer->tick(recorder.tick);
  // A replay reads at most kMaxFileBytes: the recording ends before that.
  const std::size_t next = recorder.written + recorder.writer->pending().size() +
                           rec::Writer::tickSize() + rec::Writer::endSize(recorder.aircraft);
  if (next > kMaxFileBytes) {
    std::fprintf(stderr,
                 "flightscene: recording to %s ends at its limit of %zu MiB; the flight goes on "
                 "unrecorded\n",
                 shown(recorder.path).c_str(), kMaxFileBytes >> 20);
    finishRecording();
  } else if (recorder.writer->flushDue()) {
    flushRecording();
  }
}

void recordUpdate(SbTime delta, FleetUpdate update) {
  recorder.tick.delta = delta.getValue();
  recorder.tick.keys = keyFlags();
  recorder.tickOpen = true;
  // Escape ends the process inside the update; finishRecording then runs
  // at exit and takes this update's state.
  update(delta);
  closeTick();
}

// A new file of ours beside the target, never one that is there already.
int createTemporary(int dirFd, const std::string& name, std::string& temporary) {
  for (int n = 0; n < 1000; ++n) {
    temporary = "." + name + "-" + std::to_string(getpid()) + "-" + std::to_string(n) + ".tmp";
    const int fd = ::openat(dirFd, temporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// --- replay ----------------------------------------------------------------

struct Replay {
  FlightRecording recording;
  std::size_t next = 0;
  bool over = false;
};
Replay replay;

void endReplay(uint64_t differsAt) {
  replay.over = true;
  if (differsAt != 0)
    std::fprintf(stderr, "replay: differs from the recording at tick %llu\n",
                 static_cast<unsigned long long>(differsAt));
  else
    std::fprintf(stderr, "replay: %zu ticks, matches the recording\n",
                 replay.recording.ticks.size());
}

void replayUpdate(SbTime /*clock*/, FleetUpdate update) {
  const std::vector<rec::Tick>& ticks = replay.recording.ticks;
  if (!replay.over && replay.next == ticks.size()) endReplay(0);
  if (replay.over) {
    exitOnEscape();
    return;
  }
  const rec::Tick& tick = ticks[replay.next++];
  setKeyFlags(tick.keys);
  update(SbTime(tick.delta));
  if (fleetStateCrc() != tick.state) {
    endReplay(replay.next);
  } else if (replay.next == ticks.size()) {
    const bool same =
        !replay.recording.ended || replay.recording.end.aircraft == aircraftStateCrcs();
    endReplay(same ? 0 : replay.next);
  }
}

}  // namespace

namespace {
// Calls f with each aircraft's state bytes, in list order.
template <typename F>
void forEachState(F f) {
  std::string bytes;
  for (const PlaneListNode* cell = fleet.head; cell != nullptr; cell = cell->next) {
    bytes.clear();
    appendState(bytes, *cell->plane);
    f(bytes);
  }
}
}  // namespace

uint32_t fleetStateCrc() {
  uint32_t crc = 0;
  forEachState([&crc](const std::string& b) { crc = rec::crc32(b.data(), b.size(), crc); });
  return crc;
}

std::vector<uint32_t> aircraftStateCrcs() {
  std::vector<uint32_t> crcs;
  forEachState([&crcs](const std::string& b) { crcs.push_back(rec::crc32(b.data(), b.size())); });
  return crcs;
}

uint16_t keyFlags() {
  uint16_t flags = 0;
  for (int k = 0; k < KEY_COUNT; ++k)
    if (KeyTable[k].pressed) flags = static_cast<uint16_t>(flags | (1u << k));
  return flags;
}

void setKeyFlags(uint16_t flags) {
  for (int k = 0; k < KEY_COUNT; ++k)
    if (k != KEY_ESCAPE) KeyTable[k].pressed = (flags >> k) & 1u;
}

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
  uint64_t size = 0;
  uint32_t crc = 0;
  // An unreadable list is the loader's to report, in its own words.
  if (!listDigest(size, crc)) return "";
  if (size == recording.header.listSize && crc == recording.header.listCrc) return "";
  return "cannot replay " + shown(path) + ": it was flown with another PlaneList.txt";
}

std::string cutShortNote(const std::string& path, const FlightRecording& recording) {
  return shown(path) + " is cut short after tick " + std::to_string(recording.ticks.size()) +
         ": replaying its whole ticks";
}

std::string recordTargetProblem(const std::string& path) {
  const std::string cannot = "cannot record to " + shown(path) + ": ";
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return cannot + "not a regular file";
  } else if (errno != ENOENT) {
    return cannot + std::strerror(errno);
  }
  std::string dir = path.substr(0, path.find_last_of('/') + 1);
  if (dir.empty()) dir = ".";
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return cannot + "no such directory";
  if (::access(dir.c_str(), W_OK) != 0) return cannot + std::strerror(errno);
  return "";
}

bool startRecording(const std::string& given) {
  auto fail = [&](const std::string& why) {
    std::fprintf(stderr, "flightscene: cannot record to %s: %s\n", shown(given).c_str(),
                 why.c_str());
    return false;
  };
  // A link is followed: the file it names is the one replaced.
  std::string path = given;
  struct stat st;
  if (::lstat(given.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char* real = realpath(given.c_str(), nullptr);
    if (real == nullptr) return fail("a link to nothing");
    path = real;
    std::free(real);
  }
  const std::size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  rec::Header header;
  header.programVersion = cli::version();
  if (!listDigest(header.listSize, header.listCrc)) return fail("cannot read PlaneList.txt");

  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return fail(std::strerror(errno));
  // Written under a name of its own, then put in place: a reader of the
  // old file never sees a half-made one, and nothing but a regular file is
  // ever replaced.
  std::string temporary;
  const int fd = createTemporary(dirFd, name, temporary);
  if (fd < 0) {
    const int error = errno;
    ::close(dirFd);
    return fail(std::strerror(error));
  }
  recorder.path = given;
  recorder.fd = fd;
  recorder.writer = std::make_unique<rec::Writer>(header);
  std::string problem;
  bool ok = writeAll(fd, recorder.writer->pending(), problem);
  if (ok && ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) {
    problem = "not a regular file";
    ok = false;
  }
  if (ok && ::renameat(dirFd, temporary.c_str(), dirFd, name.c_str()) != 0) {
    problem = std::strerror(errno);
    ok = false;
  }
  if (!ok) {
    ::unlinkat(dirFd, temporary.c_str(), 0);
    ::close(dirFd);
    stopRecording();
    return fail(problem);
  }
  ::fsync(dirFd);
  ::close(dirFd);
  recorder.written = recorder.writer->pending().size();
  recorder.writer->flushed();
  for (const PlaneListNode* cell = fleet.head; cell != nullptr; cell = cell->next)
    ++recorder.aircraft;
  static bool registered = false;
  if (!registered) registered = std::atexit(finishRecording) == 0;
  setFleetUpdateWrapper(recordUpdate);
  return true;
}

void finishRecording() {
  if (!recorder.writer) return;
  closeTick();
  if (!recorder.writer) return;  // the last update filled the recording
  rec::End end;
  end.aircraft = aircraftStateCrcs();
  recorder.writer->end(end);
  if (!flushRecording()) return;
  if (::fsync(recorder.fd) != 0 && errno != EINVAL)
    std::fprintf(stderr, "flightscene: recording to %s may be incomplete: %s\n",
                 shown(recorder.path).c_str(), std::strerror(errno));
  stopRecording();
}

void startReplay(FlightRecording recording) {
  replay.recording = std::move(recording);
  replay.next = 0;
  replay.over = false;
  setFleetUpdateWrapper(replayUpdate);
}
