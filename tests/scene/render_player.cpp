// The project player: the project file (exact fields, empty and malformed files),
// the cache key, the scene cache across projects, and the unit's initialisation.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "presentation/procedural.h"
#include "scene/player.h"
#include "scene/scenefile.h"
#include "tests/scene/render_recorder.h"
#include "tests/scene/render_scene.h"

namespace {

using rtest::Count;
using rtest::Find;

// A project file written field by field.
struct ProjectBytes {
  std::string bytes;
  void Int(int32_t v) {
    for (int i = 0; i < 4; i++) bytes += (char)((uint32_t)v >> (8 * i) & 0xff);
  }
  void Name(const std::string &s) {
    bytes += (char)s.size();
    bytes += s;
    bytes.append(255 - s.size(), '\x55');  // junk after the text is ignored
  }
  void Header(const std::string &name, int32_t scenes, int32_t filters, int32_t operators) {
    Name(name);
    for (int32_t h : {11, 12, 13, 14}) Int(h);
    Int(scenes);
    Int(filters);
    Int(operators);
  }
  void Operator(int32_t type, int32_t target, int32_t keys, const std::string &name) {
    Int(type);
    Int(target);
    for (int i = 0; i < 32; i++) bytes += (char)(i + 1);
    Int(0x12345678);  // the place of the key pointer
    Int(keys);
    Name(name);
  }
  void Key(int32_t start, int32_t end, uint8_t ease, int32_t a, int32_t m, int32_t b) {
    Int(start);
    Int(end);
    bytes += (char)ease;
    bytes += "\x7f\x7f\x7f";
    Int(a);
    Int(m);
    Int(b);
  }
  void Write(const std::string &path) const { std::ofstream(path, std::ios::binary) << bytes; }
};

class PlayerTest : public rtest::Fixture {};

TEST_F(PlayerTest, ReadsEveryFieldWhereTheFileHasIt) {
  ProjectBytes p;
  p.Header("demo", 0, 0, 2);
  p.Operator(1001, 3, 2, "scene op");
  p.Operator(4005, -1, 1, "points");
  p.Key(0, 100, 1, -303, 500, 1000);
  p.Key(100, 200, 2, 7, 8, 9);
  p.Key(5, 6, 0, 1, 2, 3);
  ASSERT_EQ(p.bytes.size(), 284u + 2 * 304 + 3 * 24);
  p.Write("demo.prj");
  TVX_Project project;
  ASSERT_EQ(ProjectLoad(&project, "demo.prj"), 0);
  EXPECT_EQ(std::string_view(project.Name), "demo");
  EXPECT_EQ(project.Header1, 11);
  EXPECT_EQ(project.Header4, 14);
  ASSERT_EQ(project.OperatorCount, 2);
  const TVX_Operator &a = project.Operators[0], &b = project.Operators[1];
  EXPECT_EQ(a.OpType, 1001);
  EXPECT_EQ(a.Target, 3);
  EXPECT_EQ(a.Params[0], 1);
  EXPECT_EQ(a.Params[31], 32);
  EXPECT_EQ(std::string_view(a.Name), "scene op");
  ASSERT_EQ(a.KeyCount, 2);
  EXPECT_EQ(a.Keys[0].StartValue, -303);
  EXPECT_EQ(a.Keys[0].Ease, 1);
  EXPECT_EQ(a.Keys[1].StartTime, 100);
  EXPECT_EQ(a.Keys[1].EndValue, 9);
  EXPECT_EQ(b.OpType, 4005);
  ASSERT_EQ(b.KeyCount, 1);
  EXPECT_EQ(b.Keys[0].EndTime, 6);
  EXPECT_EQ(b.Keys[0].MidValue, 2);
  ProjectFree(&project);
  EXPECT_EQ(project.Operators, nullptr);
}

TEST_F(PlayerTest, AHeaderAloneIsAnEmptyProject) {
  ProjectBytes p;
  p.Header("empty", 0, 0, 0);
  ASSERT_EQ(p.bytes.size(), 284u);
  p.Write("empty.prj");
  TVX_Project project;
  ASSERT_EQ(ProjectLoad(&project, "empty.prj"), 0);
  EXPECT_EQ(project.SceneCount + project.FilterCount + project.OperatorCount, 0);
  EXPECT_EQ(project.Operators, nullptr);
  ProjectFree(&project);
}

TEST_F(PlayerTest, MalformedFilesAreRefusedWholeWithALogLine) {
  struct Case {
    const char *what;
    ProjectBytes file;
  };
  std::vector<Case> cases(6);
  cases[0].what = "short header";
  cases[0].file.Header("x", 0, 0, 0);
  cases[0].file.bytes.resize(283);
  cases[1].what = "ends inside an operator";
  cases[1].file.Header("x", 0, 0, 1);
  cases[1].file.Operator(1, 0, 0, "op");
  cases[1].file.bytes.resize(284 + 200);
  cases[2].what = "ends inside the keys";
  cases[2].file.Header("x", 0, 0, 1);
  cases[2].file.Operator(1, 0, 2, "op");
  cases[2].file.Key(0, 1, 0, 0, 0, 0);
  cases[3].what = "negative count";
  cases[3].file.Header("x", 0, -1, 0);
  cases[4].what = "negative key count";
  cases[4].file.Header("x", 0, 0, 1);
  cases[4].file.Operator(1, 0, -5, "op");
  cases[5].what = "scene names missing";
  cases[5].file.Header("x", 2, 0, 0);
  cases[5].file.Name("a.qlv");
  for (Case &c : cases) {
    c.file.Write("bad.prj");
    TVX_Project project;
    project.OperatorCount = 99;
    EXPECT_EQ(ProjectLoad(&project, "bad.prj"), -1) << c.what;
    EXPECT_EQ(project.OperatorCount, 0) << c.what;
    EXPECT_EQ(project.Scenes, nullptr) << c.what;
  }
  TVX_Project project;
  EXPECT_EQ(ProjectLoad(&project, "missing.prj"), -1);
  EXPECT_EQ(Count("glGenBuffersARB"), 0u);  // nothing was loaded
  const std::string log = Log();
  EXPECT_NE(log.find("[qlv] project file ends inside its keys: bad.prj"), std::string::npos);
  EXPECT_NE(log.find("[qlv] project file cannot be read: missing.prj"), std::string::npos);
}

TEST_F(PlayerTest, CacheKeyIsTheTextAfterTheLastBackslash) {
  struct Case {
    const char *name, *key;
  } cases[] = {{"c:\\demo\\scenes\\city.qlv", "city.qlv"}, {"city.qlv", "city.qlv"}, {"a\\b\\", "b\\"},
               {"\\x", "x"}, {"dir/name.qlv", "dir/name.qlv"}, {"", ""}, {"\\", "\\"}};
  for (const Case &c : cases) EXPECT_EQ(std::string_view(SceneCacheKey(c.name)), c.key) << c.name;
}

// A small scene file, written by the scene writer, at data/<name>.qlv.
void WriteCityScene(const char *name) {
  rtest::TestScene t({0, -10, 0}, {0, 0, 0});
  t.scene.name = name;
  t.scene.versionmajor = 1;
  t.scene.versionminor = 2;
  t.materials.clear();
  t.Sync();
  std::filesystem::create_directories("data");
  ASSERT_EQ(SceneSave(&t.scene, ShortString(std::string_view(std::string("data/") + name + ".qlv"))), 0);
}

size_t Occurrences(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

TEST_F(PlayerTest, ASceneNamedTwiceIsReadOnceAndShared) {
  WriteCityScene("city");
  std::ofstream("data/fx.ife") << "0\n0\n";
  ProjectPlayerInit(640, 480);
  ProjectBytes p;
  p.Header("two", 2, 1, 0);
  p.Name("c:\\one\\city.qlv");
  p.Name("d:\\other\\city.qlv");
  p.Name("fx\\fx.ife");
  p.Write("two.prj");
  TVX_Project project;
  ASSERT_EQ(ProjectLoad(&project, "two.prj"), 0);
  ASSERT_EQ(project.SceneCount, 2);
  EXPECT_EQ(project.Scenes[0].camposkeycount, 2);
  EXPECT_EQ(project.Scenes[1].camposkeys, project.Scenes[0].camposkeys);
  EXPECT_EQ(project.Scenes[1].particles, project.Scenes[0].particles);
  EXPECT_EQ(project.Scenes[0].particlecount, 5000);
  EXPECT_EQ(SceneCacheCount, 1);
  EXPECT_EQ(project.FilterCount, 1);
  // A later project gets the cached copy as well.
  TVX_Project again;
  ASSERT_EQ(ProjectLoad(&again, "two.prj"), 0);
  EXPECT_EQ(again.Scenes[0].camposkeys, project.Scenes[0].camposkeys);
  const std::string log = Log();
  EXPECT_EQ(Occurrences(log, "[CACHE] cached load city.qlv"), 3u);
  EXPECT_EQ(Occurrences(log, "[qlv] load: data/city.qlv"), 1u);
  EXPECT_NE(log.find("[ife] load: data/fx.ife"), std::string::npos);
  ProjectFree(&again);
  ProjectFree(&project);
  EXPECT_EQ(SceneCacheScenes[0]->camposkeycount, 2);  // the cached scene outlives its project's records
}

// A scene that cannot be loaded fails the project: nothing of this call stays in the
// cache (its entries would point into records given back), while a scene cached by
// an earlier project, and copied here, is left alone.
TEST_F(PlayerTest, ASceneThatCannotBeLoadedFailsTheProject) {
  WriteCityScene("city");
  WriteCityScene("park");
  std::ofstream("data/broken.qlv", std::ios::binary) << std::string("T!\x03\x06", 4);  // header cut off
  ProjectPlayerInit(640, 480);
  ProjectBytes first;
  first.Header("first", 1, 0, 0);
  first.Name("city.qlv");
  first.Write("first.prj");
  TVX_Project earlier;
  ASSERT_EQ(ProjectLoad(&earlier, "first.prj"), 0);
  ASSERT_EQ(SceneCacheCount, 1);

  struct Case {
    const char *missing;
  } cases[] = {{"gone.qlv"}, {"broken.qlv"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.missing);
    ProjectBytes p;
    p.Header("later", 4, 0, 1);
    p.Name("city.qlv");  // from the cache
    p.Name("park.qlv");  // read by this call
    p.Name("x\\park.qlv");  // a copy of the scene just read
    p.Name(std::string("y\\") + c.missing);
    p.Operator(1001, 0, 0, "scene");
    p.Write("later.prj");
    TVX_Project project;
    project.SceneCount = 7;
    EXPECT_EQ(ProjectLoad(&project, "later.prj"), -1);
    EXPECT_EQ(project.SceneCount, 0);
    EXPECT_EQ(project.Scenes, nullptr);
    EXPECT_EQ(project.Operators, nullptr);
    EXPECT_EQ(SceneCacheCount, 1);
    EXPECT_EQ(std::string_view(SceneCacheNames[1]), "");
    EXPECT_NE(Log().find(std::string("[qlv] later.prj: scene cannot be loaded: ") + c.missing), std::string::npos);
  }
  // The earlier project's scene is whole, and park is read again from its file.
  EXPECT_EQ(SceneCacheScenes[0]->camposkeycount, 2);
  EXPECT_EQ(SceneCacheScenes[0]->particlecount, 5000);
  ProjectBytes again;
  again.Header("again", 1, 0, 0);
  again.Name("park.qlv");
  again.Write("again.prj");
  TVX_Project park;
  ASSERT_EQ(ProjectLoad(&park, "again.prj"), 0);
  EXPECT_EQ(park.Scenes[0].camposkeycount, 2);
  EXPECT_EQ(SceneCacheCount, 2);
  EXPECT_EQ(Occurrences(Log(), "[qlv] load: data/park.qlv"), 3u);
  ProjectFree(&park);
  ProjectFree(&earlier);
}

TEST_F(PlayerTest, InitDrawsThePointsInOrderAndMakesFortyTextures) {
  RandomReset();
  const int32_t x0 = RandomBelow(5000) - 3000, y0 = RandomBelow(5000) - 3000, z0 = RandomBelow(5000) - 3000;
  const int32_t s0 = RandomBelow(1000);
  const int32_t x1 = RandomBelow(5000) - 3000;
  RandomReset();
  ProjectPlayerInit(1280, 720);
  EXPECT_EQ(PointX[0], (float)x0);
  EXPECT_EQ(PointY[0], (float)y0);
  EXPECT_EQ(PointZ[0], (float)z0);
  EXPECT_FLOAT_EQ(PointShade[0], (float)(s0 / 2000.0 + 0.5));
  EXPECT_EQ(PointX[1], (float)x1);
  for (int32_t i = 0; i < kRandomPointCount; i++) {
    ASSERT_TRUE(PointX[i] >= -3000 && PointX[i] <= 1999);
    ASSERT_TRUE(PointShade[i] >= 0.5f && PointShade[i] <= 0.9995f);
  }
  EXPECT_EQ(ScreenScaleX, 1.25f);
  EXPECT_EQ(ScreenScaleY, 0.9375f);
  EXPECT_EQ(Count("glGenTextures"), 40u);
  EXPECT_EQ(Count("glTexImage2D"), 40u);
  EXPECT_GE(Find("glTexImage2D", {GL_TEXTURE_2D, 0, 1, 256, 256, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE}), 0);
  EXPECT_GE(Find("glTexImage2D", {GL_TEXTURE_2D, 0, 3, 1280, 720, 0, GL_RGB, GL_UNSIGNED_BYTE}), 0);
  EXPECT_GE(Find("glTexImage2D", {GL_TEXTURE_2D, 0, 3, 256, 256, 0, GL_RGB, GL_UNSIGNED_BYTE}), 0);
  EXPECT_EQ(SlotTexture(5), SmallFrameTextures[1]);
  EXPECT_EQ(SlotTexture(2), FrameTextures[2]);
  EXPECT_EQ(SlotTexture(8), -1);
  EXPECT_EQ(SceneCacheCount, 0);
}

}  // namespace
