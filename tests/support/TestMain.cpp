// The main of every test program: started as a reader child (on Windows a
// test program is its own reader child), it answers and ends; otherwise
// GoogleTest runs the tests.

#include "files/UntrustedFile.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (const int status = answerReaderChild(argc, argv); status >= 0) return status;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
