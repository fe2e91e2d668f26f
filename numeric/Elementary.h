#pragma once
// sin and cos (together), asin and pown (a double to a whole power), computed
// by the program itself so that the flight and the cloud field give the same
// bits on every platform: the C runtime's versions differ in the last bit
// between glibc (even between its FMA and plain builds), MinGW and Wine.
//
// Each result is the exact value rounded to the nearest double, found with
// double-double arithmetic (IEEE +, -, *, / and sqrt only) and a rounding
// test: sincos and asin evaluate quickly to about 2^-62 and, when that lies
// too near a rounding boundary, once more to about 2^-95; pown's one
// evaluation is good to about 2^-90 for the shaper's exponents. Should even
// that be too near (never for an argument the program can form: see
// bench/numeric/), the result is rounded as it stands, still the same bits
// everywhere.
//
// Domains: sincos for |x| < 2^20 (the flight's angles lie within 0..2pi),
// NaN beyond; asin on [-1, 1], NaN outside; pown for every double and n.

#include <cstdint>

namespace numeric {

// How a result was rounded: by the quick evaluation, by the slower one, or
// neither could prove it nearest (the comparison program counts these).
enum class Rounding { Quick, Accurate, Unproven };

struct SinCos {
  double sin;
  double cos;
};

// The flight always needs both at one angle, which share most of the work.
SinCos sincos(double x, Rounding* sinHow = nullptr, Rounding* cosHow = nullptr);
double asin(double x, Rounding* how = nullptr);
// x^n; pown(x, 0) is 1 for every x, NaN included.
double pown(double x, uint32_t n, Rounding* how = nullptr);

}  // namespace numeric
