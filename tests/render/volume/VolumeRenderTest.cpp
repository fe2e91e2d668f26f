// Volumes drawn in a hidden window: placement, grey levels, ordering against
// opaque geometry and other volumes, slice-count independence, a camera
// inside a volume, fog, the GL state left behind and a context's end.

#include "RenderFixture.h"
#include "volume/SoTransferFunction.h"
#include "volume/SoVolumeData.h"
#include "volume/SoVolumeRender.h"
#include "volume/SoVolumeRendering.h"

#include <GL/gl.h>
#include <Inventor/C/glue/gl.h>
#include <Inventor/SoDB.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoEnvironment.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoRotation.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int W = 256;
constexpr int H = 256;

struct VolumeSpec {
  SbVec3s dim{20, 20, 20};
  uint8_t value = 200;                           // uniform block...
  const std::vector<uint8_t>* voxels = nullptr;  // ...or these bytes
  SbBox3f size{-1, -1, -1, 1, 1, 1};
  SbVec3f translation{0, 0, 0};
  // Empty: GREY. Otherwise RGBA quadruplets for a NONE map.
  std::vector<float> colourMap;
  int control = SoVolumeRender::AUTOMATIC;
  int slices = 64;
};

// Separator with translation, volume data, transfer function and renderer.
SoSeparator* volume(const VolumeSpec& spec) {
  auto* sep = new SoSeparator;
  auto* t = new SoTranslation;
  t->translation = spec.translation;
  sep->addChild(t);
  auto* data = new SoVolumeData;
  const size_t n = size_t(spec.dim[0]) * spec.dim[1] * spec.dim[2];
  std::vector<uint8_t>& bytes =
      spec.voxels ? keepVoxels(*spec.voxels) : keepVoxels(std::vector<uint8_t>(n, spec.value));
  data->setVolumeData(spec.dim, bytes.data(), SoVolumeData::UNSIGNED_BYTE);
  data->setVolumeSize(spec.size);
  sep->addChild(data);
  auto* tf = new SoTransferFunction;
  if (!spec.colourMap.empty()) {
    tf->predefColorMap = SoTransferFunction::NONE;
    tf->colorMap.setValues(0, int(spec.colourMap.size()), spec.colourMap.data());
  }
  sep->addChild(tf);
  auto* vr = new SoVolumeRender;
  vr->numSlicesControl = spec.control;
  vr->numSlices = spec.slices;
  sep->addChild(vr);
  return sep;
}

// Orthographic camera at +z (or -z) looking at the origin, 4 units high:
// the box (-1,-1,-1)-(1,1,1) covers the middle half of the window.
SoSeparator* sceneWithOrthoCamera(bool fromBehind = false) {
  auto* root = new SoSeparator;
  root->ref();
  auto* cam = new SoOrthographicCamera;
  cam->position = SbVec3f(0, 0, fromBehind ? -10.0f : 10.0f);
  if (fromBehind) cam->orientation = SbRotation(SbVec3f(0, 1, 0), float(M_PI));
  cam->height = 4.0f;
  cam->nearDistance = 1.0f;
  cam->farDistance = 30.0f;
  root->addChild(cam);
  auto* lm = new SoLightModel;
  lm->model = SoLightModel::BASE_COLOR;
  root->addChild(lm);
  return root;
}

SoSeparator* opaqueSlab(const SbColor& colour, float z) {
  auto* sep = new SoSeparator;
  auto* c = new SoBaseColor;
  c->rgb = colour;
  sep->addChild(c);
  auto* t = new SoTranslation;
  t->translation = SbVec3f(0, 0, z);
  sep->addChild(t);
  auto* cube = new SoCube;
  cube->width = 3.0f;
  cube->height = 3.0f;
  cube->depth = 0.2f;
  sep->addChild(cube);
  return sep;
}

// Opacity gathered by a ray crossing `voxels` voxels of per-voxel opacity a.
double gathered(double a, double voxels) { return 1.0 - std::pow(1.0 - a, voxels); }

void dump(const Image& img, const char* name) {
  // Set FS_VOLUME_DUMP to a directory to look at what the tests drew.
  if (const char* dir = std::getenv("FS_VOLUME_DUMP"))
    img.writePpm(std::string(dir) + "/" + name + ".ppm");
}

// Gives the renderer's quality back however the test ends, an ASSERT's
// early return included, so that it cannot leak into later tests.
class QualityFor {
 public:
  explicit QualityFor(SoVolumeRender::Quality q) : was_(SoVolumeRender::setQuality(q)) {}
  ~QualityFor() { SoVolumeRender::setQuality(was_); }
  QualityFor(const QualityFor&) = delete;
  QualityFor& operator=(const QualityFor&) = delete;

 private:
  SoVolumeRender::Quality was_;
};

// The renderer's stage times while alive: a stage that ran took time, so
// they tell whether a frame went through the reduced pass and whether it
// sliced edge tiles at full resolution.
struct Stages {
  double seconds[4] = {0.0, 0.0, 0.0, 0.0};
  Stages() { SoVolumeRender::setStageTimer(seconds); }
  ~Stages() { SoVolumeRender::setStageTimer(nullptr); }
  Stages(const Stages&) = delete;
  Stages& operator=(const Stages&) = delete;
  bool reduced() const { return seconds[2] > 0.0; }
  bool edgesSliced() const { return seconds[3] > 0.0; }
};

