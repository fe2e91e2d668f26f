// The fleet: list order, selection by Tab release, Escape, and that every
// aircraft flies while only the selected one carries the camera.

#include "aircraft/Plane.h"
#include "aircraft/PlaneList.h"
#include "state/Globals.h"
#include "state/KeyTable.h"
#include "tests/support/QuietCoin.h"

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

class Fleet : public ::testing::Test {
 protected:
  void SetUp() override {
    fstest::initQuietCoin();  // model-less aircraft
    for (KeyEntry& k : KeyTable) k.pressed = 0;
    sceneCamera = new SoPerspectiveCamera;
    sceneCamera->ref();
  }
  void TearDown() override {
    for (KeyEntry& k : KeyTable) k.pressed = 0;
    sceneCamera->unref();
    sceneCamera = nullptr;
    for (Plane* p : planes) {
      p->root->unref();
      delete p;
    }
    for (PlaneListNode* c = list.head; c != nullptr;) {
      PlaneListNode* next = c->next;
      delete c;
      c = next;
    }
  }
  void addPlanes(int n) {
    for (int i = 0; i < n; ++i) {
      Plane* p = new Plane;
      p->build(1, 1, "");
      planes.push_back(p);
      list.append(p);
    }
  }
  void tick() { list.update(SbTime(0.1)); }
  void tabStroke() {
    KeyTable[KEY_TAB].pressed = 1;
    tick();
    KeyTable[KEY_TAB].pressed = 0;
    tick();
  }
  // Index of the one selected aircraft; -1 unless exactly one is selected
  // and it is the one in `current`.
  int selectedIndex() const {
    int found = -1, count = 0;
    for (std::size_t i = 0; i < planes.size(); ++i)
      if (planes[i]->selected) {
        found = static_cast<int>(i);
        ++count;
      }
    if (count != 1 || list.current == nullptr || list.current->plane != planes[found]) return -1;
    return found;
  }

  PlaneList list;
  std::vector<Plane*> planes;
};

TEST_F(Fleet, EmptyFleetTakesTabAndTicksWithoutSelecting) {
  list.selectNext();
  tabStroke();
  EXPECT_EQ(list.head, nullptr);
  EXPECT_EQ(list.current, nullptr);
}

TEST_F(Fleet, AppendKeepsFileOrderAndSelectsTheFirst) {
  addPlanes(3);
  PlaneListNode* c = list.head;
  for (Plane* p : planes) {
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->plane, p);
    c = c->next;
  }
  EXPECT_EQ(c, nullptr);
  EXPECT_EQ(selectedIndex(), 0);
}

TEST_F(Fleet, SingleAircraftStaysSelectedAfterTab) {
  addPlanes(1);
  tabStroke();
  EXPECT_EQ(selectedIndex(), 0);
}

TEST_F(Fleet, ThreeTabStrokesCycleThroughAndWrap) {
  addPlanes(3);
  tabStroke();
  EXPECT_EQ(selectedIndex(), 1);
  tabStroke();
  EXPECT_EQ(selectedIndex(), 2);
  tabStroke();
  EXPECT_EQ(selectedIndex(), 0);
}

TEST_F(Fleet, HeldTabChangesNothingUntilReleased) {
  addPlanes(3);
  KeyTable[KEY_TAB].pressed = 1;
  for (int i = 0; i < 5; ++i) {
    tick();
    EXPECT_EQ(selectedIndex(), 0);
  }
  KeyTable[KEY_TAB].pressed = 0;
  tick();
  EXPECT_EQ(selectedIndex(), 1);
  tick();
  EXPECT_EQ(selectedIndex(), 1);
}

TEST_F(Fleet, EveryAircraftFliesButOnlyTheSelectedCarriesTheCamera) {
  addPlanes(3);
  planes[2]->altitude = 5;  // tell the camera heights apart
  KeyTable[KEY_W].pressed = 1;
  tick();
  for (Plane* p : planes) EXPECT_EQ(p->speed, double{0.2f} * 0.1);
  EXPECT_EQ(sceneCamera->position.getValue()[1], 0.3f);
  tabStroke();
  tabStroke();  // the third aircraft, last in the list
  tick();
  EXPECT_EQ(sceneCamera->position.getValue()[1], 5.3f);
}

TEST_F(Fleet, SelectionMovesAfterTheTicksFlightUpdates) {
  addPlanes(2);
  planes[1]->altitude = 5;
  KeyTable[KEY_TAB].pressed = 1;
  tick();
  KeyTable[KEY_TAB].pressed = 0;
  tick();  // releases Tab: the camera still follows the first aircraft
  EXPECT_EQ(selectedIndex(), 1);
  EXPECT_EQ(sceneCamera->position.getValue()[1], 0.3f);
  tick();
  EXPECT_EQ(sceneCamera->position.getValue()[1], 5.3f);
}

// Reported from an exit handler, so it shows the state at exit time.
PlaneList* exitingList = nullptr;
void reportAtExit() {
  int index = 0;
  for (PlaneListNode* c = exitingList->head; c != exitingList->current; c = c->next) ++index;
  std::fprintf(stderr, "speed %.4f selected %d;", exitingList->head->plane->speed, index);
}

TEST_F(Fleet, EscapeExitsWithStatusZeroAfterTheTick) {
  addPlanes(2);
  KeyTable[KEY_TAB].pressed = 1;
  tick();
  KeyTable[KEY_TAB].pressed = 0;
  KeyTable[KEY_W].pressed = 1;
  KeyTable[KEY_ESCAPE].pressed = 1;
  exitingList = &list;
  EXPECT_EXIT(
      {
        std::atexit(reportAtExit);
        list.update(SbTime(1.0));
      },
      ::testing::ExitedWithCode(0), "speed 0\\.2000 selected 1;");
}

}  // namespace
