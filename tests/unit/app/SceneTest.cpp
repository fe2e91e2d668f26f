// The start-up scene: the root's children in order, the sun's light and
// placement, the cloud grid's seeds and offsets, and the release of the
// whole tree.

#include "aircraft/Plane.h"
#include "aircraft/PlaneList.h"
#include "app/Scene.h"
#include "state/Globals.h"
#include "volume/SoVolumeRendering.h"

#include <Inventor/SoDB.h>
#include <Inventor/nodes/SoEnvironment.h>
#include <Inventor/nodes/SoEventCallback.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoPointLight.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSphere.h>
#include <Inventor/nodes/SoTranslation.h>
#include <Inventor/sensors/SoOneShotSensor.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <vector>

namespace {

struct BuiltCloud {
  int index;
  int32_t seed;
  float x, y, z;
};
std::vector<BuiltCloud> clouds;

int fleetSize() {
  int n = 0;
  for (PlaneListNode* cell = fleet.head; cell; cell = cell->next) ++n;
  return n;
}

class StartupScene : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(chdir(FS_SOURCE_DIR "/data"), 0);
    SoDB::init();
    SoVolumeRendering::init();
    buildScene([](int index, int32_t seed, float x, float y, float z) {
      clouds.push_back({index, seed, x, y, z});
    });
  }
};

TEST(SceneRandomGenerator, GivesTheClassicSequence) {
  SceneRandom r;
  EXPECT_EQ(r.next(), 41);
  EXPECT_EQ(r.next(), 18467);
  EXPECT_EQ(r.next(), 6334);
  for (int i = 4; i < 36; ++i) r.next();
  EXPECT_EQ(r.next(), 19912);  // the 36th
  SceneRandom s;
  for (int i = 0; i < 100000; ++i) {
    const int32_t v = s.next();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 32767);
  }
}

TEST_F(StartupScene, RootHoldsFixedNodesCloudsAndAircraftInOrder) {
  ASSERT_NE(sceneRoot, nullptr);
  const int aircraft = fleetSize();
  EXPECT_GE(aircraft, 1);
  ASSERT_EQ(sceneRoot->getNumChildren(), 45 + aircraft);
  EXPECT_TRUE(sceneRoot->getChild(0)->isOfType(SoEventCallback::getClassTypeId()));
  EXPECT_EQ(sceneRoot->getChild(1), sceneCamera);
  EXPECT_TRUE(sceneRoot->getChild(2)->isOfType(SoSeparator::getClassTypeId()));
  EXPECT_TRUE(sceneRoot->getChild(3)->isOfType(SoEnvironment::getClassTypeId()));
  EXPECT_TRUE(sceneRoot->getChild(4)->isOfType(SoMaterial::getClassTypeId()));
  EXPECT_TRUE(sceneRoot->getChild(5)->isOfType(SoTranslation::getClassTypeId()));
  EXPECT_TRUE(sceneRoot->getChild(6)->isOfType(SoSphere::getClassTypeId()));
  EXPECT_TRUE(sceneRoot->getChild(7)->isOfType(SoPointLight::getClassTypeId()));
  EXPECT_TRUE(sceneRoot->getChild(8)->isOfType(SoTranslation::getClassTypeId()));
  for (int i = 9; i < 45; ++i) {
    EXPECT_TRUE(sceneRoot->getChild(i)->isOfType(SoSeparator::getClassTypeId())) << i;
  }
  int i = 45;
  for (PlaneListNode* cell = fleet.head; cell; cell = cell->next, ++i) {
    EXPECT_EQ(sceneRoot->getChild(i), cell->plane->root) << i;
  }
}

TEST_F(StartupScene, TheSunLightsFromTheSunAndLeavesTheRestWhereItWas) {
  const SbVec3f toSun = static_cast<SoTranslation*>(sceneRoot->getChild(5))->translation.getValue();
  const SbVec3f back = static_cast<SoTranslation*>(sceneRoot->getChild(8))->translation.getValue();
  EXPECT_EQ(static_cast<SoPointLight*>(sceneRoot->getChild(7))->location.getValue(),
            SbVec3f(0, 0, 0));
  // The clouds and aircraft after the sun are placed in world coordinates.
  EXPECT_EQ(toSun + back, SbVec3f(0, 0, 0));
  EXPECT_NE(toSun, SbVec3f(0, 0, 0));
}

TEST_F(StartupScene, CloudGridSeedsAndOffsets) {
  ASSERT_EQ(clouds.size(), 36u);
  EXPECT_EQ(clouds[0].seed, 41);
  EXPECT_EQ(clouds[1].seed, 18467);
  EXPECT_EQ(clouds[2].seed, 6334);
  EXPECT_EQ(clouds[35].seed, 19912);
  const float ys[6] = {0, 0.3f, 0, -0.3f, 0, -0.3f};
  for (int i = 0; i < 6; ++i) {
    for (int j = 0; j < 6; ++j) {
      const BuiltCloud& c = clouds[i * 6 + j];
      EXPECT_EQ(c.index, i * 6 + j);
      EXPECT_EQ(c.x, 1.5f * i) << i << "," << j;
      EXPECT_EQ(c.y, ys[j]) << i << "," << j;
      EXPECT_EQ(c.z, 1.5f * j) << i << "," << j;
    }
  }
  EXPECT_EQ(noiseSeed, 19912);  // left at the last cloud's seed
}

TEST_F(StartupScene, TickSensorIsScheduled) {
  ASSERT_NE(tickSensor, nullptr);
  EXPECT_TRUE(tickSensor->isScheduled());
}

// Releasing the root frees the tree it owns.
TEST_F(StartupScene, ReleasingTheRootReleasesEveryChild) {
  EXPECT_EQ(sceneRoot->getRefCount(), 1);
  std::vector<SoNode*> watched;
  for (int i = 0; i < 45; ++i) {
    SoNode* child = sceneRoot->getChild(i);
    EXPECT_EQ(child->getRefCount(), 1) << i;
    child->ref();
    watched.push_back(child);
  }
  sceneRoot->unref();
  sceneRoot = nullptr;
  for (SoNode* child : watched) {
    EXPECT_EQ(child->getRefCount(), 1);
    child->unref();
  }
}

}  // namespace
