// The verdict cache: a file is judged once per kind of reader, so however
// often it is named, it is read once and a bad one is reported in one line.

#include "files/UntrustedFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

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

}  // namespace
