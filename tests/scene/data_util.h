// Shared helpers of the scene-data tests: a scratch directory with the framework's log
// in it, a byte-exact chunk stream builder, a small scene held in vectors, recording
// buffer-object entries and the tracked-memory total.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/main.h"
#include "base/mem.h"
#include "presentation/bindings.h"
#include "presentation/gl.h"
#include "scene/records.h"
#include "scene/scenefile.h"

namespace scene_data_test {

inline std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Little-endian chunk stream, written byte by byte so the reader is held to the
// format rather than to the writer.
struct Stream {
  std::string bytes;

  void U8(uint8_t v) { bytes.push_back(static_cast<char>(v)); }
  void I32(int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; i++) U8(static_cast<uint8_t>(u >> (8 * i)));
  }
  void F32(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    I32(static_cast<int32_t>(u));
  }
  void Header(uint8_t type, uint8_t id, int32_t count, int32_t size, int32_t packed, int32_t index) {
    U8('T'), U8('!'), U8(type), U8(id);
    I32(count), I32(size), I32(packed), I32(index);
  }
  // A chunk with its payload; size is count x the element size of type.
  void Chunk(uint8_t type, uint8_t id, int32_t count, int32_t index, const std::string &payload) {
    Header(type, id, count, static_cast<int32_t>(payload.size()), 0, index);
    bytes += payload;
  }
  void Int(uint8_t id, int32_t v, int32_t index = 0) { Chunk(3, id, 1, index, Le(v)); }
  void Float(uint8_t id, float v, int32_t index = 0) {
    Stream s;
    s.F32(v);
    Chunk(4, id, 1, index, s.bytes);
  }
  void Byte(uint8_t type, uint8_t id, uint8_t v, int32_t index = 0) { Chunk(type, id, 1, index, std::string(1, char(v))); }
  void Name(uint8_t id, const std::string &name, int32_t index = 0) {
    std::string image(256, '\0');
    image[0] = static_cast<char>(name.size());
    image.replace(1, name.size(), name);
    Chunk(8, id, 1, index, image);
  }
  void Floats(uint8_t type, uint8_t id, int32_t count, int32_t index, std::initializer_list<float> values) {
    Stream s;
    for (float f : values) s.F32(f);
    Chunk(type, id, count, index, s.bytes);
  }
  void Ints(uint8_t type, uint8_t id, int32_t count, int32_t index, std::initializer_list<int32_t> values) {
    Stream s;
    for (int32_t v : values) s.I32(v);
    Chunk(type, id, count, index, s.bytes);
  }
  static std::string Le(int32_t v) {
    Stream s;
    s.I32(v);
    return s.bytes;
  }
};

// Moves into a fresh directory and starts the framework with the log in "data.log".
class SceneData : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("korv-scenedata-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
            std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    static const char *argv[] = {"scenedata-test", "-v", "-debug-log", "data.log"};
    SYS_BaseInit(nullptr, 4, argv, nullptr);
    InitSceneFileUnit();
    // The shared string buffer grows once to its full size, so it does not show up
    // as a change in the tracked total.
    PasStr(std::string(300, 'x'));
  }
  void TearDown() override {
    // The log keeps the name it was first given until the framework shuts down.
    SYS_BaseDone();
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(dir_);
  }
  std::string Log() const { return ReadFile((dir_ / "data.log").string()); }

  // Bytes held by the tracked allocator now.
  static unsigned long long TrackedBytes() {
    SYS_MemInfo("mem.txt");
    const std::string text = ReadFile("mem.txt");
    const size_t p = text.find("Total: ");
    return p == std::string::npos ? ~0ull : std::stoull(text.substr(p + 7));
  }

  std::filesystem::path dir_;
};

// Buffer-object entries that record what preparation uploads.
struct BufferCall {
  std::string op;
  GLenum target;
  GLuint id;
  GLsizeiptrARB size;
  std::vector<uint8_t> data;
  GLenum usage;
};
inline std::vector<BufferCall> g_buffers;
inline GLuint g_nextBuffer = 1;

