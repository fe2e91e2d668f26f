// flightscene-snapshot: renders the flight scene after a scripted flight,
// in a hidden window, and writes PNG images.

#include "app/CommandLine.h"
#include "app/DataDir.h"
#include "app/Process.h"
#include "files/UntrustedFile.h"
#include "tools/snapshot/Options.h"
#include "tools/snapshot/Snapshot.h"
#include "volume/SoVolumeRendering.h"

int main(int argc, char** argv) {
  if (const int status = answerReaderChild(argc, argv, SoVolumeRendering::init); status >= 0)
    return status;
  utf8Arguments(argc, argv);
  SnapshotOptions options;
  // Installed, the shipped data; in a build tree, the source tree's.
  options.data = installedDataDir();
  if (options.data.empty()) options.data = FS_DATA_DIR;
  const int status = cli::handle(snapshotCommandLine(options), argc, argv);
  if (status >= 0) return status;
  return runSnapshot(options, argv[0]);
}
