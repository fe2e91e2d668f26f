#include "app/DataDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

std::string installedDataDir() {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return {};
  std::string dir(exe, static_cast<size_t>(n));
  const size_t slash = dir.rfind('/');
  if (slash == std::string::npos) return {};
  // FS_DATA_FROM_BIN: the data directory relative to the installed bin/.
  dir = dir.substr(0, slash + 1) + FS_DATA_FROM_BIN;
  struct stat st;
  const std::string list = dir + "/PlaneList.txt";
  if (stat(list.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return dir;
}
