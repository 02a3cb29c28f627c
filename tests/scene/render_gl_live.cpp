// Real read-backs on llvmpipe under Xvfb: orientation of a rendered scene (z up),
// the stencil left by the shadow volumes, picking in selection mode and the flare
// colour sample behind and in front of an occluder.
#include <cstdlib>
#include <deque>

#include "platform/window.h"
#include "scene/prepare.h"
#include "scene/render.h"
#include "scene/renderhelpers.h"
#include "scene/shadow.h"
#include "tests/scene/render_recorder.h"
#include "tests/common/gl_window.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

class LiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    static const char *argv[] = {"render-live"};
    SYS_BaseInit(nullptr, 1, argv, nullptr);
    ASSERT_TRUE(PlatformGlWindow("render", kWidth, kHeight, &window_, &context_)) << platVideoError();
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(0, 0, 0, 0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    RendererInit();
    scene_.camerafov = 0.785398163f;
    scene_.cameranear = 0.5f;
    scene_.camerafar = 100;
    scene_.versionmajor = 1;
    scene_.versionminor = 2;
    scene_.lightscale = 1;
    materials_.resize(4);
    for (_QLV_MATERIAL &m : materials_) m.utile = m.vtile = m.constantalpha = 1;
    materials_[0].ambient = {1, 0, 0};
    materials_[1].ambient = {0, 1, 0};
    materials_[2].ambient = {0, 0, 1};
    materials_[3].ambient = {1, 1, 1};
    materials_[3].flaresize = 1;
  }
  void TearDown() override {
    if (!window_) return;
    platGLMakeCurrent(window_, nullptr);
    platGLDeleteContext(context_);
    platWindowDestroy(window_);
    platVideoDone();
  }
  void Camera(_QLV_VECTOR eye, _QLV_VECTOR target) {
    cam_[0] = {0, eye.x, eye.y, eye.z};
    cam_[1] = {10, eye.x, eye.y, eye.z};
    cam_[2] = {0, target.x, target.y, target.z};
    cam_[3] = {10, target.x, target.y, target.z};
    scene_.camposkeys = &cam_[0];
    scene_.camtargetkeys = &cam_[2];
    scene_.camposkeycount = scene_.camtargetkeycount = 2;
  }
  // A square in a plane: corners a, a + u, a + u + v, a + v, turning from u to v.
  void Square(_QLV_VECTOR a, _QLV_VECTOR u, _QLV_VECTOR v, int32_t material) {
    verts_.push_back({a, {a.x + u.x, a.y + u.y, a.z + u.z}, {a.x + u.x + v.x, a.y + u.y + v.y, a.z + u.z + v.z},
                      {a.x + v.x, a.y + v.y, a.z + v.z}});
    faces_.push_back({{0, 1, 2}, {0, 2, 3}});
    _QLV_OBJECT o{};
    o.visible = true;
    o.material = material;
    o.vertexcount = 4;
    o.facecount = 2;
    o.vertices = verts_.back().data();
    o.faces = faces_.back().data();
    objects_.push_back(o);
  }
  void Prepare() {
    scene_.materials = materials_.data();
    scene_.materialcount = (int32_t)materials_.size();
    scene_.objects = objects_.data();
    scene_.objectcount = (int32_t)objects_.size();
    ease_.resize(4);
    scene_.camposease = &ease_[0];
    scene_.camtargetease = &ease_[2];
    ASSERT_EQ(ScenePrepare(&scene_), 0);
  }
  void Pixel(int x, int y, uint8_t out[4]) {
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, out);
  }

  platWindow_t *window_ = nullptr;
  void *context_ = nullptr;
  _QLV_SCENE scene_{};
  _QLV_KEYVECTOR cam_[4];
  std::vector<_QLV_VECTOR> ease_;
  std::vector<_QLV_MATERIAL> materials_;
  std::vector<_QLV_OBJECT> objects_;
  std::deque<std::vector<_QLV_VECTOR>> verts_;
  std::deque<std::vector<_QLV_FACE>> faces_;
};

