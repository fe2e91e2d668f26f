#include "clouds/CloudNode.h"

#include "clouds/CloudField.h"
#include "clouds/Truncate.h"
#include "volume/SoTransferFunction.h"
#include "volume/SoVolumeData.h"
#include "volume/SoVolumeRender.h"

#include <Inventor/SbVec3f.h>
#include <Inventor/nodes/SoRotation.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>

#include <cstddef>
#include <vector>

namespace {

// Every buffer stays reachable from here, so that leak checkers see it as
// deliberately kept rather than lost once the scene is gone.
void keepForTheRun(uint8_t* buffer) {
  static std::vector<uint8_t*>* kept = new std::vector<uint8_t*>;
  kept->push_back(buffer);
}

}  // namespace

uint8_t* buildCloudVoxels(const SbVec3s& dims) {
  const int32_t dimX = dims[0];
  const int32_t dimY = dims[1];
  const int32_t dimZ = dims[2];
  const bool positive = dimX > 0 && dimY > 0 && dimZ > 0;
  const size_t count =
      positive ? static_cast<size_t>(dimX) * static_cast<size_t>(dimY) * static_cast<size_t>(dimZ)
               : 0;
  uint8_t* voxels = new uint8_t[count]();
  keepForTheRun(voxels);

  fillCloudField();

  // Per axis only points 20..43 of the 64-point grid are sampled: the
  // central part, which holds the blob.
  for (int i = 20; i <= 43; ++i) {
    for (int j = 20; j <= 43; ++j) {
      for (int k = 20; k <= 43; ++k) {
        SbVec3f at(static_cast<float>(i), static_cast<float>(j), static_cast<float>(k));
        at /= 64.0f;
        const int32_t x = truncateToInt32(static_cast<double>(static_cast<float>(dimX) * at[0]));
        const int32_t y = truncateToInt32(static_cast<double>(static_cast<float>(dimY) * at[1]));
        const int32_t z = truncateToInt32(static_cast<double>(static_cast<float>(dimZ) * at[2]));
        if (x < 0 || y < 0 || z < 0 || x >= dimX || y >= dimY || z >= dimZ) {
          continue;  // only reachable with non-positive dimensions
        }
        const size_t index =
            static_cast<size_t>(x) + static_cast<size_t>(y) * static_cast<size_t>(dimX) +
            static_cast<size_t>(z) * static_cast<size_t>(dimX) * static_cast<size_t>(dimY);
        const int32_t density = truncateToInt32(static_cast<double>(CloudField[i][j][k]));
        voxels[index] = static_cast<uint8_t>(static_cast<uint32_t>(density) & 0xffu);
      }
    }
  }
  return voxels;
}

SoSeparator* buildCloudNode(int16_t dimX, int16_t dimY, int16_t dimZ, float x, float y, float z) {
  SoSeparator* cloud = new SoSeparator;
  const SbVec3s dims(dimX, dimY, dimZ);
  uint8_t* voxels = buildCloudVoxels(dims);

  SoVolumeData* data = new SoVolumeData;
  data->setVolumeData(dims, voxels, SoVolumeData::UNSIGNED_BYTE, 0);
  cloud->addChild(data);

  SoTransferFunction* transfer = new SoTransferFunction;
  transfer->predefColorMap = SoTransferFunction::GREY;
  cloud->addChild(transfer);

  // A quaternion, not an axis and angle: normalised, it turns the whole
  // grid of clouds by 21.6 degrees about -y.
  SoRotation* rotation = new SoRotation;
  rotation->rotation.setValue(0.0f, -0.3f, 0.0f, 1.5707963f);
  cloud->addChild(rotation);

  SoTranslation* offset = new SoTranslation;
  offset->translation.setValue(x, y, z);
  cloud->addChild(offset);

  SoVolumeRender* render = new SoVolumeRender;
  render->numSlicesControl = SoVolumeRender::AUTOMATIC;
  render->composition = SoVolumeRender::ALPHA_BLENDING;
  render->interpolation = SoVolumeRender::LINEAR;
  cloud->addChild(render);

  return cloud;
}
