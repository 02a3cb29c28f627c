// The texture table against a recording GL table: sharing by name and filter,
// reference counts, slot reuse, the fit to GLMaxTextureSize, the upload paths and
// the fatal ends.
#include <fstream>
#include <sstream>

#include "presentation/bindings.h"
#include "presentation/gl.h"
#include "presentation/texloader.h"
#include "presentation/textures.h"
#include "media/texture/TL_private.h"
#include "tests/media/texture_fixtures.h"

namespace {

struct GLRecord {
  std::string name;
  std::vector<long> args;
};
std::vector<GLRecord> gCalls;
GLuint gNextId = 1;
GLint gAlignment = 4;

void Rec(const char *name, std::initializer_list<long> args) { gCalls.push_back({name, args}); }

std::vector<GLRecord> Only(const std::string &name) {
  std::vector<GLRecord> out;
  for (auto &c : gCalls)
    if (c.name == name) out.push_back(c);
  return out;
}

void InstallRecorder() {
  gCalls.clear();
  gNextId = 1;
  gAlignment = 4;
  pgl::glGenTextures = [](GLsizei n, GLuint *ids) {
    for (GLsizei i = 0; i < n; ++i) ids[i] = gNextId++;
    Rec("glGenTextures", {n, (long)ids[0]});
  };
  pgl::glDeleteTextures = [](GLsizei n, const GLuint *ids) { Rec("glDeleteTextures", {n, (long)ids[0]}); };
  pgl::glBindTexture = [](GLenum t, GLuint id) { Rec("glBindTexture", {(long)t, (long)id}); };
  pgl::glTexParameteri = [](GLenum t, GLenum p, GLint v) { Rec("glTexParameteri", {(long)t, (long)p, v}); };
  pgl::glTexImage2D = [](GLenum, GLint level, GLint components, GLsizei w, GLsizei h, GLint, GLenum format, GLenum,
                         const void *) {
    Rec("glTexImage2D", {level, components, w, h, (long)format, gAlignment});
  };
  pgl::gluBuild2DMipmaps = [](GLenum, GLint components, GLsizei w, GLsizei h, GLenum format, GLenum,
                              const void *) -> GLint {
    Rec("gluBuild2DMipmaps", {components, w, h, (long)format, gAlignment});
    return 0;
  };
  pgl::glCompressedTexImage2DARB = [](GLenum, GLint level, GLenum format, GLsizei w, GLsizei h, GLint, GLsizei size,
                                      const void *) {
    Rec("glCompressedTexImage2DARB", {level, (long)format, w, h, size});
  };
  pgl::glGetIntegerv = [](GLenum p, GLint *v) {
    if (p == GL_UNPACK_ALIGNMENT) *v = gAlignment;
  };
  pgl::glPixelStorei = [](GLenum p, GLint v) {
    if (p == GL_UNPACK_ALIGNMENT) gAlignment = v;
  };
}

class TexturesTable : public TextureTest {
 protected:
  void SetUp() override {
    TextureTest::SetUp();
    InstallRecorder();
    GLMaxTextureSize = 0;
    txOptions(3, 1);
    TexInit();
  }
  // A w x h 24-bit top-down TGA under name.
  static void AddImage(const std::string &name, int w, int h, int bits = 24) {
    MemFiles::files[name] = MakeTga(w, h, bits, bits == 8 ? 3 : 2, 0x20, Bytes((size_t)w * h * (bits / 8), 77));
  }
  static const txNode *NodeOf(int32_t id) {
    for (const txNode &n : TexTable)
      if (!n.free && n.glId == id) return &n;
    return nullptr;
  }
};

TEST_F(TexturesTable, SharesByNameAndFilter) {
  AddImage("a.tga", 4, 4);
  AddImage("A.tga", 4, 4);
  int32_t first = TexLoad("a.tga", 3);
  int32_t again = TexLoad("a.tga", 3);
  EXPECT_EQ(first, again);
  ASSERT_NE(NodeOf(first), nullptr);
  EXPECT_EQ(NodeOf(first)->refCount, 2);
  EXPECT_EQ(Only("glGenTextures").size(), 1u);
  int32_t nearest = TexLoad("a.tga", 0);
  int32_t upper = TexLoad("A.tga", 3);
  EXPECT_NE(nearest, first);
  EXPECT_NE(upper, first);
  EXPECT_NE(upper, nearest);
  EXPECT_EQ(Only("glGenTextures").size(), 3u);
  EXPECT_EQ(TexTable[0].name, std::string_view("a.tga"));
  EXPECT_EQ(TexTable[1].filter, 0);
  EXPECT_EQ(TexTable[3].name, std::string_view("empty"));
  // The new texture stays bound for the caller.
  EXPECT_EQ(Only("glBindTexture").back().args[1], upper);
}

TEST_F(TexturesTable, PassesTheDriversDxtFlagsOnEveryLoad) {
  AddImage("a.tga", 2, 2);
  GLHasDXT1 = true;
  GLHasDXT3 = false;
  GLHasDXT5 = true;
  TexLoad("a.tga", 1);
  EXPECT_EQ(txSettings.dxtAllowed[0], 1);
  EXPECT_EQ(txSettings.dxtAllowed[1], 0);
  EXPECT_EQ(txSettings.dxtAllowed[2], 1);
  GLHasDXT1 = GLHasDXT5 = false;
  TexLoad("a.tga", 1);  // found in the table, the flags still go first
  EXPECT_EQ(txSettings.dxtAllowed[0], 0);
  EXPECT_EQ(txSettings.dxtAllowed[2], 0);
}

TEST_F(TexturesTable, ReleaseCountsDownDeletesAndFreesTheSlot) {
  AddImage("a.tga", 2, 2);
  AddImage("b.tga", 2, 2);
  AddImage("c.tga", 2, 2);
  int32_t a = TexLoad("a.tga", 1);
  TexLoad("a.tga", 1);
  int32_t b = TexLoad("b.tga", 1);
  TexRelease(a);
  EXPECT_TRUE(Only("glDeleteTextures").empty());
  EXPECT_EQ(TexBitDepth(a), 24);
  TexRelease(a);
  ASSERT_EQ(Only("glDeleteTextures").size(), 1u);
  EXPECT_EQ(Only("glDeleteTextures")[0].args[1], a);
  EXPECT_TRUE(TexTable[0].free);
  EXPECT_EQ(TexTable[0].glId, a);  // a released node keeps its old id
  EXPECT_EQ(TexBitDepth(a), 0);
  TexRelease(a);  // no live node holds it any more
  TexRelease(0);
  EXPECT_EQ(Only("glDeleteTextures").size(), 1u);
  int32_t c = TexLoad("c.tga", 1);
  EXPECT_EQ(TexTable[0].name, std::string_view("c.tga"));  // lowest free slot reused
  EXPECT_EQ(TexTable[0].glId, c);
  EXPECT_EQ(TexTable[1].glId, b);
}

TEST_F(TexturesTable, ClampsEachSideToTheMaximumWhenKnown) {
  struct { int max, w, h, ew, eh; } cases[] = {
      {16, 32, 8, 16, 8}, {16, 20, 20, 16, 16}, {16, 16, 16, 16, 16}, {16, 8, 40, 8, 16}, {0, 40, 8, 40, 8}};
  for (auto c : cases) {
    SCOPED_TRACE(testing::Message() << c.max << ": " << c.w << "x" << c.h);
    TexInit();
    gCalls.clear();
    GLMaxTextureSize = c.max;
    AddImage("s.tga", c.w, c.h);
    TexLoad("s.tga", 0);
    auto up = Only("glTexImage2D");
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].args[2], c.ew);
    EXPECT_EQ(up[0].args[3], c.eh);
  }
}

