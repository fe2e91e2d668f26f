// The untrusted-file reader on Windows: files opened through their UTF-16
// names, and reader children that are the program itself started anew
// (fork has no counterpart), fed the bytes on their standard input and
// limited by a Job Object, which kills them when the parent closes it.

#include "files/System.h"
#include "files/Win32Text.h"

#include <Inventor/SoDB.h>

#include <fcntl.h>
#include <io.h>
#include <psapi.h>

#include <cstring>
#include <thread>

namespace {

// The first argument that makes a program a reader child.
constexpr const char* kChildFlag = "--reader-child";
// The exit status the parent gives a child it ends for taking too long.
constexpr DWORD kKilled = 0x0E0D0E0D;
// Besides kReadMemory and the bytes: the program and Coin themselves.
constexpr uint64_t kProgramMemory = uint64_t{64} << 20;
// How the child ends when it outgrows its memory by its own measure.
constexpr DWORD kNoMemory = 0xC0000017;  // STATUS_NO_MEMORY

uint64_t memoryLimit(std::size_t bytes) {
  return files::kReadMemory + kProgramMemory + uint64_t{2} * bytes;
}

// Wine takes a job's memory limit without enforcing it: the child watches
// its own use as well (committed, and resident, which is what Wine counts)
// and ends as the job would end it. Under Windows the job comes first.
void watchMemory(uint64_t limit) {
  std::thread([limit] {
    for (;;) {
      PROCESS_MEMORY_COUNTERS used{};
      used.cb = sizeof used;
      if (GetProcessMemoryInfo(GetCurrentProcess(), &used, sizeof used) &&
          (used.PagefileUsage > limit || used.WorkingSetSize > limit))
        TerminateProcess(GetCurrentProcess(), kNoMemory);
      Sleep(2);
    }
  }).detach();
}

std::string describe(DWORD code, const std::string& answer) {
  switch (code) {
    case 0:
      return {};
    case kKilled:
    case ERROR_NOT_ENOUGH_QUOTA:  // the job's time limit
      return files::kEndless;
    case 0xC00000FD:  // STATUS_STACK_OVERFLOW
    case 0xC0000005:  // STATUS_ACCESS_VIOLATION
    case 0xC0000006:  // STATUS_IN_PAGE_ERROR
    case 0xC000001D:  // STATUS_ILLEGAL_INSTRUCTION
    case 0xC0000094:  // STATUS_INTEGER_DIVIDE_BY_ZERO
      return files::kCrashed;
    case 3:  // abort() in Microsoft's C library
    case kNoMemory:
    case 0xC000012D:  // STATUS_COMMITMENT_LIMIT
    case 0xC0000409:  // STATUS_STACK_BUFFER_OVERRUN: a fast fail
      return files::kAborted;
    default:
      break;
  }
  if (code >= 0xC0000000) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
    return std::string("reading it dies of exception ") + hex;
  }
  return answer.empty() ? "cannot be read" : answer;
}

// A crash ends the child at once with the crash's code. Left to the system,
// Wine looks for a debugger and waits out the reader's whole time, and a
// stack overflow may not even get that far.
LONG WINAPI endAtCrash(EXCEPTION_POINTERS* crash) {
  const DWORD code = crash->ExceptionRecord->ExceptionCode;
  if (code == EXCEPTION_STACK_OVERFLOW || code == EXCEPTION_ACCESS_VIOLATION ||
      code == EXCEPTION_IN_PAGE_ERROR || code == EXCEPTION_ILLEGAL_INSTRUCTION ||
      code == EXCEPTION_INT_DIVIDE_BY_ZERO)
    TerminateProcess(GetCurrentProcess(), code);
  return EXCEPTION_CONTINUE_SEARCH;
}

bool writeAll(HANDLE out, const char* data, std::size_t size) {
  while (size > 0) {
    DWORD n = 0;
    const DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
    if (!WriteFile(out, data, chunk, &n, nullptr) || n == 0) return false;
    data += n;
    size -= n;
  }
  return true;
}

// A handle the child inherits; the parent's own ends are not inherited.
bool inheritedPipe(HANDLE& read, HANDLE& write, bool childReads) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (!CreatePipe(&read, &write, &inherit, 1 << 16)) return false;
  SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0);
  return true;
}

struct Handles {
  HANDLE h[8] = {};
  int n = 0;
  HANDLE add(HANDLE handle) { return h[n++] = handle; }
  ~Handles() {
    for (int i = 0; i < n; ++i)
      if (h[i] != nullptr && h[i] != INVALID_HANDLE_VALUE) CloseHandle(h[i]);
  }
};

}  // namespace

namespace files {

RegularFile::~RegularFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::string RegularFile::open(const char* path) {
  // Backup semantics open a folder too, so that it is refused as one.
  const HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return lastWords();
  BY_HANDLE_FILE_INFORMATION info;
  // A device (NUL, CON, COM1) or a pipe is no file on a disk.
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(h);
    return "not a regular file";
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  id_ = {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  return {};
}

std::string RegularFile::readAll(std::string& bytes) {
  bytes.clear();
  char chunk[1 << 16];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), chunk, sizeof chunk, &n, nullptr)) {
      bytes.clear();
      return lastWords();
    }
    if (n == 0) return {};
    if (bytes.size() + n > kMaxFileBytes) {
      bytes.clear();
      return "larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
    }
    bytes.append(chunk, n);
  }
}

std::FILE* RegularFile::release(std::string& problem) {
  const int fd = _open_osfhandle(handle_, _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    problem = "cannot be opened";
    return nullptr;
  }
  handle_ = -1;
  std::FILE* file = _fdopen(fd, "rb");
  if (file == nullptr) {
    problem = std::strerror(errno);
    _close(fd);
  }
  return file;
}

