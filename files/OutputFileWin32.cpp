// OutputFile on Windows: a hidden file in the target's folder, marked for
// deletion until it is put in place with MoveFileExW, and share modes as
// locks: a writer holds its files open for writing and shares reading only,
// so a second writer's open fails while readers still read.

#include "files/OutputFile.h"
#include "files/Win32Text.h"

#include <io.h>

#include <cstdlib>
#include <ctime>

namespace {
// Which file a name leads to: the volume's serial number and the file's index.
struct Identity {
  uint64_t volume = 0, index = 0;
  bool operator==(const Identity& o) const { return volume == o.volume && index == o.index; }
};
}  // namespace

struct OutputFile::System {
  HANDLE file = INVALID_HANDLE_VALUE;  // the new file
  HANDLE old = INVALID_HANDLE_VALUE;   // the file to be replaced, held; none when unwritable
  Identity oldId;
  Identity ours;  // the new file's, taken before it is renamed
  bool hadOld = false;
  std::wstring folder;     // the target's folder, with its separator
  std::wstring temporary;  // the new file's hidden name in the folder
};

namespace {

constexpr DWORD kShareWithReaders = FILE_SHARE_READ | FILE_SHARE_DELETE;

std::wstring hiddenName(unsigned attempt) {
  static const wchar_t digits[] = L"0123456789abcdefghijklmnopqrstuv";
  uint64_t mix = (static_cast<uint64_t>(GetCurrentProcessId()) << 20) ^ attempt ^
                 (static_cast<uint64_t>(std::rand()) << 32) ^ static_cast<uint64_t>(time(nullptr));
  std::wstring name = L".fs";
  for (int i = 0; i < 8; ++i, mix >>= 5) name += digits[mix & 31u];
  return name;
}

bool identityOf(HANDLE h, Identity& id, DWORD* attributes = nullptr) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return false;
  id = {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  if (attributes) *attributes = info.dwFileAttributes;
  return true;
}

// The file at path, of any kind, without opening its contents.
bool identityAt(const std::wstring& path, Identity& id, DWORD* attributes = nullptr,
                bool* isDisk = nullptr) {
  const HANDLE h =
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  if (isDisk) *isDisk = GetFileType(h) == FILE_TYPE_DISK;
  const bool ok = identityOf(h, id, attributes);
  CloseHandle(h);
  return ok;
}

bool isRegular(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0; }

// The file at path held for writing, or INVALID_HANDLE_VALUE; `busy` when
// another writer holds it.
HANDLE hold(const std::wstring& path, bool& busy) {
  const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, kShareWithReaders, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  busy = h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
  return h;
}

bool setDeleteOnClose(HANDLE h, bool on) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = on ? TRUE : FALSE;
  return SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

}  // namespace

OutputFile::~OutputFile() { close(); }

void OutputFile::close() {
  if (!system_) return;
  System& s = *system_;
  // One not yet placed is marked for deletion: closing it removes it.
  if (s.file != INVALID_HANDLE_VALUE) CloseHandle(s.file);
  if (s.old != INVALID_HANDLE_VALUE) CloseHandle(s.old);
  delete system_;
  system_ = nullptr;
}

