// Stencil shadow volumes: lit faces, silhouettes of closed and open meshes, the
// extrusion, the face accessors and the stencil pass through a recording GL table.
#include "scene/shadow.h"
#include "tests/scene/render_recorder.h"
#include "tests/scene/render_scene.h"

namespace {

using rtest::Count;
using rtest::Find;
using rtest::Only;
using rtest::TestScene;

// A tetrahedron with outward normals and full neighbour tables, or one open triangle.
struct Mesh {
  std::vector<_QLV_VECTOR> vertices, centers, normals, volume;
  std::vector<_QLV_FACE> faces, neighbours;
  std::vector<uint8_t> lit, contour;
  _QLV_OBJECT object{};

  void Finish() {
    const size_t n = faces.size();
    centers.resize(n);
    for (size_t f = 0; f < n; f++) {
      const _QLV_VECTOR &a = vertices[faces[f].a], &b = vertices[faces[f].b], &c = vertices[faces[f].c];
      centers[f] = {(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3};
    }
    lit.assign(n, 7);
    contour.assign(3 * n, 7);
    object.visible = true;
    object.castshadow = true;
    object.facecount = (int32_t)n;
    object.vertexcount = (int32_t)vertices.size();
    object.vertices = vertices.data();
    object.faces = faces.data();
    object.neighbours = neighbours.empty() ? nullptr : neighbours.data();
    object.facecenters = centers.data();
    object.facenormals = normals.data();
    object.lightvisible = lit.data();
    object.contour = contour.data();
  }
};

Mesh Tetrahedron() {
  Mesh m;
  m.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  m.faces = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
  const float k = 0.57735027f;
  m.normals = {{0, 0, -1}, {0, -1, 0}, {-1, 0, 0}, {k, k, k}};
  // Neighbour e of face f shares the edge (vertex e, vertex e + 1).
  m.neighbours = {{2, 3, 1}, {0, 3, 2}, {1, 3, 0}, {0, 2, 1}};
  m.Finish();
  return m;
}

int Set(const std::vector<uint8_t> &v) {
  int n = 0;
  for (uint8_t b : v) n += b != 0;
  return n;
}

TEST(RenderShadow, FaceAccessorsTakeTheEntryModuloThree) {
  Mesh m = Tetrahedron();
  EXPECT_EQ(FaceNeighbour(&m.object, 0, 4), 3);
  EXPECT_EQ(FaceVertex(&m.object, 3, 2), 3);
  EXPECT_EQ(FaceVertex(&m.object, 3, 5), 3);
  SetFaceNeighbour(&m.object, 1, 7, 9);
  EXPECT_EQ(m.neighbours[1].b, 9);
  m.object.neighbours = nullptr;
  EXPECT_EQ(FaceNeighbour(&m.object, 1, 0), -1);
}

TEST(RenderShadow, LitFacesUseAStrictTest) {
  Mesh m = Tetrahedron();
  const _QLV_VECTOR light = {0, 0, -5}, zero = {0, 0, 0};
  ShadowFacesLit(&m.object, &light, &zero);
  // (c - light) . n > 0: the faces that turn away from the light, the bottom face not.
  EXPECT_EQ(m.lit, (std::vector<uint8_t>{0, 0, 0, 1}));
  // A light in the plane of face 1 (y = 0) gives exactly 0 there: unlit.
  const _QLV_VECTOR inPlane = {5, 0, 5};
  ShadowFacesLit(&m.object, &inPlane, &zero);
  EXPECT_EQ(m.lit[1], 0);
  // The offset moves the faces, not the light.
  const _QLV_VECTOR offset = {0, 0, -10};
  ShadowFacesLit(&m.object, &light, &offset);
  EXPECT_EQ(m.lit, (std::vector<uint8_t>{1, 0, 0, 0}));
}

TEST(RenderShadow, SilhouetteOfClosedAndOpenMeshes) {
  Mesh m = Tetrahedron();
  m.lit = {0, 0, 0, 1};
  ShadowContour(&m.object);
  // Only the lit face's three edges border unlit faces.
  EXPECT_EQ(Set(m.contour), 3);
  EXPECT_TRUE(m.contour[9] && m.contour[10] && m.contour[11]);
  m.lit = {1, 1, 1, 1};
  ShadowContour(&m.object);
  EXPECT_EQ(Set(m.contour), 0);

  Mesh open;
  open.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  open.faces = {{0, 1, 2}};
  open.normals = {{0, 0, 1}};
  open.neighbours = {{-1, 5, -1}};  // 5 lies outside the object: an open edge too
  open.Finish();
  open.lit = {1};
  ShadowContour(&open.object);
  EXPECT_EQ(open.contour, (std::vector<uint8_t>{1, 1, 1}));
}

TEST(RenderShadow, QuadsExtrudeAwayFromTheLight) {
  TestScene t;
  Mesh m;
  m.vertices = {{2, 0, 0}, {0, 2, 0}, {0, 0, 0}};
  m.faces = {{0, 1, 2}};
  m.normals = {{0, 0, 1}};
  m.neighbours = {{-1, -1, -1}};
  m.Finish();
  m.volume.resize(12);
  t.scene.volumearray = m.volume.data();
  t.objects.push_back(m.object);
  t.Sync();
  m.contour = {1, 0, 0};
  t.objects[0].contour = m.contour.data();
  VolumeExtrusion = 1000;
  const _QLV_VECTOR light = {0, 0, 0}, offset = {0, 0, 1};
  ShadowVolumeBuild(&t.scene, &t.objects[0], &light, &offset);
  ASSERT_EQ(t.scene.volumequadcount, 1);
  // A = (2, 0, 1), 2.236 from the light, goes to A + 1000 (A - light).
  const _QLV_VECTOR expect[4] = {{2, 0, 1}, {2002, 0, 1001}, {0, 2002, 1001}, {0, 2, 1}};
  for (int i = 0; i < 4; i++) {
    EXPECT_FLOAT_EQ(m.volume[i].x, expect[i].x) << i;
    EXPECT_FLOAT_EQ(m.volume[i].y, expect[i].y) << i;
    EXPECT_FLOAT_EQ(m.volume[i].z, expect[i].z) << i;
  }
  // Never beyond the capacity of three quads per face of the scene.
  m.contour = {1, 1, 1};
  ShadowVolumeBuild(&t.scene, &t.objects[0], &light, &offset);
  EXPECT_EQ(t.scene.volumequadcount, 3);
}

class ShadowPass : public rtest::Fixture {};

TEST_F(ShadowPass, StencilPassDrawsFrontThenBackFacesOfEachCaster) {
  TestScene t;
  Mesh a = Tetrahedron(), b = Tetrahedron(), c = Tetrahedron();
  b.object.castshadow = false;
  c.object.visible = false;
  std::vector<_QLV_VECTOR> volume(12 * 12);
  t.scene.volumearray = volume.data();
  t.scene.volumebuffer = 5;
  t.scene.volumeindexbuffer = 6;
  t.scene.volumelength = 1000;
  t.objects = {a.object, b.object, c.object};
  t.Sync();
  const _QLV_VECTOR light = {0, 0, -5};
  DrawShadowVolumes(&t.scene, &light, 0);
  EXPECT_EQ(VolumeExtrusion, 1000.0f);
  EXPECT_EQ(t.scene.volumequadcount, 3);
  const auto data = Only("glBufferDataARB");
  ASSERT_EQ(data.size(), 1u);  // one caster
  EXPECT_EQ(data[0].args, (std::vector<double>{GL_ARRAY_BUFFER_ARB, 3 * 48, GL_DYNAMIC_DRAW_ARB}));
  const auto draws = Only("glDrawElements");
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0].args[1], 18);
  const long inc = Find("glStencilOp", {GL_KEEP, GL_KEEP, GL_INCR});
  const long dec = Find("glStencilOp", {GL_KEEP, GL_KEEP, GL_DECR});
  const long d0 = Find("glDrawElements"), d1 = Find("glDrawElements", {}, d0 + 1);
  EXPECT_TRUE(inc < d0 && Find("glCullFace", {GL_BACK}, inc) < d0);
  EXPECT_TRUE(d0 < dec && dec < d1 && Find("glCullFace", {GL_FRONT}, dec) < d1);
  EXPECT_GE(Find("glColorMask", {0, 0, 0, 0}), 0);
  EXPECT_GE(Find("glStencilFunc", {GL_ALWAYS, 0, 4294967295.0}), 0);
  // Afterwards: colour on, depth writes on, the stencil test left enabled.
  EXPECT_GT(Find("glColorMask", {1, 1, 1, 1}), d1);
  EXPECT_GT(Find("glDepthMask", {GL_TRUE}), d1);
  EXPECT_EQ(Find("glDisable", {GL_STENCIL_TEST}), -1);
  // Both buffers unbound after the last draw, so client-memory drawing that follows
  // reads no stale binding.
  const auto binds = Only("glBindBufferARB");
  ASSERT_GE(binds.size(), 2u);
  EXPECT_GT(Find("glBindBufferARB", {GL_ARRAY_BUFFER_ARB, 0}), d1);
  EXPECT_GT(Find("glBindBufferARB", {GL_ELEMENT_ARRAY_BUFFER_ARB, 0}), d1);
  EXPECT_EQ(binds.back().args[1], 0);
  EXPECT_EQ(binds[binds.size() - 2].args[1], 0);
}

// A scene without its volume buffers (never prepared) would make the pointers
// client pointers at null: nothing is drawn.
TEST_F(ShadowPass, NoVolumeBuffersDrawNothing) {
  TestScene t;
  Mesh a = Tetrahedron();
  std::vector<_QLV_VECTOR> volume(12 * 4);
  t.scene.volumearray = volume.data();
  t.objects = {a.object};
  t.Sync();
  const _QLV_VECTOR light = {0, 0, -5};
  DrawShadowVolumes(&t.scene, &light, 0);
  EXPECT_EQ(Count("glDrawElements"), 0u);
  EXPECT_EQ(Count("glVertexPointer"), 0u);
  EXPECT_GE(Find("glColorMask", {1, 1, 1, 1}), 0);
}

}  // namespace
