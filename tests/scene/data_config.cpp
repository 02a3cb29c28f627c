// Scene configuration text (writer layout, parsing rules, round trip) and the
// geometry text export.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "data_util.h"
#include "scene/geomexport.h"
#include "scene/sceneconfig.h"

namespace {

using scene_data_test::ReadFile;
using scene_data_test::SceneData;
using scene_data_test::SmallScene;
using scene_data_test::WriteFile;

using SceneConfig = SceneData;

TEST(SceneConfigLine, PartsAreSplitAtTheFirstSeparators) {
  struct Case {
    const char *line, *head, *item, *key, *value;
  } cases[] = {
      {"material(Wood).shine=20", "material", "Wood", "shine", "20"},
      {"camerafov=0.7854", "camerafov", "", "", "0.7854"},  // the first "." is the value's
      {"camerafov", "camerafov", "", "", "camerafov"},
      {"material(a.b).shine=5", "material", "a.b", "b).shine", "5"},
      {"object(x).particletexture=fire 2.tga", "object", "x", "particletexture", "fire 2.tga"},
      {"light(l=1).pos=1,2,3", "light", "l=1", "", "1).pos=1,2,3"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(std::string_view(ConfigHead(c.line)), c.head);
    EXPECT_EQ(std::string_view(ConfigItemName(c.line)), c.item);
    EXPECT_EQ(std::string_view(ConfigKey(c.line)), c.key);
    EXPECT_EQ(std::string_view(ConfigValue(c.line)), c.value);
  }
  EXPECT_EQ(std::string_view(TripleFirst("0.5,12.25,1")), "0.5");
  EXPECT_EQ(std::string_view(TripleSecond("0.5,12.25,1")), "12.25");
  EXPECT_EQ(std::string_view(TripleThird("0.5,12.25,1")), "1");
  EXPECT_EQ(std::string_view(TripleThird("0.5,1")), "");
  // Without a comma there is no first part, as for the second and third.
  EXPECT_EQ(std::string_view(TripleFirst("0.5")), "");
  EXPECT_EQ(std::string_view(TripleFirst(",2,3")), "");
}

TEST_F(SceneConfig, ValuesAndLookups) {
  SmallScene small;
  _QLV_SCENE &s = small.scene;
  small.materials[1].name = "Wood";  // the last item of a name wins
  WriteFile("in.cfg",
            "# comment: material(Wood).shine=99\n"
            "camerafov=\t 0.5\r\n"
            "cameranear=1e1\n"
            "camerafar=far\n"
            "material(Wood).shine=12\n"
            "material(wood).magtype=2\n"          // case differs: item 0
            "material(Wood).utile=12x\n"           // not a number: 0
            "material(Wood).blend=258\n"           // low 8 bits
            "material(Wood).depthtest=-1\n"        // not unsigned: 0
            "material(Wood).ambient=0.5,12.25,1\n"
            "material(Wood).textured=true\n"       // only "1" is true
            "material(Wood).texturename=stone 2.tga\n"
            "material(Wood).nosuchkey=1\n"
            "material(a.b).shine=77\n"             // key "b).shine": nothing
            "object(tri).visible=0\n"
            "object(tri).rendermode=513\n"
            "object(tri).material=0\n"
            "object(tri).material=9\n"             // no such material: ignored
            "object(tri).passno=4\n"
            "object(tri).deltavector=1,2\n"
            "light(light2).enabled=0\n"
            "light(nobody).pos=4,5,6\n"            // light 0
            "camerafov\n"                          // no "=": the value is no number
            "unknown(x).y=1\n" +
                std::string(300, 'q') + "\n"
            "object(quad).newparticle=8\n");
  ASSERT_EQ(SceneConfigLoad(&s, "in.cfg"), 0) << Log();
  EXPECT_EQ(s.camerafov, 0.0f);
  EXPECT_EQ(s.cameranear, 10.0f);
  EXPECT_EQ(s.camerafar, 0.0f);
  const _QLV_MATERIAL &wood = small.materials[1];
  EXPECT_EQ(wood.shine, 12);
  EXPECT_EQ(small.materials[0].magtype, 2);
  EXPECT_EQ(small.materials[0].shine, 40);
  EXPECT_EQ(wood.utile, 0.0f);
  EXPECT_EQ(wood.blend, 2);
  EXPECT_EQ(wood.depthtest, 0);
  EXPECT_FLOAT_EQ(wood.ambient.r, 0.5f);
  EXPECT_FLOAT_EQ(wood.ambient.g, 12.25f);
  EXPECT_FLOAT_EQ(wood.ambient.b, 1.0f);
  EXPECT_FALSE(wood.textured);
  EXPECT_EQ(std::string_view(wood.texturename), "stone 2.tga");
  const _QLV_OBJECT &tri = small.objects[1];
  EXPECT_FALSE(tri.visible);
  EXPECT_EQ(tri.rendermode, 1);
  EXPECT_EQ(tri.material, 0);
  EXPECT_EQ(tri.passno, 4);
  EXPECT_FLOAT_EQ(tri.particle.deltavector.x, 1.0f);
  EXPECT_FLOAT_EQ(tri.particle.deltavector.y, 2.0f);
  EXPECT_EQ(tri.particle.deltavector.z, 0.0f);
  EXPECT_FALSE(s.lights[2].enabled);
  EXPECT_FLOAT_EQ(s.lights[0].pos.y, 5.0f);
  EXPECT_EQ(small.objects[0].particle.newparticle, 8);  // read after the long line
  EXPECT_EQ(s.passcount, 4);
}

TEST_F(SceneConfig, MalformedStrictIntegerStopsTheLoad) {
  SmallScene small;
  WriteFile("bad.cfg", "material(Wood).shine=5\nobject(quad).passno=2x\nmaterial(Wood).shine=6\n");
  EXPECT_EQ(SceneConfigLoad(&small.scene, "bad.cfg"), -1);
  EXPECT_EQ(small.materials[0].shine, 5);
  EXPECT_EQ(small.objects[0].passno, 1);
  EXPECT_NE(Log().find("passno of quad is no integer: 2x"), std::string::npos);
  EXPECT_EQ(SceneConfigLoad(&small.scene, "missing.cfg"), -1);
  EXPECT_NE(Log().find("Config file (missing.cfg) not found."), std::string::npos);
}

TEST_F(SceneConfig, ScenesWithoutItemsIgnoreItemLines) {
  _QLV_SCENE empty{};
  WriteFile("in.cfg", "material(x).shine=5\nobject(y).passno=3\nlight(z).enabled=1\n");
  EXPECT_EQ(SceneConfigLoad(&empty, "in.cfg"), 0);
  EXPECT_TRUE(empty.lights[0].enabled);
}

TEST_F(SceneConfig, WrittenLayout) {
  SmallScene small;
  small.objects.resize(1);  // the quad only
  small.scene.objectcount = 1;
  small.scene.camerafar = -12.25f;
  ASSERT_EQ(SceneConfigSave(&small.scene, "out.cfg"), 0);
  const std::string text = ReadFile("out.cfg");
  const std::string head =
      "# Qalvern config file\n#\ncamerafov=0.7854\ncameranear=0.5000\ncamerafar=-12.2500\n#\n"
      "# Material Info\n# \n#                  Texture min/mag filters:\n"
      "# 0 - NEAREST, 1 - LINEAR, 2 - MIPMAP_NEAREST, 3 - MIPMAP_LINEAR (default)\n# \n"
      "# Depthtest : 0 -R/W ; 1 -R ; 2 -W ; 3 -N/A\n"
      "# Alphatest : 0 -N/A ; 0..1 -alpha testing value\n"
      "# Blend     : 0 -NO  ; 1 -ONE/ONE ; 2 -ALPHA ; 3 -1-ALPHA\n# \n"
      "material(Wood).texturename=wood.tga\nmaterial(Wood).transparency=0.2500\n"
      "material(Wood).utile=2.0000\nmaterial(Wood).vtile=3.0000\nmaterial(Wood).textured=1\n"
      "material(Wood).ambient=0.1000,0.2000,0.3000\nmaterial(Wood).diffuse=0.4000,0.5000,0.6000\n"
      "material(Wood).specular=0.7000,0.8000,0.9000\nmaterial(Wood).shine=40\nmaterial(Wood).envmap=1\n"
      "material(Wood).envmaptexture=env.jpg\nmaterial(Wood).magtype=3\nmaterial(Wood).receivelight=1\n"
      "material(Wood).depthtest=1\nmaterial(Wood).alphatest=0.5000\nmaterial(Wood).texturewrap=1\n"
      "material(Wood).constantalpha=0.7500\nmaterial(Wood).flaresize=12.5000\nmaterial(Wood).blend=1\n#\n";
  ASSERT_EQ(text.substr(0, head.size()), head);
  // Plain has bit depth 32: blend 2.
  EXPECT_NE(text.find("material(Plain).flaresize=0.0000\nmaterial(Plain).blend=2\n#\n# Object Info\n"),
            std::string::npos);
  const std::string object =
      "# Object Info\nobject(quad).material=0\nobject(quad).rendermode=1\nobject(quad).visible=1\n"
      "object(quad).particleenabled=1\nobject(quad).deltavector=0.0000,0.0000,1.0000\n"
      "object(quad).deltavectorspread=0.1000,0.1000,0.0000\nobject(quad).color=1.0000,0.5000,0.0000\n"
      "object(quad).colorspread=0.1000,0.2000,0.3000\nobject(quad).colorattrib=5\nobject(quad).power=1.0000\n"
      "object(quad).deltapower=-0.0100\nobject(quad).newparticle=3\nobject(quad).particletexture=spark.tga\n"
      "object(quad).size=2.5000\nobject(quad).passno=1\n#transparent material :wood.tga\n"
      "object(quad).backfacecull=1\n#\n# Light Info\nlight(light0).enabled=0\n";
  EXPECT_NE(text.find(object), std::string::npos) << text;
  EXPECT_NE(text.find("light(light2).enabled=1\nlight(light2).pos=1.0000,2.0000,3.0000\n"
                      "light(light2).ambient=0.1000,0.1000,0.1000\nlight(light2).diffuse=0.9000,0.9000,0.8000\n"
                      "light(light2).specular=1.0000,1.0000,1.0000\n#\n"),
            std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 2), "#\n");
}

TEST_F(SceneConfig, RoundTripRestoresEveryWrittenField) {
  SmallScene written;
  written.materials[1].bitdepth = 24;  // transparency 0: blend 0, pass 0
  ASSERT_EQ(SceneConfigSave(&written.scene, "rt.cfg"), 0);
  SmallScene read;
  // Scramble every field the text carries.
  read.scene.camerafov = read.scene.cameranear = read.scene.camerafar = 9;
  for (_QLV_MATERIAL &m : read.materials) {
    const ShortString name = m.name;
    const uint8_t bitdepth = m.bitdepth;
    m = _QLV_MATERIAL{};
    m.name = name;
    m.bitdepth = bitdepth;
    m.texturename = m.envmaptexture = "x";
    m.blend = 9;
  }
  for (_QLV_OBJECT &o : read.objects) {
    o.material = 1;
    o.rendermode = 7;
    o.visible = o.backfacecull = !o.visible;
    o.passno = 9;
    o.particle = _QLV_PARTICLEDATA{};
    o.particle.particletexture = "x";
  }
  for (_QLV_LIGHT &l : read.scene.lights) {
    l.enabled = !l.enabled;
    l.pos = l.ambient.r == 0 ? _QLV_VECTOR{7, 7, 7} : _QLV_VECTOR{};
    l.ambient = l.diffuse = l.specular = _QLV_RGB{7, 7, 7};
  }
  ASSERT_EQ(SceneConfigLoad(&read.scene, "rt.cfg"), 0) << Log();
  auto near4 = [](float a, float b) { return std::fabs(a - b) <= 0.00005f; };
  EXPECT_TRUE(near4(read.scene.camerafov, written.scene.camerafov));
  EXPECT_EQ(read.scene.camerafar, 4000.0f);
  for (size_t i = 0; i < 2; i++) {
    const _QLV_MATERIAL &a = written.materials[i], &b = read.materials[i];
    SCOPED_TRACE(a.name.c_str());
    EXPECT_EQ(std::string_view(a.texturename), std::string_view(b.texturename));
    EXPECT_EQ(std::string_view(a.envmaptexture), std::string_view(b.envmaptexture));
    EXPECT_EQ(a.transparency, b.transparency);
    EXPECT_EQ(a.utile, b.utile);
    EXPECT_EQ(a.vtile, b.vtile);
    EXPECT_EQ(a.textured, b.textured);
    EXPECT_TRUE(near4(a.ambient.r, b.ambient.r) && near4(a.diffuse.g, b.diffuse.g) && near4(a.specular.b, b.specular.b));
    EXPECT_EQ(a.shine, b.shine);
    EXPECT_EQ(a.envmap, b.envmap);
    EXPECT_EQ(a.magtype, b.magtype);
    EXPECT_EQ(a.receivelight, b.receivelight);
    EXPECT_EQ(a.depthtest, b.depthtest);
    EXPECT_EQ(a.alphatest, b.alphatest);
    EXPECT_EQ(a.texturewrap, b.texturewrap);
    EXPECT_EQ(a.constantalpha, b.constantalpha);
    EXPECT_EQ(a.flaresize, b.flaresize);
  }
  EXPECT_EQ(read.materials[0].blend, 1);  // derived: depth 24, transparency 0.25
  EXPECT_EQ(read.materials[1].blend, 0);
  for (size_t i = 0; i < 3; i++) {
    const _QLV_OBJECT &a = written.objects[i], &b = read.objects[i];
    SCOPED_TRACE(a.name.c_str());
    EXPECT_EQ(a.material, b.material);
    EXPECT_EQ(a.rendermode, b.rendermode);
    EXPECT_EQ(a.visible, b.visible);
    EXPECT_EQ(a.backfacecull, b.backfacecull);
    const _QLV_PARTICLEDATA &p = a.particle, &q = b.particle;
    EXPECT_EQ(p.particleenabled, q.particleenabled);
    EXPECT_TRUE(near4(p.deltavector.z, q.deltavector.z) && near4(p.deltavectorspread.x, q.deltavectorspread.x));
    EXPECT_TRUE(near4(p.color.g, q.color.g) && near4(p.colorspread.b, q.colorspread.b));
    EXPECT_EQ(p.colorattrib, q.colorattrib);
    EXPECT_TRUE(near4(p.power, q.power) && near4(p.deltapower, q.deltapower) && near4(p.size, q.size));
    EXPECT_EQ(p.newparticle, q.newparticle);
    EXPECT_EQ(std::string_view(p.particletexture), std::string_view(q.particletexture));
  }
  EXPECT_EQ(read.objects[0].passno, 1);
  EXPECT_EQ(read.objects[1].passno, 0);
  EXPECT_EQ(read.scene.passcount, 1);
  for (int i = 0; i < kQlvLightCount; i++) {
    const _QLV_LIGHT &a = written.scene.lights[i], &b = read.scene.lights[i];
    EXPECT_EQ(a.enabled, b.enabled);
    EXPECT_TRUE(near4(a.pos.x, b.pos.x) && near4(a.ambient.r, b.ambient.r) && near4(a.diffuse.g, b.diffuse.g) &&
                near4(a.specular.b, b.specular.b));
  }
}

// Names and text values of up to 255 characters make lines of up to 539: what the
// writer writes, the reader reads whole, and a longer line loses only its tail.
TEST_F(SceneConfig, LongNamesAndValuesSurviveTheRoundTrip) {
  SmallScene written;
  const std::string name(255, 'n'), texture = std::string(250, 't') + ".tga";
  written.materials[1].name = name;
  written.materials[1].texturename = texture;
  written.objects[1].name = name;
  written.objects[1].particle.particletexture = texture;
  written.objects[1].particle.deltavectorspread = {1.5f, -2.25f, 3.125f};
  written.scene.lights[7].name = name;
  written.scene.lights[7].pos = {-12.25f, 0.5f, 7};
  ASSERT_EQ(SceneConfigSave(&written.scene, "long.cfg"), 0);
  const std::string text = ReadFile("long.cfg");
  EXPECT_NE(text.find("material(" + name + ").texturename=" + texture + "\n"), std::string::npos);

  SmallScene read;
  read.materials[1].name = name;
  read.objects[1].name = name;
  read.scene.lights[7].name = name;
  ASSERT_EQ(SceneConfigLoad(&read.scene, "long.cfg"), 0) << Log();
  EXPECT_EQ(std::string_view(read.materials[1].texturename), texture);
  EXPECT_EQ(std::string_view(read.materials[0].texturename), "wood.tga");  // not item 0 by mistake
  EXPECT_EQ(std::string_view(read.objects[1].particle.particletexture), texture);
  EXPECT_EQ(read.objects[1].particle.deltavectorspread.z, 3.125f);
  EXPECT_EQ(read.scene.lights[7].pos.x, -12.25f);
  EXPECT_EQ(read.scene.lights[0].pos.x, written.scene.lights[0].pos.x);

  // A line beyond the longest the writer makes is cut; the next line is read.
  WriteFile("over.cfg", "material(Wood).texturename=" + std::string(600, 'x') + "\nmaterial(Wood).shine=7\n");
  SmallScene over;
  ASSERT_EQ(SceneConfigLoad(&over.scene, "over.cfg"), 0);
  EXPECT_EQ(std::string_view(over.materials[0].texturename), std::string(255, 'x'));
  EXPECT_EQ(over.materials[0].shine, 7);
}

// A written file, cut and mutated: the reader never leaves its line or an item, and
// object material indices stay valid.
TEST_F(SceneConfig, MutatedTextsStayInBounds) {
  SmallScene small;
  ASSERT_EQ(SceneConfigSave(&small.scene, "good.cfg"), 0);
  const std::string good = ReadFile("good.cfg");
  std::mt19937 rng(4124);
  static const char kAlphabet[] = "()=.,#\r\n-+e01a ";
  for (int round = 0; round < 400; round++) {
    std::string text = good;
    for (int e = 0; e < 20; e++) {
      const size_t at = rng() % text.size();
      text[at] = rng() % 2 ? kAlphabet[rng() % (sizeof(kAlphabet) - 1)] : char(rng());
    }
    text.resize(rng() % (text.size() + 1));
    WriteFile("mut.cfg", text);
    SmallScene target;
    SceneConfigLoad(&target.scene, "mut.cfg");
    for (const _QLV_OBJECT &o : target.objects) ASSERT_TRUE(o.material >= 0 && o.material < 2);
  }
}

TEST_F(SceneConfig, SaveIntoAMissingFolderFails) {
  SmallScene small;
  EXPECT_EQ(SceneConfigSave(&small.scene, "no/such/dir/x.cfg"), -1);
  EXPECT_NE(Log().find("cannot create no/such/dir/x.cfg"), std::string::npos);
}

TEST_F(SceneConfig, GeometryExport) {
  SmallScene small;
  small.quadVertices[3] = {1, -0.5f, 0};
  small.quadVertices[2] = {-0.00001f, 2.5f, 1e6f};
  ASSERT_EQ(SceneExportGeometry(&small.scene, "hall"), 0);
  EXPECT_EQ(ReadFile("hallv"),
            "quad\n \n0 0.0000 0.0000 0.0000\n1 1.0000 0.0000 0.0000\n2 0.0000 2.5000 1000000.0000\n"
            "3 1.0000 -0.5000 0.0000\ntri\n \n0 0.0000 0.0000 0.0000\n1 2.0000 0.0000 0.0000\n"
            "2 0.0000 2.0000 1.0000\nempty\n \n");
  EXPECT_EQ(ReadFile("hallf"), "quad\n \n0 0 1 2\n1 2 3 0\ntri\n \n0 0 1 2\nempty\n \n");
  EXPECT_EQ(SceneExportGeometry(&small.scene, "no/such/dir/x"), -1);
}

}  // namespace
