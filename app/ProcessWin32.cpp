#include "app/Process.h"
#include "files/Win32Text.h"

#include <shellapi.h>

#include <cstdio>
#include <vector>

void utf8Arguments(int& argc, char**& argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return;
  // Kept for the whole run, as the C library's own argv is.
  static std::vector<std::string> strings;
  static std::vector<char*> pointers;
  strings.clear();
  for (int i = 0; i < count; ++i) strings.push_back(files::utf8(wide[i]));
  LocalFree(wide);
  pointers.clear();
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  argc = count;
  argv = pointers.data();
}

void startWindowProgram() {
  // A windowed program gets no console. An output its starter redirected
  // (to a file or a pipe) is already its standard handle and stays; the
  // others go to the starter's console, when there is one.
  const auto redirected = [](DWORD which) {
    const HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
  };
  const bool out = redirected(STD_OUTPUT_HANDLE), err = redirected(STD_ERROR_HANDLE);
  if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!out && std::freopen("CONOUT$", "w", stdout) != nullptr) setvbuf(stdout, nullptr, _IONBF, 0);
  if (!err && std::freopen("CONOUT$", "w", stderr) != nullptr) setvbuf(stderr, nullptr, _IONBF, 0);
}

std::string executablePath() {
  std::wstring exe(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
  if (n == 0 || n >= exe.size()) return {};
  exe.resize(n);
  return files::utf8(exe);
}
