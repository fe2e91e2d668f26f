// The model check refuses read graphs that would make the renderer read
// past its data, and passes every graph that draws.

#include "aircraft/ModelCheck.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

// A graph from Inventor text, referenced; the caller unrefs it.
SoSeparator* graph(const std::string& body) {
  SoDB::init();
  const std::string text = "#Inventor V2.1 ascii\n" + body;
  SoInput in;
  in.setBuffer(text.data(), text.size());
  SoSeparator* root = SoDB::readAll(&in);
  EXPECT_NE(root, nullptr) << body;
  if (root) root->ref();
  return root;
}

std::string check(const std::string& body, int maxTexture = 64) {
  SoSeparator* root = graph(body);
  if (!root) return "unreadable";
  const std::string problem = checkModelGraph(root, maxTexture);
  root->unref();
  return problem;
}

const std::string kTriangle = "Coordinate3 { point [0 0 0, 1 0 0, 0 1 0] } ";

TEST(ModelCheck, ShippedModelsPass) {
  for (const auto& e :
       std::filesystem::directory_iterator(std::string(FS_SOURCE_DIR) + "/data/models")) {
    SoInput in;
    ASSERT_TRUE(in.openFile(e.path().string().c_str()));
    SoSeparator* root = SoDB::readAll(&in);
    ASSERT_NE(root, nullptr);
    root->ref();
    EXPECT_EQ(checkModelGraph(root, kSafeTextureSize), "") << e.path();
    root->unref();
  }
}

TEST(ModelCheck, IndicesWithinTheirDataPass) {
  EXPECT_EQ(check(kTriangle + "IndexedFaceSet { coordIndex [0, 1, 2, -1] }"), "");
  EXPECT_EQ(
      check(
          "MaterialBinding { value PER_VERTEX_INDEXED } Material { diffuseColor [1 0 0, 0 1 0] } " +
          kTriangle + "IndexedFaceSet { coordIndex [0, 1, 2, -1] materialIndex [1, 0, 1, -1] }"),
      "");
  EXPECT_EQ(check(kTriangle + "FaceSet { numVertices [3] }"), "");
  EXPECT_EQ(check(kTriangle + "FaceSet { numVertices [-1] }"), "");
}

TEST(ModelCheck, CoordinateIndexPastTheEndIsRefused) {
  EXPECT_EQ(check(kTriangle + "IndexedFaceSet { coordIndex [0, 1, 3, -1] }"),
            "coordinate index out of range");
  EXPECT_EQ(check(kTriangle + "IndexedLineSet { coordIndex [0, -7] }"),
            "coordinate index out of range");
}

TEST(ModelCheck, IndexedMaterialPastTheEndIsRefused) {
  const std::string shape =
      kTriangle + "IndexedFaceSet { coordIndex [0, 1, 2, -1] materialIndex [2] }";
  EXPECT_EQ(
      check("MaterialBinding { value PER_FACE_INDEXED } Material { diffuseColor [1 0 0, 0 1 0] } " +
            shape),
      "material index out of range");
  // Without an indexed binding the material indices are not used.
  EXPECT_EQ(check("Material { diffuseColor [1 0 0, 0 1 0] } " + shape), "");
}

TEST(ModelCheck, NormalAndTextureIndicesPastTheEndAreRefused) {
  EXPECT_EQ(
      check("NormalBinding { value PER_VERTEX_INDEXED } Normal { vector [0 0 1] } " + kTriangle +
            "IndexedFaceSet { coordIndex [0, 1, 2, -1] normalIndex [0, 0, 1, -1] }"),
      "normal index out of range");
  EXPECT_EQ(check("TextureCoordinate2 { point [0 0, 1 0] } " + kTriangle +
                  "IndexedFaceSet { coordIndex [0, 1, 2, -1] textureCoordIndex [0, 1, 2, -1] }"),
            "texture coordinate index out of range");
  // No texture coordinates given: they are generated, and the indices unused.
  EXPECT_EQ(check(kTriangle +
                  "IndexedFaceSet { coordIndex [0, 1, 2, -1] textureCoordIndex [7, 7, 7, -1] }"),
            "");
}

TEST(ModelCheck, VertexCountsPastTheCoordinatesAreRefused) {
  EXPECT_EQ(check(kTriangle + "FaceSet { numVertices [1000000000] }"),
            "vertex count past the coordinates");
  EXPECT_EQ(check(kTriangle + "TriangleStripSet { startIndex 1 numVertices [3] }"),
            "vertex count past the coordinates");
  EXPECT_EQ(check(kTriangle + "PointSet { numPoints 4 }"), "vertex count past the coordinates");
  EXPECT_EQ(check("MaterialBinding { value PER_VERTEX } Material { diffuseColor [1 0 0] } " +
                  kTriangle + "FaceSet { numVertices [3] }"),
            "fewer materials than its binding needs");
}

TEST(ModelCheck, VertexPropertyDataCountsInsteadOfTheState) {
  EXPECT_EQ(
      check(kTriangle + "IndexedFaceSet { vertexProperty VertexProperty { vertex [0 0 0, 1 0 0] } "
                        "coordIndex [0, 1, 2, -1] }"),
      "coordinate index out of range");
}

TEST(ModelCheck, TexturesLargerThanTheGlTakesAreRefused) {
  EXPECT_EQ(check("Texture2 { image 2 1 1 0xff 0xff } Cube {}", 2), "");
  EXPECT_EQ(check("Texture2 { image 3 1 1 0xff 0xff 0xff } Cube {}", 2),
            "texture too large for the GL");
}

TEST(ModelCheck, NodesReadingAnotherFileByNameAreRefused) {
  const std::string data = std::string(FS_SOURCE_DIR) + "/data/";
  EXPECT_EQ(check("File { name \"" + data + "models/cub.iv\" }"), "names another file to read");
  EXPECT_EQ(check("Image { filename \"" + data + "img/side.tga\" }"), "names another file to read");
}

TEST(ModelCheck, NestingDeeperThanTheLimitIsRefused) {
  std::string open, close;
  for (int i = 0; i < kMaxModelDepth; ++i) {
    open += "Separator { ";
    close += "} ";
  }
  EXPECT_EQ(check(open + "Cube {} " + close), "nested too deeply");
  EXPECT_EQ(check(open.substr(0, open.size() / 2) + "Cube {} " + close.substr(0, close.size() / 2)),
            "");
}

}  // namespace
