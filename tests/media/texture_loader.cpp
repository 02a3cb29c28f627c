// The loader around the filters: the "_a" alpha merge, byte order, flip, quality
// shrink, short and missing files, options and the bitmap services.
#include <filesystem>
#include <fstream>

#include "tests/media/texture_fixtures.h"

namespace {

class TextureLoader : public TextureTest {};

// 2x2 24-bit top-down TGA with pixels 1..12.
Bytes Main2x2() { return MakeTga(2, 2, 24, 2, 0x20, Ramp(12)); }

TEST_F(TextureLoader, AlphaImageMergesIntoFourthByte) {
  struct { const char *what; Bytes alpha; Bytes expectAlpha; } cases[] = {
      {"grey alpha", MakeTga(2, 2, 8, 3, 0x20, Bytes{10, 20, 30, 40}), {10, 20, 30, 40}},
      {"24-bit alpha takes the first byte", MakeTga(2, 2, 24, 2, 0x20, Ramp(12, 100)), {100, 103, 106, 109}},
      {"32-bit alpha", MakeTga(2, 2, 32, 2, 0x20, Ramp(16, 50)), {50, 54, 58, 62}},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.what);
    MemFiles::files["pic_a.tga"] = c.alpha;
    BitmapPtr b(Load(Main2x2(), "pic.tga"));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->bits, 32);
    EXPECT_EQ(b->subtype, 2);
    EXPECT_EQ(b->imagesize[0], 16);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(b->image[0][4 * i], 1 + 3 * i);  // colour bytes kept
      EXPECT_EQ(b->image[0][4 * i + 3], c.expectAlpha[i]);
    }
  }
}

TEST_F(TextureLoader, AlphaNameIsBuiltFromTheLastDotOfTheFileName) {
  struct { const char *name, *probe; } cases[] = {
      {"a.b.tga", "a.b_a.tga"}, {"noext", "noext_a"}, {"dir.v2/file", "dir.v2/file_a"}, {"d/x.png.tga", "d/x.png_a.tga"}};
  for (auto c : cases) {
    SCOPED_TRACE(c.name);
    MemFiles::opened.clear();
    BitmapPtr b(Load(Main2x2(), c.name));
    ASSERT_TRUE(b);
    ASSERT_EQ(MemFiles::opened.size(), 2u);
    EXPECT_EQ(MemFiles::opened[1], c.probe);
  }
}

TEST_F(TextureLoader, AlphaMergeRefusedKeepsTheBitmapAndSets1003) {
  struct { const char *what; Bytes main, alpha; int bits; } cases[] = {
      {"missing", Main2x2(), {}, 24},
      {"other size", Main2x2(), MakeTga(1, 2, 8, 3, 0x20, Bytes{1, 2}), 24},
      {"8-bit main image", MakeTga(2, 2, 8, 3, 0x20, Ramp(4)), MakeTga(2, 2, 8, 3, 0x20, Ramp(4)), 8},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.what);
    MemFiles::files.clear();
    if (!c.alpha.empty()) MemFiles::files["m_a.tga"] = c.alpha;
    BitmapPtr b(Load(c.main, "m.tga"));
    ASSERT_TRUE(b);
    EXPECT_EQ(errGetLastError(), 1003);
    EXPECT_EQ(b->bits, c.bits);
    EXPECT_NE(b->subtype, 2);
  }
}

int gCallbackCalls = 0;
int CountCallback(int32_t, const char *) { return ++gCallbackCalls, 0; }

