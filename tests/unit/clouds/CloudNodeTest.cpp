#include "clouds/CloudField.h"
#include "clouds/CloudNode.h"
#include "state/Globals.h"
#include "volume/SoTransferFunction.h"
#include "volume/SoVolumeData.h"
#include "volume/SoVolumeRender.h"
#include "volume/SoVolumeRendering.h"

#include <Inventor/SbRotation.h>
#include <Inventor/SoDB.h>
#include <Inventor/nodes/SoRotation.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

class CloudNodeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SoDB::init();
    SoVolumeRendering::init();
  }
  // Lets leak checkers tell the library's start-up allocations from ours.
  static void TearDownTestSuite() { SoDB::finish(); }
  void TearDown() override {
    noiseSeed = 0;
    cloudCover = 99;
  }
};

size_t voxelIndex(const SbVec3s& dims, int x, int y, int z) {
  return static_cast<size_t>(x + y * dims[0] + z * dims[0] * dims[1]);
}

// The grid index each of the 20 voxels along an axis keeps, -1 for none:
// indices 20..43 go to voxel floor(g * 20 / 64), the last one written wins.
constexpr int kKeptOnTwenty[20] = {-1, -1, -1, -1, -1, -1, 22, 25, 28, 31,
                                   35, 38, 41, 43, -1, -1, -1, -1, -1, -1};

}  // namespace

TEST_F(CloudNodeTest, VoxelsHoldTheLastSampledCellOfTheCentralWindow) {
  const SbVec3s dims(20, 20, 20);
  noiseSeed = 41;

  const uint8_t* voxels = buildCloudVoxels(dims);

  // The grid still holds the field the voxels were sampled from.
  EXPECT_EQ(voxels[voxelIndex(dims, 6, 6, 6)], CloudField[22][22][22]);
  EXPECT_EQ(voxels[voxelIndex(dims, 13, 13, 13)], CloudField[43][43][43]);
  EXPECT_EQ(voxels[voxelIndex(dims, 10, 6, 13)], CloudField[35][22][43]);
  int nonZero = 0;
  for (int z = 0; z < 20; ++z) {
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 20; ++x) {
        const uint8_t v = voxels[voxelIndex(dims, x, y, z)];
        nonZero += v != 0;
        const int gx = kKeptOnTwenty[x], gy = kKeptOnTwenty[y], gz = kKeptOnTwenty[z];
        if (gx < 0 || gy < 0 || gz < 0) {
          EXPECT_EQ(v, 0) << x << " " << y << " " << z;
        } else {
          EXPECT_EQ(v, CloudField[gx][gy][gz]) << x << " " << y << " " << z;
        }
      }
    }
  }
  EXPECT_GT(nonZero, 0);
  EXPECT_LE(nonZero, 512);
}

TEST_F(CloudNodeTest, VoxelsOfOtherShapesKeepXFastest) {
  const SbVec3s dims(10, 20, 40);
  noiseSeed = 18467;

  const uint8_t* voxels = buildCloudVoxels(dims);

  // Along an axis of d voxels, grid index g lands on floor(g * d / 64).
  auto kept = [](int voxel, int d) {
    int last = -1;
    for (int g = 20; g <= 43; ++g) {
      if (g * d / 64 == voxel) {
        last = g;
      }
    }
    return last;
  };
  for (int z = 0; z < 40; ++z) {
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 10; ++x) {
        const int gx = kept(x, 10), gy = kept(y, 20), gz = kept(z, 40);
        const uint8_t expected =
            gx < 0 || gy < 0 || gz < 0 ? 0 : static_cast<uint8_t>(CloudField[gx][gy][gz]);
        ASSERT_EQ(voxels[voxelIndex(dims, x, y, z)], expected) << x << " " << y << " " << z;
      }
    }
  }
}

