// Scene file reader and writer: a hand-built chunk stream, the writer's layout, a
// round trip, the malformed cases and a truncate-and-mutate loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <random>

#include "data_util.h"
#include "scene/scenefile.h"
#include "scene/scenetex.h"

namespace {

using scene_data_test::SceneData;
using scene_data_test::SmallScene;
using scene_data_test::Stream;

// One chunk of a written file.
struct ChunkInfo {
  uint8_t type, id;
  int32_t count, size, packed, index;
  std::string payload;
};

std::vector<ChunkInfo> WalkChunks(const std::string &bytes) {
  std::vector<ChunkInfo> out;
  size_t p = 0;
  auto i32 = [&](size_t at) {
    int32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
  };
  while (p + 20 <= bytes.size()) {
    EXPECT_EQ(bytes.substr(p, 2), "T!") << "at " << p;
    ChunkInfo c{uint8_t(bytes[p + 2]), uint8_t(bytes[p + 3]), i32(p + 4), i32(p + 8), i32(p + 12), i32(p + 16), {}};
    c.payload = bytes.substr(p + 20, size_t(c.size));
    out.push_back(c);
    p += 20 + size_t(c.size);
  }
  EXPECT_EQ(p, bytes.size());
  return out;
}

class SceneFile : public SceneData {
 protected:
  void SetUp() override {
    SceneData::SetUp();
    scene_data_test::InstallBufferRecorder();
  }
};

// Minimal well-formed stream: one material, one triangle object.
Stream MinimalStream() {
  Stream s;
  s.Int(87, 12);
  s.Byte(1, 1, 1);
  s.Byte(1, 2, 2);
  s.Name(3, "mini");
  s.Int(5, 1);
  s.Int(6, 1);
  s.Name(12, "mat");
  s.Name(33, "tri");
  s.Int(34, 3);
  s.Int(35, 1);
  s.Floats(6, 51, 3, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0});
  s.Ints(9, 52, 1, 0, {0, 1, 2});
  s.Ints(9, 86, 1, 0, {-1, -1, -1});
  return s;
}

