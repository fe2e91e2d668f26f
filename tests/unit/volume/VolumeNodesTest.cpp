// The volume nodes as Coin sees them: types, fields, file format, the data
// they hold, the bounds and primitives they report, and the colour maps.

#include "volume/SoTransferFunction.h"
#include "volume/SoVolumeData.h"
#include "volume/SoVolumeRender.h"
#include "volume/SoVolumeRendering.h"

#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoOutput.h>
#include <Inventor/SoPickedPoint.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoRayPickAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/actions/SoWriteAction.h>
#include <Inventor/nodes/SoRotation.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShape.h>
#include <Inventor/nodes/SoTranslation.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

class VolumeNodes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SoDB::init();
    SoVolumeRendering::init();
  }
  // Frees the database's own globals, which leak checkers would report.
  static void TearDownTestSuite() { SoDB::finish(); }
};

template <class T>
T* findFirst(SoNode* root) {
  SoSearchAction search;
  search.setType(T::getClassTypeId());
  search.apply(root);
  return search.getPath() ? static_cast<T*>(search.getPath()->getTail()) : nullptr;
}

SoSeparator* readScene(const char* text) {
  SoInput in;
  in.setBuffer(text, std::strlen(text));
  SoSeparator* root = SoDB::readAll(&in);
  if (root) root->ref();
  return root;
}

TEST_F(VolumeNodes, TypesAreRegisteredByNameOnceAndDeriveAsCoinExpects) {
  const SoType render = SoVolumeRender::getClassTypeId();
  const SoType data = SoVolumeData::getClassTypeId();
  const SoType transfer = SoTransferFunction::getClassTypeId();
  SoVolumeRendering::init();  // a second call changes nothing
  EXPECT_EQ(SoVolumeRender::getClassTypeId(), render);

  EXPECT_EQ(SoType::fromName("SoVolumeRender"), render);
  EXPECT_EQ(SoType::fromName("SoVolumeData"), data);
  EXPECT_EQ(SoType::fromName("SoTransferFunction"), transfer);
  EXPECT_TRUE(render.isDerivedFrom(SoShape::getClassTypeId()));
  EXPECT_FALSE(data.isDerivedFrom(SoShape::getClassTypeId()));
  EXPECT_TRUE(data.isDerivedFrom(SoNode::getClassTypeId()));
  EXPECT_TRUE(transfer.isDerivedFrom(SoNode::getClassTypeId()));

  SoNode* made = static_cast<SoNode*>(render.createInstance());
  ASSERT_NE(made, nullptr);
  made->ref();
  EXPECT_TRUE(made->isOfType(SoVolumeRender::getClassTypeId()));
  made->unref();
}

TEST_F(VolumeNodes, FreshNodesHaveTheirDefaults) {
  auto* render = new SoVolumeRender;
  auto* transfer = new SoTransferFunction;
  auto* data = new SoVolumeData;
  render->ref();
  transfer->ref();
  data->ref();

  EXPECT_EQ(render->numSlicesControl.getValue(), int(SoVolumeRender::AUTOMATIC));
  EXPECT_EQ(render->composition.getValue(), int(SoVolumeRender::ALPHA_BLENDING));
  EXPECT_EQ(render->interpolation.getValue(), int(SoVolumeRender::LINEAR));
  EXPECT_GT(render->numSlices.getValue(), 0);
  EXPECT_EQ(transfer->predefColorMap.getValue(), int(SoTransferFunction::GREY));
  EXPECT_EQ(transfer->colorMap.getNum(), 0);

  EXPECT_EQ(data->getVolumeSize().getMin(), SbVec3f(-1, -1, -1));
  EXPECT_EQ(data->getVolumeSize().getMax(), SbVec3f(1, 1, 1));
  SbVec3s dim;
  void* buffer = reinterpret_cast<void*>(1);
  SoVolumeData::DataType type;
  EXPECT_FALSE(data->getVolumeData(dim, buffer, type));
  EXPECT_EQ(buffer, nullptr);

  render->unref();
  transfer->unref();
  data->unref();
}

