#include "app/HudFont.h"

#include <cstdlib>

void prepareFonts() {
  // Coin loads FreeType and fontconfig by names only the -dev packages
  // install; the runtime's own names are set instead. A name the user set
  // wins.
  setenv("COIN_FREETYPE2_LIBNAME", FS_FREETYPE_SONAME, 0);
  setenv("COIN_FONTCONFIG_LIBNAME", FS_FONTCONFIG_SONAME, 0);
}

std::string hudFontName() { return "DejaVu Sans Mono"; }