TEST_F(CloudNodeTest, FullDensityBecomesByte255) {
  cloudCover = -1000;  // every cell saturates at 255
  const SbVec3s dims(20, 20, 20);

  const uint8_t* voxels = buildCloudVoxels(dims);

  EXPECT_EQ(CloudField[30][30][30], 255.0f);
  EXPECT_EQ(voxels[voxelIndex(dims, 6, 6, 6)], 255);
  EXPECT_EQ(voxels[voxelIndex(dims, 13, 9, 7)], 255);
  EXPECT_EQ(voxels[voxelIndex(dims, 5, 6, 6)], 0);
}

TEST_F(CloudNodeTest, SameSeedGivesByteIdenticalBuffers) {
  const SbVec3s dims(20, 20, 20);
  noiseSeed = 41;
  const uint8_t* first = buildCloudVoxels(dims);
  noiseSeed = 6334;
  const uint8_t* other = buildCloudVoxels(dims);
  noiseSeed = 41;

  const uint8_t* again = buildCloudVoxels(dims);

  EXPECT_NE(first, again);
  EXPECT_EQ(std::memcmp(first, again, 8000), 0);
  EXPECT_NE(std::memcmp(first, other, 8000), 0);
}

TEST_F(CloudNodeTest, NodeHoldsTheFiveVolumeChildrenInOrder) {
  noiseSeed = 41;

  SoSeparator* cloud = buildCloudNode(20, 20, 20, 1.5f, -2.0f, 30.0f);

  EXPECT_EQ(cloud->getRefCount(), 0);
  cloud->ref();
  ASSERT_EQ(cloud->getNumChildren(), 5);
  ASSERT_EQ(cloud->getChild(0)->getTypeId(), SoVolumeData::getClassTypeId());
  ASSERT_EQ(cloud->getChild(1)->getTypeId(), SoTransferFunction::getClassTypeId());
  ASSERT_EQ(cloud->getChild(2)->getTypeId(), SoRotation::getClassTypeId());
  ASSERT_EQ(cloud->getChild(3)->getTypeId(), SoTranslation::getClassTypeId());
  ASSERT_EQ(cloud->getChild(4)->getTypeId(), SoVolumeRender::getClassTypeId());

  auto* data = static_cast<SoVolumeData*>(cloud->getChild(0));
  SbVec3s dims;
  void* voxels = nullptr;
  SoVolumeData::DataType type = SoVolumeData::RGBA;
  int bits = -1;
  ASSERT_TRUE(data->getVolumeData(dims, voxels, type, &bits));
  EXPECT_EQ(dims, SbVec3s(20, 20, 20));
  EXPECT_EQ(type, SoVolumeData::UNSIGNED_BYTE);
  EXPECT_EQ(bits, 0);
  const uint8_t* expected = buildCloudVoxels(dims);
  EXPECT_EQ(std::memcmp(voxels, expected, 8000), 0);

  auto* transfer = static_cast<SoTransferFunction*>(cloud->getChild(1));
  EXPECT_EQ(transfer->predefColorMap.getValue(), 1);

  const SbRotation turn = static_cast<SoRotation*>(cloud->getChild(2))->rotation.getValue();
  EXPECT_TRUE(turn.equals(SbRotation(0.0f, -0.3f, 0.0f, 1.5707963f), 0.0f));
  SbVec3f axis;
  float angle = 0.0f;
  turn.getValue(axis, angle);
  EXPECT_NEAR(angle, 0.37743f, 1e-4f);
  EXPECT_NEAR(axis[1], -1.0f, 1e-5f);

  EXPECT_EQ(static_cast<SoTranslation*>(cloud->getChild(3))->translation.getValue(),
            SbVec3f(1.5f, -2.0f, 30.0f));

  auto* render = static_cast<SoVolumeRender*>(cloud->getChild(4));
  EXPECT_EQ(render->numSlicesControl.getValue(), 2);
  EXPECT_EQ(render->composition.getValue(), 2);
  EXPECT_EQ(render->interpolation.getValue(), 1);
  EXPECT_TRUE(render->numSlices.isDefault());

  cloud->unref();
}
