// Curves, vector helpers, lights, the shaded cube, the matrix reset and the
// number-per-line reader, against their formulas.
#include "presentation/spare.h"

#include <cmath>
#include <set>

#include "tests/presentation/spare_util.h"

namespace spare_test {
namespace {

TEST(SpareCurves, InterpolateClampsAndFollowsEachMode) {
  struct Case {
    uint8_t mode;
    float a, b, f;
    double expected;
  };
  const double pi = std::acos(-1.0);
  const Case cases[] = {
      {0, 2, 4, 1.5f, 4},   {0, 2, 4, -1, 2},    {0, 2, 4, 0.25f, 2.5},
      {1, 0, 1, 0.5f, std::sin(pi / 4)},         {1, 3, 1, 1, 1},
      {2, 0, 1, 0.5f, 1 - std::sin(0.5 * pi / 2 + pi / 2)}, {2, 0, 8, 0, 0}, {2, 0, 8, 1, 8},
      {7, 5, 9, 0.5f, 5},  // undefined mode: a
  };
  for (const Case &c : cases)
    EXPECT_EQ(Interpolate(c.mode, c.a, c.b, c.f), (float)c.expected)
        << "mode " << (int)c.mode << " a " << c.a << " b " << c.b << " f " << c.f;
  // Evaluated in double, rounded once: 0.1 + 0.2 x (1/3) differs from the float chain.
  EXPECT_EQ(Interpolate(0, 0.1f, 0.3f, 1.0f / 3), (float)(0.1f + ((double)0.3f - 0.1f) * (1.0f / 3)));
}

TEST(SpareCurves, InterpolateVectorMayWriteIntoAnInput) {
  TVector a = {0, 10, -4}, b = {2, 20, 4};
  InterpolateVector(&a, &b, &a, 0.5f);
  EXPECT_EQ(a.x, 1);
  EXPECT_EQ(a.y, 15);
  EXPECT_EQ(a.z, 0);
  TVector c = {0, 0, 0}, d = {1, 1, 1};
  InterpolateVector(&c, &d, &d, 2);  // clamped
  EXPECT_EQ(d.x, 1);
}

TEST(SpareCurves, EasingAndExponentialCurves) {
  EXPECT_EQ(EaseIn2(5, 10), 2.5f);
  EXPECT_EQ(EaseIn3(10, 10), 10.0f);
  EXPECT_EQ(EaseIn3(5, 10), 1.25f);
  EXPECT_EQ(EaseIn8(5, 10), (float)(10.0 * (float)std::pow(0.5, 8)));
  // t / length is stored as single before the power: 1/3 rounds first.
  const float c = 1.0f / 3;
  EXPECT_EQ(EaseIn8(1, 3), (float)(3.0 * (float)std::pow((double)c, 8)));
  EXPECT_EQ(EaseIn2(3, 0), 0.0f);
  EXPECT_EQ(ExpCurve(0), 0.0f);
  EXPECT_EQ(ExpCurve(1), 1.0f);
  EXPECT_EQ(ExpCurve(0.5f), (float)((std::exp(0.5) - 1) / (std::exp(1.0) - 1)));
}

TEST(SpareCurves, VectorDistanceAndCentring) {
  const TVector a = {1, 2, 3}, b = {4, 6, 3};
  EXPECT_EQ(VectorDistance(&a, &b), 5.0f);
  EXPECT_EQ(VectorDistance(&a, &a), 0.0f);

  TVector one[1] = {{3, -2, 7}};
  CenterVertices(one, 1);
  EXPECT_EQ(one[0].x, 0);
  EXPECT_EQ(one[0].y, 0);
  EXPECT_EQ(one[0].z, 0);

  // Box x -1..5, y 0..2, z -10..-2: centre (2, 1, -6); the extremes are not vertex 0.
  TVector v[4] = {{0, 1, -3}, {5, 0, -10}, {-1, 2, -2}, {4, 1, -6}};
  CenterVertices(v, 4);
  const TVector expected[4] = {{-2, 0, 3}, {3, -1, -4}, {-3, 1, 4}, {2, 0, 0}};
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(v[i].x, expected[i].x) << i;
    EXPECT_EQ(v[i].y, expected[i].y) << i;
    EXPECT_EQ(v[i].z, expected[i].z) << i;
  }
  CenterVertices(v, 0);  // nothing to do, nothing read
  CenterVertices(nullptr, 3);
}

TEST(SpareGl, LightsSendTheirColoursAndPosition) {
  InstallRecorder();
  SetLight0(0.25f, 0.75f);
  SetLight0At(1, 2, 3, 0.5f, 1);
  SetLight0Colours(0.125f, 0.375f);
  struct Expected {
    GLenum p;
    double v[4];
  };
  const Expected expected[] = {
      {GL_AMBIENT, {0.25, 0.25, 0.25, 1}}, {GL_DIFFUSE, {0.75, 0.75, 0.75, 1}}, {GL_SPECULAR, {0, 0, 0, 1}},
      {GL_AMBIENT, {0.5, 0.5, 0.5, 1}},    {GL_DIFFUSE, {1, 1, 1, 1}},          {GL_SPECULAR, {0, 0, 0, 1}},
      {GL_POSITION, {1, 2, 3, 1}},         {GL_AMBIENT, {0.125, 0.125, 0.125, 1}},
      {GL_DIFFUSE, {0.375, 0.375, 0.375, 1}},
  };
  const std::vector<Call> &calls = Calls();
  ASSERT_EQ(calls.size(), std::size(expected));
  for (size_t i = 0; i < calls.size(); i++) {
    EXPECT_EQ(calls[i].op, kLightfv);
    EXPECT_EQ(calls[i].a[0], GL_LIGHT0);
    EXPECT_EQ(calls[i].a[1], expected[i].p) << i;
    for (int k = 0; k < 4; k++) EXPECT_EQ(calls[i].a[2 + k], expected[i].v[k]) << i << " " << k;
  }
}

TEST(SpareGl, ShadedCubeIsSixOutwardFacesInTwoGreys) {
  InstallRecorder();
  DrawShadedCube(0.9f, 0.3f);
  const std::vector<Call> &calls = Calls();
  ASSERT_EQ(calls.size(), 2u + 2u + 6u * 5u);
  EXPECT_EQ(calls.front().op, kBegin);
  EXPECT_EQ(calls.front().a[0], GL_QUADS);
  EXPECT_EQ(calls.back().op, kEnd);
  const std::vector<Call> colours = Only(kColor3f);
  ASSERT_EQ(colours.size(), 2u);
  EXPECT_EQ(colours[0].a[0], 0.9f);
  EXPECT_EQ(colours[1].a[2], 0.3f);
  // The first colour precedes the +z normal, the second the -z one.
  EXPECT_EQ(calls[1].op, kColor3f);
  EXPECT_EQ(calls[2].op, kNormal3f);
  EXPECT_EQ(calls[2].a[2], 1);
  EXPECT_EQ(calls[7].op, kColor3f);
  EXPECT_EQ(calls[8].a[2], -1);

  const std::vector<Call> normals = Only(kNormal3f), corners = Only(kVertex3f);
  ASSERT_EQ(normals.size(), 6u);
  ASSERT_EQ(corners.size(), 24u);
  std::set<std::vector<double>> seen;
  for (int f = 0; f < 6; f++) {
    const double *n = normals[f].a;
    seen.insert({n[0], n[1], n[2]});
    int axis = n[0] != 0 ? 0 : n[1] != 0 ? 1 : 2;
    std::set<std::pair<double, double>> square;
    for (int c = 0; c < 4; c++) {
      const double *p = corners[4 * f + c].a;
      EXPECT_EQ(p[axis], n[axis]) << "face " << f << " corner " << c << " lies on its side";
      square.insert({p[(axis + 1) % 3], p[(axis + 2) % 3]});
    }
    EXPECT_EQ(square.size(), 4u) << "face " << f << " has four distinct corners";
    // Consecutive corners differ in one coordinate: the quad goes round, not across.
    for (int c = 0; c < 4; c++) {
      const double *p = corners[4 * f + c].a, *q = corners[4 * f + (c + 1) % 4].a;
      EXPECT_EQ((p[0] != q[0]) + (p[1] != q[1]) + (p[2] != q[2]), 1) << "face " << f << " corner " << c;
    }
  }
  EXPECT_EQ(seen.size(), 6u);
  // The +z face in the lit cube's own corner order.
  EXPECT_EQ(corners[0].a[0], 1);
  EXPECT_EQ(corners[1].a[0], -1);
  EXPECT_EQ(corners[2].a[1], -1);
}

TEST(SpareGl, ResetMatricesEndsOnModelview) {
  InstallRecorder();
  ResetMatrices();
  const std::vector<Op> ops = Ops();
  ASSERT_EQ(ops, (std::vector<Op>{kMatrixMode, kLoadIdentity, kMatrixMode, kLoadIdentity, kMatrixMode, kLoadIdentity}));
  EXPECT_EQ(Calls()[0].a[0], GL_TEXTURE);
  EXPECT_EQ(Calls()[2].a[0], GL_PROJECTION);
  EXPECT_EQ(Calls()[4].a[0], GL_MODELVIEW);
}

using SpareRead = Framework;

TEST_F(SpareRead, ReadsNumbersLineByLineAndRefusesTheRest) {
  const std::string text =
      "1.5\n"
      "  -2.25e2 \r\n"
      ".5\n"
      "+3\n"
      "abc\n"
      "1.5x\n"
      "inf\n"
      "0x10\n"
      "\n"
      "1e39\n"
      "7\n";
  WriteFile(dir_ / "numbers.txt", text.data(), text.size());
  SYS_File_p file = SYS_FileOpen("numbers.txt", 0);
  ASSERT_NE(file, nullptr);
  float v = 0;
  ASSERT_EQ(ReadFloatLine(file, &v), 0);
  EXPECT_EQ(v, 1.5f);
  ASSERT_EQ(ReadFloatLine(file, &v), 0);
  EXPECT_EQ(v, -225.0f);
  ASSERT_EQ(ReadFloatLine(file, &v), 0);
  EXPECT_EQ(v, 0.5f);
  ASSERT_EQ(ReadFloatLine(file, &v), 0);
  EXPECT_EQ(v, 3.0f);
  for (int i = 0; i < 6; i++) {
    v = 42;
    EXPECT_EQ(ReadFloatLine(file, &v), -1) << "refused line " << i;
    EXPECT_EQ(v, 42.0f) << "a refused line leaves the value";
  }
  ASSERT_EQ(ReadFloatLine(file, &v), 0);
  EXPECT_EQ(v, 7.0f);
  EXPECT_EQ(ReadFloatLine(file, &v), -1) << "end of file";
  EXPECT_EQ(v, 7.0f);
  SYS_FileClose(file);
  EXPECT_EQ(ReadFloatLine(nullptr, &v), -1);
  EXPECT_EQ(v, 7.0f);
  const std::string log = Log();
  EXPECT_NE(log.find("[read] not a number: abc"), std::string::npos) << log;
  EXPECT_NE(log.find("[read] not a number: 1e39"), std::string::npos) << log;
  EXPECT_NE(log.find("[read] no line to read"), std::string::npos) << log;
}

TEST_F(SpareRead, LongLineIsRefusedNotCut) {
  // 600 digits: a 512-byte buffer would cut it into two plausible numbers.
  const std::string text = std::string(600, '1') + "\n2\n";
  WriteFile(dir_ / "long.txt", text.data(), text.size());
  SYS_File_p file = SYS_FileOpen("long.txt", 0);
  ASSERT_NE(file, nullptr);
  float v = 5;
  EXPECT_EQ(ReadFloatLine(file, &v), -1);
  EXPECT_EQ(v, 5.0f);
  ASSERT_EQ(ReadFloatLine(file, &v), 0) << "the cut line's tail is not read as a number";
  EXPECT_EQ(v, 2.0f);
  SYS_FileClose(file);
  EXPECT_NE(Log().find("[read] line too long: "), std::string::npos);
}

}  // namespace
}  // namespace spare_test
