// Real read-backs on llvmpipe under Xvfb: orientation of a rendered scene (z up),
// the stencil left by the shadow volumes, picking in selection mode, the flare
// colour sample behind and in front of an occluder, a floor textured by
// configuration text after loading, and a whole textured scene written to a file,
// loaded through a project file and played through the shadowed scene operator.
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>

#include "base/main.h"
#include "platform/window.h"
#include "presentation/bindings.h"
#include "presentation/texloader.h"
#include "presentation/textures.h"
#include "scene/player.h"
#include "scene/prepare.h"
#include "scene/render.h"
#include "scene/renderhelpers.h"
#include "scene/sceneconfig.h"
#include "scene/scenefile.h"
#include "scene/scenetex.h"
#include "scene/shadow.h"
#include "scene/timeline.h"
#include "tests/scene/render_recorder.h"
#include "tests/common/gl_window.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// Window position of a world point under the current matrices.
void Project(_QLV_VECTOR p, GLint *x, GLint *y) {
  GLdouble model[16], projection[16], wx, wy, wz;
  GLint viewport[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, model);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  glGetIntegerv(GL_VIEWPORT, viewport);
  gluProject(p.x, p.y, p.z, model, projection, viewport, &wx, &wy, &wz);
  *x = (GLint)wx;
  *y = (GLint)wy;
}

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
    // What ScenePrepare derived: the arrays and buffer objects, and the neighbours
    // it made for objects that came without them (all of them here). The rest of the
    // scene lives in the fixture's vectors.
    if (scene_.objects) {
      SceneFreeDerived(&scene_);
      for (_QLV_OBJECT &o : objects_) PasMemFree(reinterpret_cast<void **>(&o.neighbours));
    }
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

// Squares side by side across the view: a culled one facing the camera stays, a
// culled one facing away goes, and one facing away without culling stays.
TEST_F(LiveTest, BackFaceCullingRemovesOnlyFacesTurnedAway) {
  Camera({0, -6, 0}, {0, 0, 0});
  Square({-2.5f, 0, -0.5f}, {1, 0, 0}, {0, 0, 1}, 0);  // red, facing the camera
  objects_.back().backfacecull = true;
  Square({-0.5f, 0, -0.5f}, {0, 0, 1}, {1, 0, 0}, 1);  // green, facing away
  objects_.back().backfacecull = true;
  Square({1.5f, 0, -0.5f}, {0, 0, 1}, {1, 0, 0}, 2);  // blue, facing away, drawn both ways
  Prepare();
  RenderScene(&scene_, 0);
  // 45 degrees of view at 6 units: about 97 pixels a unit, so the centres lie at
  // x = -2, 0 and 2 units on the middle row.
  uint8_t left[4], middle[4], right[4];
  Pixel(kWidth / 2 - 193, kHeight / 2, left);
  Pixel(kWidth / 2, kHeight / 2, middle);
  Pixel(kWidth / 2 + 193, kHeight / 2, right);
  EXPECT_EQ(left[0], 255);
  EXPECT_EQ(middle[0] + middle[1] + middle[2], 0) << "green " << (int)middle[1];
  EXPECT_EQ(right[2], 255);
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

// 2 x 2 texels, rows from v = 0: red, blue / blue, red.
GLuint CheckerTexture() {
  const uint8_t texels[12] = {255, 0, 0, 0, 0, 255, 0, 0, 255, 255, 0, 0};
  GLuint id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_2D, id);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  return id;
}

