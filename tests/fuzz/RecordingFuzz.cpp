// Fuzz target for the flight recording's reader. On any bytes it must stop
// at one clear verdict with bounded work, and what it read must be exactly
// what a writer makes of the same header and ticks: the format has one
// spelling, so nothing damaged can pass for a flight, nor can a time step
// no clock gives (NaN, infinite). Random bytes rarely carry right
// checksums, so each input is also read with its checksums made right,
// which takes the fuzzer past them into the records.

#include "record/Recording.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "recording reader invariant violated: %s\n", what);
  std::abort();
}

// The input with the CRC of every record that its length fields frame
// recomputed.
std::string withChecksumsMadeRight(std::string bytes) {
  for (std::size_t at = 8; bytes.size() - at >= 9 && at < bytes.size();) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
    const std::size_t length = p[1] | p[2] << 8 | p[3] << 16 | std::size_t{p[4]} << 24;
    if (length > bytes.size() - at - 9) break;
    const uint32_t crc = rec::crc32(p, 5 + length);
    for (int i = 0; i < 4; ++i) bytes[at + 5 + length + i] = static_cast<char>(crc >> (8 * i));
    at += 9 + length;
  }
  return bytes;
}

void check(const std::string& input) {
  const std::size_t size = input.size();
  rec::Reader reader(input.data(), size);
  rec::Header header;
  if (reader.open(header) != rec::Reader::Open::Ok) return;
  require(header.format == rec::kFormatVersion, "opened a format it does not know");
  require(header.programVersion.size() <= rec::kMaxProgramVersion, "program version too long");

  rec::Writer writer(header);
  std::string again = writer.pending();
  rec::Tick tick;
  rec::End end;
  rec::Reader::Step step;
  uint64_t ticks = 0;
  while ((step = reader.next(tick, end)) == rec::Reader::Step::Tick) {
    require(std::isfinite(tick.delta), "read a time step no clock gives");
    writer.flushed();
    writer.tick(tick);
    again += writer.pending();
    require(++ticks == reader.ticks(), "ticks miscounted");
    require(again.size() <= size, "more ticks than the bytes hold");
  }
  if (step == rec::Reader::Step::End) {
    writer.flushed();
    writer.end(end);
    again += writer.pending();
    require(again == input, "an ended recording is not what a writer makes of it");
  } else {
    require(input.compare(0, again.size(), again) == 0, "the records read are not the input's");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  check(input);
  if (size >= 8) check(withChecksumsMadeRight(input));
  return 0;
}