// With the default callbacks the "_a" probe goes through the file layer without
// reaching the host's error callback.
TEST_F(TextureLoader, AlphaProbeOnDiskNeverCallsTheErrorCallback) {
  txInit(nullptr);
  auto dir = std::filesystem::temp_directory_path() / ("korv-tl-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::string path = (dir / "solo.tga").string();
  Bytes file = Main2x2();
  std::ofstream(path, std::ios::binary).write((const char *)file.data(), (std::streamsize)file.size());
  gCallbackCalls = 0;
  errSetCallback(CountCallback);
  BitmapPtr b(txLoad(path.c_str()));
  EXPECT_TRUE(b);
  EXPECT_EQ(errGetLastError(), 1003);
  BitmapPtr missing(txLoad((dir / "none.tga").string().c_str()));
  EXPECT_FALSE(missing);
  EXPECT_EQ(errGetLastError(), 1);
  errSetCallback(nullptr);
  EXPECT_EQ(gCallbackCalls, 0);
  std::filesystem::remove_all(dir);
}

TEST_F(TextureLoader, ByteOrderAndFlip) {
  txOptions(3, 1);
  BitmapPtr rgb(Load(MakeTga(1, 2, 24, 2, 0x20, Bytes{1, 2, 3, 4, 5, 6})));
  ASSERT_TRUE(rgb);
  EXPECT_EQ(Level0(rgb.p), (Bytes{3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(rgb->type, 0);  // swapped, but the type still says what the file was
  EXPECT_EQ(txOptions(12, 0), 1);
  txOptions(3, 0);
  txOptions(4, 1);
  BitmapPtr flipped(Load(MakeTga(1, 3, 24, 2, 0x20, Ramp(9))));
  ASSERT_TRUE(flipped);
  EXPECT_EQ(Level0(flipped.p), (Bytes{7, 8, 9, 4, 5, 6, 1, 2, 3}));
}

TEST_F(TextureLoader, QualityShrinksSingleLevelImages) {
  struct { int quality, w, h, ew, eh; } cases[] = {
      {0, 8, 4, 8, 4}, {1, 8, 4, 4, 2}, {2, 8, 4, 2, 1}, {3, 8, 4, 2, 1}, {2, 2, 2, 1, 1}, {1, 1, 1, 1, 1}};
  for (auto c : cases) {
    SCOPED_TRACE(testing::Message() << "quality " << c.quality << " " << c.w << "x" << c.h);
    txOptions(2, c.quality);
    BitmapPtr b(Load(MakeTga(c.w, c.h, 24, 2, 0x20, Bytes((size_t)c.w * c.h * 3, 90))));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->width, c.ew);
    EXPECT_EQ(b->height, c.eh);
    EXPECT_EQ(b->imagesize[0], c.ew * c.eh * 3);
    EXPECT_EQ(b->image[0][0], 90);
  }
}

TEST_F(TextureLoader, EmptyShortAndUnknownFilesFailWith1000) {
  for (const Bytes &file : {Bytes{}, Bytes{'B'}, Bytes{0, 0, 0}, Bytes{'P', '6'}, Bytes(131, 0), Bytes(300, 0x55)}) {
    SCOPED_TRACE(file.size());
    BitmapPtr b(Load(file));
    EXPECT_FALSE(b);
    EXPECT_EQ(errGetLastError(), 1000);
  }
  EXPECT_EQ(txLoad("not-there"), nullptr);
  EXPECT_EQ(errGetLastError(), 1);
}

TEST_F(TextureLoader, ReadFailureClosesTheFile) {
  static int closes = 0;
  static const txFunctions io = {
      [](const char *) -> int32_t { return 0; }, []() -> void * { return errSetLastError(3), nullptr; },
      []() -> int32_t { return 0; }, []() -> int32_t { return ++closes, 0; }, [](const char *) -> int32_t { return 0; }};
  txInit(&io);
  closes = 0;
  EXPECT_EQ(txLoad("x"), nullptr);
  EXPECT_EQ(errGetLastError(), 3);
  EXPECT_EQ(closes, 1);
}

TEST_F(TextureLoader, Options) {
  EXPECT_EQ(txOptions(10, 1), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(txOptions(13, 1), -1);
  for (int code : std::initializer_list<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, TX_DXT1, TX_DXT3, TX_DXT5}) EXPECT_EQ(txOptions(code, 0), 0) << code;
  EXPECT_EQ(txVersion(), 96);
}

TEST_F(TextureLoader, DummyDupFreeSwap) {
  for (int layout : {0, 1, 2, 3}) {
    BitmapPtr d(txCreateDummy(layout, 3, 2));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->type, layout);
    EXPECT_EQ(d->subtype, layout);
    EXPECT_EQ(d->imagesize[0], 6 * (layout == 2 ? 4 : layout == 3 ? 1 : 3));
  }
  EXPECT_EQ(txCreateDummy(4, 1, 1), nullptr);
  EXPECT_EQ(errGetLastError(), 10);

  BitmapPtr src(txCreateDummy(0, 2, 2));
  src->levels = 2;
  src->image[1] = (uint8_t *)SYS_MemGet(3, "test level");
  src->imagesize[1] = 3;
  src->image[1][0] = 42;
  src->palette = (uint8_t *)SYS_MemGet(1024, "test palette");
  src->palette[5] = 7;
  BitmapPtr copy(txDup(src.p));
  ASSERT_TRUE(copy);
  EXPECT_NE(copy->image[0], src->image[0]);
  EXPECT_NE(copy->image[1], src->image[1]);
  EXPECT_NE(copy->palette, src->palette);
  EXPECT_EQ(copy->image[1][0], 42);
  EXPECT_EQ(copy->palette[5], 7);
  copy->image[1][0] = 1;
  EXPECT_EQ(src->image[1][0], 42);
  EXPECT_EQ(txDup(nullptr), nullptr);
  EXPECT_EQ(errGetLastError(), 1001);
  txDup(nullptr);
  EXPECT_EQ(txGetError(), 1001);  // returns the error it was asked for

  txBitmap *none = nullptr;
  EXPECT_EQ(txFree(&none), -1);
  EXPECT_EQ(errGetLastError(), 10);
  txBitmap *one = txCreateDummy(3, 1, 1);
  EXPECT_EQ(txFree(&one), 0);
  EXPECT_EQ(one, nullptr);

  BitmapPtr grey(txCreateDummy(3, 2, 2));
  EXPECT_EQ(txSwapRB(grey.p), -1);
  EXPECT_EQ(errGetLastError(), 1000);
  EXPECT_EQ(txGetBits(grey.p), 8);
  EXPECT_EQ(txGetBits(nullptr), 0);
  EXPECT_EQ(txGetImage(grey.p, 0), grey->image[0]);
  EXPECT_EQ(txGetImageSize(grey.p, 0), 4);
  EXPECT_EQ(txGetImage(grey.p, 13), nullptr);
}

TEST_F(TextureLoader, FindFilterProbesInOrder) {
  Bytes bmp = MakeBmp(1, 1, 24, Ramp(3));
  bmp.resize(TX_CHECK_BYTES, 0);
  const tx_filter_t *f = txFindFilter(bmp.data());
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->id, TX_FMT_BMP);
  Bytes none(TX_CHECK_BYTES, 0x42);
  EXPECT_EQ(txFindFilter(none.data()), nullptr);
  EXPECT_EQ(errGetLastError(), 1000);
}

}  // namespace
