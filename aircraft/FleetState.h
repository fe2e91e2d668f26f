#pragma once
// The fleet's state fingerprint: a CRC-32 over every value the flight update
// carries from one tick to the next, in a fixed byte order, so that equal
// states give equal fingerprints on every machine. A recording keeps one
// per update and one per aircraft at its end; a replay compares them.

#include <cstdint>
#include <vector>

struct PlaneList;

// Of every aircraft's state, in list order.
uint32_t fleetStateCrc(const PlaneList& fleet);
// Of each aircraft's state alone, in list order.
std::vector<uint32_t> aircraftStateCrcs(const PlaneList& fleet);
