#include "tools/snapshot/Options.h"

#include "state/KeyTable.h"

#include <cctype>
#include <filesystem>
#include <sstream>

using cli::parseInt64;
using cli::parseReal;

namespace {

// Larger frames than this are refused before any window is opened.
constexpr int kMaxSide = 8192;
// A flight of a day at 60 ticks per second is more than anyone scripts.
constexpr int64_t kMaxTicks = 60LL * 60 * 60 * 24;

struct KeyName {
  const char* name;
  int key;
};

const KeyName kHoldable[] = {
    {"w", KEY_W},       {"s", KEY_S},         {"up", KEY_UP},         {"down", KEY_DOWN},
    {"left", KEY_LEFT}, {"right", KEY_RIGHT}, {"return", KEY_RETURN}, {"space", KEY_SPACE},
    {"a", KEY_A},       {"n", KEY_N},
};

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool parseHold(const std::string& text, KeyHold& hold, std::string& error) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) {
    error = "--hold wants KEY:FIRST-LAST, got '" + text + "'";
    return false;
  }
  const std::string name = text.substr(0, colon);
  const std::string range = text.substr(colon + 1);
  const std::string lname = lower(name);
  if (lname == "escape" || lname == "esc") {
    error = "--hold: Escape would end the program; it cannot be held";
    return false;
  }
  if (lname == "tab") {
    error = "--hold: Tab acts on release; use --tab TICK";
    return false;
  }
  hold.key = holdableKey(name);
  if (hold.key < 0) {
    error = "--hold: unknown key '" + name + "' (W S Up Down Left Right Return Space A N)";
    return false;
  }
  const size_t dash = range.find('-');
  if (dash == std::string::npos || !parseInt64(range.substr(0, dash), hold.first) ||
      !parseInt64(range.substr(dash + 1), hold.last) || hold.first < 0 || hold.last < hold.first) {
    error = "--hold: '" + range + "' is not a tick range FIRST-LAST with 0 <= FIRST <= LAST";
    return false;
  }
  return true;
}

}  // namespace

int holdableKey(const std::string& name) {
  const std::string l = lower(name);
  for (const KeyName& k : kHoldable) {
    if (l == k.name) return k.key;
  }
  return -1;
}

