// The cloud density fill against its literal evaluation, for the 36 seeds of
// start-up. First checks every cell of every seed bit for bit and prints the
// per-fill times and their ratio, then hands over to Google Benchmark.
//
//   build/bench_cloudfield                      table, then both benchmarks
//   build/bench_cloudfield --benchmark_filter=X the usual benchmark options

#include "clouds/CloudField.h"
#include "clouds/CloudSeeds.h"
#include "clouds/ReferenceCloudField.h"
#include "state/Globals.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kCells = 65 * 65 * 65;

std::vector<float>& referenceField() {
  static std::vector<float> field(kCells, 0.0f);
  return field;
}

void referenceFill(int32_t seed) { reference::fill(seed, referenceField().data()); }

void productionFill(int32_t seed) {
  noiseSeed = seed;
  fillCloudField();
}

// Seconds per fill, averaged over `rounds` passes through all seeds.
template <class Fill>
double secondsPerFill(const std::vector<int32_t>& seeds, int rounds, Fill fill) {
  const auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (int32_t seed : seeds) {
      fill(seed);
    }
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return elapsed.count() / (static_cast<double>(rounds) * static_cast<double>(seeds.size()));
}

int checkAndCompare() {
  const std::vector<int32_t> seeds = startupCloudSeeds();
  int differing = 0;
  for (int32_t seed : seeds) {
    std::memcpy(referenceField().data(), &CloudField[0][0][0], kCells * sizeof(float));
    referenceFill(seed);
    productionFill(seed);
    if (std::memcmp(referenceField().data(), &CloudField[0][0][0], kCells * sizeof(float)) != 0) {
      std::printf("seed %d: the production fill differs from the literal evaluation\n", seed);
      ++differing;
    }
  }
  std::printf("bit-identical: %zu of %zu start-up seeds\n", seeds.size() - differing, seeds.size());

  const double literal = secondsPerFill(seeds, 3, referenceFill);
  const double production = secondsPerFill(seeds, 30, productionFill);
  std::printf("%-22s %12s\n", "fill", "ms per fill");
  std::printf("%-22s %12.3f\n", "literal evaluation", literal * 1e3);
  std::printf("%-22s %12.3f\n", "production", production * 1e3);
  std::printf("%-22s %11.1fx\n", "speed-up", literal / production);
  std::printf("%-22s %12.1f -> %.1f\n", "36 clouds, ms", literal * 36e3, production * 36e3);
  std::fflush(stdout);
  return differing == 0 ? 0 : 1;
}

void BM_LiteralFill(benchmark::State& state) {
  const std::vector<int32_t> seeds = startupCloudSeeds();
  size_t next = 0;
  for (auto _ : state) {
    referenceFill(seeds[next++ % seeds.size()]);
    benchmark::DoNotOptimize(referenceField().data());
  }
}
BENCHMARK(BM_LiteralFill)->Unit(benchmark::kMillisecond);

void BM_ProductionFill(benchmark::State& state) {
  const std::vector<int32_t> seeds = startupCloudSeeds();
  size_t next = 0;
  for (auto _ : state) {
    productionFill(seeds[next++ % seeds.size()]);
    benchmark::DoNotOptimize(&CloudField[0][0][0]);
  }
}
BENCHMARK(BM_ProductionFill)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const int status = checkAndCompare();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return status;
}
