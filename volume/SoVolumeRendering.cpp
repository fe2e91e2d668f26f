#include "volume/SoVolumeRendering.h"

#include "volume/SoTransferFunction.h"
#include "volume/SoTransferFunctionElement.h"
#include "volume/SoVolumeData.h"
#include "volume/SoVolumeDataElement.h"
#include "volume/SoVolumeRender.h"

void
SoVolumeRendering::init(void)
{
  static bool done = false;
  if (done) return;
  done = true;
  // Elements first: the nodes enable them in the actions.
  SoVolumeDataElement::initClass();
  SoTransferFunctionElement::initClass();
  SoVolumeData::initClass();
  SoTransferFunction::initClass();
  SoVolumeRender::initClass();
}