TEST_F(TexturesTable, UploadPathsByFilterAndDepth) {
  AddImage("grey.tga", 3, 1, 8);
  AddImage("rgb.tga", 3, 1, 24);
  AddImage("rgba.tga", 3, 1, 32);
  struct { const char *name; int filter; const char *call; long components, format; } cases[] = {
      {"rgb.tga", 0, "glTexImage2D", 3, GL_RGB},          {"rgb.tga", 1, "glTexImage2D", 3, GL_RGB},
      {"rgb.tga", 2, "gluBuild2DMipmaps", 3, GL_RGB},     {"rgb.tga", 3, "gluBuild2DMipmaps", 3, GL_RGB},
      {"grey.tga", 1, "glTexImage2D", 1, GL_LUMINANCE},  {"rgba.tga", 3, "gluBuild2DMipmaps", 4, GL_RGBA},
  };
  static constexpr GLint kMin[4] = {GL_NEAREST, GL_LINEAR, GL_NEAREST_MIPMAP_NEAREST, GL_LINEAR_MIPMAP_LINEAR};
  for (auto c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << " filter " << c.filter);
    TexInit();
    gCalls.clear();
    TexLoad(c.name, c.filter);
    auto params = Only("glTexParameteri");
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[0].args[1], GL_TEXTURE_MAG_FILTER);
    EXPECT_EQ(params[1].args[1], GL_TEXTURE_MIN_FILTER);
    EXPECT_EQ(params[1].args[2], kMin[c.filter]);
    auto up = Only(c.call);
    ASSERT_EQ(up.size(), 1u);
    const bool mip = std::string(c.call) == "gluBuild2DMipmaps";
    EXPECT_EQ(up[0].args[mip ? 0 : 1], c.components);
    EXPECT_EQ(up[0].args[mip ? 3 : 4], c.format);
    EXPECT_EQ(up[0].args[mip ? 4 : 5], 1);  // packed rows: alignment 1 during the upload
    EXPECT_EQ(gAlignment, 4);               // and restored after
  }
}

