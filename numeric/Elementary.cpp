#include "numeric/Elementary.h"

#include "numeric/Bits.h"
#include "numeric/DoubleDouble.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace numeric {

namespace {

using dd::DD;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Adding and subtracting 1.5 * 2^52 rounds |v| < 2^51 to the nearest integer,
// ties to even, with no call into the runtime.
constexpr double kRoundInt = 0x1.8p52;
double nearestInt(double v) { return (v + kRoundInt) - kRoundInt; }
// The same for 0 <= v < 2^52.
double nearestWhole(double v) { return (v + 0x1p52) - 0x1p52; }

// 2^e for -1022 <= e <= 1023.
double pow2(int64_t e) { return fromBits(static_cast<uint64_t>(e + 1023) << 52); }

void tell(Rounding* how, Rounding r) {
  if (how) *how = r;
}

// True when every value within err of yh + yl rounds to yh. (yh, yl) is
// normalised, so yh is the nearest double to yh + yl; the exact value may
// only not cross the midpoint between yh and its neighbour on yl's side,
// which lies half as far below a power of two.
bool roundsSafely(double yh, double yl, double err) {
  const uint64_t b = bitsOf(yh);
  const int e = static_cast<int>((b >> 52) & 0x7ff);
  if (e < 55 || e == 0x7ff) return false;  // too small for this test, or not finite
  double halfGap = fromBits(static_cast<uint64_t>(e - 53) << 52);  // half an ulp of yh
  const bool towardZero = (yl < 0) != (yh < 0);
  if (towardZero && (b & 0x000fffffffffffffULL) == 0) halfGap *= 0.5;
  return std::fabs(yl) + err < halfGap;
}

// Result of one evaluation: y = hi + lo within err of the exact value.
struct Approx {
  double hi, lo, err;
};

// The quick result where it provably rounds right, else the slower one.
template <class Slow>
double decide(Approx quick, Rounding* how, Slow accurate) {
  if (roundsSafely(quick.hi, quick.lo, quick.err)) {
    tell(how, Rounding::Quick);
    return quick.hi;
  }
  const Approx slow = accurate();
  tell(how, roundsSafely(slow.hi, slow.lo, slow.err) ? Rounding::Accurate : Rounding::Unproven);
  return slow.hi;
}

// ---- sin and cos ----------------------------------------------------------

// Taylor series in double-double for |r| <= 0.8, nested so every
// coefficient is an exact division by a small integer. Relative error about
// 2^-100 (13 and 14 terms leave a remainder below 2^-106).
DD sinSeries(DD r) {
  const DD r2 = dd::mul(r, r);
  DD s{1, 0};
  for (int n = 13; n >= 1; --n) {
    s = dd::add({1, 0}, dd::neg(dd::divSmall(dd::mul(r2, s), (2.0 * n) * (2.0 * n + 1))));
  }
  return dd::mul(r, s);
}

DD cosSeries(DD r) {
  const DD r2 = dd::mul(r, r);
  DD c{1, 0};
  for (int n = 14; n >= 1; --n) {
    c = dd::add({1, 0}, dd::neg(dd::divSmall(dd::mul(r2, c), (2.0 * n - 1) * (2.0 * n))));
  }
  return c;
}

// sin and cos of i/128 for i = 0..101 (up to pi/4 and a half step), and the
// Taylor coefficients of asin, computed once with the operations above, so
// the tables are the same bits everywhere too.
constexpr int kSteps = 128;
constexpr int kEntries = 102;
constexpr int kAsinTerms = 18;

struct Tables {
  DD sinA[kEntries];
  DD cosA[kEntries];
  double asinCoef[kAsinTerms];  // asin z = z + z * sum_k coef[k] z^(2k+2)
};

Tables makeTables() {
  Tables t{};
  for (int i = 0; i < kEntries; ++i) {
    const DD a{i / static_cast<double>(kSteps), 0};
    t.sinA[i] = sinSeries(a);
    t.cosA[i] = cosSeries(a);
  }
  // (2k)! / (4^k (k!)^2 (2k + 1)) for k = 1..kAsinTerms.
  double p = 1;
  for (int k = 1; k <= kAsinTerms; ++k) {
    p = p * (2 * k - 1) / (2 * k);
    t.asinCoef[k - 1] = p / (2 * k + 1);
  }
  return t;
}

const Tables& tables() {
  static const Tables t = makeTables();
  return t;
}

// pi/2 in four pieces: C1 and C2 have 33 significant bits, so k * C1 and
// k * C2 are exact for |k| < 2^20; with C3 and C4 they carry about 175 bits.
constexpr double kC1 = 0x1.921fb544p+0;
constexpr double kC2 = 0x1.0b4611a6p-34;
constexpr double kC3 = 0x1.3198a2e037073p-69;
constexpr double kC4 = 0x1.129024e088a68p-123;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr DD kHalfPi{0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};
constexpr double kReduceLimit = 0x1p20;

// x = k pi/2 + r with |r| <= pi/4 (a hair more where x * 2/pi rounds up).
struct Reduced {
  int quadrant;  // k mod 4
  DD r;
  double err;  // absolute error bound of r
};

double quadrantOf(double x) { return nearestInt(x * kTwoOverPi); }

// For the quick evaluation: r to about 2^-118 |k|, its low part not
// normalised (at most an ulp of the high part).
Reduced reduceQuick(double x) {
  const double k = quadrantOf(x);
  // Exact: k * C1 is, and x lies within a factor two of it (Sterbenz).
  const DD r = dd::twoSum(x - k * kC1, -(k * kC2));
  return {static_cast<int>(static_cast<int64_t>(k) & 3),
          {r.hi, r.lo - k * kC3},
          std::fabs(k) * 0x1p-117 + 0x1p-140};
}

// r in double-double to below 2^-150 plus 2^-104 |r|.
Reduced reduce(double x) {
  const double k = quadrantOf(x);
  const double t = x - k * kC1;
  DD r = dd::twoSum(t, -(k * kC2));
  r = dd::add(r, dd::neg(dd::twoProd(k, kC3)));
  r = dd::add(r, {-(k * kC4), 0});
  return {static_cast<int>(static_cast<int64_t>(k) & 3), r, 0x1p-140};
}

// The quick evaluation: sin(a + u) and cos(a + u) from the tables, with a the
// nearest step i/128 and |u| <= 1/256, the products with u's leading part
// exact and the rest in double. Error below 2^-67 |sin a| + 2^-78 (and the
// same with sin and cos exchanged), bounded with a factor four to spare.
struct Split {
  DD s, c;        // sin a, cos a
  double uh, ul;  // u
  double cm1;     // cos u - 1
  double smu;     // sin u - u
};

Split split(DD r) {
  const Tables& tab = tables();
  const double i = nearestInt(r.hi * kSteps);
  const int j = static_cast<int>(i < 0 ? -i : i);
  Split p;
  p.s = i < 0 ? dd::neg(tab.sinA[j]) : tab.sinA[j];
  p.c = tab.cosA[j];
  p.uh = r.hi - i / kSteps;  // exact: r.hi lies within 1/256 of i/128
  p.ul = r.lo;
  const double u2 = p.uh * p.uh;
  p.cm1 = -(u2 * 0.5 + p.uh * p.ul) + u2 * u2 * (1.0 / 24 - u2 * (1.0 / 720));
  p.smu = p.uh * u2 * (-1.0 / 6 + u2 * (1.0 / 120 - u2 * (1.0 / 5040))) - u2 * p.ul * 0.5;
  return p;
}

Approx sinQuick(const Split& p) {
  const DD prod = dd::twoProd(p.c.hi, p.uh);
  const DD s = dd::twoSum(p.s.hi, prod.hi);
  const double corr =
      s.lo +
      (prod.lo + (p.s.lo + (p.s.hi * p.cm1 + (p.c.hi * p.ul + p.c.hi * p.smu + p.c.lo * p.uh))));
  const DD y = dd::fastTwoSum(s.hi, corr);
  const double err = 0x1p-65 * (std::fabs(p.s.hi) + std::fabs(prod.hi));
  return {y.hi, y.lo, err + 0x1p-100 * std::fabs(y.hi) + 0x1p-140};
}

Approx cosQuick(const Split& p) {
  const DD prod = dd::twoProd(p.s.hi, p.uh);
  const DD s = dd::twoSum(p.c.hi, -prod.hi);
  const double corr =
      s.lo -
      (prod.lo - (p.c.lo + (p.c.hi * p.cm1 - (p.s.hi * p.ul + p.s.hi * p.smu + p.s.lo * p.uh))));
  const DD y = dd::fastTwoSum(s.hi, corr);
  const double err = 0x1p-65 * (std::fabs(p.c.hi) + std::fabs(prod.hi));
  return {y.hi, y.lo, err + 0x1p-100 * std::fabs(y.hi) + 0x1p-140};
}

Approx asApprox(DD y, double relErr) {
  const DD n = dd::fastTwoSum(y.hi, y.lo);
  return {n.hi, n.lo, relErr * std::fabs(n.hi) + 0x1p-140};
}

Approx negate(Approx a) { return {-a.hi, -a.lo, a.err}; }

// sin x and cos x from sin r and cos r: x = r + q pi/2 turns them q times by
// a quarter.
void turn(int q, Approx& s, Approx& c) {
  if (q & 1) {
    const Approx t = s;
    s = c;
    c = negate(t);
  }
  if (q & 2) {
    s = negate(s);
    c = negate(c);
  }
}

bool outsideReduction(double x) { return !(std::fabs(x) < kReduceLimit); }

// ---- asin -------------------------------------------------------------------

// asin |x| is asin z (0 <= z <= 1/2), or pi/2 - 2 asin z; asin z comes from
// one Newton step on sin w = z: w0 - (sin w0 - z) / cos w0.
struct AsinTarget {
  DD z;
  bool reflected;  // the result is pi/2 - 2 asin z
  double sign;
};

// asin z to about 2^-42 from the Taylor series, in plain double, summed in
// Estrin's order: short chains of dependent operations.
double asinStart(double z) {
  const double* c = tables().asinCoef;
  const double t = z * z;
  const double t2 = t * t;
  double q[kAsinTerms / 2];
  for (int k = 0; k < kAsinTerms / 2; ++k) q[k] = c[2 * k] + t * c[2 * k + 1];
  const double t4 = t2 * t2;
  const double r0 = (q[0] + t2 * q[1]) + t4 * (q[2] + t2 * q[3]);
  const double r1 = (q[4] + t2 * q[5]) + t4 * (q[6] + t2 * q[7]);
  const double t8 = t4 * t4;
  const double p = r0 + t8 * (r1 + t8 * q[8]);
  return z + z * (t * p);
}

Approx finishAsin(DD w, double relErr, const AsinTarget& t) {
  DD y = w;
  if (t.reflected) y = dd::add(kHalfPi, dd::neg({2 * w.hi, 2 * w.lo}));
  Approx a = asApprox(y, relErr);
  return t.sign < 0 ? negate(a) : a;
}

// The same Newton step from the quick result, with the series.
Approx asinAccurate(const AsinTarget& t, DD w0) {
  const DD d = dd::add(sinSeries(w0), dd::neg(t.z));
  const double step = d.hi / cosSeries(w0).hi;
  return finishAsin(dd::add(w0, {-step, 0}), 0x1p-95, t);
}

// ---- pown -------------------------------------------------------------------

// Nearest double to (hi + lo) * 2^e, with hi in [1, 2), when the result is
// below the normal range: rounded once, on the grid of 2^-1074.
double roundSubnormal(DD v, int64_t e, double relErr, bool* proven) {
  if (e < -1076) {  // below half the smallest subnormal
    *proven = true;
    return 0;
  }
  const double scale = pow2(e + 1074);  // e + 1074 in -2..51
  const double wh = v.hi * scale;       // exact, like wl
  const double wl = v.lo * scale;
  double n = nearestWhole(wh);
  const double frac = wh - n;
  double dist;
  if (frac == 0.5 || frac == -0.5) {
    dist = std::fabs(wl);
    if (frac > 0 && wl > 0) n += 1;
    if (frac < 0 && wl < 0) n -= 1;
  } else {
    dist = 0.5 - std::fabs(frac + wl);
  }
  *proven = dist > relErr * 2 * wh;
  return fromBits(static_cast<uint64_t>(n));  // n * 2^-1074; 2^52 gives 2^-1022
}

}  // namespace

