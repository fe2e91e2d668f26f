#include "tools/snapshot/ImageDiff.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>

DiffSummary compareImages(const img::Image& reference, const img::Image& actual,
                          int channelTolerance) {
  DiffSummary s;
  s.sameSize = reference.width == actual.width && reference.height == actual.height &&
               reference.pixels.size() == actual.pixels.size() && !reference.pixels.empty();
  if (!s.sameSize) {
    s.pixels = static_cast<int64_t>(reference.width) * reference.height;
    s.differing = s.pixels;
    s.maxDelta = 255;
    s.meanDelta = 255;
    return s;
  }
  s.pixels = static_cast<int64_t>(reference.width) * reference.height;
  s.picture = img::Image(reference.width, reference.height, 3);
  double sum = 0;
  for (int64_t p = 0; p < s.pixels; ++p) {
    const uint8_t* r = &reference.pixels[static_cast<size_t>(p) * 3];
    const uint8_t* a = &actual.pixels[static_cast<size_t>(p) * 3];
    int worst = 0;
    for (int c = 0; c < 3; ++c) {
      const int d = std::abs(int(r[c]) - int(a[c]));
      worst = std::max(worst, d);
      sum += d;
    }
    s.maxDelta = std::max(s.maxDelta, worst);
    uint8_t* out = &s.picture.pixels[static_cast<size_t>(p) * 3];
    if (worst > channelTolerance) {
      ++s.differing;
      out[0] = static_cast<uint8_t>(std::min(255, 128 + worst));
      out[1] = 0;
      out[2] = 0;
    } else {
      const uint8_t grey = static_cast<uint8_t>((int(r[0]) + int(r[1]) + int(r[2])) / 12);
      out[0] = out[1] = out[2] = grey;
    }
  }
  s.meanDelta = sum / (static_cast<double>(s.pixels) * 3);
  return s;
}

namespace {

bool sameRgb(std::initializer_list<const img::Image*> images) {
  const img::Image& first = **images.begin();
  for (const img::Image* i : images)
    if (i->channels != 3 || !i->valid() || i->width != first.width || i->height != first.height)
      return false;
  return true;
}

// Whether a channel of pixel p differs by more than `by` between x and y.
bool off(const img::Image& x, const img::Image& y, size_t p, int by) {
  for (size_t c = 0; c < 3; ++c)
    if (std::abs(int(x.pixels[p * 3 + c]) - int(y.pixels[p * 3 + c])) > by) return true;
  return false;
}

}  // namespace

CloudMeasure measureClouds(const img::Image& withoutClouds, const img::Image& reference,
                           const img::Image& actual) {
  CloudMeasure m;
  m.sameSize = sameRgb({&withoutClouds, &reference, &actual});
  if (!m.sameSize) return m;
  double sum = 0;
  int64_t offCount = 0;
  for (size_t p = 0; p < reference.pixels.size() / 3; ++p) {
    if (!off(reference, withoutClouds, p, 2)) continue;
    ++m.cloudPixels;
    for (size_t c = 0; c < 3; ++c)
      sum += std::abs(int(reference.pixels[p * 3 + c]) - int(actual.pixels[p * 3 + c]));
    offCount += off(reference, actual, p, 8);
  }
  if (m.cloudPixels > 0) {
    m.meanDelta = sum / (3.0 * static_cast<double>(m.cloudPixels));
    m.offShare = static_cast<double>(offCount) / static_cast<double>(m.cloudPixels);
  }
  return m;
}

double cloudChange(const img::Image& withoutA, const img::Image& a, const img::Image& withoutB,
                   const img::Image& b) {
  if (!sameRgb({&withoutA, &a, &withoutB, &b})) return -1;
  double sum = 0;
  int64_t pixels = 0;
  for (size_t p = 0; p < a.pixels.size() / 3; ++p) {
    if (!off(a, withoutA, p, 2) && !off(b, withoutB, p, 2)) continue;
    ++pixels;
    for (size_t c = 0; c < 3; ++c) {
      const size_t i = p * 3 + c;
      const int cloudA = int(a.pixels[i]) - int(withoutA.pixels[i]);
      const int cloudB = int(b.pixels[i]) - int(withoutB.pixels[i]);
      sum += std::abs(cloudB - cloudA);
    }
  }
  return pixels > 0 ? sum / (3.0 * static_cast<double>(pixels)) : 0.0;
}

bool looksBlank(const img::Image& image, double spread) {
  const size_t n = image.pixels.size() / 3;
  if (n == 0) return true;
  double sum = 0, sumSq = 0;
  for (size_t p = 0; p < n; ++p) {
    const double g =
        (image.pixels[p * 3] + image.pixels[p * 3 + 1] + image.pixels[p * 3 + 2]) / 3.0;
    sum += g;
    sumSq += g * g;
  }
  const double mean = sum / static_cast<double>(n);
  const double variance = std::max(0.0, sumSq / static_cast<double>(n) - mean * mean);
  return std::sqrt(variance) < spread;
}
