// Framework texture manager on a real GL context (Xvfb, llvmpipe): what each
// upload path sends is read back with glGetTexImage and the level queries.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/cfg.h"
#include "base/log.h"
#include "base/main.h"
#include "base/mem.h"
#include "media/texture/TM.h"
#include "media/window/WM.h"
#include "media/window/gl_stub.h"

namespace {

using Bytes = std::vector<uint8_t>;

int TrackedBlocks() {
  const std::string report = "tm_upload.mem." + std::to_string(getpid());
  if (SYS_MemInfo(report.c_str()) != 0) return -1;
  std::ifstream in(report);
  std::stringstream s;
  s << in.rdbuf();
  std::remove(report.c_str());
  const std::string text = s.str();
  int blocks = 0;
  for (size_t p = 0; (p = text.find(" bytes\n", p)) != std::string::npos; ++p) ++blocks;
  return blocks - 1;  // the "Total:" line
}

// A tracked bitmap with `levels` levels halving from w x h, bytes numbered from
// `first` so that every level's content is its own.
txBitmap *MakeBitmap(int32_t type, int32_t subtype, int32_t bits, int32_t w, int32_t h, int32_t levels,
                     uint8_t first = 1) {
  txBitmap *b = static_cast<txBitmap *>(SYS_MemGet(sizeof(txBitmap), "test bitmap"));
  b->type = type;
  b->subtype = subtype;
  b->bits = bits;
  b->width = w;
  b->height = h;
  b->levels = levels;
  uint8_t next = first;
  for (int32_t i = 0; i < levels; ++i) {
    const int32_t lw = std::max(w >> i, 1), lh = std::max(h >> i, 1);
    b->imagesize[i] = lw * lh * bits / 8;
    b->image[i] = static_cast<uint8_t *>(SYS_MemGet(b->imagesize[i], "test level"));
    for (int32_t k = 0; k < b->imagesize[i]; ++k) b->image[i][k] = next++;
  }
  return b;
}

GLint TexLevel(GLint level, GLenum what) {
  GLint v = -1;
  wmGL.glGetTexLevelParameteriv(GL_TEXTURE_2D, level, what, &v);
  return v;
}

GLint TexParam(GLenum what) {
  GLint v = -1;
  wmGL.glGetTexParameteriv(GL_TEXTURE_2D, what, &v);
  return v;
}

GLint Bound() {
  GLint v = -1;
  wmGL.glGetIntegerv(GL_TEXTURE_BINDING_2D, &v);
  return v;
}

// Level pixels of the bound texture, rows packed.
Bytes ReadLevel(GLint level, GLenum format, int bytesPerPixel) {
  Bytes out((size_t)TexLevel(level, GL_TEXTURE_WIDTH) * TexLevel(level, GL_TEXTURE_HEIGHT) * bytesPerPixel);
  wmGL.glPixelStorei(GL_PACK_ALIGNMENT, 1);
  wmGL.glGetTexImage(GL_TEXTURE_2D, level, format, GL_UNSIGNED_BYTE, out.data());
  return out;
}

Bytes LevelBytes(const txBitmap *b, int level) { return Bytes(b->image[level], b->image[level] + b->imagesize[level]); }

class TextureManager : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    static bool baseUp = SYS_BaseInit(nullptr, 0, nullptr, nullptr) == 0;
    ASSERT_TRUE(baseUp);
    ASSERT_EQ(wmInit(), 0) << errGetLastError();
    ASSERT_EQ(glu_stub(), 0) << errGetLastError();
    window_ = wmCreateWindow(0, 0, 64, 64);
    ASSERT_NE(window_, nullptr);
    wmOptions(window_, WM_OPT_TITLE, reinterpret_cast<intptr_t>("tm test"));
    ASSERT_EQ(wmShowWindow(window_), 0) << errGetLastError();
    ASSERT_EQ(wmMakeCurrent(window_), 1);
    ASSERT_EQ(tmInit(), 0);
  }
  void TearDown() override {
    if (!window_) return;
    tmDone();
    // The framework here starts without options: a test's own (-debug-tm) goes with it.
    SYS_CfgDone();
    for (const std::string &f : files_) std::remove(f.c_str());
    wmDestroyWindow(window_);
    wmDone();
  }
  // A 3x2 24-bit top-left-origin TGA in the working directory.
  std::string WriteTga() {
    const std::string name = "tm_fixture." + std::to_string(getpid()) + ".tga";
    Bytes f(18, 0);
    f[2] = 2;
    f[12] = 3;
    f[14] = 2;
    f[16] = 24;
    f[17] = 0x20;
    for (int i = 0; i < 3 * 2 * 3; ++i) f.push_back((uint8_t)(40 + 11 * i));
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char *>(f.data()), f.size());
    files_.push_back(name);
    return name;
  }
  wm_window_t *window_ = nullptr;
  std::vector<std::string> files_;
};

