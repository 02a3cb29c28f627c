// Cube cloud through a recording GL table: at pattern 28's start the cubes tile the
// box, later each moves 16 d / 10000 along its direction once its delay has passed,
// and the glow follows. The frame comes from a client array: it must record exactly
// the calls and values of the scene sent one vertex at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>

#include "presentation/glow.h"
#include "presentation/procedural.h"
#include "presentation/scene_cubes.h"
#include "presentation/show.h"
#include "tests/presentation/scenes_immediate.h"
#include "tests/presentation/scenes_recorder.h"

namespace {

using namespace sctest;

class ScenesCubes : public ::testing::Test {
 protected:
  void SetUp() override {
    // A fixed permutation of 0..32767 and length-16 directions.
    for (int32_t n = 0; n < 32768; n++) ShuffledIndices[n] = (n * 7919) % 32768;
    uint32_t state = 3;
    for (int32_t n = 0; n < 32768; n++) {
      double a = NextRandom(state) % 3600 / 10.0, b = NextRandom(state) % 3600 / 10.0;
      RotatePoint(&RandomDirections[n].x, &RandomDirections[n].y, &RandomDirections[n].z, 16, 0, 0, (float)a,
                  (float)b);
    }
    ScreenTexture = 8;
    ScreenWidth = 1024;
    ScreenHeight = 576;
    LetterboxHeight = 576;
  }
  // The frame's line vertices.
  std::vector<Call> Draw(int32_t t) {
    Install();
    SegmentTime = t;
    CubeCloudScene();
    std::vector<Call> v;
    const size_t begin = Find(kBegin), end = Find(kEnd);
    for (size_t i = begin; i < end; i++)
      if (Calls()[i].op == kVertex3f) v.push_back(Calls()[i]);
    return v;
  }
};

TEST_F(ScenesCubes, AtTheStartTheCubesTileTheBox) {
  ProbeBlurs blurs(ScreenTexture);
  std::vector<Call> v = Draw(kCubeCloudStart);
  ASSERT_EQ(v.size(), 786432u);
  EXPECT_FLOAT_EQ((float)Only(kRotatef)[0].a[0], (float)(-kCubeCloudStart / 50.0));
  EXPECT_EQ(Only(kLookAt)[0].a[0], 52);
  const float edges[12][2][3] = {
      {{0, 0, 0}, {1, 0, 0}}, {{0, 0, 0}, {0, 1, 0}}, {{1, 0, 0}, {1, 1, 0}}, {{1, 1, 0}, {0, 1, 0}},
      {{0, 0, 1}, {1, 0, 1}}, {{0, 0, 1}, {0, 1, 1}}, {{1, 0, 1}, {1, 1, 1}}, {{1, 1, 1}, {0, 1, 1}},
      {{0, 0, 0}, {0, 0, 1}}, {{1, 0, 0}, {1, 0, 1}}, {{1, 1, 0}, {1, 1, 1}}, {{0, 1, 0}, {0, 1, 1}},
  };
  for (int32_t n = 0; n < 32768; n++) {
    const int i = n % 32, j = n / 32 % 32, k = n / 1024;
    for (int e = 0; e < 24; e++) {
      const Call &c = v[(size_t)n * 24 + e];
      const float *o = edges[e / 2][e % 2];
      ASSERT_EQ(c.a[0], i - 16 + o[0]) << n;
      ASSERT_EQ(c.a[1], j - 16 + o[1]) << n;
      ASSERT_EQ(c.a[2], k - 16 + o[2]) << n;
    }
  }
  const std::vector<GlowStep> glow = {{'C', 0}, {'V', 1000}, {'C', 0}, {'H', 1000}};
  EXPECT_EQ(GlowSteps(Find(kEnd)), glow);
}

TEST_F(ScenesCubes, EachCubeLeavesAfterItsDelayAtConstantSpeed) {
  const int32_t t = kCubeCloudStart + 1000;  // d = 5000 - delay
  std::vector<Call> v = Draw(t);
  size_t moving = 0;
  for (int32_t n = 0; n < 32768; n++) {
    const int i = n % 32, j = n / 32 % 32, k = n / 1024;
    const Call &c = v[(size_t)n * 24];
    const double dx = c.a[0] - (i - 16), dy = c.a[1] - (j - 16), dz = c.a[2] - (k - 16);
    const double moved = std::sqrt(dx * dx + dy * dy + dz * dz);
    const int32_t d = std::max(0, 5000 - ShuffledIndices[n]);
    EXPECT_NEAR(moved, 16.0 * d / 10000.0, 1e-4) << n;
    moving += d > 0;
    if (d > 0) {
      // Along the direction, its y and z exchanged.
      const TVector &D = RandomDirections[n];
      EXPECT_NEAR(dx / moved, D.x / 16.0, 1e-3);
      EXPECT_NEAR(dy / moved, D.z / 16.0, 1e-3);
      EXPECT_NEAR(dz / moved, D.y / 16.0, 1e-3);
    }
    float p[3];
    CubeCorner(i, j, k, t, p);
    ASSERT_EQ((float)c.a[0], p[0]);
  }
  EXPECT_EQ(moving, 5000u);  // delays 0..4999 have passed
  // All are moving 32768 / 5 ms in.
  v = Draw(kCubeCloudStart + 6554);
  for (int32_t n = 0; n < 32768; n++) {
    if (ShuffledIndices[n] == 32767) {
      EXPECT_NE(v[(size_t)n * 24].a[0], n % 32 - 16);
    }
  }
}

TEST_F(ScenesCubes, TheArrayDrawSendsExactlyWhatOneCallPerVertexSent) {
  ProbeBlurs blurs(ScreenTexture);
  // The start, moving cubes, every cube moving, the last millisecond of pattern 31.
  std::vector<Call> reference;
  for (int32_t t : {(int32_t)kCubeCloudStart, kCubeCloudStart + 1000, kCubeCloudStart + 3333, kCubeCloudStart + 7000,
                    27 * 3555 - 1}) {
    Install();
    SegmentTime = t;
    immediate::CubeCloudScene();
    reference.swap(Calls());
    Install();
    CubeCloudScene();
    EXPECT_FALSE(scarrays::Arrays().unsupported);
    EXPECT_EQ(scarrays::Arrays().draws, 1) << t;
    ASSERT_GT(scarrays::Colourless(reference, kColor3f), 786432u);
    EXPECT_EQ(scarrays::Differences(Calls(), reference, kColor3f, kBegin), std::vector<size_t>{}) << t;
  }
}

}  // namespace
