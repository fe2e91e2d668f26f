#pragma once
// A read model graph that the renderer could not draw safely: indices past
// the end of the coordinates, normals, materials or texture coordinates in
// force where a shape uses them, vertex counts past the data, textures
// larger than the GL takes, nesting too deep for the traversals' stacks,
// another file named to be read (a nested File, an Image, a URL).
// Coin reads such files without complaint and only the first frame fails,
// so the graph is checked after reading and before it joins the scene.

#include <string>

class SoNode;

// Deeper nesting than any real model needs, and shallow enough for every
// traversal of the renderer to recurse through.
constexpr int kMaxModelDepth = 256;

// Side of the largest texture assumed drawable when no GL context can tell.
constexpr int kSafeTextureSize = 4096;

// Empty when the graph under root is safe to draw with textures up to
// maxTextureSize on a side; otherwise what is wrong with it, in a few words.
std::string checkModelGraph(SoNode* root, int maxTextureSize);