TEST_F(TexturesTable, StoredAndCompressedLevels) {
  BitmapPtr stored(txCreateDummy(0, 4, 2));
  stored->subtype = 0;
  stored->levels = 3;
  for (int i = 1; i < 3; ++i) {
    stored->image[i] = (uint8_t *)SYS_MemGet(8, "test level");
    stored->imagesize[i] = 8;
  }
  for (int single : {0, 1}) {
    gCalls.clear();
    EXPECT_TRUE(TexUpload(stored.p, single));
    auto up = Only("glTexImage2D");
    ASSERT_EQ(up.size(), 3u);
    long sizes[3][2] = {{4, 2}, {2, 1}, {1, 1}};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(up[i].args[0], i);
      EXPECT_EQ(up[i].args[2], sizes[i][0]);
      EXPECT_EQ(up[i].args[3], sizes[i][1]);
    }
    auto params = Only("glTexParameteri");
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[0].args[1], 0x8191);
    EXPECT_EQ(params[1].args[1], 0x813D);
    EXPECT_EQ(params[1].args[2], 2);
  }

  txBitmap dxt = {};
  dxt.type = TX_TYPE_COMPRESSED;
  dxt.subtype = TX_DXT5;
  dxt.width = 256;
  dxt.height = 64;
  dxt.bits = 32;
  dxt.levels = 9;
  for (int i = 0; i < 9; ++i) dxt.imagesize[i] = 100 + i;
  gCalls.clear();
  EXPECT_TRUE(TexUpload(&dxt, 0));
  auto up = Only("glCompressedTexImage2DARB");
  ASSERT_EQ(up.size(), 9u);
  long expect[9][2] = {{256, 64}, {128, 32}, {64, 16}, {32, 8}, {16, 4}, {8, 2}, {4, 1}, {2, 1}, {1, 1}};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(up[i].args[1], TX_DXT5);
    EXPECT_EQ(up[i].args[2], expect[i][0]);
    EXPECT_EQ(up[i].args[3], expect[i][1]);
    EXPECT_EQ(up[i].args[4], 100 + i);
  }
  EXPECT_EQ(Only("glTexParameteri").back().args[2], 8);
  // Without the entry point the levels are skipped, the level count still set.
  auto saved = pgl::glCompressedTexImage2DARB;
  pgl::glCompressedTexImage2DARB = nullptr;
  gCalls.clear();
  TexUpload(&dxt, 0);
  EXPECT_EQ(Only("glTexParameteri").back().args[2], 8);
  pgl::glCompressedTexImage2DARB = saved;

  BitmapPtr odd(txCreateDummy(3, 2, 2));
  odd->bits = 16;
  gCalls.clear();
  EXPECT_FALSE(TexUpload(odd.p, 1));
  EXPECT_TRUE(Only("glTexImage2D").empty());
}

