// Procedural tables: the generator against a reference Mersenne Twister, the known
// first draws and vectors, the order and count of all draws, the tables' invariants
// and the spline routines.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "presentation/procedural.h"

namespace {

// floor(u * n / 2^32) of the reference generator's next output.
int32_t ReferenceBelow(std::mt19937 &mt, int32_t n) { return (int32_t)(((uint64_t)mt() * (uint64_t)n) >> 32); }

TEST(EffectsProcedural, FirstDrawsAreTheKnownOnes) {
  RandomReset();
  EXPECT_EQ(RandomBelow(2000), 1097);
  EXPECT_EQ(RandomBelow(2000), 1185);
  EXPECT_EQ(RandomBelow(2000), 1430);
  EXPECT_EQ(RandomBelow(360), 303);
  EXPECT_EQ(RandomBelow(360), 216);
}

TEST(EffectsProcedural, GeneratorMatchesReferenceAcrossTwists) {
  RandomReset();
  std::mt19937 reference(0);
  const int32_t bounds[] = {2000, 360, 1000, 32768, 1, 0x7fffffff};
  for (int i = 0; i < 5000; i++) {  // several twists of the 624-word state
    int32_t n = bounds[i % 6];
    ASSERT_EQ(RandomBelow(n), ReferenceBelow(reference, n)) << "draw " << i;
  }
  // Raw outputs continue the same sequence, whole 32 bits.
  for (int i = 0; i < 1000; i++) ASSERT_EQ(RandomNext(), reference()) << "raw " << i;
}

TEST(EffectsProcedural, RotatePointTurnsAboutYThenXAndMayAlias) {
  float x, y, z;
  RotatePoint(&x, &y, &z, 1, 0, 0, 0, 90);  // y axis: x goes to -z
  EXPECT_NEAR(x, 0.0f, 1e-6f);
  EXPECT_NEAR(z, -1.0f, 1e-6f);
  RotatePoint(&x, &y, &z, 0, 1, 0, 90, 0);  // x axis: y goes to z
  EXPECT_NEAR(y, 0.0f, 1e-6f);
  EXPECT_NEAR(z, 1.0f, 1e-6f);
  TVector v = {16, 0, 0}, w;
  RotatePoint(&w.x, &w.y, &w.z, v.x, v.y, v.z, 303, 216);
  RotatePoint(&v.x, &v.y, &v.z, v.x, v.y, v.z, 303, 216);
  EXPECT_EQ(v.x, w.x);
  EXPECT_EQ(v.y, w.y);
  EXPECT_EQ(v.z, w.z);
  EXPECT_EQ(PointDistance(0, 0, 0, 1, 2, 2), 3.0f);
}

// The tables are built once per process (about 0.2 s) and shared by the checks below.
class EffectsTables : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A second build in the process (a repeated run) draws nothing: keep the first's.
    if (built) return;
    RandomReset();
    steps = 0;
    ASSERT_EQ(ProcBuildTables([] { steps++; }), 0);
    nextDraw = RandomBelow(0x7fffffff);
    built = true;
  }
  static inline bool built = false;
  static inline int steps = 0;
  static inline int32_t nextDraw = 0;
};

TEST_F(EffectsTables, KnownVectorsAndDirections) {
  EXPECT_EQ(steps, 37);
  const float expected[3][3] = {{0.097f, 0.185f, 0.43f}, {0.715f, 0.089f, 0.694f}, {0.291f, -0.232f, -0.125f}};
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(RandomVectors[i].x, expected[i][0]) << i;
    EXPECT_EQ(RandomVectors[i].y, expected[i][1]) << i;
    EXPECT_EQ(RandomVectors[i].z, expected[i][2]) << i;
  }
  EXPECT_NEAR(RandomDirections[0].x, -12.944f, 1e-3f);
  EXPECT_NEAR(RandomDirections[0].y, 7.887f, 1e-3f);
  EXPECT_NEAR(RandomDirections[0].z, 5.122f, 1e-3f);
  float x, y, z;
  RotatePoint(&x, &y, &z, 16, 0, 0, 303, 216);
  EXPECT_EQ(RandomDirections[0].x, x);
  EXPECT_EQ(RandomDirections[0].y, y);
  EXPECT_EQ(RandomDirections[0].z, z);
}

