// Compares numeric/'s sincos, asin and pown with the C runtime's over every
// input the flight and the cloud field can form, and with the correctly
// rounded value (MPFR) where it matters. Not a test: a run of minutes.
//
// The input sets (derived in bench/numeric/README.md):
//   heading  every float degree value 0..360 as radians: sin, cos
//            (directionFromHeading and the chase camera)
//   asin     every float in [-1, 1], -0 included: asin (headingOf, turnDirection)
//   turn     every such float through turnDirection's chain, for either sign
//            of the other component: sin, cos of the turned heading
//   pown     pown(0.95f as a double, b) for the shaper's table, b = 0..1023
//   pown-far the same for b = 1024..2^20-1, through underflow to 0
//
// For each function and set it prints the inputs compared, how many needed
// the slower evaluation, how many it could not prove ("unproven", expected
// 0), how many differ from the runtime's, in how many what the program keeps
// differs ("kept": the float direction or heading, the density; for the turn
// the runtime's whole chain, its asin included), and the MPFR check: every input where the two
// differ or the slower evaluation ran, and every k-th input besides
// (--sample k, default 1024; --full checks every input, hours). A digest of
// all our results shows that another build gives the very same bits.
//
//   bench_elementary [--sets heading,asin,turn,pown,pown-far] [--sample K | --full]
//                    [--threads N] [--diffs-out DIR | --diffs-in DIR]
//
// --diffs-out writes, per function and set, the inputs where the runtime
// differs from ours with the runtime's bits; a build without MPFR (the
// Windows one, under Wine) reads them with --diffs-in to count how its own
// runtime differs from glibc's.

#include "numeric/Bits.h"
#include "numeric/Elementary.h"

#ifndef FS_NO_MPFR
#include <mpfr.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using numeric::bitsOf;
using numeric::fromBits;

// As in aircraft/Plane: single-precision pi and 2 pi, widened.
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

double toRadians(double degrees) { return degrees / 360.0 * 2.0 * kPi; }

