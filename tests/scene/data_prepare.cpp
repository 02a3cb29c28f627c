// Preparation after loading (derived geometry, neighbours, shadow-volume arrays,
// buffer objects) and the scene textures: those that need no image file, and the
// references a scene takes and gives back.
#include <gtest/gtest.h>

#include <random>

#include "data_util.h"
#include "presentation/texloader.h"
#include "presentation/textures.h"
#include "scene/counters.h"
#include "scene/prepare.h"
#include "scene/scenefile.h"
#include "scene/scenetex.h"

namespace {

using scene_data_test::BufferCall;
using scene_data_test::SceneData;
using scene_data_test::SmallScene;
using scene_data_test::Stream;

class ScenePrep : public SceneData {
 protected:
  void SetUp() override {
    SceneData::SetUp();
    scene_data_test::InstallBufferRecorder();
  }
  // Saves small, loads it back (which prepares it) into loaded_.
  void Load(SmallScene &small) {
    ASSERT_EQ(SceneSave(&small.scene, "prep.qlv"), 0) << Log();
    scene_data_test::g_buffers.clear();
    ASSERT_EQ(SceneLoad(&loaded_, "prep.qlv"), 0) << Log();
  }
  void TearDown() override {
    SceneFree(&loaded_);
    SceneData::TearDown();
  }
  _QLV_SCENE loaded_{};
};

// The pairwise search as the format's tools have always run it.
std::vector<_QLV_FACE> PairwiseNeighbours(const std::vector<_QLV_FACE> &edges) {
  const int32_t fc = int32_t(edges.size());
  std::vector<_QLV_FACE> n(edges.size(), _QLV_FACE{-1, -1, -1});
  auto at = [](const _QLV_FACE &f, int k) -> int32_t { return k == 0 ? f.a : k == 1 ? f.b : f.c; };
  auto set = [](_QLV_FACE &f, int k, int32_t v) { (k == 0 ? f.a : k == 1 ? f.b : f.c) = v; };
  for (int32_t i = 0; i < fc - 1; i++)
    for (int32_t j = i + 1; j < fc; j++)
      for (int ki = 0; ki < 3; ki++) {
        if (at(n[i], ki) != -1) continue;
        const int32_t a0 = at(edges[i], ki), a1 = at(edges[i], (ki + 1) % 3);
        for (int kj = 0; kj < 3; kj++) {
          const int32_t b0 = at(edges[j], kj), b1 = at(edges[j], (kj + 1) % 3);
          if ((a0 == b0 && a1 == b1) || (a0 == b1 && a1 == b0)) {
            set(n[i], ki, j);
            set(n[j], kj, i);
          }
        }
      }
  return n;
}

TEST(SceneNeighbours, MatchThePairwiseSearch) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; round++) {
    // Few vertices, so edges are shared by two, three or more faces, and faces with a
    // repeated vertex (degenerate edges) occur too.
    const int32_t vertices = 3 + int32_t(rng() % 6), faces = 1 + int32_t(rng() % 40);
    std::vector<_QLV_FACE> edges(static_cast<size_t>(faces)), neighbours(static_cast<size_t>(faces), _QLV_FACE{7, 7, 7});
    for (auto &f : edges) f = {int32_t(rng() % vertices), int32_t(rng() % vertices), int32_t(rng() % vertices)};
    _QLV_OBJECT obj{};
    obj.facecount = faces;
    obj.edgefaces = edges.data();
    obj.neighbours = neighbours.data();
    FindNeighbours(&obj);
    const std::vector<_QLV_FACE> expected = PairwiseNeighbours(edges);
    for (int32_t f = 0; f < faces; f++) {
      ASSERT_EQ(neighbours[f].a, expected[f].a) << "round " << round << " face " << f;
      ASSERT_EQ(neighbours[f].b, expected[f].b) << "round " << round << " face " << f;
      ASSERT_EQ(neighbours[f].c, expected[f].c) << "round " << round << " face " << f;
    }
  }
}