TEST_F(EffectsTables, EveryDrawIsTakenInOrder) {
  // 5 per vector index, 1 per attractor path, 2 per swap: the next draw follows them.
  std::mt19937 reference(0);
  reference.discard(5ull * kRandomVectorCount + kPathCount + 2ull * 100000);
  EXPECT_EQ(nextDraw, ReferenceBelow(reference, 0x7fffffff));
}

TEST_F(EffectsTables, VectorsAndDirectionsFollowTheirDraws) {
  std::mt19937 reference(0);
  for (int32_t i = 0; i < 20000; i++) {
    int32_t r[3] = {ReferenceBelow(reference, 2000), ReferenceBelow(reference, 2000), ReferenceBelow(reference, 2000)};
    int32_t ax = ReferenceBelow(reference, 360), ay = ReferenceBelow(reference, 360);
    ASSERT_EQ(RandomVectors[i].x, (float)((r[0] - 1000) / 1000.0)) << i;
    ASSERT_EQ(RandomVectors[i].z, (float)((r[2] - 1000) / 1000.0)) << i;
    float x, y, z;
    RotatePoint(&x, &y, &z, 16, 0, 0, (float)ax, (float)ay);
    ASSERT_EQ(RandomDirections[i].x, x) << i;
    ASSERT_EQ(RandomDirections[i].y, y) << i;
    ASSERT_EQ(RandomDirections[i].z, z) << i;
  }
}

TEST_F(EffectsTables, VectorsStayOnTheirGridAndDirectionsOnTheSphere) {
  bool sawMinusOne = false;
  for (int32_t i = 0; i < kRandomVectorCount; i += 7) {
    for (float c : {RandomVectors[i].x, RandomVectors[i].y, RandomVectors[i].z}) {
      ASSERT_GE(c, -1.0f);
      ASSERT_LT(c, 1.0f);
      sawMinusOne |= c == -1.0f;
    }
    const TVector &d = RandomDirections[i];
    ASSERT_NEAR(std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z), 16.0, 1e-4);
  }
  EXPECT_TRUE(sawMinusOne);
}

TEST_F(EffectsTables, ShuffleIsAPermutation) {
  std::vector<int> seen(kShuffledIndexCount, 0);
  int moved = 0;
  for (int32_t i = 0; i < kShuffledIndexCount; i++) {
    ASSERT_GE(ShuffledIndices[i], 0);
    ASSERT_LT(ShuffledIndices[i], kShuffledIndexCount);
    seen[ShuffledIndices[i]]++;
    moved += ShuffledIndices[i] != i;
  }
  for (int c : seen) ASSERT_EQ(c, 1);
  EXPECT_GT(moved, 30000);
}

TEST_F(EffectsTables, PathsHoldTheirFixedPoints) {
  for (int32_t k : {0, 1, 255, 256, 32767, 65535}) {
    int32_t j = k / 256;
    const SplinePath &image = ImagePaths[k];
    ASSERT_EQ(image.count, 8);
    EXPECT_EQ(image.points[0].x, 1.2f);
    EXPECT_EQ(image.points[0].y, (float)((j - 127) / 127.0));
    EXPECT_EQ(image.points[1].x, RandomVectors[k].x);
    EXPECT_EQ(image.points[6].y, RandomVectors[k + 65536].y);
    EXPECT_EQ(image.points[7].x, RandomVectors[k].z);
    EXPECT_EQ(image.points[7].y, -2.0f);
    EXPECT_EQ(image.points[3].x, 0.0f);
    EXPECT_EQ(image.tangents[0].x, (float)((image.points[1].x - (double)image.points[0].x) / 6.0));

    const SplinePath &attractor = AttractorPaths[k];
    ASSERT_EQ(attractor.count, 10);
    EXPECT_EQ(attractor.points[0].x, RandomVectors[k].x);
    EXPECT_EQ(attractor.points[8].x, attractor.points[0].x);
    EXPECT_EQ(attractor.points[8].y, attractor.points[0].y);
    EXPECT_EQ(attractor.points[9].x, attractor.points[0].x);
    EXPECT_LE(attractor.points[9].y, -1.1f);
    EXPECT_GT(attractor.points[9].y, -2.1f);
    for (int m = 1; m <= 7; m++) {  // each pull is at most 8 halves of a unit vector
      float dx = attractor.points[m].x - attractor.points[m - 1].x;
      float dy = attractor.points[m].y - attractor.points[m - 1].y;
      EXPECT_LE(std::sqrt(dx * dx + dy * dy), 4.0f + 1e-4f);
    }
  }
}

