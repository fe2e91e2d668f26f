#pragma once
// The program's icon, painted by code so that every size is sharp and no
// image file is needed at run time: a red aircraft over a cloud in a
// rounded square of sky. The installed icon files are written from it.

#include "image/Image.h"

// size x size RGBA pixels, straight (not premultiplied) alpha. Sizes below 1
// give an empty image.
img::Image paintIcon(int size);