TEST(SceneTangents, UnitTriangleAndDegenerateAxes) {
  const _QLV_VECTOR p0{0, 0, 0}, p1{1, 0, 0}, p2{0, 1, 0};
  _QLV_VECTOR t0, t1, t2;
  const _QLV_TEXTCOORD uv0{0, 0}, uv1{1, 0}, uv2{0, 1};
  TexCoordToVector(&uv0, &t0);
  TexCoordToVector(&uv1, &t1);
  TexCoordToVector(&uv2, &t2);
  EXPECT_EQ(t1.x, 1.0f);
  EXPECT_EQ(t1.z, 0.0f);
  _QLV_VECTOR tangent{9, 9, 9}, binormal{9, 9, 9};
  FaceTangents(&p0, &p1, &p2, &t0, &t1, &t2, &tangent, &binormal);
  EXPECT_FLOAT_EQ(tangent.x, 1.0f);
  EXPECT_FLOAT_EQ(tangent.y, 0.0f);
  EXPECT_FLOAT_EQ(binormal.x, 0.0f);
  EXPECT_FLOAT_EQ(binormal.y, 1.0f);
  EXPECT_EQ(tangent.z, 0.0f);
  EXPECT_EQ(binormal.z, 0.0f);
  // Equal texture coordinates: every axis is degenerate.
  _QLV_VECTOR t{5, 6, 7}, b{1, 2, 3};
  FaceTangents(&p0, &p1, &p2, &t0, &t0, &t0, &t, &b);
  EXPECT_EQ(t.x, 5.0f);
  EXPECT_EQ(t.y, 6.0f);
  EXPECT_EQ(b.z, 3.0f);
}

TEST_F(ScenePrep, DerivedGeometryAndDefaults) {
  SmallScene small;
  small.triVertices[2] = {4, 0, 0};  // the triangle becomes a line
  Load(small);
  const _QLV_OBJECT &quad = loaded_.objects[0], &tri = loaded_.objects[1];
  for (int i = 0; i < 2; i++) EXPECT_EQ(loaded_.materials[i].bitdepth, 24);
  EXPECT_EQ(loaded_.passcount, 1);
  EXPECT_EQ(loaded_.maxfacecount, 2);
  EXPECT_FLOAT_EQ(loaded_.volumelength, 1000.0f);
  EXPECT_EQ(quad.rotation.x, 0.0f);
  // (V[a] - V[b]) x (V[c] - V[b]) for (0,0,0), (1,0,0), (1,1,0).
  EXPECT_FLOAT_EQ(quad.facenormals[0].z, -1.0f);
  EXPECT_FLOAT_EQ(quad.facenormals[0].x, 0.0f);
  EXPECT_FLOAT_EQ(quad.facecenters[0].x, 2.0f / 3.0f);
  EXPECT_FLOAT_EQ(quad.facecenters[0].y, 1.0f / 3.0f);
  EXPECT_FLOAT_EQ(quad.facecenters[1].x, 1.0f / 3.0f);
  EXPECT_EQ(tri.facenormals[0].x, 0.0f);  // zero area: the zero vector
  EXPECT_EQ(tri.facenormals[0].y, 0.0f);
  EXPECT_EQ(tri.facenormals[0].z, 0.0f);
  // Only a face's first vertex gets a tangent: vertices 0 and 2 here.
  EXPECT_FLOAT_EQ(quad.tangents[0].x, 1.0f);
  EXPECT_FLOAT_EQ(quad.binormals[0].y, 1.0f);
  EXPECT_FLOAT_EQ(quad.tangents[2].x, 1.0f);
  EXPECT_EQ(quad.tangents[1].x, 0.0f);
  EXPECT_EQ(quad.tangents[3].y, 0.0f);
  EXPECT_EQ(tri.tangents[0].x, 0.0f);  // no texture coordinates
  EXPECT_NE(loaded_.camposease, nullptr);
  EXPECT_NE(loaded_.camtargetease, nullptr);
  // Three faces in all: nine quads of two triangles each.
  ASSERT_NE(loaded_.volumeindex, nullptr);
  for (uint32_t q = 0; q < 9; q++) {
    const uint32_t *t = loaded_.volumeindex + 6 * q;
    EXPECT_EQ(t[0], 4 * q);
    EXPECT_EQ(t[1], 4 * q + 1);
    EXPECT_EQ(t[2], 4 * q + 2);
    EXPECT_EQ(t[3], 4 * q + 2);
    EXPECT_EQ(t[4], 4 * q + 3);
    EXPECT_EQ(t[5], 4 * q);
  }
}

