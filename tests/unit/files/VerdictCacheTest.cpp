// The verdict cache: each file is judged once per kind of reader, so a bad
// file is reported in one line however often it is named.

#include "files/UntrustedFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

namespace {

class VerdictCache : public ::testing::Test {
 protected:
  // A reader that leaves one line in the trace file each time a child runs it.
  std::function<std::string()> reader(const std::string& answer) {
    return [this, answer] {
      std::ofstream(trace, std::ios::app) << "read\n";
      return answer;
    };
  }
  int reads() {
    std::ifstream in(trace);
    int n = 0;
    for (std::string line; std::getline(in, line);) ++n;
    return n;
  }
  std::string judgeTwice(const std::string& path, const std::string& answer, std::string& second) {
    ::testing::internal::CaptureStderr();
    judgeFile("test:", "left out", path.c_str(), reader(answer));
    second = judgeFile("test:", "left out", path.c_str(), reader(answer));
    return ::testing::internal::GetCapturedStderr();
  }
  std::string file(const char* name) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << "x";
    return path;
  }
  const std::string trace = ::testing::TempDir() + "verdict-trace.txt";
  void SetUp() override { std::remove(trace.c_str()); }
};

TEST_F(VerdictCache, AGoodFileIsReadOnceAndNothingIsPrinted) {
  const std::string path = file("verdict-good.iv");
  std::string second = "unset";
  EXPECT_EQ(judgeTwice(path, "", second), "");
  EXPECT_EQ(second, "");
  EXPECT_EQ(reads(), 1);
}

TEST_F(VerdictCache, ABadFileIsReadOnceAndReportedInOneLine) {
  const std::string path = file("verdict-bad.iv");
  std::string second;
  EXPECT_EQ(judgeTwice(path, "broken", second), "test: " + path + " left out: broken\n");
  EXPECT_EQ(second, "broken");
  EXPECT_EQ(reads(), 1);
}

}  // namespace
