// flightscene: an interactive flight scene with volumetric clouds.

#include "app/AppOptions.h"
#include "app/CameraViews.h"
#include "app/Cockpit.h"
#include "app/FlightRecorder.h"
#include "app/Scene.h"
#include "app/SceneWindow.h"
#include "state/Globals.h"
#include "volume/SoVolumeRendering.h"
#include "window/Window.h"

#include <Inventor/nodes/SoSeparator.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <utility>

int main(int argc, char** argv) {
  // A message lost to a closed pipe and a file cut short by a size limit are
  // reported where they happen (EPIPE, EFBIG), never a reason to die.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  AppOptions options;
  const int status = cli::handle(appCommandLine(options), argc, argv);
  if (status >= 0) return status;
  if (!enterDataDir(options)) return 1;
  FlightRecording replay;
  if (!prepareRecorder(options, replay)) return 1;
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

  if (!options.record.empty() && !startRecording(options.record)) return 1;
  if (!options.replay.empty()) startReplay(std::move(replay));

  win::RenderArea* area = showScene(toplevel, sceneRoot);
  auto* views = new CameraViews(toplevel);
  auto* cockpit = new Cockpit(toplevel, *area, options.screenshotDir, views);

  win::mainLoop();
  finishRecording();

  delete cockpit;
  delete views;
  delete area;
  sceneRoot->unref();
  win::shutdown(toplevel);
  return 0;
}
