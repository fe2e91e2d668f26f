#include "app/SceneWindow.h"

#include <Inventor/events/SoKeyboardEvent.h>

win::TopLevel* openTopLevel(const char* appName, const win::InitOptions& options) {
  return win::init(appName, kWindowClass, options);
}

win::RenderArea* showScene(win::TopLevel* toplevel, SoNode* scene) {
  auto* area = new win::RenderArea(toplevel, nullptr, true, true, true);
  area->setSceneGraph(scene);
  area->setTitle(kWindowTitle);
  area->show();
  win::show(toplevel);
  return area;
}

void sendKey(win::RenderArea& area, KeyIndex key, bool down, SbTime when) {
  SoKeyboardEvent event;
  event.setKey(static_cast<SoKeyboardEvent::Key>(KeyTable[key].key));
  event.setState(down ? SoButtonEvent::DOWN : SoButtonEvent::UP);
  event.setTime(when);
  area.processEvent(&event);
}
