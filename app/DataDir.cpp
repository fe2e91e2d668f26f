#include "app/DataDir.h"

#include "app/Process.h"

#include <filesystem>
#include <system_error>

std::string installedDataDir() {
  const std::filesystem::path exe = std::filesystem::u8path(executablePath());
  if (!exe.has_parent_path()) return {};
  // FS_DATA_FROM_BIN: the data directory relative to the installed bin/.
  const std::string dir = exe.parent_path().u8string() + "/" + FS_DATA_FROM_BIN;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(std::filesystem::u8path(dir + "/PlaneList.txt"), ec))
    return {};
  return dir;
}
