#pragma once
// The cloud volume node: one cloud's density field, sampled into its own
// 8-bit voxel volume and drawn by the volume renderer. Start-up sets
// noiseSeed before each call. Needs SoDB::init() and SoVolumeRendering::init().

#include <Inventor/SbVec3s.h>

#include <cstdint>

class SoSeparator;

// Fills the cloud density field for the current noiseSeed and samples its
// window 20..43 into a new zero-filled buffer of dims[0]*dims[1]*dims[2]
// bytes, x fastest. The buffer is never released: the volume data that
// shows it lives as long as the scene.
uint8_t* buildCloudVoxels(const SbVec3s& dims);

// A separator holding, in order: the volume data, a grey transfer function,
// the fixed rotation of the cloud grid, the offset (x, y, z) and the volume
// render. Returned unreferenced; the group it is added to owns it.
SoSeparator* buildCloudNode(int16_t dimX, int16_t dimY, int16_t dimZ, float x, float y, float z);