TEST_F(SceneFile, HandBuiltStreamIsAppliedFieldByField) {
  Stream s = MinimalStream();
  s.Float(7, 0.785f);
  s.Float(84, 99.5f);
  s.I32(0x12345678);                 // a 4-byte non-tag block between chunks is skipped
  s.Int(85, 7);                      // no such chunk: consumed
  s.Int(0, 7);                       // nor this one
  s.Int(120, 7);                     // nor ids above 99
  s.Byte(13, 25, 7);                 // material textured: any non-zero byte is true
  s.Floats(6, 30, 1, 0, {0.25f, 0.5f, 1.0f});
  s.Byte(13, 45, 2);                 // object visible
  s.Byte(1, 96, 2);                  // fogmode
  s.Floats(7, 98, 1, 0, {1, 2, 3, 4});
  s.Name(72, "sun", 3);
  s.Byte(13, 74, 1, 3);
  s.Floats(6, 75, 1, 3, {5, 6, 7});
  s.Chunk(3, 4, 2, 0, Stream::Le(4321));  // count 2 x 4 bytes is not 4: logged, still applied
  s.Int(36, 0);
  scene_data_test::WriteFile("mini.qlv", s.bytes);

  _QLV_SCENE scene{};
  scene.lightscale = 3.0f;  // no chunk 90: the caller's value stays
  ASSERT_EQ(SceneLoad(&scene, "mini.qlv"), 0) << Log();
  EXPECT_EQ(scene.chunkcount, 12);
  EXPECT_EQ(scene.versionmajor, 1);
  EXPECT_EQ(scene.versionminor, 2);
  EXPECT_EQ(std::string_view(scene.name), "mini");
  EXPECT_FLOAT_EQ(scene.camerafov, 0.785f);
  EXPECT_FLOAT_EQ(scene.culldistance, 99.5f);
  EXPECT_FLOAT_EQ(scene.lightscale, 3.0f);
  EXPECT_EQ(scene.sparevalue, 4321);
  EXPECT_FLOAT_EQ(scene.volumelength, 1000.0f);
  ASSERT_EQ(scene.materialcount, 1);
  const _QLV_MATERIAL &m = scene.materials[0];
  EXPECT_EQ(std::string_view(m.name), "mat");
  EXPECT_TRUE(m.textured);
  EXPECT_EQ(*reinterpret_cast<const uint8_t *>(&m.textured), 1);  // stored as 0/1
  EXPECT_FLOAT_EQ(m.ambient.b, 1.0f);
  EXPECT_EQ(m.bitdepth, 24);  // preparation's default
  EXPECT_EQ(m.shine, 0);      // no chunk: zero-filled
  EXPECT_TRUE(m.texturename.empty());
  ASSERT_EQ(scene.objectcount, 1);
  const _QLV_OBJECT &o = scene.objects[0];
  EXPECT_EQ(std::string_view(o.name), "tri");
  EXPECT_TRUE(o.visible);
  EXPECT_FALSE(o.backfacecull);
  EXPECT_EQ(o.fogmode, 2);
  EXPECT_FLOAT_EQ(o.fogcolor.a, 4.0f);
  EXPECT_FLOAT_EQ(o.vertices[1].x, 1.0f);
  EXPECT_EQ(o.faces[0].c, 2);
  EXPECT_EQ(o.neighbours[0].a, -1);
  EXPECT_EQ(std::string_view(scene.lights[3].name), "sun");
  EXPECT_TRUE(scene.lights[3].enabled);
  EXPECT_FLOAT_EQ(scene.lights[3].pos.z, 7.0f);
  EXPECT_EQ(scene.maxfacecount, 1);
  const std::string log = Log();
  EXPECT_NE(log.find("[qlv] load: mini.qlv"), std::string::npos);
  EXPECT_NE(log.find("Chunk size corruption !"), std::string::npos);
  SceneFree(&scene);
}

TEST_F(SceneFile, TagOffTheFourByteGridIsNotFound) {
  Stream s = MinimalStream();
  s.U8(0), s.U8(0);
  s.Int(4, 55);  // starts two bytes off the grid
  s.U8(0), s.U8(0);
  scene_data_test::WriteFile("off.qlv", s.bytes);
  _QLV_SCENE scene{};
  ASSERT_EQ(SceneLoad(&scene, "off.qlv"), 0) << Log();
  EXPECT_EQ(scene.sparevalue, 0);
  SceneFree(&scene);
}

TEST_F(SceneFile, PackedChunkIsConsumedNotApplied) {
  Stream s = MinimalStream();
  s.Header(3, 4, 1, 4, 6, 0);  // six packed bytes follow instead of four plain ones
  s.bytes += std::string(6, '\x01');  // the 4-byte grid restarts at the chunk's end
  s.Int(22, 17);               // material shine, read after the packed chunk
  scene_data_test::WriteFile("packed.qlv", s.bytes);
  _QLV_SCENE scene{};
  ASSERT_EQ(SceneLoad(&scene, "packed.qlv"), 0) << Log();
  EXPECT_EQ(scene.sparevalue, 0);
  EXPECT_EQ(scene.materials[0].shine, 17);
  SceneFree(&scene);
}

TEST_F(SceneFile, RepeatedChunksReplaceTheirBlocksWithoutLeaking) {
  const unsigned long long before = TrackedBytes();
  Stream s = MinimalStream();
  s.Int(5, 2);  // a second material list replaces the first
  s.Floats(6, 51, 3, 0, {5, 5, 5, 6, 6, 6, 7, 7, 7});
  scene_data_test::WriteFile("again.qlv", s.bytes);
  _QLV_SCENE scene{};
  ASSERT_EQ(SceneLoad(&scene, "again.qlv"), 0) << Log();
  EXPECT_EQ(scene.materialcount, 2);
  EXPECT_TRUE(scene.materials[0].name.empty());
  EXPECT_FLOAT_EQ(scene.objects[0].vertices[2].z, 7.0f);
  SceneFree(&scene);
  EXPECT_EQ(scene.materials, nullptr);
  EXPECT_EQ(TrackedBytes(), before);
}

