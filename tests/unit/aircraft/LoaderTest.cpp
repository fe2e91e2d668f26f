// The list-file loader on the files under lists/: what it prints, how the
// process ends, and which aircraft reach the scene and the fleet.

#include "aircraft/Plane.h"
#include "aircraft/PlaneList.h"
#include "aircraft/PlaneListFile.h"
#include "tests/support/QuietCoin.h"

#include <Inventor/nodes/SoFile.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kCannotOpen = "Cann't open PlaneList file! Exiting...";
const std::string kEmpty = "PlaneList file empty! Exiting...";
const std::string kFormat = "PlaneList file not in right format! Exiting...";

fs::path corpus(const std::string& name) {
  return fs::path(FS_SOURCE_DIR) / "tests/unit/aircraft/lists" / name;
}

// A fresh working directory holding `list` (if any) as PlaneList.txt.
fs::path workDir(const fs::path& list) {
  std::string templ = (fs::path(::testing::TempDir()) / "planelist_XXXXXX").string();
  const char* dir = mkdtemp(&templ[0]);
  if (dir == nullptr) return {};
  if (!list.empty()) fs::copy_file(list, fs::path(dir) / "PlaneList.txt");
  return dir;
}

struct Outcome {
  std::string out;        // every byte the loader wrote to stdout
  int status = -1;        // exit status, -1 when killed by a signal
  int rootChildren = -1;  // children of the root group when the process ended
};

int sideChannel = -1;
SoSeparator* childRoot = nullptr;
void reportChildren() {
  const std::string n = std::to_string(childRoot->getNumChildren());
  if (write(sideChannel, n.data(), n.size()) < 0) _exit(99);
}

std::string readAll(int fd) {
  std::string bytes;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
    bytes.append(buf, static_cast<std::size_t>(n));
  close(fd);
  return bytes;
}

// Runs loadPlaneList in a child process inside `dir`, then removes `dir`.
Outcome runLoader(const fs::path& dir) {
  int out[2], side[2];
  if (pipe(out) != 0 || pipe(side) != 0) return {};
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    close(out[0]);
    close(side[0]);
    dup2(out[1], STDOUT_FILENO);
    if (chdir(dir.c_str()) != 0) _exit(98);
    sideChannel = side[1];
    childRoot = new SoSeparator;
    childRoot->ref();
    std::atexit(reportChildren);
    loadPlaneList(childRoot);
    std::exit(0);
  }
  close(out[1]);
  close(side[1]);
  Outcome result;
  result.out = readAll(out[0]);
  const std::string children = readAll(side[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  result.rootChildren = children.empty() ? -1 : std::stoi(children);
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return result;
}

struct Expected {
  std::string name;
  float size;
  float scale;
};

class Loader : public ::testing::Test {
 protected:
  void SetUp() override { fstest::initQuietCoin(); }

  // Loads a good file in this process and checks the scene and the fleet.
  void expectLoads(const std::string& file, const std::vector<Expected>& expected) {
    SCOPED_TRACE(file);
    const Outcome child = runLoader(workDir(corpus(file)));
    EXPECT_EQ(child.out, "");
    EXPECT_EQ(child.status, 0);

    const fs::path here = fs::current_path();
    const fs::path dir = workDir(corpus(file));
    fs::current_path(dir);
    fleet = PlaneList{};
    SoSeparator* root = new SoSeparator;
    root->ref();
    loadPlaneList(root);
    fs::current_path(here);
    fs::remove_all(dir);

    ASSERT_EQ(root->getNumChildren(), static_cast<int>(expected.size()));
    PlaneListNode* cell = fleet.head;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_NE(cell, nullptr);
      Plane* plane = cell->plane;
      EXPECT_EQ(root->getChild(static_cast<int>(i)), plane->root);
      EXPECT_EQ(plane->modelFile->name.getValue(), SbString(expected[i].name.c_str()));
      EXPECT_EQ(plane->size, expected[i].size);
      EXPECT_EQ(plane->scale, expected[i].scale);
      EXPECT_EQ(plane->selected, i == 0 ? 1 : 0);
      cell = cell->next;
    }
    EXPECT_EQ(cell, nullptr);
    EXPECT_EQ(fleet.current, fleet.head);
    root->unref();
    freeFleet();
  }

  // The program keeps its aircraft for good; a test that loads several
  // lists releases them so each load starts from an empty fleet.
  static void freeFleet() {
    for (PlaneListNode* c = fleet.head; c != nullptr;) {
      PlaneListNode* next = c->next;
      c->plane->root->unref();
      delete c->plane;
      delete c;
      c = next;
    }
    fleet = PlaneList{};
  }

  void expectFails(const std::string& file, const std::string& message, int builtBefore) {
    SCOPED_TRACE(file);
    const Outcome r = runLoader(workDir(file.empty() ? fs::path() : corpus(file)));
    EXPECT_EQ(r.out, message);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.rootChildren, builtBefore);
  }
};