// CTest runs some cases on a GL that cannot reduce, and says so.
bool reductionExpected() { return std::getenv("FS_VOLUME_FULL_SIZE") == nullptr; }

class VolumeRender : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SoDB::init();
    SoVolumeRendering::init();
    windowOk = openRenderWindow(W, H);
  }
  static void TearDownTestSuite() {
    closeRenderWindow();
    SoDB::finish();
  }
  void SetUp() override {
    if (!windowOk) GTEST_SKIP() << "no display";
  }

  Image render(SoSeparator* root, Target target = Target::FloatBuffer,
               const SbColor& bg = SbColor(0, 0, 0)) {
    if (target == Target::FloatBuffer && !floatTargetAvailable()) {
      ADD_FAILURE() << "no float framebuffer";
      return Image{};
    }
    unsigned err = 0;
    Image img = renderScene(root, target, &err, bg);
    EXPECT_EQ(err, unsigned(GL_NO_ERROR));
    return img;
  }

  static bool windowOk;
};
bool VolumeRender::windowOk = false;

// Also on the frame that meets the renderer's one-time set-up of a context:
// an error pending before the frame must still be there after it, for the
// window layer to report.
TEST_F(VolumeRender, GlErrorsPendingBeforeTheFrameAreLeftForTheCaller) {
  renewRenderContext();  // the next frame is the context's first
  SoSeparator* root = sceneWithOrthoCamera();
  root->addChild(volume(VolumeSpec{}));
  unsigned err = 0;
  const Image img = renderScene(root, Target::BackBuffer, &err, SbColor(0, 0, 0),
                                [](SoGLRenderAction*) { glEnable(GLenum(0x7fff)); });
  EXPECT_EQ(err, unsigned(GL_INVALID_ENUM));
  EXPECT_NEAR(img.at(128, 128, 0), 200.0, 3.0);  // and the volume is drawn all the same
  root->unref();
}

TEST_F(VolumeRender, UniformBlockDrawsItsGreyOverItsSquare) {
  SoSeparator* root = sceneWithOrthoCamera();
  root->addChild(volume(VolumeSpec{}));
  for (Target target : {Target::FloatBuffer, Target::BackBuffer}) {
    const Image img = render(root, target);
    dump(img, target == Target::FloatBuffer ? "uniform_float" : "uniform_back");
    // 20 voxels of opacity 200/255 gather full opacity: the grey is 200.
    EXPECT_NEAR(img.at(128, 128, 0), 200.0, 3.0);
    EXPECT_NEAR(img.at(128, 128, 1), 200.0, 3.0);
    EXPECT_NEAR(img.at(100, 160, 2), 200.0, 3.0);
    // The box spans pixels 64..191 on both axes; nothing outside it.
    int covered = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const bool inside = x >= 64 && x < 192 && y >= 64 && y < 192;
        const bool lit = img.grey(x, y) > 100.0f;
        if (lit) ++covered;
        if (x > 66 && x < 189 && y > 66 && y < 189) {
          EXPECT_TRUE(lit) << x << "," << y;
        }
        if (!inside) {
          EXPECT_LT(img.grey(x, y), 1.0f) << x << "," << y;
        }
      }
    EXPECT_NEAR(covered, 128 * 128, 2 * 128 * 2);
  }
  root->unref();
}

TEST_F(VolumeRender, OpaqueGeometryHidesVolumeBehindAndShowsThroughVolumeInFront) {
  // A thin volume: 20 voxels of opacity 40/255 gather about 97% at most, so
  // what lies behind still shows.
  VolumeSpec thin;
  thin.value = 40;
  const double a = gathered(40.0 / 255.0, 20.0);
  const SbColor red(1, 0, 0);

  // The volume comes first in the scene graph in both cases: drawing it
  // after the opaque geometry is the renderer's job, not the scene's order.
  SoSeparator* front = sceneWithOrthoCamera();
  front->addChild(volume(thin));
  front->addChild(opaqueSlab(red, -3.0f));
  const Image over = render(front);
  dump(over, "volume_over_slab");
  EXPECT_NEAR(over.at(128, 128, 0), 40.0 * a + 255.0 * (1.0 - a), 4.0);
  EXPECT_NEAR(over.at(128, 128, 1), 40.0 * a, 3.0);
  // Beside the volume the slab is untouched.
  EXPECT_NEAR(over.at(40, 128, 0), 255.0, 0.5);
  EXPECT_NEAR(over.at(40, 128, 1), 0.0, 0.5);
  front->unref();

  SoSeparator* behind = sceneWithOrthoCamera();
  behind->addChild(opaqueSlab(red, 3.0f));
  behind->addChild(volume(thin));
  const Image hidden = render(behind);
  EXPECT_NEAR(hidden.at(128, 128, 0), 255.0, 0.5);
  EXPECT_NEAR(hidden.at(128, 128, 1), 0.0, 0.5);
  EXPECT_NEAR(hidden.at(128, 128, 2), 0.0, 0.5);
  behind->unref();

  // Fully opaque voxels stay opaque however thin the slices.
  SoSeparator* solid = sceneWithOrthoCamera();
  VolumeSpec full;
  full.value = 255;
  full.control = SoVolumeRender::MANUAL;
  full.slices = 256;
  solid->addChild(volume(full));
  solid->addChild(opaqueSlab(red, -3.0f));
  const Image white = render(solid);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(white.at(128, 128, c), 255.0, 0.5) << c;
  solid->unref();

  // Cutting through the middle of the volume: only the part in front shows.
  SoSeparator* through = sceneWithOrthoCamera();
  through->addChild(volume(thin));
  through->addChild(opaqueSlab(red, 0.0f));
  const Image half = render(through);
  const double ahalf = gathered(40.0 / 255.0, 9.0);  // the slab's front face is at z = 0.1
  EXPECT_NEAR(half.at(128, 128, 1), 40.0 * ahalf, 3.0);
  EXPECT_LT(half.at(128, 128, 1), over.at(128, 128, 1) - 3.0f);
  through->unref();
}