TEST_F(ScenePrep, CameraEaseNeedsBothTracks) {
  SmallScene small;
  small.scene.camtargetkeycount = 0;
  Load(small);
  EXPECT_EQ(loaded_.camposkeycount, 3);
  EXPECT_EQ(loaded_.camposease, nullptr);
  EXPECT_EQ(loaded_.camtargetease, nullptr);
}

TEST_F(ScenePrep, BufferObjectsInOrder) {
  SmallScene small;
  Load(small);
  using Calls = std::vector<BufferCall>;
  const Calls &c = scene_data_test::g_buffers;
  std::vector<std::string> ops;
  for (const BufferCall &b : c) ops.push_back(b.op);
  // Index buffer (generated, bound, uploaded), volume buffer (generated only), then
  // per object four generated and bound buffers, data only where the table says.
  const std::vector<std::string> expected = {
      "gen", "bind", "data", "gen",                                                // scene
      "gen", "bind", "data", "gen", "bind", "data", "gen", "bind", "data", "gen", "bind", "data",  // quad
      "gen", "bind", "data", "gen", "bind", "data", "gen", "bind", "gen", "bind",  // tri: no normals, no UV
      "gen", "bind", "gen", "bind", "gen", "bind", "gen", "bind",                  // empty
      "bind", "bind"};                                                             // unbound again
  ASSERT_EQ(ops, expected);
  EXPECT_EQ(c[1].target, GLenum(GL_ELEMENT_ARRAY_BUFFER_ARB));
  EXPECT_EQ(c[2].size, 3 * 72);
  EXPECT_EQ(c[2].usage, GLenum(GL_DYNAMIC_DRAW_ARB));
  EXPECT_EQ(loaded_.volumeindexbuffer, int32_t(c[0].id));
  EXPECT_EQ(loaded_.volumebuffer, int32_t(c[3].id));
  const _QLV_OBJECT &quad = loaded_.objects[0];
  EXPECT_EQ(quad.vertexbuffer, int32_t(c[4].id));
  EXPECT_EQ(c[5].target, GLenum(GL_ARRAY_BUFFER_ARB));
  EXPECT_EQ(c[6].size, 48);
  EXPECT_EQ(c[6].usage, GLenum(GL_STATIC_DRAW_ARB));
  EXPECT_EQ(std::memcmp(c[6].data.data(), small.quadVertices.data(), 48), 0);
  EXPECT_EQ(c[8].target, GLenum(GL_ELEMENT_ARRAY_BUFFER_ARB));
  EXPECT_EQ(c[9].size, 24);
  EXPECT_EQ(c[12].size, 48);  // normals
  EXPECT_EQ(c[15].size, 32);  // texture coordinates: the material is textured
  EXPECT_EQ(quad.texcoordbuffer, int32_t(c[13].id));
  EXPECT_EQ(c[34].id, 0u);
  EXPECT_EQ(c[35].id, 0u);
}

