// The renderer through a recording GL table: camera set-up, lights, the pass order,
// material codes, face fraction and counters, distance culling, the prelit colours,
// flare sampling, picking and the missing-camera message.
#include <cmath>
#include <numbers>

#include "scene/counters.h"
#include "scene/render.h"
#include "scene/renderhelpers.h"
#include "tests/scene/render_recorder.h"
#include "tests/scene/render_scene.h"

namespace {

using rtest::Call;
using rtest::Count;
using rtest::Find;
using rtest::Only;
using rtest::TestScene;

class RenderTest : public rtest::Fixture {
 protected:
  void SetUp() override {
    Fixture::SetUp();
    RendererInit();
    ResetRendererCounters();
  }
  // Face buffers bound for drawing, in order (the element buffer of each draw).
  static std::vector<double> DrawnFaceBuffers() {
    std::vector<double> out;
    double bound = -1;
    for (const Call &c : rtest::Calls()) {
      if (c.name == "glBindBufferARB" && c.args[0] == GL_ELEMENT_ARRAY_BUFFER_ARB) bound = c.args[1];
      if (c.name == "glDrawElements") out.push_back(bound);
    }
    return out;
  }
};

TEST_F(RenderTest, CameraUsesRadiansAspectFourThirdsAndZUp) {
  TestScene t({1, -20, 3}, {4, 5, 6});
  t.scene.camerafov = (float)(std::numbers::pi / 4);
  t.scene.cameranear = 2;
  t.scene.camerafar = 500;
  RenderScene(&t.scene, 50);
  const auto p = Only("gluPerspective");
  ASSERT_EQ(p.size(), 1u);
  EXPECT_NEAR(p[0].args[0], 45.0, 1e-5);
  EXPECT_EQ(p[0].args[1], 4.0 / 3.0);
  EXPECT_EQ(p[0].args[2], 2.0);
  EXPECT_EQ(p[0].args[3], 500.0);
  const auto l = Only("gluLookAt");
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0].args, (std::vector<double>{1, -20, 3, 4, 5, 6, 0, 0, 1}));
  EXPECT_EQ(CameraEye.y, -20.0f);
  EXPECT_EQ(CameraTarget.z, 6.0f);
  // The projection is set before the view, the view before the lights.
  EXPECT_LT(Find("gluPerspective"), Find("gluLookAt"));
}

TEST_F(RenderTest, LightsAreKeyedEnabledOrOff) {
  TestScene t;
  t.scene.lights[0].enabled = true;
  t.scene.lights[0].pos = {1, 2, 3};
  t.scene.lights[0].diffuse = {0.5f, 0.25f, 1};
  t.scene.lights[2].enabled = true;
  t.scene.lights[2].poskeys = t.Keys({{0, 0, 0, 0}, {10, 10, 20, 30}});
  t.scene.lights[2].poskeycount = 2;
  t.scene.lights[5].poskeys = t.Keys({{0, 0, 0, 0}, {10, 10, 20, 30}});
  t.scene.lights[5].poskeycount = 2;  // keys, but switched off
  RenderScene(&t.scene, 5);
  EXPECT_GE(Find("glEnable", {GL_LIGHT0}), 0);
  EXPECT_GE(Find("glEnable", {GL_LIGHT2}), 0);
  EXPECT_GE(Find("glDisable", {GL_LIGHT5}), 0);
  EXPECT_EQ(Find("glEnable", {GL_LIGHT5}), -1);
  EXPECT_GE(Find("glLightfv", {GL_LIGHT0, GL_POSITION, 1, 2, 3, 1}), 0);
  EXPECT_GE(Find("glLightfv", {GL_LIGHT2, GL_POSITION, 5, 10, 15, 1}), 0);
  EXPECT_GE(Find("glLightfv", {GL_LIGHT0, GL_DIFFUSE, 0.5, 0.25, 1}), 0);
  EXPECT_GE(Find("glLightf", {GL_LIGHT2, GL_SPOT_CUTOFF, 180}), 0);
  EXPECT_LT(Find("gluLookAt"), Find("glLightfv", {GL_LIGHT0, GL_POSITION}));
}

