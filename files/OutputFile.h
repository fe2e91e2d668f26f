#pragma once
// A file the program writes, made so that nobody sees it half made: it is
// written where no name leads to it (an unnamed file where the system has
// them, else a short hidden name in the target's folder) and gets its name
// only when its writer puts it in place. A program killed before that
// leaves nothing behind, and a reader of the name sees the old file or the
// new one, whole.
//
// Only a regular file is ever replaced (a link is followed to it), and it
// keeps its permission bits. A writer that replaces a file holds a lock on
// it and on its new file, so that a second writer of the same name is
// refused instead of writing into a file no name will lead to.
//
// Every call that can fail says why in a few words (the system's own, as
// "Permission denied"), for the caller's message; none prints. One file per
// platform implements it (OutputFilePosix.cpp, OutputFileWin32.cpp).

#include <cstddef>
#include <cstdint>
#include <string>

class OutputFile {
 public:
  enum class Mode {
    Replace,       // a regular file of the name is replaced, and locked until then
    NeverReplace,  // the name must be free when the file is put in place
  };

  OutputFile() = default;
  ~OutputFile();  // closes the file; one not yet in place is gone
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Starts the new file that is to be `path`. Empty, or why not: the name
  // is no regular file ("not a regular file"), its folder is missing ("no
  // such directory"), a link leads nowhere ("a link to nothing"), another
  // writer holds it ("another program is writing it"), or the folder
  // refuses the file.
  std::string create(const std::string& path, Mode mode);

  // The whole of `size` bytes at the end of the file; empty or why not.
  std::string write(const void* data, std::size_t size);
  std::string write(const std::string& bytes) { return write(bytes.data(), bytes.size()); }
  // Everything written so far on the disk; empty or why not.
  std::string sync();

  // Puts the file in place under the path given to create. For NeverReplace
  // a name that is taken sets `taken` and leaves the file unplaced, so that
  // another name can be tried with placeAs.
  std::string place(bool* taken = nullptr);
  // The same under another name in the same folder (NeverReplace only).
  std::string placeAs(const std::string& name, bool* taken);

  // Closes the file; one not yet in place is gone.
  void close();

  bool placed() const { return placed_; }
  // True when placing it replaced a file.
  bool replacedOne() const { return replaced_; }
  // Once placed: false when its name no longer leads to it (removed, or
  // another file put there).
  bool stillInPlace() const;

  // The file the name leads to after links: what a reader of the path
  // reads. Empty before create.
  const std::string& target() const { return target_; }

  // True when both paths lead to one existing file (links followed).
  static bool sameFile(const std::string& a, const std::string& b);

  // Empty when this user may make files in the folder, else why not.
  static std::string folderProblem(const std::string& folder);

 private:
  struct System;  // the platform's handles

  System* system_ = nullptr;
  Mode mode_ = Mode::Replace;
  std::string target_;
  bool placed_ = false;
  bool replaced_ = false;
};
