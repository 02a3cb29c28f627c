// The swap-interval stand-in of the GL unit, with the platform's setter replaced by a
// counter: the main loop sets the interval every frame, and a context made current
// later (a new window) must receive it too, so no call may be swallowed.
#include <gtest/gtest.h>

#include <vector>

#include "presentation/gl.h"
#include "spine_util.h"

std::vector<int> g_intervals;  // what reached the platform, in order
int platGLSetSwapInterval(int interval) {
  g_intervals.push_back(interval);
  return 0;
}

namespace {

using SpineSwapInterval = spine_test::Framework;

TEST_F(SpineSwapInterval, EveryFrameOfEveryContextReachesThePlatform) {
  // No driver: an empty extension text, so the stand-in is installed.
  pgl::glGetString = [](GLenum) -> const GLubyte * { return (const GLubyte *)""; };
  pgl::glGetIntegerv = [](GLenum, GLint *value) { *value = 0; };
  ASSERT_EQ(glInitExt(), 0);
  ASSERT_NE(wglSwapIntervalEXT, nullptr);
  g_intervals.clear();
  // Two frames on the first context, then the same setting for a second one.
  for (int frame = 0; frame < 3; frame++) EXPECT_EQ(wglSwapIntervalEXT(1), 1);
  EXPECT_EQ(wglSwapIntervalEXT(0), 1);
  EXPECT_EQ(g_intervals, (std::vector<int>{1, 1, 1, 0}));
}

}  // namespace