TEST_F(RenderTest, PassesRunInOrderAndSkipHiddenAndHigherPasses) {
  TestScene t;
  t.AddObject(1, 2, 10);
  t.AddObject(1, 0, 20);
  t.AddObject(1, 1, 30);
  t.AddObject(1, 0, 40);
  t.AddObject(1, 0, 50);
  t.objects[3].visible = false;
  t.objects[4].passno = 3;  // above passcount, which stays 2
  t.Sync();
  t.scene.passcount = 2;
  RenderScene(&t.scene, 0);
  EXPECT_EQ(DrawnFaceBuffers(), (std::vector<double>{23, 33, 13}));
  EXPECT_EQ(ObjectsDrawn, 3);
}

// passno comes from files: a pass number near the int32 limit must be reached without
// walking every pass below it (and without overflowing the pass counter).
TEST_F(RenderTest, HugePassNumbersDrawInOrderWithoutCountingEveryPass) {
  TestScene t;
  t.AddObject(1, INT32_MAX, 10);
  t.AddObject(1, 0, 20);
  t.AddObject(1, 70000, 30);
  t.AddObject(1, -5, 40);  // below pass 0: never drawn
  t.Sync();
  ASSERT_EQ(t.scene.passcount, INT32_MAX);
  RenderScene(&t.scene, 0);
  EXPECT_EQ(DrawnFaceBuffers(), (std::vector<double>{23, 33, 13}));
  RenderScenePrelit(&t.scene, 0);
  EXPECT_EQ(ObjectsDrawn, 6);
  rtest::Calls().clear();
  PickObject(&t.scene, 0);
  EXPECT_EQ(Count("glLoadName"), 3u);
}

TEST_F(RenderTest, FaceFractionDrawsTheFirstFacesButCountsAll) {
  TestScene t;
  t.AddObject(101);
  t.Sync();
  struct Case {
    float fraction;
    double indices;
  } cases[] = {{0.5f, 150}, {-1.0f, 303}, {0.0f, 0}, {1.0f, 303}, {7.0f, 303}};
  for (const Case &c : cases) {
    rtest::Calls().clear();
    ResetRendererCounters();
    FaceFraction = c.fraction;
    RenderScene(&t.scene, 0);
    const auto d = Only("glDrawElements");
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].args, (std::vector<double>{GL_TRIANGLES, c.indices, GL_UNSIGNED_INT, 0})) << c.fraction;
    EXPECT_EQ(FacesDrawn, 101) << c.fraction;
    EXPECT_EQ(ObjectsDrawn, 1);
  }
}

TEST_F(RenderTest, DistanceCullingByCullMode) {
  TestScene t({0, -10, 0}, {0, 0, 0});
  t.scene.culldistance = 10;
  t.AddObject(1, 0, 10);
  t.AddObject(1, 0, 20);
  t.AddObject(1, 0, 30);
  t.AddObject(1, 0, 40);
  t.objects[0].cullmode = 1;  // exactly at 10
  t.objects[1].cullmode = 1;
  t.objects[1].pivot = {0, 0.001f, 0};  // a hair beyond
  t.objects[2].cullmode = 2;
  t.objects[3].cullmode = 0;
  t.objects[3].pivot = {0, 5000, 0};
  t.Sync();
  RenderScene(&t.scene, 0);
  EXPECT_EQ(DrawnFaceBuffers(), (std::vector<double>{13, 43}));
  // A culled object still pushes and pops its matrix.
  EXPECT_EQ(Count("glPushMatrix"), 4u);
  EXPECT_EQ(Count("glPopMatrix"), 4u);
}