bool identify(const char* path, FileId& id) {
  const HANDLE h =
      CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (ok)
    id = {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  return ok;
}

int64_t monotonicMicroseconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<int64_t>(now.QuadPart / frequency.QuadPart * 1000000 +
                              now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart);
}

std::string runChild(const char* name, Reader, const std::string& bytes,
                     const std::string& argument, int64_t limit) {
  wchar_t exe[32768];
  const DWORD length = GetModuleFileNameW(nullptr, exe, sizeof exe / sizeof exe[0]);
  if (length == 0 || length >= sizeof exe / sizeof exe[0]) return kNoReader;
  std::wstring command = L"\"" + std::wstring(exe, length) + L"\" " + wide(kChildFlag);

  Handles handles;
  HANDLE inRead, inWrite, outRead, outWrite;
  if (!inheritedPipe(inRead, inWrite, true)) return kNoReader;
  handles.add(inRead);
  handles.add(inWrite);
  if (!inheritedPipe(outRead, outWrite, false)) return kNoReader;
  handles.add(outRead);
  handles.add(outWrite);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE nul =
      handles.add(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr));
  const HANDLE job = handles.add(CreateJobObjectW(nullptr, nullptr));
  if (job == nullptr) return kNoReader;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION |
      JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_PROCESS_TIME;
  limits.BasicLimitInformation.PerProcessUserTimeLimit.QuadPart = limit * 10;
  limits.ProcessMemoryLimit = static_cast<SIZE_T>(memoryLimit(bytes.size()));
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = inRead;
  start.hStdOutput = outWrite;
  start.hStdError = nul;
  PROCESS_INFORMATION child{};
  // Suspended until it is in the job, so that no instruction runs unlimited.
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                      CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &start, &child))
    return kNoReader;
  handles.add(child.hProcess);
  handles.add(child.hThread);
  if (!AssignProcessToJobObject(job, child.hProcess)) {
    TerminateProcess(child.hProcess, kKilled);
    return kNoReader;
  }
  ResumeThread(child.hThread);
  // Only the child holds these ends now: its end shows as the pipe's end.
  CloseHandle(inRead);
  CloseHandle(outWrite);
  handles.h[0] = handles.h[3] = nullptr;

  // Fed from a thread: a child that stops reading cannot hold the parent
  // past the limit. Its name and argument come first, then the bytes.
  const std::string head =
      std::string(name) + "\n" + std::to_string(argument.size()) + "\n" + argument;
  std::thread feeder([inWrite, &head, &bytes] {
    if (writeAll(inWrite, head.data(), head.size())) writeAll(inWrite, bytes.data(), bytes.size());
    CloseHandle(inWrite);
  });
  handles.h[1] = nullptr;
  const DWORD waitMs = static_cast<DWORD>((limit + 999) / 1000);
  if (WaitForSingleObject(child.hProcess, waitMs) != WAIT_OBJECT_0) {
    TerminateJobObject(job, kKilled);
    WaitForSingleObject(child.hProcess, INFINITE);
  }
  feeder.join();
  DWORD code = 0;
  if (!GetExitCodeProcess(child.hProcess, &code)) return kNoReader;
  char buffer[kAnswerBytes];
  DWORD got = 0, n = 0;
  while (got < sizeof buffer && ReadFile(outRead, buffer + got, sizeof buffer - got, &n, nullptr) &&
         n > 0)
    got += n;
  return describe(code, std::string(buffer, got));
}

}  // namespace files

int answerReaderChild(int argc, char** argv, void (*prepare)()) {
  if (argc != 2 || std::strcmp(argv[1], kChildFlag) != 0) return -1;
  // A crash ends the child at once, with no dialog waiting for a user.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  AddVectoredExceptionHandler(1, endAtCrash);
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  // The parent reports the outcome in one line; whatever the reader prints
  // stays out of the answer. A copy of the pipe's handle: the C library
  // closes its own when stdout goes elsewhere.
  HANDLE answer = INVALID_HANDLE_VALUE;
  DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_OUTPUT_HANDLE), GetCurrentProcess(),
                  &answer, 0, FALSE, DUPLICATE_SAME_ACCESS);
  std::freopen("NUL", "w", stdout);
  SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));

  std::string input;
  char chunk[1 << 16];
  DWORD n = 0;
  while (ReadFile(in, chunk, sizeof chunk, &n, nullptr) && n > 0) {
    if (input.size() + n > kMaxFileBytes + 4096) return 2;
    input.append(chunk, n);
  }
  const std::size_t nameEnd = input.find('\n');
  const std::size_t sizeEnd =
      nameEnd == std::string::npos ? nameEnd : input.find('\n', nameEnd + 1);
  if (sizeEnd == std::string::npos) return 2;
  const Reader reader = files::findReader(input.substr(0, nameEnd));
  const std::string size = input.substr(nameEnd + 1, sizeEnd - nameEnd - 1);
  if (reader == nullptr || size.empty() || size.size() > 9 ||
      size.find_first_not_of("0123456789") != std::string::npos)
    return 2;
  const std::size_t argumentSize = std::stoul(size);
  if (input.size() - sizeEnd - 1 < argumentSize) return 2;
  const std::string argument = input.substr(sizeEnd + 1, argumentSize);
  input.erase(0, sizeEnd + 1 + argumentSize);

  watchMemory(memoryLimit(input.size()));
  SoDB::init();
  if (prepare != nullptr) prepare();
  const std::string said = files::childAnswer(reader, input, argument);
  DWORD written = 0;
  if (!said.empty() &&
      !WriteFile(answer, said.data(), static_cast<DWORD>(said.size()), &written, nullptr))
    return 2;
  return said.empty() ? 0 : 1;
}
