#pragma once
// The hidden window that render tests draw into and read back: Coin's own
// offscreen renderer does not work under Xvfb and Mesa here.

#include "window/Window.h"

namespace fstest {

struct HiddenWindow {
  win::TopLevel* top = nullptr;
  win::RenderArea* area = nullptr;  // the whole window, width x height
};

// Initialises the window layer and Coin's database and opens a never-mapped window with
// a render area. Both members are null when no display can be opened.
HiddenWindow openHiddenWindow(const char* appName, int width, int height);

}  // namespace fstest
