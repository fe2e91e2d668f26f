// flightscene-skygen OUTDIR: writes the sky-box textures side.tga, above.tga
// and floor.tga (512 x 512, uncompressed 24-bit Targa) into OUTDIR; with
// --icons, the program's icon as PNG files in the hicolor theme's layout.

#include "app/CommandLine.h"
#include "app/Icon.h"
#include "app/Process.h"
#include "image/Png.h"
#include "tools/skygen/SkyTextures.h"
#include "tools/skygen/Tga.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// OUTDIR/SIZExSIZE/apps/flightscene.png for each size an icon theme offers.
int writeIcons(const std::string& outDir) {
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const std::string sizeName = std::to_string(size) + "x" + std::to_string(size);
    const std::filesystem::path dir = std::filesystem::path(outDir) / sizeName / "apps";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::string path = (dir / "flightscene.png").string();
    if (ec) {
      std::fprintf(stderr, "flightscene-skygen: cannot write %s: %s\n", path.c_str(),
                   ec.message().c_str());
      return 1;
    }
    std::string error;  // "cannot write PATH: reason"
    if (!img::writePng(path, paintIcon(size), error)) {
      std::fprintf(stderr, "flightscene-skygen: %s\n", error.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  utf8Arguments(argc, argv);
  std::string outDir;
  bool icons = false;
  cli::Program program;
  program.name = "flightscene-skygen";
  program.operands = "OUTDIR";
  program.description =
      "Writes the sky-box textures side.tga, above.tga and floor.tga\n"
      "(512 x 512, uncompressed 24-bit Targa) into the existing directory OUTDIR.";
  program.options = {
      {"icons", "", "write the program's icon instead, as\nOUTDIR/SIZExSIZE/apps/flightscene.png",
       [&icons](const std::string&, std::string&) { return icons = true; }},
  };
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
  if (icons) return writeIcons(outDir);

  const skygen::SkyBoxImages images = skygen::makeSkyBoxImages();
  const struct {
    const char* name;
    const img::Image* image;
  } files[] = {
      {"side.tga", &images.side}, {"above.tga", &images.above}, {"floor.tga", &images.floor}};
  for (const auto& f : files) {
    const std::string path = outDir + "/" + f.name;
    std::string error;
    if (!skygen::writeTga(path, *f.image, &error)) {
      std::fprintf(stderr, "flightscene-skygen: cannot write %s: %s\n", path.c_str(),
                   error.c_str());
      return 1;
    }
  }
  return 0;
}
