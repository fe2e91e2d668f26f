#include "app/Screenshot.h"

#include "image/Png.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kNamesPerStamp = 1000;

std::string shotName(const std::string& stamp, int n) {
  return "flightscene-" + stamp + (n ? "-" + std::to_string(n) : "") + ".png";
}

// A new file of ours in the folder, never one that is there already.
int createTemporary(int dirFd, const std::string& stamp, std::string& name) {
  for (int n = 0; n < kNamesPerStamp; ++n) {
    name =
        ".flightscene-" + stamp + "-" + std::to_string(getpid()) + "-" + std::to_string(n) + ".tmp";
    const int fd =
        openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Gives the temporary a name of its own, never replacing one that exists.
bool placeUnder(int dirFd, const std::string& temporary, const std::string& name) {
  // A hard link fails on any name that exists, a dangling link included;
  // rename(2) would replace it.
  if (linkat(dirFd, temporary.c_str(), dirFd, name.c_str(), 0) == 0) return true;
  // Folders without hard links (FAT) may still rename without replacing.
  if (errno != EPERM && errno != EOPNOTSUPP) return false;
  return renameat2(dirFd, temporary.c_str(), dirFd, name.c_str(), RENAME_NOREPLACE) == 0;
}

// Writes the whole PNG to the disk through `fd`, which it closes.
bool writeAll(int fd, const std::string& where, const img::Image& image, std::string& error) {
  std::FILE* file = fdopen(fd, "wb");
  if (!file) {
    error = "cannot write in " + where + ": " + std::strerror(errno);
    close(fd);
    return false;
  }
  errno = 0;
  bool ok = img::writePng(file, "in " + where, image, error);
  // libpng only says "Write Error"; the system says why.
  if (!ok && std::ferror(file) && errno)
    error = "cannot write in " + where + ": " + std::strerror(errno);
  if (ok && (std::fflush(file) != 0 || fsync(fileno(file)) != 0)) {
    error = "cannot write in " + where + ": " + std::strerror(errno);
    ok = false;
  }
  if (std::fclose(file) != 0 && ok) {
    error = "cannot write in " + where + ": " + std::strerror(errno);
    ok = false;
  }
  return ok;
}

}  // namespace

bool saveScreenshot(const std::string& dir, const std::string& stamp, const img::Image& image,
                    std::string& result) {
  const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) {
    result = "cannot open " + dir + ": " + std::strerror(errno);
    return false;
  }
  std::string temporary;
  const int fd = createTemporary(dirFd, stamp, temporary);
  if (fd < 0) {
    result = "cannot write in " + dir + ": " + std::strerror(errno);
    close(dirFd);
    return false;
  }
  bool saved = writeAll(fd, dir, image, result);
  bool named = false;
  for (int n = 0; saved && !named && n < kNamesPerStamp; ++n) {
    const std::string name = shotName(stamp, n);
    if (placeUnder(dirFd, temporary, name)) {
      named = true;
      result = dir + "/" + name;
    } else if (errno != EEXIST) {
      result = "cannot name " + dir + "/" + name + ": " + std::strerror(errno);
      saved = false;
    }
  }
  if (saved && !named) {
    result =
        "all " + std::to_string(kNamesPerStamp) + " names for " + stamp + " are taken in " + dir;
    saved = false;
  }
  unlinkat(dirFd, temporary.c_str(), 0);
  if (saved) fsync(dirFd);
  close(dirFd);
  return saved;
}
