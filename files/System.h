#pragma once
// What the untrusted-file reader needs of the system, inside files/ only.
// One file per platform implements it (SystemPosix.cpp, SystemWin32.cpp);
// UntrustedFile.cpp builds the same verdicts on either.

#include "files/UntrustedFile.h"

#include <cstdint>
#include <string>

namespace files {

// What a child's end is reported as, on every platform.
constexpr const char* kEndless = "reading it does not end";
constexpr const char* kCrashed = "reading it overflows the stack or crashes";
constexpr const char* kAborted = "reading it runs out of memory or aborts";
constexpr const char* kNoReader = "cannot start a reader";
// Beyond this the child's answer is cut.
constexpr std::size_t kAnswerBytes = 200;
// The memory a reader child may use beyond what it has when it starts.
constexpr uint64_t kReadMemory = uint64_t{1} << 30;

// A regular file opened for reading without blocking (a FIFO is opened
// without waiting for a writer, then refused).
class RegularFile {
 public:
  RegularFile() = default;
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  // Empty, or why not: the system's words, or "not a regular file".
  std::string open(const char* path);
  const FileId& id() const { return id_; }
  // The whole file, up to kMaxFileBytes; empty or why not.
  std::string readAll(std::string& bytes);
  // The open file as a C stream in binary mode; null, and why not, when
  // that fails. The stream owns the file from then on.
  std::FILE* release(std::string& problem);

 private:
  intptr_t handle_ = -1;
  FileId id_;
};

// The file the name leads to, of any kind, without opening it.
bool identify(const char* path, FileId& id);

int64_t monotonicMicroseconds();

// The verdict of `reader` (registered as `name`) on the bytes in a child
// that ends after `limit` microseconds at the latest.
std::string runChild(const char* name, Reader reader, const std::string& bytes,
                     const std::string& argument, int64_t limit);

// Inside the child: the reader's answer, or Coin's first error. Marks the
// process as a reader child and catches Coin's messages first.
std::string childAnswer(Reader reader, const std::string& bytes, const std::string& argument);

// The registered reader of that name, or null.
Reader findReader(const std::string& name);

}  // namespace files