TEST_F(SceneFile, BackslashPathsAreDiskPaths) {
  std::filesystem::create_directories("data");
  scene_data_test::WriteFile("data/mini.qlv", MinimalStream().bytes);
  _QLV_SCENE scene{};
  ASSERT_EQ(SceneLoad(&scene, "data\\mini.qlv"), 0) << Log();
  SceneFree(&scene);
}

TEST_F(SceneFile, WrittenFileLayout) {
  SmallScene small;
  small.scene.camposkeycount = small.scene.camtargetkeycount = 0;  // no camera chunks then
  ASSERT_EQ(SceneSave(&small.scene, "out.qlv"), 0) << Log();
  const std::vector<ChunkInfo> chunks = WalkChunks(scene_data_test::ReadFile("out.qlv"));
  ASSERT_GE(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].id, 87);
  EXPECT_EQ(chunks[0].payload, Stream::Le(int32_t(chunks.size())));
  EXPECT_EQ(chunks[1].id, 1);
  EXPECT_EQ(chunks[1].payload, std::string(1, '\x01'));
  EXPECT_EQ(chunks[2].id, 2);
  EXPECT_EQ(chunks[2].payload, std::string(1, '\x02'));
  std::map<int, int> perId;
  for (const ChunkInfo &c : chunks) {
    perId[c.id]++;
    EXPECT_EQ(c.packed, 0);
    static const int32_t kSizes[14] = {1, 1, 2, 4, 4, 8, 12, 16, 256, 12, 16, 20, 64, 1};
    ASSERT_LE(c.type, 13);
    EXPECT_EQ(c.size, kSizes[c.type] * c.count) << "chunk " << int(c.id);
    if (c.type == 8) {
      EXPECT_EQ(c.size, 256);
    }
  }
  EXPECT_EQ(perId.count(70), 0u);
  EXPECT_EQ(perId.count(71), 0u);
  EXPECT_EQ(perId[79], 1);  // only the light with keys
  EXPECT_EQ(perId[72], 8);
  EXPECT_EQ(perId.count(80) + perId.count(81), 0u);
  EXPECT_EQ(perId[53], 1);  // colours of the quad only
  EXPECT_EQ(perId[56], 1);  // position keys of the quad only
  // Names travel as a length byte and 255 characters.
  for (const ChunkInfo &c : chunks) {
    if (c.id == 33 && c.index == 1) {
      EXPECT_EQ(c.payload.substr(0, 4), std::string("\x03tri", 4));
    }
  }
}

void ExpectSameVec(const _QLV_VECTOR &a, const _QLV_VECTOR &b) {
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
  EXPECT_EQ(a.z, b.z);
}
void ExpectSameRGB(const _QLV_RGB &a, const _QLV_RGB &b) {
  EXPECT_EQ(a.r, b.r);
  EXPECT_EQ(a.g, b.g);
  EXPECT_EQ(a.b, b.b);
}

