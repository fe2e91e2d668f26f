// Whole-scene measurements for bench/run: start-up to the first finished
// frame, frame times over a scripted flight, and the paced loop with a
// window that is hidden part of the time. Prints "key value" lines.
//
//   bench_scene startup [--bare] [--size WxH] [--data DIR]
//   bench_scene frames  [--no-clouds | --compare | --stages] [--size WxH] [--data DIR] [--every N]
//                       [--cloud-quality every-frame|reference]
//
// --compare also draws the last view ten times more at rest, with and
// without the clouds.
// --stages times the clouds' own stages (the frame's depth scaled down,
// slicing, compositing the reduced picture, slicing its edge tiles at full
// resolution) with GL finished between them, which slows the frame a
// little, and then the same frame drawn again with the camera still.
//   bench_scene pacing  [--data DIR]

#include "aircraft/Plane.h"
#include "aircraft/PlaneList.h"
#include "app/Scene.h"
#include "app/SceneWindow.h"
#include "state/Globals.h"
#include "state/KeyTable.h"
#include "volume/SoVolumeData.h"
#include "volume/SoVolumeRender.h"
#include "volume/SoVolumeRendering.h"
#include "window/Window.h"

#include <GL/gl.h>
#include <Inventor/SoDB.h>
#include <Inventor/events/SoKeyboardEvent.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/sensors/SoAlarmSensor.h>
#include <Inventor/sensors/SoOneShotSensor.h>
#include <Inventor/sensors/SoSensorManager.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

long peakRssKb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

struct Args {
  std::string mode;
  bool bare = false;
  bool noClouds = false;
  bool compare = false;
  bool stages = false;
  int width = 1024;
  int height = 768;
  int every = 4;
  int quality = -1;  // an SoVolumeRender::Quality; -1: the default
  std::string data = ".";
};

bool parse(int argc, char** argv, Args& a) {
  if (argc < 2) return false;
  a.mode = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string s = argv[i];
    if (s == "--bare") {
      a.bare = true;
    } else if (s == "--no-clouds") {
      a.noClouds = true;
    } else if (s == "--compare") {
      a.compare = true;
    } else if (s == "--stages") {
      a.stages = true;
    } else if (s == "--size" && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%dx%d", &a.width, &a.height) != 2) return false;
    } else if (s == "--every" && i + 1 < argc) {
      a.every = std::max(1, std::atoi(argv[++i]));
    } else if (s == "--data" && i + 1 < argc) {
      a.data = argv[++i];
    } else if (s == "--cloud-quality" && i + 1 < argc) {
      const std::string q = argv[++i];
      a.quality = q == "reference" ? 0 : q == "every-frame" ? 1 : -2;
      if (a.quality == -2) return false;
    } else {
      return false;
    }
  }
  return a.mode == "startup" || a.mode == "frames" || a.mode == "pacing";
}

// Cloud-building hook: when each cloud of the grid starts.
std::vector<Clock::time_point> cloudStarts;
void onCloud(int, int32_t, float, float, float) { cloudStarts.push_back(Clock::now()); }

// Every cloud is a separator whose first child is its volume data. Returns
// them, still referenced, with their positions, for putting back.
struct Removed {
  int index;
  SoNode* node;
};
std::vector<Removed> removeClouds(SoSeparator* root) {
  std::vector<Removed> removed;
  for (int i = root->getNumChildren() - 1; i >= 0; --i) {
    auto* sep = dynamic_cast<SoSeparator*>(root->getChild(i));
    if (sep && sep->getNumChildren() > 0 &&
        sep->getChild(0)->isOfType(SoVolumeData::getClassTypeId())) {
      sep->ref();
      removed.push_back({i, sep});
      root->removeChild(i);
    }
  }
  return removed;
}

void restoreClouds(SoSeparator* root, std::vector<Removed>& removed) {
  for (auto it = removed.rbegin(); it != removed.rend(); ++it) {
    root->insertChild(it->node, it->index);
    it->node->unref();
  }
  removed.clear();
}

