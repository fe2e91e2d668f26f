#pragma once
// The fleet: every aircraft in list-file order, with the one the camera
// follows. Tab (on release) moves the selection, Escape ends the program.

#include <Inventor/SbTime.h>

#include <cstdint>

class SoPerspectiveCamera;
struct Plane;

struct PlaneListNode {
  Plane* plane = nullptr;
  PlaneListNode* next = nullptr;
};

struct PlaneList {
  PlaneListNode* head = nullptr;
  PlaneListNode* current = nullptr;  // the selected aircraft's cell
  int32_t prevTab = 0;               // Tab flag at the previous update
  int32_t curTab = 0;                // Tab flag at this update

  // Adds at the tail; the first aircraft becomes the selected one.
  void append(Plane* plane);
  // Selects the next aircraft, wrapping to the head.
  void selectNext();
  // One step of the fleet: advances every aircraft, the selected one
  // placing `chase` behind itself (none when null), then handles Tab.
  void advance(SbTime dt, SoPerspectiveCamera* chase);
  // Per tick: advance with sceneCamera, then exitOnEscape.
  void update(SbTime dt);
};

// While Escape is held, ends the process with status 0 through exit, the
// normal exit path; the fleet update and the paused tick both end here.
void exitOnEscape();

// Zero-initialised before main; filled by the list-file loader.
extern PlaneList fleet;