TEST_F(VolumeRender, OverlappingVolumesCompositeNearestLastFromEitherSide) {
  // Red volume at z = -2, blue at z = +2, both 2 units wide, overlapping on
  // screen where x is in [-0.5, 0.5]; per voxel opacity 0.05.
  VolumeSpec red, blue;
  red.value = blue.value = 255;
  red.colourMap = {1, 0, 0, 0.05f, 1, 0, 0, 0.05f};
  blue.colourMap = {0, 0, 1, 0.05f, 0, 0, 1, 0.05f};
  red.translation = SbVec3f(-0.5f, 0, -2);
  blue.translation = SbVec3f(0.5f, 0, 2);
  const double a = gathered(double(std::lround(0.05 * 255.0)) / 255.0, 20.0);
  const double nearPart = 255.0 * a;
  const double farPart = 255.0 * a * (1.0 - a);

  for (bool fromBehind : {false, true}) {
    SoSeparator* root = sceneWithOrthoCamera(fromBehind);
    root->addChild(volume(red));
    root->addChild(volume(blue));
    const Image img = render(root);
    dump(img, fromBehind ? "overlap_from_behind" : "overlap_from_front");
    const float r = img.at(128, 128, 0), b = img.at(128, 128, 2);
    if (!fromBehind) {  // blue is nearer
      EXPECT_NEAR(b, nearPart, 4.0);
      EXPECT_NEAR(r, farPart, 4.0);
    } else {
      EXPECT_NEAR(r, nearPart, 4.0);
      EXPECT_NEAR(b, farPart, 4.0);
    }
    root->unref();
  }
}

// Cloud-like densities: a soft ball, highest in the middle, zero at the rim.
std::vector<uint8_t> softBall(int n, double peak) {
  std::vector<uint8_t> v(size_t(n) * n * n);
  for (int z = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const double c = (n - 1) / 2.0;
        const double r = std::sqrt((x - c) * (x - c) + (y - c) * (y - c) + (z - c) * (z - c)) / c;
        v[size_t(x) + size_t(y) * n + size_t(z) * n * n] =
            uint8_t(std::lround(std::max(0.0, 1.0 - r) * peak));
      }
  return v;
}

SoSeparator* perspectiveScene(const SbVec3f& position, float nearDist = 0.5f) {
  auto* root = new SoSeparator;
  root->ref();
  auto* cam = new SoPerspectiveCamera;
  cam->position = position;
  cam->pointAt(SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
  cam->nearDistance = nearDist;
  cam->farDistance = 50.0f;
  root->addChild(cam);
  return root;
}

TEST_F(VolumeRender, SliceCountDoesNotChangeTheLook) {
  const std::vector<uint8_t> ball = softBall(20, 90.0);
  Image images[2];
  const int counts[2] = {64, 256};
  for (int i = 0; i < 2; ++i) {
    SoSeparator* root = perspectiveScene(SbVec3f(2.0f, 1.5f, 3.5f));
    auto* turn = new SoRotation;
    turn->rotation = SbRotation(SbVec3f(0, 1, 0), 0.4f);
    root->addChild(turn);
    VolumeSpec spec;
    spec.voxels = &ball;
    spec.control = SoVolumeRender::MANUAL;
    spec.slices = counts[i];
    root->addChild(volume(spec));
    images[i] = render(root);
    root->unref();
  }
  dump(images[0], "ball_64");
  dump(images[1], "ball_256");
  // The picture is neither empty nor saturated, so opacity matters.
  const float centre = images[1].grey(128, 128);
  EXPECT_GT(centre, 15.0f);
  EXPECT_LT(centre, 90.0f);
  double sum = 0.0, worst = 0.0;
  for (size_t k = 0; k < images[0].rgb.size(); ++k) {
    const double d = std::fabs(images[0].rgb[k] - images[1].rgb[k]);
    sum += d;
    worst = std::max(worst, d);
  }
  EXPECT_LT(sum / double(images[0].rgb.size()), 0.3);
  EXPECT_LT(worst, 4.0);
}

TEST_F(VolumeRender, CameraInsideVolumeSeesItEverywhere) {
  // Camera at the centre of a uniform 4-unit block looking along -z; every
  // ray crosses 2 units (10 voxels) or more before leaving the block.
  VolumeSpec spec;
  spec.value = 60;
  spec.size = SbBox3f(-2, -2, -2, 2, 2, 2);
  auto* root = new SoSeparator;
  root->ref();
  auto* cam = new SoPerspectiveCamera;
  cam->position = SbVec3f(0, 0, 0.3f);
  cam->nearDistance = 0.1f;
  cam->farDistance = 20.0f;
  root->addChild(cam);
  root->addChild(volume(spec));
  const Image img = render(root);
  dump(img, "inside");
  const double least = 60.0 * gathered(60.0 / 255.0, 10.0 - 1.5);
  float lo = 1e9f, hi = 0.0f;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      lo = std::min(lo, img.grey(x, y));
      hi = std::max(hi, img.grey(x, y));
    }
  EXPECT_GT(lo, least - 3.0);
  EXPECT_LE(hi, 61.0f);
  root->unref();
}