// The attractor pulls recomputed point by point from the public routines, exactly.
TEST_F(EffectsTables, AttractorPathsFollowTheirAttractors) {
  int pulls = 0;
  for (int32_t k : {0, 1, 777, 4097, 40000, 65535}) {
    const TVector *P = AttractorPaths[k].points;
    ASSERT_EQ(P[0].x, RandomVectors[k].x);
    ASSERT_EQ(P[0].y, RandomVectors[k].y);
    for (int m = 1; m <= 7; m++) {
      float sx = 0.0f, sy = 0.0f;
      for (int o = 0; o < 8; o++) {
        float ax, ay, az;
        RotatePoint(&ax, &ay, &az, RandomVectors[o].x, RandomVectors[o].y, 0.0f, (float)(22 * m), (float)(22 * m));
        float d = PointDistance(ax, ay, 0.0f, P[m - 1].x, P[m - 1].y, 0.0f);
        if (d < 1.0f) {
          pulls++;
          float w = (float)(1.0 - d);
          TVector a = {ax, ay, 0.0f}, b = {P[m - 1].x, P[m - 1].y, 0.0f}, v;
          VecSub(&a, &b, &v);
          VecNormalize(&v, &v);
          sx = (float)(sx + w * (double)v.x / 2.0);
          sy = (float)(sy + w * (double)v.y / 2.0);
        }
      }
      ASSERT_EQ(P[m].x, (float)((double)P[m - 1].x + sx)) << k << " " << m;
      ASSERT_EQ(P[m].y, (float)((double)P[m - 1].y + sy)) << k << " " << m;
    }
  }
  EXPECT_GT(pulls, 20);
}

TEST(EffectsSpline, EndsAndIntegerParametersHitTheControlPoints) {
  TVector points[5] = {{0, 0, 0}, {1, 2, 0}, {3, 3, 1}, {4, 1, -2}, {6, 0, 5}}, tangents[5];
  SplinePath path = {5, tangents, points};
  SplineRetangent(&path);
  EXPECT_EQ(tangents[0].y, (float)(2.0 / 6.0));
  EXPECT_EQ(tangents[2].x, (float)(3.0 / 6.0));  // central difference (P3 - P1) / 6
  EXPECT_EQ(tangents[4].z, (float)(7.0 / 6.0));
  struct Case {
    float u;
    int point;
  } cases[] = {{-1.0f, 0}, {0.0f, 0}, {1.0f, 1}, {2.0f, 2}, {3.0f, 3}, {4.0f, 4}, {9.5f, 4}, {NAN, 0}};
  for (const Case &c : cases) {
    TVector q;
    SplineEval(&q, &path, c.u);
    EXPECT_EQ(q.x, points[c.point].x) << c.u;
    EXPECT_EQ(q.y, points[c.point].y) << c.u;
    EXPECT_EQ(q.z, points[c.point].z) << c.u;
  }
  // Between points: uniform Catmull-Rom, here at the middle of segment 1.
  TVector q;
  SplineEval(&q, &path, 1.5f);
  double expected = 0.5 * (2 * 1 + (3 - 0) * 0.5 + (2 * 0 - 5 * 1 + 4 * 3 - 4) * 0.25 + (-0 + 3 * 1 - 3 * 3 + 4) * 0.125);
  EXPECT_NEAR(q.x, expected, 1e-5);
}

TEST(EffectsSpline, CoincidentInnerPointsRestAtHome) {
  TVector points[8] = {{1.2f, 0, 0}, {0.5f, 0.5f, 0}, {0.1f, 0.2f, 0}, {0.1f, 0.2f, 0},
                       {0.1f, 0.2f, 0}, {0.1f, 0.2f, 0}, {-0.3f, 0.4f, 0}, {0.2f, -2, 0}};
  TVector tangents[8];
  SplinePath path = {8, tangents, points};
  SplineRetangent(&path);
  EXPECT_EQ(tangents[3].x, 0.0f);
  EXPECT_EQ(tangents[4].y, 0.0f);
  for (float u : {3.0f, 3.25f, 3.5f, 3.9f}) {
    TVector q;
    SplineEval(&q, &path, u);
    EXPECT_FLOAT_EQ(q.x, 0.1f) << u;
    EXPECT_FLOAT_EQ(q.y, 0.2f) << u;
  }
}

}  // namespace
