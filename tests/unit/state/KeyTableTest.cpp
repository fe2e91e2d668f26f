// The keyboard table follows press and release events of its twelve keys.

#include "state/KeyTable.h"

#include <Inventor/SoDB.h>
#include <Inventor/actions/SoHandleEventAction.h>
#include <Inventor/events/SoKeyboardEvent.h>
#include <Inventor/events/SoMouseButtonEvent.h>
#include <Inventor/nodes/SoEventCallback.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <utility>

namespace {

class KeyboardTable : public ::testing::Test {
 protected:
  void SetUp() override {
    SoDB::init();
    for (KeyEntry& e : KeyTable) e.pressed = 0;
    root = new SoSeparator;
    root->ref();
    auto* node = new SoEventCallback;
    node->addEventCallback(SoKeyboardEvent::getClassTypeId(), keyboardCallback, nullptr);
    root->addChild(node);
  }
  void TearDown() override { root->unref(); }

  // Returns whether the event was marked handled.
  bool send(SoKeyboardEvent::Key key, SoButtonEvent::State state) {
    SoKeyboardEvent event;
    event.setKey(key);
    event.setState(state);
    SoHandleEventAction action(SbViewportRegion(100, 100));
    action.setEvent(&event);
    action.apply(root);
    return action.isHandled();
  }
  void press(SoKeyboardEvent::Key key) { send(key, SoButtonEvent::DOWN); }
  void release(SoKeyboardEvent::Key key) { send(key, SoButtonEvent::UP); }
  int heldCount() const {
    int n = 0;
    for (const KeyEntry& e : KeyTable) n += e.pressed;
    return n;
  }

  SoSeparator* root = nullptr;
};

TEST_F(KeyboardTable, EachWatchedKeyHoldsItsOwnSlotAlone) {
  const std::pair<SoKeyboardEvent::Key, KeyIndex> keys[] = {
      {SoKeyboardEvent::UP_ARROW, KEY_UP},
      {SoKeyboardEvent::DOWN_ARROW, KEY_DOWN},
      {SoKeyboardEvent::LEFT_ARROW, KEY_LEFT},
      {SoKeyboardEvent::RIGHT_ARROW, KEY_RIGHT},
      {SoKeyboardEvent::RETURN, KEY_RETURN},
      {SoKeyboardEvent::TAB, KEY_TAB},
      {SoKeyboardEvent::ESCAPE, KEY_ESCAPE},
      {SoKeyboardEvent::SPACE, KEY_SPACE},
      {SoKeyboardEvent::W, KEY_W},
      {SoKeyboardEvent::S, KEY_S},
      {SoKeyboardEvent::A, KEY_A},
      {SoKeyboardEvent::N, KEY_N}};
  for (const auto& [key, slot] : keys) {
    press(key);
    EXPECT_EQ(KeyTable[slot].pressed, 1) << "slot " << slot;
    EXPECT_EQ(heldCount(), 1) << "slot " << slot;
    release(key);
  }
}

TEST_F(KeyboardTable, AutoRepeatKeepsTheFlagAndOneReleaseClearsIt) {
  for (int i = 0; i < 5; ++i) press(SoKeyboardEvent::LEFT_ARROW);
  EXPECT_EQ(KeyTable[KEY_LEFT].pressed, 1);
  release(SoKeyboardEvent::LEFT_ARROW);
  EXPECT_EQ(KeyTable[KEY_LEFT].pressed, 0);
}

TEST_F(KeyboardTable, TwoKeysHeldTogetherBothReadAndReleaseClearsOnlyItsOwn) {
  press(SoKeyboardEvent::UP_ARROW);
  press(SoKeyboardEvent::LEFT_ARROW);
  EXPECT_EQ(KeyTable[KEY_UP].pressed, 1);
  EXPECT_EQ(KeyTable[KEY_LEFT].pressed, 1);
  EXPECT_EQ(heldCount(), 2);
  release(SoKeyboardEvent::UP_ARROW);
  EXPECT_EQ(KeyTable[KEY_UP].pressed, 0);
  EXPECT_EQ(KeyTable[KEY_LEFT].pressed, 1);
  EXPECT_EQ(heldCount(), 1);
}

TEST_F(KeyboardTable, ReleaseWithoutPressLeavesHeldKeysAlone) {
  press(SoKeyboardEvent::W);
  release(SoKeyboardEvent::ESCAPE);
  EXPECT_EQ(KeyTable[KEY_ESCAPE].pressed, 0);
  EXPECT_EQ(KeyTable[KEY_W].pressed, 1);
  EXPECT_EQ(heldCount(), 1);
}

TEST_F(KeyboardTable, UnwatchedKeysChangeNothingButAreHandled) {
  EXPECT_TRUE(send(SoKeyboardEvent::Q, SoButtonEvent::DOWN));
  EXPECT_TRUE(send(SoKeyboardEvent::F1, SoButtonEvent::DOWN));
  EXPECT_TRUE(send(SoKeyboardEvent::UNDEFINED, SoButtonEvent::DOWN));
  EXPECT_EQ(heldCount(), 0);
  EXPECT_TRUE(send(SoKeyboardEvent::SPACE, SoButtonEvent::DOWN));
  EXPECT_EQ(KeyTable[KEY_SPACE].pressed, 1);
}

TEST_F(KeyboardTable, MouseEventsDoNotReachTheKeyboardCallback) {
  SoMouseButtonEvent click;
  click.setButton(SoMouseButtonEvent::BUTTON1);
  click.setState(SoButtonEvent::DOWN);
  SoHandleEventAction action(SbViewportRegion(100, 100));
  action.setEvent(&click);
  action.apply(root);
  EXPECT_FALSE(action.isHandled());
}

}  // namespace
