// The cloud grid alone in a hidden 1024x768 window, seen from outside the
// grid and from inside it: frame time with the renderer's own slice choice
// (one slice per voxel, reduced resolution for heavy fill) against a fixed
// two slices per voxel at full resolution with per-sample correction, and
// against an empty frame, and the time of each of the renderer's stages in
// the chosen frame (each waits for GL, which slows the frame a little).
// Prints one table; bench/run copies it.

#include "app/Scene.h"
#include "app/SceneWindow.h"
#include "volume/SoVolumeRender.h"
#include "volume/SoVolumeRendering.h"
#include "window/Window.h"

#include <GL/gl.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoDirectionalLight.h>
#include <Inventor/nodes/SoEnvironment.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// With `stages`, the median of each of the renderer's four stages instead
// (setStageTimer), in ms.
double medianFrameMs(win::RenderArea& area, int frames, double* stages = nullptr) {
  std::vector<double> ms, stage[4];
  area.render();  // uploads and shader compiles stay out of the figures
  glFinish();
  area.render();
  glFinish();
  double seconds[4];
  if (stages) SoVolumeRender::setStageTimer(seconds);
  for (int i = 0; i < frames; ++i) {
    std::fill(seconds, seconds + 4, 0.0);
    const auto t0 = std::chrono::steady_clock::now();
    area.render();
    glFinish();
    ms.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    for (int k = 0; k < 4; ++k) stage[k].push_back(seconds[k] * 1000.0);
  }
  SoVolumeRender::setStageTimer(nullptr);
  for (int k = 0; stages && k < 4; ++k) stages[k] = median(stage[k]);
  return median(ms);
}

void setSlices(SoNode* root, int control, int count) {
  SoSearchAction search;
  search.setType(SoVolumeRender::getClassTypeId());
  search.setInterest(SoSearchAction::ALL);
  search.apply(root);
  const SoPathList& paths = search.getPaths();
  for (int i = 0; i < paths.getLength(); ++i) {
    auto* vr = static_cast<SoVolumeRender*>(paths[i]->getTail());
    vr->numSlicesControl = control;
    vr->numSlices = count;
  }
}

}  // namespace

int main() {
  win::InitOptions init;
  init.visibility = win::Visibility::Hidden;
  win::TopLevel* top = openTopLevel("bench_volume", init);
  if (!top) return 1;
  SoVolumeRendering::init();

  auto* root = new SoSeparator;
  root->ref();
  SoPerspectiveCamera* camera = buildCamera();
  root->addChild(camera);
  auto* env = new SoEnvironment;
  env->fogType = SoEnvironment::SMOKE;
  root->addChild(env);
  auto* clouds = new SoSeparator;
  clouds->ref();  // swapped in and out below
  root->addChild(clouds);
  SceneRandom random;  // the start-up seeds on the scene's grid
  addCloudGrid(clouds, random);

  win::RenderArea* area = showScene(top, root);
  area->setSize(1024, 768);

  struct View {
    const char* name;
    SbVec3f position;
  } views[] = {{"outside the grid", SbVec3f(12.0f, 2.0f, 14.0f)},
               {"inside the grid", SbVec3f(2.2f, 0.3f, 3.0f)}};
  std::printf("%-18s %12s %12s %12s   %s\n", "view", "empty ms", "fixed ms", "chosen ms",
              "chosen's stages: depth, slicing, compositing, edges ms");
  for (const View& v : views) {
    camera->position = v.position;
    camera->pointAt(SbVec3f(4.0f, 0.0f, 4.0f), SbVec3f(0, 1, 0));
    root->replaceChild(2, new SoSeparator);
    const double empty = medianFrameMs(*area, 15);
    root->replaceChild(2, clouds);
    setSlices(clouds, SoVolumeRender::MANUAL, 40);
    const double fixed = medianFrameMs(*area, 15);
    setSlices(clouds, SoVolumeRender::AUTOMATIC, 64);
    const double chosen = medianFrameMs(*area, 15);
    double stages[4];
    medianFrameMs(*area, 15, stages);
    std::printf("%-18s %12.1f %12.1f %12.1f   %.2f, %.2f, %.2f, %.2f\n", v.name, empty, fixed,
                chosen, stages[0], stages[1], stages[2], stages[3]);
  }
  std::fflush(stdout);
  delete area;
  root->unref();
  clouds->unref();
  return 0;
}
