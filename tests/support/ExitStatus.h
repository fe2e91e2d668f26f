#pragma once
// Runs a command line through the system's shell (sh, or cmd.exe under
// Wine) and gives the program's exit status, or -1 when it did not end by
// itself. One file per platform (ExitStatusPosix.cpp, ExitStatusWin32.cpp).

#include <string>

int runCommand(const std::string& command);