// A material that configuration text textures after loading draws its texture: the
// coordinates' buffer was filled at load although the material was plain then.
TEST_F(LiveTest, MaterialTexturedAfterLoadingShowsItsTexture) {
  Camera({0, -6, 0}, {0, 0, 0});
  Square({-2, 0, -2}, {4, 0, 0}, {0, 0, 4}, 3);  // facing the camera
  std::vector<_QLV_TEXTCOORD> uv = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  objects_[0].texcoords = uv.data();
  objects_[0].hastexcoords = true;
  materials_[3] = materials_[0];
  materials_[3].name = "floor";
  materials_[3].ambient = {1, 1, 1};
  materials_[3].textured = false;
  Prepare();
  const std::string dir = std::filesystem::temp_directory_path() / ("korv-late-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  { std::ofstream(dir + "/late.cfg") << "material(floor).textured=1\n"; }
  ASSERT_EQ(SceneConfigLoad(&scene_, ShortString(std::string_view(dir + "/late.cfg"))), 0);
  std::filesystem::remove_all(dir);
  ASSERT_TRUE(materials_[3].textured);
  const GLuint texture = CheckerTexture();
  materials_[3].texture = (int32_t)texture;
  AnisotropicFiltering = false;  // llvmpipe's blends the two texels of a magnified checker
  RenderScene(&scene_, 0);
  GLint lx, ly, rx, ry;
  Project({-1, 0, -1}, &lx, &ly);  // texel (0, 0)
  Project({1, 0, -1}, &rx, &ry);   // texel (1, 0)
  uint8_t left[4], right[4];
  Pixel(lx, ly, left);
  Pixel(rx, ry, right);
  EXPECT_EQ(left[0], 255);
  EXPECT_EQ(left[2], 0);
  EXPECT_EQ(right[0], 0);
  EXPECT_EQ(right[2], 255);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
  glDeleteTextures(1, &texture);
}

// ---------------------------------------------------------------------------------
// From file to frame: a yard of a checker floor and a closed green cube under one
// light, written with SceneSave beside its texture, named by a project file, loaded
// by ProjectLoad and played by ProjectPlay through the shadowed scene operator.

class FileToFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    dir_ = std::filesystem::temp_directory_path() / ("korv-yard-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "data");
    std::filesystem::create_directories(dir_ / "textures");
    std::filesystem::current_path(dir_);
    static const char *argv[] = {"render-yard"};
    SYS_BaseInit(nullptr, 1, argv, nullptr);
    ASSERT_TRUE(PlatformGlWindow("yard", kWidth, kHeight, &window_, &context_)) << platVideoError();
    InitTextureLoader();
    TexInit();
    RendererInit();
    glViewport(0, 0, kWidth, kHeight);
  }
  void TearDown() override {
    if (window_) {
      if (project_.Scenes) {
        // The cache holds the scene and would keep the records: empty it first.
        SceneReleaseTextures(&project_.Scenes[0]);
        SceneFree(&project_.Scenes[0]);
        SceneCacheCount = 0;
        ProjectFree(&project_);
      }
      platGLMakeCurrent(window_, nullptr);
      platGLDeleteContext(context_);
      platWindowDestroy(window_);
      platVideoDone();
    }
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  // A 2 x 2 uncompressed 24-bit TGA: white and black on the diagonals.
  static void WriteChecker(const std::string &path) {
    std::string f(18, '\0');
    f[2] = 2;
    f[12] = 2;
    f[14] = 2;
    f[16] = 24;
    const unsigned char pixels[12] = {255, 255, 255, 0, 0, 0, 0, 0, 0, 255, 255, 255};
    f.append(reinterpret_cast<const char *>(pixels), sizeof pixels);
    std::ofstream(path, std::ios::binary) << f;
  }

  void WriteYard() {
    _QLV_SCENE s{};
    s.name = "yard";
    s.versionmajor = 1;
    s.versionminor = 2;
    s.camerafov = 0.785398163f;
    s.cameranear = 0.5f;
    s.camerafar = 100;
    s.lightscale = 0.25f;  // the first, unshadowed pass is this much darker
    _QLV_KEYVECTOR eye[2] = {{0, 0, -9, 9}, {100, 0, -9, 9}}, target[2] = {{0, 0, 0, 0}, {100, 0, 0, 0}};
    s.camposkeys = eye;
    s.camtargetkeys = target;
    s.camposkeycount = s.camtargetkeycount = 2;

    _QLV_MATERIAL m[2] = {};
    m[0].name = "ground";
    m[0].texturename = "checker.tga";
    m[0].textured = true;
    m[0].receivelight = true;
    m[0].utile = m[0].vtile = 1;
    m[0].constantalpha = 1;
    m[0].ambient = {0.2f, 0.2f, 0.2f};
    m[0].diffuse = {1, 1, 1};
    m[1].name = "paint";
    m[1].utile = m[1].vtile = 1;
    m[1].constantalpha = 1;
    m[1].ambient = {0, 1, 0};
    s.materials = m;
    s.materialcount = 2;

    // The floor: 10 x 10 at z = 0, facing up, u along x and v along y.
    _QLV_VECTOR floorV[4] = {{-5, -5, 0}, {5, -5, 0}, {5, 5, 0}, {-5, 5, 0}};
    _QLV_VECTOR floorN[4] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    _QLV_TEXTCOORD floorUV[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    _QLV_FACE floorF[2] = {{0, 1, 2}, {0, 2, 3}};
    // The cube: [-1, 1] x [-1, 1] x [0, 2], faces turning outwards.
    _QLV_VECTOR cubeV[8] = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0},
                            {-1, -1, 2}, {1, -1, 2}, {1, 1, 2}, {-1, 1, 2}};
    _QLV_FACE cubeF[12] = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                           {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}};
    _QLV_OBJECT o[2] = {};
    o[0].name = "floor";
    o[0].material = 0;
    o[0].visible = true;
    o[0].lightscaled = true;
    o[0].vertexcount = 4;
    o[0].facecount = 2;
    o[0].vertices = floorV;
    o[0].normals = floorN;
    o[0].texcoords = floorUV;
    o[0].faces = o[0].edgefaces = floorF;
    o[0].hasnormals = o[0].hastexcoords = true;
    o[1].name = "cube";
    o[1].material = 1;
    o[1].visible = true;
    o[1].castshadow = true;
    o[1].backfacecull = true;
    o[1].vertexcount = 8;
    o[1].facecount = 12;
    o[1].vertices = cubeV;
    o[1].faces = o[1].edgefaces = cubeF;
    s.objects = o;
    s.objectcount = 2;

    _QLV_LIGHT &sun = s.lights[0];
    sun.name = "sun";
    sun.enabled = true;
    sun.pos = {-4, 0, 8};
    sun.ambient = {0.2f, 0.2f, 0.2f};
    sun.diffuse = {1, 1, 1};
    ASSERT_EQ(SceneSave(&s, "data/yard.qlv"), 0);
    WriteChecker("textures/checker.tga");
  }

  // Little-endian project records, as the player reads them.
  struct Bytes {
    std::string b;
    void Int(int32_t v) {
      for (int i = 0; i < 4; i++) b += (char)((uint32_t)v >> (8 * i) & 0xff);
    }
    void Name(const std::string &s) {
      b += (char)s.size();
      b += s;
      b.append(255 - s.size(), '\0');
    }
    void Operator(int32_t type, std::initializer_list<uint8_t> params) {
      Int(type);
      Int(0);
      std::string p(32, '\0');
      size_t i = 0;
      for (uint8_t v : params) p[i++] = (char)v;
      b += p;
      Int(0);
      Int(1);
      Name("op");
    }
    void Key(int32_t value) {
      Int(0);
      Int(100);
      b += std::string(4, '\0');
      for (int k = 0; k < 3; k++) Int(value);
    }
  };

  void WriteProject() {
    Bytes p;
    p.Name("yard");
    for (int i = 0; i < 4; i++) p.Int(0);
    p.Int(1);  // scenes
    p.Int(0);  // filters
    p.Int(2);  // operators
    p.Name("c:\\show\\yard.qlv");
    p.Operator(1000, {0, 0, 0, 1, 1, 0, 1});  // clear colour, depth and stencil to black
    p.Operator(1001, {0, 0, 1});              // the scene, shadowed, no particles
    p.Key(1000);
    p.Key(50);  // frame 50
    std::ofstream("yard.prj", std::ios::binary) << p.b;
  }

  struct Seen {
    uint8_t rgba[4];
    uint8_t stencil;
  };
  Seen At(_QLV_VECTOR p) {
    GLint x, y;
    Project(p, &x, &y);
    Seen s{};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, s.rgba);
    glReadPixels(x, y, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &s.stencil);
    return s;
  }

  std::filesystem::path dir_;
  platWindow_t *window_ = nullptr;
  void *context_ = nullptr;
  TVX_Project project_{};
};

