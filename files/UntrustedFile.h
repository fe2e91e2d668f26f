#pragma once
// Files the program reads are untrusted: a file that is no regular file can
// block its reader on open (a FIFO) or feed it forever (a device); a crafted
// one can make Coin's reader recurse without end, loop, or allocate without
// bound. So a list is only read from a regular file, and each model or image
// is read once into memory and its bytes tried in a child process under
// limits on time, memory and stack; only bytes the child read cleanly are
// parsed for the scene, so the file cannot change between the two. A file
// left out is reported in one line on stderr.

#include "files/PrintedName.h"

#include <cstdint>
#include <cstdio>
#include <string>

class SoSFString;

// The file at path opened for reading when it is a regular file (or a link
// to one); otherwise null, and why not in *problem when given. Never blocks:
// a FIFO is opened without waiting for a writer, then refused, as are a
// directory (it would read as empty) and a device.
std::FILE* openRegularFile(const char* path, std::string* problem = nullptr);

// Empty when path names a regular file that can be opened for reading;
// otherwise why not (openRegularFile).
std::string regularFileProblem(const char* path);

// A reader tries a file's bytes: empty when they are usable, otherwise why
// not. `argument` carries what else it needs (a name, a size limit), since
// a reader may run in another process.
using Reader = std::string (*)(const std::string& bytes, const std::string& argument);

// Makes `reader` known under `name` to readInChild. Called at namespace scope
// in the reader's own file, so a program that can ask for it has it, in the
// child as in the parent:
//   [[maybe_unused]] const bool registered = registerReader("image", tryImage);
bool registerReader(const char* name, Reader reader);

// Runs the reader `name` on `bytes` in a child process that touches nothing
// but what the reader does: forked on POSIX systems, the program itself
// started anew on Windows (answerReaderChild). Empty when the reader
// returned empty; otherwise its answer, or what became of the child (killed
// after kReadSeconds, out of memory, crashed). Coin's error messages in the
// child are kept from stderr; the first one is the answer when the reader
// had nothing to say.
//
// All children of the process together get kReadBudgetSeconds: many files
// that each take nearly kReadSeconds must not hold up start-up for minutes.
// Once it is spent, no child is started and the answer says so.
constexpr unsigned kReadSeconds = 20;
constexpr unsigned kReadBudgetSeconds = 30;
std::string readInChild(const char* reader, const std::string& bytes,
                        const std::string& argument = {});

// The first call in the main of every program that reads untrusted files:
// when this process was started as a reader child (on Windows), it reads,
// answers and returns the status to end with; otherwise -1. `prepare`, when
// given, runs in the child once Coin's database is up: it registers the
// node classes the program registers before it reads (a forked child has
// them from its parent).
int answerReaderChild(int argc, char** argv, void (*prepare)() = nullptr);

// True inside a reader child: what it reads is already under its limits.
bool inReaderChild();

// Inside a reader: Coin's first error so far in the child, as one line, or
// empty. A reader checks it before going on with what Coin made of a bad
// file.
const std::string& childFirstError();

// A regular file is read whole into memory, up to this many bytes.
constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;

// Which file was read (links followed): device and inode (on Windows the
// volume's serial number and the file's index).
struct FileId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator<(const FileId& o) const {
    return device != o.device ? device < o.device : inode < o.inode;
  }
};

// The bytes of the regular file at path, read through one descriptor that
// was opened without blocking and checked to be a regular file: empty, or
// why not (then bytes is empty). id, when given, names the file read.
std::string readRegularFile(const char* path, std::string& bytes, FileId* id = nullptr);

// What judgeFile read: the file, and its bytes when this call read them
// (a verdict found in the cache reads nothing and prints nothing).
struct JudgedFile {
  FileId id;
  bool identified = false;
  bool cached = false;
  std::string bytes;
};

// Why the file at `path` cannot be used, or empty: it must be a regular file
// whose bytes (readRegularFile) `reader` accepts in a child (readInChild); the
// caller parses those same bytes from *file. Each file (a path leading
// nowhere by its spelling) is judged once per `kind` of reader; the first
// judgement that fails prints "KIND PATH LEFTOUT: why" on stderr, so every
// bad file is reported once.
std::string judgeFile(const char* kind, const char* leftOut, const char* path, const char* reader,
                      const std::string& argument, JudgedFile* file = nullptr);

// Whether a file of any kind is at path (links followed); never opens it.
bool fileExists(const char* path);

// Sets a file-name field without letting its node read the file: the name
// stays as spelled, the file is left out.
void setNameUnread(SoSFString& field, const char* name);

// A name as it may be printed on one line: control bytes become '?', and
// a long one keeps its first and last kShownNameHalf characters.
constexpr std::size_t kShownNameHalf = 80;
std::string printableName(const char* name);
