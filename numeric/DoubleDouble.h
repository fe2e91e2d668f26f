#pragma once
// Double-double arithmetic: a value hi + lo held as two doubles, |lo| at most
// half an ulp of hi, carrying about 106 bits. Built only from IEEE-754 double
// additions and multiplications (Dekker and Knuth), so every platform that
// rounds doubles to nearest gets the same bits.
//
// The error-free transformations below are exact only if the compiler keeps
// every operation as written: no fused multiply-add (-ffp-contract=off), no
// reassociation (-ffast-math, -Ofast), no wider intermediates (x87).

#include <cfloat>

#if defined(__FAST_MATH__)
#error "numeric/ needs IEEE double arithmetic as written: do not build it with -ffast-math"
#endif
#if FLT_EVAL_METHOD != 0
#error "numeric/ needs doubles evaluated in double precision (SSE2, not x87)"
#endif

namespace numeric::dd {

struct DD {
  double hi;
  double lo;
};

// a + b exactly, for any a and b.
inline DD twoSum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly, when |a| >= |b| or a is 0.
inline DD fastTwoSum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// a * b exactly (Veltkamp's split into 26-bit halves), for |a|, |b| < 2^995
// and a product that neither overflows nor underflows.
inline DD twoProd(double a, double b) {
  constexpr double kSplit = 134217729.0;  // 2^27 + 1
  const double ta = kSplit * a;
  const double ah = ta - (ta - a);
  const double al = a - ah;
  const double tb = kSplit * b;
  const double bh = tb - (tb - b);
  const double bl = b - bh;
  const double p = a * b;
  return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

// add, mul and divSmall are off by a few units of 2^-106, relative.
inline DD add(DD a, DD b) {
  DD s = twoSum(a.hi, b.hi);
  const DD t = twoSum(a.lo, b.lo);
  s = fastTwoSum(s.hi, s.lo + t.hi);
  return fastTwoSum(s.hi, s.lo + t.lo);
}

inline DD neg(DD a) { return {-a.hi, -a.lo}; }

inline DD mul(DD a, DD b) {
  DD p = twoProd(a.hi, b.hi);
  return fastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

inline DD mul(DD a, double b) {
  DD p = twoProd(a.hi, b);
  return fastTwoSum(p.hi, p.lo + a.lo * b);
}

// a / d for a small exact integer d (the Taylor denominators).
inline DD divSmall(DD a, double d) {
  const double q = a.hi / d;
  const DD p = twoProd(q, d);
  const double r = ((a.hi - p.hi) - p.lo + a.lo) / d;
  return fastTwoSum(q, r);
}

}  // namespace numeric::dd
