// The mesh loader and drawer on the system's GL (llvmpipe under Xvfb): the buffer
// objects really hold the mesh, the draw fills what the triangles cover and lights
// them through the uploaded normals.
#include <cstdlib>

#include "platform/window.h"
#include "presentation/spare.h"
#include "tests/presentation/spare_util.h"
#include "tests/common/gl_window.h"

namespace spare_test {
namespace {

constexpr int kSize = 64;

class SpareGlLive : public Framework {
 protected:
  void SetUp() override {
    Framework::SetUp();
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    ASSERT_TRUE(PlatformGlWindow("spare", kSize, kSize, &window_, &context_)) << platVideoError();
    MeshLoadingStep = [] {};
  }
  void TearDown() override {
    if (context_) {
      MeshFree(&mesh_);
      platGLMakeCurrent(window_, nullptr);
      platGLDeleteContext(context_);
    }
    if (window_) platWindowDestroy(window_);
    platVideoDone();
    Framework::TearDown();
  }
  // Grey level of the pixel at (x, y), bottom-up.
  static int Pixel(int x, int y) {
    uint8_t rgb[3] = {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return rgb[0];
  }

  platWindow_t *window_ = nullptr;
  void *context_ = nullptr;
  MeshBuffers mesh_ = {};
};

TEST_F(SpareGlLive, MeshDrawsFromItsBufferObjects) {
  // The left half of the view in two triangles facing the viewer.
  const uint32_t faces[6] = {0, 1, 2, 2, 3, 0};
  const float vertices[12] = {-1, -1, 0, 0, -1, 0, 0, 1, 0, -1, 1, 0};
  const float normals[12] = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
  WriteFile(dir_ / "half.face", faces, sizeof faces);
  WriteFile(dir_ / "half.vertex", vertices, sizeof vertices);
  WriteFile(dir_ / "half.vertexnormal", normals, sizeof normals);
  ASSERT_EQ(MeshLoad(&mesh_, "half"), 0);
  GLint bound = 0;
  glGetIntegerv(GL_ARRAY_BUFFER_BINDING_ARB, &bound);
  EXPECT_EQ((GLuint)bound, mesh_.normalBuffer) << "the buffers stay bound";
  std::vector<uint32_t> stored(6);
  glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, mesh_.indexBuffer);
  glGetBufferSubDataARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0, sizeof faces, stored.data());
  EXPECT_EQ(std::memcmp(stored.data(), faces, sizeof faces), 0);

  glViewport(0, 0, kSize, kSize);
  ResetMatrices();
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glColor3f(1, 1, 1);
  MeshDraw(&mesh_);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
  EXPECT_EQ(Pixel(kSize / 4, kSize / 2), 255);
  EXPECT_EQ(Pixel(3 * kSize / 4, kSize / 2), 0);

  // Lit: full diffuse on the default material through normals facing the light gives
  // 0.8 + the scene ambient 0.04; a normal of zero would leave only 0.04.
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  SetLight0(0, 1);
  MeshDraw(&mesh_);
  glDisable(GL_LIGHTING);
  const int lit = Pixel(kSize / 4, kSize / 2);
  EXPECT_NEAR(lit, 214, 3);
  EXPECT_EQ(Pixel(3 * kSize / 4, kSize / 2), 0);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

}  // namespace
}  // namespace spare_test
