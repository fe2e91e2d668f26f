#pragma once
// Saving a screenshot without harm to what is already there: only a
// complete PNG gets a name (files/OutputFile.h), and no existing file or
// link is ever written through or replaced.

#include "image/Image.h"

#include <string>

// Saves `image` in `dir` as flightscene-STAMP.png, or the first free one of
// flightscene-STAMP-1.png .. -999.png. True with the path in `result`, or
// false with the reason (full disk, file-size limit, no free name).
bool saveScreenshot(const std::string& dir, const std::string& stamp, const img::Image& image,
                    std::string& result);
