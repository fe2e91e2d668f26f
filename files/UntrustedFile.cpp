#include "files/UntrustedFile.h"

#include <Inventor/errors/SoDebugError.h>
#include <Inventor/errors/SoReadError.h>
#include <Inventor/fields/SoSFString.h>

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
#include <map>
#include <tuple>
#include <utility>

namespace {

constexpr std::size_t kAnswerBytes = 200;
constexpr rlim_t kReadMemory = rlim_t{1} << 30;
constexpr rlim_t kReadStack = rlim_t{64} << 20;

constexpr const char* kEndless = "reading it does not end";
constexpr const char* kNoTimeLeft = "no time is left to read it";

// What is left of kReadBudgetSeconds, in microseconds.
int64_t budgetLeft = int64_t{kReadBudgetSeconds} * 1000000;

int64_t nowMicroseconds() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t{t.tv_sec} * 1000000 + t.tv_nsec / 1000;
}

// The child's first Coin error, as one line.
std::string firstError;
bool readerChild = false;

void keepFirstError(const SoError* error, void*) {
  if (!firstError.empty()) return;
  const char* text = error->getDebugString().getString();
  const char* end = std::strchr(text, '\n');
  firstError.assign(text, end ? end - text : std::strlen(text));
}

void keepDebugError(const SoError* error, void* data) {
  // Warnings (an unknown field, say) leave the file readable.
  if (static_cast<const SoDebugError*>(error)->getSeverity() == SoDebugError::ERROR)
    keepFirstError(error, data);
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

[[noreturn]] void childMain(int answerFd, int64_t limit, const std::function<std::string()>& read) {
  readerChild = true;
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGALRM, SIG_DFL);
  signal(SIGXCPU, SIG_DFL);
  setLimit(RLIMIT_CORE, 0);
  setLimit(RLIMIT_CPU, static_cast<rlim_t>((limit + 999999) / 1000000));
  setLimit(RLIMIT_STACK, kReadStack);
  const rlim_t inUse = addressSpaceInUse();
  if (inUse > 0) setLimit(RLIMIT_AS, inUse + kReadMemory);
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

  SoReadError::setHandlerCallback(keepFirstError, nullptr);
  SoDebugError::setHandlerCallback(keepDebugError, nullptr);
  std::string answer;
  try {
    answer = read();
  } catch (...) {
    answer = "out of memory";
  }
  if (answer.empty()) answer = firstError;
  const std::size_t n = std::min(answer.size(), kAnswerBytes);
  if (n > 0 && ::write(answerFd, answer.data(), n) < 0) _exit(2);
  _exit(answer.empty() ? 0 : 1);
}

std::string describe(int status, const std::string& answer) {
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  if (WIFEXITED(status)) return answer.empty() ? "cannot be read" : answer;
  const int sig = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  if (sig == SIGALRM || sig == SIGXCPU || sig == SIGKILL) return kEndless;
  if (sig == SIGSEGV || sig == SIGBUS) return "reading it overflows the stack or crashes";
  if (sig == SIGABRT) return "reading it runs out of memory or aborts";
  return "reading it dies of signal " + std::to_string(sig);
}

// A descriptor of the regular file at path, or -1 with why not.
int openRegular(const char* path, struct stat& st, std::string& problem) {
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    problem = std::strerror(errno);
    return -1;
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    problem = "not a regular file";
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string readAll(int fd, std::string& bytes) {
  bytes.clear();
  char chunk[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
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

FileId idOf(const struct stat& st) {
  return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

}  // namespace

std::string readRegularFile(const char* path, std::string& bytes, FileId* id) {
  bytes.clear();
  struct stat st;
  std::string problem;
  const int fd = openRegular(path, st, problem);
  if (fd < 0) return problem;
  if (id != nullptr) *id = idOf(st);
  problem = readAll(fd, bytes);
  ::close(fd);
  return problem;
}

std::FILE* openRegularFile(const char* path, std::string* problem) {
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (problem != nullptr) *problem = std::strerror(errno);
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (problem != nullptr) *problem = "not a regular file";
    ::close(fd);
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "r");
  if (file == nullptr) {
    if (problem != nullptr) *problem = std::strerror(errno);
    ::close(fd);
  }
  return file;
}

std::string regularFileProblem(const char* path) {
  std::string problem;
  if (std::FILE* file = openRegularFile(path, &problem)) std::fclose(file);
  return problem;
}

std::string readInChild(const std::function<std::string()>& read) {
  const int64_t limit = std::min(int64_t{kReadSeconds} * 1000000, budgetLeft);
  if (limit <= 0) return kNoTimeLeft;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return "cannot start a reader";
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return "cannot start a reader";
  }
  const int64_t start = nowMicroseconds();
  if (pid == 0) {
    ::close(fds[0]);
    childMain(fds[1], limit, read);
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
    if (errno != EINTR) return "cannot start a reader";
  }
  budgetLeft -= nowMicroseconds() - start;
  std::string problem = describe(status, std::string(buffer, got));
  // Cut short by the budget, the file may well have ended given its time.
  if (problem == kEndless && limit < int64_t{kReadSeconds} * 1000000) problem = kNoTimeLeft;
  return problem;
}

const std::string& childFirstError() { return firstError; }

bool inReaderChild() { return readerChild; }

std::string printableName(const char* name) {
  std::string s(name);
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  // A path's start and its file name tell which file it is.
  return shortened(s, kShownNameHalf, kShownNameHalf);
}

std::string judgeFile(const char* kind, const char* leftOut, const char* path,
                      const std::function<std::string(const std::string& bytes)>& read,
                      JudgedFile* file) {
  // One file under many spellings ("x", "./x", "d//x", links) is one file:
  // keyed by device and inode, it is read once. A name that does not lead
  // to a file at all is keyed by its spelling.
  using Key = std::tuple<std::string, uint64_t, uint64_t, std::string>;
  static std::map<Key, std::string> verdicts;
  JudgedFile local;
  JudgedFile& judged = file != nullptr ? *file : local;
  judged = JudgedFile();
  struct stat st;
  std::string problem;
  const int fd = openRegular(path, st, problem);
  if (fd >= 0 || ::stat(path, &st) == 0) {
    judged.id = idOf(st);
    judged.identified = true;
  }
  const Key key = judged.identified ? Key(kind, judged.id.device, judged.id.inode, std::string())
                                    : Key(kind, 0, 0, std::string(path));
  auto found = verdicts.find(key);
  if (found != verdicts.end()) {
    if (fd >= 0) ::close(fd);
    judged.cached = true;
    return found->second;
  }
  if (fd >= 0) {
    problem = readAll(fd, judged.bytes);
    ::close(fd);
  }
  if (problem.empty()) {
    const std::string& bytes = judged.bytes;
    problem = readInChild([&read, &bytes] { return read(bytes); });
  }
  if (!problem.empty()) {
    judged.bytes.clear();
    std::fprintf(stderr, "%s %s %s: %s\n", kind, printableName(path).c_str(), leftOut,
                 problem.c_str());
  }
  verdicts.emplace(key, problem);
  return problem;
}

void setNameUnread(SoSFString& field, const char* name) {
  const SbBool notify = field.enableNotify(FALSE);
  field.setValue(name);
  field.enableNotify(notify);
}