TEST_F(TextureManager, LoadUploadsOnceAndKeepsTheFirstFilter) {
  const std::string name = WriteTga();
  const int32_t id = tmLoad(name.c_str(), TM_FILTER_NEAREST);
  ASSERT_GT(id, 0) << errGetLastError();
  EXPECT_EQ(Bound(), id);
  tm_entry_t *e = tmFind(name.c_str());
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->uploaded, 1);
  EXPECT_EQ(TexParam(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
  EXPECT_EQ(TexParam(GL_TEXTURE_MAG_FILTER), GL_NEAREST);
  EXPECT_EQ(TexParam(GL_TEXTURE_WRAP_S), 0x2900);
  EXPECT_EQ(TexParam(GL_TEXTURE_WRAP_T), 0x2900);
  // Odd rows of 9 bytes arrive intact: the upload does not assume 4-byte rows.
  const txBitmap *b = tmGetBitmap(name.c_str());
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(ReadLevel(0, GL_RGB, 3), LevelBytes(b, 0));
  GLint alignment = 0;
  wmGL.glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4) << "the unpack alignment is restored";

  wmGL.glBindTexture(GL_TEXTURE_2D, 0);
  EXPECT_EQ(tmLoad(name.c_str(), TM_FILTER_MIPMAP_LINEAR), id);
  EXPECT_EQ(Bound(), id);
  EXPECT_EQ(tmFind(name.c_str()), e);
  EXPECT_EQ(e->loadCount, 2);
  EXPECT_EQ(e->filter, TM_FILTER_NEAREST);
  EXPECT_EQ(TexParam(GL_TEXTURE_MIN_FILTER), GL_NEAREST);

  EXPECT_EQ(tmLoad("tm_no_such_image.tga", 1), -1);
  EXPECT_EQ(errGetLastError(), 1005);
  EXPECT_EQ(tmFind("tm_no_such_image.tga"), nullptr);
  EXPECT_EQ(errGetLastError(), 14);
}

TEST_F(TextureManager, FilterChoosesParametersAndMipmapBuilding) {
  struct Case {
    int32_t filter;
    GLint mag, min;
    bool mipmaps;
  } cases[] = {
      {0, GL_NEAREST, GL_NEAREST, false},
      {1, GL_LINEAR, GL_LINEAR, false},
      {2, GL_NEAREST, GL_NEAREST_MIPMAP_NEAREST, true},
      {3, GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR, true},
      {9, GL_LINEAR, GL_NEAREST_MIPMAP_LINEAR, true},  // GL's defaults stay
  };
  for (const Case &c : cases) {
    const std::string key = "filter" + std::to_string(c.filter);
    txBitmap *b = MakeBitmap(0, 2, 32, 8, 4, 1);
    ASSERT_GT(tmLoadFromBitmap(key.c_str(), b, c.filter), 0);
    EXPECT_EQ(TexParam(GL_TEXTURE_MAG_FILTER), c.mag) << c.filter;
    EXPECT_EQ(TexParam(GL_TEXTURE_MIN_FILTER), c.min) << c.filter;
    EXPECT_EQ(TexLevel(0, GL_TEXTURE_WIDTH), 8) << c.filter;
    EXPECT_EQ(TexLevel(1, GL_TEXTURE_WIDTH), c.mipmaps ? 4 : 0) << c.filter;
    EXPECT_EQ(TexLevel(3, GL_TEXTURE_WIDTH), c.mipmaps ? 1 : 0) << c.filter;
    EXPECT_EQ(ReadLevel(0, GL_RGBA, 4), LevelBytes(b, 0)) << c.filter;
  }
}

