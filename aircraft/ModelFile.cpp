#include "aircraft/ModelFile.h"

#include "aircraft/ModelCheck.h"
#include "files/UntrustedFile.h"

#include <Inventor/nodes/SoFile.h>

#include <string>

namespace {
int textureLimit = kSafeTextureSize;
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
  if (problem.empty())
    node->name.setValue(name);
  else
    setNameUnread(node->name, name);
}
