// The list-file token reader against the C library's own conversions: on
// the same bytes, our reader must split tokens and convert values exactly
// as fscanf does, apart from the refusals we add (infinite/NaN numbers,
// over-long names).

#include "aircraft/PlaneListFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>

namespace {

using Result = PlaneListScanner::Result;

std::string escaped(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7f) {
      out.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

std::string drain(ByteSource& in) {
  std::string rest;
  while (in.peek() != EOF) {
    rest.push_back(static_cast<char>(in.peek()));
    in.bump();
  }
  return rest;
}

std::string drain(std::FILE* f) {
  std::string rest;
  for (int c = std::getc(f); c != EOF; c = std::getc(f)) rest.push_back(static_cast<char>(c));
  return rest;
}

bool allSpace(const std::string& s) {
  for (unsigned char c : s)
    if (!(c == ' ' || (c >= '\t' && c <= '\r'))) return false;
  return true;
}

// The reference is glibc's scanner; MinGW's reads some malformed numbers
// ("0xp1") otherwise. The program's own scanner is the same everywhere.
#ifdef __GLIBC__
constexpr bool kGlibcScanner = true;
#else
constexpr bool kGlibcScanner = false;
#endif
constexpr const char* kOtherScanner = "the reference is glibc's scanner";

// The bytes as a stream, through a temporary file (Windows has no fmemopen).
struct MemFile {
  explicit MemFile(const std::string& bytes) : file(std::tmpfile()) {
    if (file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size()) std::rewind(file);
  }
  ~MemFile() {
    if (file) std::fclose(file);
  }
  std::FILE* file;
};

void expectSameFloat(const std::string& input) {
  SCOPED_TRACE("input \"" + escaped(input) + "\"");
  MemFile real(input);
  ASSERT_NE(real.file, nullptr);
  float realValue = 0;
  const int r = std::fscanf(real.file, "%f ", &realValue);

  auto source = makeByteSource(input.data(), input.size());
  PlaneListScanner scanner(*source);
  float value = 0;
  const Result mine = scanner.scanFloat(value);

  if (r == 1 && std::isfinite(realValue)) {
    ASSERT_EQ(mine, Result::Ok);
    uint32_t a, b;
    std::memcpy(&a, &realValue, 4);
    std::memcpy(&b, &value, 4);
    EXPECT_EQ(a, b);
    EXPECT_EQ(drain(real.file), drain(*source));
  } else if (r == 1) {
    EXPECT_EQ(mine, Result::Bad) << "infinite or NaN must be refused";
  } else {
    EXPECT_EQ(mine, allSpace(input) ? Result::End : Result::Bad);
  }
}

void expectSameInt(const std::string& input) {
  SCOPED_TRACE("input \"" + escaped(input) + "\"");
  MemFile real(input);
  ASSERT_NE(real.file, nullptr);
  int realValue = 0;
  const int r = std::fscanf(real.file, "%d ", &realValue);

  auto source = makeByteSource(input.data(), input.size());
  PlaneListScanner scanner(*source);
  int32_t value = 0;
  const Result mine = scanner.scanInt(value);

  if (r == 1) {
    ASSERT_EQ(mine, Result::Ok);
    if (value != INT32_MAX && value != INT32_MIN) {
      EXPECT_EQ(realValue, value);
    }
    EXPECT_EQ(drain(real.file), drain(*source));
  } else {
    EXPECT_EQ(mine, allSpace(input) ? Result::End : Result::Bad);
  }
}

void expectSameName(const std::string& input) {
  SCOPED_TRACE("input \"" + escaped(input) + "\"");
  MemFile real(input);
  ASSERT_NE(real.file, nullptr);
  std::string realName(input.size() + 1, '\0');
  const int r = std::fscanf(real.file, "%s ", &realName[0]);

  auto source = makeByteSource(input.data(), input.size());
  PlaneListScanner scanner(*source);
  std::string name;
  const Result mine = scanner.scanName(name);

  if (r == 1) {
    ASSERT_EQ(mine, Result::Ok);
    EXPECT_STREQ(realName.c_str(), name.c_str());
    EXPECT_EQ(drain(real.file), drain(*source));
  } else {
    EXPECT_EQ(mine, Result::End);
  }
}

std::string randomInput(std::mt19937& rng) {
  static const std::string pieces[] = {"0",        "1",
                                       "5",        "9",
                                       "00",       ".",
                                       "e",        "E",
                                       "+",        "-",
                                       "x",        "X",
                                       "p",        "P",
                                       "a",        "f",
                                       "F",        "b",
                                       "i",        "I",
                                       "n",        "N",
                                       "inf",      "nan",
                                       "infinity", "0x",
                                       "1e",       " ",
                                       "\t",       "\n",
                                       "\r",       "\v",
                                       "\f",       std::string(1, '\0'),
                                       "\xff",     "q",
                                       "_",        "/"};
  const std::size_t count = sizeof pieces / sizeof pieces[0];
  std::string s;
  const int n = static_cast<int>(rng() % 9);
  for (int i = 0; i < n; ++i) s += pieces[rng() % count];
  return s;
}

TEST(ListTokenSplitting, FloatsConvertAndSplitLikeFscanf) {
  if (!kGlibcScanner) GTEST_SKIP() << kOtherScanner;
  const char* cases[] = {"1.5",   "+1.5",  "-2",   "1e3",       "1E-3", "2.5e+2x", "1e",
                         "1e+",   "-",     ".",    "+.",        ".5",   "5.",      "0x1.8p1",
                         "0x",    "0x.8",  "0xp1", "0x1p",      "0e5",  "5x",      "1.2.3",
                         "1e5e5", "abc",   "inf",  "-infinity", "nan",  "1e999",   "-1e999",
                         "1e39",  "  7  ", "",     "   \n",     "0x1e", "0X1P-2",  "00.5e1"};
  for (const char* c : cases) expectSameFloat(c);
}

TEST(ListTokenSplitting, LongNumbersConvertLikeFscanf) {
  const std::string zeros(3000, '0'), ones(3000, '1');
  // 16777217 lies halfway between two floats: only the 1 far behind it
  // decides that it rounds up.
  const std::string cases[] = {ones,
                               "0." + zeros + "1e3005",
                               "1" + zeros + "e-3000",
                               "16777217." + zeros + "1",
                               "16777217." + zeros,
                               "-0x1" + zeros + "p-12000",
                               "1e" + zeros + "5",
                               zeros + "7x",
                               "1e-" + ones};
  for (const std::string& c : cases) expectSameFloat(c);
}

TEST(ListTokenSplitting, IntegersConvertAndSplitLikeFscanf) {
  const char* cases[] = {"5",    "-5",  "+5",     "5x", "x",   "-",          "+",
                         "0x10", "007", " 12 \n", "",   "1.5", "2147483647", "-2147483648"};
  for (const char* c : cases) expectSameInt(c);
}

TEST(ListTokenSplitting, NamesSplitLikeFscanf) {
  const std::string cases[] = {
      "plane.iv", "  a b", "\n\tmodels/cub.iv\n", "", " \n ", std::string("a\0b c", 5), "\xff\xfe"};
  for (const std::string& c : cases) expectSameName(c);
}

TEST(ListTokenSplitting, RandomBytesSplitLikeFscanf) {
  if (!kGlibcScanner) GTEST_SKIP() << kOtherScanner;
  std::mt19937 rng(1234);
  for (int i = 0; i < 100000; ++i) {
    const std::string input = randomInput(rng);
    expectSameFloat(input);
    expectSameInt(input);
    expectSameName(input);
    if (HasFailure()) break;
  }
}

// A whole file read entry by entry with fscanf, the way the loader reads
// it, against our parser: same entries, same outcome.
TEST(ListTokenSplitting, RandomFilesParseLikeFscanfLoop) {
  if (!kGlibcScanner) GTEST_SKIP() << kOtherScanner;
  std::mt19937 rng(99);
  for (int i = 0; i < 20000; ++i) {
    std::string input;
    const int parts = 1 + static_cast<int>(rng() % 10);
    for (int p = 0; p < parts; ++p) input += randomInput(rng) + (rng() % 2 ? " " : "");
    SCOPED_TRACE("input \"" + escaped(input) + "\"");

    MemFile real(input);
    ASSERT_NE(real.file, nullptr);
    std::vector<PlaneListEntry> realEntries;
    PlaneListStatus realStatus = PlaneListStatus::Ok;
    bool refused = false;  // a number the reader refuses by design
    std::string name(input.size() + 1, '\0');
    if (std::fscanf(real.file, "%s ", &name[0]) != 1) realStatus = PlaneListStatus::Empty;
    while (realStatus == PlaneListStatus::Ok) {
      PlaneListEntry e;
      int number = 0;
      if (std::fscanf(real.file, "%f ", &e.size) != 1 ||
          std::fscanf(real.file, "%f ", &e.scale) != 1 ||
          std::fscanf(real.file, "%d ", &number) != 1) {
        realStatus = PlaneListStatus::BadFormat;
        break;
      }
      if (!std::isfinite(e.size) || !std::isfinite(e.scale)) {
        refused = true;
        break;
      }
      e.name = name.c_str();
      e.number = number;
      realEntries.push_back(e);
      if (std::fscanf(real.file, "%s ", &name[0]) != 1) break;
    }

    const PlaneListParse mine = parsePlaneList(input.data(), input.size());
    EXPECT_EQ(mine.status, refused ? PlaneListStatus::BadFormat : realStatus);
    ASSERT_EQ(mine.entries.size(), realEntries.size());
    for (std::size_t k = 0; k < realEntries.size(); ++k) {
      EXPECT_STREQ(mine.entries[k].name.c_str(), realEntries[k].name.c_str());
      EXPECT_EQ(mine.entries[k].size, realEntries[k].size);
      EXPECT_EQ(mine.entries[k].scale, realEntries[k].scale);
    }
    if (HasFailure()) break;
  }
}

TEST(ListParsing, BufferStreamAndFileReadersAgree) {
  std::mt19937 rng(7);
  const std::string path = ::testing::TempDir() + "agree_list.txt";
  for (int i = 0; i < 300; ++i) {
    std::string input = "a 1 2 3\n";
    for (int p = 0; p < 6; ++p) input += randomInput(rng) + " ";
    SCOPED_TRACE("input \"" + escaped(input) + "\"");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(input.data(), 1, input.size(), f);
    std::fclose(f);

    const PlaneListParse fromBuffer = parsePlaneList(input.data(), input.size());
    std::istringstream stream(input);
    const PlaneListParse fromStream = parsePlaneList(stream);
    const PlaneListParse fromFile = parsePlaneListFile(path.c_str());
    for (const PlaneListParse* other : {&fromStream, &fromFile}) {
      EXPECT_EQ(other->status, fromBuffer.status);
      ASSERT_EQ(other->entries.size(), fromBuffer.entries.size());
      for (std::size_t k = 0; k < fromBuffer.entries.size(); ++k) {
        EXPECT_EQ(other->entries[k].name, fromBuffer.entries[k].name);
        EXPECT_EQ(other->entries[k].size, fromBuffer.entries[k].size);
        EXPECT_EQ(other->entries[k].scale, fromBuffer.entries[k].scale);
        EXPECT_EQ(other->entries[k].number, fromBuffer.entries[k].number);
      }
    }
  }
  std::remove(path.c_str());
}

TEST(ListParsing, OutOfRangeIntegerIsAcceptedAndSaturated) {
  const std::string text = "a 1 1 99999999999999999999999\nb 1 1 -99999999999999999999\n";
  const PlaneListParse p = parsePlaneList(text.data(), text.size());
  EXPECT_EQ(p.status, PlaneListStatus::Ok);
  ASSERT_EQ(p.entries.size(), 2u);
  EXPECT_EQ(p.entries[0].number, INT32_MAX);
  EXPECT_EQ(p.entries[1].number, INT32_MIN);
}

}  // namespace
