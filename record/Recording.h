#pragma once
// A recorded flight: the exact deltas and key flags each fleet update saw,
// so that a replay flies the same aircraft states to the bit. Pure bytes in
// and out; the program does the file work.
//
// The file is an 8-byte magic, "FSFLIGHT", then records:
//   kind (1 byte) | payload length (u32) | payload | CRC-32 of all before it
// all integers little-endian. The kinds, in file order:
//   'H' once:  format version (u32), list byte count (u64), list CRC-32
//              (u32), program version length (u8) and bytes. A reader stops
//              at a version it does not know, before the rest of the payload.
//   'T' per fleet update: delta (u64, the double's bits), key flags toggled
//              since the update before (u16, bit k for key index k; all
//              clear before the first), CRC-32 of the aircraft states after
//              the update (u32).
//   'E' on a clean end: update count (u64), aircraft count (u32), CRC-32 of
//              each aircraft's state (u32 each). Nothing may follow it.
// A writer emits whole records only, so a file cut short anywhere keeps
// every record before the cut; one without 'E' was not ended cleanly.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rec {

constexpr uint32_t kFormatVersion = 1;
// Longer program versions are cut: the field is informative only.
constexpr std::size_t kMaxProgramVersion = 64;
// Each aircraft's final state costs 4 bytes in the end record.
constexpr std::size_t kMaxPayload = std::size_t{64} << 20;

uint32_t crc32(const void* data, std::size_t size, uint32_t crc = 0);

// Appends the low `bytes` bytes of value, least significant first: the
// byte order of every integer in a recording and in the fleet's state.
void putLittleEndian(std::string& out, uint64_t value, int bytes);

struct Header {
  uint32_t format = kFormatVersion;
  uint64_t listSize = 0;
  uint32_t listCrc = 0;
  std::string programVersion;
};

struct Tick {
  double delta = 0;
  uint16_t keys = 0;  // every key flag as the update saw it, bit k for key index k
  uint32_t state = 0;
};

struct End {
  uint64_t ticks = 0;
  std::vector<uint32_t> aircraft;
};

// Bytes of a recording as it is made. Records are appended to pending();
// the owner writes those out and clears them when flushDue() says so.
class Writer {
 public:
  explicit Writer(const Header& header);
  void tick(const Tick& tick);
  void end(const End& end);

  std::string& pending() { return pending_; }
  // Half a second of flight or 64 KiB of records wait at most, so a killed
  // program loses less than a second.
  bool flushDue() const;
  // The owner calls this after writing pending() out.
  void flushed();

  uint64_t ticks() const { return ticks_; }
  // Bytes of a tick record, and of the end record for `aircraft` aircraft.
  static std::size_t tickSize();
  static std::size_t endSize(std::size_t aircraft);

 private:
  void record(char kind, const std::string& payload);
  std::string pending_;
  uint16_t keys_ = 0;
  uint64_t ticks_ = 0;
  double sinceFlush_ = 0;
};

// Reads a recording held in memory, record by record.
class Reader {
 public:
  Reader(const void* data, std::size_t size);

  enum class Open { Ok, Empty, NotARecording, NewerFormat, Truncated, Damaged };
  // Reads the magic and the header. On NewerFormat, header.format says which.
  Open open(Header& header);

  // Tick: `tick` holds the next update. End: `end` holds the closing record,
  // which matched the updates read. Truncated: the bytes stop inside a
  // record, or before an end record. Damaged: a checksum, length, kind or
  // count is wrong, a time step is NaN or infinite, or bytes follow the end
  // record.
  enum class Step { Tick, End, Truncated, Damaged };
  Step next(Tick& tick, End& end);

  uint64_t ticks() const { return ticks_; }

 private:
  enum class Frame { Ok, Truncated, Damaged };
  Frame frame(char& kind, const uint8_t*& payload, uint32_t& length);
  const uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
  uint16_t keys_ = 0;
  uint64_t ticks_ = 0;
  bool ended_ = false;
};

}  // namespace rec