TEST_F(SceneFile, RoundTripKeepsEveryField) {
  SmallScene small;
  ASSERT_EQ(SceneSave(&small.scene, "hall.qlv"), 0) << Log();
  _QLV_SCENE back{};
  ASSERT_EQ(SceneLoad(&back, "hall.qlv"), 0) << Log();
  const _QLV_SCENE &s = small.scene;
  EXPECT_EQ(std::string_view(back.name), "hall");
  EXPECT_EQ(back.sparevalue, 1234);
  EXPECT_EQ(back.camerafov, s.camerafov);
  EXPECT_EQ(back.cameranear, s.cameranear);
  EXPECT_EQ(back.camerafar, s.camerafar);
  EXPECT_EQ(back.culldistance, s.culldistance);
  EXPECT_EQ(back.lightscale, s.lightscale);
  ASSERT_EQ(back.materialcount, 2);
  ASSERT_EQ(back.objectcount, 3);
  for (int i = 0; i < 2; i++) {
    const _QLV_MATERIAL &a = s.materials[i], &b = back.materials[i];
    EXPECT_EQ(std::string_view(a.name), std::string_view(b.name));
    EXPECT_EQ(std::string_view(a.texturename), std::string_view(b.texturename));
    EXPECT_EQ(std::string_view(a.envmaptexture), std::string_view(b.envmaptexture));
    EXPECT_EQ(a.transparency, b.transparency);
    EXPECT_EQ(a.utile, b.utile);
    EXPECT_EQ(a.vtile, b.vtile);
    EXPECT_EQ(a.textured, b.textured);
    ExpectSameRGB(a.ambient, b.ambient);
    ExpectSameRGB(a.diffuse, b.diffuse);
    ExpectSameRGB(a.specular, b.specular);
    EXPECT_EQ(a.shine, b.shine);
    EXPECT_EQ(a.envmap, b.envmap);
    EXPECT_EQ(a.magtype, b.magtype);
    EXPECT_EQ(a.receivelight, b.receivelight);
    EXPECT_EQ(a.alphatest, b.alphatest);
    EXPECT_EQ(a.depthtest, b.depthtest);
    EXPECT_EQ(a.blend, b.blend);
    EXPECT_EQ(a.texturewrap, b.texturewrap);
    EXPECT_EQ(a.constantalpha, b.constantalpha);
    EXPECT_EQ(a.flaresize, b.flaresize);
    EXPECT_EQ(a.depthfunc, b.depthfunc);
    ExpectSameRGB(a.envcolor, b.envcolor);
    EXPECT_EQ(a.envalpha, b.envalpha);
    EXPECT_EQ(a.envalphablend, b.envalphablend);
    EXPECT_EQ(b.bitdepth, 24);  // written as held, then reset by preparation
  }
  for (int i = 0; i < 3; i++) {
    const _QLV_OBJECT &a = s.objects[i], &b = back.objects[i];
    EXPECT_EQ(std::string_view(a.name), std::string_view(b.name));
    EXPECT_EQ(a.rendermode, b.rendermode);
    EXPECT_EQ(a.hasnormals, b.hasnormals);
    EXPECT_EQ(a.hastexcoords, b.hastexcoords);
    EXPECT_EQ(a.hascolors, b.hascolors);
    EXPECT_EQ(a.visible, b.visible);
    EXPECT_EQ(a.vertexcount, b.vertexcount);
    EXPECT_EQ(a.facecount, b.facecount);
    EXPECT_EQ(a.material, b.material);
    EXPECT_EQ(a.poskeycount, b.poskeycount);
    EXPECT_EQ(a.rotkeycount, b.rotkeycount);
    EXPECT_EQ(a.scalekeycount, b.scalekeycount);
    EXPECT_EQ(a.stripcount, b.stripcount);
    EXPECT_EQ(a.backfacecull, b.backfacecull);
    EXPECT_EQ(a.passno, b.passno);
    EXPECT_EQ(a.cullmode, b.cullmode);
    EXPECT_EQ(std::memcmp(&a.matrix, &b.matrix, sizeof(a.matrix)), 0);
    ExpectSameVec(a.pivot, b.pivot);
    ExpectSameVec(a.velocity, b.velocity);
    EXPECT_EQ(a.castshadow, b.castshadow);
    EXPECT_EQ(a.lightscaled, b.lightscaled);
    EXPECT_EQ(a.fog, b.fog);
    EXPECT_EQ(a.fogmode, b.fogmode);
    EXPECT_EQ(std::memcmp(&a.fogparam, &b.fogparam, sizeof(a.fogparam)), 0);
    EXPECT_EQ(std::memcmp(&a.fogcolor, &b.fogcolor, sizeof(a.fogcolor)), 0);
    const _QLV_PARTICLEDATA &pa = a.particle, &pb = b.particle;
    EXPECT_EQ(pa.particleenabled, pb.particleenabled);
    ExpectSameVec(pa.deltavector, pb.deltavector);
    ExpectSameVec(pa.deltavectorspread, pb.deltavectorspread);
    ExpectSameRGB(pa.color, pb.color);
    ExpectSameRGB(pa.colorspread, pb.colorspread);
    EXPECT_EQ(pa.colorattrib, pb.colorattrib);
    EXPECT_EQ(pa.power, pb.power);
    EXPECT_EQ(pa.deltapower, pb.deltapower);
    EXPECT_EQ(pa.newparticle, pb.newparticle);
    EXPECT_EQ(std::string_view(pa.particletexture), std::string_view(pb.particletexture));
    EXPECT_EQ(pa.size, pb.size);
    auto same = [](const void *x, const void *y, size_t bytes) {
      return bytes == 0 || (x && y && std::memcmp(x, y, bytes) == 0);
    };
    const size_t vc = size_t(a.vertexcount), fc = size_t(a.facecount);
    EXPECT_TRUE(same(a.vertices, b.vertices, vc * 12));
    EXPECT_TRUE(same(a.faces, b.faces, fc * 12));
    EXPECT_TRUE(same(a.edgefaces, b.edgefaces, fc * 12));
    EXPECT_TRUE(same(a.neighbours, b.neighbours, fc * 12));
    EXPECT_TRUE(same(a.strip, b.strip, size_t(a.stripcount) * 2));
    EXPECT_TRUE(!a.hascolors || same(a.colors, b.colors, vc * 12));
    EXPECT_TRUE(!a.hastexcoords || same(a.texcoords, b.texcoords, vc * 8));
    EXPECT_TRUE(!a.hasnormals || same(a.normals, b.normals, vc * 12));
    EXPECT_TRUE(same(a.poskeys, b.poskeys, size_t(a.poskeycount) * 16));
    EXPECT_TRUE(same(a.rotkeys, b.rotkeys, size_t(a.rotkeycount) * 20));  // quaternions verbatim
    EXPECT_TRUE(same(a.scalekeys, b.scalekeys, size_t(a.scalekeycount) * 16));
  }
  EXPECT_EQ(back.camposkeycount, 3);
  EXPECT_EQ(std::memcmp(back.camposkeys, s.camposkeys, 3 * 16), 0);
  EXPECT_EQ(std::memcmp(back.camtargetkeys, s.camtargetkeys, 2 * 16), 0);
  EXPECT_NE(back.camposease, nullptr);
  for (int i = 0; i < kQlvLightCount; i++) {
    const _QLV_LIGHT &a = s.lights[i], &b = back.lights[i];
    EXPECT_EQ(std::string_view(a.name), std::string_view(b.name));
    ExpectSameVec(a.pos, b.pos);
    EXPECT_EQ(a.poskeycount, b.poskeycount);
    ExpectSameRGB(a.ambient, b.ambient);
    ExpectSameRGB(a.diffuse, b.diffuse);
    ExpectSameRGB(a.specular, b.specular);
    EXPECT_EQ(a.enabled, b.enabled);
  }
  EXPECT_EQ(std::memcmp(back.lights[2].poskeys, s.lights[2].poskeys, 2 * 16), 0);
  // Written again, the loaded scene gives the same bytes, but for the one field that
  // preparation resets: material 1's bit depth, written as 32 and read back as 24.
  ASSERT_EQ(SceneSave(&back, "again.qlv"), 0);
  std::string first = scene_data_test::ReadFile("hall.qlv");
  const std::string second = scene_data_test::ReadFile("again.qlv");
  ASSERT_EQ(first.size(), second.size());
  size_t bitdepthAt = 0;
  for (size_t at = 0; at + 20 <= first.size();) {
    uint32_t size;
    std::memcpy(&size, first.data() + at + 8, 4);
    if (first[at + 3] == 29 && first[at + 16] == 1) bitdepthAt = at + 20;
    at += 20 + size;
  }
  ASSERT_NE(bitdepthAt, 0u);
  EXPECT_EQ(first[bitdepthAt], 32);
  first[bitdepthAt] = 24;
  EXPECT_TRUE(first == second) << "first difference at byte "
                               << std::mismatch(first.begin(), first.end(), second.begin()).first - first.begin();
  SceneFree(&back);
}