// The face-culling state each draw sees: a back-face-culled object culls back faces
// (front ones stay drawn), the others cull nothing. Both the lit draw and the black
// occluder draw set it per object.
TEST_F(RenderTest, BackFaceCullingCullsTheBackFaces) {
  TestScene t;
  t.AddObject(1, 0, 10).backfacecull = true;
  t.AddObject(1, 0, 20);
  t.AddObject(1, 0, 30).backfacecull = true;
  t.Sync();
  struct State {
    bool enabled = false;
    double mode = -1;
    bool operator==(const State &) const = default;
  };
  auto show = [](const State &s) {
    return testing::Message() << (s.enabled ? "culling " : "not culling ") << s.mode;
  };
  auto atEachDraw = [] {
    std::vector<State> out;
    State s;
    for (const Call &c : rtest::Calls()) {
      if ((c.name == "glEnable" || c.name == "glDisable") && c.args[0] == GL_CULL_FACE) s.enabled = c.name == "glEnable";
      if (c.name == "glCullFace") s.mode = c.args[0];
      if (c.name == "glDrawElements") out.push_back(s);
    }
    return out;
  };
  const State back{true, GL_BACK};
  for (bool black : {false, true}) {
    SCOPED_TRACE(black ? "black" : "lit");
    rtest::Calls().clear();
    for (int32_t i = 0; i < 3; i++) (black ? DrawObjectBlack : DrawObject)(&t.scene, i, 0);
    const std::vector<State> seen = atEachDraw();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_TRUE(seen[0] == back) << show(seen[0]);
    EXPECT_FALSE(seen[1].enabled);
    EXPECT_TRUE(seen[2] == back) << show(seen[2]);
  }
}

TEST_F(RenderTest, MaterialCodes) {
  TestScene t;
  t.materials.assign(3, TestScene::Material());
  t.materials[0].blend = 2;
  t.materials[0].depthtest = 1;
  t.materials[0].depthfunc = 3;
  t.materials[0].alphatest = 0.25f;
  t.materials[1].blend = 9;
  t.materials[1].depthfunc = 9;
  t.materials[1].depthtest = 7;
  t.materials[2].blend = 3;
  t.materials[2].depthtest = 2;
  t.AddObject(1, 0, 10).material = 0;
  t.AddObject(1, 0, 20);
  t.objects[1].material = 1;
  t.AddObject(1, 0, 30);
  t.objects[2].material = 2;
  t.AddObject(1, 0, 40);
  t.objects[3].material = 3;  // outside the scene: not drawn
  t.Sync();
  RenderScene(&t.scene, 0);
  EXPECT_EQ(DrawnFaceBuffers(), (std::vector<double>{13, 23, 33}));
  const long draw0 = Find("glDrawElements"), draw1 = Find("glDrawElements", {}, draw0 + 1);
  const long draw2 = Find("glDrawElements", {}, draw1 + 1);
  auto between = [](const char *name, std::vector<double> args, long from, long to) {
    const long i = Find(name, args, from);
    return i >= 0 && i < to;
  };
  // Object 0: blending (SRC_ALPHA, ONE_MINUS_SRC_ALPHA), read-only depth, GREATER, alpha test.
  EXPECT_TRUE(between("glBlendFunc", {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}, 0, draw0));
  EXPECT_TRUE(between("glDepthMask", {GL_FALSE}, Find("glEnable", {GL_ALPHA_TEST}), draw0));
  EXPECT_TRUE(between("glAlphaFunc", {GL_GREATER, 0.25}, 0, draw0));
  EXPECT_TRUE(between("glDepthFunc", {GL_GREATER}, 0, draw0));
  // Object 1: codes 9 keep blending and depth mode, and give GL_LESS.
  EXPECT_FALSE(between("glBlendFunc", {}, draw0, draw1));
  EXPECT_FALSE(between("glDepthMask", {}, draw0, draw1));
  EXPECT_TRUE(between("glDepthFunc", {GL_LESS}, draw0, draw1));
  EXPECT_FALSE(between("glDepthFunc", {GL_GREATER}, draw0, draw1));
  // Object 2: (ONE_MINUS_SRC_ALPHA, SRC_ALPHA), writes without the depth test.
  EXPECT_TRUE(between("glBlendFunc", {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA}, draw1, draw2));
  EXPECT_TRUE(between("glDisable", {GL_DEPTH_TEST}, draw1, draw2));
  EXPECT_TRUE(between("glDepthMask", {GL_TRUE}, draw1, draw2));
}

