#include "app/HudFont.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <initializer_list>

void prepareFonts() {}

namespace {
int CALLBACK found(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM seen) {
  *reinterpret_cast<bool*>(seen) = true;
  return 0;
}
}  // namespace

std::string hudFontName() {
  // Windows has Consolas since Vista and Lucida Console before it. Wine
  // has neither: it offers the Linux system's fonts (measured on Debian 12:
  // DejaVu Sans Mono, which Linux draws the cockpit in, and Liberation
  // Mono) and not even its own Courier. Asked for a face it lacks, the
  // font API picks a proportional one without a word.
  const HDC screen = GetDC(nullptr);
  std::string name = "Courier";
  for (const wchar_t* face :
       {L"Consolas", L"Lucida Console", L"Courier New", L"DejaVu Sans Mono", L"Liberation Mono"}) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
    bool seen = false;
    EnumFontFamiliesExW(screen, &wanted, found, reinterpret_cast<LPARAM>(&seen), 0);
    if (seen) {
      char narrow[LF_FACESIZE];
      WideCharToMultiByte(CP_UTF8, 0, face, -1, narrow, sizeof narrow, nullptr, nullptr);
      name = narrow;
      break;
    }
  }
  ReleaseDC(nullptr, screen);
  return name;
}
