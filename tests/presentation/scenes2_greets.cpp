// Greetings tunnel through a recording GL table: camera and extra turn, every vertex
// and strip of the 768 quads against the formulas, the anisotropy query, the glow.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "presentation/gl.h"
#include "presentation/glow.h"
#include "presentation/procedural.h"
#include "presentation/scene_greets.h"
#include "presentation/show.h"
#include "tests/presentation/scenes2_recorder.h"

namespace {

using namespace s2test;

constexpr size_t kQuads = 24 * 8 * 4;

class ScenesGreets : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int32_t n = 0; n < 24; n++) RandomVectors[n] = {(n * 83 % 2000 - 1000) / 1000.0f, 0.5f, -0.5f};
    SpriteTexture = 5;
    GreetTexture = 7;
    ScreenTexture = 8;
    ScreenWidth = 1024;
    ScreenHeight = 576;
    LetterboxHeight = 576;
    GLHasAnisotropicFilter = true;
  }
  void TearDown() override { GLHasAnisotropicFilter = false; }
  void Draw(int32_t t, float beat) {
    Install();
    SegmentTime = kGreetsStart + t;
    Beat = beat;
    GreetsScene();
    begin = Find(kBegin);
    end = Find(kEnd);
    ASSERT_LT(end, Calls().size());
    vertices = Only(kVertex3f, begin, end);
    tex = Only(kTexCoord2f, begin, end);
    colours = Only(kColor3f, begin, end);
    ASSERT_EQ(vertices.size(), 4 * kQuads);
    ASSERT_EQ(tex.size(), 4 * kQuads);
    ASSERT_EQ(colours.size(), kQuads);
  }
  // Strip K of quad q of segment j of ring i, read back from its first texture v.
  int Strip(int i, int j, int q) const {
    return (int)std::lround((1.0 - tex[4 * (32 * i + 4 * j + q)].a[1]) / kGreetStripHeight);
  }

  size_t begin = 0, end = 0;
  std::vector<Call> vertices, tex, colours;
};

TEST_F(ScenesGreets, CameraSwaysAndTheTunnelTurnsAtFourPatternStarts) {
  Draw(5000, 0.0f);
  const std::vector<Call> perspective = Only(kPerspective), lookAt = Only(kLookAt), rotate = Only(kRotatef);
  ASSERT_EQ(perspective.size(), 1u);
  EXPECT_EQ(perspective[0].a[0], 45);
  EXPECT_DOUBLE_EQ(perspective[0].a[1], 16.0 / 9.0);
  EXPECT_EQ(perspective[0].a[2], 0.1) << "this scene's near plane";
  EXPECT_EQ(perspective[0].a[3], 10000);
  ASSERT_EQ(lookAt.size(), 1u);
  const double eye[9] = {20 * std::sin(0.5), 10 * std::cos(5000 / 3000.0), 25, 0, 0, -100, 0, 1, 0};
  for (int n = 0; n < 9; n++) EXPECT_DOUBLE_EQ(lookAt[0].a[n], eye[n]) << n;
  ASSERT_EQ(rotate.size(), 1u);
  EXPECT_EQ(std::vector<double>(rotate[0].a, rotate[0].a + 4), (std::vector<double>{0, 1, 1, 0}));

  // 0 until pattern 49, then 360 more after each of patterns 49, 51, 53 and 54 begins.
  const struct {
    int32_t t;
    float turn;
  } turns[] = {{156419, 0}, {156420, 0}, {156420 + 1777, 360}, {163529, 360}, {163530 + 1777, 720},
               {170640 + 1777, 1080}, {174195 + 1777, 1440}, {177749, 1440}};
  for (const auto &c : turns) EXPECT_EQ(GreetsExtraTurn(c.t), c.turn) << c.t;
  EXPECT_GT(GreetsExtraTurn(156420 + 888), 300.0f);
  EXPECT_LT(GreetsExtraTurn(156420 + 888), 320.0f);
}

