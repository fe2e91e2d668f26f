#ifndef FS_VOLUME_SOVOLUMEDATAELEMENT_H
#define FS_VOLUME_SOVOLUMEDATAELEMENT_H

// Traversal-state element naming the latest SoVolumeData, so that a following
// SoVolumeRender draws the voxels that precede it in the scene graph.

#include <Inventor/elements/SoReplacedElement.h>
#include <Inventor/elements/SoSubElement.h>

class SoVolumeData;

class SoVolumeDataElement : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_HEADER(SoVolumeDataElement);

public:
  static void initClass(void);

  virtual void init(SoState * state);
  virtual void push(SoState * state);

  static void set(SoState * state, SoNode * node, SoVolumeData * data);
  static SoVolumeData * get(SoState * state);

protected:
  virtual ~SoVolumeDataElement();

private:
  SoVolumeData * data;
};

#endif
