#include "app/Scene.h"

#include "aircraft/ModelFile.h"
#include "aircraft/PlaneListFile.h"
#include "app/SkyBox.h"
#include "app/Tick.h"
#include "clouds/CloudNode.h"
#include "state/Globals.h"
#include "state/KeyTable.h"
#include "window/Window.h"

#include <Inventor/events/SoKeyboardEvent.h>
#include <Inventor/nodes/SoEnvironment.h>
#include <Inventor/nodes/SoEventCallback.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoPointLight.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSphere.h>
#include <Inventor/nodes/SoTranslation.h>
#include <Inventor/sensors/SoOneShotSensor.h>

SceneRandom sceneRandom;

SoPerspectiveCamera* buildCamera() {
  auto* camera = new SoPerspectiveCamera;
  camera->nearDistance = kCameraNear;
  camera->farDistance = kCameraFar;
  camera->heightAngle = kCameraHeightAngle;
  return camera;
}

void addCloudGrid(SoGroup* parent, SceneRandom& random, CloudBuiltHook onCloud) {
  float x = 0.0f, y = 0.0f, z = 0.0f;
  for (int i = 0; i < 6; ++i) {
    for (int j = 0; j < 6; ++j) {
      noiseSeed = random.next();
      if (onCloud) onCloud(i * 6 + j, noiseSeed, x, y, z);
      parent->addChild(buildCloudNode(20, 20, 20, x, y, z));
      // A row rises and falls by 0.3 along z; the sums stay exact in float.
      if (z == 0.0f || y == -0.3f) {
        y += 0.3f;
      } else if (z > 0.0f) {
        y -= 0.3f;
      }
      z += 1.5f;
    }
    x += 1.5f;
    z = 0.0f;
    y = 0.0f;
  }
}

namespace {
// Models and sky images may hold no texture larger than this context takes.
void limitTexturesToTheContext() { setModelTextureLimit(win::maxTextureSize()); }
}  // namespace

SoSeparator* buildScene(CloudBuiltHook onCloud) {
  limitTexturesToTheContext();
  requirePlaneListFile();
  sceneRoot = new SoSeparator;
  sceneRoot->ref();

  sceneCamera = buildCamera();
  sceneRoot->addChild(sceneCamera);

  sceneRoot->addChild(buildSkyBox(sceneCamera));

  auto* environment = new SoEnvironment;
  environment->ambientIntensity = 0.25f;
  environment->fogType = SoEnvironment::SMOKE;
  sceneRoot->addChild(environment);

  auto* material = new SoMaterial;
  material->ambientColor.setValue(1, 1, 1);
  material->diffuseColor.setValue(1, 1, 1);
  material->emissiveColor.setValue(1, 1, 0.5f);
  sceneRoot->addChild(material);

  // The light sits at the sun's centre; the second translation brings the
  // origin back for the clouds and aircraft.
  auto* toSun = new SoTranslation;
  toSun->translation.setValue(-2, 1, 1);
  sceneRoot->addChild(toSun);
  auto* sun = new SoSphere;
  sun->radius = 0.2f;
  sceneRoot->addChild(sun);
  auto* light = new SoPointLight;
  light->location.setValue(0, 0, 0);
  light->intensity = 0.55f;
  sceneRoot->addChild(light);
  auto* back = new SoTranslation;
  back->translation.setValue(2, -1, -1);
  sceneRoot->addChild(back);

  addCloudGrid(sceneRoot, sceneRandom, onCloud);

  loadPlaneList(sceneRoot);

  tickSensor = new SoOneShotSensor(tickCallback, nullptr);
  tickSensor->schedule();

  auto* keys = new SoEventCallback;
  keys->addEventCallback(SoKeyboardEvent::getClassTypeId(), keyboardCallback, nullptr);
  sceneRoot->insertChild(keys, 0);
  return sceneRoot;
}
