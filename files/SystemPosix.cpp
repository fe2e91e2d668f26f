// The untrusted-file reader on POSIX systems (Linux): descriptors opened
// without blocking, and reader children forked with rlimits and a timer.

#include "files/System.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr rlim_t kReadStack = rlim_t{64} << 20;

FileId idOf(const struct stat& st) {
  return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// Lowers a limit, never raises it: the child must fail wherever the
// program itself would.
void setLimit(int resource, rlim_t value) {
  struct rlimit limit;
  if (getrlimit(resource, &limit) != 0) return;
  if (limit.rlim_cur != RLIM_INFINITY) value = std::min(value, limit.rlim_cur);
  limit.rlim_cur = value;
  setrlimit(resource, &limit);
}

// Address space in use now, so the limit leaves the child kReadMemory more.
rlim_t addressSpaceInUse() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  unsigned long pages = 0;
  if (f != nullptr) {
    if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

[[noreturn]] void childMain(int answerFd, int64_t limit, Reader reader, const std::string& bytes,
                            const std::string& argument) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGALRM, SIG_DFL);
  signal(SIGXCPU, SIG_DFL);
  setLimit(RLIMIT_CORE, 0);
  setLimit(RLIMIT_CPU, static_cast<rlim_t>((limit + 999999) / 1000000));
  setLimit(RLIMIT_STACK, kReadStack);
  const rlim_t inUse = addressSpaceInUse();
  if (inUse > 0) setLimit(RLIMIT_AS, inUse + files::kReadMemory);
  // A blocked open uses no CPU time.
  struct itimerval timer = {};
  timer.it_value.tv_sec = static_cast<time_t>(limit / 1000000);
  timer.it_value.tv_usec = static_cast<suseconds_t>(limit % 1000000);
  setitimer(ITIMER_REAL, &timer, nullptr);
  // The parent reports the outcome in one line; whatever the reader or a
  // crash handler would print stays out of the program's output.
  const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (devNull >= 0) {
    ::dup2(devNull, STDOUT_FILENO);
    ::dup2(devNull, STDERR_FILENO);
  }
  const std::string answer = files::childAnswer(reader, bytes, argument);
  if (!answer.empty() && ::write(answerFd, answer.data(), answer.size()) < 0) _exit(2);
  _exit(answer.empty() ? 0 : 1);
}

std::string describe(int status, const std::string& answer) {
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  if (WIFEXITED(status)) return answer.empty() ? "cannot be read" : answer;
  const int sig = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  if (sig == SIGALRM || sig == SIGXCPU || sig == SIGKILL) return files::kEndless;
  if (sig == SIGSEGV || sig == SIGBUS) return files::kCrashed;
  if (sig == SIGABRT) return files::kAborted;
  return "reading it dies of signal " + std::to_string(sig);
}

}  // namespace

namespace files {

RegularFile::~RegularFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

std::string RegularFile::open(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return "not a regular file";
  }
  handle_ = fd;
  id_ = idOf(st);
  return {};
}

std::string RegularFile::readAll(std::string& bytes) {
  bytes.clear();
  char chunk[1 << 16];
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle_), chunk, sizeof chunk);
    if (n == 0) return {};
    if (n < 0) {
      if (errno == EINTR) continue;
      bytes.clear();
      return std::strerror(errno);
    }
    if (bytes.size() + static_cast<std::size_t>(n) > kMaxFileBytes) {
      bytes.clear();
      return "larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
    }
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
}

std::FILE* RegularFile::release(std::string& problem) {
  std::FILE* file = ::fdopen(static_cast<int>(handle_), "rb");
  if (file == nullptr) {
    problem = std::strerror(errno);
    return nullptr;
  }
  handle_ = -1;
  return file;
}

bool identify(const char* path, FileId& id) {
  struct stat st;
  if (::stat(path, &st) != 0) return false;
  id = idOf(st);
  return true;
}

int64_t monotonicMicroseconds() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t{t.tv_sec} * 1000000 + t.tv_nsec / 1000;
}

std::string runChild(const char*, Reader reader, const std::string& bytes,
                     const std::string& argument, int64_t limit) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return kNoReader;
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return kNoReader;
  }
  if (pid == 0) {
    ::close(fds[0]);
    childMain(fds[1], limit, reader, bytes, argument);
  }
  ::close(fds[1]);
  char buffer[kAnswerBytes];
  std::size_t got = 0;
  while (got < sizeof buffer) {
    const ssize_t n = ::read(fds[0], buffer + got, sizeof buffer - got);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return kNoReader;
  }
  return describe(status, std::string(buffer, got));
}

}  // namespace files

// A forked child answers in place; no program is started as one.
int answerReaderChild(int, char**, void (*)()) { return -1; }
