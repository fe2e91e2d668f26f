#include "app/SkyBox.h"

#include "aircraft/ModelFile.h"
#include "aircraft/TextureImage.h"
#include "files/UntrustedFile.h"
#include "image/Image.h"

#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTextureCoordinate2.h>
#include <Inventor/nodes/SoTranslation.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>

const float skyBoxVertices[8][3] = {
    {-100, -25, -100}, {100, -25, -100}, {-100, 25, -100}, {100, 25, -100},
    {-100, -25, 100},  {100, -25, 100},  {-100, 25, 100},  {100, 25, 100},
};

const int32_t skyBoxFaces[6][5] = {
    {2, 0, 3, 1, -1},  // z = -100
    {2, 0, 6, 4, -1},  // x = -100
    {3, 1, 7, 5, -1},  // x = 100
    {7, 5, 6, 4, -1},  // z = 100
    {2, 3, 6, 7, -1},  // top
    {4, 5, 0, 1, -1},  // bottom
};

const int32_t skyBoxTexIndices[5] = {0, 1, 2, 3, -1};

const char* const skyBoxImages[6] = {
    "img/side.tga", "img/side.tga",  "img/side.tga",
    "img/side.tga", "img/above.tga", "img/floor.tga",
};

namespace {

// Each sky image read, by file: four faces show one side image.
std::map<FileId, img::Image>& skyImages() {
  static std::map<FileId, img::Image> images;
  return images;
}

// The face shows the image at path when it reads as one the GL can take.
// Its bytes are read once and tried in a child: a FIFO or device would
// block or feed the reader forever, and a small file can decode to more
// memory than exists; the face then shows the very bytes the child tried.
// A face whose image failed keeps the name, does not read it, stays plain.
void setImage(SoTexture2* texture, const char* path) {
  const int limit = modelTextureLimit();
  JudgedFile file;
  const std::string problem =
      judgeFile("sky:", "left plain", path, "image", std::to_string(limit), &file);
  // Each image name a face shows gets its own line, even when names share
  // one bad file, which judgeFile reports only under its first name.
  static std::set<std::string> reported;
  if (!problem.empty() && reported.insert(path).second && file.cached)
    std::fprintf(stderr, "sky: %s left plain: %s\n", printableName(path).c_str(), problem.c_str());
  if (problem.empty()) {
    img::Image& image = skyImages()[file.id];
    if (!file.bytes.empty()) decodeTexture(file.bytes, limit, &image);
    setTexture(texture->image, image);
  }
  setNameUnread(texture->filename, path);
}

}  // namespace

SoSeparator* buildSkyBox(SoPerspectiveCamera* camera) {
  auto* box = new SoSeparator;

  // Connected, not copied: the box stays centred on the viewer.
  auto* follow = new SoTranslation;
  follow->translation.connectFrom(&camera->position, FALSE, FALSE);
  box->addChild(follow);

  auto* lightModel = new SoLightModel;
  lightModel->model = SoLightModel::PHONG;
  box->addChild(lightModel);

  auto* coords = new SoCoordinate3;
  coords->point.setValues(0, 8, skyBoxVertices);
  box->addChild(coords);

  auto* texCoords = new SoTextureCoordinate2;
  texCoords->point.set1Value(0, SbVec2f(0, 0));
  texCoords->point.set1Value(1, SbVec2f(1, 0));
  texCoords->point.set1Value(2, SbVec2f(0, 1));
  texCoords->point.set1Value(3, SbVec2f(1, 1));
  box->addChild(texCoords);

  SoTexture2* textures[6];
  for (SoTexture2*& texture : textures) {
    texture = new SoTexture2;
    texture->model = SoTexture2::DECAL;
    // Each face's image ends at the box's edge: repeated, the filter would
    // blend in the image's far side there, a thin line along every edge
    // where texels are small on screen (seen at 3840x2160).
    texture->wrapS = SoTexture2::CLAMP;
    texture->wrapT = SoTexture2::CLAMP;
  }
  for (int f = 0; f < 6; ++f) setImage(textures[f], skyBoxImages[f]);

  for (int f = 0; f < 6; ++f) {
    box->addChild(textures[f]);
    auto* strip = new SoIndexedTriangleStripSet;
    strip->coordIndex.setValues(0, 5, skyBoxFaces[f]);
    strip->textureCoordIndex.setValues(0, 5, skyBoxTexIndices);
    box->addChild(strip);
  }
  return box;
}
