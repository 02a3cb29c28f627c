// Line tunnel through a recording GL table: the eased turn and the depth wrap at
// their edges, the camera and rotation around the extra turn of pattern 13, and the
// rings and streams vertex by vertex against their formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "presentation/procedural.h"
#include "presentation/scene_tunnel.h"
#include "presentation/show.h"
#include "tests/presentation/scenes_recorder.h"

namespace {

using namespace sctest;
constexpr double kPi = std::numbers::pi;

TEST(ScenesTunnel, EaseOutTurnAndWrapAtTheirEdges) {
  const float ease[][4] = {
      // t, start, length, degrees
      {0, 28440, 1777, 0},          {28440, 28440, 1777, 0},  {28440 + 1777, 28440, 1777, 360},
      {29328.5f, 28440, 1777, 315}, {50000, 28440, 1777, 360}, {100, 0, 200, 315},
  };
  for (const auto &e : ease) EXPECT_FLOAT_EQ(EaseOutTurn(e[0], e[1], e[2]), e[3]) << e[0];
  // The ease only ever grows: the turn never jerks back.
  float last = 0;
  for (float t = 28400; t < 30300; t += 1.5f) {
    float v = EaseOutTurn(t, 28440, 1777);
    EXPECT_GE(v, last);
    last = v;
  }

  const float wrap[][2] = {{9999.5f, 9999.5f},   {10000, -10000},     {10000.25f, -9999.75f}, {30000, -10000},
                           {4220, 4220},         {-10000, -10000},    {29999.5f, 9999.5f},    {50123.75f, -9876.25f}};
  for (const auto &w : wrap) EXPECT_EQ(TunnelWrap(w[0]), w[1]) << w[0];
  // z + 10000 is a single-precision sum here: 8398001.5 rounds to 8398002.
  EXPECT_EQ(TunnelWrap(8388001.5f), 8002.5f);
  for (float z : {1e19f, -3e30f, INFINITY, -INFINITY}) EXPECT_EQ(TunnelWrap(z), z) << z;
  EXPECT_TRUE(std::isnan(TunnelWrap(NAN)));
}

class ScenesTunnelFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    uint32_t state = 7;
    for (int i = 0; i <= 2000; i++)
      RandomVectors[i] = {(float)((int)(NextRandom(state) % 2000) - 1000) / 1000.0f,
                          (float)((int)(NextRandom(state) % 2000) - 1000) / 1000.0f,
                          (float)((int)(NextRandom(state) % 2000) - 1000) / 1000.0f};
    SpriteTexture = 3;
  }
  void Draw(int32_t t, float beat) {
    Install();
    SegmentTime = t;
    Beat = beat;
    LineTunnelScene();
  }
};

TEST_F(ScenesTunnelFrame, CameraTurnsOnceMoreAtPattern13) {
  const int32_t times[] = {14220, 28439, 28440, 29328, 28440 + 1777, 42000};
  for (int32_t t : times) {
    Draw(t, 0);
    ASSERT_EQ(Count(kRotatef), 1u);
    Call r = Only(kRotatef)[0];
    EXPECT_FLOAT_EQ((float)r.a[0], (float)(EaseOutTurn((float)t, 28440, 1777) + t / 50.0)) << t;
    EXPECT_EQ(r.a[1], 1);
    EXPECT_EQ(r.a[2], 1);
    EXPECT_EQ(r.a[3], 1);
  }
  const Call p = Only(kPerspective)[0], l = Only(kLookAt)[0];
  EXPECT_EQ(p.a[0], 85);
  EXPECT_DOUBLE_EQ(p.a[1], 16.0 / 9.0);
  const double look[9] = {40, 0, 200, 0, 0, 0, 0, 0, 1};
  for (int i = 0; i < 9; i++) EXPECT_EQ(l.a[i], look[i]);
}

