#pragma once
// The Texture2 node of models. Coin's own reads its image by name while the
// model is parsed, opening whatever the name leads to at that moment (a
// FIFO blocks it for good). This one reads the image through
// readTextureFile: one regular-file descriptor, bytes judged in a child, the
// same bytes decoded. Models are parsed with it standing in for Texture2.

#include <Inventor/nodes/SoSubNode.h>
#include <Inventor/nodes/SoTexture2.h>

class ModelTexture : public SoTexture2 {
  SO_NODE_HEADER(ModelTexture);

 public:
  static void initClass();
  ModelTexture();

  // Makes every Texture2 a model file holds a ModelTexture, textures
  // no larger than limit on a side; idempotent.
  static void standIn(int limit);

 protected:
  ~ModelTexture() override;
  SbBool readInstance(SoInput* in, unsigned short flags) override;
};
