#pragma once
// Where an installed flightscene finds its data: beside bin/ on Linux, data\ beside
// flightscene.exe on Windows.

#include <string>

// The shipped data directory of an installed program (PlaneList.txt, img/,
// models/ under share/flightscene beside bin/), or empty when the running
// executable has none, as in a build tree.
std::string installedDataDir();
