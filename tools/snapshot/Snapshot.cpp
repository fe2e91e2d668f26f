#include "tools/snapshot/Snapshot.h"

#include "aircraft/PlaneList.h"
#include "aircraft/PlaneListFile.h"
#include "app/Replay.h"
#include "app/Scene.h"
#include "app/SceneWindow.h"
#include "files/OutputFile.h"
#include "image/Png.h"
#include "state/Globals.h"
#include "state/KeyTable.h"
#include "tools/snapshot/FlightScript.h"
#include "volume/SoVolumeData.h"
#include "volume/SoVolumeRender.h"
#include "volume/SoVolumeRendering.h"
#include "window/Window.h"

#include <Inventor/SoDB.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/sensors/SoOneShotSensor.h>
#include <Inventor/sensors/SoSensorManager.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

void fail(const std::string& message) {
  std::fprintf(stderr, "flightscene-snapshot: %s\n", message.c_str());
}

// The output names must not depend on the data directory the session
// changes into, and an unwritable place is better found before the render.
bool resolveOutput(const std::string& out, std::string& absolute) {
  std::error_code ec;
  const fs::path path = fs::absolute(fs::u8path(out), ec);
  if (ec) {
    fail("cannot resolve output path " + out + ": " + ec.message());
    return false;
  }
  if (fs::is_directory(path, ec)) {
    fail("output " + path.u8string() + " is a directory");
    return false;
  }
  fs::path dir = path.parent_path();
  if (dir.empty()) dir = ".";
  if (!fs::is_directory(dir, ec)) {
    fail("cannot write " + path.u8string() + ": no directory " + dir.u8string());
    return false;
  }
  if (const std::string problem = OutputFile::folderProblem(dir.u8string()); !problem.empty()) {
    fail("cannot write " + path.u8string() + ": " + problem);
    return false;
  }
  absolute = path.u8string();
  return true;
}

// Presses and releases go through the scene's keyboard callback node, the
// way the window's key events reach the key table.
bool feedKeys(win::RenderArea& area, const KeyState& keys, int64_t tick, double dt) {
  for (int k = 0; k < KEY_COUNT; ++k) {
    if (static_cast<bool>(KeyTable[k].pressed) == keys[k]) continue;
    sendKey(area, static_cast<KeyIndex>(k), keys[k], SbTime(static_cast<double>(tick) * dt));
    if (static_cast<bool>(KeyTable[k].pressed) != keys[k]) {
      fail("the key table did not take key " + std::to_string(k) + " at tick " +
           std::to_string(tick));
      return false;
    }
  }
  return true;
}

bool drawAndWrite(win::RenderArea& area, const SnapshotOptions& options, const std::string& path) {
  if (options.pitchSet) pitchCamera(sceneCamera, options.pitchDegrees);
  // Field sensors (none run the flight: the tick sensor is off) settle first.
  SoDB::getSensorManager()->processDelayQueue(TRUE);
  area.render();
  std::vector<uint8_t> rgb;
  area.readPixels(rgb);
  const SbVec2s size = area.getSize();
  if (size[0] != options.width || size[1] != options.height) {
    fail("the window drew " + std::to_string(size[0]) + "x" + std::to_string(size[1]) +
         " instead of " + std::to_string(options.width) + "x" + std::to_string(options.height));
    return false;
  }
  std::string png, problem;
  if (!img::encodePng(img::fromBottomUpRows(size[0], size[1], rgb), png, problem)) {
    fail("cannot write " + path + ": " + problem);
    return false;
  }
  // Whole or not at all under its name, as the program's own files.
  OutputFile file;
  problem = file.create(path, OutputFile::Mode::Replace);
  if (problem.empty()) problem = file.write(png);
  if (problem.empty()) problem = file.sync();
  if (problem.empty()) problem = file.place();
  if (!problem.empty()) {
    fail("cannot write " + path + ": " + problem);
    return false;
  }
  return true;
}

}  // namespace

