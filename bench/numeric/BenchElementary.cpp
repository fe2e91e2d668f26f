// Cost per call of numeric/'s functions against the C runtime's, on the
// arguments the flight and the cloud field form, and the flight update of a
// fleet of 10,000 aircraft that calls them.
//
//   build/bench_numeric [--benchmark_filter=X]

#include "aircraft/Plane.h"
#include "numeric/Elementary.h"
#include "state/KeyTable.h"

#include <Inventor/SoDB.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

// Radians of 4,096 headings spread over 0..360, as the flight forms them.
const std::vector<double>& angles() {
  static const std::vector<double> v = [] {
    std::vector<double> a;
    for (int i = 0; i < 4096; ++i)
      a.push_back(static_cast<float>(i * 0.08789f) / 360.0 * 2.0 * kPi);
    return a;
  }();
  return v;
}

// The direction components asin sees, -1..1.
const std::vector<double>& unitValues() {
  static const std::vector<double> v = [] {
    std::vector<double> a;
    for (double h : angles()) a.push_back(static_cast<float>(std::sin(h)));
    return a;
  }();
  return v;
}

template <double (*F)(double)>
void overValues(benchmark::State& state, const std::vector<double>& values) {
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(F(values[i]));
    i = (i + 1) & 4095;
  }
}

// Both at one angle, as the flight takes them.
double oursSinCos(double x) {
  const numeric::SinCos t = numeric::sincos(x);
  return t.sin + t.cos;
}
double runtimeSinCos(double x) { return std::sin(x) + std::cos(x); }
double oursAsin(double x) { return numeric::asin(x); }
double runtimeAsin(double x) { return std::asin(x); }

void BM_SinCosOurs(benchmark::State& s) { overValues<oursSinCos>(s, angles()); }
void BM_SinCosRuntime(benchmark::State& s) { overValues<runtimeSinCos>(s, angles()); }
void BM_AsinOurs(benchmark::State& s) { overValues<oursAsin>(s, unitValues()); }
void BM_AsinRuntime(benchmark::State& s) { overValues<runtimeAsin>(s, unitValues()); }

// The shaper's exponents: today's clouds use 1..95.
void BM_PowOurs(benchmark::State& state) {
  const double base = 0.95f;
  uint32_t b = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(numeric::pown(base, b));
    b = b % 95 + 1;
  }
}

void BM_PowRuntime(benchmark::State& state) {
  const double base = 0.95f;
  uint32_t b = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::pow(base, static_cast<double>(b)));
    b = b % 95 + 1;
  }
}

// One flight update of 10,000 aircraft turning at full speed, the selected
// one placing the camera: the hostile list's size.
void BM_FleetAdvance(benchmark::State& state) {
  SoDB::init();
  std::vector<Plane> fleet(10000);
  for (Plane& p : fleet) {
    p.build(1.0f, 0.25f, "");
    p.speed = 2;
    p.bank = 7.5f;
  }
  fleet[0].selected = 1;
  auto* camera = new SoPerspectiveCamera;
  camera->ref();
  KeyTable[KEY_LEFT].pressed = 1;
  for (auto _ : state) {
    for (Plane& p : fleet) p.advance(SbTime(1.0 / 60), camera);
  }
  KeyTable[KEY_LEFT].pressed = 0;
  camera->unref();
  for (Plane& p : fleet) p.root->unref();
}

}  // namespace

BENCHMARK(BM_SinCosOurs);
BENCHMARK(BM_SinCosRuntime);
BENCHMARK(BM_AsinOurs);
BENCHMARK(BM_AsinRuntime);
BENCHMARK(BM_PowOurs);
BENCHMARK(BM_PowRuntime);
BENCHMARK(BM_FleetAdvance)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