TEST_F(TextureManager, StoredLevelsAreUploadedWhateverTheFilter) {
  for (int32_t filter : {0, 1, 2, 3}) {
    const std::string key = "levels" + std::to_string(filter);
    txBitmap *b = MakeBitmap(0, 0, 24, 4, 2, 3, (uint8_t)(filter * 50));
    ASSERT_GT(tmLoadFromBitmap(key.c_str(), b, filter), 0);
    EXPECT_EQ(TexParam(GL_TEXTURE_MAX_LEVEL), 2) << filter;
    const GLint sizes[3][2] = {{4, 2}, {2, 1}, {1, 1}};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(TexLevel(i, GL_TEXTURE_WIDTH), sizes[i][0]) << filter << " level " << i;
      EXPECT_EQ(TexLevel(i, GL_TEXTURE_HEIGHT), sizes[i][1]) << filter << " level " << i;
      EXPECT_EQ(ReadLevel(i, GL_RGB, 3), LevelBytes(b, i)) << filter << " level " << i;
    }
    EXPECT_EQ(TexLevel(3, GL_TEXTURE_WIDTH), 0) << "no level was generated";
  }
}

TEST_F(TextureManager, SubtypeChoosesThePixelFormat) {
  struct Case {
    int32_t subtype, bits;
    Bytes pixel;        // one pixel of the bitmap, repeated over 3x3
    GLenum readFormat;  // how the texture is read back
    Bytes expect;
  } cases[] = {
      {0, 24, {10, 20, 30}, GL_RGB, {10, 20, 30}},
      {1, 24, {10, 20, 30}, GL_RGB, {30, 20, 10}},  // GL_BGR
      {2, 32, {10, 20, 30, 40}, GL_RGBA, {10, 20, 30, 40}},
      {3, 8, {77}, GL_LUMINANCE, {77}},
      {4, 32, {1, 2, 3, 4}, GL_RGBA, {1, 2, 3, 4}},  // above 3: RGBA
      {9, 32, {5, 6, 7, 8}, GL_RGBA, {5, 6, 7, 8}},
  };
  for (const Case &c : cases) {
    txBitmap *b = MakeBitmap(0, c.subtype, c.bits, 3, 3, 1);
    for (int32_t i = 0; i < b->imagesize[0]; ++i) b->image[0][i] = c.pixel[i % c.pixel.size()];
    const std::string key = "subtype" + std::to_string(c.subtype);
    ASSERT_GT(tmLoadFromBitmap(key.c_str(), b, TM_FILTER_LINEAR), 0);
    Bytes got = ReadLevel(0, c.readFormat, (int)c.expect.size());
    ASSERT_EQ(got.size(), 9 * c.expect.size()) << c.subtype;
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], c.expect[i % c.expect.size()]) << c.subtype << " byte " << i;
  }
}

TEST_F(TextureManager, LevelsShorterThanTheirSidesAreNotRead) {
  // GL would read 8x8x3 bytes; the record only has 10, or no level 1 at all.
  txBitmap *b = MakeBitmap(0, 0, 24, 8, 8, 1);
  b->imagesize[0] = 10;
  EXPECT_GE(tmLoadFromBitmap("short", b, TM_FILTER_LINEAR), 0);
  EXPECT_EQ(tmFind("short")->uploaded, 1);
  EXPECT_EQ(TexLevel(0, GL_TEXTURE_WIDTH), 0);
  EXPECT_GE(tmLoadFromBitmap("short-mip", b, TM_FILTER_MIPMAP_LINEAR), 0);
  EXPECT_EQ(TexLevel(0, GL_TEXTURE_WIDTH), 0);

  txBitmap *m = MakeBitmap(0, 2, 32, 4, 4, 3);
  SYS_MemFree(&m->image[1]);
  m->levels = 40;  // beyond the 13 the record can hold
  EXPECT_GE(tmLoadFromBitmap("holes", m, TM_FILTER_NEAREST), 0);
  EXPECT_EQ(TexLevel(0, GL_TEXTURE_WIDTH), 4);
  EXPECT_EQ(TexLevel(1, GL_TEXTURE_WIDTH), 0);
  EXPECT_EQ(TexLevel(2, GL_TEXTURE_WIDTH), 1);
  EXPECT_EQ(TexParam(GL_TEXTURE_MAX_LEVEL), 12);
  // The bitmap "short" shares is released once, through its first key.
  tmFind("short-mip")->bitmap = nullptr;
}

