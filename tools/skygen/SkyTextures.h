#pragma once
// The three sky-box pictures. The box is 200 units across and 50 high around
// the viewer, so each wall spans 25 units below to 25 above eye level and the
// horizon runs through the middle of every wall.
//
// Wall picture: the walls map texture s from 0 at their top edge to 1 at their
// bottom edge, and s is the image's horizontal axis. Column 0 is therefore the
// top of the wall (sky), the middle column the horizon and the last column the
// foot of the wall, where it meets the floor. Every row is the same, so the
// four walls join without seams at the corners.
//
// Roof picture: pale sky deepening towards the zenith in the centre, with
// faint high streaks; its border is exactly the colour of the walls' top edge.
//
// Floor picture: fields with hedges seen from above. It tiles, and its mean
// colour is what the walls fade to at their foot.

#include "tools/skygen/Image.h"

namespace skygen {

constexpr int kSkyImageSize = 512;

struct SkyBoxImages {
  img::Image side;
  img::Image above;
  img::Image floor;
};

// Floor colour at tile coordinates (tx, ty); one image spans [0, 1) on both
// axes and the pattern repeats with period 1.
Rgb floorColourAt(double tx, double ty);
img::Image makeFloorImage();
img::Image makeAboveImage();
// groundColour: the colour the lower half fades to at the bottom edge of the wall.
img::Image makeSideImage(const Rgb& groundColour);

// Mean of all pixels.
Rgb meanColour(const img::Image& image);

// All three, the walls matched to the floor.
SkyBoxImages makeSkyBoxImages();

}  // namespace skygen