struct Stats {
  double median, p95;
};
Stats stats(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v[std::min(v.size() - 1, size_t(double(v.size()) * 0.95))]};
}

void finishFrame(win::RenderArea& area) {
  area.render();
  glFinish();
}

// The flight of the "turn" snapshot: full throttle from the start into the
// cloud grid, a short left bank at 440..450, one tick per 1/60 s.
constexpr int kTicks = 540;
bool keyHeld(int key, int tick) {
  if (key == KEY_W) return tick >= 1;
  if (key == KEY_LEFT) return tick >= 440 && tick <= 450;
  return false;
}

void feedKeys(win::RenderArea& area, int tick) {
  for (int k : {int(KEY_W), int(KEY_LEFT)}) {
    const bool want = keyHeld(k, tick);
    if (bool(KeyTable[k].pressed) == want) continue;
    sendKey(area, static_cast<KeyIndex>(k), want);
  }
}

int startup(const Args& a, Clock::time_point t0) {
  win::InitOptions init;
  init.visibility = win::Visibility::Hidden;
  init.width = a.width;
  init.height = a.height;
  win::TopLevel* top = openTopLevel("flightscene", init);
  if (!top) return 1;
  const double tWindow = secondsSince(t0);
  SoVolumeRendering::init();
  SoSeparator* root = nullptr;
  double tSky = 0, tClouds = 0, tModels = 0;
  const double tInit = secondsSince(t0);
  if (a.bare) {
    root = new SoSeparator;
    root->ref();
    root->addChild(new SoPerspectiveCamera);
  } else {
    const auto b0 = Clock::now();
    root = buildScene(onCloud);
    const double build = secondsSince(b0);
    tSky = std::chrono::duration<double>(cloudStarts.front() - b0).count();
    // The hook fires before each cloud; the last one is taken as the mean.
    const double first35 =
        std::chrono::duration<double>(cloudStarts.back() - cloudStarts.front()).count();
    tClouds = first35 * double(cloudStarts.size()) / double(cloudStarts.size() - 1);
    tModels = build - tSky - tClouds;
    if (a.noClouds) removeClouds(root);
  }
  win::RenderArea* area = showScene(top, root);
  const auto f0 = Clock::now();
  finishFrame(*area);
  const double tFirst = secondsSince(f0);
  const double total = secondsSince(t0);
  const auto s0 = Clock::now();
  finishFrame(*area);
  const double tSecond = secondsSince(s0);
  std::printf(
      "window_s %.4f\nvolume_init_s %.4f\nsky_s %.4f\nclouds_s %.4f\nmodels_s %.4f\n"
      "first_frame_s %.4f\nsecond_frame_s %.4f\nto_first_frame_s %.4f\npeak_rss_kb %ld\n",
      tWindow, tInit - tWindow, tSky, tClouds, tModels, tFirst, tSecond, total, peakRssKb());
  std::printf("gl_renderer %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  std::fflush(stdout);
  // Tear-down is not part of start-up.
  _exit(0);
}

int frames(const Args& a) {
  win::InitOptions init;
  init.visibility = win::Visibility::Hidden;
  init.width = a.width;
  init.height = a.height;
  win::TopLevel* top = openTopLevel("flightscene", init);
  if (!top) return 1;
  SoVolumeRendering::init();
  if (a.quality >= 0) SoVolumeRender::setQuality(static_cast<SoVolumeRender::Quality>(a.quality));
  const auto l0 = Clock::now();
  SoSeparator* root = buildScene();
  const double load = secondsSince(l0);
  tickSensor->unschedule();  // this flight runs on its own clock
  if (a.noClouds) removeClouds(root);
  win::RenderArea* area = showScene(top, root);
  area->setSize(a.width, a.height);
  finishFrame(*area);  // uploads happen here, not in the flight

  // Each frame is drawn with the clouds and, right after, without them, so
  // that both see the same load on a shared machine.
  std::vector<double> ms, bare, depth, slicing, compositing, edges, clouds;
  double stage[4] = {0.0, 0.0, 0.0, 0.0};
  if (a.stages) SoVolumeRender::setStageTimer(stage);
  double updateS = 0;
  for (int tick = 1; tick <= kTicks; ++tick) {
    feedKeys(*area, tick);
    const auto u0 = Clock::now();
    fleet.update(SbTime(1.0 / 60.0));
    updateS += secondsSince(u0);
    if (tick % a.every != 0) continue;
    SoDB::getSensorManager()->processDelayQueue(TRUE);
    std::fill(stage, stage + 4, 0.0);
    const auto r0 = Clock::now();
    finishFrame(*area);
    ms.push_back(secondsSince(r0) * 1000.0);
    depth.push_back(stage[0] * 1000.0);
    slicing.push_back(stage[1] * 1000.0);
    compositing.push_back(stage[2] * 1000.0);
    edges.push_back(stage[3] * 1000.0);
    clouds.push_back((stage[0] + stage[1] + stage[2] + stage[3]) * 1000.0);
    if (!a.compare) continue;
    std::vector<Removed> clouds = removeClouds(root);
    SoDB::getSensorManager()->processDelayQueue(TRUE);
    const auto b0 = Clock::now();
    finishFrame(*area);
    bare.push_back(secondsSince(b0) * 1000.0);
    restoreClouds(root, clouds);
  }
  // At rest: the last view drawn again, with and without the clouds.
  std::vector<double> rest, restBare;
  for (int i = 0; a.compare && i < 10; ++i) {
    const auto r0 = Clock::now();
    finishFrame(*area);
    rest.push_back(secondsSince(r0) * 1000.0);
    std::vector<Removed> clouds = removeClouds(root);
    SoDB::getSensorManager()->processDelayQueue(TRUE);
    const auto b0 = Clock::now();
    finishFrame(*area);
    restBare.push_back(secondsSince(b0) * 1000.0);
    restoreClouds(root, clouds);
    SoDB::getSensorManager()->processDelayQueue(TRUE);
  }
  // Then the camera stops and the same frame is drawn again, as when only
  // the pilot overlay changes: the clouds' reduced picture is kept.
  std::vector<double> still, stillSlicing;
  for (int i = 0; a.stages && i < 20; ++i) {
    std::fill(stage, stage + 4, 0.0);
    const auto r0 = Clock::now();
    finishFrame(*area);
    still.push_back(secondsSince(r0) * 1000.0);
    stillSlicing.push_back(stage[0] * 1000.0);
  }
  if (std::getenv("FS_BENCH_LIST"))
    for (size_t i = 0; i < ms.size(); ++i)
      std::fprintf(stderr, "frame %zu %.1f ms%s\n", i, ms[i],
                   a.compare ? (" / " + std::to_string(bare[i])).c_str() : "");
  const Stats full = stats(ms);
  std::printf(
      "load_s %.4f\nframes %zu\nmedian_ms %.2f\np95_ms %.2f\nfps %.1f\n"
      "update_ms_per_tick %.4f\npeak_rss_kb %ld\n",
      load, ms.size(), full.median, full.p95, 1000.0 / full.median, updateS * 1000.0 / kTicks,
      peakRssKb());
  if (a.compare) {
    const Stats b = stats(bare);
    std::vector<double> ratios;
    for (size_t i = 0; i < ms.size(); ++i) ratios.push_back(ms[i] / bare[i]);
    std::printf("bare_median_ms %.2f\nbare_p95_ms %.2f\nratio_median %.2f\n", b.median, b.p95,
                stats(ratios).median);
    std::vector<double> restRatios;
    for (size_t i = 0; i < rest.size(); ++i) restRatios.push_back(rest[i] / restBare[i]);
    std::printf("rest_median_ms %.2f\nrest_bare_median_ms %.2f\nrest_ratio_median %.2f\n",
                stats(rest).median, stats(restBare).median, stats(restRatios).median);
  }
  if (a.stages) {
    const struct {
      const char* name;
      const std::vector<double>& ms;
    } named[] = {{"depth", depth},
                 {"slicing", slicing},
                 {"compositing", compositing},
                 {"edges", edges},
                 {"clouds", clouds}};
    for (const auto& n : named)
      std::printf("%s_median_ms %.2f\n%s_p95_ms %.2f\n", n.name, stats(n.ms).median, n.name,
                  stats(n.ms).p95);
  }
  if (a.stages)
    std::printf("still_median_ms %.2f\nstill_slicing_median_ms %.2f\n", stats(still).median,
                stats(stillSlicing).median);
  std::fflush(stdout);
  _exit(0);
}

// The real loop at 60 Hz with a shown window: draws for 3 s, is unmapped
// for 3 s, is shown again for 3 s. Frames drawn and the aircraft's progress
// per phase show that drawing stops while the flight goes on.
struct Pacing {
  win::RenderArea* area = nullptr;
  win::TopLevel* top = nullptr;
  int phase = 0;
  uint64_t frames[4] = {};
  SbVec2f pos[4];  // the followed aircraft's horizontal position
  double cpu[4] = {};
  SoAlarmSensor* alarm = nullptr;
};

double cpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         1e-6 * double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
}

