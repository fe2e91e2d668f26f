// The flight recording's bytes: what is written reads back the same, a file
// cut anywhere yields exactly its whole records, and damage is never taken
// for a flight.

#include "record/Recording.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using rec::Reader;

rec::Header sampleHeader() {
  rec::Header h;
  h.listSize = 123456789012ull;
  h.listCrc = 0xDEADBEEF;
  h.programVersion = "9.8.7";
  return h;
}

// Deltas a clock can give, and odd ones it hardly gives, with keys going
// down and up again between ticks.
std::vector<rec::Tick> sampleTicks() {
  const double deltas[] = {1.0 / 60, 0.0, -0.0, 5e-324, 1e300, -2.5, 0.25};
  std::vector<rec::Tick> ticks;
  uint16_t keys = 0;
  for (double d : deltas) {
    keys = static_cast<uint16_t>(keys * 5 + 0x123) & 0x0FFF;
    ticks.push_back({d, keys, static_cast<uint32_t>(ticks.size() * 0x9E3779B9u)});
  }
  return ticks;
}

struct Read {
  Reader::Open open;
  std::vector<rec::Tick> ticks;
  Reader::Step last = Reader::Step::Truncated;
  rec::End end;
};

Read readAll(const std::string& bytes) {
  Read r;
  Reader reader(bytes.data(), bytes.size());
  rec::Header header;
  r.open = reader.open(header);
  if (r.open != Reader::Open::Ok) return r;
  rec::Tick tick;
  while ((r.last = reader.next(tick, r.end)) == Reader::Step::Tick) r.ticks.push_back(tick);
  return r;
}

bool sameBits(const rec::Tick& a, const rec::Tick& b) {
  return std::memcmp(&a.delta, &b.delta, sizeof a.delta) == 0 && a.keys == b.keys &&
         a.state == b.state;
}

// The whole recording, and where each record ends.
std::string sampleRecording(std::vector<std::size_t>* recordEnds = nullptr) {
  rec::Writer writer(sampleHeader());
  std::string bytes = writer.pending();
  if (recordEnds) recordEnds->push_back(bytes.size());
  writer.flushed();
  for (const rec::Tick& t : sampleTicks()) {
    writer.tick(t);
    bytes += writer.pending();
    writer.flushed();
    if (recordEnds) recordEnds->push_back(bytes.size());
  }
  writer.end({0, {1, 2, 0xFFFFFFFF}});
  return bytes + writer.pending();
}

TEST(Recording, ReadsBackEveryTickToTheBitAndTheFinalStates) {
  const std::string bytes = sampleRecording();
  Reader reader(bytes.data(), bytes.size());
  rec::Header header;
  ASSERT_EQ(reader.open(header), Reader::Open::Ok);
  EXPECT_EQ(header.listSize, sampleHeader().listSize);
  EXPECT_EQ(header.listCrc, sampleHeader().listCrc);
  EXPECT_EQ(header.programVersion, "9.8.7");
  const Read r = readAll(bytes);
  const std::vector<rec::Tick> expected = sampleTicks();
  ASSERT_EQ(r.ticks.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(sameBits(r.ticks[i], expected[i]));
  EXPECT_EQ(r.last, Reader::Step::End);
  EXPECT_EQ(r.end.ticks, expected.size());
  EXPECT_EQ(r.end.aircraft, (std::vector<uint32_t>{1, 2, 0xFFFFFFFF}));
}

TEST(Recording, CutAtAnyByteKeepsExactlyTheWholeRecords) {
  std::vector<std::size_t> ends;
  const std::string bytes = sampleRecording(&ends);
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    const Read r = readAll(bytes.substr(0, cut));
    if (cut == 0) {
      EXPECT_EQ(r.open, Reader::Open::Empty);
    } else if (cut < ends[0]) {
      EXPECT_EQ(r.open, Reader::Open::Truncated);
    } else {
      ASSERT_EQ(r.open, Reader::Open::Ok);
      std::size_t whole = 0;
      while (whole + 1 < ends.size() && ends[whole + 1] <= cut) ++whole;
      EXPECT_EQ(r.ticks.size(), whole);
      EXPECT_EQ(r.last, Reader::Step::Truncated);
    }
  }
}

TEST(Recording, NoFlippedBitReadsAsTheWholeFlight) {
  const std::string bytes = sampleRecording();
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    for (int bit = 0; bit < 8; bit += 3) {
      std::string damaged = bytes;
      damaged[at] = static_cast<char>(damaged[at] ^ (1 << bit));
      const Read r = readAll(damaged);
      EXPECT_FALSE(r.open == Reader::Open::Ok && r.last == Reader::Step::End)
          << "byte " << at << " bit " << bit;
    }
  }
}

TEST(Recording, BytesAfterTheEndAreDamage) {
  EXPECT_EQ(readAll(sampleRecording() + "T").last, Reader::Step::Damaged);
}

TEST(Recording, TimeStepsNoClockGivesAreDamage) {
  for (double delta :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity()}) {
    rec::Writer writer(sampleHeader());
    writer.tick({0.25, 0, 0});
    writer.tick({delta, 0, 0});
    const Read r = readAll(writer.pending());
    EXPECT_EQ(r.ticks.size(), 1u) << delta;
    EXPECT_EQ(r.last, Reader::Step::Damaged) << delta;
  }
}

TEST(Recording, NewerFormatIsNamedNotRead) {
  rec::Header header = sampleHeader();
  header.format = rec::kFormatVersion + 1;
  const std::string bytes = rec::Writer(header).pending();
  Reader reader(bytes.data(), bytes.size());
  rec::Header got;
  EXPECT_EQ(reader.open(got), Reader::Open::NewerFormat);
  EXPECT_EQ(got.format, rec::kFormatVersion + 1);
  EXPECT_EQ(readAll("not a flight").open, Reader::Open::NotARecording);
}

TEST(Recording, NeverHoldsBackASecondOfFlight) {
  rec::Writer writer(sampleHeader());
  writer.flushed();
  double pending = 0;
  for (int i = 0; i < 1000; ++i) {
    writer.tick({1.0 / 240, 0, 0});
    pending += 1.0 / 240;
    ASSERT_LT(pending, 1.0) << "tick " << i;
    if (writer.flushDue()) {
      writer.flushed();
      pending = 0;
    }
  }
}

}  // namespace
