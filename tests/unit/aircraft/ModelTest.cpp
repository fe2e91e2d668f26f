// The aircraft models shipped in data/models: each reads, draws something,
// and is shaped like an aircraft lying nose along +z, wings along x.

#include <Inventor/SbBox3f.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShape.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> modelFiles() {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(fs::path(FS_SOURCE_DIR) / "data/models"))
    if (e.path().extension() == ".iv") files.push_back(e.path());
  return files;
}

int countOf(SoNode* root, SoType type) {
  SoSearchAction search;
  search.setType(type);
  search.setInterest(SoSearchAction::ALL);
  search.apply(root);
  return search.getPaths().getLength();
}

TEST(Models, AtLeastThreeAircraftShip) { EXPECT_GE(modelFiles().size(), 3u); }

TEST(Models, EachReadsWithShapesAndItsOwnColours) {
  SoDB::init();
  for (const fs::path& file : modelFiles()) {
    SCOPED_TRACE(file.string());
    SoInput in;
    ASSERT_TRUE(in.openFile(file.string().c_str()));
    EXPECT_TRUE(in.isValidFile());
    SoSeparator* root = SoDB::readAll(&in);
    ASSERT_NE(root, nullptr);
    root->ref();
    EXPECT_GE(countOf(root, SoShape::getClassTypeId()), 5);

    // The scene sets a bright emissive colour above the aircraft; every
    // material here must clear it so the lights shade the model.
    SoSearchAction search;
    search.setType(SoMaterial::getClassTypeId());
    search.setInterest(SoSearchAction::ALL);
    search.apply(root);
    ASSERT_GE(search.getPaths().getLength(), 2);
    for (int i = 0; i < search.getPaths().getLength(); ++i) {
      auto* m = static_cast<SoMaterial*>(search.getPaths()[i]->getTail());
      EXPECT_FALSE(m->emissiveColor.isIgnored());
      EXPECT_EQ(m->emissiveColor[0], SbColor(0, 0, 0));
      EXPECT_FALSE(m->diffuseColor.isIgnored());
    }

    SoGetBoundingBoxAction bbox(SbViewportRegion(640, 480));
    bbox.apply(root);
    float dx, dy, dz;
    bbox.getBoundingBox().getSize(dx, dy, dz);
    EXPECT_GT(dz, dy) << "longer than tall";
    EXPECT_GT(dx, dy) << "wider than tall";
    EXPECT_GT(dz, 0.8f);
    EXPECT_LT(dz, 1.3f);
    const SbVec3f centre = bbox.getBoundingBox().getCenter();
    EXPECT_NEAR(centre[0], 0.0f, 0.01f) << "symmetric about the fuselage";
    root->unref();
  }
}

}  // namespace
