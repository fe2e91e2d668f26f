// The verdict cache: a file is judged once per kind of reader, so however
// often it is named, it is read once and a bad one is reported in one line.
// The reader child: a reader that breaks its limits is ended and told apart.

#include "files/UntrustedFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

// Runs in the reader child: only the trace file (the argument) tells the
// test it ran. The file's bytes are its answer.
std::string traced(const std::string& bytes, const std::string& trace) {
  std::ofstream(trace, std::ios::app) << bytes << "|";
  return bytes;
}
[[maybe_unused]] const bool registered = registerReader("traced", traced);

TEST(VerdictCache, ASecondJudgementStartsNoReaderAndPrintsNothing) {
  const std::string dir = ::testing::TempDir(), trace = dir + "verdict-reads.txt";
  std::remove(trace.c_str());
  for (const std::string answer : {"", "broken"}) {
    const std::string path = dir + "verdict-" + answer + ".iv";
    std::ofstream(path, std::ios::binary) << answer;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(judgeFile("test:", "left out", path.c_str(), "traced", trace), answer);
    EXPECT_EQ(judgeFile("test:", "left out", path.c_str(), "traced", trace), answer);
    const std::string report = answer.empty() ? "" : "test: " + path + " left out: broken\n";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), report);
  }
  std::ifstream in(trace);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "|broken|");
}

// Readers that run out of bounds: the child ends, the parent gives the
// verdict, on either platform (a job, or the child's own watch under Wine).
std::string greedy(const std::string&, const std::string&) {
  std::vector<std::unique_ptr<char[]>> blocks;
  for (int i = 0; i < 256; ++i) {  // 16 GiB at most
    blocks.emplace_back(new char[std::size_t{64} << 20]);
    std::memset(blocks.back().get(), 1, std::size_t{64} << 20);
  }
  return "kept 16 GiB";
}
[[maybe_unused]] const bool greedyRegistered = registerReader("greedy", greedy);

int deeper(volatile int depth) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  return depth < 0 ? frame[0] : deeper(depth + 1) + frame[0];
}
std::string crashing(const std::string&, const std::string&) { return std::to_string(deeper(0)); }
[[maybe_unused]] const bool crashingRegistered = registerReader("crashing", crashing);

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer catches both faults itself and ends the child with its
// own report: the reader is still refused, but no longer told apart.
constexpr bool kToldApart = false;
#else
constexpr bool kToldApart = true;
#endif

TEST(ReaderChild, AReaderOutOfMemoryOrStackIsEndedAndToldApart) {
  const std::string memory = readInChild("greedy", "x"), stack = readInChild("crashing", "x");
  if (kToldApart) {
    EXPECT_NE(memory.find("out of memory"), std::string::npos) << memory;
    EXPECT_EQ(stack, "reading it overflows the stack or crashes");
  } else {
    EXPECT_EQ(memory, "cannot be read");
    EXPECT_EQ(stack, "cannot be read");
  }
  EXPECT_EQ(readInChild("unknown", "x"), "cannot start a reader");
}

}  // namespace
