#include "window/KeyMap.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <set>

using K = SoKeyboardEvent;

TEST(KeyMap, EveryWatchedKeyHasItsCoinCode) {
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_UP), K::UP_ARROW);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_DOWN), K::DOWN_ARROW);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_LEFT), K::LEFT_ARROW);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_RIGHT), K::RIGHT_ARROW);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_ENTER), K::RETURN);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_TAB), K::TAB);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_ESCAPE), K::ESCAPE);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_SPACE), K::SPACE);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_W), K::W);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_S), K::S);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_A), K::A);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_N), K::N);
}

TEST(KeyMap, LettersDigitsAndFunctionKeysMapOneToOne) {
  std::set<int> seen;
  for (int k = GLFW_KEY_A; k <= GLFW_KEY_Z; ++k) seen.insert(win::keyFromGlfw(k));
  for (int k = GLFW_KEY_0; k <= GLFW_KEY_9; ++k) seen.insert(win::keyFromGlfw(k));
  for (int k = GLFW_KEY_F1; k <= GLFW_KEY_F12; ++k) seen.insert(win::keyFromGlfw(k));
  EXPECT_EQ(seen.size(), 26u + 10u + 12u);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_Z), K::Z);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_9), K::NUMBER_9);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_F12), K::F12);
}

TEST(KeyMap, UnknownKeysAreUndefinedNotAny) {
  // ANY would match every watched key in the keyboard table.
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_UNKNOWN), K::UNDEFINED);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_WORLD_1), K::UNDEFINED);
  EXPECT_EQ(win::keyFromGlfw(GLFW_KEY_F25), K::UNDEFINED);
  EXPECT_EQ(win::keyFromGlfw(100000), K::UNDEFINED);
}

TEST(KeyMap, PrintableCharactersFollowShiftAndCapsLock) {
  EXPECT_EQ(win::printableFromGlfw(GLFW_KEY_W, 0), 'w');
  EXPECT_EQ(win::printableFromGlfw(GLFW_KEY_W, GLFW_MOD_SHIFT), 'W');
  EXPECT_EQ(win::printableFromGlfw(GLFW_KEY_W, GLFW_MOD_CAPS_LOCK), 'W');
  EXPECT_EQ(win::printableFromGlfw(GLFW_KEY_W, GLFW_MOD_SHIFT | GLFW_MOD_CAPS_LOCK), 'w');
  EXPECT_EQ(win::printableFromGlfw(GLFW_KEY_7, 0), '7');
  EXPECT_EQ(win::printableFromGlfw(GLFW_KEY_TAB, 0), 0);
}
