#pragma once
// The program's window: the one way the program, its tools and benchmarks
// open a window with a render area on the scene, and feed it keys.

#include "state/KeyTable.h"
#include "window/Window.h"

#include <Inventor/SbTime.h>

#include <string>

class SoNode;

// X11 class name of the window, and its title. The end-to-end tests, the run
// scripts and window-manager rules find the program's window by this title.
constexpr char kWindowClass[] = "SoWin";
constexpr char kWindowTitle[] = "appTitle";

// Initialises the window layer and Coin's database and creates the
// top-level window with the program's icon, not yet shown. Null when no
// display can be opened.
win::TopLevel* openTopLevel(const char* appName, const win::InitOptions& options = {});

// One line for stderr, after openTopLevel failed: why, and how to run
// without a screen.
std::string noWindowMessage(const std::string& program);

// What the scene needs of OpenGL and the current context lacks, as one
// phrase; empty when nothing is missing. Call it once the window exists and
// before the first frame: drawing without these ends in a crash.
std::string missingGraphics();

// A render area in the top-level window, drawing `scene`, titled, and shown
// with its window. Delete it after the main loop.
win::RenderArea* showScene(win::TopLevel* toplevel, SoNode* scene);

// Sends a press (down) or release of a watched key into the scene, the way a
// key event from the window reaches the key table.
void sendKey(win::RenderArea& area, KeyIndex key, bool down, SbTime when = SbTime::zero());
