// Fullscreen on a shown window, which needs a screen with a monitor (Xvfb
// has one); a hidden window's case is in WindowRenderTest.

#include "window/Window.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> placeAndSize(const win::TopLevel* top) {
  const win::Place p = win::placeOf(top);
  return {p.x, p.y, p.width, p.height};
}

TEST(Fullscreen, FillsTheMonitorAndReturnsToTheFormerSizeAndPlace) {
  win::InitOptions options;
  options.width = 300;
  options.height = 200;
  win::TopLevel* top = win::init("render_fullscreen", "flightscene-test", options);
  ASSERT_NE(top, nullptr) << "no display";
  win::show(top);
  const std::vector<int> before = placeAndSize(top);
  win::setFullscreen(top, true);
  EXPECT_TRUE(win::isFullscreen(top));
  EXPECT_GT(placeAndSize(top)[2], 300);
  EXPECT_GT(placeAndSize(top)[3], 200);
  win::setFullscreen(top, false);
  EXPECT_FALSE(win::isFullscreen(top));
  EXPECT_EQ(placeAndSize(top), before);
  win::shutdown(top);
}

}  // namespace