void mark(Pacing& p) {
  p.frames[p.phase] = p.area->frameCount();
  p.pos[p.phase] = fleet.current->plane->horizontalPosition();
  p.cpu[p.phase] = cpuSeconds();
}

void onPhase(void* data, SoSensor*) {
  Pacing& p = *static_cast<Pacing*>(data);
  ++p.phase;
  mark(p);
  if (p.phase == 1) win::hide(p.top);
  if (p.phase == 2) win::show(p.top);
  if (p.phase == 3) {
    win::exitMainLoop();
    return;
  }
  p.alarm->setTimeFromNow(SbTime(3.0));
  p.alarm->schedule();
}

int pacing() {
  win::TopLevel* top = openTopLevel("flightscene");
  if (!top) return 1;
  SoVolumeRendering::init();
  SoSeparator* root = buildScene();
  win::RenderArea* area = showScene(top, root);
  // Full throttle, as if W were held.
  sendKey(*area, KEY_W, true);

  Pacing p;
  p.area = area;
  p.top = top;
  mark(p);
  p.alarm = new SoAlarmSensor(onPhase, &p);
  p.alarm->setTimeFromNow(SbTime(3.0));
  p.alarm->schedule();
  win::mainLoop();
  const char* names[3] = {"shown", "hidden", "shown_again"};
  for (int i = 0; i < 3; ++i)
    std::printf("%s_frames %llu\n%s_travel %.3f\n%s_cpu_share %.3f\n", names[i],
                static_cast<unsigned long long>(p.frames[i + 1] - p.frames[i]), names[i],
                double((p.pos[i + 1] - p.pos[i]).length()), names[i],
                (p.cpu[i + 1] - p.cpu[i]) / 3.0);
  std::fflush(stdout);
  _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  const auto t0 = Clock::now();
  Args a;
  if (!parse(argc, argv, a)) {
    std::fprintf(stderr,
                 "usage: bench_scene startup|frames|pacing [--bare] [--no-clouds] "
                 "[--compare] [--stages] [--size WxH] [--every N] [--data DIR] "
                 "[--cloud-quality Q]\n");
    return 2;
  }
  if (chdir(a.data.c_str()) != 0) {
    std::fprintf(stderr, "bench_scene: cannot enter %s\n", a.data.c_str());
    return 1;
  }
  if (a.mode == "startup") return startup(a, t0);
  if (a.mode == "frames") return frames(a);
  return pacing();
}
