// Preparation on the system's GL (llvmpipe under Xvfb): the buffer objects hold the
// scene's geometry and the shadow-volume index pattern, and SceneFree deletes them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "data_util.h"
#include "platform/window.h"
#include "scene/scenetex.h"

namespace {

using scene_data_test::SmallScene;

class SceneDataGL : public scene_data_test::SceneData {};

template <typename T>
std::vector<T> BufferContents(GLenum target, int32_t id, size_t count) {
  std::vector<T> out(count);
  glBindBufferARB(target, GLuint(id));
  glGetBufferSubDataARB(target, 0, GLsizeiptrARB(count * sizeof(T)), out.data());
  glBindBufferARB(target, 0);
  return out;
}

TEST_F(SceneDataGL, BuffersHoldTheGeometry) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
  InitGLUnit();
  ASSERT_EQ(platVideoInit(), 0) << platVideoError();
  const platPixelFormat_t format = {24, 8, 24, 8};
  platWindow_t *window = platWindowCreate("scenedata", 0, 0, 64, 64, 0, &format);
  ASSERT_NE(window, nullptr) << platVideoError();
  void *context = platGLCreateContext(window);
  ASSERT_NE(context, nullptr) << platVideoError();
  ASSERT_EQ(glInitExt(), 0);
  ASSERT_NE(glGetBufferSubDataARB, nullptr);

  SmallScene small;
  ASSERT_EQ(SceneSave(&small.scene, "hall.qlv"), 0);
  _QLV_SCENE scene{};
  ASSERT_EQ(SceneLoad(&scene, "hall.qlv"), 0) << Log();
  const _QLV_OBJECT &quad = scene.objects[0];
  ASSERT_NE(quad.vertexbuffer, 0);
  const auto vertices = BufferContents<_QLV_VECTOR>(GL_ARRAY_BUFFER_ARB, quad.vertexbuffer, 4);
  EXPECT_EQ(std::memcmp(vertices.data(), small.quadVertices.data(), 48), 0);
  const auto faces = BufferContents<_QLV_FACE>(GL_ELEMENT_ARRAY_BUFFER_ARB, quad.facebuffer, 2);
  EXPECT_EQ(faces[1].b, 3);
  const auto uv = BufferContents<_QLV_TEXTCOORD>(GL_ARRAY_BUFFER_ARB, quad.texcoordbuffer, 4);
  EXPECT_EQ(uv[2].u, 1.0f);
  const auto index = BufferContents<uint32_t>(GL_ELEMENT_ARRAY_BUFFER_ARB, scene.volumeindexbuffer, 3 * 18);
  EXPECT_EQ(index[6], 4u);
  EXPECT_EQ(index[3 * 18 - 1], 32u);
  EXPECT_NE(scene.volumebuffer, 0);
  EXPECT_NE(scene.volumebuffer, scene.volumeindexbuffer);
  GLint bound = -1;
  glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING_ARB, &bound);
  EXPECT_EQ(bound, 0);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

  const GLuint vertexBuffer = GLuint(quad.vertexbuffer);
  SceneFree(&scene);
  EXPECT_FALSE(glIsBufferARB(vertexBuffer));

  platGLMakeCurrent(window, nullptr);
  platGLDeleteContext(context);
  platWindowDestroy(window);
  platVideoDone();
}

}  // namespace