TEST_F(RenderTest, ObjectTransformTextureMatrixAndArrays) {
  TestScene t;
  t.materials[0].textured = true;
  t.materials[0].texture = 77;
  t.materials[0].utile = 2;
  t.materials[0].vtile = 3;
  t.materials[0].texturewrap = 1;
  t.AddObject();
  _QLV_OBJECT &o = t.objects[0];
  o.pivot = {1, 2, 3};
  o.rotation = {10, 20, 30};
  o.velocity = {0.5f, 0.25f, 0};
  o.hasnormals = true;
  o.hastexcoords = true;
  o.poskeys = t.Keys({{0, 0, 0, 0}, {10, 10, 0, 0}});
  o.poskeycount = 2;
  t.Sync();
  SetObjectOffset(7, 8, 9);
  DrawObject(&t.scene, 0, 4);
  std::vector<std::string> transform;
  for (const Call &c : rtest::Calls())
    if (c.name == "glTranslatef" || c.name == "glRotatef" || c.name == "glScalef") {
      std::string s = c.name;
      for (double a : c.args) {
        s += ' ';
        s += std::to_string((int)std::lround(a * 100));
      }
      transform.push_back(s);
    }
  EXPECT_EQ(transform, (std::vector<std::string>{
                           "glTranslatef 400 0 0", "glTranslatef 100 200 300", "glRotatef 1000 100 0 0",
                           "glRotatef 2000 0 100 0", "glRotatef 3000 0 0 100", "glTranslatef -100 -200 -300",
                           "glTranslatef 700 800 900", "glScalef 100 100 100", "glScalef 200 300 100",
                           "glTranslatef 200 100 0"}));
  EXPECT_GE(Find("glBindTexture", {GL_TEXTURE_2D, 77}), 0);
  EXPECT_GE(Find("glTexParameterf", {GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 16}), 0);
  EXPECT_GE(Find("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE}), 0);
  EXPECT_GE(Find("glTexCoordPointer", {2, GL_FLOAT, 8, 0}), 0);
  EXPECT_GE(Find("glNormalPointer", {GL_FLOAT, 12, 0}), 0);
  // Buffers are unbound after the object, so later client-memory arrays are safe.
  EXPECT_GT(Find("glBindBufferARB", {GL_ARRAY_BUFFER_ARB, 0}), Find("glDrawElements"));
}

// Buffer id 0 turns a null array pointer into a client pointer at address 0: an
// object without vertex or face buffers draws nothing, and an array without its
// buffer is left off.
TEST_F(RenderTest, MissingBufferObjectsAreNeverReadThroughNull) {
  struct Case {
    const char *what;
    int32_t vertex, face, normal, texcoord;
    size_t draws, normals, texcoords;
  } cases[] = {
      {"all buffers", 10, 13, 11, 12, 1, 1, 1},     {"no vertex buffer", 0, 13, 11, 12, 0, 0, 0},
      {"no face buffer", 10, 0, 11, 12, 0, 0, 0},   {"no normal buffer", 10, 13, 0, 12, 1, 0, 1},
      {"no texcoord buffer", 10, 13, 11, 0, 1, 1, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    for (auto draw : {DrawObject, DrawObjectPrelit}) {
      TestScene t;
      t.materials[0].textured = true;
      _QLV_OBJECT &o = t.AddObject();
      o.hasnormals = o.hastexcoords = true;
      o.vertexbuffer = c.vertex;
      o.facebuffer = c.face;
      o.normalbuffer = c.normal;
      o.texcoordbuffer = c.texcoord;
      t.Sync();
      rtest::Calls().clear();
      draw(&t.scene, 0, 0);
      EXPECT_EQ(Count("glDrawElements"), c.draws);
      EXPECT_EQ(Count("glVertexPointer"), c.draws);
      EXPECT_EQ(Count("glNormalPointer"), c.normals);
      EXPECT_EQ(Count("glTexCoordPointer"), c.texcoords);
    }
  }
}

TEST_F(RenderTest, PrelitScalesLightScaledColoursAndUsesVertexColours) {
  TestScene t;
  t.scene.lightscale = 2;
  t.materials[0].diffuse = {0.25f, 0.5f, 0.125f};
  t.materials[0].specular = {0.5f, 0.5f, 0.5f};
  t.materials[0].constantalpha = 0.5f;
  t.AddObject(1, 0, 10);
  t.AddObject(1, 0, 20);
  std::vector<_QLV_RGB> colours(3, _QLV_RGB{1, 0, 0});
  t.objects[0].lightscaled = true;
  t.objects[1].hascolors = true;
  t.objects[1].colors = colours.data();
  t.Sync();
  ProjectionScale = 0.5f;
  RenderScenePrelit(&t.scene, 0);
  EXPECT_GE(Find("glMaterialfv", {GL_FRONT_AND_BACK, GL_DIFFUSE, 0.5, 1, 0.25, 1}), 0);
  EXPECT_GE(Find("glMaterialfv", {GL_FRONT_AND_BACK, GL_SPECULAR, 1, 1, 1, 1}), 0);
  EXPECT_GE(Find("glColor4f", {0.25, 0.5, 0.125, 0.5}), 0);
  EXPECT_GE(Find("glColorPointer", {3, GL_FLOAT, 12, 1}), 0);
  EXPECT_GE(Find("glScalef", {0.5, 0.5, 0.5}), 0);
  // Lights come before the camera: their positions use the caller's modelview.
  EXPECT_LT(Find("glDisable", {GL_LIGHT0}), Find("gluPerspective"));
  EXPECT_EQ(Count("glDisableClientState"), 3u);  // both vertex arrays and the colour array
}

TEST_F(RenderTest, FogAndTheEnvironmentPass) {
  TestScene t;
  t.materials[0].envmap = true;
  t.materials[0].envtexture = 88;
  t.materials[0].envcolor = {0.5f, 0.5f, 1};
  t.materials[0].envalpha = 0.25f;
  t.AddObject(4);
  t.objects[0].fog = true;
  t.objects[0].fogmode = 2;
  t.objects[0].fogparam = {0.5f, 10, 20};
  t.objects[0].fogcolor = {0.1f, 0.2f, 0.3f, 1};
  t.Sync();
  FaceFraction = 0.5f;
  DrawObject(&t.scene, 0, 0);
  EXPECT_GE(Find("glFogi", {GL_FOG_MODE, GL_EXP2}), 0);
  EXPECT_GE(Find("glFogf", {GL_FOG_END, 20}), 0);
  EXPECT_GE(Find("glFogfv", {GL_FOG_COLOR, 0.1f, 0.2f, 0.3f, 1}), 0);
  const auto draws = Only("glDrawElements");
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0].args[1], 6);   // half the faces
  EXPECT_EQ(draws[1].args[1], 12);  // the environment pass draws them all
  const long env = Find("glBindTexture", {GL_TEXTURE_2D, 88});
  EXPECT_LT(Find("glDrawElements"), env);
  EXPECT_GE(Find("glTexGeni", {GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP}, env), 0);
  EXPECT_GE(Find("glDepthFunc", {GL_EQUAL}, env), 0);
  EXPECT_GE(Find("glBlendFunc", {GL_ONE, GL_ONE}, env), 0);
  EXPECT_GE(Find("glColor4f", {0.5, 0.5, 1, 0.25}, env), 0);
  EXPECT_GT(Find("glDepthFunc", {GL_LEQUAL}, env), Find("glDrawElements", {}, env));
  EXPECT_EQ(Only("glDisable").back().args[0], GL_FOG);
  // Without fog the object turns it off first.
  rtest::Calls().clear();
  t.objects[0].fog = false;
  t.materials[0].envmap = false;
  DrawObject(&t.scene, 0, 0);
  EXPECT_EQ(Only("glDisable").front().args[0], GL_FOG);
  EXPECT_EQ(Count("glFogi"), 0u);
  DrawObject(&t.scene, 1, 0);  // out of range
  EXPECT_EQ(Count("glDrawElements"), 1u);
}

TEST_F(RenderTest, CameraSetupPutsTheWholeCameraInTheProjection) {
  TestScene t({1, 2, 3}, {4, 5, 6});
  CameraSetup(&t.scene, 0);
  std::vector<double> modes;
  for (const Call &c : rtest::Calls())
    if (c.name == "glMatrixMode") modes.push_back(c.args[0]);
  EXPECT_EQ(modes, (std::vector<double>{GL_TEXTURE, GL_MODELVIEW, GL_PROJECTION}));
  EXPECT_GE(Find("glScalef", {0.00001f, 0.00001f, 0.00001f}), 0);
  EXPECT_GT(Find("gluLookAt", {1, 2, 3, 4, 5, 6, 0, 0, 1}), Find("gluPerspective"));
  EXPECT_EQ(CameraEye.x, 0.0f);  // the camera globals stay as they were
  const _QLV_VECTOR eye = {7, 8, 9}, target = {0, 0, 0};
  CameraSetupAt(&t.scene, &eye, &target);
  EXPECT_GE(Find("gluLookAt", {7, 8, 9, 0, 0, 0, 0, 0, 1}), 0);
}

TEST_F(RenderTest, WireframeDrawsThreeEdgesPerFace) {
  TestScene t;
  t.AddObject(2);
  t.objects[0].poskeys = t.Keys({{0, 5, 5, 5}});
  t.objects[0].poskeycount = 1;
  t.Sync();
  DrawObjectWire(&t.scene, 0, 0.5f, 3);
  EXPECT_EQ(Count("glVertex3f"), 12u);
  EXPECT_GE(Find("glTranslatef", {5, 5, 5}), 0);
  EXPECT_EQ(Count("glRotatef"), 0u);
  EXPECT_GE(Find("glColor4f", {0.5, 0.5, 0.5, 1}), 0);
  EXPECT_GE(Find("glLineWidth", {2}), 0);
}

TEST_F(RenderTest, SceneWithoutCameraTrackIsLoggedAndNotDrawn) {
  TestScene t;
  t.AddObject();
  t.scene.camtargetkeycount = 0;
  // Picking has its own camera set-up, without the message.
  EXPECT_EQ(PickObject(&t.scene, 0), 0);
  EXPECT_EQ(Log().find("not renderable"), std::string::npos);
  EXPECT_EQ(Count("glRenderMode"), 0u);
  RenderScene(&t.scene, 0);
  RenderSceneZoomed(&t.scene, 0);
  FlareSample(&t.scene, 0);
  CameraSetup(&t.scene, 0);
  EXPECT_EQ(Count("glDrawElements"), 0u);
  EXPECT_EQ(Count("gluLookAt"), 0u);
  const std::string log = Log();
  EXPECT_NE(log.find("QALVERN: Scene not renderable without camera animation target and position track"),
            std::string::npos);
  EXPECT_NE(log.find("Qalvern: Scene not renderable without camera animation target and position track"),
            std::string::npos);
}

TEST_F(RenderTest, PickReturnsTheNearestHitOrZero) {
  TestScene t;
  t.AddObject(1, 0, 10);
  t.AddObject(1, 0, 20);
  t.AddObject(1, 0, 30);
  t.Sync();
  EXPECT_EQ(PickObject(&t.scene, 0), 0);
  EXPECT_GE(Find("gluPickMatrix", {0, 479, 1, 1}), 0);
  EXPECT_EQ(Only("glLoadName").size(), 3u);
  rtest::Calls().clear();
  rtest::Answer().hits = 3;
  rtest::Answer().select = {1, 0x90000000u, 0x90000000u, 1, 1, 0x80000000u, 0x80000001u, 3,
                            1, 0x80000000u, 0x80000000u, 2};
  EXPECT_EQ(PickObject(&t.scene, 0), 3);  // unsigned depths, the first on a tie
  rtest::Answer().hits = -1;              // overflow: complete records still count
  EXPECT_EQ(PickObject(&t.scene, 0), 3);
}

TEST_F(RenderTest, FlareSampleHidesFlaresAndTakesTheBrightestNeighbour) {
  TestScene t;
  t.materials.push_back(TestScene::Material());
  t.materials[1].flaresize = 4;
  t.materials[1].ambient = {0.2f, 0.4f, 0.6f};
  t.AddObject(1, 0, 10);
  t.AddObject(1, 0, 20);
  t.objects[1].material = 1;
  t.objects[1].pivot = {5, 6, 7};
  t.objects[1].samplecolor = {9, 9, 9};
  t.Sync();
  rtest::Answer().raster[0] = 100.7f;
  rtest::Answer().raster[1] = 50.2f;
  for (int k = 0; k < 9; k++) {
    rtest::Answer().pixels[3 * k] = 0.1f * k;
    rtest::Answer().pixels[3 * k + 1] = 0.05f;
    rtest::Answer().pixels[3 * k + 2] = 0.9f - 0.1f * k;
  }
  FlareSample(&t.scene, 0);
  EXPECT_FALSE(t.objects[1].visible);
  EXPECT_TRUE(t.objects[0].visible);
  EXPECT_GE(Find("glVertex3f", {5, 6, 7}), 0);
  EXPECT_GE(Find("glColor3f", {0.2f, 0.4f, 0.6f}), 0);
  EXPECT_GE(Find("glReadPixels", {99, 49, 3, 3, GL_RGB, GL_FLOAT}), 0);
  EXPECT_FLOAT_EQ(t.objects[1].samplecolor.r, 0.8f);
  EXPECT_FLOAT_EQ(t.objects[1].samplecolor.g, 0.05f);
  EXPECT_FLOAT_EQ(t.objects[1].samplecolor.b, 0.9f);
  // The occluder is drawn black from client memory, without buffers bound.
  EXPECT_GE(Find("glDrawElements", {GL_TRIANGLES, 3, GL_UNSIGNED_INT, 1}), 0);
  EXPECT_GE(Find("glColor4f", {0, 0, 0, 1}), 0);
}

TEST_F(RenderTest, OccluderWithIndicesOutsideTheObjectIsNotDrawn) {
  TestScene t;
  t.AddObject(2);
  t.faceStore.back()[1] = {0, 1, 3};
  uint16_t strip[4] = {0, 1, 2, 9};
  t.AddObject();
  t.objects[1].rendermode = 1;
  t.objects[1].strip = strip;
  t.objects[1].stripcount = 3;
  t.Sync();
  DrawObjectBlack(&t.scene, 0, 0);
  DrawObjectBlack(&t.scene, 1, 0);
  EXPECT_EQ(Only("glDrawElements").size(), 1u);
  EXPECT_GE(Find("glDrawElements", {GL_TRIANGLE_STRIP, 3, GL_UNSIGNED_SHORT, 1}), 0);
  t.objects[1].stripcount = 4;
  rtest::Calls().clear();
  DrawObjectBlack(&t.scene, 1, 0);
  EXPECT_EQ(Count("glDrawElements"), 0u);
  EXPECT_EQ(Count("glPopMatrix"), 1u);
}

}  // namespace