cli::Program snapshotCommandLine(SnapshotOptions& o) {
  cli::Program p;
  p.name = "flightscene-snapshot";
  p.description =
      "Renders the flight scene in a hidden window after a scripted flight and\n"
      "writes it as PNG.";
  p.footer =
      "Example: flightscene-snapshot --ticks 300 --hold W:1-300 --hold Left:120-150\n"
      "A flight recorded with flightscene --record renders with --replay FILE.\n"
      "Exit status: 0 written, 1 rendering or writing failed, 2 bad options.\n";
  using E = std::string&;
  p.options = {
      {"size", "WxH", "image size in pixels (default 1024x768)",
       [&o](const std::string& v, E e) {
         if (cli::parseSize(v, kMaxSide, o.width, o.height)) return true;
         e = "--size wants WIDTHxHEIGHT, each 1.." + std::to_string(kMaxSide) + ", got '" + v + "'";
         return false;
       }},
      {"out", "FILE", "output PNG (default flightscene-snapshot.png)",
       [&o](const std::string& v, E e) {
         if (v.empty()) e = "--out needs a file name";
         o.out = v;
         return !v.empty();
       }},
      {"data", "DIR",
       "run directory with PlaneList.txt, img/ and models/\n(default " + o.data + ")",
       [&o](const std::string& v, E e) {
         if (v.empty()) e = "--data needs a directory";
         o.data = v;
         return !v.empty();
       }},
      {"ticks", "N",
       "fleet updates to run before the picture (default 0:\nthe camera has not yet moved "
       "behind the aircraft)",
       [&o](const std::string& v, E e) {
         o.scripted = true;
         if (parseInt64(v, o.ticks) && o.ticks >= 0 && o.ticks <= kMaxTicks) return true;
         e = "--ticks wants a whole number 0.." + std::to_string(kMaxTicks) + ", got '" + v + "'";
         return false;
       }},
      {"dt", "SECONDS", "time per tick (default 1/60)",
       [&o](const std::string& v, E e) {
         o.scripted = true;
         if (parseReal(v, o.dt) && o.dt > 0 && o.dt <= 3600) return true;
         e = "--dt wants seconds, more than 0 and at most 3600, got '" + v + "'";
         return false;
       }},
      {"hold", "KEY:A-B",
       "hold KEY during ticks A to B inclusive; repeatable.\nKEY: W S Up Down Left Right Return "
       "Space A N",
       [&o](const std::string& v, E e) {
         o.scripted = true;
         KeyHold hold;
         if (!parseHold(v, hold, e)) return false;
         o.holds.push_back(hold);
         return true;
       }},
      {"tab", "T",
       "press Tab at tick T and release it at T+1, which\nmoves the camera to the next "
       "aircraft; repeatable",
       [&o](const std::string& v, E e) {
         o.scripted = true;
         int64_t tick = 0;
         if (!parseInt64(v, tick) || tick < 1) {
           e = "--tab wants a tick number of at least 1, got '" + v + "'";
           return false;
         }
         o.tabs.push_back(tick);
         return true;
       }},
      {"frames", "K",
       "write K frames spread evenly over the ticks (every\ntick when K >= N) as FILE-0001.png, "
       "FILE-0002.png, ...\ninstead of one image",
       [&o](const std::string& v, E e) {
         if (parseInt64(v, o.frames) && o.frames >= 1 && o.frames <= 100000) return true;
         e = "--frames wants a count 1..100000, got '" + v + "'";
         return false;
       }},
      {"replay", "FILE",
       "fly the flight recorded in FILE (flightscene --record)\ninstead of a script: its ticks, "
       "keys and times",
       [&o](const std::string& v, E e) {
         std::error_code ec;
         if (!v.empty())
           o.replay = std::filesystem::absolute(std::filesystem::u8path(v), ec).u8string();
         if (v.empty() || ec) e = "--replay needs a file name";
         return e.empty();
       }},
      {"pitch", "DEG",
       "after the flight, tilt the camera DEG degrees up\n(negative: down), keeping its heading "
       "and position",
       [&o](const std::string& v, E e) {
         if (parseReal(v, o.pitchDegrees) && o.pitchDegrees >= -90 && o.pitchDegrees <= 90) {
           o.pitchSet = true;
           return true;
         }
         e = "--pitch wants degrees -90..90, got '" + v + "'";
         return false;
       }},
      {"cloud-quality", "Q",
       "how the clouds are drawn: every-frame (default: sliced\nin each frame, reduced when "
       "heavy) or reference (full\nresolution, two slices per voxel)",
       [&o](const std::string& v, E e) {
         const std::string names[2] = {"reference", "every-frame"};
         for (int q = 0; q < 2; ++q)
           if (lower(v) == names[q]) {
             o.cloudQuality = q;
             return true;
           }
         e = "--cloud-quality wants every-frame or reference, got '" + v + "'";
         return false;
       }},
      {"no-clouds", "", "draw the scene without its clouds",
       [&o](const std::string&, E) {
         o.noClouds = true;
         return true;
       }},
  };
  p.finish = [&o](const std::vector<std::string>& operands, E e) {
    if (!operands.empty()) {
      e = "unexpected argument '" + operands.front() + "'";
      return false;
    }
    if (!o.replay.empty() && o.scripted) {
      e = "--replay takes the ticks, keys and times from the recording: no --ticks, --dt, "
          "--hold or --tab";
      return false;
    }
    // The release of a stroke at T is seen by the update of tick T + 1.
    for (int64_t tab : o.tabs) {
      if (tab >= o.ticks) {
        std::ostringstream s;
        // Unsigned: the tick after the largest integer still has a name.
        s << "--tab " << tab << " is released at tick " << static_cast<uint64_t>(tab) + 1u
          << ", after the last tick " << o.ticks << "; raise --ticks";
        e = s.str();
        return false;
      }
    }
    return true;
  };
  return p;
}