TEST_F(VolumeNodes, EnumValuesMatchTheDocumentedNumbers) {
  EXPECT_EQ(int(SoVolumeData::UNSIGNED_BYTE), 0);
  EXPECT_EQ(int(SoVolumeData::UNSIGNED_SHORT), 1);
  EXPECT_EQ(int(SoVolumeData::RGBA), 2);
  EXPECT_EQ(int(SoTransferFunction::NONE), 0);
  EXPECT_EQ(int(SoTransferFunction::GREY), 1);
  EXPECT_EQ(int(SoTransferFunction::GRAY), 1);
  EXPECT_EQ(int(SoTransferFunction::TEMPERATURE), 2);
  EXPECT_EQ(int(SoTransferFunction::PHYSICS), 3);
  EXPECT_EQ(int(SoTransferFunction::STANDARD), 4);
  EXPECT_EQ(int(SoTransferFunction::GLOW), 5);
  EXPECT_EQ(int(SoTransferFunction::BLUE_RED), 6);
  EXPECT_EQ(int(SoTransferFunction::SEISMIC), 7);
  EXPECT_EQ(int(SoVolumeRender::ALL), 0);
  EXPECT_EQ(int(SoVolumeRender::MANUAL), 1);
  EXPECT_EQ(int(SoVolumeRender::AUTOMATIC), 2);
  EXPECT_EQ(int(SoVolumeRender::MAX_INTENSITY), 0);
  EXPECT_EQ(int(SoVolumeRender::SUM_INTENSITY), 1);
  EXPECT_EQ(int(SoVolumeRender::ALPHA_BLENDING), 2);
  EXPECT_EQ(int(SoVolumeRender::NEAREST), 0);
  EXPECT_EQ(int(SoVolumeRender::LINEAR), 1);
}

TEST_F(VolumeNodes, NodesReadFromAndWriteToInventorText) {
  SoSeparator* root = readScene(
      "#Inventor V2.1 ascii\n"
      "Separator {\n"
      "  SoVolumeData {}\n"
      "  SoTransferFunction { predefColorMap SEISMIC }\n"
      "  SoVolumeRender { numSlicesControl AUTOMATIC composition ALPHA_BLENDING"
      "                   interpolation LINEAR }\n"
      "  SoVolumeRender { numSlicesControl MANUAL numSlices 32 composition MAX_INTENSITY"
      "                   interpolation NEAREST }\n"
      "}\n");
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(root->getNumChildren(), 4);
  ASSERT_TRUE(root->getChild(0)->isOfType(SoVolumeData::getClassTypeId()));
  auto* transfer = static_cast<SoTransferFunction*>(root->getChild(1));
  EXPECT_EQ(transfer->predefColorMap.getValue(), int(SoTransferFunction::SEISMIC));
  auto* a = static_cast<SoVolumeRender*>(root->getChild(2));
  EXPECT_EQ(a->numSlicesControl.getValue(), int(SoVolumeRender::AUTOMATIC));
  EXPECT_EQ(a->composition.getValue(), int(SoVolumeRender::ALPHA_BLENDING));
  EXPECT_EQ(a->interpolation.getValue(), int(SoVolumeRender::LINEAR));
  auto* b = static_cast<SoVolumeRender*>(root->getChild(3));
  EXPECT_EQ(b->numSlicesControl.getValue(), int(SoVolumeRender::MANUAL));
  EXPECT_EQ(b->numSlices.getValue(), 32);
  EXPECT_EQ(b->composition.getValue(), int(SoVolumeRender::MAX_INTENSITY));
  EXPECT_EQ(b->interpolation.getValue(), int(SoVolumeRender::NEAREST));

  // Written out and read back, the fields keep their values by name.
  SoOutput out;
  out.setBuffer(malloc(1024), 1024, realloc);
  SoWriteAction write(&out);
  write.apply(root);
  void* buf = nullptr;
  size_t size = 0;
  out.getBuffer(buf, size);
  const std::string text(static_cast<const char*>(buf), size);
  EXPECT_NE(text.find("MAX_INTENSITY"), std::string::npos);
  EXPECT_NE(text.find("SEISMIC"), std::string::npos);
  SoSeparator* again = readScene(text.c_str());
  free(buf);
  ASSERT_NE(again, nullptr);
  auto* b2 = findFirst<SoTransferFunction>(again);
  ASSERT_NE(b2, nullptr);
  EXPECT_EQ(b2->predefColorMap.getValue(), int(SoTransferFunction::SEISMIC));
  EXPECT_EQ(static_cast<SoVolumeRender*>(again->getChild(3))->numSlices.getValue(), 32);

  again->unref();
  root->unref();
}

