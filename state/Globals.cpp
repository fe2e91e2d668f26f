#include "state/Globals.h"

SoSeparator* sceneRoot = nullptr;
SoPerspectiveCamera* sceneCamera = nullptr;
SoOneShotSensor* tickSensor = nullptr;
int32_t noiseSeed = 0;
