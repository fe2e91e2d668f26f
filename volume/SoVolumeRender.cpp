#include "volume/SoVolumeRender.h"

#include "volume/SoTransferFunctionElement.h"
#include "volume/SoVolumeData.h"
#include "volume/SoVolumeDataElement.h"
#include "volume/VolumeRenderInternal.h"

#include <Inventor/SbViewVolume.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoGetPrimitiveCountAction.h>
#include <Inventor/actions/SoPickAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoDrawStyleElement.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoProjectionMatrixElement.h>
#include <Inventor/elements/SoViewVolumeElement.h>
#include <Inventor/elements/SoViewingMatrixElement.h>
#include <Inventor/elements/SoViewportRegionElement.h>

SO_NODE_SOURCE(SoVolumeRender);

void
SoVolumeRender::initClass(void)
{
  SO_NODE_INIT_CLASS(SoVolumeRender, SoShape, "Shape");
  SO_ENABLE(SoGLRenderAction, SoVolumeDataElement);
  SO_ENABLE(SoGLRenderAction, SoTransferFunctionElement);
  SO_ENABLE(SoGetBoundingBoxAction, SoVolumeDataElement);
  SO_ENABLE(SoCallbackAction, SoVolumeDataElement);
  SO_ENABLE(SoCallbackAction, SoTransferFunctionElement);
  SO_ENABLE(SoPickAction, SoVolumeDataElement);
  SO_ENABLE(SoGetPrimitiveCountAction, SoVolumeDataElement);
}

SoVolumeRender::SoVolumeRender(void)
{
  SO_NODE_CONSTRUCTOR(SoVolumeRender);
  SO_NODE_ADD_FIELD(numSlicesControl, (AUTOMATIC));
  SO_NODE_ADD_FIELD(numSlices, (64));
  SO_NODE_ADD_FIELD(composition, (ALPHA_BLENDING));
  SO_NODE_ADD_FIELD(interpolation, (LINEAR));

  SO_NODE_DEFINE_ENUM_VALUE(NumSlicesControl, ALL);
  SO_NODE_DEFINE_ENUM_VALUE(NumSlicesControl, MANUAL);
  SO_NODE_DEFINE_ENUM_VALUE(NumSlicesControl, AUTOMATIC);
  SO_NODE_SET_SF_ENUM_TYPE(numSlicesControl, NumSlicesControl);

  SO_NODE_DEFINE_ENUM_VALUE(Composition, MAX_INTENSITY);
  SO_NODE_DEFINE_ENUM_VALUE(Composition, SUM_INTENSITY);
  SO_NODE_DEFINE_ENUM_VALUE(Composition, ALPHA_BLENDING);
  SO_NODE_SET_SF_ENUM_TYPE(composition, Composition);

  SO_NODE_DEFINE_ENUM_VALUE(Interpolation, NEAREST);
  SO_NODE_DEFINE_ENUM_VALUE(Interpolation, LINEAR);
  SO_NODE_SET_SF_ENUM_TYPE(interpolation, Interpolation);
}

SoVolumeRender::~SoVolumeRender()
{
  volumerender::forgetTextures(this);
}

void
SoVolumeRender::setStageTimer(double * seconds)
{
  volumerender::setStageTimer(seconds);
}

SoVolumeRender::Quality
SoVolumeRender::setQuality(Quality quality)
{
  return Quality(volumerender::setQuality(int(quality)));
}

void
SoVolumeRender::computeBBox(SoAction * action, SbBox3f & box, SbVec3f & center)
{
  const SoVolumeData * data = SoVolumeDataElement::get(action->getState());
  if (!data) {
    box.makeEmpty();
    center.setValue(0.0f, 0.0f, 0.0f);
    return;
  }
  box = data->getVolumeSize();
  center = box.isEmpty() ? SbVec3f(0.0f, 0.0f, 0.0f) : box.getCenter();
}

void
SoVolumeRender::generatePrimitives(SoAction * action)
{
  // The faces of the volume's box, so that picking and triangle callbacks
  // see the extent that the volume occupies.
  const SoVolumeData * data = SoVolumeDataElement::get(action->getState());
  if (!data) return;
  const SbBox3f box = data->getVolumeSize();
  if (box.isEmpty()) return;
  const SbVec3f & lo = box.getMin();
  const SbVec3f & hi = box.getMax();
  SoPrimitiveVertex pv;
  this->beginShape(action, TRIANGLES);
  for (int axis = 0; axis < 3; ++axis) {
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    for (int side = 0; side < 2; ++side) {
      SbVec3f normal(0.0f, 0.0f, 0.0f);
      normal[axis] = side ? 1.0f : -1.0f;
      SbVec3f quad[4];
      const float uu[4] = {0, 1, 1, 0}, vv[4] = {0, 0, 1, 1};
      for (int k = 0; k < 4; ++k) {
        const int q = side ? k : 3 - k; // outward winding on both sides
        quad[k][axis] = side ? hi[axis] : lo[axis];
        quad[k][u] = uu[q] ? hi[u] : lo[u];
        quad[k][v] = vv[q] ? hi[v] : lo[v];
      }
      static const int tri[6] = {0, 1, 2, 0, 2, 3};
      for (int k : tri) {
        pv.setPoint(quad[k]);
        pv.setNormal(normal);
        const SbVec3f t = quad[k] - lo;
        const SbVec3f s = hi - lo;
        pv.setTextureCoords(SbVec4f(t[0] / s[0], t[1] / s[1], t[2] / s[2], 1.0f));
        this->shapeVertex(&pv);
      }
    }
  }
  this->endShape();
}

void
SoVolumeRender::GLRender(SoGLRenderAction * action)
{
  SoState * state = action->getState();
  // The slices follow the camera: no render cache may keep them.
  SoCacheElement::invalidate(state);

  if (action->isRenderingDelayedPaths()) {
    volumerender::drawQueued(action);
    return;
  }

  SoVolumeData * data = SoVolumeDataElement::get(state);
  if (!data) return;
  if (SoDrawStyleElement::get(state) == SoDrawStyleElement::INVISIBLE) return;
  SbVec3s dim;
  void * buffer = nullptr;
  SoVolumeData::DataType type;
  if (!data->getVolumeData(dim, buffer, type)) return;
  const SbBox3f box = data->getVolumeSize();
  if (box.isEmpty()) return;

  volumerender::Pending p;
  p.node = this;
  p.data = data;
  p.transfer = SoTransferFunctionElement::get(state);
  p.view.modelview = SoModelMatrixElement::get(state);
  p.view.modelview.multRight(SoViewingMatrixElement::get(state));
  p.view.projection = SoProjectionMatrixElement::get(state);
  const SbViewVolume & vv = SoViewVolumeElement::get(state);
  p.view.nearDist = vv.getNearDist();
  p.view.farDist = vv.getNearDist() + vv.getDepth();
  p.view.viewport = SoViewportRegionElement::get(state).getViewportSizePixels();
  // Coin has set the fog of this point in the scene in GL already; keep it
  // for the delayed draw, when another part of the scene may be current.
  p.fog = glIsEnabled(GL_FOG);
  glGetIntegerv(GL_FOG_MODE, &p.fogMode);
  glGetFloatv(GL_FOG_DENSITY, &p.fogDensity);
  glGetFloatv(GL_FOG_START, &p.fogStart);
  glGetFloatv(GL_FOG_END, &p.fogEnd);
  glGetFloatv(GL_FOG_COLOR, p.fogColour);
  SbVec3f centre;
  p.view.modelview.multVecMatrix(box.getCenter(), centre);
  p.depth = centre[2];

  volumerender::queueVolume(action, p);
}
