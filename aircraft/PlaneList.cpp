#include "aircraft/PlaneList.h"

#include "aircraft/Plane.h"
#include "state/Globals.h"
#include "state/KeyTable.h"

#include <cstdlib>

PlaneList fleet;

void PlaneList::append(Plane* plane) {
  PlaneListNode* cell = new PlaneListNode;
  cell->plane = plane;
  cell->next = nullptr;
  if (head == nullptr) {
    head = cell;
    current = cell;
    plane->selected = 1;
    return;
  }
  PlaneListNode* tail = head;
  while (tail->next != nullptr) tail = tail->next;
  tail->next = cell;
}

void PlaneList::selectNext() {
  if (head == nullptr) return;
  current->plane->selected = 0;
  current = current->next != nullptr ? current->next : head;
  current->plane->selected = 1;
}

void PlaneList::advance(SbTime dt, SoPerspectiveCamera* chase) {
  for (PlaneListNode* cell = head; cell != nullptr; cell = cell->next)
    cell->plane->advance(dt, chase);

  // Selection follows the release, so a held Tab moves it exactly once.
  curTab = KeyTable[KEY_TAB].pressed;
  if (prevTab == 1 && curTab == 0) selectNext();
  prevTab = curTab;
}

void PlaneList::update(SbTime dt) {
  advance(dt, sceneCamera);
  exitOnEscape();
}

void exitOnEscape() {
  if (KeyTable[KEY_ESCAPE].pressed) std::exit(0);
}
