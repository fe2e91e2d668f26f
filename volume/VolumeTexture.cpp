// The 3-D textures of SoVolumeRender: voxels coloured through the transfer
// function, uploaded per GL context when their data change.

#include "volume/SoTransferFunction.h"
#include "volume/SoVolumeData.h"
#include "volume/VolumeRenderInternal.h"
#include "volume/VolumeSlicing.h"

#include <Inventor/errors/SoDebugError.h>

#include <algorithm>
#include <cmath>

namespace volumerender {

namespace {

bool warnedNo3D = false;
bool warnedTooLarge = false;
bool warnedNoMax = false;

// Once per run: a GL that lacks something lacks it on every frame.
void
warnOnce(bool & warned, const char * message)
{
  if (warned) return;
  warned = true;
  SoDebugError::postWarning("SoVolumeRender::GLRender", "%s", message);
}

} // namespace

// Where the texels are not all zero. Slicing only that part of the box saves
// most of the fill for clouds, whose data fill the middle of their volume.
void
findOccupied(const std::vector<uint16_t> & rgba, const SbVec3s & dim, Texture & tex)
{
  const int n[3] = {dim[0], dim[1], dim[2]};
  int lo[3] = {n[0], n[1], n[2]}, hi[3] = {-1, -1, -1};
  size_t i = 0;
  for (int z = 0; z < n[2]; ++z)
    for (int y = 0; y < n[1]; ++y)
      for (int x = 0; x < n[0]; ++x, i += 4) {
        if ((rgba[i] | rgba[i + 1] | rgba[i + 2] | rgba[i + 3]) == 0) continue;
        const int v[3] = {x, y, z};
        for (int k = 0; k < 3; ++k) {
          lo[k] = std::min(lo[k], v[k]);
          hi[k] = std::max(hi[k], v[k]);
        }
      }
  for (int k = 0; k < 3; ++k) {
    tex.first[k] = hi[0] < 0 ? 0 : lo[k];
    tex.last[k] = hi[0] < 0 ? 0 : hi[k] + 1;
  }
}

void
deleteTexture(void * closure, uint32_t)
{
  const GLuint name = static_cast<GLuint>(reinterpret_cast<uintptr_t>(closure));
  glDeleteTextures(1, &name);
}

// Voxels coloured through the transfer function, with each alpha corrected
// for the slice spacing. 16 bits per channel: with many slices the corrected
// opacities are small, and 8 bits would round them by up to a fifth.
std::vector<uint16_t>
colourVoxels(const SoVolumeData * data, const SoTransferFunction * transfer, float ratio)
{
  SbVec3s dim;
  void * buffer = nullptr;
  SoVolumeData::DataType type;
  data->getVolumeData(dim, buffer, type);
  const size_t dx = size_t(dim[0]), dy = size_t(dim[1]), dz = size_t(dim[2]);
  const size_t count = dx * dy * dz;

  uint8_t table[256 * 4];
  if (transfer)
    transfer->getLookupTable(table);
  else
    SoTransferFunction::predefinedLookupTable(SoTransferFunction::GREY, table);
  uint16_t corrected[256];
  for (int a = 0; a < 256; ++a)
    corrected[a] = uint16_t(std::lround(correctSliceOpacity(float(a) / 255.0f, ratio) * 65535.0f));
  uint16_t lut[256 * 4];
  for (int v = 0; v < 256; ++v) {
    for (int c = 0; c < 3; ++c) lut[4 * v + c] = uint16_t(table[4 * v + c] * 257u);
    lut[4 * v + 3] = corrected[table[4 * v + 3]];
  }

  std::vector<uint16_t> rgba(count * 4);
  if (type == SoVolumeData::UNSIGNED_BYTE) {
    const uint8_t * src = static_cast<const uint8_t *>(buffer);
    for (size_t i = 0; i < count; ++i) {
      const uint16_t * c = lut + 4 * src[i];
      std::copy(c, c + 4, &rgba[4 * i]);
    }
  } else if (type == SoVolumeData::RGBA) {
    const uint8_t * src = static_cast<const uint8_t *>(buffer);
    for (size_t i = 0; i < count * 4; i += 4) {
      rgba[i] = uint16_t(src[i] * 257u);
      rgba[i + 1] = uint16_t(src[i + 1] * 257u);
      rgba[i + 2] = uint16_t(src[i + 2] * 257u);
      rgba[i + 3] = corrected[src[i + 3]];
    }
  } else {
    size_t i = 0;
    for (size_t z = 0; z < dz; ++z)
      for (size_t y = 0; y < dy; ++y)
        for (size_t x = 0; x < dx; ++x, ++i) {
          const uint16_t * c = lut + 4 * data->getVoxelIndex(int(x), int(y), int(z));
          std::copy(c, c + 4, &rgba[4 * i]);
        }
  }
  return rgba;
}

bool
texturesAvailable(const Limits & limits)
{
  if (limits.textures3d) return true;
  warnOnce(warnedNo3D, "this OpenGL has no 3-D textures; volumes are not drawn");
  return false;
}

bool
textureFits(const SbVec3s & dim, const Limits & limits)
{
  const GLint max3d = limits.max3dTexture;
  if (max3d <= 0) {
    warnOnce(warnedNoMax, "this OpenGL reports no 3-D texture size; volumes are not drawn");
    return false;
  }
  if (dim[0] > max3d || dim[1] > max3d || dim[2] > max3d ||
      double(dim[0]) * double(dim[1]) * double(dim[2]) > double(1 << 27)) {
    warnOnce(warnedTooLarge, "volume larger than the OpenGL 3-D texture limit; not drawn");
    return false;
  }
  return true;
}

const Texture &
bindTexture(Texture & tex, const Pending & p, const SbVec3s & dim, float ratio, GLint filter,
            const cc_glglue * glue)
{
  const SbUniqueId dataId = p.data->getNodeId();
  const SbUniqueId transferId = p.transfer ? p.transfer->getNodeId() : 0;
  // A 2% change of the spacing is not worth a new upload.
  const bool stale = tex.name == 0 || tex.dataId != dataId || tex.transferId != transferId ||
                     std::fabs(tex.ratio - ratio) > 0.02f * ratio;
  if (tex.name == 0) glGenTextures(1, &tex.name);
  glBindTexture(GL_TEXTURE_3D, tex.name);
  if (stale) {
    std::vector<uint16_t> rgba = colourVoxels(p.data, p.transfer, ratio);
    if (ratio == 1.0f) {
      // Uncorrected, the texels are the transfer function's own 8-bit values
      // (times 257): 8 bits hold them exactly at half the memory and fetch cost.
      std::vector<uint8_t> rgba8(rgba.size());
      for (size_t i = 0; i < rgba.size(); ++i) rgba8[i] = uint8_t(rgba[i] >> 8);
      cc_glglue_glTexImage3D(glue, GL_TEXTURE_3D, 0, GL_RGBA8, dim[0], dim[1], dim[2], 0, GL_RGBA,
                             GL_UNSIGNED_BYTE, rgba8.data());
    } else {
      // Corrected opacities are small with many slices; 8 bits would round
      // them by up to a fifth.
      cc_glglue_glTexImage3D(glue, GL_TEXTURE_3D, 0, GL_RGBA16, dim[0], dim[1], dim[2], 0, GL_RGBA,
                             GL_UNSIGNED_SHORT, rgba.data());
    }
    findOccupied(rgba, dim, tex);
    tex.dataId = dataId;
    tex.transferId = transferId;
    tex.ratio = ratio;
  }
  // Texture parameters belong to the texture object: set them on change
  // only, each change costs the driver a new sampler.
  if (tex.filter != filter) {
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    tex.filter = filter;
  }
  return tex;
}

} // namespace volumerender
