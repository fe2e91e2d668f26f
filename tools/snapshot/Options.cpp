#include "tools/snapshot/Options.h"

#include "state/KeyTable.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <sstream>

namespace {

// Larger frames than this are refused before any window is opened.
constexpr int64_t kMaxSide = 8192;
// A flight of a day at 60 ticks per second is more than anyone scripts.
constexpr int64_t kMaxTicks = 60LL * 60 * 60 * 24;

struct KeyName {
  const char* name;
  int key;
};

const KeyName kHoldable[] = {
    {"w", KEY_W},         {"s", KEY_S},         {"up", KEY_UP},         {"down", KEY_DOWN},
    {"left", KEY_LEFT},   {"right", KEY_RIGHT}, {"return", KEY_RETURN}, {"space", KEY_SPACE},
    {"a", KEY_A},         {"n", KEY_N},
};

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool parseSize(const std::string& text, int& width, int& height) {
  const size_t x = lower(text).find('x');
  if (x == std::string::npos) return false;
  int64_t w = 0, h = 0;
  if (!parseInt64(text.substr(0, x), w) || !parseInt64(text.substr(x + 1), h)) return false;
  if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
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
      !parseInt64(range.substr(dash + 1), hold.last) || hold.first < 0 ||
      hold.last < hold.first) {
    error = "--hold: '" + range + "' is not a tick range FIRST-LAST with 0 <= FIRST <= LAST";
    return false;
  }
  return true;
}

}  // namespace

bool parseInt64(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

bool parseReal(const std::string& text, double& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

int holdableKey(const std::string& name) {
  const std::string l = lower(name);
  for (const KeyName& k : kHoldable) {
    if (l == k.name) return k.key;
  }
  return -1;
}

ParseStatus parseOptions(const std::vector<std::string>& args, SnapshotOptions& options,
                         std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool hasValue = false;
    if (name == "--help" || name == "-h") return ParseStatus::Help;
    if (name.rfind("--", 0) != 0) {
      error = "unexpected argument '" + name + "'";
      return ParseStatus::Error;
    }
    const size_t eq = name.find('=');
    if (eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    static const char* const kWithValue[] = {"--size", "--out",  "--data",   "--ticks",
                                             "--dt",   "--hold", "--tab",    "--frames",
                                             "--pitch"};
    bool known = false;
    for (const char* k : kWithValue) known = known || name == k;
    if (!known) {
      error = "unknown option '" + name + "'";
      return ParseStatus::Error;
    }
    if (!hasValue) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return ParseStatus::Error;
      }
      value = args[++i];
    }

    if (name == "--size") {
      if (!parseSize(value, options.width, options.height)) {
        error = "--size wants WIDTHxHEIGHT, each 1.." + std::to_string(kMaxSide) + ", got '" +
                value + "'";
        return ParseStatus::Error;
      }
    } else if (name == "--out") {
      if (value.empty()) {
        error = "--out needs a file name";
        return ParseStatus::Error;
      }
      options.out = value;
    } else if (name == "--data") {
      if (value.empty()) {
        error = "--data needs a directory";
        return ParseStatus::Error;
      }
      options.data = value;
    } else if (name == "--ticks") {
      if (!parseInt64(value, options.ticks) || options.ticks < 0 || options.ticks > kMaxTicks) {
        error = "--ticks wants a whole number 0.." + std::to_string(kMaxTicks) + ", got '" +
                value + "'";
        return ParseStatus::Error;
      }
    } else if (name == "--dt") {
      if (!parseReal(value, options.dt) || !(options.dt > 0) || options.dt > 3600) {
        error = "--dt wants seconds, more than 0 and at most 3600, got '" + value + "'";
        return ParseStatus::Error;
      }
    } else if (name == "--hold") {
      KeyHold hold;
      if (!parseHold(value, hold, error)) return ParseStatus::Error;
      options.holds.push_back(hold);
    } else if (name == "--tab") {
      int64_t tick = 0;
      if (!parseInt64(value, tick) || tick < 1) {
        error = "--tab wants a tick number of at least 1, got '" + value + "'";
        return ParseStatus::Error;
      }
      options.tabs.push_back(tick);
    } else if (name == "--frames") {
      if (!parseInt64(value, options.frames) || options.frames < 1 || options.frames > 100000) {
        error = "--frames wants a count 1..100000, got '" + value + "'";
        return ParseStatus::Error;
      }
    } else if (name == "--pitch") {
      if (!parseReal(value, options.pitchDegrees) || options.pitchDegrees < -90 ||
          options.pitchDegrees > 90) {
        error = "--pitch wants degrees -90..90, got '" + value + "'";
        return ParseStatus::Error;
      }
      options.pitchSet = true;
    }
  }

  // The release of a stroke at T is seen by the update of tick T + 1.
  for (int64_t tab : options.tabs) {
    if (tab + 1 > options.ticks) {
      std::ostringstream s;
      s << "--tab " << tab << " is released at tick " << tab + 1 << ", after the last tick "
        << options.ticks << "; raise --ticks";
      error = s.str();
      return ParseStatus::Error;
    }
  }
  return ParseStatus::Run;
}

std::string usageText(const std::string& program, const std::string& defaultData) {
  std::ostringstream s;
  s << "Usage: " << program << " [OPTIONS]\n"
    << "Renders the flight scene in a hidden window after a scripted flight and\n"
    << "writes it as PNG.\n"
    << "\n"
    << "  --size WxH        image size in pixels (default 1024x768)\n"
    << "  --out FILE        output PNG (default flightscene-snapshot.png)\n"
    << "  --data DIR        run directory with PlaneList.txt, img/ and models/\n"
    << "                    (default " << defaultData << ")\n"
    << "  --ticks N         fleet updates to run before the picture (default 0:\n"
    << "                    the camera has not yet moved behind the aircraft)\n"
    << "  --dt SECONDS      time per tick (default 1/60)\n"
    << "  --hold KEY:A-B    hold KEY during ticks A to B inclusive; repeatable.\n"
    << "                    KEY: W S Up Down Left Right Return Space A N\n"
    << "  --tab T           press Tab at tick T and release it at T+1, which\n"
    << "                    moves the camera to the next aircraft; repeatable\n"
    << "  --frames K        write K frames spread evenly over the ticks (every\n"
    << "                    tick when K >= N) as FILE-0001.png, FILE-0002.png, ...\n"
    << "                    instead of one image\n"
    << "  --pitch DEG       after the flight, tilt the camera DEG degrees up\n"
    << "                    (negative: down), keeping its heading and position\n"
    << "  --help            show this text\n"
    << "\n"
    << "Example: " << program << " --ticks 300 --hold W:1-300 --hold Left:120-150\n"
    << "Exit status: 0 written, 1 rendering or writing failed, 2 bad options.\n";
  return s.str();
}