TEST_F(ScenesTunnelFrame, RingsAreBrokenArcsAtTheirWrappedDepth) {
  const int32_t t = 20000;
  Draw(t, 1.0f);
  EXPECT_EQ(Only(kLineWidth)[0].a[0], 6);  // 2 + 4 Beat
  // One line batch, then three quad batches.
  std::vector<Call> begins = Only(kBegin);
  ASSERT_EQ(begins.size(), 4u);
  EXPECT_EQ(begins[0].a[0], GL_LINES);
  for (int s = 1; s < 4; s++) EXPECT_EQ(begins[s].a[0], GL_QUADS);
  const size_t first = Find(kBegin), end = Find(kEnd);
  std::vector<Call> ring;
  for (size_t i = first; i < end; i++)
    if (Calls()[i].op == kVertex3f) ring.push_back(Calls()[i]);
  ASSERT_EQ(ring.size(), 201u * 56 * 2);

  for (int32_t j : {-100, -3, 0, 57, 100}) {
    const TVector &v = RandomVectors[j + 100];
    const double turn = (float)(t * (double)v.y / 300.0 + 2 * kPi * v.x);
    const float z = TunnelWrap((float)(t + 100 * j));
    const Call *c = &ring[(size_t)(j + 100) * 112];
    auto expect = [&](const Call &call, double degrees, double radius) {
      const double a = degrees * kPi / 180.0 + turn;
      EXPECT_EQ((float)call.a[0], (float)(radius * std::sin(a))) << j << " " << degrees;
      EXPECT_EQ((float)call.a[1], (float)(radius * std::cos(a))) << j << " " << degrees;
      EXPECT_EQ((float)call.a[2], z) << j;
    };
    for (int s = 0; s < 27; s++) {
      expect(c[4 * s], 10 * s, 300);
      expect(c[4 * s + 1], 10 * (s + 1), 300);
      expect(c[4 * s + 2], 10 * s, 220);
      expect(c[4 * s + 3], 10 * (s + 1), 220);
    }
    expect(c[108], 0, 300);
    expect(c[109], 0, 220);
    expect(c[110], 270, 300);
    expect(c[111], 270, 220);
  }
}

TEST_F(ScenesTunnelFrame, StreamsAreCrossedSpritesOfTheBeatsSize) {
  const int32_t t = 30000;
  Draw(t, 0.5f);
  const float s = 45;  // 40 + 10 Beat
  const double radius[3] = {60, 70, 20}, divisor[3] = {8, 8, 20}, phase[3] = {0, 3.09, 4.18};
  const float colour[3][3] = {{0.1f, 0.1f, 0.15f}, {0.15f, 0.1f, 0.1f}, {0.1f, 0.15f, 0.1f}};
  size_t at = Find(kEnd) + 1;  // after the rings
  for (int stream = 0; stream < 3; stream++) {
    const size_t colourAt = Find(kColor3f, at), begin = Find(kBegin, at), end = Find(kEnd, begin);
    ASSERT_LT(colourAt, begin);
    for (int c = 0; c < 3; c++) EXPECT_EQ((float)Calls()[colourAt].a[c], colour[stream][c]);
    EXPECT_EQ(Calls()[Find(kBindTexture, colourAt)].a[1], 3);
    std::vector<Call> verts, coords;
    for (size_t i = begin; i < end; i++) {
      if (Calls()[i].op == kVertex3f) verts.push_back(Calls()[i]);
      if (Calls()[i].op == kTexCoord2f) coords.push_back(Calls()[i]);
    }
    ASSERT_EQ(verts.size(), 2001u * 12);
    ASSERT_EQ(coords.size(), verts.size());
    for (int32_t j : {-1000, 0, 1000}) {
      const TVector &v = RandomVectors[j + 1000];
      const double a = j / divisor[stream] + phase[stream];
      const float x = (float)(radius[stream] * std::sin(a) + 10.0 * v.x);
      const float y = (float)(radius[stream] * std::cos(a) + 10.0 * v.y);
      const float z = TunnelWrap((float)(2.0 * t + 10.0 * j + v.z));
      const Call *q = &verts[(size_t)(j + 1000) * 12];
      const float expected[12][3] = {
          {x - s, y - s, z}, {x + s, y - s, z}, {x + s, y + s, z}, {x - s, y + s, z},
          {x, y - s, z - s}, {x, y - s, z + s}, {x, y + s, z + s}, {x, y + s, z - s},
          {x - s, y, z - s}, {x - s, y, z + s}, {x + s, y, z + s}, {x + s, y, z - s},
      };
      for (int k = 0; k < 12; k++)
        for (int c = 0; c < 3; c++) EXPECT_EQ((float)q[k].a[c], expected[k][c]) << stream << " " << j << " " << k;
    }
    const float corner[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (size_t k = 0; k < 12; k++) {
      EXPECT_EQ(coords[k].a[0], corner[k % 4][0]);
      EXPECT_EQ(coords[k].a[1], corner[k % 4][1]);
    }
    at = end + 1;
  }
  // The scene leaves additive blending on and the depth test off.
  const Call blend = Only(kBlendFunc).back();
  EXPECT_EQ(blend.a[0], GL_ONE);
  EXPECT_EQ(blend.a[1], GL_ONE);
}

}  // namespace
