#include "aircraft/ModelTexture.h"

#include "aircraft/TextureImage.h"
#include "files/UntrustedFile.h"

#include <Inventor/SoInput.h>
#include <Inventor/errors/SoReadError.h>
#include <Inventor/lists/SbStringList.h>

#include <cstdio>
#include <string>

SO_NODE_SOURCE(ModelTexture);

namespace {
int sizeLimit = 0;

void* createModelTexture() { return new ModelTexture; }

// Where Coin would look for a texture named in a model: as spelled when
// absolute, else under each reading directory and its image subfolders.
// Only looked up (never opened, so never blocks); the first name that
// exists is read.
std::string findTexture(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  static const char* const subdirs[] = {"",        "texture/", "textures/",
                                        "images/", "pics/",    "pictures/"};
  const SbStringList& dirs = SoInput::getDirectories();
  for (int i = 0; i < dirs.getLength(); ++i) {
    for (const char* sub : subdirs) {
      const std::string path = std::string(dirs[i]->getString()) + "/" + sub + name;
      if (fileExists(path.c_str())) return path;
    }
  }
  return name;
}
}  // namespace

void ModelTexture::initClass() { SO_NODE_INIT_CLASS(ModelTexture, SoTexture2, "Texture2"); }

ModelTexture::ModelTexture() { SO_NODE_CONSTRUCTOR(ModelTexture); }

ModelTexture::~ModelTexture() = default;

void ModelTexture::standIn(int limit) {
  sizeLimit = limit;
  if (getClassTypeId() != SoType::badType()) return;
  initClass();
  SoType::overrideType(SoTexture2::getClassTypeId(), createModelTexture);
}

SbBool ModelTexture::readInstance(SoInput* in, unsigned short flags) {
  // Read the fields without Texture2's own loading, which a set name starts.
  const SbBool notify = filename.enableNotify(FALSE);
  const SbBool ok = SoNode::readInstance(in, flags);
  filename.enableNotify(notify);
  const SbString name = filename.getValue();
  if (!ok || name.getLength() == 0) return ok;
  const std::string path = findTexture(name.getString());
  const std::string problem = readTextureFile(path.c_str(), sizeLimit, image);
  setNameUnread(filename, name.getString());
  if (problem.empty()) return ok;
  // In the reader child this is the model's verdict; after it, the file has
  // changed since, and the model keeps its shape without the texture.
  if (inReaderChild())
    SoReadError::post(in, "texture '%s' %s", name.getString(), problem.c_str());
  else
    std::fprintf(stderr, "aircraft: texture %s left out: %s\n", printableName(path.c_str()).c_str(),
                 problem.c_str());
  return ok;
}
