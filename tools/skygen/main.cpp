// flightscene-skygen OUTDIR: writes the sky-box textures side.tga, above.tga
// and floor.tga (512 x 512, uncompressed 24-bit Targa) into OUTDIR.

#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "tools/skygen/SkyTextures.h"
#include "tools/skygen/Tga.h"

int main(int argc, char** argv) {
  std::string outDir;
  cli::Program program;
  program.name = "flightscene-skygen";
  program.operands = "OUTDIR";
  program.description =
      "Writes the sky-box textures side.tga, above.tga and floor.tga\n"
      "(512 x 512, uncompressed 24-bit Targa) into the existing directory OUTDIR.";
  program.finish = [&outDir](const std::vector<std::string>& operands, std::string& error) {
    if (operands.size() != 1 || operands[0].empty()) {
      error = "wants one output directory";
      return false;
    }
    outDir = operands[0];
    return true;
  };
  const int status = cli::handle(program, argc, argv);
  if (status >= 0) return status;

  const skygen::SkyBoxImages images = skygen::makeSkyBoxImages();
  const struct {
    const char* name;
    const skygen::Image* image;
  } files[] = {{"side.tga", &images.side}, {"above.tga", &images.above}, {"floor.tga", &images.floor}};
  for (const auto& f : files) {
    const std::string path = outDir + "/" + f.name;
    std::string error;
    if (!skygen::writeTga(path, *f.image, &error)) {
      std::fprintf(stderr, "flightscene-skygen: cannot write %s: %s\n", path.c_str(), error.c_str());
      return 1;
    }
  }
  return 0;
}