TEST_F(SceneFile, SceneFreeReturnsEveryTrackedBlock) {
  SmallScene small;
  ASSERT_EQ(SceneSave(&small.scene, "hall.qlv"), 0);
  const unsigned long long before = TrackedBytes();
  _QLV_SCENE scene{};
  ASSERT_EQ(SceneLoad(&scene, "hall.qlv"), 0) << Log();
  EXPECT_GT(TrackedBytes(), before);
  scene_data_test::g_buffers.clear();
  SceneFree(&scene);
  EXPECT_EQ(TrackedBytes(), before);
  EXPECT_EQ(scene.objects, nullptr);
  EXPECT_EQ(scene.objectcount, 0);
  int deleted = 0;
  for (const auto &c : scene_data_test::g_buffers) deleted += c.op == "delete";
  EXPECT_EQ(deleted, 3 * 4 + 2);  // four per object, the two shadow-volume buffers
}

TEST_F(SceneFile, SaveRefusesAnUnwritableTarget) {
  SmallScene small;
  EXPECT_EQ(SceneSave(&small.scene, "no/such/dir/hall.qlv"), -1);
  small.objects[0].vertices = nullptr;  // count 4, no array
  EXPECT_EQ(SceneSave(&small.scene, "hall.qlv"), -1);
  EXPECT_FALSE(std::filesystem::exists("hall.qlv"));
}

