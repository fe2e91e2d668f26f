#include "app/Process.h"

#include <unistd.h>

#include <climits>
#include <csignal>

void utf8Arguments(int&, char**&) {}

void startWindowProgram() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

std::string executablePath() {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  return n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string();
}