TEST_F(VolumeNodes, VolumeDataKeepsTheCallersBufferAndMarksEveryChange) {
  auto* data = new SoVolumeData;
  data->ref();
  std::vector<uint8_t> voxels(4 * 5 * 6, 7);
  data->setVolumeData(SbVec3s(4, 5, 6), voxels.data());

  SbVec3s dim;
  void* buffer = nullptr;
  SoVolumeData::DataType type = SoVolumeData::RGBA;
  int bits = -1;
  EXPECT_TRUE(data->getVolumeData(dim, buffer, type, &bits));
  EXPECT_EQ(dim, SbVec3s(4, 5, 6));
  EXPECT_EQ(buffer, voxels.data());  // kept, not copied
  EXPECT_EQ(type, SoVolumeData::UNSIGNED_BYTE);
  EXPECT_EQ(bits, 0);

  // Setting the same buffer again (after changing its contents) is a change.
  const SbUniqueId before = data->getNodeId();
  voxels[0] = 9;
  data->setVolumeData(SbVec3s(4, 5, 6), voxels.data());
  EXPECT_NE(data->getNodeId(), before);

  std::vector<uint16_t> wide(8, 0x0FF0);
  data->setVolumeData(SbVec3s(2, 2, 2), wide.data(), SoVolumeData::UNSIGNED_SHORT, 12);
  EXPECT_TRUE(data->getVolumeData(dim, buffer, type, &bits));
  EXPECT_EQ(dim, SbVec3s(2, 2, 2));
  EXPECT_EQ(buffer, wide.data());
  EXPECT_EQ(type, SoVolumeData::UNSIGNED_SHORT);
  EXPECT_EQ(bits, 12);

  data->setVolumeSize(SbBox3f(0, 0, 0, 4, 2, 1));
  EXPECT_EQ(data->getVolumeSize().getMax(), SbVec3f(4, 2, 1));
  data->unref();
}

TEST_F(VolumeNodes, VoxelIndexFollowsTheLayoutAndTheDataType) {
  auto* data = new SoVolumeData;
  data->ref();
  std::vector<uint8_t> bytes(3 * 4 * 5, 0);
  bytes[2 + 1 * 3 + 4 * 3 * 4] = 77;  // voxel (2, 1, 4): x fastest, then y, then z
  data->setVolumeData(SbVec3s(3, 4, 5), bytes.data());
  EXPECT_EQ(data->getVoxelIndex(2, 1, 4), 77);
  EXPECT_EQ(data->getVoxelIndex(1, 2, 4), 0);
  EXPECT_EQ(data->getVoxelIndex(3, 0, 0), 0);  // outside: no read past the buffer
  EXPECT_EQ(data->getVoxelIndex(-1, 0, 0), 0);

  // 12 significant bits: the top 8 of them make the index.
  std::vector<uint16_t> wide = {0x0FF0, 0x0120, 0, 0, 0, 0, 0, 0};
  data->setVolumeData(SbVec3s(2, 2, 2), wide.data(), SoVolumeData::UNSIGNED_SHORT, 12);
  EXPECT_EQ(data->getVoxelIndex(0, 0, 0), 0xFF);
  EXPECT_EQ(data->getVoxelIndex(1, 0, 0), 0x12);
  data->setVolumeData(SbVec3s(2, 2, 2), wide.data(), SoVolumeData::UNSIGNED_SHORT, 0);
  EXPECT_EQ(data->getVoxelIndex(0, 0, 0), 0x0F);

  std::vector<uint8_t> rgba = {10, 20, 30, 40};
  data->setVolumeData(SbVec3s(1, 1, 1), rgba.data(), SoVolumeData::RGBA);
  EXPECT_EQ(data->getVoxelIndex(0, 0, 0), 40);
  data->unref();
}

