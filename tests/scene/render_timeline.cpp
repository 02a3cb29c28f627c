// The project timeline: the eased key ramps as tables and as played, key activity, and the
// operators' GL calls and scene changes against their formulas.
#include <cmath>
#include <numbers>

#include "presentation/procedural.h"
#include "scene/render.h"
#include "scene/renderhelpers.h"
#include "scene/timeline.h"
#include "tests/scene/render_recorder.h"
#include "tests/scene/render_scene.h"

namespace {

using rtest::Count;
using rtest::Find;
using rtest::Only;
using rtest::TestScene;

TEST(RenderRamp, EasedRampsAsTables) {
  // Range 100..200 (mid 150), values 0 -> 1000 -> 400.
  const double h = std::sin(std::numbers::pi / 4);  // the eased weight at a quarter
  struct Case {
    uint8_t mode;
    float t;
    double value;
  } cases[] = {
      {0, 50, 0},    {0, 100, 0},       {0, 125, 500},          {0, 150, 1000}, {0, 175, 700},
      {0, 200, 400}, {0, 250, 400},     {1, 100, 0},            {1, 125, 1000 * h},
      {1, 150, 1000}, {1, 175, 1000 - 600 * (1 - h)}, {1, 200, 400}, {2, 100, 0},
      {2, 125, 1000 * (1 - h)},         {2, 150, 1000},         {2, 175, 1000 - 600 * h}, {2, 200, 400},
      {7, 125, 500},  // an unknown mode ramps straight
  };
  for (const Case &c : cases)
    EXPECT_NEAR(KeyRamp(c.mode, 100, 200, 0, 1000, 400, c.t), c.value, 1e-3) << (int)c.mode << " at " << c.t;
  // A range of one time unit: the start value before, the mid value at it, the end after.
  EXPECT_EQ(KeyRamp(1, 100, 100, 3, 5, 7, 99.5f), 3.0f);
  EXPECT_EQ(KeyRamp(1, 100, 100, 3, 5, 7, 100), 5.0f);
  EXPECT_EQ(KeyRamp(1, 100, 100, 3, 5, 7, 100.5f), 7.0f);
  // Mid and ends exactly in every mode.
  for (uint8_t m = 0; m < 3; m++) {
    EXPECT_EQ(KeyRamp(m, 10, 30, 111, 222, 333, 20), 222.0f);
    EXPECT_EQ(KeyRamp(m, 10, 30, 111, 222, 333, 10), 111.0f);
    EXPECT_EQ(KeyRamp(m, 10, 30, 111, 222, 333, 30), 333.0f);
  }
}

TEST(RenderRamp, MinusThreeHundredThreeIsANewRandomValue) {
  RandomReset();
  std::vector<float> seen;
  for (int i = 0; i < 50; i++) {
    const float v = KeyRamp(0, 0, 10, -303, 5, 5, 5);
    EXPECT_EQ(v, std::floor(v));
    EXPECT_GE(v, 0.0f);
    EXPECT_LT(v, 1000.0f);
    seen.push_back(v);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_GT(std::unique(seen.begin(), seen.end()) - seen.begin(), 30);
}

class TimelineTest : public rtest::Fixture {
 protected:
  void SetUp() override {
    Fixture::SetUp();
    RendererInit();
    ScreenScaleX = 1280 / 1024.0f;
    ScreenScaleY = 720 / 768.0f;
    for (int32_t i = 0; i < 4; i++) FrameTextures[i] = 200 + i, SmallFrameTextures[i] = 300 + i;
    project.Scenes = &scene.scene;
    project.SceneCount = 1;
  }
  // One operator with one key.
  TVX_Operator &Operator(int32_t type, std::initializer_list<uint8_t> params, TVX_Key key) {
    keys.push_back({key});
    ops.push_back(TVX_Operator{});
    TVX_Operator &op = ops.back();
    op.OpType = type;
    int i = 0;
    for (uint8_t p : params) op.Params[i++] = p;
    op.KeyCount = 1;
    op.Keys = keys.back().data();
    project.Operators = ops.data();
    project.OperatorCount = (int32_t)ops.size();
    return op;
  }
  static TVX_Key Flat(int32_t from, int32_t to, int32_t value) { return {from, to, 0, value, value, value}; }

  TestScene scene;
  TVX_Project project{};
  std::deque<std::vector<TVX_Key>> keys;
  std::vector<TVX_Operator> ops;
};

TEST_F(TimelineTest, KeysAreActiveForTheTruncatedTimeInTheirRange) {
  ops.reserve(4);
  Operator(1, {0, 0, 0, 0, 0, 4, 0, 3}, {100, 200, 0, 0, 500, 1000});
  struct Case {
    float time;
    size_t calls;
    double w;
  } cases[] = {{99.9f, 0, 0}, {100, 1, 0}, {150, 1, 640}, {200.9f, 1, 1280}, {201, 0, 0}};
  for (const Case &c : cases) {
    rtest::Calls().clear();
    ProjectPlay(&project, c.time);
    const auto v = Only("glViewport");
    ASSERT_EQ(v.size(), c.calls) << c.time;
    if (c.calls) {
      EXPECT_EQ(v[0].args[2], c.w) << c.time;
    }
  }
  // Two active keys of one operator act twice, in key order.
  keys.back() = {Flat(0, 10, 250), Flat(5, 10, 1000)};
  ops.back().KeyCount = 2;
  ops.back().Keys = keys.back().data();
  rtest::Calls().clear();
  ProjectPlay(&project, 7);
  const auto v = Only("glViewport");
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].args[2], 320);
  EXPECT_EQ(v[1].args[2], 1280);
}