TEST_F(TexturesTable, FilterOutsideTheTableBindsWithoutImage) {
  AddImage("x.tga", 2, 2);
  int32_t id = TexLoad("x.tga", 7);
  EXPECT_NE(id, 0);
  EXPECT_TRUE(Only("glTexParameteri").empty());
  EXPECT_TRUE(Only("glTexImage2D").empty());
  EXPECT_EQ(Only("glBindTexture").back().args[1], id);
  EXPECT_EQ(TexLoad("x.tga", 7), id);  // live
}

TEST_F(TexturesTable, InitForgetsAndResetDeletes) {
  AddImage("a.tga", 2, 2);
  AddImage("b.tga", 2, 2);
  int32_t a = TexLoad("a.tga", 3);
  TexLoad("b.tga", 3);
  TexInit();
  for (const txNode &n : TexTable) ASSERT_EQ(n.name, std::string_view("empty"));
  EXPECT_TRUE(Only("glDeleteTextures").empty());
  EXPECT_NE(TexLoad("a.tga", 3), a);  // a second texture for the same name
  TexReset();
  EXPECT_EQ(Only("glDeleteTextures").size(), 1u);
  EXPECT_TRUE(TexTable[0].free);
  EXPECT_EQ(TexTable[0].glId, 0);
}

TEST_F(TexturesTable, ReloadAllMakesNewTextures) {
  AddImage("a.tga", 2, 2);
  int32_t a = TexLoad("a.tga", 1);
  gCalls.clear();
  TexReloadAll();
  EXPECT_EQ(Only("glDeleteTextures").size(), 1u);
  EXPECT_NE(TexTable[0].glId, a);
  EXPECT_EQ(Only("glTexImage2D").size(), 1u);
  MemFiles::files.clear();  // the file has gone: the node keeps its texture
  int32_t b = TexTable[0].glId;
  TexReloadAll();
  EXPECT_EQ(TexTable[0].glId, b);
  EXPECT_TRUE(TexTable[0].loaded);
}

TEST_F(TexturesTable, DumpListsTakenNodes) {
  AddImage("a.tga", 2, 2);
  TexLoad("a.tga", 2);
  TexLoad("a.tga", 2);
  std::string path = ::testing::TempDir() + "korv-texdump-" + std::to_string(::getpid()) + ".txt";
  TexDump(path.c_str());
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_EQ(s.str(), "tarvo!korvadyne texture management system\n \na.tga OpenGL ref.:1 uploaded:TRUE type:2 reqs.:2\n");
  std::remove(path.c_str());
}

using TexturesTableDeath = TexturesTable;

TEST_F(TexturesTableDeath, MissingImageEndsTheRun) {
  EXPECT_EXIT(TexLoad("none.tga", 3), testing::ExitedWithCode(1), "Texture Loader Error\\. \\( none\\.tga \\)");
}

TEST_F(TexturesTableDeath, ImageOfAnUnuploadableDepthEndsTheRun) {
  AddImage("deep.tga", 2, 2, 16);
  EXPECT_EXIT(TexLoad("deep.tga", 3), testing::ExitedWithCode(1), "Texture Loader Error\\. \\( deep\\.tga \\)");
}

TEST_F(TexturesTableDeath, FullTableEndsTheRunInsteadOfOverflowing) {
  AddImage("t.tga", 1, 1);
  EXPECT_EXIT(
      {
        for (int i = 0; i < kTexTableSize; ++i) TexLoad("t.tga", 100 + i);  // 1001 distinct filters
        std::fprintf(stderr, "table full\n");
        TexLoad("t.tga", 99);
      },
      testing::ExitedWithCode(1), "table full(.|\n)*Texture Loader Error\\. \\( t\\.tga \\)");
}

TEST(TexturesUnit, RegistersSlotFour) {
  RegisterTLUnit();
  EXPECT_EQ(InitProcs[4].active, -1);
  EXPECT_EQ(InitProcs[4].name, std::string_view("Texture loader ..."));
  EXPECT_EQ(InitProcs[4].proc, &InitTextureLoader);
  EXPECT_EQ(ExitProcs[4].name, std::string_view("Uninit texture loader ..."));
  EXPECT_EQ(ExitProcs[4].proc, &UninitTextureLoader);
}

}  // namespace
