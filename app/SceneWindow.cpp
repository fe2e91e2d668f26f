#include "app/SceneWindow.h"

#include "app/HudFont.h"
#include "app/Icon.h"

#include <Inventor/C/glue/gl.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/events/SoKeyboardEvent.h>
#include <Inventor/system/gl.h>

#include <cstdlib>

win::TopLevel* openTopLevel(const char* appName, const win::InitOptions& options) {
  // Before Coin's database starts: it reads the names when it first loads
  // a font.
  prepareFonts();
  win::TopLevel* top = win::init(appName, kWindowClass, options);
  if (top && options.visibility == win::Visibility::Shown) {
    std::vector<img::Image> icons;
    for (int size : {16, 32, 48, 64}) icons.push_back(paintIcon(size));
    win::setIcon(top, icons);
  }
  return top;
}

std::string noWindowMessage(const std::string& program) {
  const char* display = std::getenv("DISPLAY");
  const std::string why = display && *display
                              ? std::string("cannot open an OpenGL window on display ") + display
                              : std::string("no display (DISPLAY is not set)");
  return program + ": " + why + "; to run without a screen use a virtual one, e.g. xvfb-run -a " +
         program;
}

std::string missingGraphics() {
  // A context id of its own, so the probe shares no cache with rendering.
  const cc_glglue* glue = cc_glglue_instance(SoGLCacheContextElement::getUniqueCacheContext());
  std::string missing;
  auto lacks = [&missing](const char* what) {
    missing += (missing.empty() ? "" : ", ") + std::string(what);
  };
  // The clouds are 3-D textures of 20 voxels a side.
  GLint max3d = 0;
  if (cc_glglue_has_3d_textures(glue)) glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &max3d);
  if (max3d < 20) lacks("3-D textures (OpenGL 1.2 or GL_EXT_texture3D)");
  // Framebuffer objects only speed the clouds up: without them the volume
  // renderer draws at full resolution.
  if (missing.empty()) return {};
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  return "this OpenGL (" + std::string(version ? version : "unknown version") + ", " +
         (renderer ? renderer : "unknown renderer") + ") lacks what the scene needs: " + missing;
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
