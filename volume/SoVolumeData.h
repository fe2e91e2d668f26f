#ifndef FS_VOLUME_SOVOLUMEDATA_H
#define FS_VOLUME_SOVOLUMEDATA_H

// A block of voxels and the box it fills in object space. The node keeps a
// pointer to the caller's buffer (it never copies or frees it); setting the
// data again, even with the same pointer, tells the renderers to re-upload.
// Voxel (x, y, z) is at index x + y*dimX + z*dimX*dimY.

#include <Inventor/SbBox3f.h>
#include <Inventor/SbVec3s.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSubNode.h>

class SoVolumeData : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(SoVolumeData);

public:
  static void initClass(void);
  SoVolumeData(void);

  enum DataType { UNSIGNED_BYTE = 0, UNSIGNED_SHORT = 1, RGBA = 2 };

  // significantbits: for UNSIGNED_SHORT the number of bits in use (0 = 16).
  void setVolumeData(const SbVec3s & dimension, void * data,
                     SoVolumeData::DataType type = UNSIGNED_BYTE, int significantbits = 0);
  SbBool getVolumeData(SbVec3s & dimension, void *& data, SoVolumeData::DataType & type,
                       int * significantbits = nullptr) const;

  void setVolumeSize(const SbBox3f & size);
  SbBox3f getVolumeSize(void) const;

  // Voxel value at (x, y, z) as an 8-bit index into a transfer function;
  // RGBA voxels give their alpha. Out-of-range coordinates or no data give 0.
  uint8_t getVoxelIndex(int x, int y, int z) const;

  virtual void doAction(SoAction * action);
  virtual void GLRender(SoGLRenderAction * action);
  virtual void callback(SoCallbackAction * action);
  virtual void getBoundingBox(SoGetBoundingBoxAction * action);
  virtual void pick(SoPickAction * action);
  virtual void getPrimitiveCount(SoGetPrimitiveCountAction * action);

protected:
  virtual ~SoVolumeData();

private:
  SbVec3s dimension;
  void * data;
  DataType type;
  int significantbits;
  SbBox3f size;
};

#endif
