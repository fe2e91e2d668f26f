// Names and values in messages: a long one is cut to its start and end,
// characters kept whole, and a name keeps no control byte.

#include "files/UntrustedFile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PrintedName, LongTextKeepsItsFirstAndLastCharactersWithTheCutMarked) {
  EXPECT_EQ(shortened("abcdefghij", 3, 2), "abc...ij");
  EXPECT_EQ(shortened("abcdefghij", 4), "abcd...");
  EXPECT_EQ(shortened("abcde", 3, 2), "abcde");  // nothing to cut
  // Two-byte characters count once and are never split.
  EXPECT_EQ(shortened("\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9", 2, 1), "\u00e9\u00e9...\u00e9");
}

TEST(PrintedName, ALongPathShowsWhereItStartsAndItsFileName) {
  const std::string path = "/top" + std::string(5000, 'd') + "/flight\n.rec";
  const std::string shown = printableName(path.c_str());
  EXPECT_EQ(shown.size(), 2 * kShownNameHalf + 3);
  EXPECT_EQ(shown.substr(0, 4), "/top");
  EXPECT_EQ(shown.substr(shown.size() - 12), "/flight?.rec");
}

}  // namespace