TEST_F(VolumeNodes, BoundingBoxIsTheVolumeExtentUnderTheCurrentTransform) {
  std::vector<uint8_t> voxels(8, 1);
  auto* root = new SoSeparator;
  root->ref();
  auto* move = new SoTranslation;
  move->translation = SbVec3f(5, 0, -2);
  root->addChild(move);
  auto* data = new SoVolumeData;
  data->setVolumeData(SbVec3s(2, 2, 2), voxels.data());
  data->setVolumeSize(SbBox3f(-1, -0.5f, -2, 1, 0.5f, 2));
  root->addChild(data);
  root->addChild(new SoVolumeRender);

  SoGetBoundingBoxAction bbox(SbViewportRegion(100, 100));
  bbox.apply(root);
  const SbBox3f box = bbox.getBoundingBox();
  EXPECT_EQ(box.getMin(), SbVec3f(4, -0.5f, -4));
  EXPECT_EQ(box.getMax(), SbVec3f(6, 0.5f, 0));

  // Turned a quarter about y, x and z extents swap.
  auto* turn = new SoRotation;
  turn->rotation = SbRotation(SbVec3f(0, 1, 0), float(M_PI / 2));
  root->insertChild(turn, 1);
  bbox.apply(root);
  const SbBox3f turned = bbox.getBoundingBox();
  EXPECT_NEAR(turned.getMin()[0], 3.0f, 1e-5f);
  EXPECT_NEAR(turned.getMax()[0], 7.0f, 1e-5f);
  EXPECT_NEAR(turned.getMin()[2], -3.0f, 1e-5f);
  EXPECT_NEAR(turned.getMax()[2], -1.0f, 1e-5f);
  root->unref();

  // A renderer with no volume data before it has no extent.
  auto* lone = new SoSeparator;
  lone->ref();
  lone->addChild(new SoVolumeRender);
  bbox.apply(lone);
  EXPECT_TRUE(bbox.getBoundingBox().isEmpty());
  lone->unref();
}

void countTriangle(void* closure, SoCallbackAction*, const SoPrimitiveVertex*,
                   const SoPrimitiveVertex*, const SoPrimitiveVertex*) {
  ++*static_cast<int*>(closure);
}

TEST_F(VolumeNodes, PrimitivesAreTheBoxFacesSoPicksHitTheVolume) {
  std::vector<uint8_t> voxels(8, 1);
  auto* root = new SoSeparator;
  root->ref();
  auto* data = new SoVolumeData;
  data->setVolumeData(SbVec3s(2, 2, 2), voxels.data());
  root->addChild(data);
  root->addChild(new SoVolumeRender);

  int triangles = 0;
  SoCallbackAction cb;
  cb.addTriangleCallback(SoVolumeRender::getClassTypeId(), countTriangle, &triangles);
  cb.apply(root);
  EXPECT_EQ(triangles, 12);

  SoRayPickAction pick(SbViewportRegion(100, 100));
  pick.setRay(SbVec3f(0.2f, 0.3f, 10), SbVec3f(0, 0, -1));
  pick.apply(root);
  const SoPickedPoint* hit = pick.getPickedPoint();
  ASSERT_NE(hit, nullptr);
  EXPECT_NEAR(hit->getPoint()[2], 1.0f, 1e-5f);
  EXPECT_NEAR(hit->getPoint()[0], 0.2f, 1e-5f);
  EXPECT_TRUE(hit->getPath()->getTail()->isOfType(SoVolumeRender::getClassTypeId()));

  pick.setRay(SbVec3f(1.5f, 0, 10), SbVec3f(0, 0, -1));  // beside the box
  pick.apply(root);
  EXPECT_EQ(pick.getPickedPoint(), nullptr);
  root->unref();
}