// Configuration text may texture the material after loading, and the renderer then
// binds the texture-coordinate buffer: it must hold the coordinates already.
TEST_F(ScenePrep, UntexturedMaterialStillUploadsTextureCoordinates) {
  SmallScene small;
  small.materials[0].textured = false;
  Load(small);
  const auto &c = scene_data_test::g_buffers;
  int uploads = 0;
  for (const BufferCall &b : c) uploads += b.op == "data";
  EXPECT_EQ(uploads, 1 + 3 + 2 + 1);
  ASSERT_GT(c.size(), 15u);
  EXPECT_EQ(c[15].op, "data");
  EXPECT_EQ(c[15].size, 32);
  EXPECT_EQ(loaded_.objects[0].texcoordbuffer, int32_t(c[13].id));
}

// Two triangles sharing the edge 1-2 and a file-given table that says otherwise.
std::string TwoFaceFile(uint8_t minor, bool withNeighbours) {
  Stream s;
  s.Byte(1, 1, 1);
  s.Byte(1, 2, minor);
  s.Name(3, "old");
  s.Int(5, 1);
  s.Int(6, 1);
  s.Int(34, 4);
  s.Int(35, 2);
  s.Floats(6, 51, 4, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0});
  s.Ints(9, 52, 2, 0, {0, 1, 2, 2, 1, 3});
  s.Ints(9, 99, 2, 0, {0, 1, 2, 2, 1, 3});
  if (withNeighbours) s.Ints(9, 86, 2, 0, {-1, -1, -1, -1, -1, -1});
  return s.bytes;
}

TEST_F(ScenePrep, NeighboursAreDerivedOnlyWhereTheFileLacksThem) {
  struct Case {
    uint8_t minor;
    bool withNeighbours;
    bool derived;
  } cases[] = {{1, true, true}, {0, true, true}, {2, true, false}, {2, false, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "minor " << int(c.minor) << " chunk 86 " << c.withNeighbours);
    scene_data_test::WriteFile("old.qlv", TwoFaceFile(c.minor, c.withNeighbours));
    _QLV_SCENE scene{};
    ASSERT_EQ(SceneLoad(&scene, "old.qlv"), 0) << Log();
    const _QLV_FACE *n = scene.objects[0].neighbours;
    ASSERT_NE(n, nullptr);
    if (c.derived) {
      EXPECT_EQ(n[0].a, -1);
      EXPECT_EQ(n[0].b, 1);
      EXPECT_EQ(n[0].c, -1);
      EXPECT_EQ(n[1].a, 0);
      EXPECT_EQ(n[1].b, -1);
    } else {
      EXPECT_EQ(n[0].b, -1);
      EXPECT_EQ(n[1].a, -1);
    }
    SceneFree(&scene);
  }
}

// The renderer draws only from buffer objects; a scene it could only draw through
// null client pointers is refused, with every block given back.
TEST_F(ScenePrep, NoBufferEntriesRefuseTheScene) {
  SmallScene small;
  ASSERT_EQ(SceneSave(&small.scene, "prep.qlv"), 0);
  const unsigned long long before = TrackedBytes();
  for (auto clear : {+[] { pgl::glGenBuffersARB = nullptr; }, +[] { pgl::glBufferDataARB = nullptr; }}) {
    scene_data_test::InstallBufferRecorder();
    clear();
    EXPECT_EQ(SceneLoad(&loaded_, "prep.qlv"), -1);
    EXPECT_EQ(loaded_.objects, nullptr);
    EXPECT_EQ(loaded_.volumearray, nullptr);
    EXPECT_EQ(TrackedBytes(), before);
  }
  EXPECT_NE(Log().find("hall: no buffer objects, scene refused"), std::string::npos);
  scene_data_test::InstallBufferRecorder();
}

