// The verdict cache: a file is judged once per kind of reader, so however
// often it is named, it is read once and a bad one is reported in one line.

#include "files/UntrustedFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

TEST(VerdictCache, ASecondJudgementStartsNoReaderAndPrintsNothing) {
  const std::string dir = ::testing::TempDir(), trace = dir + "verdict-reads.txt";
  std::remove(trace.c_str());
  for (const std::string answer : {"", "broken"}) {
    const std::string path = dir + "verdict-" + answer + ".iv";
    std::ofstream(path) << "x";
    // Runs in the reader child: only the trace file tells the test it ran.
    const auto read = [&](const std::string&) {
      std::ofstream(trace, std::ios::app) << answer << "|";
      return answer;
    };
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(judgeFile("test:", "left out", path.c_str(), read), answer);
    EXPECT_EQ(judgeFile("test:", "left out", path.c_str(), read), answer);
    const std::string report = answer.empty() ? "" : "test: " + path + " left out: broken\n";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), report);
  }
  std::ifstream in(trace);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "|broken|");
}

}  // namespace
