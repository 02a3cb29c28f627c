// Wave field through a recording GL table: heights against their formula, the three
// lines and the whisker tip of every node, and the doubled glow at the end.
#include <gtest/gtest.h>

#include <cmath>

#include "presentation/glow.h"
#include "presentation/scene_wave.h"
#include "presentation/show.h"
#include "tests/presentation/scenes_recorder.h"

namespace {

using namespace sctest;

TEST(ScenesWave, HeightsFollowTheFormulaAndVanishOnTheFirstRowAndColumn) {
  for (int32_t t : {71100, 75000, 81764}) {
    WaveHeightsFill(t);
    for (int n = 0; n < 64; n++) {
      EXPECT_EQ(WaveHeights[0][n], 0.0f);
      EXPECT_EQ(WaveHeights[n][0], 0.0f);
    }
    for (auto [i, j] : {std::pair{1, 1}, std::pair{63, 63}, std::pair{17, 40}}) {
      const double h = (2 * std::sin(t / 400.0 + i / 10.0) + 2 * std::cos(t / 300.0 + j / 10.0)) * 2 *
                       std::sin(i * j / 200.0);
      EXPECT_EQ(WaveHeights[i][j], (float)h) << t << " " << i << "," << j;
    }
  }
}

TEST(ScenesWave, EveryNodeDrawsThreeLinesAndItsCirclingTip) {
  ScreenTexture = 6;
  ScreenWidth = 800;
  ScreenHeight = 600;
  LetterboxHeight = 450;
  ProbeBlurs blurs(ScreenTexture);
  const int32_t t = 76543;
  Install();
  SegmentTime = t;
  WaveFieldScene();
  EXPECT_FLOAT_EQ((float)Only(kRotatef)[0].a[0], (float)(t / 50.0));
  EXPECT_EQ(Only(kLookAt)[0].a[0], 10);
  std::vector<Call> begins = Only(kBegin);
  ASSERT_GE(begins.size(), 2u);
  EXPECT_EQ(begins[0].a[0], GL_LINES);
  EXPECT_EQ(begins[1].a[0], GL_POINTS);
  const size_t lines = Find(kBegin), linesEnd = Find(kEnd), points = Find(kBegin, linesEnd), pointsEnd = Find(kEnd, points);
  std::vector<Call> lv, pv;
  for (size_t i = lines; i < linesEnd; i++)
    if (Calls()[i].op == kVertex3f) lv.push_back(Calls()[i]);
  for (size_t i = points; i < pointsEnd; i++)
    if (Calls()[i].op == kVertex3f) pv.push_back(Calls()[i]);
  ASSERT_EQ(lv.size(), 63u * 63 * 6);
  ASSERT_EQ(pv.size(), 63u * 63);
  const Call colour = Calls()[Find(kColor3f, linesEnd)];
  EXPECT_EQ((float)colour.a[2], 1.0f);

  WaveHeightsFill(t);
  const float ox = (float)std::cos(t / 500.0), oy = (float)std::sin(t / 500.0);
  for (auto [i, j] : {std::pair{0, 0}, std::pair{62, 62}, std::pair{5, 33}}) {
    const Call *c = &lv[(size_t)(j * 63 + i) * 6];
    const float p[3] = {(float)(i - 32), (float)(j - 32), WaveHeights[i][j]};
    const float right[3] = {(float)(i + 1 - 32), (float)(j - 32), WaveHeights[i + 1][j]};
    const float up[3] = {(float)(i - 32), (float)(j + 1 - 32), WaveHeights[i][j + 1]};
    const float tip[3] = {(float)(std::cos(t / 500.0) + (i - 31)), (float)(std::sin(t / 500.0) + (j - 32)),
                          WaveHeights[i + 1][j] + 2.0f};
    const float *expected[6] = {p, right, right, tip, p, up};
    for (int k = 0; k < 6; k++)
      for (int a = 0; a < 3; a++) EXPECT_EQ((float)c[k].a[a], expected[k][a]) << i << "," << j << " " << k;
    for (int a = 0; a < 3; a++) EXPECT_EQ((float)pv[(size_t)(j * 63 + i)].a[a], tip[a]);
    // The tip sits at the shared offset from its base node p(i+1, j), 2 above it.
    EXPECT_NEAR(tip[0] - right[0], ox, 1e-5);
    EXPECT_NEAR(tip[1] - right[1], oy, 1e-5);
  }
  const std::vector<GlowStep> glow = {{'C', 0}, {'V', 1000}, {'H', 1000}, {'C', 0}, {'V', 1000}, {'H', 1000}};
  EXPECT_EQ(GlowSteps(pointsEnd), glow);
}

}  // namespace
