// flightscene: an interactive flight scene with volumetric clouds.

#include "app/Cockpit.h"
#include "app/Scene.h"
#include "app/SceneWindow.h"
#include "state/Globals.h"
#include "volume/SoVolumeRendering.h"
#include "window/Window.h"

#include <Inventor/nodes/SoSeparator.h>

int main(int /*argc*/, char** argv) {
  win::TopLevel* toplevel = openTopLevel(argv[0]);
  if (!toplevel) return 1;
  SoVolumeRendering::init();

  buildScene();

  win::RenderArea* area = showScene(toplevel, sceneRoot);
  auto* cockpit = new Cockpit(toplevel, *area, "");

  win::mainLoop();

  delete cockpit;
  delete area;
  sceneRoot->unref();
  win::shutdown(toplevel);
  return 0;
}
