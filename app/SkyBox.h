#pragma once
// The sky box: a textured 200 x 50 x 200 box that travels with the camera
// (its translation follows the camera position) but never turns with it.

#include <cstdint>

class SoSeparator;
class SoPerspectiveCamera;

// Corner i has positive x if bit 0 is set, positive y for bit 1, positive z for bit 2.
extern const float skyBoxVertices[8][3];
// One triangle strip per face: four vertex indices and the end-of-strip mark.
extern const int32_t skyBoxFaces[6][5];
// Texture-coordinate indices, the same for every face.
extern const int32_t skyBoxTexIndices[5];
// The image each face shows, relative to the working directory.
extern const char* const skyBoxImages[6];

// Returns the sky box separator, unreferenced.
SoSeparator* buildSkyBox(SoPerspectiveCamera* camera);
