#include "volume/SoTransferFunctionElement.h"

SO_ELEMENT_SOURCE(SoTransferFunctionElement);

void
SoTransferFunctionElement::initClass(void)
{
  SO_ELEMENT_INIT_CLASS(SoTransferFunctionElement, inherited);
}

SoTransferFunctionElement::~SoTransferFunctionElement() {}

void
SoTransferFunctionElement::init(SoState * state)
{
  inherited::init(state);
  this->data = nullptr;
}

void
SoTransferFunctionElement::push(SoState * state)
{
  inherited::push(state);
  // A pushed element starts as a copy of the one below, as in Coin's own elements.
  const SoTransferFunctionElement * prev =
    static_cast<const SoTransferFunctionElement *>(this->getNextInStack());
  this->data = prev->data;
  this->nodeId = prev->nodeId;
}

void
SoTransferFunctionElement::set(SoState * state, SoNode * node, SoTransferFunction * data)
{
  SoTransferFunctionElement * elem = static_cast<SoTransferFunctionElement *>(
    SoReplacedElement::getElement(state, classStackIndex, node));
  if (elem) elem->data = data;
}

SoTransferFunction *
SoTransferFunctionElement::get(SoState * state)
{
  const SoTransferFunctionElement * elem = static_cast<const SoTransferFunctionElement *>(
    SoElement::getConstElement(state, classStackIndex));
  return elem->data;
}
