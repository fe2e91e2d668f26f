// Compares a rendered PNG with its reference, writes a difference picture
// and says whether they match within the tolerance.
// Usage: snapshot_compare [--tolerance N] [--fraction F] REFERENCE ACTUAL DIFF
// The clouds' measures, printed as "name value" lines:
//        snapshot_compare --clouds NOCLOUDS REFERENCE ACTUAL
//        snapshot_compare --cloud-change COUNT NOCLOUDS_OUT ACTUAL_OUT
// (the second over the frames written by flightscene-snapshot --frames).

#include "image/Png.h"
#include "tools/snapshot/FlightScript.h"
#include "tools/snapshot/ImageDiff.h"
#include "tools/snapshot/Options.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

int usage(const char* message) {
  std::fprintf(stderr,
               "snapshot_compare: %s\n"
               "Usage: snapshot_compare [--tolerance N] [--fraction F] REFERENCE ACTUAL DIFF\n",
               message);
  return 2;
}

bool read(const std::string& path, img::Image& image) {
  std::string error;
  if (img::readPng(path, image, error)) return true;
  std::fprintf(stderr, "snapshot_compare: %s\n", error.c_str());
  return false;
}

int measure(int argc, char** argv) {
  const std::string mode = argv[1];
  if (mode == "--clouds") {
    if (argc != 5) return usage("--clouds wants NOCLOUDS REFERENCE ACTUAL");
    img::Image none, reference, actual;
    if (!read(argv[2], none) || !read(argv[3], reference) || !read(argv[4], actual)) return 2;
    const CloudMeasure m = measureClouds(none, reference, actual);
    if (!m.sameSize) return usage("the three images differ in size");
    std::printf("cloud_pixels %lld\nmean_delta %.4f\noff_share %.5f\n",
                static_cast<long long>(m.cloudPixels), m.meanDelta, m.offShare);
    return 0;
  }
  int64_t count = 0;
  if (argc != 5 || !cli::parseInt64(argv[2], count) || count < 2)
    return usage("--cloud-change wants COUNT (at least 2) NOCLOUDS_OUT ACTUAL_OUT");
  // Popping shows as the largest change between two frames.
  double largest = 0, sum = 0;
  img::Image none[2], actual[2];
  for (int64_t i = 1; i <= count; ++i) {
    const int k = static_cast<int>(i % 2);
    if (!read(frameFileName(argv[3], i), none[k]) || !read(frameFileName(argv[4], i), actual[k]))
      return 2;
    if (i == 1) continue;
    const double change = cloudChange(none[1 - k], actual[1 - k], none[k], actual[k]);
    if (change < 0) return usage("the frames differ in size");
    largest = std::max(largest, change);
    sum += change;
  }
  std::printf("change_largest %.4f\nchange_mean %.4f\n", largest,
              sum / static_cast<double>(count - 1));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::string(argv[1]) == "--clouds" || std::string(argv[1]) == "--cloud-change"))
    return measure(argc, argv);
  // Measured on the scene's moments at 320x240: doubling the cloud slices
  // moves no pixel by more than 16; reversing their order moves 0.18-2.2%
  // of the pixels, one lost cloud 0.1-1.9%, a lost sky texture 20% and more.
  int64_t tolerance = 16;
  double fraction = 0.0015;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--tolerance" || arg == "--fraction") && i + 1 < argc) {
      const std::string value = argv[++i];
      const bool ok = arg == "--tolerance"
                          ? cli::parseInt64(value, tolerance) && tolerance >= 0 && tolerance <= 255
                          : cli::parseReal(value, fraction) && fraction >= 0 && fraction <= 1;
      if (!ok) return usage(("bad value for " + arg).c_str());
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 3) return usage("wants REFERENCE ACTUAL DIFF");

  img::Image reference, actual;
  std::string error;
  if (!img::readPng(files[0], reference, error) || !img::readPng(files[1], actual, error)) {
    std::fprintf(stderr, "snapshot_compare: %s\n", error.c_str());
    return 2;
  }
  if (looksBlank(reference)) {
    std::fprintf(stderr, "snapshot_compare: the reference %s is blank; regenerate it\n",
                 files[0].c_str());
    return 1;
  }
  if (looksBlank(actual)) {
    std::fprintf(stderr, "snapshot_compare: %s is a blank frame\n", files[1].c_str());
    return 1;
  }
  const DiffSummary diff = compareImages(reference, actual, static_cast<int>(tolerance));
  if (!diff.sameSize) {
    std::fprintf(stderr, "snapshot_compare: %s is %dx%d, the reference %dx%d\n", files[1].c_str(),
                 actual.width, actual.height, reference.width, reference.height);
    return 1;
  }
  std::printf(
      "%lld of %lld pixels differ by more than %lld (%.3f%%, allowed %.3f%%); "
      "largest difference %d, mean %.2f\n",
      static_cast<long long>(diff.differing), static_cast<long long>(diff.pixels),
      static_cast<long long>(tolerance), 100 * diff.differingFraction(), 100 * fraction,
      diff.maxDelta, diff.meanDelta);
  if (diff.differingFraction() <= fraction) return 0;
  if (!img::writePng(files[2], diff.picture, error)) {
    std::fprintf(stderr, "snapshot_compare: %s\n", error.c_str());
  }
  return 1;
}
