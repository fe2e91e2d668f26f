#pragma once
// Truncation toward zero that stays defined for every double: out-of-range
// values saturate and NaN gives 0, where a plain cast would be undefined.

#include <cstdint>

inline int32_t truncateToInt32(double x) {
  if (x != x) {
    return 0;
  }
  if (x <= -2147483649.0) {
    return INT32_MIN;
  }
  if (x >= 2147483648.0) {
    return INT32_MAX;
  }
  return static_cast<int32_t>(x);
}