TEST_F(ScenesGreets, EveryQuadFollowsTheRingFormulas) {
  const int32_t t = 7000;
  const float beat = 0.5f;
  Draw(t, beat);
  const double pi = std::numbers::pi, c = 21.0 / 512.0;
  const float zs = (float)(t / 16.5);
  const double radius[4] = {40, 40, 1, 2}, offset[4] = {180, 202, 202, 202};
  const int stripShift[4] = {0, 4, 0, 0};
  const float colour[4][3] = {{0.3f, 0.3f, 0.6f}, {0.1f, 0.1f, 0.2f}, {0.5f, 0.5f, 1}, {0.5f, 0.5f, 1}};
  for (int i = 0; i < 24; i++) {
    const double r = (float)(t * (double)RandomVectors[i].x / 1000);
    const double z[2] = {(float)(zs - 70.0 * i), (float)(zs - 70.0 * i - 70)};
    for (int j = 0; j < 8; j++) {
      const int n = i + j;
      for (int q = 0; q < 4; q++) {
        const size_t at = 4 * (32 * i + 4 * j + q);
        const int K = (n + stripShift[q]) % 24;
        for (int ch = 0; ch < 3; ch++) ASSERT_FLOAT_EQ((float)colours[at / 4].a[ch], colour[q][ch]);
        // Corners: (a(n), front), (a(n + 1), front), (a(n + 1), back), (a(n), back).
        const int m[4] = {n, n + 1, n + 1, n}, side[4] = {0, 0, 1, 1};
        const double u[4] = {0, 0, 1, 1}, v[4] = {1 - K * c, 1 - (K + 1) * c, 1 - (K + 1) * c, 1 - K * c};
        for (int k = 0; k < 4; k++) {
          const double a = (45.0 * m[k] + offset[q]) * pi / 180 + r;
          ASSERT_NEAR(vertices[at + k].a[0], radius[q] * std::sin(a), 1e-5) << i << " " << j << " " << q;
          ASSERT_NEAR(vertices[at + k].a[1], radius[q] * std::cos(a), 1e-5) << i << " " << j << " " << q;
          ASSERT_EQ(vertices[at + k].a[2], z[side[k]]);
          ASSERT_EQ(tex[at + k].a[0], u[k]);
          ASSERT_EQ(tex[at + k].a[1], (float)v[k]);
        }
      }
    }
  }
}

TEST_F(ScenesGreets, StripsRunInHelicesAndTheSecondSkinIsFourStripsOn) {
  Draw(0, 1.0f);
  // At t = 0 ring 0 begins at z = 0 with no turn: its first corner is straight below the axis.
  EXPECT_NEAR(vertices[0].a[0], 0.0, 1e-5);
  EXPECT_NEAR(vertices[0].a[1], -40.0, 1e-5);
  EXPECT_EQ(vertices[0].a[2], 0.0);
  EXPECT_EQ(vertices[2].a[2], -70.0);
  for (int i = 0; i < 23; i++)
    for (int j = 1; j < 8; j++) EXPECT_EQ(Strip(i, j, 0), Strip(i + 1, j - 1, 0)) << i << " " << j;
  for (int i = 0; i < 24; i++)
    for (int j = 0; j < 8; j++) {
      EXPECT_EQ(Strip(i, j, 0), (i + j) % 24);
      EXPECT_EQ(Strip(i, j, 1), (Strip(i, j, 0) + 4) % 24);
    }
  // The main skin at full beat.
  EXPECT_FLOAT_EQ((float)colours[0].a[0], 0.4f);
  EXPECT_FLOAT_EQ((float)colours[0].a[1], 0.4f);
  EXPECT_FLOAT_EQ((float)colours[0].a[2], 0.8f);
}

TEST_F(ScenesGreets, GreetingsAreSampledWithTheLargestAnisotropyThenGlow) {
  ProbeEffects probes(ScreenTexture);
  Rec().maxAnisotropy = 16.0f;
  Draw(1000, 0.0f);
  const size_t greetBind = Find(kBindTexture, GL_TEXTURE_2D, Find(kBindTexture, GL_TEXTURE_2D, 0) + 1);
  ASSERT_LT(greetBind, begin);
  EXPECT_EQ(Calls()[greetBind - 2].a[1], SpriteTexture);
  EXPECT_EQ(Calls()[greetBind].a[1], GreetTexture);
  const size_t query = Find(kGetFloatv, greetBind), set = Find(kTexParameterf, greetBind);
  ASSERT_LT(query, set);
  ASSERT_LT(set, begin);
  EXPECT_EQ(Calls()[query].a[0], GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT);
  EXPECT_EQ(std::vector<double>(Calls()[set].a, Calls()[set].a + 3),
            (std::vector<double>{GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 16}));
  // Blending and depth testing are whatever the last frame left.
  EXPECT_EQ(Count(kBlendFunc, 0, end), 0u);
  for (Op op : {kEnable, kDisable}) {
    EXPECT_GT(Find(op, GL_BLEND, 0), end);
    EXPECT_GT(Find(op, GL_DEPTH_TEST, 0), end);
  }
  const std::vector<Step> glow = {{0, 0}, {kProbeVBlur, 1000}, {0, 0}, {kProbeHBlur, 1000}};
  EXPECT_EQ(Steps(end), glow);

  // Without the extension, or on a software rasterizer, neither call is made.
  const struct {
    bool extension;
    const char *renderer;
  } skipped[] = {{false, "Test Renderer"}, {true, "llvmpipe (LLVM 15.0.7, 256 bits)"}, {true, "softpipe"},
                 {true, "Software Rasterizer (swrast)"}};
  for (const auto &c : skipped) {
    GLHasAnisotropicFilter = c.extension;
    Rec().renderer = c.renderer;
    Draw(1000, 0.0f);
    EXPECT_EQ(Count(kGetFloatv), 0u) << c.renderer;
    EXPECT_EQ(Count(kTexParameterf), 0u) << c.renderer;
    EXPECT_EQ(vertices.size(), 4 * kQuads);
  }
  Rec().renderer = "Test Renderer";
  EXPECT_TRUE(GreetsWantAnisotropy(true, nullptr));
  EXPECT_FALSE(GreetsWantAnisotropy(false, nullptr));
}

}  // namespace