TEST_F(VolumeRender, FogTintsTheVolumeLikeOpaqueGeometry) {
  VolumeSpec spec;  // opaque-looking grey 200 block
  auto build = [&](bool fog) {
    SoSeparator* root = sceneWithOrthoCamera();
    if (fog) {
      auto* env = new SoEnvironment;
      env->fogType = SoEnvironment::HAZE;
      env->fogColor = SbColor(0, 1, 0);
      env->fogVisibility = 18.0f;
      root->addChild(env);
    }
    root->addChild(volume(spec));
    // A grey-200 opaque slab beside the volume at the depth of its front face.
    auto* side = opaqueSlab(SbColor(200.0f / 255.0f, 200.0f / 255.0f, 200.0f / 255.0f), 1.0f);
    auto* shift = new SoTranslation;
    shift->translation = SbVec3f(0, 2.5f, 0);
    side->insertChild(shift, 0);
    root->addChild(side);
    return root;
  };
  SoSeparator* clear = build(false);
  SoSeparator* foggy = build(true);
  const Image a = render(clear);
  const Image b = render(foggy);
  dump(b, "fog");
  EXPECT_NEAR(a.at(128, 128, 1), 200.0, 3.0);
  // Green fog lifts green and lowers red.
  EXPECT_LT(b.at(128, 128, 0), 190.0f);
  EXPECT_GT(b.at(128, 128, 1), b.at(128, 128, 0) + 20.0f);
  // The volume's front is about as fogged as the opaque slab at its depth.
  EXPECT_NEAR(b.at(128, 128, 0), b.at(128, 250, 0), 12.0);
  clear->unref();
  foggy->unref();
}

TEST_F(VolumeRender, VolumeFollowsTheModelMatrix) {
  // A flat box turned a quarter about z and moved right: it stands upright,
  // one unit wide, centred at x = 1.
  SoSeparator* root = sceneWithOrthoCamera();
  auto* move = new SoTranslation;
  move->translation = SbVec3f(1, 0, 0);
  root->addChild(move);
  auto* turn = new SoRotation;
  turn->rotation = SbRotation(SbVec3f(0, 0, 1), float(M_PI / 2));
  root->addChild(turn);
  VolumeSpec spec;
  spec.size = SbBox3f(-1, -0.5f, -0.5f, 1, 0.5f, 0.5f);
  root->addChild(volume(spec));
  const Image img = render(root);
  dump(img, "moved");
  // x in [0.5, 1.5] is pixels 160..223, y in [-1, 1] is pixels 64..191.
  for (int y = 0; y < H; y += 3)
    for (int x = 0; x < W; x += 3) {
      const bool inside = x >= 160 && x < 224 && y >= 64 && y < 192;
      const bool clearly = x > 162 && x < 221 && y > 66 && y < 189;
      if (clearly) {
        EXPECT_GT(img.grey(x, y), 150.0f) << x << "," << y;
      } else if (!inside) {
        EXPECT_LT(img.grey(x, y), 1.0f) << x << "," << y;
      }
    }
  root->unref();
}

TEST_F(VolumeRender, SparseDataShowsEveryOccupiedVoxelToTheBoxEdge) {
  // Only the x = 19 slab (the box's right face) and the corner voxel
  // (0, 0, *) hold data; seen from +z they cover pixels 185..191 across, and
  // 64..70 at the lower left.
  std::vector<uint8_t> voxels(8000, 0);
  for (int z = 0; z < 20; ++z)
    for (int y = 0; y < 20; ++y) voxels[size_t(19 + y * 20 + z * 400)] = 255;
  for (int z = 0; z < 20; ++z) voxels[size_t(z * 400)] = 255;
  VolumeSpec spec;
  spec.voxels = &voxels;
  spec.control = SoVolumeRender::ALL;
  SoSeparator* root = sceneWithOrthoCamera();
  root->addChild(volume(spec));
  const Image img = render(root);
  dump(img, "sparse");
  for (int y = 70; y < 186; y += 5) {
    EXPECT_GT(img.grey(189, y), 200.0f) << y;  // inside the right slab
    EXPECT_LT(img.grey(150, y), 1.0f) << y;    // empty middle
  }
  EXPECT_GT(img.grey(66, 66), 200.0f);  // the corner column
  EXPECT_LT(img.grey(66, 80), 1.0f);
  root->unref();
}

