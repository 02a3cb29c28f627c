// Key interpolation: camera curves through their keys with the one-sixth tangents,
// straight segments for objects and lights, and the ends and degenerate tracks.
#include <gtest/gtest.h>

#include "scene/keys.h"
#include "tests/scene/render_scene.h"

namespace {

using rtest::TestScene;

void ExpectVector(const _QLV_VECTOR &v, float x, float y, float z, const char *what) {
  EXPECT_FLOAT_EQ(v.x, x) << what;
  EXPECT_FLOAT_EQ(v.y, y) << what;
  EXPECT_FLOAT_EQ(v.z, z) << what;
}

TEST(RenderKeys, TangentsAreSixthsOfNeighbourDifferences) {
  TestScene t;
  t.camPos = {{0, 0, 0, 0}, {10, 6, 12, -6}, {30, 18, 0, 6}, {40, 0, 0, 0}};
  t.camPosEase.resize(4);
  t.Sync();
  CameraTracksPrepare(&t.scene);
  ExpectVector(t.camPosEase[0], 1, 2, -1, "first: (P1 - P0) / 6");
  ExpectVector(t.camPosEase[1], 3, 0, 1, "inner: (P2 - P0) / 6");
  ExpectVector(t.camPosEase[2], -1, -2, 1, "inner: (P3 - P1) / 6");
  ExpectVector(t.camPosEase[3], -3, 0, -1, "last: (P3 - P2) / 6");
}

TEST(RenderKeys, CameraFollowsTheBezierOfTheKeys) {
  TestScene t({0, 0, 0}, {0, 0, 0});
  t.camPos = {{0, 0, 0, 0}, {100, 60, -120, 6}};
  t.camTarget = {{10, 1, 1, 1}, {20, 2, 2, 2}, {40, 5, 5, 5}};
  t.camTargetEase.resize(3);
  t.Sync();
  CameraTracksPrepare(&t.scene);
  // Two keys: control points at 1/6 and 5/6; at u = 0.5 the weights are 1/8, 3/8,
  // 3/8, 1/8, so the point is the middle; at u = 0.25 it lags behind a straight line.
  struct Case {
    float frame;
    float x;
  } cases[] = {{-5, 0}, {0, 0}, {50, 30}, {25, 60 * (27.0f / 64 * 0 + 27.0f / 64 * (1.0f / 6) + 9.0f / 64 * (5.0f / 6) + 1.0f / 64)},
               {100, 60}, {300, 60}};
  for (const Case &c : cases) {
    _QLV_VECTOR eye, target;
    CameraAt(&eye, &target, &t.scene, c.frame);
    EXPECT_FLOAT_EQ(eye.x, c.x) << c.frame;
    EXPECT_FLOAT_EQ(eye.y, -2 * c.x) << c.frame;
  }
  // Key frames give the keys exactly, also in the inner keys of a longer track.
  for (const _QLV_KEYVECTOR &k : t.camTarget) {
    _QLV_VECTOR eye, target;
    CameraAt(&eye, &target, &t.scene, (float)k.frame);
    ExpectVector(target, k.x, k.y, k.z, "key frame");
  }
  // Near a key the point moves slower than in the middle of the segment.
  _QLV_VECTOR a, b, c, d, e;
  CameraAt(&a, &e, &t.scene, 0);
  CameraAt(&b, &e, &t.scene, 10);
  CameraAt(&c, &e, &t.scene, 45);
  CameraAt(&d, &e, &t.scene, 55);
  EXPECT_LT(b.x - a.x, d.x - c.x);
}

TEST(RenderKeys, DegenerateCameraTracksStayInsideTheirKeys) {
  TestScene t;
  t.camPos = {{5, 1, 2, 3}};
  t.camPosEase.resize(1);
  t.camTarget = {{0, 0, 0, 0}, {10, 10, 0, 0}, {5, 20, 0, 0}};  // frames not ascending
  t.camTargetEase.resize(3);
  t.Sync();
  CameraTracksPrepare(&t.scene);
  ExpectVector(t.camPosEase[0], 0, 0, 0, "one key: zero tangent");
  _QLV_VECTOR eye, target;
  for (float f : {-1.0f, 5.0f, 99.0f}) {
    CameraAt(&eye, &target, &t.scene, f);
    ExpectVector(eye, 1, 2, 3, "one key everywhere");
  }
  // Out-of-order frames still give a point of the track's own segments.
  CameraAt(&eye, &target, &t.scene, 2.5f);
  const float inSegment0 = target.x;
  EXPECT_GT(inSegment0, 0.0f);
  EXPECT_LT(inSegment0, 10.0f);
  t.scene.camtargetkeycount = 0;
  CameraAt(&eye, &target, &t.scene, 3.0f);
  ExpectVector(target, 0, 0, 0, "no keys");
}

TEST(RenderKeys, ObjectsAndLightsMoveInStraightSegments) {
  TestScene t;
  t.AddObject();
  t.objects[0].poskeys = t.Keys({{10, 0, 0, 0}, {20, 100, -100, 50}, {40, 100, 100, 50}});
  t.objects[0].poskeycount = 3;
  t.scene.lights[3].poskeys = t.Keys({{0, 1, 1, 1}, {4, 5, 1, -3}});
  t.scene.lights[3].poskeycount = 2;
  t.Sync();
  struct Case {
    float frame, x, y, z;
  } cases[] = {{0, 0, 0, 0}, {10, 0, 0, 0}, {12.5f, 25, -25, 12.5f}, {20, 100, -100, 50}, {30, 100, 0, 50}, {41, 100, 100, 50}};
  for (const Case &c : cases) {
    _QLV_VECTOR p;
    ObjectPositionAt(&p, &t.scene, 0, c.frame);
    ExpectVector(p, c.x, c.y, c.z, "object");
  }
  _QLV_VECTOR p;
  LightPositionAt(&p, &t.scene, 3, 1.0f);
  ExpectVector(p, 2, 1, 0, "light");
  ObjectPositionAt(&p, &t.scene, 1, 1.0f);  // no such object
  ExpectVector(p, 0, 0, 0, "missing object");
  LightPositionAt(&p, &t.scene, 8, 1.0f);
  ExpectVector(p, 0, 0, 0, "missing light");
}

}  // namespace
