#include "tests/support/HiddenWindow.h"

namespace fstest {

HiddenWindow openHiddenWindow(const char* appName, int width, int height) {
  win::InitOptions options;
  options.visibility = win::Visibility::Hidden;
  options.width = width;
  options.height = height;
  HiddenWindow window;
  window.top = win::init(appName, "flightscene-test", options);
  if (window.top) {
    window.area = new win::RenderArea(window.top);
    window.area->setSize(width, height);
  }
  return window;
}

}  // namespace fstest