void pitchCamera(SoPerspectiveCamera* camera, double degrees) {
  SbVec3f view;
  camera->orientation.getValue().multVec(SbVec3f(0, 0, -1), view);
  // Straight up or down keeps the heading of the camera's up vector.
  if (std::fabs(view[0]) + std::fabs(view[2]) < 1e-6f) {
    camera->orientation.getValue().multVec(SbVec3f(0, 1, 0), view);
    view = -view * (view[1] > 0 ? -1.0f : 1.0f);
  }
  // A turn of y about the vertical maps -z to (-sin y, 0, -cos y).
  const float yaw = std::atan2(-view[0], -view[2]);
  const float pitch = static_cast<float>(degrees * M_PI / 180.0);
  camera->orientation.setValue(SbRotation(SbVec3f(1, 0, 0), pitch) *
                               SbRotation(SbVec3f(0, 1, 0), yaw));
}

int runSnapshot(const SnapshotOptions& options, const char* argv0) {
  FlightRecording recording;
  int64_t flightTicks = options.ticks;
  if (!options.replay.empty()) {
    const std::string problem = readFlightRecording(options.replay, recording);
    if (!problem.empty()) {
      fail(problem);
      return 1;
    }
    if (!recording.ended) fail(cutShortNote(options.replay, recording));
    flightTicks = static_cast<int64_t>(recording.ticks.size());
  }
  const std::vector<int64_t> ticks = frameTicks(flightTicks, options.frames);
  std::vector<std::string> paths;
  for (size_t i = 0; i < ticks.size(); ++i) {
    const std::string name =
        options.frames > 0 ? frameFileName(options.out, static_cast<int64_t>(i) + 1) : options.out;
    std::string absolute;
    if (!resolveOutput(name, absolute)) return 1;
    paths.push_back(absolute);
  }
  std::error_code ec;
  fs::current_path(fs::u8path(options.data), ec);
  if (ec) {
    fail("cannot enter the data directory " + options.data + ": " + ec.message());
    return 1;
  }
  if (!options.replay.empty()) {
    requirePlaneListFile();
    const std::string problem = recordingListProblem(options.replay, recording);
    if (!problem.empty()) {
      fail(problem);
      return 1;
    }
  }

  // The program's own start-up, in a hidden window of the asked size.
  win::InitOptions init;
  init.visibility = win::Visibility::Hidden;
  init.width = options.width;
  init.height = options.height;
  win::TopLevel* toplevel = openTopLevel(argv0, init);
  if (!toplevel) {
    std::fprintf(stderr, "%s\n", noWindowMessage("flightscene-snapshot").c_str());
    return 1;
  }
  const std::string missing = missingGraphics();
  if (!missing.empty()) {
    fail(missing);
    return 1;
  }
  SoVolumeRendering::init();

  if (options.cloudQuality >= 0)
    SoVolumeRender::setQuality(static_cast<SoVolumeRender::Quality>(options.cloudQuality));

  buildScene();
  // A cloud is a separator that starts with its volume data.
  for (int i = sceneRoot->getNumChildren() - 1; options.noClouds && i >= 0; --i) {
    auto* cloud = dynamic_cast<SoSeparator*>(sceneRoot->getChild(i));
    if (cloud && cloud->getNumChildren() > 0 &&
        cloud->getChild(0)->isOfType(SoVolumeData::getClassTypeId()))
      sceneRoot->removeChild(i);
  }
  // The session's own clock drives the fleet: the wall-clock tick must
  // never run.
  tickSensor->unschedule();

  win::RenderArea* area = showScene(toplevel, sceneRoot);
  area->setSize(options.width, options.height);

  std::optional<Replay> replay;
  if (!options.replay.empty()) replay.emplace(std::move(recording));
  int status = 0;
  size_t next = 0;
  // Tick 0 stands for the program's first tick, which only starts its clock.
  for (int64_t tick = 0; tick <= flightTicks && status == 0; ++tick) {
    if (replay) {
      SbTime delta;
      if (tick > 0 && replay->next(delta)) fleet.update(delta);
      replay->check(fleet);
      if (replay->over() && !replay->matches()) {
        fail("the flight differs from the recording at tick " +
             std::to_string(replay->differsAt()));
        status = 1;
        break;
      }
    } else if (tick > 0) {
      if (!feedKeys(*area, keysAt(options, tick), tick, options.dt)) {
        status = 1;
        break;
      }
      fleet.update(SbTime(options.dt));
    }
    while (next < ticks.size() && ticks[next] == tick) {
      if (!drawAndWrite(*area, options, paths[next])) status = 1;
      ++next;
    }
  }

  delete area;
  sceneRoot->unref();
  win::shutdown(toplevel);
  return status;
}
