#include "aircraft/ModelFile.h"

#include "aircraft/ModelCheck.h"
#include "aircraft/ModelTexture.h"
#include "files/UntrustedFile.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/misc/SoChildList.h>
#include <Inventor/nodes/SoFile.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoSeparator.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {
int textureLimit = kSafeTextureSize;

// Each distinct model file's nodes, read once and kept for the run. Every
// aircraft naming the file draws these same nodes, so a model and its
// textures are read, decoded and uploaded once however many entries name it.
std::map<FileId, SoGroup*> models;

std::string directoryOf(const char* name) {
  const char* slash = std::strrchr(name, '/');
  if (slash == nullptr) return ".";
  return slash == name ? std::string("/") : std::string(name, slash - name);
}

// The model parsed from bytes read before, as the file node would parse the
// file: names in it are found beside the model first. Null when unreadable.
SoSeparator* parseModel(const std::string& bytes, const char* name) {
  ModelTexture::standIn(textureLimit);
  SoInput in;
  in.setBuffer(bytes.data(), bytes.size());
  const std::string dir = directoryOf(name);
  SoInput::addDirectoryFirst(dir.c_str());
  SoSeparator* root = SoDB::readAll(&in);
  SoInput::removeDirectory(dir.c_str());
  if (root != nullptr) root->ref();
  return root;
}

// The model reader: argument is the texture size limit, a line end, and
// the model's name.
std::string checkModel(const std::string& bytes, const std::string& argument) {
  const std::size_t end = argument.find('\n');
  textureLimit = std::atoi(argument.substr(0, end).c_str());
  const std::string name = end == std::string::npos ? std::string() : argument.substr(end + 1);
  SoSeparator* trial = parseModel(bytes, name.c_str());
  if (!childFirstError().empty()) return childFirstError();
  if (trial == nullptr) return "cannot be read";
  return checkModelGraph(trial, textureLimit);
}
[[maybe_unused]] const bool registered = registerReader("model", checkModel);
}  // namespace

void setModelTextureLimit(int size) { textureLimit = size > 0 ? size : kSafeTextureSize; }
int modelTextureLimit() { return textureLimit; }

void loadModelFile(SoFile* node, const char* name) {
  JudgedFile file;
  const std::string problem = judgeFile("aircraft: model", "left out", name, "model",
                                        std::to_string(textureLimit) + "\n" + name, &file);
  // The name stays as the list spells it either way.
  setNameUnread(node->name, name);
  if (!problem.empty() || !file.identified) return;
  SoGroup*& model = models[file.id];
  if (model == nullptr) {
    model = new SoGroup;
    model->ref();
    if (SoSeparator* read = parseModel(file.bytes, name)) {
      for (int i = 0; i < read->getNumChildren(); ++i) model->addChild(read->getChild(i));
      read->unref();
    }
  }
  SoChildList* children = node->getChildren();
  for (int i = 0; i < model->getNumChildren(); ++i) children->append(model->getChild(i));
}
