#include "aircraft/ModelFile.h"

#include "aircraft/ModelCheck.h"
#include "files/UntrustedFile.h"

#include <Inventor/misc/SoChildList.h>
#include <Inventor/nodes/SoFile.h>
#include <Inventor/nodes/SoGroup.h>

#include <map>
#include <string>

namespace {
int textureLimit = kSafeTextureSize;

// Each distinct model file's nodes, read once and kept for the run. Every
// aircraft naming the file draws these same nodes, so a model and its
// textures are read, decoded and uploaded once however many entries name it.
std::map<FileId, SoGroup*> models;

SoGroup* readModel(const char* name) {
  SoFile* reader = new SoFile;
  reader->ref();
  reader->name.setValue(name);
  SoGroup* model = new SoGroup;
  model->ref();
  const SoChildList* read = reader->getChildren();
  for (int i = 0; i < read->getLength(); ++i) model->addChild((*read)[i]);
  reader->unref();
  return model;
}
}  // namespace

void setModelTextureLimit(int size) { textureLimit = size > 0 ? size : kSafeTextureSize; }
int modelTextureLimit() { return textureLimit; }

void loadModelFile(SoFile* node, const char* name) {
  const int limit = textureLimit;
  const std::string problem =
      judgeFile("aircraft: model", "left out", name, [name, limit]() -> std::string {
        SoFile* trial = new SoFile;
        trial->ref();
        trial->name.setValue(name);
        if (!childFirstError().empty()) return childFirstError();
        return checkModelGraph(trial, limit);
      });
  // The name stays as the list spells it either way.
  setNameUnread(node->name, name);
  FileId id;
  if (!problem.empty() || !identifyFile(name, id)) return;
  SoGroup*& model = models[id];
  if (model == nullptr) model = readModel(name);
  SoChildList* children = node->getChildren();
  for (int i = 0; i < model->getNumChildren(); ++i) children->append(model->getChild(i));
}
