#include "tools/snapshot/FlightScript.h"

#include <cstdio>

KeyState keysAt(const SnapshotOptions& options, int64_t tick) {
  KeyState keys{};
  for (const KeyHold& hold : options.holds) {
    if (tick >= hold.first && tick <= hold.last) keys[hold.key] = true;
  }
  for (int64_t tab : options.tabs) {
    if (tick == tab) keys[KEY_TAB] = true;
  }
  return keys;
}

std::vector<int64_t> frameTicks(int64_t ticks, int64_t frames) {
  if (frames <= 0 || ticks == 0) return {ticks};
  std::vector<int64_t> result;
  if (frames >= ticks) {
    for (int64_t t = 1; t <= ticks; ++t) result.push_back(t);
    return result;
  }
  // Frame i of K shows tick ceil(i * N / K); the products stay far below
  // 2^63 for the bounded option values.
  for (int64_t i = 1; i <= frames; ++i) result.push_back((i * ticks + frames - 1) / frames);
  return result;
}

std::string frameFileName(const std::string& out, int64_t index) {
  std::string stem = out;
  const std::string ext = ".png";
  if (stem.size() > ext.size() && stem.compare(stem.size() - ext.size(), ext.size(), ext) == 0) {
    stem.resize(stem.size() - ext.size());
  }
  char number[32];
  std::snprintf(number, sizeof number, "-%04lld", static_cast<long long>(index));
  return stem + number + ext;
}
