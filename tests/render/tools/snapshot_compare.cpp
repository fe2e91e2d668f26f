// Compares a rendered PNG with its reference, writes a difference picture
// and says whether they match within the tolerance.
// Usage: snapshot_compare [--tolerance N] [--fraction F] REFERENCE ACTUAL DIFF

#include "image/Png.h"
#include "tools/snapshot/ImageDiff.h"
#include "tools/snapshot/Options.h"

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

}  // namespace

int main(int argc, char** argv) {
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