// Each case is the minimal stream with one fault; all are refused, logged, and leave
// a cleared record and no tracked block behind.
// A payload shorter than its field is copied over the start of the field, with the
// size the file gives; the rest of the field keeps what it held. A name keeps only
// the characters the payload holds.
TEST_F(SceneFile, ShortPayloadsAreAppliedWithTheFilesSize) {
  Stream s;
  s.Int(87, 12);
  s.Chunk(1, 1, 1, 0, "\x01");
  s.Chunk(1, 2, 1, 0, "\x02");
  s.Chunk(8, 3, 1, 0, std::string("\x04" "abcdefghi", 10));   // 4 of 9 characters count
  s.Chunk(3, 5, 1, 0, "\x01");                                // count from one byte
  s.Chunk(3, 6, 1, 0, std::string("\x01\x00", 2));
  s.Chunk(8, 12, 1, 0, std::string("\x20" "ma", 3));         // says 32, holds 2
  s.Chunk(3, 22, 1, 0, std::string("\x34\x12", 2));          // shine: the low two bytes
  s.Chunk(4, 7, 1, 0, "");                                    // nothing to apply
  s.Name(33, "tri");
  s.Int(34, 3);
  s.Int(35, 1);
  s.Floats(6, 51, 3, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0});
  s.Ints(9, 52, 1, 0, {0, 1, 2});
  s.Byte(13, 45, 1);
  s.Chunk(13, 45, 1, 0, "");                                  // visible stays true
  scene_data_test::WriteFile("short.qlv", s.bytes);
  _QLV_SCENE scene{};
  scene.camerafov = 0.5f;
  ASSERT_EQ(SceneLoad(&scene, "short.qlv"), 0) << Log();
  EXPECT_EQ(std::string_view(scene.name), "abcd");
  ASSERT_EQ(scene.materialcount, 1);
  ASSERT_EQ(scene.objectcount, 1);
  EXPECT_EQ(std::string_view(scene.materials[0].name), "ma");
  EXPECT_EQ(scene.materials[0].shine, 0x1234);
  EXPECT_EQ(scene.camerafov, 0.5f);
  EXPECT_TRUE(scene.objects[0].visible);
  EXPECT_NE(Log().find("Chunk size corruption !"), std::string::npos);
  SceneFree(&scene);
}

