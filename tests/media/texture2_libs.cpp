// PNG and JPEG filters: a table of small valid and malformed files, the alpha merge
// of a PNG, write-read round trips through both writers, and a truncate-and-mutate
// loop over every valid fixture.
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "media/texture/TL_private.h"
#include "tests/media/texture2_fixtures.h"

namespace {

struct Case {
  const char *name;
  Bytes file;
  int error;  // 0: loads, else the last error of the refused load
  int width, height, bits, type, subtype, format;
  Bytes level0;  // as delivered with the wanted byte order R,G,B; empty: not compared
};

Bytes Solid(size_t pixels, Bytes value) {
  Bytes out;
  for (size_t i = 0; i < pixels; ++i) Append(out, value);
  return out;
}

std::vector<Case> PngCases() {
  const Bytes rgb = Ramp(18);   // 3x2 R,G,B
  const Bytes rgba = Ramp(16);  // 2x2 R,G,B,A
  const Bytes grey = Ramp(6);   // 3x2
  const Bytes plte = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  const Bytes rgb16 = Ramp(12);  // 2x1, 16-bit samples
  // 1-bit grey 3x2: rows 101, 010 -> widened to 255, 0, 255 / 0, 255, 0.
  const Bytes bits1 = {0xA0, 0x40};
  // 4-bit palette 3x1: indices 2, 0, 1 -> one byte each.
  const Bytes bits4 = {0x20, 0x10};
  // Adam7 2x2 grey: pass 1 (0,0), pass 6 (1,0), pass 7 row 1.
  const Bytes adam7 = {0, 11, 0, 12, 0, 13, 14};
  Bytes badCrcIgnoredNot = MakePng(3, 2, 8, 0, grey, 3);
  badCrcIgnoredNot[29] ^= 0xFF;  // IHDR CRC
  Bytes noIdat = MakePng(3, 2, 8, 0, grey, 3);
  noIdat.resize(33);  // signature and IHDR only
  Bytes shortImage = MakePngRaw(3, 2, 8, 0, Bytes{0, 1, 2, 3});  // one row of two
  Bytes huge = MakePngRaw(30000, 30000, 8, 0, Bytes{0, 1});
  Bytes noIend = MakePng(3, 2, 8, 0, grey, 3);
  noIend.resize(noIend.size() - 12);  // every row, then the data end
  return {
      {"png rgb", MakePng(3, 2, 8, 2, rgb, 9), 0, 3, 2, 24, 1, 0, 3, rgb},
      {"png rgba", MakePng(2, 2, 8, 6, rgba, 8), 0, 2, 2, 32, 1, 2, 3, rgba},
      {"png grey", MakePng(3, 2, 8, 0, grey, 3), 0, 3, 2, 8, 1, 3, 3, grey},
      {"png palette", MakePng(3, 1, 8, 3, Bytes{2, 0, 1}, 3, plte), 0, 3, 1, 8, 1, 4, 3, Bytes{2, 0, 1}},
      {"png grey+alpha", MakePng(2, 1, 8, 4, Ramp(4), 4), 0, 2, 1, 16, 1, -1, 3, Ramp(4)},
      {"png 16-bit rgb", MakePng(2, 1, 16, 2, rgb16, 12), 0, 2, 1, 48, 1, -1, 3, {}},
      {"png 16-bit grey+alpha", MakePng(1, 1, 16, 4, Ramp(4), 4), 0, 1, 1, 32, 1, -1, 3, Ramp(4)},
      {"png 1-bit grey", MakePng(3, 2, 1, 0, bits1, 1), 0, 3, 2, 8, 1, 3, 3, Bytes{255, 0, 255, 0, 255, 0}},
      {"png 4-bit palette", MakePng(3, 1, 4, 3, bits4, 2, plte), 0, 3, 1, 8, 1, 4, 3, Bytes{2, 0, 1}},
      {"png interlaced", MakePngRaw(2, 2, 8, 0, adam7, {}, 1), 0, 2, 2, 8, 1, 3, 3, Bytes{11, 12, 13, 14}},
      {"png bad header crc", badCrcIgnoredNot, 1000, 0, 0, 0, 0, 0, 0, {}},
      {"png without image data", noIdat, 1002, 0, 0, 0, 0, 0, 0, {}},
      {"png image data short", shortImage, 1000, 0, 0, 0, 0, 0, 0, {}},
      {"png size beyond its data", huge, 1002, 0, 0, 0, 0, 0, 0, {}},
      {"png signature only", Bytes{137, 'P', 'N', 'G'}, 1002, 0, 0, 0, 0, 0, 0, {}},
      {"png without IEND", noIend, 1002, 0, 0, 0, 0, 0, 0, {}},
  };
}

// Smooth shades with some noise: every coefficient band and bit level in use.
Bytes Shades(size_t w, size_t h, size_t components) {
  Bytes px(w * h * components);
  uint32_t x = 12345;
  for (size_t i = 0; i < px.size(); ++i)
    px[i] = (uint8_t)((i / components % w) * 3 + (i / components / w) * 2 + (i % components) * 40 +
                      ((x = x * 1103515245 + 12345) >> 28));
  return px;
}

std::vector<Case> JpegCases() {
  Bytes exif = MakeJpeg(8, 8, 3, Solid(64, {200, 100, 50}), false);
  // 11000 x 11000 claimed by a few hundred bytes (363 MB of pixels): the data end.
  Bytes huge = Claiming(MakeJpeg(8, 8, 3, Solid(64, {200, 100, 50})), 11000, 11000);
  // Arithmetic coding packs flat pictures past any ratio, but not past what one load
  // may hold: 40000 x 40000 grey.
  JpegSpec arithmetic;
  arithmetic.arithmetic = true;
  arithmetic.components = 1;
  Bytes hugeArithmetic = Claiming(MakeJpegOf(arithmetic, Solid(64, {128})), 40000, 40000);
  return {
      {"jpeg colour", MakeJpeg(16, 8, 3, Solid(128, {200, 100, 50})), 0, 16, 8, 24, 1, 0, 1, {}},
      {"jpeg grey", MakeJpeg(8, 16, 1, Solid(128, {77})), 0, 8, 16, 8, 1, 3, 1, {}},
      {"jpeg odd size", MakeJpeg(5, 3, 3, Solid(15, {0, 255, 0})), 0, 5, 3, 24, 1, 0, 1, {}},
      {"jpeg exif (not claimed)", exif, 1000, 0, 0, 0, 0, 0, 0, {}},
      {"jpeg cmyk", MakeJpeg(8, 8, 4, Solid(64, {1, 2, 3, 4})), 1000, 0, 0, 0, 0, 0, 0, {}},
      {"jpeg header only", Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0}, 1002, 0, 0, 0, 0, 0, 0, {}},
      {"jpeg size beyond its data", huge, 1002, 0, 0, 0, 0, 0, 0, {}},
      {"jpeg arithmetic size past the limit", hugeArithmetic, 1005, 0, 0, 0, 0, 0, 0, {}},
  };
}

