#include "app/Icon.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// A sample's colour, premultiplied by its alpha: red, green, blue, alpha.
using Sample = std::array<double, 4>;

void over(Sample& dst, double r, double g, double b, double a) {
  dst[0] = r * a + dst[0] * (1 - a);
  dst[1] = g * a + dst[1] * (1 - a);
  dst[2] = b * a + dst[2] * (1 - a);
  dst[3] = a + dst[3] * (1 - a);
}

bool inRoundedSquare(double x, double y) {
  const double r = 0.18, m = 0.04;  // corner radius, margin
  const double cx = std::clamp(x, m + r, 1 - m - r), cy = std::clamp(y, m + r, 1 - m - r);
  return std::hypot(x - cx, y - cy) <= r;
}

bool inCloud(double x, double y) {
  const double puffs[][3] = {{0.30, 0.74, 0.13},
                             {0.45, 0.68, 0.16},
                             {0.62, 0.75, 0.12},
                             {0.20, 0.80, 0.08},
                             {0.74, 0.81, 0.07}};
  for (const auto& p : puffs) {
    if (std::hypot(x - p[0], y - p[1]) <= p[2] && y <= 0.86) return true;
  }
  return false;
}

// Seen from above, nose towards the upper right.
bool inAircraft(double x, double y) {
  const double c = std::cos(M_PI / 4), s = std::sin(M_PI / 4);
  const double dx = x - 0.52, dy = 0.42 - y;  // y up
  const double u = dx * c + dy * s, v = std::fabs(-dx * s + dy * c);
  const double fuselage = (u / 0.33) * (u / 0.33) + (v / 0.055) * (v / 0.055);
  if (fuselage <= 1) return true;
  const double sweep = 0.35 * v;
  if (v <= 0.31 && u <= 0.07 - sweep && u >= -0.07 - sweep) return true;   // wings
  if (v <= 0.12 && u <= -0.21 - sweep && u >= -0.29 - sweep) return true;  // tailplane
  return false;
}

}  // namespace

img::Image paintIcon(int size) {
  if (size < 1) return {};
  constexpr int kSamples = 4;  // per axis, for smooth edges at small sizes
  img::Image icon(size, size, 4);
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      Sample sum{};
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const double x = (px + (sx + 0.5) / kSamples) / size;
          const double y = (py + (sy + 0.5) / kSamples) / size;
          Sample p{};
          if (inRoundedSquare(x, y)) {
            over(p, 0.16 + 0.40 * y, 0.36 + 0.38 * y, 0.67 + 0.25 * y, 1);  // sky, lighter below
            if (inCloud(x, y)) over(p, 0.96, 0.96, 0.98, 0.95);
            if (inAircraft(x, y)) over(p, 0.80, 0.12, 0.10, 1);
          }
          for (int c = 0; c < 4; ++c) sum[c] += p[c];
        }
      }
      const double n = kSamples * kSamples;
      const double a = sum[3] / n;
      uint8_t* out = icon.at(px, py);
      auto byte = [](double v) {
        return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
      };
      for (int c = 0; c < 3; ++c) out[c] = a > 0 ? byte(sum[c] / n / a) : 0;
      out[3] = byte(a);
    }
  }
  return icon;
}
