#ifndef FS_VOLUME_SOTRANSFERFUNCTIONELEMENT_H
#define FS_VOLUME_SOTRANSFERFUNCTIONELEMENT_H

// Traversal-state element naming the latest SoTransferFunction, so that a following
// SoVolumeRender colours its voxels with the map that precedes it.

#include <Inventor/elements/SoReplacedElement.h>
#include <Inventor/elements/SoSubElement.h>

class SoTransferFunction;

class SoTransferFunctionElement : public SoReplacedElement {
  typedef SoReplacedElement inherited;
  SO_ELEMENT_HEADER(SoTransferFunctionElement);

public:
  static void initClass(void);

  virtual void init(SoState * state);
  virtual void push(SoState * state);

  static void set(SoState * state, SoNode * node, SoTransferFunction * data);
  static SoTransferFunction * get(SoState * state);

protected:
  virtual ~SoTransferFunctionElement();

private:
  SoTransferFunction * data;
};

#endif
