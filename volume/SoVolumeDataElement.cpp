#include "volume/SoVolumeDataElement.h"

SO_ELEMENT_SOURCE(SoVolumeDataElement);

void
SoVolumeDataElement::initClass(void)
{
  SO_ELEMENT_INIT_CLASS(SoVolumeDataElement, inherited);
}

SoVolumeDataElement::~SoVolumeDataElement() {}

void
SoVolumeDataElement::init(SoState * state)
{
  inherited::init(state);
  this->data = nullptr;
}

void
SoVolumeDataElement::push(SoState * state)
{
  inherited::push(state);
  // A pushed element starts as a copy of the one below, as in Coin's own elements.
  const SoVolumeDataElement * prev =
    static_cast<const SoVolumeDataElement *>(this->getNextInStack());
  this->data = prev->data;
  this->nodeId = prev->nodeId;
}

void
SoVolumeDataElement::set(SoState * state, SoNode * node, SoVolumeData * data)
{
  SoVolumeDataElement * elem =
    static_cast<SoVolumeDataElement *>(SoReplacedElement::getElement(state, classStackIndex, node));
  if (elem) elem->data = data;
}

SoVolumeData *
SoVolumeDataElement::get(SoState * state)
{
  const SoVolumeDataElement * elem =
    static_cast<const SoVolumeDataElement *>(SoElement::getConstElement(state, classStackIndex));
  return elem->data;
}