TEST_F(VolumeRender, MaximumAndSumCompositionIgnoreDrawingOrder) {
  // Two grey blocks, 100 in front and 200 behind, seen from both sides.
  for (int comp : {int(SoVolumeRender::MAX_INTENSITY), int(SoVolumeRender::SUM_INTENSITY)}) {
    float centre[2];
    for (bool fromBehind : {false, true}) {
      SoSeparator* root = sceneWithOrthoCamera(fromBehind);
      VolumeSpec a, b;
      a.value = 100;
      a.translation = SbVec3f(0, 0, 2);
      b.value = 200;
      b.translation = SbVec3f(0, 0, -2);
      for (const VolumeSpec* spec : {&a, &b}) {
        SoSeparator* v = volume(*spec);
        static_cast<SoVolumeRender*>(v->getChild(3))->composition = comp;
        root->addChild(v);
      }
      centre[fromBehind] = render(root).grey(128, 128);
      root->unref();
    }
    if (comp == SoVolumeRender::MAX_INTENSITY) {
      EXPECT_NEAR(centre[0], 200.0f, 1.5f);
    } else {
      EXPECT_GT(centre[0], 254.0f);  // opacity-weighted sum of both saturates
    }
    EXPECT_NEAR(centre[0], centre[1], 1.5f);
  }
}

TEST_F(VolumeRender, GridOfCloudsDrawsEveryCloudSoftly) {
  // Nine cloud-like volumes in a turned grid seen from above and aside, as
  // the sky has them: soft grey blobs (grey level = opacity) over the sky.
  const std::vector<uint8_t> ball = softBall(20, 140.0);
  SoSeparator* root = perspectiveScene(SbVec3f(0.0f, 9.0f, 12.0f));
  auto* env = new SoEnvironment;
  env->fogType = SoEnvironment::HAZE;
  env->fogColor = SbColor(0.5f, 0.6f, 0.8f);
  env->fogVisibility = 40.0f;
  root->addChild(env);
  auto* turn = new SoRotation;
  turn->rotation.setValue(0.0f, -0.3f, 0.0f, 1.5707963f);
  root->addChild(turn);
  for (int i = 0; i < 9; ++i) {
    VolumeSpec spec;
    spec.voxels = &ball;
    spec.translation = SbVec3f(float(i % 3 - 1) * 2.5f, 0.0f, float(i / 3 - 1) * 2.5f);
    root->addChild(volume(spec));
  }
  const SbColor sky(0.5f, 0.6f, 0.8f);
  const Image img = render(root, Target::BackBuffer, sky);
  dump(img, "cloud_grid");
  // Clouds grey the sky where they are and leave it alone elsewhere.
  EXPECT_NEAR(img.at(2, 2, 2), 0.8f * 255.0f, 1.0f);
  int clouded = 0;
  float darkest = 255.0f;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      clouded += std::fabs(img.at(x, y, 2) - 0.8f * 255.0f) > 10.0f;
      darkest = std::min(darkest, img.at(x, y, 2));
    }
  EXPECT_GT(clouded, W * H / 20);
  EXPECT_LT(clouded, W * H / 2);
  // Soft: even the densest core lets some sky through.
  EXPECT_GT(darkest, 40.0f);
  root->unref();
}

