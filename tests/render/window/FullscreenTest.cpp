// Fullscreen toggling: a shown window fills its monitor and comes back to
// where it was; a hidden window stays as it is. Needs a screen with a
// monitor, which Xvfb has.

#include "tests/support/HiddenWindow.h"

#include <gtest/gtest.h>

namespace {

bool samePlace(const win::Place& a, const win::Place& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

TEST(Fullscreen, FillsTheMonitorAndReturnsToTheFormerSizeAndPlace) {
  win::InitOptions options;
  options.width = 300;
  options.height = 200;
  win::TopLevel* top = win::init("render_fullscreen", "flightscene-test", options);
  ASSERT_NE(top, nullptr) << "no display";
  win::show(top);
  const win::Place before = win::placeOf(top);

  win::setFullscreen(top, true);
  EXPECT_TRUE(win::isFullscreen(top));
  const win::Place full = win::placeOf(top);
  EXPECT_GT(full.width, before.width);
  EXPECT_GT(full.height, before.height);

  win::setFullscreen(top, false);
  EXPECT_FALSE(win::isFullscreen(top));
  const win::Place after = win::placeOf(top);
  EXPECT_TRUE(samePlace(after, before))
      << after.x << "," << after.y << " " << after.width << "x" << after.height;
  win::shutdown(top);
}

TEST(Fullscreen, HiddenWindowIgnoresIt) {
  const fstest::HiddenWindow window = fstest::openHiddenWindow("render_fullscreen", 64, 48);
  ASSERT_NE(window.top, nullptr) << "no display";
  const win::Place before = win::placeOf(window.top);
  win::setFullscreen(window.top, true);
  EXPECT_FALSE(win::isFullscreen(window.top));
  EXPECT_TRUE(samePlace(win::placeOf(window.top), before));
  delete window.area;
  win::shutdown(window.top);
}

}  // namespace
