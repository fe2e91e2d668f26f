// flightscene-skygen OUTDIR: writes the sky-box textures side.tga, above.tga
// and floor.tga (512 x 512, uncompressed 24-bit Targa) into OUTDIR.

#include <cstdio>
#include <cstring>
#include <string>

#include "tools/skygen/SkyTextures.h"
#include "tools/skygen/Tga.h"

namespace {

void printUsage(std::FILE* to) {
  std::fprintf(to,
               "usage: flightscene-skygen OUTDIR\n"
               "Writes the sky-box textures side.tga, above.tga and floor.tga\n"
               "(512 x 512, uncompressed 24-bit Targa) into the existing directory OUTDIR.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    printUsage(stdout);
    return 0;
  }
  if (argc != 2 || argv[1][0] == '\0' || argv[1][0] == '-') {
    printUsage(stderr);
    return 2;
  }
  const std::string outDir = argv[1];
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
