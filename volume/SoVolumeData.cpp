#include "volume/SoVolumeData.h"

#include "volume/SoVolumeDataElement.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoGetPrimitiveCountAction.h>
#include <Inventor/actions/SoPickAction.h>

#include <cstdint>

SO_NODE_SOURCE(SoVolumeData);

void
SoVolumeData::initClass(void)
{
  SO_NODE_INIT_CLASS(SoVolumeData, SoNode, "Node");
  SO_ENABLE(SoGLRenderAction, SoVolumeDataElement);
  SO_ENABLE(SoGetBoundingBoxAction, SoVolumeDataElement);
  SO_ENABLE(SoCallbackAction, SoVolumeDataElement);
  SO_ENABLE(SoPickAction, SoVolumeDataElement);
  SO_ENABLE(SoGetPrimitiveCountAction, SoVolumeDataElement);
}

SoVolumeData::SoVolumeData(void)
  : dimension(0, 0, 0),
    data(nullptr),
    type(UNSIGNED_BYTE),
    significantbits(0),
    size(-1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f)
{
  SO_NODE_CONSTRUCTOR(SoVolumeData);
}

SoVolumeData::~SoVolumeData() {}

void
SoVolumeData::setVolumeData(const SbVec3s & dim, void * buffer, SoVolumeData::DataType datatype,
                            int bits)
{
  this->dimension = dim;
  this->data = buffer;
  this->type = datatype;
  this->significantbits = bits;
  // touch() gives the node a new id, which is what texture caches compare.
  this->touch();
}

SbBool
SoVolumeData::getVolumeData(SbVec3s & dim, void *& buffer, SoVolumeData::DataType & datatype,
                            int * bits) const
{
  dim = this->dimension;
  buffer = this->data;
  datatype = this->type;
  if (bits) *bits = this->significantbits;
  return this->data != nullptr && dim[0] > 0 && dim[1] > 0 && dim[2] > 0;
}

void
SoVolumeData::setVolumeSize(const SbBox3f & box)
{
  this->size = box;
  this->touch();
}

SbBox3f
SoVolumeData::getVolumeSize(void) const
{
  return this->size;
}

uint8_t
SoVolumeData::getVoxelIndex(int x, int y, int z) const
{
  const int dx = this->dimension[0], dy = this->dimension[1], dz = this->dimension[2];
  if (!this->data || x < 0 || y < 0 || z < 0 || x >= dx || y >= dy || z >= dz) return 0;
  const size_t i = size_t(x) + size_t(y) * size_t(dx) + size_t(z) * size_t(dx) * size_t(dy);
  switch (this->type) {
    case UNSIGNED_BYTE:
      return static_cast<const uint8_t *>(this->data)[i];
    case UNSIGNED_SHORT: {
      const int bits =
        (this->significantbits > 8 && this->significantbits <= 16) ? this->significantbits : 16;
      const uint32_t v = static_cast<const uint16_t *>(this->data)[i];
      const uint32_t top = (v >> (bits - 8));
      return static_cast<uint8_t>(top > 255u ? 255u : top);
    }
    case RGBA:
      return static_cast<const uint8_t *>(this->data)[i * 4 + 3];
  }
  return 0;
}

void
SoVolumeData::doAction(SoAction * action)
{
  SoVolumeDataElement::set(action->getState(), this, this);
}

void
SoVolumeData::GLRender(SoGLRenderAction * action)
{
  SoVolumeData::doAction(action);
}

void
SoVolumeData::callback(SoCallbackAction * action)
{
  SoVolumeData::doAction(action);
}

void
SoVolumeData::getBoundingBox(SoGetBoundingBoxAction * action)
{
  SoVolumeData::doAction(action);
}

void
SoVolumeData::pick(SoPickAction * action)
{
  SoVolumeData::doAction(action);
}

void
SoVolumeData::getPrimitiveCount(SoGetPrimitiveCountAction * action)
{
  SoVolumeData::doAction(action);
}