// Textures that need no image: the render-target name, untextured materials and
// emitters without a texture name never reach the texture table.
TEST_F(ScenePrep, TexturesWithoutFiles) {
  TexInit();
  SmallScene small;
  small.materials[0].texturename = "$framebuffer$.jpg";
  small.materials[0].envmap = false;
  small.materials[0].bitdepth = 32;
  small.objects[0].particle.particletexture = "";
  FramebufferTexture[0] = 77;
  SceneLoadTextures(&small.scene, "textures");
  EXPECT_EQ(small.materials[0].texture, 77);
  EXPECT_EQ(small.materials[0].bitdepth, 32);
  EXPECT_EQ(small.materials[1].texture, 0);
  EXPECT_EQ(small.materials[1].envtexture, 0);
  EXPECT_EQ(small.objects[0].particle.texture, 0);
  for (const txNode &node : TexTable) ASSERT_TRUE(node.free);
  SceneReleaseTextures(&small.scene);  // the render-target id is not in the table
  EXPECT_EQ(small.materials[0].texture, 77);
  FramebufferTexture[0] = 0;
}

// A released scene gives back every texture reference it took, its materials'
// environment maps among them: the table stands as it did before, also for a map
// another scene still holds. The texture GL entries only hand out names here.
TEST_F(ScenePrep, ReleasedSceneGivesBackEveryTexture) {
  const auto genTextures = pgl::glGenTextures;
  const auto deleteTextures = pgl::glDeleteTextures;
  const auto bindTexture = pgl::glBindTexture;
  const auto texParameteri = pgl::glTexParameteri;
  const auto build2DMipmaps = pgl::gluBuild2DMipmaps;
  const auto getIntegerv = pgl::glGetIntegerv;
  const auto pixelStorei = pgl::glPixelStorei;
  static GLuint nextName;
  nextName = 1;
  pgl::glGenTextures = [](GLsizei n, GLuint *names) {
    for (GLsizei i = 0; i < n; i++) names[i] = nextName++;
  };
  pgl::glDeleteTextures = [](GLsizei, const GLuint *) {};
  pgl::glBindTexture = [](GLenum, GLuint) {};
  pgl::glTexParameteri = [](GLenum, GLenum, GLint) {};
  pgl::gluBuild2DMipmaps = [](GLenum, GLint, GLsizei, GLsizei, GLenum, GLenum, const void *) -> GLint { return 0; };
  pgl::glGetIntegerv = [](GLenum, GLint *v) { *v = 4; };
  pgl::glPixelStorei = [](GLenum, GLint) {};

  InitTextureLoader();
  TexInit();
  std::filesystem::create_directories("textures");
  for (const char *name : {"wood.tga", "env.tga", "spark.tga"}) {
    std::string tga(18, '\0');  // 1 x 1, 24 bits, top-down
    tga[2] = 2, tga[12] = 1, tga[14] = 1, tga[16] = 24, tga[17] = 0x20;
    std::ofstream(std::string("textures/") + name, std::ios::binary) << tga << std::string(3, '\x40');
  }
  SmallScene small;
  small.materials[0].envmaptexture = "env.tga";
  const int32_t shared = TexLoad("textures/env.tga", 3);  // another scene's use of the map
  auto counts = [] {
    std::vector<int32_t> refs;
    for (const txNode &node : TexTable) refs.push_back(node.free ? 0 : node.refCount);
    return refs;
  };
  const std::vector<int32_t> before = counts();
  SceneLoadTextures(&small.scene, "textures");
  EXPECT_EQ(small.materials[0].envtexture, shared);
  EXPECT_NE(small.materials[0].texture, 0);
  EXPECT_NE(small.objects[0].particle.texture, 0);
  EXPECT_NE(counts(), before);
  SceneReleaseTextures(&small.scene);
  EXPECT_EQ(counts(), before);
  TexRelease(shared);
  for (const txNode &node : TexTable) EXPECT_TRUE(node.free);

  pgl::glGenTextures = genTextures;
  pgl::glDeleteTextures = deleteTextures;
  pgl::glBindTexture = bindTexture;
  pgl::glTexParameteri = texParameteri;
  pgl::gluBuild2DMipmaps = build2DMipmaps;
  pgl::glGetIntegerv = getIntegerv;
  pgl::glPixelStorei = pixelStorei;
}

}  // namespace
