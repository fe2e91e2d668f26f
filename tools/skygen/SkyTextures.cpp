#include "tools/skygen/SkyTextures.h"

#include "tools/skygen/Noise.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace skygen {

namespace {

const double kPi = 3.14159265358979323846;

// Sky palette. The wall's top edge sits only ~14 degrees above the horizon,
// so its colour is the rim of the roof, not the deep zenith blue.
const Rgb kZenith{58, 112, 196};
const Rgb kSkyRim{104, 158, 222};
const Rgb kHorizonHaze{218, 230, 242};
const Rgb kGroundHaze{184, 196, 200};
const Rgb kHighCloud{246, 248, 252};

// Field kinds: woodland, pasture, meadow, then the arable ones with visible
// rows: young crop, wheat, ploughed soil, dark soil.
const Rgb kFieldColours[] = {
    {52, 80, 40},   {84, 124, 50},  {106, 140, 62}, {78, 114, 48},
    {180, 162, 96}, {128, 100, 68}, {100, 80, 56},
};
// How often each kind occurs, in percent; woodland is kept to scattered copses.
const int kFieldWeights[] = {9, 23, 18, 15, 13, 12, 10};
const uint32_t kWoodland = 0;
const uint32_t kFirstArable = 3;
const uint32_t kFieldKinds = sizeof(kFieldColours) / sizeof(kFieldColours[0]);
const Rgb kHedge{46, 70, 36};

const uint32_t kFieldSeed = 7u;
const uint32_t kFloorDetailSeed = 19u;
const uint32_t kCloudSeed = 31u;

Rgb mix(const Rgb& a, const Rgb& b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb scale(const Rgb& c, double k) { return {c.r * k, c.g * k, c.b * k}; }

double clamp01(double v) { return std::min(1.0, std::max(0.0, v)); }

double smoothstep(double e0, double e1, double v) {
  const double t = clamp01((v - e0) / (e1 - e0));
  return t * t * (3.0 - 2.0 * t);
}

// Sky or ground colour at wall height s (0 top edge, 0.5 horizon, 1 foot).
Rgb sideColour(double s, const Rgb& ground) {
  if (s <= 0.5) {
    const double t = s / 0.5;
    // Sky stays blue most of the way and pales quickly near the horizon.
    return mix(kSkyRim, kHorizonHaze, std::pow(t, 2.2));
  }
  const double u = (s - 0.5) / 0.5;
  // Distant ground is lost in haze; the nearer it gets the more it is the floor.
  return mix(kGroundHaze, ground, 1.0 - std::pow(1.0 - u, 2.5));
}

// A field is an axis-aligned rectangle of the floor tile, in tile units [0, 1).
struct Field {
  double x0, y0, x1, y1;
  uint32_t key;
};

// Splits the tile recursively, the longer side first, into fields of a few
// dozen per tile: roughly the patchwork of farmland seen from the air.
void splitFields(std::vector<Field>* out, double x0, double y0, double x1, double y1,
                 uint32_t key) {
  const double w = x1 - x0, h = y1 - y0;
  const double longest = std::max(w, h);
  const bool small = longest < 0.13;
  const bool mayStop = longest < 0.26 && hashUnit(key, 0u, kFieldSeed) < 0.3;
  if (small || mayStop) {
    out->push_back({x0, y0, x1, y1, key});
    return;
  }
  const double at = 0.3 + 0.4 * hashUnit(key, 1u, kFieldSeed);
  const uint32_t left = hash2(key, 2u, kFieldSeed), right = hash2(key, 3u, kFieldSeed);
  if (w >= h) {
    const double xm = x0 + w * at;
    splitFields(out, x0, y0, xm, y1, left);
    splitFields(out, xm, y0, x1, y1, right);
  } else {
    const double ym = y0 + h * at;
    splitFields(out, x0, y0, x1, ym, left);
    splitFields(out, x0, ym, x1, y1, right);
  }
}

uint32_t fieldKind(uint32_t key) {
  const double pick = 100.0 * hashUnit(key, 4u, kFieldSeed);
  double sum = 0.0;
  for (uint32_t k = 0; k < kFieldKinds; ++k) {
    sum += kFieldWeights[k];
    if (pick < sum) return k;
  }
  return kFieldKinds - 1;
}

double wrapUnit(double v) { return v - std::floor(v); }

}  // namespace

Rgb floorColourAt(double tx, double ty) {
  static const std::vector<Field> fields = [] {
    std::vector<Field> f;
    splitFields(&f, 0.0, 0.0, 1.0, 1.0, 1u);
    return f;
  }();
  const double px1 = 1.0 / kSkyImageSize;  // one pixel in tile units
  // Bend the straight boundaries a little; the warp tiles like the fields.
  const double wx =
      wrapUnit(tx + 0.012 * (valueNoise(tx * 8.0, ty * 8.0, kFieldSeed + 5u, 8u) - 0.5));
  const double wy =
      wrapUnit(ty + 0.012 * (valueNoise(tx * 8.0, ty * 8.0, kFieldSeed + 6u, 8u) - 0.5));
  const Field* f = &fields.front();
  for (const Field& c : fields) {
    if (wx >= c.x0 && wx < c.x1 && wy >= c.y0 && wy < c.y1) {
      f = &c;
      break;
    }
  }
  const uint32_t kind = fieldKind(f->key);
  Rgb c = kFieldColours[kind];
  c = scale(c, 0.92 + 0.16 * hashUnit(f->key, 5u, kFieldSeed));
  const double detail = fractalNoise(tx * 32.0, ty * 32.0, 3, kFloorDetailSeed, 32u);
  if (kind == kWoodland) {
    // Tree crowns: coarse, strong variation instead of rows.
    const double crowns = fractalNoise(tx * 96.0, ty * 96.0, 2, kFloorDetailSeed + 1u, 96u);
    c = scale(c, 0.7 + 0.6 * crowns);
  } else {
    // Furrows or crop rows, parallel to one side of the field.
    const bool alongX = (hash2(f->key, 6u, kFieldSeed) & 1u) != 0;
    const double rows = std::sin(2.0 * kPi * (alongX ? wy : wx) * 110.0);
    c = scale(c, 1.0 + (kind >= kFirstArable ? 0.06 : 0.02) * rows);
    c = scale(c, 0.9 + 0.2 * detail);
  }
  // Hedges along the boundaries, half on each side, with soft edges.
  const double border =
      std::min(std::min(wx - f->x0, f->x1 - wx), std::min(wy - f->y0, f->y1 - wy)) / px1;
  const double hedge = 1.0 - smoothstep(1.0, 2.6, border);
  return mix(c, scale(kHedge, 0.85 + 0.3 * detail), hedge);
}

img::Image makeFloorImage() {
  const int n = kSkyImageSize;
  img::Image image(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) setTexel(image, x, y, floorColourAt((x + 0.5) / n, (y + 0.5) / n));
  return image;
}

img::Image makeAboveImage() {
  const int n = kSkyImageSize;
  img::Image image(n, n);
  const double streakAngle = 0.45;  // radians; the streaks run diagonally
  const double ca = std::cos(streakAngle), sa = std::sin(streakAngle);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      const double u = (x + 0.5) / n * 2.0 - 1.0;
      const double v = (y + 0.5) / n * 2.0 - 1.0;
      const double r = std::sqrt(u * u + v * v);
      const double k = 1.0 - std::min(r, 1.0);
      Rgb c = mix(kSkyRim, kZenith, k * k * (3.0 - 2.0 * k));
      // Wispy high cloud: noise stretched along one direction. It fades out
      // before the border so the roof meets the walls in one flat colour.
      const double a = u * ca + v * sa, b = -u * sa + v * ca;
      const double wisp = fractalNoise(a * 2.5 + 10.0, b * 11.0 + 10.0, 5, kCloudSeed);
      const double edge = 1.0 - smoothstep(0.7, 0.95, std::max(std::fabs(u), std::fabs(v)));
      const double cover = smoothstep(0.5, 0.78, wisp) * 0.45 * edge;
      c = mix(c, kHighCloud, cover);
      setTexel(image, x, y, c);
    }
  }
  return image;
}

img::Image makeSideImage(const Rgb& groundColour) {
  const int n = kSkyImageSize;
  img::Image image(n, n);
  for (int x = 0; x < n; ++x) {
    // Edge columns carry the exact edge colours, where the roof and the floor meet the wall.
    const double s = static_cast<double>(x) / (n - 1);
    const Rgb c = sideColour(s, groundColour);
    for (int y = 0; y < n; ++y) setTexel(image, x, y, c);
  }
  return image;
}

Rgb meanColour(const img::Image& image) {
  double r = 0.0, g = 0.0, b = 0.0;
  // Summed from the bottom row up: the walls' foot colour depends on the order.
  for (int t = 0; t < image.height; ++t) {
    for (int s = 0; s < image.width; ++s) {
      const uint8_t* p = texel(image, s, t);
      r += p[0];
      g += p[1];
      b += p[2];
    }
  }
  const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  if (count == 0) return {};
  const double c = static_cast<double>(count);
  return {r / c, g / c, b / c};
}

SkyBoxImages makeSkyBoxImages() {
  SkyBoxImages images;
  images.floor = makeFloorImage();
  images.above = makeAboveImage();
  images.side = makeSideImage(meanColour(images.floor));
  return images;
}

}  // namespace skygen
