#include "tests/support/ExitStatus.h"

#include <cstdlib>

int runCommand(const std::string& command) {
  // cmd.exe /c drops the first and the last quote of a line that starts
  // with one: a pair around the whole keeps the program's own quotes.
  return std::system(("\"" + command + "\"").c_str());
}