std::vector<Case> AllCases() {
  std::vector<Case> all = PngCases();
  for (Case &c : JpegCases()) all.push_back(c);
  return all;
}

class TextureLibs : public TextureTest {
 protected:
  void SetUp() override {
    TextureTest::SetUp();
    txOptions(3, 1);  // as decoded: R,G,B
  }
};

TEST_F(TextureLibs, TableOfFixtures) {
  for (const Case &c : AllCases()) {
    SCOPED_TRACE(c.name);
    BitmapPtr b(Load(c.file));
    if (c.error) {
      EXPECT_FALSE(b);
      EXPECT_EQ(errGetLastError(), c.error);
      continue;
    }
    ASSERT_TRUE(b);
    EXPECT_EQ(b->width, c.width);
    EXPECT_EQ(b->height, c.height);
    EXPECT_EQ(b->bits, c.bits);
    EXPECT_EQ(b->type, c.type);
    EXPECT_EQ(b->subtype, c.subtype);
    EXPECT_EQ(b->format, c.format);
    EXPECT_EQ(b->levels, 1);
    EXPECT_EQ(b->imagesize[0], c.width * c.height * c.bits / 8);
    if (!c.level0.empty()) {
      EXPECT_EQ(Level0(b.p), c.level0);
    }
  }
}

TEST_F(TextureLibs, DecodedValues) {
  // A palette image keeps its R,G,B,0 table; 16-bit samples stay big-endian.
  const Bytes plte = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  BitmapPtr pal(Load(MakePng(3, 1, 8, 3, Bytes{2, 0, 1}, 3, plte)));
  ASSERT_TRUE(pal && pal->palette);
  EXPECT_EQ(Bytes(pal->palette, pal->palette + 12), (Bytes{10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0}));
  BitmapPtr wide(Load(MakePng(2, 1, 16, 2, Ramp(12), 12)));
  ASSERT_TRUE(wide);
  EXPECT_EQ(Level0(wide.p), Ramp(12));

  // Flat JPEG colours come back within rounding; the default order B,G,R swaps them.
  BitmapPtr rgb(Load(MakeJpeg(16, 8, 3, Solid(128, {200, 100, 50}))));
  ASSERT_TRUE(rgb);
  for (int i = 0; i < 128; ++i) {
    EXPECT_NEAR(rgb->image[0][3 * i], 200, 3);
    EXPECT_NEAR(rgb->image[0][3 * i + 1], 100, 3);
    EXPECT_NEAR(rgb->image[0][3 * i + 2], 50, 3);
  }
  txOptions(3, 0);
  BitmapPtr bgr(Load(MakeJpeg(8, 8, 3, Solid(64, {200, 100, 50}))));
  ASSERT_TRUE(bgr);
  EXPECT_NEAR(bgr->image[0][0], 50, 3);
  EXPECT_NEAR(bgr->image[0][2], 200, 3);
  EXPECT_EQ(bgr->type, TX_TYPE_RGB);  // the record keeps the decoded order's type
}

TEST_F(TextureLibs, PngWithAlphaImageLoadsAs32Bits) {
  MemFiles::files["pic_a.png"] = MakePng(2, 1, 8, 0, Bytes{7, 9}, 2);
  BitmapPtr b(Load(MakePng(2, 1, 8, 2, Ramp(6), 6), "pic.png"));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->bits, 32);
  EXPECT_EQ(b->subtype, TX_SUB_ALPHA);
  EXPECT_EQ(Level0(b.p), (Bytes{1, 2, 3, 7, 4, 5, 6, 9}));
}

// Samples below 8 bits come out one byte each: grey scaled to 0..255, palette
// indices as they are, both plain and interlaced (Adam7 passes of odd sizes), with a
// tRNS chunk beside the palette. Pixels follow a pattern the test computes.
TEST_F(TextureLibs, PackedDepthsDecodeToOneBytePerSample) {
  constexpr int kW = 13, kH = 11;
  for (int depth : {1, 2, 4})
    for (int colourType : {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_PALETTE})
      for (bool interlaced : {false, true}) {
        SCOPED_TRACE(testing::Message() << "depth " << depth << " colour type " << colourType << " interlaced "
                                        << interlaced);
        const int top = (1 << depth) - 1;
        const size_t rowBytes = (kW * depth + 7) / 8;
        Bytes packed(rowBytes * kH, 0), want;
        for (int y = 0; y < kH; ++y)
          for (int x = 0; x < kW; ++x) {
            const int v = (x * 3 + y * 5 + x * y) % (top + 1);
            const int bit = x * depth;
            packed[y * rowBytes + bit / 8] |= (uint8_t)(v << (8 - depth - bit % 8));
            want.push_back(colourType == PNG_COLOR_TYPE_GRAY ? (uint8_t)(v * 255 / top) : (uint8_t)v);
          }
        const bool palette = colourType == PNG_COLOR_TYPE_PALETTE;
        const Bytes file = WritePng(kW, kH, depth, colourType, packed, interlaced, palette ? Ramp(3 * (top + 1)) : Bytes{},
                                    palette ? Bytes{0, 128} : Bytes{});
        ASSERT_FALSE(file.empty());
        BitmapPtr b(Load(file));
        ASSERT_TRUE(b);
        EXPECT_EQ(b->bits, 8);
        EXPECT_EQ(b->subtype, palette ? TX_SUB_PALETTE : TX_SUB_GREY);
        EXPECT_EQ(Level0(b.p), want);
        if (palette) {
          ASSERT_TRUE(b->palette);
          EXPECT_EQ(Bytes(b->palette + 4 * top, b->palette + 4 * top + 4),
                    (Bytes{(uint8_t)(3 * top + 1), (uint8_t)(3 * top + 2), (uint8_t)(3 * top + 3), 0}));
        }
      }
}

