// flightscene: an interactive flight scene with volumetric clouds.

#include "app/Globals.h"
#include "app/Scene.h"
#include "volume/SoVolumeRendering.h"
#include "window/Window.h"

#include <Inventor/nodes/SoSeparator.h>

int main(int /*argc*/, char** argv) {
  win::TopLevel* toplevel = win::init(argv[0], "SoWin");
  if (!toplevel) return 1;
  SoVolumeRendering::init();

  buildScene();

  auto* area = new win::RenderArea(toplevel, nullptr, true, true, true);
  area->setSceneGraph(sceneRoot);
  area->setTitle("appTitle");
  area->show();
  win::show(toplevel);

  win::mainLoop();

  delete area;
  sceneRoot->unref();
  return 0;
}
