// Kaleidoscope and credits through a recording GL table: the effects and copies in
// their order with their parameters, and the eightfold fold between them.
#include <gtest/gtest.h>

#include "presentation/glow.h"
#include "presentation/scene_kaleido.h"
#include "presentation/show.h"
#include "tests/presentation/scenes2_recorder.h"

namespace {

using namespace s2test;

class ScenesKaleido : public ::testing::Test {
 protected:
  void SetUp() override {
    ScreenTexture = 8;
    ScreenWidth = 1024;
    ScreenHeight = 576;
    LetterboxHeight = 576;
    Beat = 0.0f;
  }
  void Draw(int32_t t, float beat) {
    Install();
    SegmentTime = t;
    Beat = beat;
    KaleidoscopeScene();
  }
};

TEST_F(ScenesKaleido, EffectsAndCopiesRunInTheirOrder) {
  ProbeEffects probes(ScreenTexture);
  const int32_t t = kKaleidoscopeStart + 5000;
  Draw(t, 0.25f);
  const size_t fold = Find(kBegin, GL_TRIANGLES, 0);
  ASSERT_LT(fold, Calls().size());
  const std::vector<Step> before = {{kProbeRotateBkg, (double)(t / 4 % 1000)}, {0, 0}, {kProbeFeedback, 1000}, {0, 0}};
  EXPECT_EQ(Steps(0, fold), before);
  const std::vector<Step> after = {{0, 0}, {kProbeVBlur, 1000}, {0, 0}, {kProbeHBlur, 1000}, {kProbeFadeout, 375},
                                   {kProbeCredits, (float)(5000 / 21.3)}};
  EXPECT_EQ(Steps(fold), after);

  // The second copy is cleared away before the fold; the fold reads it with the copy's
  // texture still bound and sets no blending of its own.
  const size_t secondCopy = Find(kCopyTexImage2D, Find(kCopyTexImage2D) + 1);
  const size_t clear = Find(kClear, secondCopy);
  ASSERT_LT(clear, fold);
  EXPECT_EQ(Calls()[clear].a[0], GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  EXPECT_EQ(Count(kBindTexture, secondCopy + 1, fold), 0u);
  EXPECT_EQ(Count(kBlendFunc, secondCopy, Find(kEnd, fold)), 0u);
  EXPECT_LT(Find(kEnable, GL_TEXTURE_2D, clear), fold);
  EXPECT_EQ(Count(kLoadIdentity, clear, fold), 3u);
  const std::vector<Call> colour = Only(kColor3f, clear, fold);
  ASSERT_EQ(colour.size(), 1u);
  EXPECT_EQ(std::vector<double>(colour[0].a, colour[0].a + 3), (std::vector<double>{1, 1, 1}));
}

TEST_F(ScenesKaleido, TheFoldMapsOneWedgeOfTheCopyOntoEightTriangles) {
  Draw(kKaleidoscopeStart, 0.0f);
  const size_t fold = Find(kBegin, GL_TRIANGLES, 0), end = Find(kEnd, fold);
  ASSERT_LT(end, Calls().size());
  const std::vector<Call> v = Only(kVertex2f, fold, end), tex = Only(kTexCoord2f, fold, end);
  ASSERT_EQ(v.size(), 24u);
  ASSERT_EQ(tex.size(), 24u);
  const double corners[8][2][2] = {{{-1, 1}, {0, 1}},  {{1, 1}, {0, 1}},  {{-1, -1}, {0, -1}}, {{1, -1}, {0, -1}},
                                   {{-1, 1}, {-1, 0}}, {{-1, -1}, {-1, 0}}, {{1, 1}, {1, 0}},  {{1, -1}, {1, 0}}};
  const double wedge[3][2] = {{0, 0}, {0.5, 0}, {0.5, 0.5}};
  double area = 0;
  for (int n = 0; n < 8; n++) {
    const double p[3][2] = {{corners[n][0][0], corners[n][0][1]}, {corners[n][1][0], corners[n][1][1]}, {0, 0}};
    for (int c = 0; c < 3; c++) {
      EXPECT_EQ(v[3 * n + c].a[0], p[c][0]) << "triangle " << n + 1;
      EXPECT_EQ(v[3 * n + c].a[1], p[c][1]) << "triangle " << n + 1;
      EXPECT_EQ(tex[3 * n + c].a[0], wedge[c][0]);
      EXPECT_EQ(tex[3 * n + c].a[1], wedge[c][1]);
    }
    area += std::abs((p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) - (p[2][0] - p[0][0]) * (p[1][1] - p[0][1])) / 2;
  }
  EXPECT_EQ(area, 4.0) << "the triangles tile the whole viewport";
}

TEST_F(ScenesKaleido, ParametersFollowTimeAndBeat) {
  EXPECT_EQ(KaleidoBackgroundTime(kKaleidoscopeStart), 995.0f);  // not 0 at the start
  EXPECT_EQ(KaleidoBackgroundTime(kKaleidoscopeStart + 4020), 0.0f);
  EXPECT_EQ(KaleidoBackgroundTime(kKaleidoscopeStart + 4019), 999.0f);
  EXPECT_EQ(KaleidoFadeTime(0.0f), 500.0f);
  EXPECT_EQ(KaleidoFadeTime(1.0f), 0.0f);
  EXPECT_EQ(KaleidoFadeTime(0.5f), 250.0f);
  EXPECT_EQ(KaleidoCreditsTime(kKaleidoscopeStart), 0.0f);
  EXPECT_EQ(KaleidoCreditsTime(kKaleidoscopeStart + 21300), 1000.0f);
  EXPECT_LT(KaleidoCreditsTime(kKaleidoscopeStart + 21299), 1000.0f);
  EXPECT_NEAR(KaleidoCreditsTime(149309), 1001.36, 0.01);  // the last millisecond of pattern 46
}

}  // namespace
