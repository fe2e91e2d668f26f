// numeric/'s sincos, asin and pown: nearest doubles where the last bit is
// hard (glibc 2.36 misses each of these by one ulp, so a call into the C
// runtime fails here), and the edges of their domains. The exhaustive proof
// over every input the program forms is bench/numeric/, not a test.

#include "numeric/Elementary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using numeric::Rounding;

struct Case {
  double x;
  double expected;  // the exact value rounded to nearest (MPFR)
};

// Headings (radians of float degrees) and direction components the flight forms.
const Case kSin[] = {{0x1.1dfbb88aec2abp+1, 0x1.9364267694f53p-1},
                     {0x1.1e2d78b303p+1, 0x1.92e97a693c879p-1},
                     {0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53}};  // the double nearest pi
const Case kCos[] = {{0x1.1e396f8af18p+1, -0x1.3c115bf101fc9p-1},
                     {0x1.1e523a65d9p+1, -0x1.3c5f5a9aaa5e3p-1},
                     {0x1.fffffp+19, 0x1.f932ec65b1d71p-1}};  // just inside the domain
const Case kAsin[] = {{0x1.00064cp-1, 0x1.0c1c68eb0d70fp-1},
                      {0x1.000148p-5, 0x1.000bf4071382cp-5},
                      {0x1.0008b4p-1, 0x1.0c1f303da7d8dp-1}};

TEST(Elementary, RoundsToNearestWhereTheLastBitIsHard) {
  for (const Case& c : kSin)
    EXPECT_EQ(numeric::sincos(c.x).sin, c.expected) << std::hexfloat << c.x;
  for (const Case& c : kCos)
    EXPECT_EQ(numeric::sincos(c.x).cos, c.expected) << std::hexfloat << c.x;
  for (const Case& c : kAsin) EXPECT_EQ(numeric::asin(c.x), c.expected) << std::hexfloat << c.x;
  // Odd functions: the same bits with the sign turned.
  for (const Case& c : kSin) EXPECT_EQ(numeric::sincos(-c.x).sin, -c.expected);
  for (const Case& c : kCos) EXPECT_EQ(numeric::sincos(-c.x).cos, c.expected);
  for (const Case& c : kAsin) EXPECT_EQ(numeric::asin(-c.x), -c.expected);
}

TEST(Elementary, InputsNearARoundingBoundaryTakeTheSlowerEvaluation) {
  // Too close to a midpoint for the quick evaluation: these exercise the
  // slower one, which must still round to nearest.
  Rounding how;
  EXPECT_EQ(numeric::sincos(kSin[0].x, &how).sin, kSin[0].expected);
  EXPECT_EQ(how, Rounding::Accurate);
  EXPECT_EQ(numeric::asin(kAsin[0].x, &how), kAsin[0].expected);
  EXPECT_EQ(how, Rounding::Accurate);
  EXPECT_EQ(numeric::asin(kAsin[1].x, &how), kAsin[1].expected);
  EXPECT_EQ(how, Rounding::Accurate);
}

TEST(Elementary, SinAndCosKeepZeroSignsAndRefuseWhatTheyCannotReduce) {
  EXPECT_TRUE(std::signbit(numeric::sincos(-0.0).sin));
  EXPECT_EQ(numeric::sincos(-0.0).cos, 1.0);
  // Where cos first falls below 1.
  EXPECT_EQ(numeric::sincos(0x1.6a09e667f3bccp-27).cos, 1.0);
  EXPECT_EQ(numeric::sincos(0x1.6a09e667f3bcdp-27).cos, 0x1.fffffffffffffp-1);
  EXPECT_EQ(numeric::sincos(0x1p-26).sin, 0x1p-26);
  const double inf = std::numeric_limits<double>::infinity();
  for (double x : {0x1p20, -0x1p20, inf, -inf, std::nan("")}) {
    EXPECT_TRUE(std::isnan(numeric::sincos(x).sin)) << x;
    EXPECT_TRUE(std::isnan(numeric::sincos(x).cos)) << x;
  }
}

TEST(Elementary, AsinAtTheEdgesOfItsDomain) {
  EXPECT_TRUE(std::signbit(numeric::asin(-0.0)));
  EXPECT_EQ(numeric::asin(1.0), 0x1.921fb54442d18p+0);  // pi/2
  EXPECT_EQ(numeric::asin(-1.0), -0x1.921fb54442d18p+0);
  EXPECT_EQ(numeric::asin(0x1.fffffffffffffp-1), 0x1.921fb50442d18p+0);
  // Either side of 1/2, where the evaluation switches to pi/2 - 2 asin z.
  EXPECT_EQ(numeric::asin(0.5), 0x1.0c152382d7366p-1);
  EXPECT_EQ(numeric::asin(0x1.0000000000001p-1), 0x1.0c152382d7367p-1);
  EXPECT_EQ(numeric::asin(0x1.fffffffffffffp-2), 0x1.0c152382d7365p-1);
  for (double x : {0x1.0000000000001p0, -1.5, std::nan("")}) {
    EXPECT_TRUE(std::isnan(numeric::asin(x))) << x;
  }
}

TEST(Elementary, PownOfTheCloudSharpnessDownToUnderflow) {
  const double base = 0.95f;
  EXPECT_EQ(numeric::pown(base, 641), 0x1.7ae2865572727p-48);
  EXPECT_EQ(numeric::pown(base, 14000), 0x0.0003fa0f4362bp-1022);  // below the normal range
  EXPECT_EQ(numeric::pown(base, 14200), 0x0.0000000922b14p-1022);
  EXPECT_EQ(numeric::pown(base, 14600), 0.0);
  EXPECT_EQ(numeric::pown(base, 4294967295u), 0.0);
}

TEST(Elementary, PownSpecialValues) {
  EXPECT_EQ(numeric::pown(std::nan(""), 0), 1.0);
  EXPECT_TRUE(std::isnan(numeric::pown(std::nan(""), 2)));
  EXPECT_TRUE(std::signbit(numeric::pown(-0.0, 3)));
  EXPECT_FALSE(std::signbit(numeric::pown(-0.0, 2)));
  EXPECT_EQ(numeric::pown(-2.0, 3), -8.0);
  EXPECT_EQ(numeric::pown(2.0, 1023), 0x1p1023);
  EXPECT_EQ(numeric::pown(2.0, 1024), std::numeric_limits<double>::infinity());
  EXPECT_EQ(numeric::pown(0.5, 1074), 0x1p-1074);
  EXPECT_EQ(numeric::pown(0.5, 1075), 0.0);  // a tie, to even
  EXPECT_EQ(numeric::pown(0x1p-1074, 1), 0x1p-1074);
  // 3^33 needs 53 bits, 3^34 rounds.
  EXPECT_EQ(numeric::pown(3.0, 33), 5559060566555523.0);
  EXPECT_EQ(numeric::pown(3.0, 34), 16677181699666568.0);
}

}  // namespace