TEST_F(LiveTest, SceneIsDrawnWithZUp) {
  Camera({0, -6, 0}, {0, 0, 0});
  Square({-1, 0, 0.5f}, {2, 0, 0}, {0, 0, 1}, 0);  // red, above the view's centre
  Square({-1, 0, -1.5f}, {2, 0, 0}, {0, 0, 0.5f}, 1);  // green, below it
  Prepare();
  RenderScene(&scene_, 0);
  uint8_t up[4], centre[4], down[4];
  Pixel(kWidth / 2, kHeight / 2 + 80, up);
  Pixel(kWidth / 2, kHeight / 2, centre);
  Pixel(kWidth / 2, kHeight / 2 - 110, down);
  EXPECT_EQ(up[0], 255);
  EXPECT_EQ(up[1], 0);
  EXPECT_EQ(centre[0] + centre[1] + centre[2], 0);
  EXPECT_EQ(down[1], 255);
  EXPECT_EQ(down[0], 0);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(LiveTest, ShadowVolumesMarkTheShadowInTheStencil) {
  Camera({0, -8, 8}, {0, 0, 0});
  Square({-5, -5, 0}, {10, 0, 0}, {0, 10, 0}, 3);  // the floor, facing up
  materials_[3].flaresize = 0;
  Square({-1, -1, 2}, {2, 0, 0}, {0, 2, 0}, 2);  // the caster above it, facing the light
  objects_[1].castshadow = true;
  Prepare();
  RenderScene(&scene_, 0);
  const _QLV_VECTOR light = {0, 0, 6};
  DrawShadowVolumes(&scene_, &light, 0);
  glFinish();
  // Project floor points to the window and read the stencil there.
  GLdouble model[16], projection[16];
  GLint viewport[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, model);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  glGetIntegerv(GL_VIEWPORT, viewport);
  auto stencilAt = [&](double x, double y) {
    GLdouble wx, wy, wz;
    gluProject(x, y, 0, model, projection, viewport, &wx, &wy, &wz);
    GLubyte s = 99;
    glReadPixels((GLint)wx, (GLint)wy, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &s);
    return (int)s;
  };
  // The caster's shadow on the floor spans 1.5 x 1.5 around the centre (light at 6, caster at 2).
  EXPECT_EQ(stencilAt(0, -1.2), 1);
  EXPECT_EQ(stencilAt(1.2, 0.2), 1);
  EXPECT_EQ(stencilAt(0, -3.5), 0);
  EXPECT_EQ(stencilAt(3.5, 2), 0);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(LiveTest, PickFindsTheNearerObject) {
  Camera({0, -6, 0}, {0, 0, 0});
  Square({-1, 1, -1}, {2, 0, 0}, {0, 0, 2}, 0);    // farther
  Square({-1, -1, -1}, {2, 0, 0}, {0, 0, 2}, 1);   // nearer
  Square({3, -2, -1}, {1, 0, 0}, {0, 0, 1}, 2);    // off to the side
  Prepare();
  PickX = kWidth / 2;
  PickY = 240;
  EXPECT_EQ(PickObject(&scene_, 0), 2);
  objects_[1].visible = false;
  EXPECT_EQ(PickObject(&scene_, 0), 1);
  PickX = 5;
  PickY = 5;
  EXPECT_EQ(PickObject(&scene_, 0), 0);
}

TEST_F(LiveTest, FlareBehindAnOccluderSamplesBlack) {
  Camera({0, -6, 0}, {0, 0, 0});
  Square({-2, 0, -1}, {2, 0, 0}, {0, 0, 2}, 0);  // occluder covering the left half
  Square({0, 0, 0}, {0.01f, 0, 0}, {0, 0, 0.01f}, 3);
  objects_[1].pivot = {-1, 2, 0};  // flare behind the occluder
  Square({0, 0, 0}, {0.01f, 0, 0}, {0, 0, 0.01f}, 3);
  objects_[2].pivot = {1, 2, 0};  // flare in the open
  materials_[3].ambient = {1, 0.5f, 0};
  Prepare();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  FlareSample(&scene_, 0);
  EXPECT_FALSE(objects_[1].visible);
  EXPECT_FALSE(objects_[2].visible);
  EXPECT_EQ(objects_[1].samplecolor.r, 0.0f);
  EXPECT_EQ(objects_[1].samplecolor.g, 0.0f);
  EXPECT_NEAR(objects_[2].samplecolor.r, 1.0f, 0.01);
  EXPECT_NEAR(objects_[2].samplecolor.g, 0.5f, 0.01);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

}  // namespace
