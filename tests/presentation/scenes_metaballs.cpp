// Metaballs through a recording GL table: the marching-cubes tables' integrity, the
// corner index table, the polygoniser on small fields (empty, one ball, a ball at the
// grid's far corner), the field against a plain sweep of its formula, the balls'
// rings, and one whole frame (camera turns, sphere of crosses, glow).
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <set>
#include <utility>
#include <vector>

#include "presentation/glow.h"
#include "presentation/procedural.h"
#include "presentation/scene_metaballs.h"
#include "presentation/scene_tunnel.h"
#include "presentation/show.h"
#include "tests/presentation/scenes_recorder.h"

namespace {

using namespace sctest;
constexpr double kPi = std::numbers::pi;

constexpr int kCorner[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
constexpr int kEdge[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6}, {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

// Every case's triangles use exactly its cut edges, close up inside the cube (a side
// is shared by two triangles, traversed both ways, or lies on a cube face), and
// meet each face's cut edges once; all triangles face the same way (toward the
// corners <= 1). A wrong digit in the triangle table breaks one of these.
TEST(ScenesMetaballs, MarchingCubesTablesAreConsistent) {
  const uint16_t published[][2] = {{1, 0x109}, {2, 0x203}, {16, 0x190}, {17, 0x099}, {254, 0x109}, {255, 0}};
  for (auto [c, mask] : published) EXPECT_EQ(kMarchEdgeTable[c], mask) << c;
  for (int c = 0; c < 256; c++) {
    bool in[8];
    for (int v = 0; v < 8; v++) in[v] = (c >> v) & 1;
    uint16_t mask = 0;
    for (int e = 0; e < 12; e++)
      if (in[kEdge[e][0]] != in[kEdge[e][1]]) mask |= (uint16_t)(1 << e);
    ASSERT_EQ(kMarchEdgeTable[c], mask) << c;

    const int8_t *row = kMarchTriTable[c];
    int count = 0;
    while (count < 16 && row[count] >= 0) count++;
    ASSERT_EQ(count % 3, 0) << c;
    ASSERT_LE(count, 15) << c;
    uint16_t used = 0;
    std::map<std::pair<int, int>, int> sides;  // directed side -> uses
    for (int k = 0; k < count; k += 3) {
      const int t[3] = {row[k], row[k + 1], row[k + 2]};
      double p[3][3], gradient[3] = {0, 0, 0};
      for (int a = 0; a < 3; a++) {
        ASSERT_TRUE(t[a] >= 0 && t[a] < 12) << c;
        used |= (uint16_t)(1 << t[a]);
        sides[{t[a], t[(a + 1) % 3]}]++;
        const int q0 = kEdge[t[a]][0], q1 = kEdge[t[a]][1];
        for (int x = 0; x < 3; x++) {
          p[a][x] = (kCorner[q0][x] + kCorner[q1][x]) / 2.0;
          gradient[x] += (in[q1] ? 1 : -1) * (kCorner[q1][x] - kCorner[q0][x]);
        }
      }
      const double u[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
      const double w[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
      const double normal[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
      EXPECT_GT(normal[0] * gradient[0] + normal[1] * gradient[1] + normal[2] * gradient[2], 0) << c << " " << k;
    }
    EXPECT_EQ(used, mask) << c;
    auto onFace = [](int e, int axis, int side) {
      return kCorner[kEdge[e][0]][axis] == side && kCorner[kEdge[e][1]][axis] == side;
    };
    for (auto [side, uses] : sides) {
      EXPECT_EQ(uses, 1) << c;
      if (sides.count({side.second, side.first})) continue;  // inner side, traversed both ways
      bool face = false;
      for (int axis = 0; axis < 3; axis++)
        for (int s = 0; s < 2; s++) face |= onFace(side.first, axis, s) && onFace(side.second, axis, s);
      EXPECT_TRUE(face) << "case " << c << " open side " << side.first << "-" << side.second;
    }
    for (int axis = 0; axis < 3; axis++)
      for (int s = 0; s < 2; s++)
        for (int e = 0; e < 12; e++) {
          if (!(mask >> e & 1) || !onFace(e, axis, s)) continue;
          int meets = 0;
          for (auto [side, uses] : sides)
            if (!sides.count({side.second, side.first}) && (side.first == e || side.second == e) &&
                onFace(side.first, axis, s) && onFace(side.second, axis, s))
              meets++;
          EXPECT_EQ(meets, 1) << "case " << c << " edge " << e;
        }
  }
}

TEST(ScenesMetaballs, GridInitListsEachInnerCellsCornersInDrawingOrder) {
  std::vector<float> field(32768);
  TMetaGrid *grid = MetaGridInit(field.data(), 32);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->field, field.data());
  EXPECT_EQ(grid->n, 32);
  // Cell index ((c3 - 1) * 30 + (c2 - 1)) * 30 + (c1 - 1) covers x c1, y c2, z c3.
  const int cells[][3] = {{1, 1, 1}, {2, 1, 1}, {1, 2, 1}, {1, 1, 2}, {30, 30, 30}, {7, 19, 23}};
  for (auto [c1, c2, c3] : cells) {
    const int32_t *corner = grid->corners + 8 * (((c3 - 1) * 30 + (c2 - 1)) * 30 + (c1 - 1));
    for (int v = 0; v < 8; v++)
      EXPECT_EQ(corner[v], (c1 + kCorner[v][0]) * 1024 + (c2 + kCorner[v][1]) * 32 + c3 + kCorner[v][2]);
  }
  // No inner cell touches the layer at 0; the layer at 31 only as upper corners.
  for (int32_t i = 0; i < 27000 * 8; i++) {
    const int32_t g = grid->corners[i], x = g / 1024, y = g / 32 % 32, z = g % 32;
    ASSERT_TRUE(x >= 1 && y >= 1 && z >= 1) << i;
  }
  EXPECT_EQ(MetaGridInit(nullptr, 32), nullptr);
  EXPECT_EQ(MetaGridInit(field.data(), 2), nullptr);
  EXPECT_EQ(MetaGridInit(field.data(), 100000), nullptr);
}

struct Vertex {
  float n[3], v[3];
};
// The glNormal3fv / glVertex3fv pairs emitted, checking that they come in pairs.
std::vector<Vertex> Emitted() {
  std::vector<Vertex> out;
  const std::vector<Call> &c = Calls();
  for (size_t i = 0; i < c.size(); i++) {
    if (c[i].op != kNormal3fv) continue;
    EXPECT_TRUE(i + 1 < c.size() && c[i + 1].op == kVertex3fv);
    Vertex x;
    for (int k = 0; k < 3; k++) {
      x.n[k] = (float)c[i].a[k];
      x.v[k] = (float)c[i + 1].a[k];
    }
    out.push_back(x);
  }
  return out;
}

class ScenesMetaGrid : public ::testing::Test {
 protected:
  void SetUp() override {
    field_.assign(32768, 0.0f);
    grid_ = MetaGridInit(field_.data(), 32);
    ASSERT_NE(grid_, nullptr);
  }
  // Field 4 - distance (0 outside) of one ball at c.
  void Ball(float cx, float cy, float cz, float strength) {
    for (int x = 0; x < 32; x++)
      for (int y = 0; y < 32; y++)
        for (int z = 0; z < 32; z++) {
          float d = strength - PointDistance((float)x, (float)y, (float)z, cx, cy, cz);
          field_[x * 1024 + y * 32 + z] = d > 0 ? d : 0;
        }
  }
  std::vector<float> field_;
  TMetaGrid *grid_ = nullptr;
};

TEST_F(ScenesMetaGrid, FlatFieldsEmitNothing) {
  for (float level : {0.0f, 1.0f, 2.0f}) {
    std::fill(field_.begin(), field_.end(), level);
    Install();
    MetaGridDraw(grid_);
    EXPECT_EQ(Calls().size(), 0u) << level;
  }
  // The outer layer at 0 is never a cell corner: a bump there draws nothing.
  std::fill(field_.begin(), field_.end(), 0.0f);
  for (int y = 0; y < 32; y++)
    for (int z = 0; z < 32; z++) field_[y * 32 + z] = 5.0f;
  Install();
  MetaGridDraw(grid_);
  EXPECT_EQ(Calls().size(), 0u);
}

TEST_F(ScenesMetaGrid, OneBallGivesAClosedShellAtDistanceThreeWithOutwardNormals) {
  Ball(16, 16, 16, 4);
  Install();
  MetaGridDraw(grid_);
  std::vector<Vertex> v = Emitted();
  ASSERT_GT(v.size(), 600u);
  ASSERT_EQ(v.size() % 6, 0u);  // three lines per triangle
  for (size_t i = 0; i < v.size(); i += 6) {
    // a-b, b-c, c-a: the triangle closes.
    for (int k = 0; k < 3; k++) {
      EXPECT_EQ(v[i + 1].v[k], v[i + 2].v[k]);
      EXPECT_EQ(v[i + 3].v[k], v[i + 4].v[k]);
      EXPECT_EQ(v[i + 5].v[k], v[i].v[k]);
    }
  }
  for (const Vertex &x : v) {
    const double d[3] = {x.v[0] - 16.0, x.v[1] - 16.0, x.v[2] - 16.0};
    const double r = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    EXPECT_NEAR(r, 3.0, 0.2);
    EXPECT_GT(x.n[0] * d[0] + x.n[1] * d[1] + x.n[2] * d[2], 0.0);
  }
  // On the axes the shell is exactly at 3 (the field is linear there).
  bool axis = false;
  for (const Vertex &x : v)
    if (x.v[1] == 16 && x.v[2] == 16 && x.v[0] == 19) axis = true;
  EXPECT_TRUE(axis);
}

TEST_F(ScenesMetaGrid, NormalsAtTheFarLayerStayFinite) {
  // Vertices whose nearest grid point lies at x = 31 need neighbours past the field.
  Ball(30.6f, 30.6f, 30.6f, 3);
  Install();
  MetaGridDraw(grid_);
  std::vector<Vertex> v = Emitted();
  bool far = false;
  for (const Vertex &x : v) {
    far |= std::nearbyint(x.v[0]) == 31;
    for (int k = 0; k < 3; k++) ASSERT_TRUE(std::isfinite(x.n[k]));
  }
  EXPECT_TRUE(far);
}

TEST(ScenesMetaballs, BallsFollowTheRingsOfEachPatternRange) {
  struct Case {
    int32_t pattern, t;
  };
  for (Case k : {Case{17, 42700}, Case{20, 54000}, Case{23, 64000}}) {
    MetaBallsPlace(k.pattern, k.t);
    for (int m = 0; m < 21; m++) {
      const int ring = m / 7;
      double rho, ax, ay, strength;
      const double t = k.t;
      if (k.pattern <= 19) {
        rho = 12, strength = 4;
        ax = ring == 0 ? t / 20 : -t / 22;
        ay = ring == 2 ? -t / 21 : t / 21;
      } else if (k.pattern <= 21) {
        rho = ring == 0 ? 2 * m : ring == 1 ? 10 : 8, strength = 4;
        ax = ring == 0 ? -t / 20 : ring == 1 ? -t / 22 : t / 12;
        ay = ring == 0 ? t / 21 : ring == 1 ? -t / 21 : t / 11;
      } else {
        rho = ring == 0 ? 12 : ring == 1 ? 10 : 8, strength = ring == 0 ? 4 : 6;
        ax = ring == 0 ? t / 20 : -t / 22;
        ay = ring == 2 ? -t / 21 : t / 21;
      }
      float x, y, z;
      RotatePoint(&x, &y, &z, (float)(rho * std::sin(52 * m * kPi / 180)), (float)(rho * std::cos(52 * m * kPi / 180)),
                  0.0f, (float)ax, (float)ay);
      EXPECT_EQ(MetaBalls[m].x, x + 16.0f) << k.pattern << " " << m;
      EXPECT_EQ(MetaBalls[m].y, y + 16.0f) << k.pattern << " " << m;
      EXPECT_EQ(MetaBalls[m].z, z + 16.0f) << k.pattern << " " << m;
      EXPECT_EQ(MetaBallStrengths[m], strength) << k.pattern << " " << m;
    }
  }
  MetaBallsPlace(20, 54000);  // the spiral starts at the centre
  EXPECT_EQ(MetaBalls[0].x, 16.0f);
  EXPECT_EQ(MetaBalls[0].y, 16.0f);
  EXPECT_EQ(MetaBalls[0].z, 16.0f);
}

// The field exactly as a full sweep over every point and every ball computes it.
TEST(ScenesMetaballs, FieldEqualsThePlainSweepWithTheBeatsNoise) {
  uint32_t state = 11;
  for (int i = 0; i < 32; i++)
    RandomVectors[i] = {(float)((int)(NextRandom(state) % 2000) - 1000) / 1000.0f,
                        (float)((int)(NextRandom(state) % 2000) - 1000) / 1000.0f,
                        (float)((int)(NextRandom(state) % 2000) - 1000) / 1000.0f};
  std::vector<float> field(32768, 123.0f);
  TMetaGrid *grid = MetaGridInit(field.data(), 32);
  ASSERT_NE(grid, nullptr);
  struct Case {
    int32_t pattern, t;
    float beat;
  };
  for (Case k : {Case{17, 43000, 0.0f}, Case{21, 55000, 0.8f}, Case{24, 70000, 1.0f}, Case{19, 50000, 0.25f}}) {
    MetaBallsPlace(k.pattern, k.t);
    MetaFieldFill(grid, k.beat);
    size_t zeros = 0;
    for (int kk = 0; kk < 32; kk++)
      for (int j = 0; j < 32; j++)
        for (int i = 0; i < 32; i++) {
          float v = 0;
          for (int m = 0; m < 21; m++) {
            float d = MetaBallStrengths[m] -
                      PointDistance((float)i, (float)j, (float)kk, MetaBalls[m].x, MetaBalls[m].y, MetaBalls[m].z);
            if (d < 0) d = 0;
            v = v + d;
          }
          if (v != 0)
            v = (float)(v + ((double)RandomVectors[j].y + RandomVectors[i].x + RandomVectors[kk].z) * k.beat * 3);
          zeros += v == 0;
          ASSERT_EQ(field[1024 * kk + 32 * j + i], v) << k.pattern << " at " << kk << "," << j << "," << i;
        }
    EXPECT_GT(zeros, 10000u);  // empty space stays 0 whatever the beat
  }
}

TEST(ScenesMetaballs, FrameTurnsBackFourTimesAndEndsWithSphereAndGlow) {
  std::vector<float> field(32768);
  MetaGrid = MetaGridInit(field.data(), 32);
  ScreenTexture = 4;
  ScreenWidth = 1024;
  ScreenHeight = 576;
  LetterboxHeight = 576;
  ProbeBlurs blurs(ScreenTexture);
  struct Case {
    int32_t t;
    double extra;
  };
  for (Case k : {Case{42660, 0}, Case{46215 + 888, -360}, Case{60000, -720}, Case{71099, -1440}}) {
    Install();
    SegmentTime = k.t;
    Pattern = 17 + (k.t - 42660) / 3555;
    Beat = 0.3f;
    MetaballScene();
    std::vector<Call> rot = Only(kRotatef);
    ASSERT_GE(rot.size(), 1u);
    EXPECT_FLOAT_EQ((float)rot[0].a[0], (float)(k.t / 50.0 + k.extra)) << k.t;
    const Call look = Only(kLookAt)[0];
    EXPECT_EQ(look.a[0], 4);
    EXPECT_EQ(Only(kPerspective)[0].a[0], 115);
    std::vector<Call> moves = Only(kTranslatef);
    EXPECT_EQ(moves[0].a[0], -16);
    // Surface batch, then the crosses: 44 x 44 centres of three lines.
    std::vector<Call> begins = Only(kBegin);
    ASSERT_GE(begins.size(), 2u);
    const size_t sphere = Find(kBegin, Find(kEnd) + 1), sphereEnd = Find(kEnd, sphere);
    size_t verts = 0;
    for (size_t i = sphere; i < sphereEnd; i++) verts += Calls()[i].op == kVertex3f;
    EXPECT_EQ(verts, 44u * 44 * 6);
    const Call first = Calls()[Find(kVertex3f, sphere)];
    const float rho = (float)(200 * std::cos(8 * kPi / 180));
    EXPECT_EQ((float)first.a[0], (float)(rho * std::sin(8 * kPi / 180)) - 2.0f);
    EXPECT_EQ((float)first.a[2], (float)(200 * std::sin(8 * kPi / 180)));
    EXPECT_GT(Count(kVertex3fv), 0u);
    const std::vector<GlowStep> glow = {{'C', 0}, {'V', 1000}, {'C', 0}, {'H', 1000}};
    EXPECT_EQ(GlowSteps(sphereEnd), glow);
  }
  MetaGrid = nullptr;
}

}  // namespace