TEST_F(TimelineTest, PlayedKeysEaseByTheirOwnMode) {
  // Objects 0 and 1 take their x rotation from a key of ease 1 and of ease 2 over
  // 100..200, values 0 -> 1000 -> 400; a quarter into either half the weight is
  // sin(pi/4) in mode 1 and 1 - cos(pi/4) in mode 2, where a straight ramp gives 1/2.
  for (int i = 0; i < 2; i++) scene.AddObject();
  scene.Sync();
  ops.reserve(2);
  Operator(6, {0, 0, 0, 0}, {100, 200, 1, 0, 1000, 400});
  Operator(6, {1, 0, 0, 0}, {100, 200, 2, 0, 1000, 400});
  const double h = std::sin(std::numbers::pi / 4);
  struct Case {
    float time;
    double ease1, ease2;
  } cases[] = {{125, 1000 * h, 1000 * (1 - h)}, {175, 1000 - 600 * (1 - h), 1000 - 600 * h}};
  for (const Case &c : cases) {
    ProjectPlay(&project, c.time);
    EXPECT_NEAR(scene.objects[0].rotation.x, c.ease1, 1e-3) << c.time;
    EXPECT_NEAR(scene.objects[1].rotation.x, c.ease2, 1e-3) << c.time;
  }
}

TEST_F(TimelineTest, ViewportScalesSizeButNotOrigin) {
  Operator(1, {10, 1, 20, 0, 0, 4, 0, 3}, Flat(0, 10, 500));
  ProjectPlay(&project, 5);
  EXPECT_GE(Find("glViewport", {266, 20, 640, 360}), 0);
}

