#pragma once
// flightscene's window binding: one top-level window with a Coin render
// area, over GLFW (X11) and Coin's SoRenderManager. The only part of the
// program that includes GLFW.
//
// Needs: GLFW 3.3, Coin 4, an OpenGL compatibility context (Mesa is fine),
// and the image folder for icons.
//
// Implements (by file):
//  Window.cpp
//  [x] init: GLFW and Coin's database; the top-level window, or null when no
//      display can be opened (errors go to stderr, never stdout)
//  [x] hidden mode (never mapped) for tools and tests that read pixels back
//  [x] fullscreen on the primary monitor, at its current video mode, and
//      a toggle to and from fullscreen on the monitor the window is on
//  [x] window icon; the current context's texture limit
//  [x] GLFW's own error text on stderr only when FLIGHTSCENE_GL_CHECK is set;
//      the caller explains a failed init in its own words; an error callback
//      set before init is chained, and shutdown restores it
//  DriverPosix.cpp, DriverWin32.cpp
//  [x] what the GL driver needs, checked before it meets the lack: threads,
//      a writable shader cache (else turned off), room for the first frame;
//      on Windows none of these limits exists for a program to meet
//  Input.cpp
//  [x] keyboard (press, auto-repeat as press, release) and mouse events as
//      SoEvents through SoHandleEventAction, so SoEventCallback nodes see them
//  [x] the first gamepad, read as the keyboard keys it stands for, and its
//      right stick as a position
//  [x] the mouse wheel as presses of buttons 4 (up) and 5 (down)
//  MainLoop.cpp
//  [x] mainLoop: Coin's timer and delay queues, redraw on scene change, paced
//      at the display refresh (60 Hz where swapping does not block), waits
//      for events when nothing is scheduled; returns when the window closes
//  RenderArea.cpp
//  [x] RenderArea: draws a scene graph through SoRenderManager, keeps the
//      camera's near and far planes (no auto-clipping), follows resizes
//  [x] an overlay scene drawn over the scene with its own camera
//  [x] a window beyond the GL's viewport limit is neither drawn nor read back
//  [x] with FLIGHTSCENE_GL_CHECK, every GL error a frame leaves, on stderr
//
// Callbacks: GLFW's error callback is chained: one set before init still
// hears every error, and shutdown puts it back. The window's own callbacks
// (keys, mouse, cursor, wheel, size) are the layer's alone: they are set on
// a window it made, and nothing outside window/ sees GLFW. Events reach the
// program as Coin events in its scenes instead.
//
// The flat API mirrors what the start-up sequence needs: init, a render area
// in the top-level window, show, mainLoop, shutdown.

#include "image/Image.h"

#include <Inventor/SbColor4f.h>
#include <Inventor/SbLinear.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class SoNode;
class SoEvent;

namespace win {

struct TopLevel;

enum class Visibility { Shown, Hidden };

struct InitOptions {
  Visibility visibility = Visibility::Shown;
  int width = 1024;
  int height = 768;
  // On the primary monitor at its current video mode; width and height are
  // then ignored. Windowed when there is no monitor.
  bool fullscreen = false;
};

// Initialises GLFW and Coin's database and creates the (still unmapped)
// top-level window with its GL context, made current. Null when that fails.
TopLevel* init(const char* appName, const char* className,
               const InitOptions& options = InitOptions());

// Empty when the GL driver can start in this process, else why not, in a
// few words for the caller's message; call before init. Turns the driver's
// shader cache off (MESA_SHADER_CACHE_DISABLE) when its folder is read-only
// or nearly full.
std::string driverProblem();

// Address space the driver takes beyond what is mapped when the scene is
// built, to draw its first frame with the clouds' 3-D textures (measured:
// 610 MiB in use, 640 MiB too few, 704 MiB enough).
constexpr std::size_t kDrawingRoomBytes = std::size_t{128} << 20;

// Empty when kDrawingRoomBytes can still be mapped under the address-space
// limit, else why not; call once the scene is built, before the first frame.
std::string drawingRoomProblem();

// Maps or unmaps the top-level window (no effect in hidden mode).
void show(TopLevel* toplevel);
void hide(TopLevel* toplevel);

// Runs for the window whose GL context is current (the last one init made)
// until it is closed or exitMainLoop() is called.
void mainLoop();

// Makes mainLoop() return after the current iteration.
void exitMainLoop();

// Fullscreen on the monitor the window is on, or back to the window's
// former size and place.
void setFullscreen(TopLevel* toplevel, bool fullscreen);
bool isFullscreen(const TopLevel* toplevel);

// The window's position on the screen and its size, in screen coordinates.
struct Place {
  int x = 0, y = 0, width = 0, height = 0;
};
Place placeOf(const TopLevel* toplevel);

// Destroys the top-level window (delete its render area first),
// terminates GLFW and gives back the error callback init found. The scene
// database stays usable.
void shutdown(TopLevel* toplevel);

// Sets the window's icon; the window manager picks the size it shows.
// Images that are not valid four-channel (RGBA) images are skipped.
void setIcon(TopLevel* toplevel, const std::vector<img::Image>& sizes);

// The largest texture side the current GL context takes; 0 when no
// window's context is current.
int maxTextureSize();

// The first gamepad's right stick at the last poll of the main loop: x to
// the right, y negative when pushed away, each -1..1; (0, 0) inside the
// dead zone or without a gamepad.
SbVec2f rightStick(const TopLevel* toplevel);

class RenderArea {
 public:
  // `name` and `embed` keep the shape of the start-up call; a render area is
  // always the whole of its top-level window, so both are ignored.
  RenderArea(TopLevel* parent, const char* name = nullptr, bool embed = true,
             bool mouseInput = true, bool keyboardInput = true);
  ~RenderArea();
  RenderArea(const RenderArea&) = delete;
  RenderArea& operator=(const RenderArea&) = delete;

  void setSceneGraph(SoNode* root);
  // A second scene drawn over the first with its own camera, after it and on
  // a cleared depth buffer; it sees every event after the first scene.
  void setOverlaySceneGraph(SoNode* overlay);
  void setTitle(const char* title);
  void show();

  void setBackgroundColor(const SbColor4f& color);
  // Window size in pixels; in hidden mode this is the size drawn and read.
  void setSize(int width, int height);
  SbVec2s getSize() const;

  // Draws the scene now into the back buffer (without swapping); false,
  // drawing nothing, when the window is beyond the GL's limits, which
  // normal frames respect as well.
  bool render();
  // Draws if the scene changed since the last frame; swaps. True if drawn.
  bool redrawIfNeeded();
  // Reads the back buffer as tightly packed RGB rows, bottom row first
  // (img::fromBottomUpRows turns them into an image); empty when the window
  // is beyond the GL's limits.
  void readPixels(std::vector<uint8_t>& rgb) const;
  // Sends an event into the scene as if it came from the window.
  bool processEvent(const SoEvent* event);

  // Frames drawn since creation.
  uint64_t frameCount() const;

  struct Impl;

 private:
  Impl* impl_;
};

}  // namespace win
