#ifndef FS_VOLUME_SOTRANSFERFUNCTION_H
#define FS_VOLUME_SOTRANSFERFUNCTION_H

// Maps an 8-bit voxel value to colour and opacity for the SoVolumeRender
// nodes that follow it. GREY gives grey level = opacity = value / 255. NONE
// takes the map from colorMap: RGBA quadruplets in [0, 1], the first for
// value 0 and the last for value 255, linearly interpolated in between.

#include <Inventor/fields/SoMFFloat.h>
#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSubNode.h>

#include <cstdint>

class SoTransferFunction : public SoNode {
  typedef SoNode inherited;
  SO_NODE_HEADER(SoTransferFunction);

public:
  static void initClass(void);
  SoTransferFunction(void);

  enum PredefColorMap {
    NONE = 0,
    GREY = 1,
    GRAY = GREY,
    TEMPERATURE = 2,
    PHYSICS = 3,
    STANDARD = 4,
    GLOW = 5,
    BLUE_RED = 6,
    SEISMIC = 7
  };

  SoSFEnum predefColorMap;
  SoMFFloat colorMap;

  // The 256-entry RGBA table (256 * 4 bytes) for the current field values.
  void getLookupTable(uint8_t rgba[256 * 4]) const;
  // The same for a predefined map; NONE gives an all-transparent table.
  static void predefinedLookupTable(int map, uint8_t rgba[256 * 4]);

  virtual void doAction(SoAction * action);
  virtual void GLRender(SoGLRenderAction * action);
  virtual void callback(SoCallbackAction * action);
  virtual void pick(SoPickAction * action);

protected:
  virtual ~SoTransferFunction();
};

#endif