TEST_F(Loader, GoodFilesBuildEveryEntryInOrder) {
  expectLoads("three_entries.txt",
              {{"models/a.iv", 1, 0.2f}, {"models/b.iv", 2.5f, 0.3f}, {"models/c.iv", 1, 1}});
  expectLoads("no_final_newline.txt", {{"a.iv", 1, 0.25f}, {"b.iv", 1, 0.5f}});
  expectLoads("number_forms.txt", {{"a.iv", 1.5f, 0.1f}, {"b.iv", 3, 250}, {"c.iv", 0.5f, 5}});
  expectLoads("huge_integers.txt", {{"a.iv", 1, 1}, {"b.iv", 1, 1}});
  expectLoads("name_1019.txt", {{std::string(1019, 'm'), 1, 1}});
  expectLoads("flyable_extremes.txt", {{"a.iv", 1e6f, 1e6f}, {"b.iv", -2147483520.0f, -4.3e12f}});
}

TEST_F(Loader, NumberEndsWhereItsCharactersEnd) {
  // "5x": the integer is 5 and "x" names the next aircraft.
  expectLoads("number_runs_into_name.txt", {{"a.iv", 1, 1}, {"x", 2, 3}});
}

TEST_F(Loader, MissingFileCannotBeOpened) { expectFails("", kCannotOpen, 0); }

TEST_F(Loader, EmptyOrBlankFileIsEmpty) {
  expectFails("empty.txt", kEmpty, 0);
  expectFails("blank_lines.txt", kEmpty, 0);
}

TEST_F(Loader, MalformedEntryStopsAfterBuildingTheOnesBefore) {
  expectFails("abc_scale.txt", kFormat, 2);
  expectFails("cut_short.txt", kFormat, 1);
  expectFails("letter_integer.txt", kFormat, 0);
  expectFails("bare_sign.txt", kFormat, 0);
  expectFails("name_1020.txt", kFormat, 1);
}

TEST_F(Loader, InfiniteOrNanNumbersAreRefused) {
  for (const char* f : {"inf_size.txt", "nan_scale.txt", "overflow_size.txt", "overflow_scale.txt",
                        "infinity_size.txt"})
    expectFails(f, kFormat, 0);
}

TEST_F(Loader, SizesAndScalesTooLargeToFlyAreRefused) {
  expectFails("unflyable_size.txt", kFormat, 0);
  expectFails("unflyable_scale.txt", kFormat, 1);
}

TEST_F(Loader, BinaryBytesAreReadAsNameCharacters) {
  // The first name holds a NUL, so its model node gets the part before it.
  expectFails("binary_junk.bin", kFormat, 1);
  const PlaneListParse p = parsePlaneListFile(corpus("binary_junk.bin").c_str());
  ASSERT_EQ(p.entries.size(), 1u);
  EXPECT_EQ(p.entries[0].name, std::string("\0\x01\xfe\xff", 4));
  EXPECT_EQ(p.entries[0].scale, 0.5f);
}

TEST_F(Loader, RandomBytesEndCleanlyWithOneMessageAtMost) {
  std::mt19937 rng(2024);
  for (int i = 0; i < 40; ++i) {
    std::string bytes(rng() % 300, '\0');
    for (char& c : bytes) c = static_cast<char>(rng() % 4 == 0 ? ' ' : rng() % 256);
    const fs::path dir = workDir({});
    std::ofstream(dir / "PlaneList.txt", std::ios::binary) << bytes;
    const Outcome r = runLoader(dir);
    if (r.status == 0) {
      EXPECT_EQ(r.out, "");
    } else {
      EXPECT_EQ(r.status, 1);
      EXPECT_TRUE(r.out == kEmpty || r.out == kFormat) << r.out;
    }
  }
}

TEST(ShippedList, NamesModelsThatExist) {
  const fs::path data = fs::path(FS_SOURCE_DIR) / "data";
  const PlaneListParse p = parsePlaneListFile((data / "PlaneList.txt").c_str());
  EXPECT_EQ(p.status, PlaneListStatus::Ok);
  EXPECT_GE(p.entries.size(), 3u);
  for (const PlaneListEntry& e : p.entries) {
    EXPECT_TRUE(fs::exists(data / e.name)) << e.name;
    EXPECT_GT(e.size, 0.0f);
    EXPECT_GT(e.scale, 0.0f);
  }
}

}  // namespace
