#include "record/Recording.h"

#include "numeric/Bits.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace rec {

namespace {

constexpr char kMagic[8] = {'F', 'S', 'F', 'L', 'I', 'G', 'H', 'T'};
constexpr std::size_t kFrameBytes = 1 + 4 + 4;  // kind, length, CRC
constexpr uint32_t kTickPayload = 8 + 2 + 4;
constexpr uint32_t kHeaderFixed = 4 + 8 + 4 + 1;
constexpr uint32_t kEndFixed = 8 + 4;
constexpr double kFlushSeconds = 0.5;
constexpr std::size_t kFlushBytes = std::size_t{64} << 10;

uint64_t get(const uint8_t* in, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | in[i];
  return value;
}

}  // namespace

void putLittleEndian(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
}

uint32_t crc32(const void* data, std::size_t size, uint32_t crc) {
  const auto* bytes = static_cast<const Bytef*>(data);
  // zlib takes lengths as uInt: feed large buffers in pieces.
  while (size > 0) {
    const uInt piece = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
    crc = static_cast<uint32_t>(::crc32(crc, bytes, piece));
    bytes += piece;
    size -= piece;
  }
  return crc;
}

Writer::Writer(const Header& header) {
  pending_.assign(kMagic, sizeof kMagic);
  const std::string version = header.programVersion.substr(0, kMaxProgramVersion);
  std::string payload;
  putLittleEndian(payload, header.format, 4);
  putLittleEndian(payload, header.listSize, 8);
  putLittleEndian(payload, header.listCrc, 4);
  putLittleEndian(payload, version.size(), 1);
  payload += version;
  record('H', payload);
}

void Writer::tick(const Tick& tick) {
  std::string payload;
  putLittleEndian(payload, numeric::bitsOf(tick.delta), 8);
  putLittleEndian(payload, static_cast<uint16_t>(tick.keys ^ keys_), 2);
  putLittleEndian(payload, tick.state, 4);
  record('T', payload);
  keys_ = tick.keys;
  ++ticks_;
  // A NaN delta must not hold the flush back forever.
  sinceFlush_ = tick.delta >= 0 ? sinceFlush_ + tick.delta : kFlushSeconds;
}

void Writer::end(const End& end) {
  std::string payload;
  putLittleEndian(payload, ticks_, 8);
  putLittleEndian(payload, end.aircraft.size(), 4);
  for (uint32_t crc : end.aircraft) putLittleEndian(payload, crc, 4);
  record('E', payload);
  sinceFlush_ = kFlushSeconds;
}

bool Writer::flushDue() const {
  return !pending_.empty() && (sinceFlush_ >= kFlushSeconds || pending_.size() >= kFlushBytes);
}

void Writer::flushed() {
  pending_.clear();
  sinceFlush_ = 0;
}

std::size_t Writer::tickSize() { return kFrameBytes + kTickPayload; }

std::size_t Writer::endSize(std::size_t aircraft) { return kFrameBytes + kEndFixed + 4 * aircraft; }

void Writer::record(char kind, const std::string& payload) {
  const std::size_t start = pending_.size();
  pending_.push_back(kind);
  putLittleEndian(pending_, payload.size(), 4);
  pending_ += payload;
  putLittleEndian(pending_, crc32(pending_.data() + start, pending_.size() - start), 4);
}

Reader::Reader(const void* data, std::size_t size)
    : data_(static_cast<const uint8_t*>(data)), size_(size) {}

Reader::Frame Reader::frame(char& kind, const uint8_t*& payload, uint32_t& length) {
  const std::size_t left = size_ - at_;
  if (left < 5) return Frame::Truncated;
  const uint8_t* start = data_ + at_;
  kind = static_cast<char>(start[0]);
  length = static_cast<uint32_t>(get(start + 1, 4));
  if (length > kMaxPayload) return Frame::Damaged;
  if (left < kFrameBytes + length) return Frame::Truncated;
  payload = start + 5;
  const uint32_t stored = static_cast<uint32_t>(get(payload + length, 4));
  if (crc32(start, 5 + std::size_t{length}) != stored) return Frame::Damaged;
  at_ += kFrameBytes + length;
  return Frame::Ok;
}

Reader::Open Reader::open(Header& header) {
  if (size_ == 0) return Open::Empty;
  const std::size_t magic = std::min(size_, sizeof kMagic);
  if (std::memcmp(data_, kMagic, magic) != 0) return Open::NotARecording;
  if (size_ < sizeof kMagic) return Open::Truncated;
  at_ = sizeof kMagic;
  char kind = 0;
  const uint8_t* p = nullptr;
  uint32_t length = 0;
  switch (frame(kind, p, length)) {
    case Frame::Ok:
      break;
    case Frame::Truncated:
      return Open::Truncated;
    case Frame::Damaged:
      return Open::Damaged;
  }
  if (kind != 'H' || length < 4) return Open::Damaged;
  header.format = static_cast<uint32_t>(get(p, 4));
  if (header.format > kFormatVersion) return Open::NewerFormat;
  if (header.format != kFormatVersion || length < kHeaderFixed) return Open::Damaged;
  header.listSize = get(p + 4, 8);
  header.listCrc = static_cast<uint32_t>(get(p + 12, 4));
  const std::size_t versionLength = p[16];
  if (versionLength > kMaxProgramVersion || length != kHeaderFixed + versionLength)
    return Open::Damaged;
  header.programVersion.assign(reinterpret_cast<const char*>(p + kHeaderFixed), versionLength);
  return Open::Ok;
}

Reader::Step Reader::next(Tick& tick, End& end) {
  if (ended_) return Step::Damaged;  // nothing comes after the end
  if (at_ == size_) return Step::Truncated;
  char kind = 0;
  const uint8_t* p = nullptr;
  uint32_t length = 0;
  switch (frame(kind, p, length)) {
    case Frame::Ok:
      break;
    case Frame::Truncated:
      return Step::Truncated;
    case Frame::Damaged:
      return Step::Damaged;
  }
  if (kind == 'T' && length == kTickPayload) {
    tick.delta = numeric::fromBits(get(p, 8));
    // No clock gives a time step of NaN or infinity; flown, it would
    // spoil every state after it.
    if (!std::isfinite(tick.delta)) return Step::Damaged;
    keys_ ^= static_cast<uint16_t>(get(p + 8, 2));
    tick.keys = keys_;
    tick.state = static_cast<uint32_t>(get(p + 10, 4));
    ++ticks_;
    return Step::Tick;
  }
  if (kind != 'E' || length < kEndFixed) return Step::Damaged;
  end.ticks = get(p, 8);
  const uint64_t count = get(p + 8, 4);
  if (end.ticks != ticks_ || length != kEndFixed + 4 * count) return Step::Damaged;
  end.aircraft.resize(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < end.aircraft.size(); ++i)
    end.aircraft[i] = static_cast<uint32_t>(get(p + kEndFixed + 4 * i, 4));
  ended_ = true;
  // The end record is the last; anything after it is damage, not more flight.
  return at_ == size_ ? Step::End : Step::Damaged;
}

}  // namespace rec
