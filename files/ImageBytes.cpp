#include "files/ImageBytes.h"

#include "files/UntrustedFile.h"

#include <Inventor/SbImage.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

// The extension of name, when it is a short plain one.
std::string extensionOf(const char* name) {
  const char* slash = std::strrchr(name, '/');
  const char* dot = std::strrchr(slash != nullptr ? slash : name, '.');
  if (dot == nullptr) return {};
  std::string ext(dot);
  if (ext.size() > 9) return {};
  for (std::size_t i = 1; i < ext.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(ext[i]))) return {};
  return ext;
}

bool writeAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string scratch;
pid_t scratchOwner = 0;

// Empties and removes the folder; only the process that made it touches it.
void clearScratch() {
  if (scratch.empty() || ::getpid() != scratchOwner) return;
  if (DIR* dir = ::opendir(scratch.c_str())) {
    while (const dirent* entry = ::readdir(dir))
      if (entry->d_name[0] != '.') ::unlinkat(::dirfd(dir), entry->d_name, 0);
    ::closedir(dir);
  }
  ::rmdir(scratch.c_str());
  scratch.clear();
}
}  // namespace

void prepareImageScratch() {
  if (!scratch.empty()) return;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/flightscene-XXXXXX";
  if (::mkdtemp(&pattern[0]) == nullptr) return;
  scratch = pattern;
  scratchOwner = ::getpid();
  static const bool registered = std::atexit([] { clearScratch(); }) == 0;
  (void)registered;
}

void clearImageScratch() { clearScratch(); }

bool decodeImage(const std::string& bytes, const char* name, SbImage& image) {
  image.setValue(SbVec2s(0, 0), 0, nullptr);
  prepareImageScratch();
  if (bytes.empty() || scratch.empty()) return false;
  // The image reader takes only a path: a file made afresh in a folder of
  // mode 0700, which nobody else can change or replace.
  static unsigned serial = 0;
  const std::string ext = extensionOf(name);
  const std::string path =
      scratch + "/" + std::to_string(::getpid()) + "-" + std::to_string(serial++) + ext;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool written = writeAll(fd, bytes);
  ::close(fd);
  const bool read = written && image.readFile(path.c_str());
  ::unlink(path.c_str());
  clearScratch();
  return read;
}

std::string imageProblem(const SbImage& image, int limit) {
  const SbVec3s size = image.getSize();
  // An image with no pixels reads without complaint, yet draws plain.
  if (size[0] == 0 || size[1] == 0) return "cannot be read as an image";
  // Sides past 32767 wrap negative in the 16-bit size.
  if (size[0] < 0 || size[1] < 0 || size[0] > limit || size[1] > limit)
    return "too large for the GL";
  return {};
}

std::string readImageFile(const char* path, int limit, SbImage& image) {
  image.setValue(SbVec2s(0, 0), 0, nullptr);
  std::string bytes;
  std::string problem = readRegularFile(path, bytes);
  if (problem.empty() && !inReaderChild()) {
    problem = readInChild([&bytes, path, limit]() -> std::string {
      SbImage trial;
      if (!decodeImage(bytes, path, trial)) return "cannot be read as an image";
      return imageProblem(trial, limit);
    });
  }
  if (!problem.empty()) return problem;
  if (!decodeImage(bytes, path, image)) return "cannot be read as an image";
  return imageProblem(image, limit);
}
