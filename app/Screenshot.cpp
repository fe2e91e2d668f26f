#include "app/Screenshot.h"

#include "files/OutputFile.h"
#include "image/Png.h"

namespace {

constexpr int kNamesPerStamp = 1000;

std::string shotName(const std::string& stamp, int n) {
  return "flightscene-" + stamp + (n ? "-" + std::to_string(n) : "") + ".png";
}

}  // namespace

bool saveScreenshot(const std::string& dir, const std::string& stamp, const img::Image& image,
                    std::string& result) {
  std::string png;
  if (!img::encodePng(image, png, result)) return false;
  OutputFile file;
  std::string problem = file.create(dir + "/" + shotName(stamp, 0), OutputFile::Mode::NeverReplace);
  if (problem.empty()) problem = file.write(png);
  if (problem.empty()) problem = file.sync();
  if (!problem.empty()) {
    result = "cannot write in " + dir + ": " + problem;
    return false;
  }
  for (int n = 0; n < kNamesPerStamp; ++n) {
    bool taken = false;
    problem = file.placeAs(shotName(stamp, n), &taken);
    if (problem.empty()) {
      result = file.target();
      return true;
    }
    if (!taken) {
      result = "cannot name " + dir + "/" + shotName(stamp, n) + ": " + problem;
      return false;
    }
  }
  result = "all " + std::to_string(kNamesPerStamp) + " names for " + stamp + " are taken in " + dir;
  return false;
}