SinCos sincos(double x, Rounding* sinHow, Rounding* cosHow) {
  tell(sinHow, Rounding::Quick);
  tell(cosHow, Rounding::Quick);
  // |sin x - x| and |1 - cos x| are below half an ulp; keeps the sign of 0.
  if (std::fabs(x) < 0x1p-27) return {x, 1};
  if (outsideReduction(x)) return {kNaN, kNaN};
  const Reduced quick = reduceQuick(x);
  const Split p = split(quick.r);
  Approx s = sinQuick(p);
  Approx c = cosQuick(p);
  s.err += quick.err;
  c.err += quick.err;
  turn(quick.quadrant, s, c);
  // The slower evaluation, for whichever of the two needs it.
  const auto accurate = [x](bool wantSin) {
    const Reduced red = reduce(x);
    Approx as = asApprox(sinSeries(red.r), 0x1p-95);
    Approx ac = asApprox(cosSeries(red.r), 0x1p-95);
    as.err += red.err;
    ac.err += red.err;
    turn(red.quadrant, as, ac);
    return wantSin ? as : ac;
  };
  return {decide(s, sinHow, [&] { return accurate(true); }),
          decide(c, cosHow, [&] { return accurate(false); })};
}

double asin(double x, Rounding* how) {
  tell(how, Rounding::Quick);
  const double a = std::fabs(x);
  if (!(a <= 1)) return kNaN;
  if (a < 0x1p-26) return x;  // asin x - x = x^3/6 + ... is below half an ulp
  AsinTarget t{{a, 0}, false, x < 0 ? -1.0 : 1.0};
  if (a > 0.5) {
    // asin a = pi/2 - 2 asin z, z = sqrt((1 - a) / 2), with z in double-double.
    const double h = (1 - a) * 0.5;  // exact for a in [1/2, 1]
    const double zh = std::sqrt(h);
    const DD sq = dd::twoProd(zh, zh);
    t.z = {zh, zh > 0 ? ((h - sq.hi) - sq.lo) / (2 * zh) : 0.0};
    t.reflected = true;
  }
  const double w0 = asinStart(t.z.hi);
  const Split p = split({w0, 0});
  const Approx s = sinQuick(p);
  const Approx c = cosQuick(p);
  // s.hi - z.hi is exact: both agree to about 2^-42.
  const double step = ((s.hi - t.z.hi) + (s.lo - t.z.lo)) / c.hi;
  const DD w = dd::twoSum(w0, -step);
  return decide(finishAsin(w, 0x1p-61, t), how, [&] { return asinAccurate(t, w); });
}

