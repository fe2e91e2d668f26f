#ifndef FS_VOLUME_SOVOLUMERENDERING_H
#define FS_VOLUME_SOVOLUMERENDERING_H

// Registers the volume-rendering nodes and their elements with Coin's type
// system. Call once after SoDB::init() (further calls do nothing), before
// creating or reading any of the nodes.

class SoVolumeRendering {
public:
  static void init(void);
};

#endif
