#pragma once
// The byte count and CRC-32 of the list file a flight is flown with: a
// recording holds them, and a replay flies only with the same list.

#include <cstdint>

struct ListDigest {
  uint64_t size = 0;
  uint32_t crc = 0;
};

// Of PlaneList.txt in the working directory; false when it cannot be read.
bool readListDigest(ListDigest& digest);
