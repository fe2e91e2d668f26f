// The soak run learns of GL errors from the window layer: with
// FLIGHTSCENE_GL_CHECK=1 it calls glGetError after every frame and prints
// each error on stderr. This checks that the report comes when a node
// leaves an error behind, and only then; and that GLFW's own errors still
// reach an error callback set before the window layer started.

#include "tests/support/HiddenWindow.h"

#include <GL/gl.h>
#include <GLFW/glfw3.h>
#include <Inventor/SoDB.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/nodes/SoCallback.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Leaves GL_INVALID_ENUM behind while drawing, as a faulty node would.
void badDraw(void*, SoAction* action) {
  if (action->isOfType(SoGLRenderAction::getClassTypeId())) glEnable(0x7fff);
}

class GlErrorReport : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // putenv, not setenv: the Windows C library has only the former.
    static char check[] = "FLIGHTSCENE_GL_CHECK=1";
    putenv(check);
    glfwSetErrorCallback(hear);
    const fstest::HiddenWindow window = fstest::openHiddenWindow("glerror_report", 64, 48);
    top = window.top;
    area = window.area;
    ASSERT_NE(area, nullptr) << "no display";
  }
  static void TearDownTestSuite() {
    delete area;
    area = nullptr;
  }
  static void hear(int code, const char*) { heard.push_back(code); }
  // Draws a camera, a cube and, if asked, a node that leaves a GL error;
  // returns what was printed on stderr meanwhile.
  std::string draw(bool withError) {
    auto* root = new SoSeparator;
    root->ref();
    root->addChild(new SoPerspectiveCamera);
    root->addChild(new SoCube);
    if (withError) {
      auto* cb = new SoCallback;
      cb->setCallback(badDraw, nullptr);
      root->addChild(cb);
    }
    area->setSceneGraph(root);
    ::testing::internal::CaptureStderr();
    area->render();
    const std::string printed = ::testing::internal::GetCapturedStderr();
    area->setSceneGraph(nullptr);
    root->unref();
    return printed;
  }
  static win::TopLevel* top;
  static win::RenderArea* area;
  static std::vector<int> heard;
};

win::TopLevel* GlErrorReport::top = nullptr;
win::RenderArea* GlErrorReport::area = nullptr;
std::vector<int> GlErrorReport::heard;

TEST_F(GlErrorReport, ErrorLeftByANodeIsReportedWithItsCode) {
  const std::string printed = draw(true);
  EXPECT_NE(printed.find("window: GL error 0x0500"), std::string::npos) << printed;
  // Reported once: the error does not linger, and a clean frame reports nothing.
  EXPECT_EQ(draw(false), "");
}

TEST_F(GlErrorReport, GlfwErrorsStillReachTheCallbackSetBeforeAndItIsPutBackAtShutdown) {
  heard.clear();
  ::testing::internal::CaptureStderr();
  glfwGetKey(glfwGetCurrentContext(), -7);  // no such key
  const std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(printed.find("window: GLFW error"), std::string::npos) << printed;
  EXPECT_EQ(heard, std::vector<int>{GLFW_INVALID_ENUM});

  delete area;
  area = nullptr;
  win::shutdown(top);
  top = nullptr;
  EXPECT_EQ(glfwSetErrorCallback(nullptr), &hear);
}

}  // namespace