std::string OutputFile::create(const std::string& path, Mode mode) {
  close();
  placed_ = replaced_ = false;
  mode_ = mode;
  target_ = path;
  const std::wstring wpath = files::wide(path);
  const DWORD attributes = GetFileAttributesW(wpath.c_str());
  // A link is followed in the replacing mode: the file it names is the one
  // replaced. A name that must be free is taken by any link.
  if (mode == Mode::Replace && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    const HANDLE h =
        CreateFileW(wpath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "a link to nothing";
    wchar_t real[32768];
    const DWORD n = GetFinalPathNameByHandleW(h, real, 32768, FILE_NAME_NORMALIZED);
    CloseHandle(h);
    if (n == 0 || n >= 32768) return files::lastWords();
    std::wstring resolved(real, n);
    if (resolved.rfind(L"\\\\?\\", 0) == 0) resolved.erase(0, 4);
    target_ = files::utf8(resolved);
  }
  const std::size_t slash = target_.find_last_of("/\\");
  system_ = new System;
  System& s = *system_;
  const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  s.folder =
      files::wide(slash == std::string::npos ? std::string(".\\") : target_.substr(0, slash + 1));
  const DWORD folder = GetFileAttributesW(s.folder.c_str());
  if (folder == INVALID_FILE_ATTRIBUTES || (folder & FILE_ATTRIBUTE_DIRECTORY) == 0)
    return "no such directory";
  if (name.empty() || name == "." || name == "..") return "not a regular file";

  const std::wstring target = files::wide(target_);
  DWORD oldAttributes = 0;
  bool disk = true;
  if (mode == Mode::Replace && identityAt(target, s.oldId, &oldAttributes, &disk)) {
    if (!disk || !isRegular(oldAttributes)) return "not a regular file";
    s.hadOld = true;
    bool busy = false;
    // A file we may not write is still replaced; it just cannot be held.
    s.old = hold(target, busy);
    if (busy) return "another program is writing it";
  }

  for (unsigned attempt = 0; attempt < 100 && s.file == INVALID_HANDLE_VALUE; ++attempt) {
    s.temporary = hiddenName(attempt);
    s.file = CreateFileW((s.folder + s.temporary).c_str(), GENERIC_WRITE | DELETE,
                         kShareWithReaders, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr);
    if (s.file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (s.file == INVALID_HANDLE_VALUE) return files::lastWords();
  // Known by its identity from now: after a rename Wine gives the handle no
  // volume serial number.
  identityOf(s.file, s.ours);
  // A program killed before the file is placed leaves nothing behind.
  setDeleteOnClose(s.file, true);
  return "";
}

std::string OutputFile::write(const void* data, std::size_t size) {
  if (!system_ || system_->file == INVALID_HANDLE_VALUE) return "not open";
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD n = 0;
    if (!WriteFile(system_->file, bytes, chunk, &n, nullptr)) return files::lastWords();
    if (n == 0) return "nothing written";
    bytes += n;
    size -= n;
  }
  return "";
}

std::string OutputFile::sync() {
  if (!system_ || system_->file == INVALID_HANDLE_VALUE) return "not open";
  if (!FlushFileBuffers(system_->file)) return files::lastWords();
  return "";
}

std::string OutputFile::placeAs(const std::string& name, bool* taken) {
  if (!system_ || system_->file == INVALID_HANDLE_VALUE) return "not open";
  const std::size_t slash = target_.find_last_of("/\\");
  target_ = (slash == std::string::npos ? std::string() : target_.substr(0, slash + 1)) + name;
  return place(taken);
}

std::string OutputFile::place(bool* taken) {
  if (taken) *taken = false;
  if (!system_ || system_->file == INVALID_HANDLE_VALUE) return "not open";
  if (placed_) return "";
  System& s = *system_;
  const std::wstring target = files::wide(target_);
  const std::wstring from = s.folder + s.temporary;
  DWORD flags = MOVEFILE_WRITE_THROUGH;
  if (mode_ == Mode::Replace) {
    Identity now;
    DWORD attributes = 0;
    bool disk = true;
    if (identityAt(target, now, &attributes, &disk)) {
      if (!disk || !isRegular(attributes)) return "not a regular file";
      // A file put there since create by another writer is theirs.
      const bool ours = s.hadOld && now == s.oldId;
      bool busy = false;
      if (!ours) {
        const HANDLE h = hold(target, busy);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
      }
      if (busy) return "another program is writing it";
      replaced_ = true;
    }
    // A file that is open cannot be replaced; it was held only against
    // other writers.
    if (s.old != INVALID_HANDLE_VALUE) {
      CloseHandle(s.old);
      s.old = INVALID_HANDLE_VALUE;
    }
    flags |= MOVEFILE_REPLACE_EXISTING;
  }
  setDeleteOnClose(s.file, false);
  if (!MoveFileExW(from.c_str(), target.c_str(), flags)) {
    const DWORD error = GetLastError();
    setDeleteOnClose(s.file, true);
    replaced_ = false;
    if (mode_ == Mode::NeverReplace &&
        (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)) {
      if (taken) *taken = true;
      return "the name is taken";
    }
    return files::systemWords(error);
  }
  // Visible as any other file once it has its name.
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  s.temporary.clear();
  placed_ = true;
  return "";
}

bool OutputFile::stillInPlace() const {
  if (!system_ || !placed_) return false;
  Identity named;
  return identityAt(files::wide(target_), named) && named == system_->ours;
}

bool OutputFile::sameFile(const std::string& a, const std::string& b) {
  Identity ia, ib;
  return identityAt(files::wide(a), ia) && identityAt(files::wide(b), ib) && ia == ib;
}

std::string OutputFile::folderProblem(const std::string& folder) {
  // Only a read-only folder is known beforehand; access rules show when
  // the file is made.
  return _waccess(files::wide(folder).c_str(), 2) == 0 ? std::string() : "Permission denied";
}
