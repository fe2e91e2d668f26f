#include "volume/SoTransferFunction.h"

#include "volume/SoTransferFunctionElement.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoPickAction.h>

#include <algorithm>
#include <cmath>

SO_NODE_SOURCE(SoTransferFunction);

void
SoTransferFunction::initClass(void)
{
  SO_NODE_INIT_CLASS(SoTransferFunction, SoNode, "Node");
  SO_ENABLE(SoGLRenderAction, SoTransferFunctionElement);
  SO_ENABLE(SoCallbackAction, SoTransferFunctionElement);
  SO_ENABLE(SoPickAction, SoTransferFunctionElement);
}

SoTransferFunction::SoTransferFunction(void)
{
  SO_NODE_CONSTRUCTOR(SoTransferFunction);
  SO_NODE_ADD_FIELD(predefColorMap, (GREY));
  SO_NODE_ADD_FIELD(colorMap, (0.0f));
  this->colorMap.setNum(0);
  this->colorMap.setDefault(TRUE);

  SO_NODE_DEFINE_ENUM_VALUE(PredefColorMap, NONE);
  SO_NODE_DEFINE_ENUM_VALUE(PredefColorMap, GREY);
  SO_NODE_DEFINE_ENUM_VALUE(PredefColorMap, GRAY);
  SO_NODE_DEFINE_ENUM_VALUE(PredefColorMap, TEMPERATURE);
  SO_NODE_DEFINE_ENUM_VALUE(PredefColorMap, PHYSICS);
  SO_NODE_DEFINE_ENUM_VALUE(PredefColorMap, STANDARD);
  SO_NODE_DEFINE_ENUM_VALUE(PredefColorMap, GLOW);
  SO_NODE_DEFINE_ENUM_VALUE(PredefColorMap, BLUE_RED);
  SO_NODE_DEFINE_ENUM_VALUE(PredefColorMap, SEISMIC);
  SO_NODE_SET_SF_ENUM_TYPE(predefColorMap, PredefColorMap);
}

SoTransferFunction::~SoTransferFunction() {}

namespace {

struct Stop {
  float t, r, g, b;
};

// Piecewise-linear colour ramp through the stops (t ascending from 0 to 1).
void
rampColour(const Stop * stops, int n, float t, float rgb[3])
{
  int i = 0;
  while (i < n - 2 && t > stops[i + 1].t) ++i;
  const Stop & a = stops[i];
  const Stop & b = stops[i + 1];
  const float f = std::clamp((t - a.t) / (b.t - a.t), 0.0f, 1.0f);
  rgb[0] = a.r + (b.r - a.r) * f;
  rgb[1] = a.g + (b.g - a.g) * f;
  rgb[2] = a.b + (b.b - a.b) * f;
}

uint8_t
toByte(float v)
{
  if (!(v > 0.0f)) return 0; // also NaN from a hand-written colorMap
  return static_cast<uint8_t>(std::lround(std::min(v, 1.0f) * 255.0f));
}

} // namespace

void
SoTransferFunction::predefinedLookupTable(int map, uint8_t rgba[256 * 4])
{
  static const Stop temperature[] = {{0.0f, 0.0f, 0.0f, 1.0f},
                                     {0.25f, 0.0f, 1.0f, 1.0f},
                                     {0.5f, 0.0f, 1.0f, 0.0f},
                                     {0.75f, 1.0f, 1.0f, 0.0f},
                                     {1.0f, 1.0f, 0.0f, 0.0f}};
  static const Stop physics[] = {{0.0f, 0.0f, 0.0f, 0.0f}, {0.2f, 0.0f, 0.0f, 1.0f},
                                 {0.4f, 0.0f, 1.0f, 1.0f}, {0.6f, 0.0f, 1.0f, 0.0f},
                                 {0.8f, 1.0f, 1.0f, 0.0f}, {1.0f, 1.0f, 0.0f, 0.0f}};
  static const Stop standard[] = {{0.0f, 1.0f, 0.0f, 0.0f},
                                  {0.25f, 1.0f, 1.0f, 0.0f},
                                  {0.5f, 0.0f, 1.0f, 0.0f},
                                  {0.75f, 0.0f, 1.0f, 1.0f},
                                  {1.0f, 0.0f, 0.0f, 1.0f}};
  static const Stop glow[] = {{0.0f, 0.0f, 0.0f, 0.0f},
                              {0.4f, 1.0f, 0.0f, 0.0f},
                              {0.8f, 1.0f, 1.0f, 0.0f},
                              {1.0f, 1.0f, 1.0f, 1.0f}};
  static const Stop bluered[] = {{0.0f, 0.0f, 0.0f, 1.0f}, {1.0f, 1.0f, 0.0f, 0.0f}};
  static const Stop seismic[] = {
    {0.0f, 0.0f, 0.0f, 1.0f}, {0.5f, 1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 0.0f, 0.0f}};

  for (int v = 0; v < 256; ++v) {
    uint8_t * out = rgba + 4 * v;
    const float t = float(v) / 255.0f;
    float rgb[3] = {0.0f, 0.0f, 0.0f};
    float alpha = t;
    switch (map) {
      case GREY:
        out[0] = out[1] = out[2] = out[3] = static_cast<uint8_t>(v);
        continue;
      case TEMPERATURE:
        rampColour(temperature, 5, t, rgb);
        break;
      case PHYSICS:
        rampColour(physics, 6, t, rgb);
        break;
      case STANDARD:
        rampColour(standard, 5, t, rgb);
        break;
      case GLOW:
        rampColour(glow, 4, t, rgb);
        break;
      case BLUE_RED:
        rampColour(bluered, 2, t, rgb);
        break;
      case SEISMIC:
        rampColour(seismic, 3, t, rgb);
        // Both extremes matter in seismic data; the middle is background.
        alpha = std::fabs(t - 0.5f) * 2.0f;
        break;
      default:
        alpha = 0.0f;
        break;
    }
    out[0] = toByte(rgb[0]);
    out[1] = toByte(rgb[1]);
    out[2] = toByte(rgb[2]);
    out[3] = toByte(alpha);
  }
}

void
SoTransferFunction::getLookupTable(uint8_t rgba[256 * 4]) const
{
  const int map = this->predefColorMap.getValue();
  const int entries = this->colorMap.getNum() / 4;
  if (map != NONE || entries == 0) {
    predefinedLookupTable(map, rgba);
    return;
  }
  const float * c = this->colorMap.getValues(0);
  for (int v = 0; v < 256; ++v) {
    float channel[4];
    if (entries == 1) {
      for (int k = 0; k < 4; ++k) channel[k] = c[k];
    } else {
      const float pos = float(v) / 255.0f * float(entries - 1);
      const int i = std::min(int(pos), entries - 2);
      const float f = pos - float(i);
      for (int k = 0; k < 4; ++k)
        channel[k] = c[4 * i + k] + (c[4 * (i + 1) + k] - c[4 * i + k]) * f;
    }
    for (int k = 0; k < 4; ++k) rgba[4 * v + k] = toByte(channel[k]);
  }
}

void
SoTransferFunction::doAction(SoAction * action)
{
  SoTransferFunctionElement::set(action->getState(), this, this);
}

void
SoTransferFunction::GLRender(SoGLRenderAction * action)
{
  SoTransferFunction::doAction(action);
}

void
SoTransferFunction::callback(SoCallbackAction * action)
{
  SoTransferFunction::doAction(action);
}

void
SoTransferFunction::pick(SoPickAction * action)
{
  SoTransferFunction::doAction(action);
}
