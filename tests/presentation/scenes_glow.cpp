// Screen copy and glow passes through a recording GL table: the texture's creation,
// the copy rectangle for several window shapes, and the order and times of copies and
// blurs in the two glow sequences.
#include <gtest/gtest.h>

#include "presentation/glow.h"
#include "presentation/scene_metaballs.h"
#include "presentation/scenes.h"
#include "presentation/show.h"
#include "presentation/tempo.h"
#include "tests/presentation/scenes_recorder.h"

namespace {

using namespace sctest;

TEST(ScenesGlow, ScreenTexCreateMakesAClampedNearestTextureOfTheLetterboxWidth) {
  Install();
  ScreenWidth = 1024;
  ScreenHeight = 576;
  LetterboxHeight = 0;  // start-up: the first frame computes it
  ScreenTexCreate();
  EXPECT_EQ(ScreenTexture, (int32_t)kGeneratedTexture);
  const std::vector<Call> &c = Calls();
  ASSERT_EQ(c.size(), 8u);
  EXPECT_EQ(c[0].op, kEnable);
  EXPECT_EQ(c[0].a[0], GL_TEXTURE_2D);
  EXPECT_EQ(c[1].op, kGenTextures);
  EXPECT_EQ(c[2].op, kBindTexture);
  EXPECT_EQ(c[2].a[1], kGeneratedTexture);
  const double params[4][2] = {{GL_TEXTURE_MIN_FILTER, GL_NEAREST},
                               {GL_TEXTURE_MAG_FILTER, GL_NEAREST},
                               {GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE},
                               {GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE}};
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(c[3 + i].op, kTexParameteri);
    EXPECT_EQ(c[3 + i].a[1], params[i][0]);
    EXPECT_EQ(c[3 + i].a[2], params[i][1]);
  }
  const double image[8] = {GL_TEXTURE_2D, 0, 4, 1024, 0, 0, GL_RGBA, GL_UNSIGNED_BYTE};
  ASSERT_EQ(c[7].op, kTexImage2D);
  for (int i = 0; i < 8; i++) EXPECT_EQ(c[7].a[i], image[i]) << i;

  // Created later with a known letterbox, the texture takes its full size.
  Install();
  LetterboxHeight = 576;
  ScreenTexCreate();
  ASSERT_EQ(Count(kTexImage2D), 1u);
  EXPECT_EQ(Only(kTexImage2D)[0].a[4], 576);
}

TEST(ScenesGlow, ScreenCopyTakesExactlyTheLetterbox) {
  struct Case {
    int32_t width, height, x, y, w, h;
  };
  const Case cases[] = {
      {800, 600, 0, 75, 800, 450},
      {1024, 576, 0, 0, 1024, 576},
      {1920, 1080, 0, 0, 1920, 1080},
      {2560, 1080, 0, -180, 2560, 1440},  // wider than 16:9: the box runs past the window
      {1280, 1024, 0, 152, 1280, 720},
  };
  ScreenTexture = 5;
  for (const Case &k : cases) {
    Install();
    ScreenWidth = k.width;
    ScreenHeight = k.height;
    LetterboxHeight = LetterboxHeightFor(k.width);
    ScreenCopy();
    const std::vector<Call> &c = Calls();
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0].op, kEnable);
    EXPECT_EQ(c[0].a[0], GL_TEXTURE_2D);
    EXPECT_EQ(c[1].op, kBindTexture);
    EXPECT_EQ(c[1].a[1], 5);
    const double copy[8] = {GL_TEXTURE_2D, 0, GL_RGBA, (double)k.x, (double)k.y, (double)k.w, (double)k.h, 0};
    ASSERT_EQ(c[2].op, kCopyTexImage2D);
    for (int i = 0; i < 8; i++) EXPECT_EQ(c[2].a[i], copy[i]) << k.width << "x" << k.height << " arg " << i;
  }
}

TEST(ScenesGlow, GlowPassesCopyAndBlurInTheirOrderAtTheEffectsEnd) {
  ScreenTexture = 9;
  ScreenWidth = 800;
  ScreenHeight = 600;
  LetterboxHeight = 450;
  ProbeBlurs blurs(ScreenTexture);

  Install();
  GlowPass();
  const std::vector<GlowStep> single = {{'C', 0}, {'V', 1000}, {'C', 0}, {'H', 1000}};
  EXPECT_EQ(GlowSteps(), single);

  Install();
  DoubleGlowPass();
  const std::vector<GlowStep> twice = {{'C', 0}, {'V', 1000}, {'H', 1000}, {'C', 0}, {'V', 1000}, {'H', 1000}};
  EXPECT_EQ(GlowSteps(), twice);
  // Every blur layer samples the one screen texture.
  for (const Call &c : Only(kBindTexture)) EXPECT_EQ(c.a[1], 9);
}

// The main program's start-up hooks: the copy becomes the effects' "BUF0.JPG", the
// metaball grid lies over the field the main program allocated.
TEST(ScenesGlow, StartUpHooksPublishTheCopyAndTheGrid) {
  Install();
  ScreenWidth = 800;
  ScreenHeight = 600;
  LetterboxHeight = 0;
  IfeBufTextures[0] = 0;
  ScenesCreateScreenTexture();
  EXPECT_EQ(IfeBufTextures[0], (int32_t)kGeneratedTexture);
  EXPECT_EQ(ScreenTexture, (int32_t)kGeneratedTexture);
  std::vector<float> field(32768);
  ScenesInitMetaGrid(field.data());
  ASSERT_NE(MetaGrid, nullptr);
  EXPECT_EQ(MetaGrid->field, field.data());
  EXPECT_EQ(MetaGrid->n, 32);
  MetaGrid = nullptr;
}

}  // namespace