// Also run by CTest cases on GLs without framebuffer objects or blits.
TEST_F(VolumeRender, CloudGridOverSeveralFramesKeepsItsLookWhenReduced) {
  // The scene's 6 x 6 grid seen from outside, as bench_volume has it. An
  // unchanged view gives the same picture in every frame, the first one
  // too, and it stays close to the reference drawing.
  const std::vector<uint8_t> ball = softBall(20, 140.0);
  SoSeparator* root = perspectiveScene(SbVec3f(12.0f, 2.0f, 14.0f), 0.1f);
  static_cast<SoPerspectiveCamera*>(root->getChild(0))->pointAt(SbVec3f(4, 0, 4), SbVec3f(0, 1, 0));
  auto* env = new SoEnvironment;
  env->fogType = SoEnvironment::HAZE;
  env->fogColor = SbColor(0.5f, 0.6f, 0.8f);
  env->fogVisibility = 40.0f;
  root->addChild(env);
  for (int i = 0; i < 36; ++i) {
    VolumeSpec spec;
    spec.voxels = &ball;
    spec.translation = SbVec3f(1.5f * float(i / 6), 0.0f, 1.5f * float(i % 6));
    root->addChild(volume(spec));
  }
  const SbColor sky(0.5f, 0.6f, 0.8f);
  Image reference;
  {
    const QualityFor full(SoVolumeRender::REFERENCE);
    reference = render(root, Target::BackBuffer, sky);
  }
  int clouded = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) clouded += std::fabs(reference.at(x, y, 2) - 0.8f * 255.0f) > 10.0f;
  EXPECT_GT(clouded, W * H / 10);
  Image frames[4];
  renewRenderContext();  // a first frame in this context
  {
    const Stages stages;
    for (Image& img : frames) img = render(root, Target::BackBuffer, sky);
    EXPECT_EQ(stages.reduced(), reductionExpected());
  }
  dump(frames[0], "cloud_grid_every");
  double worst = 0.0, sum = 0.0;
  for (size_t k = 0; k < reference.rgb.size(); ++k) {
    const double d = std::fabs(frames[0].rgb[k] - reference.rgb[k]);
    worst = std::max(worst, d);
    sum += d;
    ASSERT_EQ(frames[1].rgb[k], frames[0].rgb[k]) << k;
    ASSERT_EQ(frames[3].rgb[k], frames[0].rgb[k]) << k;
  }
  // Measured: 0.62 and 16 reduced to a third (0.55 and 17 without fragment
  // programs); a picture composited one reduced pixel aside gives 1.25 and
  // 40, and so did slices drawn over 258 pixels of this 256-pixel view.
  EXPECT_LT(sum / double(reference.rgb.size()), 0.9);
  EXPECT_LT(worst, 30.0);
  // The camera stays, an opaque slab comes between it and the grid's middle:
  // a reduced picture kept from the frames before must not show over it,
  // not on the frame that brings the slab nor on the next one; without the
  // slab the grid is back as it was.
  SoSeparator* slab = opaqueSlab(SbColor(1, 0, 0), 9.0f);
  auto* lm = new SoLightModel;
  lm->model = SoLightModel::BASE_COLOR;
  slab->insertChild(lm, 0);
  auto* across = new SoTranslation;
  across->translation = SbVec3f(8.0f, 1.0f, 0.0f);
  slab->insertChild(across, 1);
  SoSeparator* slabOnly = perspectiveScene(SbVec3f(12.0f, 2.0f, 14.0f), 0.1f);
  static_cast<SoPerspectiveCamera*>(slabOnly->getChild(0))
      ->pointAt(SbVec3f(4, 0, 4), SbVec3f(0, 1, 0));
  slabOnly->addChild(env);
  slabOnly->addChild(slab);
  const Image alone = render(slabOnly, Target::BackBuffer, sky);
  root->addChild(slab);
  int hidden = 0;
  for (int frame = 0; frame < 2; ++frame) {
    const Image img = render(root, Target::BackBuffer, sky);
    for (int y = H / 2 - 6; y <= H / 2 + 6; ++y)
      for (int x = W / 2 - 6; x <= W / 2 + 6; ++x) {
        hidden += frame == 0 && std::fabs(frames[1].at(x, y, 2) - 0.8f * 255.0f) > 10.0f;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(img.at(x, y, c), alone.at(x, y, c)) << x << "," << y;
      }
  }
  EXPECT_GT(hidden, 0);  // clouds were there before the slab
  root->removeChild(slab);
  const Image again = render(root, Target::BackBuffer, sky);
  for (size_t k = 0; k < again.rgb.size(); ++k) EXPECT_EQ(again.rgb[k], frames[1].rgb[k]) << k;
  slabOnly->unref();
  root->unref();
}

TEST_F(VolumeRender, HeavyFillAtReducedSizeLooksLikeFullSizeAndKeepsOpaqueEdges) {
  // A soft volume filling the view from close by: its slices cover the
  // window twenty times, which the renderer draws at a third of the size
  // when it chooses the slices. Drawn with as many slices asked for
  // explicitly, it goes at full size; both must agree, and an opaque slab in
  // front of the left half must stay sharp and untouched either way.
  const std::vector<uint8_t> ball = softBall(20, 140.0);
  Image images[2];
  for (int i = 0; i < 2; ++i) {
    SoSeparator* root = perspectiveScene(SbVec3f(0.0f, 0.0f, 5.0f));
    auto* lm = new SoLightModel;
    lm->model = SoLightModel::BASE_COLOR;
    root->addChild(lm);
    VolumeSpec spec;
    spec.voxels = &ball;
    spec.size = SbBox3f(-2, -2, -2, 2, 2, 2);
    spec.control = i == 0 ? SoVolumeRender::AUTOMATIC : SoVolumeRender::MANUAL;
    spec.slices = 20;
    root->addChild(volume(spec));
    SoSeparator* slab = opaqueSlab(SbColor(1, 0, 0), 3.0f);
    auto* left = new SoTranslation;
    left->translation = SbVec3f(-1.5f, 0.0f, 0.0f);
    slab->insertChild(left, 0);
    root->addChild(slab);
    const Stages stages;
    images[i] = render(root, Target::BackBuffer, SbColor(0.2f, 0.3f, 0.5f));
    EXPECT_EQ(stages.reduced(), i == 0);
    root->unref();
  }
  dump(images[0], "heavy_half");
  dump(images[1], "heavy_full");
  // The slab's right edge is at x = 0, the middle of the window.
  for (int y = 20; y < H - 20; y += 7)
    for (int x = 4; x < W / 2 - 4; x += 7)
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(images[0].at(x, y, c), c == 0 ? 255.0 : 0.0, 0.5) << x << "," << y;
  // The cloud greys the background in the middle of its right half.
  EXPECT_GT(std::fabs(images[1].at(192, 128, 2) - 0.5f * 255.0f), 10.0f);
  double sum = 0.0, worst = 0.0;
  int counted = 0;
  for (int y = 0; y < H; ++y)
    for (int x = W / 2 + 3; x < W; ++x)
      for (int c = 0; c < 3; ++c) {
        const double d = std::fabs(images[0].at(x, y, c) - images[1].at(x, y, c));
        sum += d;
        worst = std::max(worst, d);
        ++counted;
      }
  // Measured: 0.56 and 4 at a third of the size, from its blur; a picture
  // composited one reduced pixel aside gives 1.17 and 10, and slices drawn
  // over 258 pixels of this 256-pixel view gave 1.08 and 9.
  EXPECT_LT(sum / counted, 0.9);
  EXPECT_LT(worst, 8.0);
}

