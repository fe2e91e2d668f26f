#pragma once
// Tolerant comparison of a rendered image against its reference: a pixel
// differs when one channel is off by more than the channel tolerance, and
// the images match when few enough pixels differ. Software rasterisers round
// blending and texture filtering a little differently from build to build;
// real faults (a lost texture, a lost cloud, a turned camera) move many
// pixels a long way.

#include "image/Image.h"

#include <cstdint>

struct DiffSummary {
  bool sameSize = false;
  int64_t pixels = 0;
  int64_t differing = 0;  // pixels with a channel off by more than the tolerance
  int maxDelta = 0;       // the largest channel difference seen
  double meanDelta = 0;   // mean of every channel difference
  // Differing pixels in red (brighter for larger differences) over a dimmed
  // grey copy of the reference.
  img::Image picture;

  double differingFraction() const {
    return pixels > 0 ? static_cast<double>(differing) / static_cast<double>(pixels) : 1.0;
  }
};

DiffSummary compareImages(const img::Image& reference, const img::Image& actual,
                          int channelTolerance);

// The clouds of a frame judged against a reference drawing of them, over the
// cloud pixels: those where the reference differs from the same frame drawn
// without clouds (a channel off by more than 2, beyond rounding).
struct CloudMeasure {
  bool sameSize = false;
  int64_t cloudPixels = 0;
  double meanDelta = 0;  // mean channel difference to the reference
  double offShare = 0;   // share of them with a channel off by more than 8
};
CloudMeasure measureClouds(const img::Image& withoutClouds, const img::Image& reference,
                           const img::Image& actual);

// How much the clouds' own part of the picture (the frame less the frame
// without clouds) changes from frame a to frame b: the mean channel change
// over the pixels where either frame has clouds; -1 when the sizes differ.
double cloudChange(const img::Image& withoutA, const img::Image& a, const img::Image& withoutB,
                   const img::Image& b);

// True when the image is (nearly) one colour: a black or blank frame.
// `spread` is the standard deviation of the grey level, in levels.
bool looksBlank(const img::Image& image, double spread = 3.0);
