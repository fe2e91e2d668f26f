#pragma once
// What differs between platforms when a program starts. One file per
// platform implements it (ProcessPosix.cpp, ProcessWin32.cpp).

#include <string>

// The program's arguments as UTF-8, as every name is inside the program:
// on Windows they are taken from the UTF-16 command line; on POSIX systems
// they already are what the user typed.
void utf8Arguments(int& argc, char**& argv);

// The window program's start. POSIX: a message lost to a closed pipe and a
// file cut short by a size limit are reported where they happen (EPIPE,
// EFBIG), never a reason to die. Windows: the program has no console of its
// own (none opens from the Start menu); started from one, it writes there,
// and standard output or error redirected by its starter stays so.
void startWindowProgram();

// The running program's own file, or empty.
std::string executablePath();
