// Renderer helpers: particle emission, ageing and drawing, the full pool, spreads and
// colour attributes, the degenerate camera, objects by name, the framebuffer and
// glow textures and the mirrored render.
#include "presentation/procedural.h"
#include "scene/counters.h"
#include "scene/render.h"
#include "scene/renderhelpers.h"
#include "tests/scene/render_recorder.h"
#include "tests/scene/render_scene.h"

namespace {

using rtest::Count;
using rtest::Find;
using rtest::Only;
using rtest::TestScene;

class ParticleTest : public rtest::Fixture {
 protected:
  void SetUp() override {
    Fixture::SetUp();
    RendererInit();
    ResetRendererCounters();
    // Looking along z: R = (1, 0, 0) and U = (0, 1, 0).
    CameraEye = {0, 0, -10};
    CameraTarget = {0, 0, 0};
  }
  void TearDown() override {
    ParticlesFree(&t.scene);
    Fixture::TearDown();
  }
  _QLV_PARTICLEDATA &Emitter(int32_t newparticle, float power, float deltapower) {
    _QLV_PARTICLEDATA &e = t.objects.back().particle;
    e.particleenabled = true;
    e.newparticle = newparticle;
    e.power = power;
    e.deltapower = deltapower;
    e.size = 2;
    e.color = {1, 0.5f, 0.25f};
    e.texture = 55;
    return e;
  }
  int32_t Live() const {
    int32_t n = 0;
    for (int32_t i = 0; i < t.scene.particlecount; i++) n += !t.scene.particles[i].free;
    return n;
  }
  TestScene t;
};

TEST_F(ParticleTest, EachParticleLivesUntilItsPowerRunsOut) {
  t.AddObject();
  Emitter(10, 1, 0.25f);
  ParticlesCreate(&t.scene, 100);
  ASSERT_EQ(t.scene.particlecount, 100);
  const int32_t drawn[] = {10, 20, 30, 40, 40, 40};
  for (int32_t f = 0; f < 6; f++) {
    ResetRendererCounters();
    DrawParticles(&t.scene, (float)f);
    EXPECT_EQ(ParticlesDrawn, drawn[f]) << f;
    EXPECT_EQ(Live(), f < 3 ? drawn[f] : 30) << f;  // freed after its fourth draw
  }
  EXPECT_EQ(Count("glBindTexture"), 10u + 20 + 30 + 40 + 40 + 40);
  EXPECT_EQ(Only("glDepthMask").back().args[0], GL_TRUE);
}

TEST_F(ParticleTest, AFullPoolOverwritesItsLastSlot) {
  t.AddObject();
  Emitter(4, 1, 0.1f);
  t.AddObject();
  Emitter(6, 1, 0.1f);
  t.objects[1].pivot = {3, 3, 3};
  t.Sync();
  ParticlesCreate(&t.scene, 5);
  DrawParticles(&t.scene, 0);
  for (int32_t i = 0; i < 4; i++) EXPECT_EQ(t.scene.particles[i].emitter, 0) << i;
  EXPECT_EQ(t.scene.particles[4].emitter, 1);
  EXPECT_EQ(ParticlesDrawn, 5);
}

// newparticle comes from files: a count near the int32 limit must not spin the frame.
TEST_F(ParticleTest, AHugeEmissionCountEndsWithinTheFrame) {
  t.AddObject();
  Emitter(INT32_MAX, 1, 0.1f);
  t.AddObject();
  Emitter(INT32_MAX, 1, 0.1f);
  t.Sync();
  ParticlesCreate(&t.scene, 50);
  RandomReset();
  DrawParticles(&t.scene, 0);
  EXPECT_EQ(Live(), 50);
  EXPECT_EQ(ParticlesDrawn, 50);
  for (int32_t i = 0; i < 50; i++) EXPECT_EQ(t.scene.particles[i].emitter, 0) << i;
}

TEST_F(ParticleTest, SpreadAddsARandomOffsetWithinHalfTheSpread) {
  t.AddObject();
  _QLV_PARTICLEDATA &e = Emitter(200, 1, 0.5f);
  e.deltavector = {1, 2, 3};
  e.deltavectorspread = {0, 0.5f, 0};
  t.objects[0].pivot = {4, 5, 6};
  ParticlesCreate(&t.scene, 200);
  DrawParticles(&t.scene, 0);
  float lo = 10, hi = -10;
  for (int32_t i = 0; i < 200; i++) {
    const _QLV_PARTICLE &p = t.scene.particles[i];
    EXPECT_EQ(p.delta.x, 1.0f);
    EXPECT_EQ(p.delta.z, 3.0f);
    lo = std::min(lo, p.delta.y);
    hi = std::max(hi, p.delta.y);
    // Emitted at the pivot, moved once after its draw.
    EXPECT_FLOAT_EQ(p.position.x, 5.0f);
    EXPECT_FLOAT_EQ(p.position.y, 5.0f + p.delta.y);
  }
  EXPECT_GE(lo, 2.0f - 0.25f);
  EXPECT_LT(hi, 2.0f + 0.25f);
  EXPECT_LT(lo, 1.8f);  // the spread is used, not only its middle
  EXPECT_GT(hi, 2.2f);
}

TEST_F(ParticleTest, ColourAttributesFadeAndShrink) {
  t.AddObject();
  // Drawn at life left 1, then 0.75: on the second draw fading (x 0.75) and growing
  // (x 0.25) part ways, and 4 and 8 override 1 and 2 when both are set.
  _QLV_PARTICLEDATA &e = Emitter(1, 1, 0.25f);
  struct Case {
    uint8_t attrib;
    float r;      // first colour component on the second draw
    double half;  // half-size then
  } cases[] = {{0, 1, 2},     {1, 0.75f, 2},    {2, 1, 1.5},     {3, 0.75f, 1.5}, {4, 0.25f, 2},
               {8, 1, 0.5},   {12, 0.25f, 0.5}, {5, 0.25f, 2},   {10, 1, 0.5}};
  for (const Case &c : cases) {
    e.colorattrib = c.attrib;
    ParticlesFree(&t.scene);
    ParticlesCreate(&t.scene, 1);
    DrawParticles(&t.scene, 0);
    e.particleenabled = false;
    rtest::Calls().clear();
    DrawParticles(&t.scene, 1);
    e.particleenabled = true;
    const auto colours = Only("glColor3f");
    ASSERT_EQ(colours.size(), 1u);
    EXPECT_FLOAT_EQ((float)colours[0].args[0], c.r) << (int)c.attrib;
    EXPECT_FLOAT_EQ((float)colours[0].args[1], c.r * 0.5f) << (int)c.attrib;
    // The first strip vertex is P - sR with R = (1, 0, 0) for this camera.
    const auto v = Only("glVertex3f");
    ASSERT_EQ(v.size(), 4u);
    EXPECT_NEAR(v[0].args[0], -c.half, 1e-6) << (int)c.attrib;
  }
}

TEST_F(ParticleTest, CameraAlongYDrawsNothing) {
  t.AddObject();
  Emitter(5, 1, 0.5f);
  ParticlesCreate(&t.scene, 10);
  CameraEye = {0, 10, 0};  // straight along y
  DrawParticles(&t.scene, 0);
  EXPECT_EQ(Live(), 0);
  EXPECT_EQ(Count("glBegin"), 0u);
  EXPECT_EQ(Only("glDepthMask").back().args[0], GL_TRUE);
  DrawFlares(&t.scene, 0);
  EXPECT_EQ(Count("glBegin"), 0u);
}

TEST_F(ParticleTest, FlaresAreFacingQuadsInTheirSampledColour) {
  t.materials.push_back(TestScene::Material());
  t.materials[1].flaresize = 3;
  t.materials[1].texture = 66;
  t.AddObject();
  t.AddObject();
  t.objects[1].material = 1;
  t.objects[1].pivot = {1, 2, 3};
  t.objects[1].samplecolor = {0.5f, 0.25f, 0};
  t.Sync();
  DrawFlares(&t.scene, 0);
  EXPECT_EQ(Count("glBegin"), 1u);
  EXPECT_GE(Find("glBindTexture", {GL_TEXTURE_2D, 66}), 0);
  EXPECT_GE(Find("glColor3f", {0.5, 0.25, 0}), 0);
  EXPECT_GE(Find("glVertex3f", {-2, 2, 3}), 0);  // P - sR
  EXPECT_GE(Find("glVertex3f", {1, 5, 3}), 0);   // P + sU
}

TEST_F(ParticleTest, ObjectsByName) {
  t.AddObject();
  t.AddObject();
  t.AddObject();
  t.objects[0].name = "rock";
  t.objects[1].name = "tree";
  t.objects[2].name = "rock";
  t.Sync();
  EXPECT_EQ(FindObject(&t.scene, "rock"), 2);
  EXPECT_EQ(FindObject(&t.scene, "tree"), 1);
  EXPECT_EQ(FindObject(&t.scene, "Rock"), 65535);
  HideObject(&t.scene, "rock");
  EXPECT_FALSE(t.objects[0].visible);
  EXPECT_TRUE(t.objects[1].visible);
  EXPECT_FALSE(t.objects[2].visible);
  ShowObject(&t.scene, "rock");
  EXPECT_TRUE(t.objects[0].visible && t.objects[2].visible);
}

TEST_F(ParticleTest, RandomDrawIsBelowItsBound) {
  RandomReset();
  EXPECT_EQ(ParticleRandom(0), 0);
  for (int i = 0; i < 1000; i++) {
    const int64_t r = ParticleRandom(7);
    EXPECT_GE(r, 0);
    EXPECT_LT(r, 7);
  }
}

TEST_F(ParticleTest, FramebufferAndGlowTextures) {
  FramebufferTexturesCreate();
  EXPECT_EQ(Count("glTexImage2D"), 8u);
  EXPECT_GE(Find("glTexImage2D", {GL_TEXTURE_2D, 0, 4, 800, 600, 0, GL_RGBA, GL_UNSIGNED_BYTE}), 0);
  for (int32_t i = 0; i < 8; i++) EXPECT_NE(FramebufferTexture[i], 0);
  CopyFramebuffer(3);
  EXPECT_GE(Find("glBindTexture", {GL_TEXTURE_2D, (double)FramebufferTexture[3]}), 0);
  EXPECT_GE(Find("glCopyTexImage2D", {GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, 800, 600, 0}), 0);
  CopyDepthToTexture(1);
  EXPECT_GE(Find("glCopyTexImage2D", {GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, 0, 0, 512, 512, 0}), 0);
  rtest::Calls().clear();
  CopyFramebuffer(8);
  EXPECT_EQ(Count("glCopyTexImage2D"), 0u);
  GlowTextureCreate();
  EXPECT_GE(Find("glTexImage2D", {GL_TEXTURE_2D, 0, 4, 8, 8, 0, GL_RGBA}), 0);
  CopyGlow();
  EXPECT_GE(Find("glCopyTexImage2D", {GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, 8, 8, 0}), 0);
  ClearBuffers();
  EXPECT_GE(Find("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}), 0);
  EXPECT_GE(Find("glClear", {GL_STENCIL_BUFFER_BIT}), 0);
  for (int32_t &id : FramebufferTexture) id = 0;
  GlowTexture = 0;
}

TEST_F(ParticleTest, MirroredRenderDrawsTheSceneTwiceAndTheMirrorOnce) {
  t.AddObject(1, 0, 10);
  t.AddObject(1, 0, 20);
  t.AddObject(1, 0, 30);
  t.Sync();
  RenderMirrored(&t.scene, 1, 5, 1, 1, -1, 0.5f);
  std::vector<double> buffers;
  for (const auto &c : rtest::Calls())
    if (c.name == "glBindBufferARB" && c.args[0] == GL_ELEMENT_ARRAY_BUFFER_ARB && c.args[1] != 0)
      buffers.push_back(c.args[1]);
  EXPECT_EQ(buffers, (std::vector<double>{13, 33, 23, 13, 33}));
  EXPECT_EQ(Count("glScalef"), 3u + 5 * 2);  // camera, the two mirror scales, two per object drawn
  EXPECT_GE(Find("glScalef", {1, 1, -1}), 0);
  EXPECT_EQ(MirrorTint.x, 1.0f);
}

}  // namespace
