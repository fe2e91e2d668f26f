// flightscene-snapshot: renders the flight scene after a scripted flight,
// in a hidden window, and writes PNG images.

#include "tools/snapshot/Options.h"
#include "tools/snapshot/Snapshot.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  const std::string program = "flightscene-snapshot";
  SnapshotOptions options;
  options.data = FS_DATA_DIR;
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  switch (parseOptions(args, options, error)) {
    case ParseStatus::Help:
      std::fputs(usageText(program, FS_DATA_DIR).c_str(), stdout);
      return 0;
    case ParseStatus::Error:
      std::fprintf(stderr, "%s: %s\n\n%s", program.c_str(), error.c_str(),
                   usageText(program, FS_DATA_DIR).c_str());
      return 2;
    case ParseStatus::Run:
      break;
  }
  return runSnapshot(options, argv[0]);
}