TEST_F(TimelineTest, ClearScalesTheColourAndBuildsTheMask) {
  Operator(1000, {255, 51, 0, 1, 0, 0, 0}, Flat(0, 10, 500));
  Operator(1000, {0, 0, 0, 0, 1, 1, 1}, Flat(0, 10, 1000));
  ProjectPlay(&project, 5);
  const auto c = Only("glClearColor");
  ASSERT_EQ(c.size(), 2u);
  EXPECT_FLOAT_EQ((float)c[0].args[0], 0.5f);
  EXPECT_FLOAT_EQ((float)c[0].args[1], 0.1f);
  EXPECT_FLOAT_EQ((float)c[0].args[3], 0.5f);
  const auto m = Only("glClear");
  EXPECT_EQ(m[0].args[0], GL_COLOR_BUFFER_BIT);
  EXPECT_EQ(m[1].args[0], GL_DEPTH_BUFFER_BIT | GL_ACCUM_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

TEST_F(TimelineTest, SceneFieldOperators) {
  for (int i = 0; i < 3; i++) scene.AddObject();
  scene.Sync();
  ops.reserve(8);
  Operator(6, {1, 0, 1, 0}, Flat(0, 10, 45));      // object 1, y
  Operator(6, {0, 0, 2, 1}, Flat(0, 10, 90));      // all objects, z
  Operator(6, {9, 0, 0, 0}, Flat(0, 10, 10)).Target = 0;  // object 9: none
  Operator(7, {}, Flat(0, 10, 90));
  Operator(7, {}, Flat(0, 10, 10)).Target = 3;     // scene 3: none
  ProjectPlay(&project, 1);
  EXPECT_EQ(scene.objects[1].rotation.y, 45.0f);
  EXPECT_EQ(scene.objects[0].rotation.y, 0.0f);
  for (const auto &o : scene.objects) EXPECT_EQ(o.rotation.z, 90.0f);
  EXPECT_EQ(scene.objects[0].rotation.x, 0.0f);
  EXPECT_FLOAT_EQ(scene.scene.camerafov, (float)(std::numbers::pi / 2));
}

TEST_F(TimelineTest, ObjectSwapAndSparksNeedTheirObjects) {
  for (int i = 0; i < 115; i++) scene.AddObject();
  scene.Sync();
  Operator(4006, {}, Flat(0, 10, 1));
  ProjectPlay(&project, 1);
  EXPECT_TRUE(scene.objects[99].particle.particleenabled);
  EXPECT_FALSE(scene.objects[99].visible);
  keys.back()[0] = Flat(0, 10, 0);
  ProjectPlay(&project, 1);
  EXPECT_FALSE(scene.objects[99].particle.particleenabled);
  EXPECT_TRUE(scene.objects[99].visible);
  // Sparks: value 0 clears all three after the draws.
  ops.clear();
  keys.clear();
  Operator(4001, {}, Flat(0, 10, 0));
  scene.objects[105].particle.particleenabled = true;
  ProjectPlay(&project, 1);
  EXPECT_FALSE(scene.objects[105].particle.particleenabled);
  // A first scene of fewer than 115 objects is left alone (and not read past its end).
  scene.objects.resize(110);
  scene.objects[105].particle.particleenabled = true;
  scene.Sync();
  ProjectPlay(&project, 1);
  EXPECT_TRUE(scene.objects[105].particle.particleenabled);
}

TEST_F(TimelineTest, CopyAndShaderPassesUseTheirSlots) {
  ops.reserve(4);
  Operator(3000, {0, 0, 0, 0, 0, 1, 0, 1, 5}, Flat(0, 10, 1000));
  Operator(3000, {0, 0, 0, 0, 0, 1, 0, 1, 8}, Flat(0, 10, 1000));  // no slot 8
  Operator(2003, {6}, Flat(0, 10, 500));
  PassProgramA = 41;
  PassProgramB = 42;
  ProjectPlay(&project, 1);
  const auto copies = Only("glCopyTexImage2D");
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(copies[0].args, (std::vector<double>{GL_TEXTURE_2D, 0, GL_RGB, 0, 0, 320, 240, 0}));
  EXPECT_EQ(copies[1].args, (std::vector<double>{GL_TEXTURE_2D, 0, GL_RGB, 0, 0, 1280, 720, 0}));
  EXPECT_GE(Find("glBindTexture", {GL_TEXTURE_2D, 301}), 0);
  const auto use = Only("glUseProgramObjectARB");
  ASSERT_EQ(use.size(), 4u);
  EXPECT_EQ(use[0].args[0], 41);
  EXPECT_EQ(use[2].args[0], 42);
  EXPECT_GE(Find("glUniform1fARB", {7, 0.5}), 0);
  EXPECT_EQ(Count("glActiveTextureARB"), 0u);  // the two-pass form leaves the units alone
  // The second pass reads frame texture 0.
  EXPECT_GE(Find("glBindTexture", {GL_TEXTURE_2D, 200}, Find("glUseProgramObjectARB", {42})), 0);
  PassProgramA = PassProgramB = 0;
}

TEST_F(TimelineTest, PointCloudDrawsEveryPointInItsGrey) {
  for (int32_t i = 0; i < kRandomPointCount; i++) {
    PointX[i] = (float)i;
    PointShade[i] = 0.5f + i / 100000.0f;
  }
  Operator(4005, {}, Flat(0, 10, 1));
  ProjectPlay(&project, 1);
  const auto v = Only("glVertex3f");
  ASSERT_EQ(v.size(), 20001u);
  EXPECT_EQ(v.back().args[0], 20000);
  EXPECT_EQ(Count("glColor3f"), 20002u);
  EXPECT_FLOAT_EQ((float)Only("glColor3f").back().args[0], PointShade[20000]);
}

TEST_F(TimelineTest, LightningAtZeroAimsAtTheFirstFourFaces) {
  scene.AddObject(8);
  for (int i = 0; i < 4; i++) scene.AddObject();
  scene.vectorStore.front() = {{0, 0, 0}, {3, 0, 0}, {0, 3, 0}, {0, 0, 3}};
  scene.objects[0].vertexcount = 4;
  scene.objects[0].vertices = scene.vectorStore.front().data();
  for (int f = 0; f < 4; f++) scene.faceStore.front()[f] = {0, 1 + f % 3, 1 + (f + 1) % 3};
  scene.Sync();
  FaceFraction = -1;
  Operator(4004, {}, Flat(0, 10, 0));
  ProjectPlay(&project, 1);
  EXPECT_EQ(FaceFraction, 0.0f);
  // Each bolt's last segment of its first pass ends at its face centre.
  const auto begins = Only("glBegin");
  std::vector<std::vector<double>> ends;
  bool inLines = false;
  std::vector<double> last;
  int passes = 0;
  for (const auto &c : rtest::Calls()) {
    if (c.name == "glBegin") inLines = c.args[0] == GL_LINES, last.clear();
    if (c.name == "glVertex3f" && inLines) last = c.args;
    if (c.name == "glEnd" && inLines && !last.empty() && passes < 8) {
      if (passes % 2 == 0) ends.push_back(last);
      passes++;
    }
  }
  ASSERT_EQ(ends.size(), 4u);
  for (int f = 0; f < 4; f++) {
    const _QLV_FACE &face = scene.faceStore.front()[f];
    const auto &V = scene.vectorStore.front();
    EXPECT_NEAR(ends[f][0], (V[face.a].x + V[face.b].x + V[face.c].x) / 3.0, 1e-4) << f;
    EXPECT_NEAR(ends[f][1], (V[face.a].y + V[face.b].y + V[face.c].y) / 3.0, 1e-4) << f;
  }
  // Then the tube: 21 x 36 x 2 segments, twice.
  EXPECT_EQ(begins.size(), 8u + 2);
  EXPECT_EQ(Only("glLineWidth").back().args[0], 5);
}

TEST_F(TimelineTest, ShadowedSceneStencilsTheSecondRender) {
  scene.AddObject();
  scene.Sync();
  std::vector<_QLV_VECTOR> volume(12);
  scene.scene.volumearray = volume.data();
  Operator(1001, {0, 1, 1}, Flat(0, 10, 3));
  ParticlesCreate(&scene.scene, 4);
  ProjectPlay(&project, 1);
  const long shadow = Find("glStencilOp", {GL_KEEP, GL_KEEP, GL_KEEP});
  const long equal = Find("glStencilFunc", {GL_EQUAL, 0, 4294967295.0});
  const long second = Find("glDrawElements", {}, equal);
  ASSERT_GE(shadow, 0);
  EXPECT_GT(Find("glClear", {GL_DEPTH_BUFFER_BIT}, shadow), shadow);
  EXPECT_GT(equal, shadow);
  EXPECT_GT(second, equal);
  EXPECT_GT(Find("glDisable", {GL_STENCIL_TEST}, second), second);
  EXPECT_EQ(Count("gluPerspective"), 2u);
  ParticlesFree(&scene.scene);
}

TEST_F(TimelineTest, GrainAndOverlayDrawFullScreenQuads) {
  for (int32_t i = 0; i < kNoiseTextureCount; i++) NoiseTextures[i] = 500 + i;
  RandomReset();
  for (int i = 0; i < 200; i++) DrawNoiseOverlay(250);
  for (const auto &b : Only("glBindTexture")) {
    EXPECT_GE(b.args[1], 500);
    EXPECT_LT(b.args[1], 531);  // never the 32nd
  }
  EXPECT_GE(Find("glColor3f", {0.25, 0.25, 0.25}), 0);
  rtest::Calls().clear();
  Operator(1005, {255, 0, 0, 2, 1}, Flat(0, 10, 500));
  Operator(1005, {255, 0, 0, 9, 1}, Flat(0, 10, 500));  // no slot 9
  ProjectPlay(&project, 1);
  EXPECT_EQ(Count("glBegin"), 1u);
  EXPECT_GE(Find("glBindTexture", {GL_TEXTURE_2D, 202}), 0);
  EXPECT_GE(Find("glBlendFunc", {GL_ONE, GL_ONE}), 0);
  EXPECT_GE(Find("glColor3f", {0.5, 0, 0}), 0);
  EXPECT_EQ(Only("glVertex2f").front().args, (std::vector<double>{1, 1}));
}

}  // namespace
