// What the GL driver needs from the process before it starts: threads,
// a shader cache it can write, and address space for the first frame. The
// software GL (llvmpipe) does not fail cleanly without them: it waits for
// ever for a worker thread that could not start, dies of SIGBUS when its
// cache file cannot grow on a full disk, and of SIGSEGV when a 3-D texture
// upload finds no memory.

#include "window/Window.h"

#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace win {

namespace {

// Threads that must run at once: with fewer the driver hangs (measured with
// ulimit -u: a limit of 2 processes hangs, 3 draws on fewer workers).
constexpr int kDriverThreads = 2;

// Free space below which the shader cache is not used: it maps an index
// file of about 1.3 MiB and fills it page by page.
constexpr unsigned long long kCacheRoomBytes = 16ull << 20;

void* waitForRelease(void* gate) {
  pthread_mutex_lock(static_cast<pthread_mutex_t*>(gate));
  pthread_mutex_unlock(static_cast<pthread_mutex_t*>(gate));
  return nullptr;
}

// Empty when kDriverThreads threads can run at once; else why not.
std::string threadProblem() {
  pthread_mutex_t gate = PTHREAD_MUTEX_INITIALIZER;
  pthread_mutex_lock(&gate);
  pthread_t threads[kDriverThreads];
  int started = 0, error = 0;
  for (; started < kDriverThreads; ++started) {
    error = pthread_create(&threads[started], nullptr, waitForRelease, &gate);
    if (error != 0) break;
  }
  pthread_mutex_unlock(&gate);
  for (int i = 0; i < started; ++i) pthread_join(threads[i], nullptr);
  if (error == 0) return {};
  return std::string("cannot start the threads the OpenGL driver needs (") + std::strerror(error) +
         "; see ulimit -u)";
}

std::string cacheDir() {
  if (const char* dir = std::getenv("MESA_SHADER_CACHE_DIR"); dir && *dir) return dir;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg)
    return std::string(xdg) + "/mesa_shader_cache";
  if (const char* home = std::getenv("HOME"); home && *home)
    return std::string(home) + "/.cache/mesa_shader_cache";
  return {};
}

// The cache folder, or the nearest folder above it that exists, can be
// written and has room.
bool cacheUsable(std::string dir) {
  while (!dir.empty() && ::access(dir.c_str(), F_OK) != 0) {
    const std::size_t slash = dir.find_last_of('/');
    dir = slash == std::string::npos ? std::string() : dir.substr(0, slash);
  }
  if (dir.empty()) dir = ".";
  struct statvfs fs;
  if (::access(dir.c_str(), W_OK | X_OK) != 0 || ::statvfs(dir.c_str(), &fs) != 0) return false;
  if (fs.f_flag & ST_RDONLY) return false;
  return static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize >= kCacheRoomBytes;
}

unsigned long long addressSpaceInUse() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  unsigned long long pages = 0;
  if (f != nullptr) {
    if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  return pages * static_cast<unsigned long long>(sysconf(_SC_PAGESIZE));
}

}  // namespace

std::string driverProblem() {
  const char* off = std::getenv("MESA_SHADER_CACHE_DISABLE");
  if ((off == nullptr || *off == '\0') && !cacheUsable(cacheDir()))
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
  return threadProblem();
}

std::string drawingRoomProblem() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return {};
  // A trial reservation: what the limit leaves must also lie in one piece.
  void* room = ::mmap(nullptr, kDrawingRoomBytes, PROT_NONE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (room != MAP_FAILED) {
    ::munmap(room, kDrawingRoomBytes);
    return {};
  }
  const unsigned long long needed = (addressSpaceInUse() + kDrawingRoomBytes) >> 10;
  return "too little address space to draw the scene (ulimit -v " +
         std::to_string(static_cast<unsigned long long>(limit.rlim_cur) >> 10) +
         " KiB; it needs more than " + std::to_string(needed) + " KiB)";
}

}  // namespace win
