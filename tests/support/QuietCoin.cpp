#include "tests/support/QuietCoin.h"

#include <Inventor/SoDB.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/errors/SoReadError.h>

namespace fstest {

namespace {
void ignore(const SoError*, void*) {}
}  // namespace

void initQuietCoin() {
  SoDB::init();
  SoDebugError::setHandlerCallback(ignore, nullptr);
  SoReadError::setHandlerCallback(ignore, nullptr);
}

}  // namespace fstest
