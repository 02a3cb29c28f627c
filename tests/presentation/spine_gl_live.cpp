// The GL and GLU units on the system's GL (llvmpipe under Xvfb in CI).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/window.h"
#include "presentation/gl.h"
#include "spine_util.h"

namespace {

using SpineGLLive = spine_test::Framework;

TEST_F(SpineGLLive, UnitsLoadAndProbeTheDriver) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
  // An extension entry a repeated run fetched with its context stays set in the table.
  glBindBufferARB = nullptr;
  InitGLUnit();
  InitGLUUnit();
  // Core entries come from the library before any context exists; extensions not yet.
  ASSERT_NE(glBindTexture, nullptr);
  ASSERT_NE(glViewport, nullptr);
  ASSERT_NE(glActiveTexture, nullptr);
  ASSERT_NE(wglGetProcAddress, nullptr);
  EXPECT_EQ(glBindBufferARB, nullptr);
  ASSERT_NE(gluBuild2DMipmaps, nullptr);
  ASSERT_NE(gluErrorString, nullptr);

  ASSERT_EQ(platVideoInit(), 0) << platVideoError();
  const platPixelFormat_t format = {24, 8, 24, 8};
  platWindow_t *window = platWindowCreate("spine", 0, 0, 64, 64, 0, &format);
  ASSERT_NE(window, nullptr) << platVideoError();
  void *context = platGLCreateContext(window);
  ASSERT_NE(context, nullptr) << platVideoError();

  EXPECT_EQ(glInitExt(), 0);
  const std::string renderer = (const char *)glGetString(GL_RENDERER);
  if (std::getenv("LIBGL_ALWAYS_SOFTWARE")) {
    EXPECT_NE(renderer.find("llvmpipe"), std::string::npos) << renderer;
  }
  EXPECT_GE(GLMaxTextureSize, 1024);
  EXPECT_TRUE(GLHasMultitexture);
  EXPECT_TRUE(GLHasVertexShader);
  EXPECT_NE(glBindBufferARB, nullptr);
  EXPECT_NE(glCreateShaderObjectARB, nullptr);
  EXPECT_NE(glCompressedTexImage2DARB, nullptr);
  ASSERT_NE(wglSwapIntervalEXT, nullptr);
  wglSwapIntervalEXT(0);
  EXPECT_EQ(GLGetExtProc("glNoSuchEntryPointKORV"), nullptr);
  EXPECT_NE(Log().find("[gl] - renderer: " + renderer + "\n"), std::string::npos);

  // A call through the table reaches the driver.
  glViewport(0, 0, 32, 32);
  GLint vp[4] = {};
  glGetIntegerv(GL_VIEWPORT, vp);
  EXPECT_EQ(vp[2], 32);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
  EXPECT_STREQ((const char *)gluErrorString(GL_INVALID_ENUM), "invalid enumerant");

  platGLMakeCurrent(window, nullptr);
  platGLDeleteContext(context);
  platWindowDestroy(window);
  platVideoDone();
}

}  // namespace
