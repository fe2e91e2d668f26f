// What the GL driver needs from the process, on Windows: nothing a program
// can check beforehand. Threads are not limited per user, a driver keeps its
// shader cache where it likes, and a 64-bit process's address space is not
// limited.

#include "window/Window.h"

namespace win {

std::string driverProblem() { return {}; }

std::string drawingRoomProblem() { return {}; }

}  // namespace win
