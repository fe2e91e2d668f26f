// OutputFile on POSIX systems (Linux): an O_TMPFILE file linked into place
// through /proc/self/fd, or where either is missing a short hidden name,
// and flock(2) locks.

#include "files/OutputFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

struct OutputFile::System {
  int folder = -1;  // the target's folder
  int file = -1;    // the new file
  int old = -1;     // the file to be replaced, locked; -1 when none or unreadable
  struct stat oldStat {};
  bool hadOld = false;
  std::string name;       // the target's name in its folder
  std::string temporary;  // the new file's hidden name; empty while it has none
  bool unnamed = false;   // made without a name (O_TMPFILE)
};

namespace {

std::string why(int error) { return std::strerror(error); }

bool sameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A name of fixed, short length: whatever the target's name, it stays
// within the folder's name limit.
std::string hiddenName(unsigned attempt) {
  static const char digits[] = "0123456789abcdefghijklmnopqrstuv";
  uint64_t mix = (static_cast<uint64_t>(getpid()) << 20) ^ attempt ^
                 (static_cast<uint64_t>(std::rand()) << 32) ^ static_cast<uint64_t>(time(nullptr));
  std::string name = ".fs";
  for (int i = 0; i < 8; ++i, mix >>= 5) name += digits[mix & 31u];
  return name;
}

int createHidden(int folder, std::string& name) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    name = hiddenName(attempt);
    const int fd =
        openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// An unnamed file in the folder, when the file system has them and
// /proc/self/fd can give it a name later; -1 with errno otherwise.
int createUnnamed(int folder, bool& unsupported) {
  unsupported = false;
  const int fd = openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) {
    unsupported = errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL;
    return -1;
  }
  struct stat st;
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  if (fstatat(AT_FDCWD, proc.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    close(fd);
    unsupported = true;
    return -1;
  }
  return fd;
}

// Links the unnamed file `fd` under `name` in the folder.
int linkUnnamed(int fd, int folder, const std::string& name) {
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  return linkat(AT_FDCWD, proc.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW);
}

// Whether another open file holds a lock on the regular file `name`.
bool lockedByAnother(int folder, const std::string& name) {
  const int fd = openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool busy = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);
  return busy;
}

}  // namespace

OutputFile::~OutputFile() { close(); }

void OutputFile::close() {
  if (!system_) return;
  System& s = *system_;
  if (s.file >= 0) ::close(s.file);
  if (!placed_ && !s.temporary.empty()) unlinkat(s.folder, s.temporary.c_str(), 0);
  if (s.old >= 0) ::close(s.old);
  if (s.folder >= 0) ::close(s.folder);
  delete system_;
  system_ = nullptr;
}