TEST_F(VolumeRender, ThinOpaqueGeometryInFrontOfAReducedCloudKeepsTheReferenceLookAtItsEdges) {
  // A soft cloud filling the view, drawn reduced, and before it a thin bar,
  // a wingtip's width, whose edges lie inside reduced pixels: the cloud
  // must come right up to the bar on both sides, no clear halo around it
  // and no cloud over it, as in the reference drawing.
  const std::vector<uint8_t> ball = softBall(20, 140.0);
  SoSeparator* root = perspectiveScene(SbVec3f(0.0f, 0.0f, 5.0f));
  auto* lm = new SoLightModel;
  lm->model = SoLightModel::BASE_COLOR;
  root->addChild(lm);
  VolumeSpec spec;
  spec.voxels = &ball;
  spec.size = SbBox3f(-2, -2, -2, 2, 2, 2);
  root->addChild(volume(spec));
  SoSeparator* bar = opaqueSlab(SbColor(1, 0, 0), 3.0f);
  auto* cube = static_cast<SoCube*>(bar->getChild(2));
  cube->width = 0.023f;  // about 3.5 pixels
  auto* aside = new SoTranslation;
  aside->translation = SbVec3f(0.0137f, 0.0f, 0.0f);
  bar->insertChild(aside, 0);
  root->addChild(bar);
  const SbColor sky(0.2f, 0.3f, 0.5f);
  Image reference, image;
  {
    const QualityFor full(SoVolumeRender::REFERENCE);
    reference = render(root, Target::BackBuffer, sky);
  }
  {
    const Stages stages;
    image = render(root, Target::BackBuffer, sky);
    EXPECT_TRUE(stages.reduced());
    EXPECT_TRUE(stages.edgesSliced());
  }
  dump(reference, "bar_reference");
  dump(image, "bar_reduced");
  root->unref();
  // Along the bar, from 12 pixels left of it to 12 right, away from the
  // bar's ends; the bar's own pixels are pure red in both.
  int barPixels = 0;
  double worst = 0.0;
  for (int y = 40; y < H - 40; ++y)
    for (int x = W / 2 - 14; x < W / 2 + 16; ++x) {
      barPixels += reference.at(x, y, 0) > 254.0f && reference.at(x, y, 2) < 1.0f;
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, double(std::fabs(image.at(x, y, c) - reference.at(x, y, c))));
    }
  EXPECT_GT(barPixels, 3 * (H - 80));
  // Measured: 5 (4 without fragment programs); a reduced pixel whose depth
  // is one of its block's gave 131.
  EXPECT_LT(worst, 8.0);
}

TEST_F(VolumeRender, GlStateIsHandedBackForLaterGeometry) {
  SoSeparator* root = sceneWithOrthoCamera();
  root->addChild(volume(VolumeSpec{}));
  render(root, Target::BackBuffer);
  // The renderer hands GL back as it found it.
  GLboolean depthMask = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
  EXPECT_EQ(depthMask, GL_TRUE);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_3D));
  GLint bound = -1;
  glGetIntegerv(GL_TEXTURE_BINDING_3D, &bound);
  EXPECT_EQ(bound, 0);

  // An opaque slab drawn in the next frame is its plain colour.
  SoSeparator* plain = sceneWithOrthoCamera();
  plain->addChild(opaqueSlab(SbColor(0, 0, 1), 0.0f));
  const Image img = render(plain, Target::BackBuffer);
  EXPECT_NEAR(img.at(128, 128, 2), 255.0, 0.5);
  EXPECT_NEAR(img.at(128, 128, 0), 0.0, 0.5);

  root->unref();
  plain->unref();
}

