#pragma once
// The monospaced font of the cockpit's text, so the help's columns line up.
// One file per platform implements it (HudFontPosix.cpp, HudFontWin32.cpp):
// Coin draws text through FreeType and fontconfig on Linux and through the
// Windows font API on Windows. Without the font it keeps its built-in one.

#include <string>

// Before Coin's database starts: what Coin needs to find fonts.
void prepareFonts();

// The font's name for SoFont.
std::string hudFontName();
