#include "app/AppOptions.h"

#include "aircraft/PlaneListFile.h"
#include "app/DataDir.h"
#include "app/FlightRecorder.h"
#include "app/Replay.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

namespace {

constexpr int kMaxSide = 16384;

// Absolute before --data changes the working directory.
bool absoluteFile(const std::string& option, const std::string& value, std::string& path,
                  const std::string& other, std::string& error) {
  if (!other.empty()) {
    error = "--record and --replay exclude each other";
    return false;
  }
  std::error_code ec;
  if (!value.empty())
    path = std::filesystem::absolute(std::filesystem::u8path(value), ec).u8string();
  if (value.empty() || ec) error = "--" + option + " needs a file name";
  return error.empty();
}

}  // namespace

cli::Program appCommandLine(AppOptions& o) {
  cli::Program p;
  p.name = "flightscene";
  p.description =
      "An interactive 3-D flight scene with volumetric clouds. Fly with the arrow\n"
      "keys, W and S; Tab picks the next aircraft, Escape quits. A flight can be\n"
      "recorded and replayed exactly.";
  p.footer =
      "Without --data an installed flightscene flies the shipped scene, and one in\n"
      "a build tree reads PlaneList.txt, models and img/ from the working directory.\n"
      "Exit status: 0 on Escape or window close, 1 on an unusable list file, data\n"
      "directory, recording, display or OpenGL, 2 on bad options. See flightscene(6).\n";
  using E = std::string&;
  p.options = {
      {"data", "DIR", "work in DIR (PlaneList.txt, models, img/), as if\nstarted there",
       [&o](const std::string& v, E e) {
         if (v.empty()) e = "--data needs a directory";
         o.data = v;
         return !v.empty();
       }},
      {"size", "WxH", "window size in pixels (default 1024x768)",
       [&o](const std::string& v, E e) {
         if (cli::parseSize(v, kMaxSide, o.window.width, o.window.height)) return true;
         e = "--size wants WIDTHxHEIGHT, each 1.." + std::to_string(kMaxSide) + ", got '" + v + "'";
         return false;
       }},
      {"fullscreen", "", "fill the primary monitor (F11 toggles)",
       [&o](const std::string&, E) { return o.window.fullscreen = true; }},
      {"screenshot-dir", "DIR", "F12 saves a PNG of the window in DIR",
       [&o](const std::string& v, E e) {
         // Absolute before --data changes the working directory.
         std::error_code ec;
         const std::filesystem::path path =
             v.empty() ? std::filesystem::path()
                       : std::filesystem::canonical(std::filesystem::u8path(v), ec);
         const bool ok = !v.empty() && !ec && std::filesystem::is_directory(path, ec);
         if (ok) o.screenshotDir = path.u8string();
         if (!ok) e = "--screenshot-dir wants an existing directory, got '" + v + "'";
         return ok;
       }},
      {"record", "FILE", "write the flight to FILE as it is flown",
       [&o](const std::string& v, E e) {
         return absoluteFile("record", v, o.record, o.replay, e);
       }},
      {"replay", "FILE",
       "fly the flight recorded in FILE again; Escape, P, V,\nH, F1, F11 and the mouse stay live",
       [&o](const std::string& v, E e) {
         return absoluteFile("replay", v, o.replay, o.record, e);
       }},
  };
  return p;
}

bool enterDataDir(const AppOptions& options) {
  const std::string dir = options.data.empty() ? installedDataDir() : options.data;
  if (dir.empty()) return true;
  std::error_code ec;
  std::filesystem::current_path(std::filesystem::u8path(dir), ec);
  if (!ec) return true;
  std::fprintf(stderr, "flightscene: cannot use %s as the data directory: %s\n", dir.c_str(),
               ec.message().c_str());
  return false;
}

bool prepareRecorder(const AppOptions& options, FlightRecorder& recorder,
                     std::optional<Replay>& replay) {
  if (options.record.empty() && options.replay.empty()) return true;
  // Both compare the list's bytes: a missing list says so first, as always.
  requirePlaneListFile();
  std::string problem;
  if (!options.record.empty()) {
    problem = recorder.open(options.record);
  } else {
    FlightRecording recording;
    problem = readFlightRecording(options.replay, recording);
    if (problem.empty()) problem = recordingListProblem(options.replay, recording);
    if (problem.empty() && !recording.ended)
      std::fprintf(stderr, "flightscene: %s\n", cutShortNote(options.replay, recording).c_str());
    if (problem.empty()) replay.emplace(std::move(recording));
  }
  if (problem.empty()) return true;
  std::fprintf(stderr, "flightscene: %s\n", problem.c_str());
  return false;
}