TEST_F(SceneFile, MalformedFilesAreRefused) {
  const std::string good = MinimalStream().bytes;
  struct Case {
    const char *what;
    std::function<std::string()> bytes;
    const char *logPart;
  };
  auto with = [&](std::function<void(Stream &)> add) {
    return [=] {
      Stream s = MinimalStream();
      add(s);
      return s.bytes;
    };
  };
  auto before = [&](std::function<void(Stream &)> add) {
    return [=] {
      Stream s;
      add(s);
      return s.bytes + MinimalStream().bytes;
    };
  };
  const std::vector<Case> cases = {
      {"empty file", [] { return std::string(); }, "4-byte block"},
      {"three bytes", [] { return std::string("T!\x03"); }, "4-byte block"},
      {"tail after a chunk", [=] { return good + "xy"; }, "4-byte block"},
      {"header cut", [=] { return good + std::string("T!\x03\x04\x01\x00", 6) + "\0\0"; }, "header"},
      {"payload cut", [=] { return good.substr(0, good.size() - 4); }, "ends inside chunk"},
      {"element type 14", with([](Stream &s) { s.Chunk(14, 4, 1, 0, Stream::Le(1)); }), "element type"},
      {"negative count", with([](Stream &s) { s.Header(3, 4, -1, 4, 0, 0), s.I32(0); }), "negative"},
      {"negative size", with([](Stream &s) { s.Header(3, 4, 1, -4, 0, 0); }), "negative"},
      {"huge size", with([](Stream &s) { s.Header(3, 4, 1, 0x7fffffff, 0, 0), s.I32(0); }), "ends inside chunk"},
      {"material before chunk 5", before([](Stream &s) { s.Int(22, 5); }), "names material"},
      {"object index past the list", with([](Stream &s) { s.Int(34, 3, 1); }), "names object 1"},
      {"negative object index", with([](Stream &s) { s.Int(34, 3, -1); }), "names object -1"},
      {"light 8", with([](Stream &s) { s.Name(72, "x", 8); }), "names light 8"},
      {"long int field", with([](Stream &s) { s.Chunk(3, 22, 2, 0, std::string(8, 'a')); }), "holds 8 bytes"},
      {"array of part entries", with([](Stream &s) { s.Chunk(6, 51, 1, 0, std::string(13, 'a')); }), "not an array"},
      {"too many objects", with([](Stream &s) { s.Int(6, 8002); }), "at most 8001"},
      {"negative materials", with([](Stream &s) { s.Int(5, -1); }), "chunk 5 gives -1"},
      {"vertex index past the vertices", with([](Stream &s) { s.Ints(9, 52, 1, 0, {0, 1, 3}); }), "names a vertex"},
      {"negative vertex index", with([](Stream &s) { s.Ints(9, 52, 1, 0, {0, -1, 2}); }), "names a vertex"},
      {"edge face past the vertices", with([](Stream &s) { s.Ints(9, 99, 1, 0, {0, 1, 9}); }), "names a vertex"},
      {"neighbour past the faces", with([](Stream &s) { s.Ints(9, 86, 1, 0, {1, -1, -1}); }), "neighbour"},
      {"vertices short of the count", with([](Stream &s) { s.Int(34, 4); }), "does not match"},
      {"faces missing", with([](Stream &s) { s.Int(35, 2); }), "does not match"},
      {"normals flagged, none given", with([](Stream &s) { s.Byte(13, 44, 1); }), "does not match"},
      {"position keys missing", with([](Stream &s) { s.Int(37, 1); }), "does not match"},
      {"strip index past the vertices", with([](Stream &s) { s.Int(40, 1), s.Chunk(2, 50, 1, 0, std::string("\x05\x00", 2)); }),
       "strip index"},
      {"material index past the list", with([](Stream &s) { s.Int(36, 1); }), "material 1 of 1"},
      {"camera keys missing", with([](Stream &s) { s.Int(10, 2); }), "camera keys"},
      {"light keys short", with([](Stream &s) { s.Int(73, 2, 1), s.Floats(10, 79, 1, 1, {0, 1, 2, 3}); }),
       "light 1"},
  };
  const unsigned long long baseline = TrackedBytes();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    scene_data_test::WriteFile("bad.qlv", c.bytes());
    _QLV_SCENE scene{};
    scene.camerafov = 1.0f;
    EXPECT_EQ(SceneLoad(&scene, "bad.qlv"), -1);
    EXPECT_EQ(scene.materials, nullptr);
    EXPECT_EQ(scene.objects, nullptr);
    EXPECT_EQ(scene.objectcount, 0);
    EXPECT_EQ(scene.camerafov, 0.0f);
    EXPECT_NE(Log().find(c.logPart), std::string::npos) << Log().substr(Log().size() > 400 ? Log().size() - 400 : 0);
    EXPECT_EQ(TrackedBytes(), baseline);
  }
}

