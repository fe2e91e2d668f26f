#ifndef FS_TESTS_RENDER_VOLUME_RENDERFIXTURE_H
#define FS_TESTS_RENDER_VOLUME_RENDERFIXTURE_H

// A hidden window of the window layer with a compatibility context, in which a Coin scene is
// drawn by SoRenderManager and read back with glReadPixels. Scenes can go to
// the window's 8-bit back buffer or to a float framebuffer object, which
// keeps long blending chains free of 8-bit rounding.

#include <Inventor/SbColor.h>
#include <Inventor/SbVec3s.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class SoGLRenderAction;
class SoNode;
class SoSeparator;

struct Image {
  int width = 0;
  int height = 0;
  std::vector<float> rgb;  // 0..255 per channel, bottom row first

  float at(int x, int y, int channel) const { return rgb[3 * (size_t(y) * width + x) + channel]; }
  float grey(int x, int y) const { return (at(x, y, 0) + at(x, y, 1) + at(x, y, 2)) / 3.0f; }
  void writePpm(const std::string& path) const;
};

enum class Target { BackBuffer, FloatBuffer };

// Opens the window once per process; false when no display or no context.
bool openRenderWindow(int width = 256, int height = 256);
// Whether Target::FloatBuffer can be drawn to in the open window.
bool floatTargetAvailable();
// The Coin cache context id that renderScene uses for the window.
uint32_t renderCacheContext();
void closeRenderWindow();
// Tells Coin that the window's GL context is destroyed, as a window binding
// does before it closes one, and goes on in a new cache context: what was
// kept for the old one is freed, and the renderer meets the new one afresh.
void renewRenderContext();

// Draws the scene on a background colour and reads it back; glError gets the
// first GL error raised during the render (GL_NO_ERROR when none).
// `prepare`, when given, sees the render action before the render.
Image renderScene(SoNode* root, Target target, unsigned* glError,
                  const SbColor& background = SbColor(0, 0, 0),
                  const std::function<void(SoGLRenderAction*)>& prepare = {});

// Keeps a voxel buffer alive for the rest of the run (volume data nodes keep
// only a pointer to it).
std::vector<uint8_t>& keepVoxels(std::vector<uint8_t> voxels);

#endif