float floatOf(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

uint64_t mix(uint64_t x) {  // splitmix64's finaliser
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

enum class Fn { Sin, Cos, Asin, Pown };
const char* nameOf(Fn f) {
  static const char* names[] = {"sin", "cos", "asin", "pown"};
  return names[static_cast<int>(f)];
}

double ours(Fn f, double x, numeric::Rounding* how) {
  switch (f) {
    case Fn::Sin:
      return numeric::sincos(x, how, nullptr).sin;
    case Fn::Cos:
      return numeric::sincos(x, nullptr, how).cos;
    case Fn::Asin:
      return numeric::asin(x, how);
    default:
      return numeric::pown(static_cast<double>(0.95f), static_cast<uint32_t>(x), how);
  }
}

double runtime(Fn f, double x) {
  switch (f) {
    case Fn::Sin:
      return std::sin(x);
    case Fn::Cos:
      return std::cos(x);
    case Fn::Asin:
      return std::asin(x);
    default:
      return std::pow(static_cast<double>(0.95f), x);
  }
}

#ifndef FS_NO_MPFR
double nearest(Fn f, double x) {
  mpfr_t a, y;
  mpfr_init2(a, 53);
  mpfr_init2(y, 53);
  mpfr_set_d(a, x, MPFR_RNDN);
  int t = 0;
  switch (f) {
    case Fn::Sin:
      t = mpfr_sin(y, a, MPFR_RNDN);
      break;
    case Fn::Cos:
      t = mpfr_cos(y, a, MPFR_RNDN);
      break;
    case Fn::Asin:
      t = mpfr_asin(y, a, MPFR_RNDN);
      break;
    default: {
      mpfr_t b;
      mpfr_init2(b, 53);
      mpfr_set_d(b, static_cast<double>(0.95f), MPFR_RNDN);
      t = mpfr_pow(y, b, a, MPFR_RNDN);
      mpfr_clear(b);
    }
  }
  t = mpfr_check_range(y, t, MPFR_RNDN);
  mpfr_subnormalize(y, t, MPFR_RNDN);
  const double r = mpfr_get_d(y, MPFR_RNDN);
  mpfr_clear(a);
  mpfr_clear(y);
  return r;
}
#endif

// One input set: a count and the arguments of its functions at an index.
struct Set {
  const char* name;
  uint64_t first, end;  // indices first..end-1
  std::vector<Fn> fns;
  double (*argument)(uint64_t index);
};

constexpr uint64_t kHeadings = 0x43B40000ULL + 1;  // +0 .. 360.0f
constexpr uint64_t kUnitHalf = 0x3F800000ULL + 1;  // +0 .. 1.0f

double headingArgument(uint64_t i) { return toRadians(floatOf(static_cast<uint32_t>(i))); }

float unitFloat(uint64_t i) {  // +0..1, then -0..-1
  return i < kUnitHalf ? floatOf(static_cast<uint32_t>(i))
                       : floatOf(static_cast<uint32_t>(i - kUnitHalf) | 0x80000000u);
}

double asinArgument(uint64_t i) { return static_cast<double>(unitFloat(i)); }

// turnDirection(direction, 90) with the direction's x = unitFloat(i / 2) and
// its y negative for odd i: the radians it takes sin and cos of, with our
// asin or the runtime's.
double turnRadians(uint64_t i, bool withRuntime) {
  const double x = unitFloat(i / 2);
  double a = (withRuntime ? std::asin(x) : numeric::asin(x)) / kTwoPi * 360;
  if (i & 1) a = 180 - a;
  a = a + 90.0f;
  if (a < 0)
    a = a + 360;
  else if (a > 360)
    a = a - 360;
  return toRadians(a);
}

double turnArgument(uint64_t i) { return turnRadians(i, false); }

double pownArgument(uint64_t i) { return static_cast<double>(i); }

// What the program keeps of a result: the float direction component (sin,
// cos), the float heading in degrees (asin) or the density (pown).
float keptOf(Fn f, double y) {
  switch (f) {
    case Fn::Asin:
      return static_cast<float>(y / kTwoPi * 360);
    case Fn::Pown: {
      const double d = 255.0 - y * 255.0;  // 0..255, truncated as the shaper does
      return static_cast<float>(static_cast<int32_t>(d));
    }
    default:
      return static_cast<float>(y);
  }
}

struct Tally {
  uint64_t inputs = 0, slow = 0, unproven = 0, differ = 0, keptDiffer = 0;
  uint64_t checked = 0, oursWrong = 0, runtimeWrong = 0;
  uint64_t versusGlibc = 0;  // with --diffs-in: this runtime against glibc
  uint64_t digest = 0;
  std::vector<std::pair<uint64_t, uint64_t>> diffs;  // index, runtime bits

  void add(const Tally& o) {
    inputs += o.inputs, slow += o.slow, unproven += o.unproven, differ += o.differ;
    keptDiffer += o.keptDiffer, checked += o.checked, oursWrong += o.oursWrong;
    runtimeWrong += o.runtimeWrong, versusGlibc += o.versusGlibc, digest += o.digest;
    diffs.insert(diffs.end(), o.diffs.begin(), o.diffs.end());
  }
};

struct Options {
  uint64_t sample = 1024;
  bool full = false;
  unsigned threads = 2;
  std::string diffsOut, diffsIn;
  std::string sets = "heading,asin,turn,pown,pown-far";
};

std::string diffFile(const std::string& dir, const Set& s, Fn f) {
  return dir + "/" + s.name + "-" + nameOf(f) + ".bin";
}

std::vector<std::pair<uint64_t, uint64_t>> readDiffs(const std::string& path) {
  std::vector<std::pair<uint64_t, uint64_t>> v;
  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) {
    std::fprintf(stderr, "bench_elementary: cannot read %s\n", path.c_str());
    std::exit(1);
  }
  uint64_t rec[2];
  while (std::fread(rec, sizeof rec, 1, in) == 1) v.emplace_back(rec[0], rec[1]);
  std::fclose(in);
  return v;
}

void runRange(const Set& s, Fn f, const Options& o, uint64_t from, uint64_t to,
              const std::vector<std::pair<uint64_t, uint64_t>>& glibcDiffs, Tally& t) {
  auto next =
      std::lower_bound(glibcDiffs.begin(), glibcDiffs.end(), std::make_pair(from, uint64_t{0}));
  for (uint64_t i = from; i < to; ++i) {
    const double x = s.argument(i);
    numeric::Rounding how;
    const double mine = ours(f, x, &how);
    const double lib = runtime(f, x);
    ++t.inputs;
    t.digest += mix(bitsOf(mine) ^ mix(i + static_cast<uint64_t>(f) * 0x9e3779b97f4a7c15ULL));
    if (how != numeric::Rounding::Quick) ++t.slow;
    if (how == numeric::Rounding::Unproven) ++t.unproven;
    const bool differs = bitsOf(mine) != bitsOf(lib);
    if (differs) {
      ++t.differ;
      if (!o.diffsOut.empty()) t.diffs.emplace_back(i, bitsOf(lib));
    }
    // The turn's radians themselves come from asin: the runtime's chain may
    // reach another argument.
    const double libKept = s.argument == turnArgument ? runtime(f, turnRadians(i, true)) : lib;
    if (bitsOf(keptOf(f, mine)) != bitsOf(keptOf(f, libKept))) ++t.keptDiffer;
    if (!o.diffsIn.empty()) {
      double glibc = mine;
      if (next != glibcDiffs.end() && next->first == i) glibc = fromBits((next++)->second);
      if (bitsOf(glibc) != bitsOf(lib)) ++t.versusGlibc;
    }
#ifndef FS_NO_MPFR
    if (o.full || differs || how != numeric::Rounding::Quick || i % o.sample == 0) {
      const double r = nearest(f, x);
      ++t.checked;
      if (bitsOf(r) != bitsOf(mine)) ++t.oursWrong;
      if (bitsOf(r) != bitsOf(lib)) ++t.runtimeWrong;
    }
#endif
  }
}

Tally runSet(const Set& s, Fn f, const Options& o) {
  std::vector<std::pair<uint64_t, uint64_t>> glibcDiffs;
  if (!o.diffsIn.empty()) glibcDiffs = readDiffs(diffFile(o.diffsIn, s, f));
  // Small slices handed out in turn keep the threads busy to the end.
  const uint64_t slice = 1 << 20;
  std::atomic<uint64_t> cursor{s.first};
  std::vector<Tally> parts(o.threads);
  std::vector<std::thread> pool;
  for (unsigned k = 0; k < o.threads; ++k) {
    pool.emplace_back([&, k] {
      for (;;) {
        const uint64_t from = cursor.fetch_add(slice);
        if (from >= s.end) break;
        runRange(s, f, o, from, std::min(s.end, from + slice), glibcDiffs, parts[k]);
      }
    });
  }
  for (auto& th : pool) th.join();
  Tally all;
  for (const auto& p : parts) all.add(p);
  std::sort(all.diffs.begin(), all.diffs.end());
  if (!o.diffsOut.empty()) {
    FILE* out = std::fopen(diffFile(o.diffsOut, s, f).c_str(), "wb");
    if (!out) {
      std::fprintf(stderr, "bench_elementary: cannot write into %s\n", o.diffsOut.c_str());
      std::exit(1);
    }
    for (const auto& d : all.diffs) {
      const uint64_t rec[2] = {d.first, d.second};
      std::fwrite(rec, sizeof rec, 1, out);
    }
    std::fclose(out);
  }
  return all;
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--full") {
      o.full = true;
    } else if (a == "--sample" && hasValue) {
      o.sample = std::max(1ULL, std::strtoull(argv[++i], nullptr, 10));
    } else if (a == "--threads" && hasValue) {
      o.threads = std::max(1UL, std::strtoul(argv[++i], nullptr, 10));
    } else if (a == "--sets" && hasValue) {
      o.sets = argv[++i];
    } else if (a == "--diffs-out" && hasValue) {
      o.diffsOut = argv[++i];
    } else if (a == "--diffs-in" && hasValue) {
      o.diffsIn = argv[++i];
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(
        stderr,
        "usage: bench_elementary [--sets heading,asin,turn,pown,pown-far] [--sample K | --full]\n"
        "                        [--threads N] [--diffs-out DIR | --diffs-in DIR]\n");
    return 2;
  }
  const Set sets[] = {
      {"heading", 0, kHeadings, {Fn::Sin, Fn::Cos}, headingArgument},
      {"asin", 0, 2 * kUnitHalf, {Fn::Asin}, asinArgument},
      {"turn", 0, 4 * kUnitHalf, {Fn::Sin, Fn::Cos}, turnArgument},
      {"pown", 0, 1024, {Fn::Pown}, pownArgument},
      {"pown-far", 1024, uint64_t{1} << 20, {Fn::Pown}, pownArgument},
  };
#ifdef FS_NO_MPFR
  const bool withMpfr = false;
#else
  const bool withMpfr = true;
#endif
  std::printf("%-8s %-5s %12s %9s %8s %12s %8s", "set", "fn", "inputs", "slow", "unproven",
              "differ", "kept");
  if (withMpfr) std::printf(" %10s %9s %10s", "checked", "ours-bad", "rt-bad");
  if (!o.diffsIn.empty()) std::printf(" %12s", "vs-glibc");
  std::printf(" %16s %7s\n", "digest", "seconds");
  for (const Set& s : sets) {
    if (("," + o.sets + ",").find("," + std::string(s.name) + ",") == std::string::npos) continue;
    for (Fn f : s.fns) {
      const auto t0 = std::chrono::steady_clock::now();
      const Tally t = runSet(s, f, o);
      const double secs =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      std::printf(
          "%-8s %-5s %12llu %9llu %8llu %12llu %8llu", s.name, nameOf(f),
          static_cast<unsigned long long>(t.inputs), static_cast<unsigned long long>(t.slow),
          static_cast<unsigned long long>(t.unproven), static_cast<unsigned long long>(t.differ),
          static_cast<unsigned long long>(t.keptDiffer));
      if (withMpfr)
        std::printf(" %10llu %9llu %10llu", static_cast<unsigned long long>(t.checked),
                    static_cast<unsigned long long>(t.oursWrong),
                    static_cast<unsigned long long>(t.runtimeWrong));
      if (!o.diffsIn.empty())
        std::printf(" %12llu", static_cast<unsigned long long>(t.versusGlibc));
      std::printf(" %016llx %7.1f\n", static_cast<unsigned long long>(t.digest), secs);
      std::fflush(stdout);
    }
  }
  return 0;
}