TEST_F(TextureManager, ReloadFromBitmapReplacesOnlyAnotherBitmap) {
  txBitmap *first = MakeBitmap(0, 2, 32, 2, 2, 1);
  ASSERT_GT(tmLoadFromBitmap("caption", first, TM_FILTER_LINEAR), 0);

  // The same bitmap, redrawn: kept, and its new content uploaded.
  std::memset(first->image[0], 0xAB, first->imagesize[0]);
  EXPECT_EQ(tmReloadFromBitmap("caption", first), 0);
  EXPECT_EQ(tmGetBitmap("caption"), first);
  EXPECT_EQ(Bound(), tmGetId("caption"));
  EXPECT_EQ(ReadLevel(0, GL_RGBA, 4), Bytes(16, 0xAB));
  EXPECT_EQ(tmFind("caption")->uploaded, 1);

  // Another bitmap: the first is released (record and level: two blocks).
  txBitmap *second = MakeBitmap(0, 2, 32, 2, 2, 1, 100);
  const int before = TrackedBlocks();
  EXPECT_EQ(tmReloadFromBitmap("caption", second), 0);
  EXPECT_EQ(TrackedBlocks(), before - 2);
  EXPECT_EQ(tmGetBitmap("caption"), second);
  EXPECT_EQ(ReadLevel(0, GL_RGBA, 4), LevelBytes(second, 0));

  // Registering the key again keeps one entry.
  EXPECT_GT(tmLoadFromBitmap("caption", second, TM_FILTER_NEAREST), 0);
  EXPECT_EQ(tmFind("caption")->loadCount, 2);
  EXPECT_EQ(TexParam(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
  EXPECT_EQ(tmReload("caption"), 0);
  EXPECT_EQ(ReadLevel(0, GL_RGBA, 4), LevelBytes(second, 0));
  EXPECT_EQ(tmReloadFromBitmap("caption", nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
}

TEST_F(TextureManager, UnloadForgetsTheKeyButNotItsBitmap) {
  txBitmap *b = MakeBitmap(0, 2, 32, 2, 2, 1);
  const int32_t id = tmLoadFromBitmap("gone", b, TM_FILTER_LINEAR);
  ASSERT_GT(id, 0);
  EXPECT_EQ(tmUnload("gone"), 0);
  EXPECT_FALSE(wmGL.glIsTexture((GLuint)id));
  struct Call {
    const char *what;
    int32_t result;
  } calls[] = {
      {"tmBind", tmBind("gone")},
      {"tmGetId", tmGetId("gone")},
      {"tmUnload", tmUnload("gone")},
      {"tmReload", tmReload("gone")},
      {"tmReloadFromBitmap", tmReloadFromBitmap("gone", b)},
  };
  for (const Call &c : calls) EXPECT_EQ(c.result, -1) << c.what;
  EXPECT_EQ(tmGetBitmap("gone"), nullptr);
  EXPECT_EQ(errGetLastError(), 14);
  EXPECT_EQ(b->image[0][0], 1) << "the bitmap is still the caller's";
  txFree(&b);
}

TEST_F(TextureManager, BindOfAnEntryWithoutUploadBindsNothing) {
  ASSERT_GT(tmLoadFromBitmap("a", MakeBitmap(0, 2, 32, 2, 2, 1), 1), 0);
  const int32_t idB = tmLoadFromBitmap("b", MakeBitmap(0, 2, 32, 2, 2, 1), 1);
  ASSERT_GT(idB, 0);
  tmFind("a")->uploaded = 0;
  EXPECT_EQ(tmBind("a"), 0);
  EXPECT_EQ(Bound(), idB);
  tmFind("a")->uploaded = 1;
  wmGL.glDisable(GL_TEXTURE_2D);
  EXPECT_EQ(tmBind("a"), 0);
  EXPECT_EQ(Bound(), tmGetId("a"));
  EXPECT_TRUE(wmGL.glIsEnabled(GL_TEXTURE_2D));
  // The newest entry is found first.
  EXPECT_EQ(tmBind("missing"), -1);
  EXPECT_EQ(errGetLastError(), 14);
}

TEST_F(TextureManager, CompressedLevelsGoThroughTheCompressedCall) {
  const char *ext = reinterpret_cast<const char *>(wmGL.glGetString(GL_EXTENSIONS));
  if (!ext || !gl_stub_has_extension(ext, "GL_EXT_texture_compression_s3tc") || !wmGL.glCompressedTexImage2DARB)
    GTEST_SKIP() << "no DXT support";
  // DXT1 blocks of one colour: colour 0 pure red (565), every index 0.
  txBitmap *b = static_cast<txBitmap *>(SYS_MemGet(sizeof(txBitmap), "dxt"));
  b->type = TX_TYPE_COMPRESSED;
  b->subtype = TX_DXT1;
  b->width = b->height = 4;
  b->bits = 32;
  b->levels = 3;
  for (int i = 0; i < 3; ++i) {
    b->imagesize[i] = 8;
    b->image[i] = static_cast<uint8_t *>(SYS_MemGet(8, "dxt block"));
    b->image[i][0] = 0x00;
    b->image[i][1] = 0xF8;
  }
  ASSERT_GT(tmLoadFromBitmap("dxt1", b, TM_FILTER_MIPMAP_LINEAR), 0);
  EXPECT_EQ(wmGL.glGetError(), (GLenum)GL_NO_ERROR);
  EXPECT_EQ(TexLevel(0, GL_TEXTURE_COMPRESSED), 1);
  EXPECT_EQ(TexParam(GL_TEXTURE_MAX_LEVEL), 2);
  EXPECT_EQ(TexParam(0x8191), 0);  // GL_GENERATE_MIPMAP
  const GLint sizes[] = {4, 2, 1};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(TexLevel(i, GL_TEXTURE_WIDTH), sizes[i]);
    Bytes px = ReadLevel(i, GL_RGBA, 4);
    ASSERT_FALSE(px.empty());
    for (size_t k = 0; k < px.size(); k += 4)
      ASSERT_EQ(Bytes(px.begin() + k, px.begin() + k + 4), Bytes({255, 0, 0, 255})) << "level " << i;
  }
}

TEST_F(TextureManager, DoneDeletesTexturesAndFreesEverything) {
  const int before = TrackedBlocks();
  const std::string name = WriteTga();
  const int32_t a = tmLoad(name.c_str(), TM_FILTER_LINEAR);
  const int32_t b = tmLoadFromBitmap("mine", MakeBitmap(0, 2, 32, 4, 4, 1), TM_FILTER_MIPMAP_NEAREST);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_GT(TrackedBlocks(), before);
  EXPECT_EQ(tmDone(), 0);
  EXPECT_EQ(TrackedBlocks(), before);
  EXPECT_FALSE(wmGL.glIsTexture((GLuint)a));
  EXPECT_FALSE(wmGL.glIsTexture((GLuint)b));
  EXPECT_EQ(tmFind(name.c_str()), nullptr);
}

TEST_F(TextureManager, VerboseLinesNeedTheOptionErrorLinesDoNot) {
  const std::string log = "tm_upload." + std::to_string(getpid()) + ".log";
  files_.push_back(log);
  ASSERT_EQ(SYS_DbgLogFile(log.c_str()), 0);
  SYS_DbgSetFlag(1);
  EXPECT_EQ(tmLoad("tm_missing_quiet.tga", 1), -1);
  EXPECT_GT(tmLoadFromBitmap("quiet", MakeBitmap(0, 2, 32, 2, 2, 1), 1), 0);
  ASSERT_EQ(SYS_CfgAdd("-debug-tm"), 0);
  ASSERT_EQ(tmInit(), 0);
  EXPECT_GT(tmLoadFromBitmap("loud", MakeBitmap(0, 2, 32, 2, 2, 1), 1), 0);
  EXPECT_EQ(tmUnload("quiet"), 0);
  EXPECT_EQ(tmLoad("tm_missing_loud.tga", 1), -1);
  SYS_DbgSetFlag(0);
  std::ifstream in(log);
  std::stringstream s;
  s << in.rdbuf();
  const std::string text = s.str();
  size_t errors = 0;
  for (size_t p = 0; (p = text.find("()]  ! texture loading error: 1\n", p)) != std::string::npos; ++p) ++errors;
  EXPECT_EQ(errors, 2u) << text;
  EXPECT_EQ(text.find("Upload texture: quiet"), std::string::npos) << text;
  EXPECT_NE(text.find("New node from bitmap: loud\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Upload texture: loud\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Remove texture: 'quiet'\n"), std::string::npos) << text;
}

}  // namespace