inline void RecGen(GLsizei n, GLuint *ids) {
  for (GLsizei i = 0; i < n; i++) {
    ids[i] = g_nextBuffer++;
    g_buffers.push_back({"gen", 0, ids[i], 0, {}, 0});
  }
}
inline void RecBind(GLenum target, GLuint id) { g_buffers.push_back({"bind", target, id, 0, {}, 0}); }
inline void RecData(GLenum target, GLsizeiptrARB size, const void *data, GLenum usage) {
  const uint8_t *p = static_cast<const uint8_t *>(data);
  g_buffers.push_back({"data", target, 0, size, p ? std::vector<uint8_t>(p, p + size) : std::vector<uint8_t>{}, usage});
}
inline void RecDelete(GLsizei n, const GLuint *ids) {
  for (GLsizei i = 0; i < n; i++) g_buffers.push_back({"delete", 0, ids[i], 0, {}, 0});
}

inline void InstallBufferRecorder() {
  g_buffers.clear();
  g_nextBuffer = 1;
  pgl::glGenBuffersARB = RecGen;
  pgl::glBindBufferARB = RecBind;
  pgl::glBufferDataARB = RecData;
  pgl::glDeleteBuffersARB = RecDelete;
}

// A small scene held in vectors: two materials, a textured quad of two triangles
// with keys, a plain triangle, an object without geometry, camera and light keys.
struct SmallScene {
  _QLV_SCENE scene{};
  std::vector<_QLV_MATERIAL> materials;
  std::vector<_QLV_OBJECT> objects;
  std::vector<_QLV_VECTOR> quadVertices{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  std::vector<_QLV_FACE> quadFaces{{0, 1, 2}, {2, 3, 0}};
  std::vector<_QLV_FACE> quadNeighbours{{-1, 1, -1}, {-1, -1, 0}};
  std::vector<_QLV_VECTOR> quadNormals{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
  std::vector<_QLV_RGB> quadColors{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
  std::vector<_QLV_TEXTCOORD> quadUV{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  std::vector<uint16_t> quadStrip{0, 1, 3, 2};
  std::vector<_QLV_KEYVECTOR> quadPos{{0, 1, 2, 3}, {50, -1, -2, -3.5f}};
  std::vector<_QLV_KEYQUAT> quadRot{{0, 0.1f, 0.2f, 0.3f, 0.9f}};
  std::vector<_QLV_KEYVECTOR> quadScale{{10, 1, 1, 1}};
  std::vector<_QLV_VECTOR> triVertices{{0, 0, 0}, {2, 0, 0}, {0, 2, 1}};
  std::vector<_QLV_FACE> triFaces{{0, 1, 2}};
  std::vector<_QLV_FACE> triNeighbours{{-1, -1, -1}};
  std::vector<_QLV_KEYVECTOR> camPos{{0, 0, -10, 2}, {100, 5, -10, 2}, {200, 5, 5, 2}};
  std::vector<_QLV_KEYVECTOR> camTarget{{0, 0, 0, 0}, {200, 1, 1, 0}};
  std::vector<_QLV_KEYVECTOR> lightPos{{0, 10, 10, 10}, {60, -10, 10, 10}};

  SmallScene() {
    scene.name = "hall";
    scene.sparevalue = 1234;
    scene.camerafov = 0.785398f;
    scene.cameranear = 0.5f;
    scene.camerafar = 4000.0f;
    scene.culldistance = 250.0f;
    scene.lightscale = 1.5f;

    materials.resize(2);
    _QLV_MATERIAL &wood = materials[0];
    wood.name = "Wood";
    wood.texturename = "wood.tga";
    wood.envmaptexture = "env.jpg";
    wood.transparency = 0.25f;
    wood.utile = 2.0f;
    wood.vtile = 3.0f;
    wood.bitdepth = 24;
    wood.textured = true;
    wood.ambient = {0.1f, 0.2f, 0.3f};
    wood.diffuse = {0.4f, 0.5f, 0.6f};
    wood.specular = {0.7f, 0.8f, 0.9f};
    wood.shine = 40;
    wood.envmap = true;
    wood.magtype = 3;
    wood.receivelight = true;
    wood.alphatest = 0.5f;
    wood.depthtest = 1;
    wood.blend = 2;
    wood.texturewrap = 1;
    wood.constantalpha = 0.75f;
    wood.flaresize = 12.5f;
    wood.depthfunc = 1;
    wood.envcolor = {0.3f, 0.3f, 0.1f};
    wood.envalpha = 0.6f;
    wood.envalphablend = true;
    materials[1].name = "Plain";
    materials[1].bitdepth = 32;
    materials[1].diffuse = {1, 1, 1};

    objects.resize(3);
    _QLV_OBJECT &quad = objects[0];
    quad.name = "quad";
    quad.rendermode = 1;
    quad.hasnormals = quad.hastexcoords = quad.hascolors = quad.visible = true;
    quad.vertexcount = 4;
    quad.facecount = 2;
    quad.material = 0;
    quad.poskeycount = 2;
    quad.rotkeycount = 1;
    quad.scalekeycount = 1;
    quad.stripcount = 4;
    quad.backfacecull = true;
    quad.passno = 1;
    quad.cullmode = 1;
    for (int r = 0; r < 4; r++)
      for (int c = 0; c < 4; c++) quad.matrix.m[r][c] = float(r * 4 + c);
    quad.pivot = {0.5f, 0.5f, 0};
    quad.velocity = {0.01f, 0, 0};
    quad.castshadow = quad.lightscaled = quad.fog = true;
    quad.fogmode = 2;
    quad.fogparam = {0.05f, 1, 100};
    quad.fogcolor = {0.2f, 0.3f, 0.4f, 1};
    _QLV_PARTICLEDATA &p = quad.particle;
    p.particleenabled = true;
    p.deltavector = {0, 0, 1};
    p.deltavectorspread = {0.1f, 0.1f, 0};
    p.color = {1, 0.5f, 0};
    p.colorspread = {0.1f, 0.2f, 0.3f};
    p.colorattrib = 5;
    p.power = 1;
    p.deltapower = -0.01f;
    p.newparticle = 3;
    p.particletexture = "spark.tga";
    p.size = 2.5f;
    quad.vertices = quadVertices.data();
    quad.faces = quadFaces.data();
    quad.edgefaces = quadFaces.data();
    quad.neighbours = quadNeighbours.data();
    quad.normals = quadNormals.data();
    quad.colors = quadColors.data();
    quad.texcoords = quadUV.data();
    quad.strip = quadStrip.data();
    quad.poskeys = quadPos.data();
    quad.rotkeys = quadRot.data();
    quad.scalekeys = quadScale.data();

    _QLV_OBJECT &tri = objects[1];
    tri.name = "tri";
    tri.vertexcount = 3;
    tri.facecount = 1;
    tri.material = 1;
    tri.visible = true;
    tri.vertices = triVertices.data();
    tri.faces = triFaces.data();
    tri.edgefaces = triFaces.data();
    tri.neighbours = triNeighbours.data();

    objects[2].name = "empty";
    objects[2].material = 1;

    scene.materialcount = 2;
    scene.objectcount = 3;
    scene.materials = materials.data();
    scene.objects = objects.data();
    scene.camposkeycount = 3;
    scene.camtargetkeycount = 2;
    scene.camposkeys = camPos.data();
    scene.camtargetkeys = camTarget.data();
    for (int i = 0; i < kQlvLightCount; i++) scene.lights[i].name = "light" + std::to_string(i);
    _QLV_LIGHT &sun = scene.lights[2];
    sun.pos = {1, 2, 3};
    sun.ambient = {0.1f, 0.1f, 0.1f};
    sun.diffuse = {0.9f, 0.9f, 0.8f};
    sun.specular = {1, 1, 1};
    sun.enabled = true;
    sun.poskeycount = 2;
    sun.poskeys = lightPos.data();
  }
};

}  // namespace scene_data_test