TEST_F(VolumeRender, ChangedDataOrColourMapIsUploadedAgain) {
  // Changing the data in place and setting it again shows the new values.
  SoSeparator* again = sceneWithOrthoCamera();
  VolumeSpec spec;
  std::vector<uint8_t>& bytes = keepVoxels(std::vector<uint8_t>(8000, 200));
  spec.voxels = nullptr;
  auto* sep = volume(spec);
  auto* data = static_cast<SoVolumeData*>(sep->getChild(1));
  data->setVolumeData(SbVec3s(20, 20, 20), bytes.data());
  again->addChild(sep);
  EXPECT_NEAR(render(again).at(128, 128, 0), 200.0, 3.0);
  std::fill(bytes.begin(), bytes.end(), uint8_t(255));
  data->setVolumeData(SbVec3s(20, 20, 20), bytes.data());
  EXPECT_NEAR(render(again).at(128, 128, 0), 255.0, 3.0);
  // So does another colour map: value 255 is red in BLUE_RED.
  static_cast<SoTransferFunction*>(sep->getChild(2))->predefColorMap = SoTransferFunction::BLUE_RED;
  const Image recoloured = render(again);
  EXPECT_NEAR(recoloured.at(128, 128, 0), 255.0, 3.0);
  EXPECT_NEAR(recoloured.at(128, 128, 2), 0.0, 3.0);
  again->unref();
}

SoGLRenderAction::AbortCode abortAfterVolume(void* closure) {
  // Coin asks before each node: stop once the volume has been reached.
  int& calls = *static_cast<int*>(closure);
  return ++calls > 8 ? SoGLRenderAction::ABORT : SoGLRenderAction::CONTINUE;
}

TEST_F(VolumeRender, AnAbortedFrameLeavesNothingBehindForTheNext) {
  VolumeSpec thin;
  thin.value = 40;
  SoSeparator* root = sceneWithOrthoCamera();
  root->addChild(volume(thin));
  root->addChild(new SoSeparator);
  root->addChild(new SoSeparator);
  const float clean = render(root).at(128, 128, 0);

  int calls = 0;
  unsigned err = 0;
  renderScene(root, Target::FloatBuffer, &err, SbColor(0, 0, 0),
              [&](SoGLRenderAction* a) { a->setAbortCallback(abortAfterVolume, &calls); });
  EXPECT_GT(calls, 8);  // stopped after the volume had been seen, before its delayed pass
  // The next frame draws the volume once, not again with the aborted one.
  EXPECT_NEAR(render(root).at(128, 128, 0), clean, 0.5f);
  EXPECT_NEAR(clean, 40.0 * gathered(40.0 / 255.0, 20.0), 3.0);
  root->unref();
}

TEST_F(VolumeRender, AContextsEndFreesItsTexturesAndTheNextContextStartsAfresh) {
  // A soft volume filling the view: its 3-D texture, and from the second
  // frame the reduced target's.
  const std::vector<uint8_t> ball = softBall(20, 140.0);
  SoSeparator* root = perspectiveScene(SbVec3f(0.0f, 0.0f, 5.0f));
  VolumeSpec spec;
  spec.voxels = &ball;
  spec.size = SbBox3f(-2, -2, -2, 2, 2, 2);
  root->addChild(volume(spec));
  auto textures = [] {
    int n = 0;
    for (GLuint name = 1; name < 4096; ++name) n += glIsTexture(name);
    return n;
  };
  const Image first = render(root, Target::BackBuffer);
  render(root, Target::BackBuffer);
  EXPECT_GT(textures(), 0);
  renewRenderContext();
  EXPECT_EQ(textures(), 0);
  // Nothing of the old context is taken for the new one's.
  const Image again = render(root, Target::BackBuffer);
  EXPECT_GT(first.grey(128, 128), 10.0f);
  for (size_t k = 0; k < first.rgb.size(); ++k) ASSERT_EQ(again.rgb[k], first.rgb[k]) << k;
  root->unref();
}

// Run by its own CTest case on a GL that hides 3-D textures. The warning
// goes through Coin's debug-error handler, so that an application can route it.
TEST_F(VolumeRender, WithoutThreeDTexturesWarnsOnceAndDrawsNothing) {
  if (cc_glglue_has_3d_textures(cc_glglue_instance(int(renderCacheContext()))))
    GTEST_SKIP() << "this GL has 3-D textures";
  SoSeparator* root = sceneWithOrthoCamera();
  root->addChild(volume(VolumeSpec{}));
  struct Posted {
    std::vector<std::string> ours;
    std::vector<SoDebugError::Severity> severity;
  } posted;
  SoErrorCB* const previous = SoDebugError::getHandlerCallback();
  void* const previousData = SoDebugError::getHandlerData();
  SoDebugError::setHandlerCallback(
      [](const SoError* error, void* data) {
        const std::string text = error->getDebugString().getString();
        if (text.find("SoVolumeRender") == std::string::npos) return;
        auto* to = static_cast<Posted*>(data);
        to->ours.push_back(text);
        to->severity.push_back(static_cast<const SoDebugError*>(error)->getSeverity());
      },
      &posted);
  const Image first = render(root, Target::BackBuffer);
  const Image second = render(root, Target::BackBuffer);
  SoDebugError::setHandlerCallback(previous, previousData);
  EXPECT_LT(first.grey(128, 128), 1.0f);
  EXPECT_LT(second.grey(128, 128), 1.0f);
  ASSERT_EQ(posted.ours.size(), 1u) << (posted.ours.empty() ? "" : posted.ours[1]);
  EXPECT_NE(posted.ours[0].find("this OpenGL has no 3-D textures; volumes are not drawn"),
            std::string::npos)
      << posted.ours[0];
  EXPECT_EQ(posted.severity[0], SoDebugError::WARNING);
  root->unref();
}

}  // namespace
