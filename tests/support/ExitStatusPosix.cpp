#include "tests/support/ExitStatus.h"

#include <sys/wait.h>

#include <cstdlib>

int runCommand(const std::string& command) {
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
