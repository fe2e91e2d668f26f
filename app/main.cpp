// flightscene: an interactive flight scene with volumetric clouds.

#include "aircraft/PlaneList.h"
#include "app/AppOptions.h"
#include "app/CameraViews.h"
#include "app/FlightRecorder.h"
#include "app/PilotOverlay.h"
#include "app/Process.h"
#include "app/Replay.h"
#include "app/Scene.h"
#include "app/SceneWindow.h"
#include "app/StopSignals.h"
#include "app/Tick.h"
#include "files/UntrustedFile.h"
#include "state/Globals.h"
#include "volume/SoVolumeRendering.h"
#include "window/Window.h"

#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/sensors/SoOneShotSensor.h>

#include <cstdio>
#include <optional>
#include <string>

int main(int argc, char** argv) {
  // A model may hold our volume nodes: the reader knows them as the program does.
  if (const int status = answerReaderChild(argc, argv, SoVolumeRendering::init); status >= 0)
    return status;
  utf8Arguments(argc, argv);
  startWindowProgram();
  AppOptions options;
  const int status = cli::handle(appCommandLine(options), argc, argv);
  if (status >= 0) return status;
  if (!enterDataDir(options)) return 1;
  FlightRecorder recorder;
  std::optional<Replay> replay;
  if (!prepareRecorder(options, recorder, replay)) return 1;
  if (const std::string problem = win::driverProblem(); !problem.empty()) {
    std::fprintf(stderr, "flightscene: %s\n", problem.c_str());
    return 1;
  }

  win::TopLevel* toplevel = openTopLevel(argv[0], options.window);
  if (!toplevel) {
    std::fprintf(stderr, "%s\n", noWindowMessage("flightscene").c_str());
    return 1;
  }
  const std::string missing = missingGraphics();
  if (!missing.empty()) {
    std::fprintf(stderr, "flightscene: %s\n", missing.c_str());
    return 1;
  }
  SoVolumeRendering::init();

  buildScene();
  if (const std::string problem = win::drawingRoomProblem(); !problem.empty()) {
    std::fprintf(stderr, "flightscene: %s\n", problem.c_str());
    return 1;
  }

  win::RenderArea* area = showScene(toplevel, sceneRoot);
  auto* views = new CameraViews(toplevel);
  TickParts parts;
  parts.replay = replay ? &*replay : nullptr;
  parts.recorder = recorder.running() ? &recorder : nullptr;
  parts.views = views;
  auto* pilot = new PilotOverlay(toplevel, *area, options.screenshotDir, parts, views);
  // Drawn over the scene; every event reaches it.
  auto* overlay = new SoSeparator;
  overlay->ref();
  overlay->addChild(views->eventNode());
  overlay->addChild(pilot->sceneNode());
  area->setOverlaySceneGraph(overlay);
  tickSensor->setData(&parts);
  if (parts.recorder) noteStopSignals();

  win::mainLoop();
  for (const std::string& line : recorder.finish(fleet))
    std::fprintf(stderr, "flightscene: %s\n", line.c_str());

  tickSensor->setData(nullptr);
  area->setOverlaySceneGraph(nullptr);
  overlay->unref();
  delete pilot;
  delete views;
  delete area;
  sceneRoot->unref();
  win::shutdown(toplevel);
  return 0;
}
