// Fuzz target for the list-file parser. Every input must end in entries
// or exactly one of the loader's errors, read the same through every entry
// point (buffer, stream, FILE*), and give entries that survive being
// written back out and read again.

#include "aircraft/PlaneListFile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

[[noreturn]] void violated(const char* what) {
  std::fprintf(stderr, "list-file parser invariant violated: %s\n", what);
  std::abort();
}

void require(bool ok, const char* what) {
  if (!ok) violated(what);
}

bool isSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool sameEntries(const PlaneListParse& a, const PlaneListParse& b) {
  if (a.status != b.status || a.entries.size() != b.entries.size()) return false;
  for (std::size_t i = 0; i < a.entries.size(); ++i) {
    const PlaneListEntry& x = a.entries[i];
    const PlaneListEntry& y = b.entries[i];
    // Bitwise float comparison: -0 and 0 must not be confused either.
    if (x.name != y.name || std::signbit(x.size) != std::signbit(y.size) || x.size != y.size ||
        std::signbit(x.scale) != std::signbit(y.scale) || x.scale != y.scale ||
        x.number != y.number)
      return false;
  }
  return true;
}

void checkShape(const PlaneListParse& p, std::size_t inputSize) {
  switch (p.status) {
    case PlaneListStatus::Ok:
      require(!p.entries.empty(), "Ok without entries");
      break;
    case PlaneListStatus::Empty:
      require(p.entries.empty(), "Empty with entries");
      break;
    case PlaneListStatus::BadFormat:
      break;
    case PlaneListStatus::CannotOpen:
      violated("CannotOpen from a parse of bytes");
    default:
      violated("status out of range");
  }
  // Each entry takes at least seven bytes ("n 1 1 1"), so entries are bounded by the input.
  require(p.entries.size() <= inputSize / 7 + 1, "more entries than the input can hold");
  for (const PlaneListEntry& e : p.entries) {
    require(!e.name.empty(), "empty name");
    require(e.name.size() <= kMaxNameLength, "name longer than the limit");
    for (char c : e.name) require(!isSpace(static_cast<unsigned char>(c)), "white space in a name");
    require(std::isfinite(e.size) && std::isfinite(e.scale), "non-finite number");
  }
}

std::string writeBack(const PlaneListParse& p) {
  std::string text;
  char buf[96];
  for (const PlaneListEntry& e : p.entries) {
    // %.9g round-trips every float exactly.
    std::snprintf(buf, sizeof buf, " %.9g %.9g %d\n", static_cast<double>(e.size),
                  static_cast<double>(e.scale), static_cast<int>(e.number));
    text += e.name;
    text += buf;
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const PlaneListParse fromBuffer = parsePlaneList(bytes, size);
  checkShape(fromBuffer, size);

  std::istringstream stream(std::string(bytes, size));
  require(sameEntries(fromBuffer, parsePlaneList(stream)), "stream and buffer disagree");

  // The loader reads through a FILE*.
  if (size > 0) {
    // A temporary file, not fmemopen: Windows has none.
    std::FILE* file = std::tmpfile();
    require(file != nullptr && std::fwrite(bytes, 1, size, file) == size, "tmpfile failed");
    std::rewind(file);
    PlaneListParse fromFile;
    PlaneListReader reader(makeByteSource(file));
    PlaneListEntry entry;
    for (bool more = true; more;) {
      switch (reader.next(entry)) {
        case PlaneListReader::Step::Entry:
          fromFile.entries.push_back(entry);
          break;
        case PlaneListReader::Step::End:
          more = false;
          break;
        case PlaneListReader::Step::Empty:
          fromFile.status = PlaneListStatus::Empty;
          more = false;
          break;
        case PlaneListReader::Step::BadFormat:
          fromFile.status = PlaneListStatus::BadFormat;
          more = false;
          break;
      }
    }
    std::fclose(file);
    require(sameEntries(fromBuffer, fromFile), "FILE* and buffer disagree");
  }

  if (!fromBuffer.entries.empty()) {
    const std::string text = writeBack(fromBuffer);
    PlaneListParse again = parsePlaneList(text.data(), text.size());
    PlaneListParse expected = fromBuffer;
    expected.status = PlaneListStatus::Ok;
    require(sameEntries(expected, again), "entries do not survive being written back");
  }
  return 0;
}