std::string OutputFile::create(const std::string& path, Mode mode) {
  close();
  placed_ = replaced_ = false;
  mode_ = mode;
  target_ = path;
  struct stat st;
  // A link is followed in the replacing mode: the file it names is the one
  // replaced. A name that must be free is taken by any link.
  if (mode == Mode::Replace && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return errno == ENOENT ? "a link to nothing" : why(errno);
    target_ = real;
    std::free(real);
  }
  const std::size_t slash = target_.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : target_.substr(0, slash + 1);
  system_ = new System;
  System& s = *system_;
  s.name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  s.folder = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (s.folder < 0) return errno == ENOENT || errno == ENOTDIR ? "no such directory" : why(errno);
  if (s.name.empty() || s.name == "." || s.name == "..") return "not a regular file";

  if (mode == Mode::Replace && fstatat(s.folder, s.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    // Looked at before it is opened: opening a device may do something.
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    s.hadOld = true;
    s.oldStat = st;
    s.old = openat(s.folder, s.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    // A file we may not read is still replaced; it just cannot be locked.
    if (s.old >= 0 && flock(s.old, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
      return "another program is writing it";
  }

  bool unsupported = false;
  s.file = createUnnamed(s.folder, unsupported);
  s.unnamed = s.file >= 0;
  if (s.file < 0 && unsupported) s.file = createHidden(s.folder, s.temporary);
  if (s.file < 0) return why(errno);
  if (mode == Mode::Replace) flock(s.file, LOCK_EX | LOCK_NB);
  return "";
}

std::string OutputFile::write(const void* data, std::size_t size) {
  if (!system_ || system_->file < 0) return "not open";
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(system_->file, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? why(errno) : "nothing written";
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return "";
}

std::string OutputFile::sync() {
  if (!system_ || system_->file < 0) return "not open";
  // Some file systems (pipes aside, which are no files here) cannot sync.
  if (fsync(system_->file) != 0 && errno != EINVAL) return why(errno);
  return "";
}

std::string OutputFile::placeAs(const std::string& name, bool* taken) {
  if (!system_ || system_->file < 0) return "not open";
  system_->name = name;
  const std::size_t slash = target_.find_last_of('/');
  target_ = (slash == std::string::npos ? std::string() : target_.substr(0, slash + 1)) + name;
  return place(taken);
}

std::string OutputFile::place(bool* taken) {
  if (taken) *taken = false;
  if (!system_ || system_->file < 0) return "not open";
  if (placed_) return "";
  System& s = *system_;
  const char* name = s.name.c_str();

  if (mode_ == Mode::NeverReplace) {
    // A hard link fails on any name that exists, a dangling link included;
    // rename(2) would replace it.
    int linked = s.unnamed ? linkUnnamed(s.file, s.folder, s.name)
                           : linkat(s.folder, s.temporary.c_str(), s.folder, name, 0);
    bool renamed = false;
    // Folders without hard links (FAT) may still rename without replacing.
    if (linked != 0 && !s.unnamed && (errno == EPERM || errno == EOPNOTSUPP)) {
      linked = renameat2(s.folder, s.temporary.c_str(), s.folder, name, RENAME_NOREPLACE);
      renamed = linked == 0;
    }
    if (linked != 0) {
      if (errno == EEXIST && taken) *taken = true;
      return errno == EEXIST ? "the name is taken" : why(errno);
    }
    if (!s.unnamed && !renamed) unlinkat(s.folder, s.temporary.c_str(), 0);
  } else {
    struct stat now;
    if (fstatat(s.folder, name, &now, AT_SYMLINK_NOFOLLOW) == 0) {
      if (!S_ISREG(now.st_mode)) return "not a regular file";
      // A file put there since create by another writer is theirs.
      const bool ours = s.hadOld && sameInode(now, s.oldStat);
      if (!ours && lockedByAnother(s.folder, s.name)) return "another program is writing it";
      // The replaced file's permission bits: a private recording stays private.
      if (fchmod(s.file, now.st_mode & 07777) != 0) return why(errno);
      replaced_ = true;
    } else if (errno != ENOENT) {
      return why(errno);
    }
    if (s.unnamed) {
      // Linked under a hidden name first: a link cannot replace a name.
      for (unsigned attempt = 0; attempt < 100; ++attempt) {
        s.temporary = hiddenName(attempt);
        if (linkUnnamed(s.file, s.folder, s.temporary) == 0) break;
        const int error = errno;
        s.temporary.clear();
        if (error != EEXIST) return why(error);
      }
      if (s.temporary.empty()) return why(EEXIST);
    }
    if (renameat(s.folder, s.temporary.c_str(), s.folder, name) != 0) {
      const int error = errno;
      if (s.unnamed) {
        unlinkat(s.folder, s.temporary.c_str(), 0);
        s.temporary.clear();
      }
      return why(error);
    }
  }
  s.temporary.clear();
  placed_ = true;
  // The new name on the disk as well; a folder that cannot sync is no fault.
  fsync(s.folder);
  if (s.old >= 0) {
    ::close(s.old);
    s.old = -1;
  }
  return "";
}

bool OutputFile::stillInPlace() const {
  if (!system_ || !placed_) return false;
  struct stat ours, named;
  return fstat(system_->file, &ours) == 0 && ours.st_nlink > 0 &&
         fstatat(system_->folder, system_->name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         sameInode(ours, named);
}

bool OutputFile::sameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sameInode(sa, sb);
}

std::string OutputFile::folderProblem(const std::string& folder) {
  return access(folder.c_str(), W_OK) == 0 ? std::string() : why(errno);
}