TEST_F(FileToFrameTest, ShadowedOperatorDrawsLitFloorShadowAndCube) {
  WriteYard();
  WriteProject();
  ProjectPlayerInit(kWidth, kHeight);
  // llvmpipe's anisotropic filter blends the texels of a magnified, nearest-filtered
  // checker; the frames here are about the scene, not that filter.
  AnisotropicFiltering = false;
  ASSERT_EQ(ProjectLoad(&project_, "yard.prj"), 0);
  ASSERT_EQ(project_.SceneCount, 1);
  const _QLV_SCENE &yard = project_.Scenes[0];
  ASSERT_EQ(yard.objectcount, 2);
  ASSERT_NE(yard.materials[0].texture, 0);
  EXPECT_EQ(yard.materials[0].bitdepth, 24);
  ProjectPlay(&project_, 10.0f);
  glFinish();
  ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

  // The renderer leaves the camera's view in the modelview and the projection.
  // The cube's shadow falls on the side away from the light (+x), from x = 1 to
  // x = 2.67 by similar triangles, for y within +-1.33. Texels are 5 x 5 units with
  // their edge at y = 0: (3.8, +-2.5) lie on the two texels beside the shadow and
  // (1.8, +-0.5) in it, each on the same texel as the point beyond it. Which of the
  // two is white is the texture loader's orientation, so it is read, not assumed.
  auto sum = [](const Seen &s) { return s.rgba[0] + s.rgba[1] + s.rgba[2]; };
  const Seen up = At({3.8f, 2.5f, 0}), down = At({3.8f, -2.5f, 0});
  const float side = sum(up) > sum(down) ? 1.0f : -1.0f;
  const Seen &lit = side > 0 ? up : down, &black = side > 0 ? down : up;
  const Seen shadow = At({1.8f, 0.5f * side, 0}), shadowBlack = At({1.8f, -0.5f * side, 0});
  const Seen cube = At({0, 0, 2});
  EXPECT_EQ(shadow.stencil, 1);
  EXPECT_EQ(shadowBlack.stencil, 1);
  EXPECT_EQ(lit.stencil, 0);
  EXPECT_EQ(black.stencil, 0);
  EXPECT_EQ(cube.stencil, 0);
  // A lit white texel is bright and grey; the next texel is black (the checker).
  EXPECT_GT(sum(lit), 300);
  EXPECT_EQ(lit.rgba[0], lit.rgba[2]);
  EXPECT_LT(sum(black), 15);
  // In the shadow only the first pass is left, lit at a quarter: darker, not black.
  EXPECT_GT(sum(shadow), 30);
  EXPECT_LT(2 * sum(shadow), sum(lit));
  EXPECT_LT(sum(shadowBlack), 15);
  // The cube in its own flat colour.
  EXPECT_EQ(cube.rgba[0], 0);
  EXPECT_EQ(cube.rgba[1], 255);
  EXPECT_EQ(cube.rgba[2], 0);
}

}  // namespace