double pown(double x, uint32_t n, Rounding* how) {
  tell(how, Rounding::Quick);
  if (n == 0) return 1;
  if (x != x) return x;
  const bool negative = (bitsOf(x) >> 63) != 0 && (n & 1) != 0;  // -0 too
  double a = std::fabs(x);
  if (a == 0 || a == kInf) {
    const double r = a == 0 ? 0.0 : kInf;
    return negative ? -r : r;
  }
  // a = m * 2^e with m in [1, 2).
  int64_t e = 0;
  if (a < 0x1p-1000) {
    a *= 0x1p100;
    e = -100;
  }
  const uint64_t bits = bitsOf(a);
  e += static_cast<int64_t>((bits >> 52) & 0x7ff) - 1023;
  DD base{fromBits((bits & 0x000fffffffffffffULL) | (uint64_t{1023} << 52)), 0};
  int64_t baseExp = e;
  DD acc{1, 0};
  int64_t accExp = 0;
  // Products of values in [1, 2) lie in [1, 4): halving keeps them in range
  // and the exponents exact.
  const auto halve = [](DD& v, int64_t& exp) {
    if (v.hi >= 2) {
      v = dd::fastTwoSum(v.hi * 0.5, v.lo * 0.5);
      ++exp;
    }
  };
  for (uint32_t k = n;;) {
    if (k & 1) {
      acc = dd::mul(acc, base);
      accExp += baseExp;
      halve(acc, accExp);
    }
    k >>= 1;
    if (k == 0) break;
    base = dd::mul(base, base);
    baseExp *= 2;
    halve(base, baseExp);
  }
  if (acc.hi < 1) {  // a product can round to just below 1
    acc = {acc.hi * 2, acc.lo * 2};
    --accExp;
  }
  // Squaring doubles a relative error: below (2n + 32) * 2^-102 in all.
  const double relErr = (2.0 * n + 32) * 0x1p-102;
  double r;
  bool proven;
  if (accExp > 1023) {
    r = kInf;
    proven = true;
  } else if (accExp >= -1022) {
    r = acc.hi * pow2(accExp);
    proven = roundsSafely(acc.hi, acc.lo, relErr * acc.hi);
  } else {
    r = roundSubnormal(acc, accExp, relErr, &proven);
  }
  tell(how, proven ? Rounding::Quick : Rounding::Unproven);
  return negative ? -r : r;
}

}  // namespace numeric
