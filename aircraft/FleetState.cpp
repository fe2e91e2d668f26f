#include "aircraft/FleetState.h"

#include "aircraft/Plane.h"
#include "aircraft/PlaneList.h"
#include "record/Recording.h"

#include <Inventor/nodes/SoMatrixTransform.h>

#include <cstring>
#include <string>

namespace {

void putFloat(std::string& out, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  rec::putLittleEndian(out, bits, 4);
}

void appendState(std::string& out, const Plane& plane) {
  uint64_t speed;
  std::memcpy(&speed, &plane.speed, sizeof speed);
  rec::putLittleEndian(out, speed, 8);
  for (float f : {plane.heading, plane.bank, plane.climb, plane.altitude}) putFloat(out, f);
  const SbMatrix& m = plane.transform->matrix.getValue();
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) putFloat(out, m[row][column]);
  rec::putLittleEndian(out, static_cast<uint32_t>(plane.selected), 4);
}

// Calls f with each aircraft's state bytes, in list order.
template <typename F>
void forEachState(const PlaneList& fleet, F f) {
  std::string bytes;
  for (const PlaneListNode* cell = fleet.head; cell != nullptr; cell = cell->next) {
    bytes.clear();
    appendState(bytes, *cell->plane);
    f(bytes);
  }
}

}  // namespace

uint32_t fleetStateCrc(const PlaneList& fleet) {
  uint32_t crc = 0;
  forEachState(fleet, [&crc](const std::string& b) { crc = rec::crc32(b.data(), b.size(), crc); });
  return crc;
}

std::vector<uint32_t> aircraftStateCrcs(const PlaneList& fleet) {
  std::vector<uint32_t> crcs;
  forEachState(fleet,
               [&crcs](const std::string& b) { crcs.push_back(rec::crc32(b.data(), b.size())); });
  return crcs;
}