TEST_F(VolumeNodes, GreyMapGivesGreyAndOpacityOfValueOver255) {
  uint8_t table[256 * 4];
  SoTransferFunction::predefinedLookupTable(SoTransferFunction::GREY, table);
  const uint8_t expect[3][4] = {{0, 0, 0, 0}, {128, 128, 128, 128}, {255, 255, 255, 255}};
  const int values[3] = {0, 128, 255};
  for (int i = 0; i < 3; ++i)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(table[4 * values[i] + c], expect[i][c]) << values[i];

  auto* tf = new SoTransferFunction;  // default map is GREY
  tf->ref();
  uint8_t fromNode[256 * 4];
  tf->getLookupTable(fromNode);
  EXPECT_EQ(fromNode[4 * 200 + 1], 200);
  EXPECT_EQ(fromNode[4 * 200 + 3], 200);
  tf->unref();
}

TEST_F(VolumeNodes, PredefinedMapsAreDistinctRampsThatHideEmptyVoxels) {
  const int maps[] = {SoTransferFunction::TEMPERATURE, SoTransferFunction::PHYSICS,
                      SoTransferFunction::STANDARD, SoTransferFunction::GLOW,
                      SoTransferFunction::BLUE_RED};
  uint8_t grey[256 * 4];
  SoTransferFunction::predefinedLookupTable(SoTransferFunction::GREY, grey);
  for (int map : maps) {
    uint8_t t[256 * 4];
    SoTransferFunction::predefinedLookupTable(map, t);
    EXPECT_EQ(t[3], 0) << map;              // value 0 is invisible
    EXPECT_EQ(t[4 * 255 + 3], 255) << map;  // value 255 is opaque
    for (int v = 1; v < 256; ++v) EXPECT_GE(t[4 * v + 3], t[4 * (v - 1) + 3]) << map;
    // Coloured: somewhere along the ramp the channels differ.
    bool coloured = false;
    for (int v = 0; v < 256; ++v)
      coloured |= t[4 * v] != t[4 * v + 1] || t[4 * v + 1] != t[4 * v + 2];
    EXPECT_TRUE(coloured) << map;
  }
  uint8_t blueRed[256 * 4];
  SoTransferFunction::predefinedLookupTable(SoTransferFunction::BLUE_RED, blueRed);
  EXPECT_EQ(blueRed[2], 255);        // low values blue
  EXPECT_EQ(blueRed[4 * 255], 255);  // high values red

  // Seismic shows both extremes and hides the middle.
  uint8_t seismic[256 * 4];
  SoTransferFunction::predefinedLookupTable(SoTransferFunction::SEISMIC, seismic);
  EXPECT_EQ(seismic[3], 255);
  EXPECT_EQ(seismic[4 * 255 + 3], 255);
  EXPECT_LE(seismic[4 * 128 + 3], 2);
}

TEST_F(VolumeNodes, CustomMapInterpolatesItsEntriesAcrossTheValueRange) {
  auto* tf = new SoTransferFunction;
  tf->ref();
  tf->predefColorMap = SoTransferFunction::NONE;
  const float ramp[] = {0, 0, 1, 0, 1, 0, 0, 1};
  tf->colorMap.setValues(0, 8, ramp);
  uint8_t t[256 * 4];
  tf->getLookupTable(t);
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[2], 255);
  EXPECT_EQ(t[3], 0);
  EXPECT_EQ(t[4 * 255], 255);
  EXPECT_EQ(t[4 * 255 + 3], 255);
  EXPECT_NEAR(t[4 * 51 + 3], 51, 1);  // a fifth of the way: alpha 0.2
  EXPECT_NEAR(t[4 * 51 + 2], 204, 1);

  // Out-of-range and NaN entries are clamped, not carried into the bytes.
  const float wild[] = {-3, 7, std::numeric_limits<float>::quiet_NaN(), 0.5f};
  tf->colorMap.setValues(0, 4, wild);
  tf->colorMap.setNum(4);
  tf->getLookupTable(t);
  EXPECT_EQ(t[4 * 9], 0);
  EXPECT_EQ(t[4 * 9 + 1], 255);
  EXPECT_EQ(t[4 * 9 + 2], 0);
  EXPECT_EQ(t[4 * 9 + 3], 128);

  // No entries: nothing is shown.
  tf->colorMap.setNum(0);
  tf->getLookupTable(t);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(t[4 * v + 3], 0);
  tf->unref();
}

}  // namespace