TEST_F(SceneFile, MissingFileIsLogged) {
  _QLV_SCENE scene{};
  EXPECT_EQ(SceneLoad(&scene, "nothere.qlv"), -1);
  EXPECT_NE(Log().find("File (nothere.qlv) not found."), std::string::npos);
}

// Every prefix of a valid file and a few thousand mutations of it: nothing crashes or
// reads out of bounds (the sanitizer build watches), and what loads keeps the
// invariants the renderer relies on.
TEST_F(SceneFile, TruncatedAndMutatedFilesNeverBreakTheReader) {
  SmallScene small;
  ASSERT_EQ(SceneSave(&small.scene, "hall.qlv"), 0);
  const std::string good = scene_data_test::ReadFile("hall.qlv");
  auto check = [](const _QLV_SCENE &s) {
    ASSERT_TRUE(s.materialcount == 0 || s.materials);
    for (int32_t i = 0; i < s.objectcount; i++) {
      const _QLV_OBJECT &o = s.objects[i];
      ASSERT_LT(o.material, s.materialcount);
      ASSERT_GE(o.material, 0);
      for (int32_t f = 0; f < o.facecount; f++) {
        ASSERT_LT(uint32_t(o.faces[f].a), uint32_t(o.vertexcount));
        ASSERT_LT(uint32_t(o.faces[f].b), uint32_t(o.vertexcount));
        ASSERT_LT(uint32_t(o.faces[f].c), uint32_t(o.vertexcount));
        ASSERT_GE(o.neighbours[f].a, -1);
        ASSERT_LT(o.neighbours[f].a, o.facecount);
      }
      ASSERT_TRUE(o.vertexcount == 0 || o.vertices != nullptr);
    }
  };
  const unsigned long long baseline = TrackedBytes();
  int loaded = 0;
  for (size_t len = 0; len < good.size(); len += 3) {
    scene_data_test::WriteFile("cut.qlv", good.substr(0, len));
    _QLV_SCENE scene{};
    if (SceneLoad(&scene, "cut.qlv") == 0) {
      loaded++;
      check(scene);
    }
    SceneFree(&scene);
  }
  std::mt19937 rng(20261210);
  for (int round = 0; round < 3000; round++) {
    std::string bytes = good;
    const int edits = 1 + int(rng() % 4);
    for (int e = 0; e < edits; e++) {
      const size_t at = rng() % bytes.size();
      switch (rng() % 3) {
        case 0: bytes[at] = char(rng()); break;
        case 1: bytes[at] = char(bytes[at] ^ (1 << (rng() % 8))); break;
        default: bytes.resize(at); break;
      }
      if (bytes.empty()) break;
    }
    scene_data_test::WriteFile("mut.qlv", bytes);
    _QLV_SCENE scene{};
    if (SceneLoad(&scene, "mut.qlv") == 0) {
      loaded++;
      check(scene);
    }
    SceneFree(&scene);
  }
  EXPECT_GT(loaded, 0);  // some mutations land in values and still load
  EXPECT_EQ(TrackedBytes(), baseline);
}

}  // namespace