// Pixels as libpng's own transforms and interlace handling deliver them: samples below
// 8 bits widened (grey scaled to 0..255, palette indices as they are), the picture
// read whole. The loader widens and places the passes itself, which must agree.
Bytes LibpngPicture(const Bytes &file) {
  struct Source {
    const Bytes *file;
    size_t at;
  } src{&file, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  Bytes picture;
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return {};
  }
  png_set_read_fn(png, &src, [](png_structp p, png_bytep d, size_t n) {
    Source *s = (Source *)png_get_io_ptr(p);
    if (s->at + n > s->file->size()) png_error(p, "past the end");
    std::memcpy(d, s->file->data() + s->at, n);
    s->at += n;
  });
  png_read_info(png, info);
  if (png_get_bit_depth(png, info) < 8) {
    if (png_get_color_type(png, info) == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(png);
    else png_set_packing(png);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info), height = png_get_image_height(png, info);
  picture.resize(rowBytes * height);
  rows.resize(height);
  for (size_t y = 0; y < height; ++y) rows[y] = picture.data() + y * rowBytes;
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  return picture;
}

// Every layout a PNG may have, at sides whose Adam7 passes are empty, uneven or one
// pixel wide and with rows of a few hundred pixels, with bytes that use every sample
// value: the loader's picture is libpng's to the byte, plain and interlaced.
TEST_F(TextureLibs, PicturesMatchLibpngsOwnDecoding) {
  const struct {
    int colourType, depth, samples;
  } layouts[] = {{PNG_COLOR_TYPE_GRAY, 1, 1},       {PNG_COLOR_TYPE_GRAY, 2, 1},      {PNG_COLOR_TYPE_GRAY, 4, 1},
                 {PNG_COLOR_TYPE_GRAY, 8, 1},       {PNG_COLOR_TYPE_GRAY, 16, 1},     {PNG_COLOR_TYPE_PALETTE, 1, 1},
                 {PNG_COLOR_TYPE_PALETTE, 2, 1},    {PNG_COLOR_TYPE_PALETTE, 4, 1},   {PNG_COLOR_TYPE_PALETTE, 8, 1},
                 {PNG_COLOR_TYPE_GRAY_ALPHA, 8, 2}, {PNG_COLOR_TYPE_GRAY_ALPHA, 16, 2}, {PNG_COLOR_TYPE_RGB, 8, 3},
                 {PNG_COLOR_TYPE_RGB, 16, 3},       {PNG_COLOR_TYPE_RGBA, 8, 4},      {PNG_COLOR_TYPE_RGBA, 16, 4}};
  const int sides[][2] = {{1, 1}, {2, 7}, {5, 3}, {9, 9}, {13, 11}, {17, 4}, {33, 13}, {203, 19}};
  uint32_t seed = 7;
  for (const auto &l : layouts)
    for (const auto &side : sides)
      for (bool interlaced : {false, true}) {
        SCOPED_TRACE(testing::Message() << "colour type " << l.colourType << ", depth " << l.depth << ", "
                                        << side[0] << "x" << side[1] << (interlaced ? ", interlaced" : ""));
        const size_t rowBytes = ((size_t)side[0] * l.samples * l.depth + 7) / 8;
        Bytes rows(rowBytes * side[1]);
        for (auto &v : rows) v = (uint8_t)((seed = seed * 1103515245 + 12345) >> 23);
        const bool palette = l.colourType == PNG_COLOR_TYPE_PALETTE;
        const Bytes file = WritePng(side[0], side[1], l.depth, l.colourType, rows, interlaced,
                                    palette ? Ramp(3 * ((size_t)1 << l.depth)) : Bytes{});
        ASSERT_FALSE(file.empty());
        const Bytes want = LibpngPicture(file);
        ASSERT_FALSE(want.empty());
        BitmapPtr b(Load(file));
        ASSERT_TRUE(b);
        EXPECT_EQ(Level0(b.p), want);
      }
}

// A flat picture below 8 bits compresses far beyond 1032:1 measured in its widened
// bytes (a 4096x4096 1-bit page is 10 KB), which the size bound took for
// impossible. Bounded by the rows as stored, they load; so does such a picture as
// the "_a" mask of another, which lost its alpha without a word.
TEST_F(TextureLibs, CompressiblePackedImagesLoad) {
  const struct {
    const char *name;
    int side, depth, colourType;
    bool interlaced;
    uint8_t stored, decoded;  // the packed bytes and samples of the first and last rows
  } cases[] = {
      {"1-bit grey", 4096, 1, PNG_COLOR_TYPE_GRAY, false, 0xFF, 255},
      {"1-bit grey interlaced", 4096, 1, PNG_COLOR_TYPE_GRAY, true, 0xFF, 255},
      {"2-bit grey interlaced", 2048, 2, PNG_COLOR_TYPE_GRAY, true, 0x55, 85},
      {"4-bit palette", 2048, 4, PNG_COLOR_TYPE_PALETTE, false, 0x33, 3},
      {"4-bit palette interlaced", 2048, 4, PNG_COLOR_TYPE_PALETTE, true, 0x33, 3},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    // Black but for the first and last rows (which lie in different Adam7 passes).
    const size_t side = (size_t)c.side, rowBytes = (side * c.depth + 7) / 8;
    Bytes packed(rowBytes * side, 0), want(side * side, 0);
    std::fill_n(packed.begin(), rowBytes, c.stored);
    std::fill_n(packed.end() - (long)rowBytes, rowBytes, c.stored);
    std::fill_n(want.begin(), side, c.decoded);
    std::fill_n(want.end() - (long)side, side, c.decoded);
    const Bytes file = WritePng(c.side, c.side, c.depth, c.colourType, packed, c.interlaced,
                                c.colourType == PNG_COLOR_TYPE_PALETTE ? Ramp(48) : Bytes{});
    ASSERT_GT((size_t)c.side * (c.side + 1), file.size() * 1032 + 65536) << "widened, beyond what deflate gives";
    BitmapPtr b(Load(file));
    EXPECT_TRUE(b) << "error " << errGetLastError();
    if (!b) continue;
    EXPECT_EQ(b->width, c.side);
    EXPECT_EQ(b->imagesize[0], c.side * c.side);
    EXPECT_EQ(Level0(b.p), want);
  }

  // A 2048x2048 picture whose 1-bit mask is opaque on the left half.
  constexpr int kSide = 2048;
  Bytes mask;
  for (int y = 0; y < kSide; ++y) {
    Append(mask, Bytes(kSide / 16, 0xFF));
    Append(mask, Bytes(kSide / 16, 0x00));
  }
  MemFiles::files["pic_a.png"] = WritePng(kSide, kSide, 1, PNG_COLOR_TYPE_GRAY, mask, false);
  BitmapPtr pic(Load(WritePng(kSide, kSide, 8, PNG_COLOR_TYPE_RGB, Solid((size_t)kSide * kSide, {9, 8, 7}), false),
                     "pic.png"));
  ASSERT_TRUE(pic);
  EXPECT_EQ(errGetLastError(), 0);
  EXPECT_EQ(pic->bits, 32);
  EXPECT_EQ(pic->subtype, TX_SUB_ALPHA);
  size_t wrong = 0;
  for (int i = 0; i < kSide * kSide; ++i) wrong += pic->image[0][4 * i + 3] != (i % kSide < kSide / 2 ? 255 : 0);
  EXPECT_EQ(wrong, 0u);
}

// An "_a" image that is there but cannot be read leaves the picture without alpha
// (1003, the load succeeds) and says so in the log; a missing one, the usual case,
// stays quiet.
TEST_F(TextureLibs, UnreadableAlphaImageIsLogged) {
  const Bytes picture = MakePng(2, 1, 8, 2, Ramp(6), 6);
  MemFiles::files["pic_a.png"] = Bytes{137, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0};
  BitmapPtr alone(nullptr), pic(nullptr);
  int32_t error = 0;
  const std::string text = LogOf([&] {
    alone.p = Load(picture, "alone.png");
    pic.p = Load(picture, "pic.png");
    error = errGetLastError();
  });
  ASSERT_TRUE(alone && pic);
  EXPECT_EQ(error, 1003);
  EXPECT_EQ(pic->bits, 24);
  EXPECT_EQ(text.find("alone_a.png"), std::string::npos) << text;
  EXPECT_NE(text.find("alpha map unreadable: pic_a.png"), std::string::npos) << text;
}

// Rows as stored beyond what the data can inflate to are refused before any pixel is
// allocated, as damaged (1002), with the reason in the log; a flat 16384x8192 1-bit
// page, far beyond any ratio in its widened bytes (16 KB), loads.
TEST_F(TextureLibs, PackedClaimsBeyondTheirFileAreRefused) {
  txOptions(1, 1);
  int32_t error = 0;
  const std::string text = LogOf([&] {
    BitmapPtr b(Load(MakePngRaw(8192, 4096, 1, 0, Bytes{0, 1})));
    EXPECT_FALSE(b);
    error = errGetLastError();
  });
  txOptions(1, 0);
  EXPECT_EQ(error, 1002);
  EXPECT_NE(text.find("rows of 8192x4096 need more data than the file holds"), std::string::npos) << text;
  const Bytes page = WritePng(16384, 8192, 1, PNG_COLOR_TYPE_GRAY, Bytes((size_t)2048 * 8192, 0), false);
  ASSERT_LT(page.size(), 32u << 10);
  BitmapPtr b(Load(page));
  ASSERT_TRUE(b) << errGetLastError();
  EXPECT_EQ(b->imagesize[0], 16384 * 8192);
}

// Every prefix and many single-byte changes of each valid fixture either load into a
// consistent bitmap or fail with an error; the sanitizer watches the reads.
TEST_F(TextureLibs, TruncatedAndMutatedFilesNeverOverrun) {
  for (const Case &c : AllCases()) {
    if (c.error) continue;
    SCOPED_TRACE(c.name);
    auto check = [](const Bytes &file) {
      BitmapPtr b(Load(file));
      if (!b) {
        EXPECT_NE(errGetLastError(), 0);
        return;
      }
      EXPECT_TRUE(LevelsReadable(b.p));
      EXPECT_EQ((int64_t)b->imagesize[0], (int64_t)b->width * b->height * (b->bits / 8));
    };
    for (size_t n = 0; n < c.file.size(); ++n) check(Bytes(c.file.begin(), c.file.begin() + (long)n));
    for (size_t at = 0; at < c.file.size(); ++at)
      for (uint8_t v : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
        Bytes m = c.file;
        m[at] = v;
        check(m);
      }
  }
}

// An ancillary chunk that claims about 2 GB in a file of 44 bytes: libpng allocated
// (and zeroed) the claim before reading it, for seconds. Refused at the end of the
// data, quickly and without the memory.
TEST_F(TextureLibs, HugeChunkClaimsAreNotAllocated) {
  const Bytes head = MakePng(1, 1, 8, 0, Bytes{5}, 1);
  const Bytes ihdrOnly(head.begin(), head.begin() + 33);
  for (const char *type : {"tEXt", "zTXt", "iTXt", "sPLT", "eXIf", "iCCP", "abCd"}) {
    SCOPED_TRACE(type);
    Bytes f = ihdrOnly;
    PutBE32(f, 0x7FFF0000);
    f.insert(f.end(), type, type + 4);
    f.insert(f.end(), {'a', 'b', 'c'});
    ASSERT_EQ(f.size(), 44u);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    BitmapPtr b(Load(f));
    getrusage(RUSAGE_SELF, &after);
    // Processor time, which a loaded machine does not stretch as it does the wall clock.
    const auto seconds = [](const rusage &u) {
      return (double)(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (double)(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    EXPECT_FALSE(b);
    EXPECT_EQ(errGetLastError(), 1002);
    EXPECT_LT(seconds(after) - seconds(before), 0.5);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024);  // KiB
  }
  // A chunk the image needs still loads with its ancillary chunks skipped.
  Bytes withText(head.begin(), head.begin() + 33);
  Append(withText, PngChunk("tEXt", Bytes{'k', 0, 'v'}));
  Append(withText, Bytes(head.begin() + 33, head.end()));
  BitmapPtr ok(Load(withText));
  ASSERT_TRUE(ok);
  EXPECT_EQ(Level0(ok.p), Bytes{5});
}

// A PNG whose one deflate stream goes on after the image data (filtered, as in
// MakePngRaw) with zeroMiB MiB of zeros, about 1000 bytes out for each byte in, in IDAT
// chunks of idatBytes.
Bytes PngWithZerosAfterItsRows(int w, int h, int depth, int colourType, const Bytes &filtered, int interlace,
                               uint64_t zeroMiB, size_t idatBytes = SIZE_MAX) {
  const Bytes plain = MakePngRaw(w, h, depth, colourType, filtered, {}, interlace);
  Bytes f(plain.begin(), plain.begin() + 33);  // signature and IHDR
  // Each piece deflated on its own and flushed whole, so that it may be repeated.
  const auto deflated = [](const Bytes &in) {
    z_stream zs = {};
    deflateInit2(&zs, 9, Z_DEFLATED, -15, 9, Z_RLE);
    Bytes out(deflateBound(&zs, (uLong)in.size()) + 64);
    zs.next_in = (Bytef *)in.data();
    zs.avail_in = (uInt)in.size();
    zs.next_out = out.data();
    zs.avail_out = (uInt)out.size();
    deflate(&zs, Z_FULL_FLUSH);
    out.resize(out.size() - zs.avail_out);
    deflateEnd(&zs);
    return out;
  };
  const Bytes zeros((size_t)1 << 20, 0), block = deflated(zeros);
  Bytes z = {0x78, 0xDA};
  Append(z, deflated(filtered));
  uLong adler = adler32(1, filtered.data(), (uInt)filtered.size());
  const uLong zerosAdler = adler32(1, zeros.data(), (uInt)zeros.size());
  for (uint64_t i = 0; i < zeroMiB; ++i) {
    Append(z, block);
    adler = adler32_combine(adler, zerosAdler, (z_off_t)zeros.size());
  }
  z.insert(z.end(), {0x03, 0x00});  // the last block: fixed codes, empty
  PutBE32(z, (uint32_t)adler);
  for (size_t at = 0; at < z.size(); at += idatBytes)
    Append(f, PngChunk("IDAT", Bytes(z.begin() + (long)at, z.begin() + (long)std::min(z.size(), at + idatBytes))));
  Append(f, PngChunk("IEND", {}));
  return f;
}

// Compressed data past the picture's last row: 4 MB of deflated zeros took 9 s to
// inflate and drop. The rows load, the rest is skipped within a fraction of a second
// with libpng's warning in the log (once, over many IDAT chunks), and what a valid file
// holds after its image data loads as ever.
TEST_F(TextureLibs, CompressedDataPastTheRowsIsNotInflated) {
  Bytes rgb16 = {0};
  Append(rgb16, Ramp(12));
  const struct {
    const char *name;
    int w, h, depth, colourType;
    Bytes filtered;
    int interlace;
    size_t idatBytes;
    Bytes picture;
  } cases[] = {
      {"1x1 grey, one IDAT", 1, 1, 8, PNG_COLOR_TYPE_GRAY, {0, 77}, 0, SIZE_MAX, {77}},
      {"2x2 grey interlaced", 2, 2, 8, PNG_COLOR_TYPE_GRAY, {0, 11, 0, 12, 0, 13, 14}, 1, 1 << 20, {11, 12, 13, 14}},
      {"2x1 RGB 16-bit, IDAT chunks of 8 KB", 2, 1, 16, PNG_COLOR_TYPE_RGB, rgb16, 0, 8 << 10, Ramp(12)},
  };
  txOptions(1, 1);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = PngWithZerosAfterItsRows(c.w, c.h, c.depth, c.colourType, c.filtered, c.interlace, 4044,
                                                c.idatBytes);
    ASSERT_GT(file.size(), 4000000u);
    double cpu = 0;
    const std::string text = LogOf([&] {
      rusage before{}, after{};
      getrusage(RUSAGE_SELF, &before);
      BitmapPtr b(Load(file));
      getrusage(RUSAGE_SELF, &after);
      cpu = (double)(after.ru_utime.tv_sec + after.ru_stime.tv_sec - before.ru_utime.tv_sec - before.ru_stime.tv_sec) +
            (double)(after.ru_utime.tv_usec + after.ru_stime.tv_usec - before.ru_utime.tv_usec -
                     before.ru_stime.tv_usec) / 1e6;
      ASSERT_TRUE(b) << errGetLastError();
      EXPECT_EQ(b->width, c.w);
      EXPECT_EQ(b->height, c.h);
      EXPECT_EQ(Level0(b.p), c.picture);
    });
    EXPECT_LT(cpu, 0.25);
    const size_t at = text.find("libpng warning: Extra compressed data");
    EXPECT_NE(at, std::string::npos) << text;
    size_t lines = 0;
    for (size_t i = text.find("libpng warning"); i != std::string::npos; i = text.find("libpng warning", i + 1))
      ++lines;
    EXPECT_LE(lines, 2u) << text;
  }
  txOptions(1, 0);
  Bytes valid = MakePng(3, 2, 8, PNG_COLOR_TYPE_GRAY, Ramp(6), 3);
  const Bytes iend(valid.end() - 12, valid.end());
  valid.resize(valid.size() - 12);
  Append(valid, PngChunk("tEXt", Bytes{'k', 0, 'v'}));
  Append(valid, PngChunk("prVt", Bytes(100, 7)));
  Append(valid, iend);
  BitmapPtr b(Load(valid));
  ASSERT_TRUE(b) << errGetLastError();
  EXPECT_EQ(Level0(b.p), Ramp(6));
}

// 16-bit samples keep their bytes at the default wanted order B,G,R and at quality
// 1: only 8-bit channels are R/B-swapped or averaged; a swap mixed high and low
// bytes of other samples, and the shrink averaged them apart and lost channels.
TEST_F(TextureLibs, SixteenBitSamplesAreNotSwappedOrShrunk) {
  const struct {
    const char *name;
    int colourType, bits;
  } cases[] = {{"16-bit rgb", 2, 48}, {"16-bit rgba", 6, 64}, {"16-bit grey+alpha", 4, 32}};
  txOptions(3, 0);
  for (int quality : {0, 1})
    for (const auto &c : cases) {
      SCOPED_TRACE(testing::Message() << c.name << " quality " << quality);
      txOptions(2, quality);
      const Bytes samples = Ramp((size_t)2 * 2 * c.bits / 8);  // 2x2
      BitmapPtr b(Load(MakePng(2, 2, 16, c.colourType, samples, samples.size() / 2)));
      ASSERT_TRUE(b);
      EXPECT_EQ(b->bits, c.bits);
      EXPECT_EQ(b->subtype, TX_SUB_OTHER);
      EXPECT_EQ(b->width, 2);
      EXPECT_EQ(Level0(b.p), samples);  // big-endian R,G,B(,A) as stored
    }
  txOptions(2, 0);
  // 8-bit RGBA at the same order is swapped.
  BitmapPtr rgba(Load(MakePng(1, 1, 8, 6, Bytes{1, 2, 3, 4}, 4)));
  ASSERT_TRUE(rgba);
  EXPECT_EQ(Level0(rgba.p), (Bytes{3, 2, 1, 4}));
}

// Averaging palette indices gives indices of unrelated colours: the quality shrink
// leaves palette images at full size, and txScale refuses them.
TEST_F(TextureLibs, PaletteImagesAreNotShrunk) {
  const Bytes plte = {0, 255, 7, 60, 195, 7, 120, 135, 7, 180, 75, 7};
  const Bytes indices = {0, 3, 3, 0, 1, 2, 2, 1};  // 4x2
  txOptions(2, 1);
  BitmapPtr b(Load(MakePng(4, 2, 8, 3, indices, 4, plte)));
  txOptions(2, 0);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->subtype, TX_SUB_PALETTE);
  EXPECT_EQ(b->width, 4);
  EXPECT_EQ(b->height, 2);
  EXPECT_EQ(Level0(b.p), indices);
  EXPECT_EQ(txScale(b.p, 2, 1), -1);
  EXPECT_EQ(errGetLastError(), 1000);
  EXPECT_EQ(b->width, 4);
  EXPECT_EQ(Level0(b.p), indices);
  // A grey image of the same bytes is still shrunk.
  txOptions(2, 1);
  BitmapPtr grey(Load(MakePng(4, 2, 8, 0, indices, 4)));
  txOptions(2, 0);
  ASSERT_TRUE(grey);
  EXPECT_EQ(grey->width, 2);
}

// A JPEG cut short, or whose image data break off at a marker or hold codes no
// table has, decoded as success with grey from there on; it is damaged data (1002).
TEST_F(TextureLibs, TruncatedAndCorruptJpegsFailWith1002) {
  Bytes noise(32 * 32 * 3);
  uint32_t x = 12345;
  for (uint8_t &v : noise) v = (uint8_t)((x = x * 1103515245 + 12345) >> 24);
  const Bytes whole = MakeJpeg(32, 32, 3, noise, true, 90);
  ASSERT_TRUE(BitmapPtr(Load(whole)));
  size_t scan = 0;  // first byte of the entropy-coded data
  for (size_t i = 2; i + 3 < whole.size() && !scan; ++i)
    if (whole[i] == 0xFF && whole[i + 1] == 0xDA) scan = i + 2 + (whole[i + 2] << 8 | whole[i + 3]);
  ASSERT_GT(scan, 0u);
  const size_t middle = (scan + whole.size()) / 2;
  Bytes marker = whole;  // an end of image in the middle of the data
  marker[middle] = 0xFF, marker[middle + 1] = 0xD9;
  Bytes badCodes = whole;  // stuffed 0xFF bytes: all-ones codes no table has
  for (size_t i = middle; i < middle + 16; i += 2) badCodes[i] = 0xFF, badCodes[i + 1] = 0;
  const struct {
    const char *name;
    Bytes file;
  } cases[] = {
      {"cut in half", Bytes(whole.begin(), whole.begin() + (long)(whole.size() / 2))},
      {"cut 40 bytes short", Bytes(whole.begin(), whole.end() - 40)},
      {"marker inside the data", marker},
      {"bad codes", badCodes},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    BitmapPtr b(Load(c.file));
    EXPECT_FALSE(b);
    EXPECT_EQ(errGetLastError(), 1002);
  }
}

// Every coding decodes to the pixels of the baseline Huffman file of the same
// picture (the entropy coding is lossless, quality 100 keeps every coefficient), with
// and without the end-of-image marker, which encoders and cut downloads leave off.
// Data that really end early stay refused: a progressive file cut between scans,
// a sequential one without the scan of its last component.
TEST_F(TextureLibs, JpegsOfEveryCodingLoadWithOrWithoutTheirEndMarker) {
  const std::vector<jpeg_scan_info> perComponent = {
      {1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
  struct Variant {
    const char *name;
    JpegSpec spec;
  };
  std::vector<Variant> variants;
  for (int sampling : {1, 2}) {
    JpegSpec base;
    base.width = 37, base.height = 29;  // partial MCUs at both edges
    base.hSample = base.vSample = sampling;
    auto add = [&](const char *name, auto change) {
      JpegSpec s = base;
      change(s);
      variants.push_back({name, s});
    };
    add("baseline", [](JpegSpec &) {});
    add("progressive", [](JpegSpec &s) { s.progressive = true; });
    add("arithmetic", [](JpegSpec &s) { s.arithmetic = true; });
    add("arithmetic progressive", [](JpegSpec &s) { s.arithmetic = s.progressive = true; });
    add("restart every MCU row", [](JpegSpec &s) { s.restartRows = 1; });
    add("a scan per component", [&](JpegSpec &s) { s.scans = perComponent; });
    add("4:2:2", [](JpegSpec &s) { s.hSample = 2, s.vSample = 1; });
    add("grey", [](JpegSpec &s) { s.components = 1; });
    add("grey progressive", [](JpegSpec &s) { s.components = 1, s.progressive = true; });
  }
  for (const Variant &v : variants) {
    SCOPED_TRACE(testing::Message() << v.name << " sampling " << v.spec.hSample << "x" << v.spec.vSample);
    const Bytes pixels = Shades(37, 29, (size_t)v.spec.components);
    JpegSpec baseline = v.spec;
    baseline.progressive = baseline.arithmetic = false;
    baseline.scans.clear();
    baseline.restartRows = 0;
    BitmapPtr expected(Load(MakeJpegOf(baseline, pixels)));
    ASSERT_TRUE(expected);
    const Bytes whole = MakeJpegOf(v.spec, pixels);
    for (size_t cut : {0, 2}) {
      SCOPED_TRACE(cut ? "without its end marker" : "whole");
      BitmapPtr b(Load(Bytes(whole.begin(), whole.end() - (long)cut)));
      ASSERT_TRUE(b) << errGetLastError();
      EXPECT_EQ(Level0(b.p), Level0(expected.p));
    }
    size_t lastScan = 0;
    for (size_t i = 2; i + 1 < whole.size(); ++i)
      if (whole[i] == 0xFF && whole[i + 1] == 0xDA) lastScan = i;
    if (v.spec.progressive || !v.spec.scans.empty()) {
      SCOPED_TRACE("cut before its last scan");
      EXPECT_FALSE(BitmapPtr(Load(Bytes(whole.begin(), whole.begin() + (long)lastScan))));
      EXPECT_EQ(errGetLastError(), 1002);
    }
  }
}

// A flat picture coded arithmetically packs past any Huffman ratio: 4096 x 4096 in a
// few hundred bytes loads.
TEST_F(TextureLibs, FlatArithmeticJpegLoads) {
  JpegSpec s;
  s.width = s.height = 4096;
  s.components = 1;
  s.arithmetic = true;
  const Bytes file = MakeJpegOf(s, Bytes((size_t)4096 * 4096, 77));
  ASSERT_LT(file.size(), 1000u);
  BitmapPtr b(Load(file));
  ASSERT_TRUE(b) << errGetLastError();
  EXPECT_EQ(b->width, 4096);
  EXPECT_EQ(Level0(b.p), Bytes((size_t)4096 * 4096, 77));
}

// Each scan costs the decoder a pass over its blocks for a few bytes of data: a file
// with more scans than any encoder writes, or whose scans ask more work than any
// encoder's script or its data justify, is refused for its size (1005) from its scan
// headers, before any scan is decoded. The larger pictures are claimed by small
// files, whose data would end in the first scan (1002) were it decoded.
TEST_F(TextureLibs, ManyScanJpegsAreBounded) {
  const struct {
    const char *name;
    int side, components, scans;
    bool arithmetic;
    int claimed;  // the side the frame header claims; 0: the picture's own
    int error;
    bool restarts = false;  // a restart marker every MCU
  } cases[] = {
      {"300 scans", 64, 1, 300, false, 0, 0},
      {"300 scans, a restart marker every MCU", 64, 1, 300, false, 0, 0, true},
      {"300 arithmetic scans, a restart marker every MCU", 64, 1, 300, true, 0, 0, true},
      {"301 scans", 64, 1, 301, false, 0, 1005},
      {"301 scans, a restart marker every MCU", 64, 1, 301, false, 1024, 1005, true},
      {"301 scans of colour", 16, 3, 301, false, 0, 1005},
      {"300 scans over 33.6 M pixels", 64, 1, 300, false, 5800, 1005},
      {"300 arithmetic scans over 33.6 M pixels", 64, 1, 300, true, 5800, 1005},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    JpegSpec s;
    s.width = s.height = c.side;
    s.components = c.components;
    s.arithmetic = c.arithmetic;
    s.scans = ManyScans(c.scans, c.components);
    s.restartMcus = c.restarts ? 1 : 0;
    ASSERT_EQ((int)s.scans.size(), c.scans);
    const Bytes file = MakeJpegOf(s, Shades((size_t)c.side, (size_t)c.side, (size_t)c.components));
    BitmapPtr b(Load(c.claimed ? Claiming(file, c.claimed, c.claimed) : file));
    EXPECT_EQ(!b, c.error != 0);
    if (c.error) {
      EXPECT_EQ(errGetLastError(), c.error);
    }
  }
}

class TextureLibWriters : public TextureTest {
 protected:
  void SetUp() override {
    TextureTest::SetUp();
    txInit(nullptr);  // the file layer, on disk
    dir_ = std::filesystem::temp_directory_path() / ("korv-tex2-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    txOptions(9, 75);
    txOptions(11, 9);
    std::filesystem::remove_all(dir_);
  }
  std::string Path(const std::string &name) const { return (dir_ / name).string(); }
  static BitmapPtr Dummy(int layout, int w, int h, const Bytes &pixels) {
    BitmapPtr b(txCreateDummy(layout, w, h));
    EXPECT_TRUE(b);
    if (b) {
      b->type = TX_TYPE_BGR;
      std::memcpy(b->image[0], pixels.data(), pixels.size());
    }
    return b;
  }
  std::filesystem::path dir_;
};

// One byte-order rule per subtype in every writer: 0 holds B,G,R, 1 R,G,B, 2
// B,G,R,A. Each file read back as R,G,B gives the same colour.
TEST_F(TextureLibWriters, WritersAgreeOnTheByteOrderOfEachSubtype) {
  const struct {
    int layout;
    Bytes pixel;
  } bitmaps[] = {{0, {50, 100, 200}}, {1, {200, 100, 50}}, {2, {50, 100, 200, 255}}};
  const struct {
    int format;
    const char *name;
    bool alpha;  // takes subtype 2
  } writers[] = {{TX_FMT_TGA, "o.tga", true}, {TX_FMT_PNG, "o.png", true}, {TX_FMT_JPEG, "o.jpg", true},
                 {TX_FMT_PNM, "o.pnm", false}};
  for (const auto &w : writers)
    for (const auto &m : bitmaps) {
      if (m.layout == 2 && !w.alpha) continue;
      SCOPED_TRACE(testing::Message() << w.name << " subtype " << m.layout);
      BitmapPtr src = Dummy(m.layout, 8, 8, Solid(64, m.pixel));
      const std::string path = Path(w.name);
      ASSERT_EQ(txSave(w.format, path.c_str(), src.p), 0);
      EXPECT_EQ(Level0(src.p), Solid(64, m.pixel));
      txOptions(3, 1);
      BitmapPtr back(txLoad(path.c_str()));
      txOptions(3, 0);
      ASSERT_TRUE(back);
      const int step = back->bits / 8;
      ASSERT_GE(step, 3);
      EXPECT_NEAR(back->image[0][0], 200, 3);
      EXPECT_NEAR(back->image[0][1], 100, 3);
      EXPECT_NEAR(back->image[0][2], 50, 3);
      std::filesystem::remove(path);
      std::filesystem::remove(Path(std::string(w.name).insert(1, "_a")));
    }
}

// PNG is lossless: what the subtype says about the byte order comes back exactly.
TEST_F(TextureLibWriters, PngRoundTrips) {
  struct {
    int layout, w, h, order;  // order: the wanted byte order on reading
  } cases[] = {{0, 3, 2, 0}, {1, 3, 2, 1}, {2, 2, 3, 0}, {3, 5, 1, 0}};
  for (auto c : cases) {
    SCOPED_TRACE(c.layout);
    for (int level : {9, 0}) {
      txOptions(11, level);
      Bytes pixels = Ramp((size_t)c.w * c.h * (c.layout == 2 ? 4 : c.layout == 3 ? 1 : 3));
      BitmapPtr src = Dummy(c.layout, c.w, c.h, pixels);
      const std::string path = Path("rt.png");
      ASSERT_EQ(txSave(TX_FMT_PNG, path.c_str(), src.p), 0);
      EXPECT_EQ(Level0(src.p), pixels);  // the writer leaves the bitmap alone
      txOptions(3, c.order);
      BitmapPtr back(txLoad(path.c_str()));
      txOptions(3, 0);
      ASSERT_TRUE(back);
      EXPECT_EQ(back->format, TX_FMT_PNG);
      EXPECT_EQ(back->width, c.w);
      EXPECT_EQ(back->height, c.h);
      EXPECT_EQ(back->bits, src->bits);
      EXPECT_EQ(Level0(back.p), pixels);
    }
  }
}

TEST_F(TextureLibWriters, PngAndJpegWritersRefuseWhatTheyCannotWrite) {
  BitmapPtr b = Dummy(0, 2, 2, Ramp(12));
  b->type = TX_TYPE_COMPRESSED;
  EXPECT_EQ(txSave(TX_FMT_PNG, Path("x.png").c_str(), b.p), -1);
  EXPECT_EQ(errGetLastError(), 1005);
  EXPECT_EQ(txSave(TX_FMT_JPEG, Path("x.jpg").c_str(), b.p), -1);
  EXPECT_EQ(errGetLastError(), 1005);
  b->type = TX_TYPE_BGR;
  b->subtype = TX_SUB_OTHER;
  EXPECT_EQ(txSave(TX_FMT_PNG, Path("x.png").c_str(), b.p), -1);
  EXPECT_EQ(errGetLastError(), 1005);
  b->subtype = TX_SUB_ALPHA;  // says 32 bits, holds 24
  EXPECT_EQ(txSave(TX_FMT_PNG, Path("x.png").c_str(), b.p), -1);
  EXPECT_EQ(errGetLastError(), 1005);
  EXPECT_EQ(txSave(TX_FMT_JPEG, Path("x.jpg").c_str(), b.p), -1);
  EXPECT_EQ(errGetLastError(), 1005);
  b->subtype = TX_SUB_COLOR;
  EXPECT_EQ(txSave(TX_FMT_PNG, Path("no/such/dir/x.png").c_str(), b.p), -1);
  EXPECT_EQ(errGetLastError(), 9);
  EXPECT_EQ(txSave(TX_FMT_JPEG, Path("no/such/dir/x.jpg").c_str(), b.p), -1);
  EXPECT_EQ(errGetLastError(), 9);
  EXPECT_FALSE(std::filesystem::exists(Path("x.png")));
}

TEST_F(TextureLibWriters, JpegRoundTripsWithinRounding) {
  struct {
    int layout, progressive, optimize;
    Bytes pixel;    // bitmap bytes
    Bytes decoded;  // expected R,G,B (or grey) after reading with order 1
  } cases[] = {
      {0, 1, 100, {50, 100, 200}, {200, 100, 50}},  // subtype 0 holds B,G,R
      {1, 0, 0, {200, 100, 50}, {200, 100, 50}},    // subtype 1 holds R,G,B
      {3, 1, 1, {90}, {90}},
  };
  txOptions(9, 95);
  for (auto &c : cases) {
    SCOPED_TRACE(c.layout);
    txOptions(6, c.progressive);
    txOptions(7, c.optimize);
    BitmapPtr src = Dummy(c.layout, 16, 8, Solid(128, c.pixel));
    const std::string path = Path("rt.jpg");
    ASSERT_EQ(txSave(TX_FMT_JPEG, path.c_str(), src.p), 0);
    EXPECT_EQ(Level0(src.p), Solid(128, c.pixel));
    txOptions(3, 1);
    BitmapPtr back(txLoad(path.c_str()));
    txOptions(3, 0);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->format, TX_FMT_JPEG);
    EXPECT_EQ(back->bits, src->bits);
    for (size_t i = 0; i < c.decoded.size(); ++i) EXPECT_NEAR(back->image[0][i], c.decoded[i], 3) << i;
  }
  txOptions(6, 1);
  txOptions(7, 100);
}

// The size bound against hostile headers leaves in what compresses best: flat
// images from the writer's own progressive, optimised output, far beyond the slack
// that small images pass on.
TEST_F(TextureLibWriters, FlatJpegsOfEveryKindLoad) {
  for (int layout : {0, 3}) {
    SCOPED_TRACE(layout);
    BitmapPtr src = Dummy(layout, 2048, 2048, Bytes((size_t)2048 * 2048 * (layout == 3 ? 1 : 3), 128));
    const std::string path = Path("flat.jpg");
    ASSERT_EQ(txSave(TX_FMT_JPEG, path.c_str(), src.p), 0);
    const auto fileSize = std::filesystem::file_size(path);
    BitmapPtr back(txLoad(path.c_str()));
    ASSERT_TRUE(back) << "file " << fileSize << " bytes, error " << errGetLastError();
    EXPECT_EQ(back->imagesize[0], src->imagesize[0]);
  }
}

// The quality option reaches the encoder: the lower quality makes the smaller file,
// and the one further from the picture.
TEST_F(TextureLibWriters, JpegQualityTradesSizeForError) {
  const Bytes pixels = Shades(64, 64, 1);  // grey: no chroma subsampling to blur the figures
  BitmapPtr src = Dummy(3, 64, 64, pixels);
  struct {
    int quality;
    uintmax_t size;
    double error;  // mean absolute difference to the picture
  } saved[] = {{20, 0, 0}, {95, 0, 0}};
  for (auto &q : saved) {
    txOptions(9, q.quality);
    const std::string path = Path("q.jpg");
    ASSERT_EQ(txSave(TX_FMT_JPEG, path.c_str(), src.p), 0);
    q.size = std::filesystem::file_size(path);
    txOptions(3, 1);
    BitmapPtr back(txLoad(path.c_str()));
    txOptions(3, 0);
    ASSERT_TRUE(back);
    const Bytes decoded = Level0(back.p);
    ASSERT_EQ(decoded.size(), pixels.size());
    for (size_t i = 0; i < pixels.size(); ++i) q.error += std::abs(decoded[i] - pixels[i]);
    q.error /= (double)pixels.size();
  }
  EXPECT_LT(saved[0].size * 2, saved[1].size);
  EXPECT_GT(saved[0].error, saved[1].error * 2);
  EXPECT_LT(saved[1].error, 3.0);
}

// A 32-bit bitmap becomes a colour file and a grey "_a" file beside it; a dot in a
// directory name does not move the second file elsewhere.
TEST_F(TextureLibWriters, Jpeg32BitsWritesColourAndAlphaFiles) {
  std::filesystem::create_directories(dir_ / "d.v2");
  txOptions(9, 150);
  EXPECT_EQ(txSettings.jpegQuality, 150);
  BitmapPtr src = Dummy(2, 8, 8, Solid(64, {200, 100, 50, 160}));
  ASSERT_EQ(txSave(TX_FMT_JPEG, Path("d.v2/tex.jpg").c_str(), src.p), 0);
  EXPECT_EQ(txSettings.jpegQuality, 100);  // clamped and stored back
  ASSERT_TRUE(std::filesystem::exists(Path("d.v2/tex_a.jpg")));
  txOptions(3, 1);
  BitmapPtr colour(txLoad(Path("d.v2/tex.jpg").c_str()));
  BitmapPtr alpha(txLoad(Path("d.v2/tex_a.jpg").c_str()));
  ASSERT_TRUE(colour && alpha);
  // Loading the colour file merges the "_a" file back in.
  EXPECT_EQ(colour->bits, 32);
  EXPECT_NEAR(colour->image[0][0], 50, 3);  // B,G,R bytes written as R,G,B
  EXPECT_NEAR(colour->image[0][2], 200, 3);
  EXPECT_NEAR(colour->image[0][3], 160, 3);
  EXPECT_EQ(alpha->bits, 8);
  EXPECT_NEAR(alpha->image[0][0], 160, 3);
  // Without an extension the alpha file is the name with "_a".
  ASSERT_EQ(txSave(TX_FMT_JPEG, Path("plain").c_str(), src.p), 0);
  EXPECT_TRUE(std::filesystem::exists(Path("plain_a")));
}

}  // namespace
