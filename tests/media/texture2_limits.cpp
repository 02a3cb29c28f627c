// Size limits of the readers: a valid PNG, JPEG, DDS or TQX texture loads whatever
// the size of its file, up to what one load may hold; past that, or past a reader's
// other absolute limit (for the raw readers, the largest picture), the load fails
// with 1005 and one log line, whatever the options, that names the file, the
// picture's sides and the reason.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <time.h>

#include <string>
#include <string_view>
#include <vector>

#include "media/texture/TL_private.h"
#include "tests/media/texture2_fixtures.h"

namespace {

class TextureLimits : public TextureTest {
 protected:
  void SetUp() override {
    TextureTest::SetUp();
    txOptions(3, 1);  // as decoded: R,G,B
    txOptions(1, 0);
  }
  void TearDown() override {
    txOptions(TX_DXT1, 0);
    txOptions(TX_DXT5, 0);
  }
};

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

Bytes Repeat(const Bytes &unit, size_t n) {
  Bytes out;
  out.reserve(unit.size() * n);
  for (size_t i = 0; i < n; ++i) Append(out, unit);
  return out;
}

// Large textures whose files are small because their pictures are flat or smooth:
// each loads, however far its picture outgrows its file.
TEST_F(TextureLimits, LargeValidTexturesLoadWhateverTheirFileSize) {
  {
    SCOPED_TRACE("8192x8192 RGBA PNG decal sheet");
    const Bytes file = FlatPng(8192, 8192, 8, PNG_COLOR_TYPE_RGBA, false, {10, 20, 30, 40});
    ASSERT_LT(file.size(), 1u << 20);
    BitmapPtr b(Load(file));
    ASSERT_TRUE(b) << errGetLastError();
    EXPECT_EQ(b->bits, 32);
    EXPECT_EQ(b->imagesize[0], 256 << 20);
    const uint8_t *last = b->image[0] + b->imagesize[0] - 4;
    EXPECT_EQ(Bytes(last, last + 4), (Bytes{10, 20, 30, 40}));
  }
  {
    SCOPED_TRACE("6000x4000 progressive 4:2:2 JPEG, smooth");
    JpegSpec s;
    s.width = 6000, s.height = 4000, s.quality = 75, s.progressive = true;
    s.hSample = 2, s.vSample = 1;
    Bytes row((size_t)s.width * 3);
    for (size_t i = 0; i < row.size(); ++i) row[i] = (uint8_t)(i / 3 * 200 / s.width + 20 * (i % 3));
    const Bytes file = MakeJpegRows(s, [&](int) { return row.data(); });
    ASSERT_LT(file.size(), 256u << 10);
    BitmapPtr b(Load(file));
    ASSERT_TRUE(b) << errGetLastError();
    EXPECT_EQ(b->width, 6000);
    EXPECT_EQ(b->height, 4000);
    for (const size_t x : {0, 2999, 5999}) {
      const uint8_t *p = b->image[0] + ((size_t)3999 * 6000 + x) * 3;
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(p[c], row[x * 3 + c], 6) << "x " << x << " channel " << c;
    }
  }
  {
    SCOPED_TRACE("8192x8192 DXT1 TQX of flat blocks");
    const Bytes block = {0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0};  // c0 = c1 = blue, index 0
    const Bytes file = MakeTqx(8192, 8192, "DXT1", {Repeat(block, (size_t)2048 * 2048)}, {true});
    ASSERT_LT(file.size(), 64u << 10);
    txOptions(TX_DXT1, 1);
    BitmapPtr kept(Load(file));
    ASSERT_TRUE(kept) << errGetLastError();
    EXPECT_EQ(kept->type, TX_TYPE_COMPRESSED);
    EXPECT_EQ(kept->imagesize[0], 32 << 20);
    EXPECT_EQ(Bytes(kept->image[0] + (32 << 20) - 8, kept->image[0] + (32 << 20)), block);
    txOptions(TX_DXT1, 0);
    BitmapPtr decoded(Load(file));
    ASSERT_TRUE(decoded) << errGetLastError();
    EXPECT_EQ(decoded->type, TX_TYPE_RGB);
    EXPECT_EQ(decoded->imagesize[0], 192 << 20);
    const uint8_t *last = decoded->image[0] + decoded->imagesize[0] - 3;
    EXPECT_EQ(Bytes(last, last + 3), (Bytes{0, 0, 248}));
  }
}

// A picture past what one load may hold, with everything the reader would hold beside
// it, or past a reader's other limit, is refused for its size (1005), before the
// work, with one line that says so even without the loader's verbose option. Claims
// that only the data cannot back are damaged files (1002), not refusals for size.
// The readers of raw pixels refuse a picture past the largest one only when their
// file holds it: such files are their header made as long as the picture by a hole
// (sparse, on disk), and the loader reads no more than the head before it refuses.
// A file past what one load reads is refused at its open, by its size.
TEST_F(TextureLimits, RefusalsForSizeNameThemselves) {
  JpegSpec grey;
  grey.components = 1;
  grey.width = grey.height = 16;
  JpegSpec progressive = grey;
  progressive.progressive = true;
  JpegSpec scans = grey;
  scans.scans = ManyScans(301);
  const Bytes dxt1Record = {0x1F, 0, 0x1F, 0, 0, 0, 0, 0};
  // Raw headers a byte or so past the largest picture, 1073741823 bytes: each with the
  // length its picture needs in a hole behind it.
  const uint64_t picture = kTxMaxImageBytes + 1;  // 32768 x 32768 grey, 16384 x 16384 RGBA
  const Bytes tga = MakeTga(18919, 18919, 24, 2, 0x20, {});
  const Bytes tgaMapped = MakeTga(18919, 18919, 8, 1, 0x20, {}, {}, Bytes(768, 5), 256);
  Bytes bmp = MakeBmp(1, 1, 32, Bytes(4, 0));
  bmp.resize(54);
  Put32(bmp, 18, 16384);
  Put32(bmp, 22, 16384);
  const Bytes p5 = MakePnm("P5\n32768 32768\n255\n", {});
  const Bytes p6 = MakePnm("P6\n# a comment line\n18919 18919\n255\n", {});
  Bytes dicom = MakeDicom(1, 32768, 32768, {});
  Put32(dicom, dicom.size() - 4, (uint32_t)picture);
  Bytes dicomRgb = MakeDicom(3, 18919, 18919, {});
  Put32(dicomRgb, dicomRgb.size() - 4, 18919u * 18919u * 3u);
  Bytes planar;
  DicomShort(planar, 0x0028, 0x0006, "US", U16Value(1));
  Bytes dicomPlanes = MakeDicom(3, 18919, 18919, {}, planar);
  Put32(dicomPlanes, dicomPlanes.size() - 4, 18919u * 18919u * 3u);
  // Files past what one load reads, 2147483515 bytes (2 GiB less the zero tail the
  // loader puts after a file), whatever their pictures.
  Bytes bmpTall = bmp;
  Put32(bmpTall, 22, 16383);
  const char *const pastRead = "files past 2147483515 bytes are not read";
  const uint64_t rgb = 18919ull * 18919 * 3;
  const char *const raw24 = "(18919x18919): 24 bits a pixel pass the 1073741823 bytes of the largest picture";
  const char *const raw32 = "(16384x16384): 32 bits a pixel pass the 1073741823 bytes of the largest picture";
  const char *const raw8 = "(32768x32768): 8 bits a pixel pass the 1073741823 bytes of the largest picture";
  const struct {
    const char *name;
    Bytes file;
    int32_t error;
    const char *why;     // in the refusal's line; null: no such line
    uint64_t hole = 0;   // bytes of zeros after the file, on disk
  } cases[] = {
      {"tga 18919x18919 24-bit", tga, 1005, raw24, rgb},
      {"tga 18919x18919 24-bit, short of data", tga, 1002, nullptr},
      {"tga 18919x18919 indices widened to 24 bits", tgaMapped, 1005, raw24, rgb / 3},
      {"tga 18919x18919 indices, short of data", tgaMapped, 1002, nullptr, rgb / 3 - 1},
      {"bmp 16384x16384 32-bit", bmp, 1005, raw32, picture},
      {"bmp 16384x16384 32-bit, short of data", bmp, 1002, nullptr, picture - 1},
      {"pnm P5 32768x32768", p5, 1005, raw8, picture},
      {"pnm P5 32768x32768, short of data", p5, 1002, nullptr},
      {"pnm P6 18919x18919", p6, 1005, raw24, rgb},
      {"pnm P6 18919x18919, short of data", p6, 1002, nullptr, rgb - 1},
      {"dicom 32768x32768 grey", dicom, 1005, raw8, picture},
      {"dicom 32768x32768 grey, short of data", dicom, 1002, nullptr, picture - 1},
      {"dicom 18919x18919 colour", dicomRgb, 1005, raw24, rgb},
      {"dicom 18919x18919 colour planes", dicomPlanes, 1005, raw24, rgb},
      {"bmp 16384x16383 32-bit in a file of 2148466742 bytes", bmpTall, 1005, pastRead, 2148466742u - 54},
      {"pnm P5 1024x1024 followed by 3 GB", MakePnm("P5\n1024 1024\n255\n", {}), 1005, pastRead,
       (1u << 20) + 3000000000u},
      {"jpeg 65500x65500 colour", Claiming(MakeJpeg(16, 16, 3, Repeat({1, 2, 3}, 256)), 65500, 65500), 1005,
       "(65500x65500): the 3-component picture passes"},
      {"png 20070x20070 1-bit, past the limit", FlatPng(20070, 20070, 1, PNG_COLOR_TYPE_GRAY), 1005,
       "(20070x20070): 8 bits a pixel pass the 402653184 bytes a load may hold"},
      {"png rows beyond what the data inflate to", MakePngRaw(8192, 4096, 1, 0, Bytes{0, 1}), 1002, nullptr},
      {"jpeg 20000x20000 colour", Claiming(MakeJpeg(16, 16, 3, Repeat({1, 2, 3}, 256)), 20000, 20000), 1005,
       "(20000x20000): the 3-component picture passes"},
      // A JPEG load holds 576 MiB: the picture, and for several scans 128 bytes a block
      // of coefficients. 14184x14184 grey is 192 + 384 MiB less a little; one block
      // more each way passes; 16000x16000 would fit at 64 bytes a block.
      {"progressive jpeg at the limit with its coefficients, short of data",
       Claiming(MakeJpegOf(progressive, Bytes(256, 9)), 14184, 14184), 1002, nullptr},
      {"progressive jpeg a block row and column past the limit",
       Claiming(MakeJpegOf(progressive, Bytes(256, 9)), 14192, 14192), 1005,
       "(14192x14192): the 1-component picture and the coefficients of several scans pass the 603979776 bytes a "
       "JPEG load may hold"},
      {"progressive jpeg that fits only at half its coefficients' size",
       Claiming(MakeJpegOf(progressive, Bytes(256, 9)), 16000, 16000), 1005,
       "(16000x16000): the 1-component picture and the coefficients of several scans pass"},
      {"baseline jpeg of the same picture, short of data", Claiming(MakeJpegOf(grey, Bytes(256, 9)), 16000, 16000),
       1002, nullptr},
      {"baseline colour jpeg of exactly 576 MiB, short of data",
       Claiming(MakeJpeg(16, 16, 3, Repeat({1, 2, 3}, 256)), 16384, 12288), 1002, nullptr},
      {"baseline colour jpeg a row past 576 MiB", Claiming(MakeJpeg(16, 16, 3, Repeat({1, 2, 3}, 256)), 16384, 12289),
       1005, "(16384x12289): the 3-component picture passes the 603979776 bytes a JPEG load may hold"},
      // libjpeg decodes sides up to 65500 only.
      {"jpeg 65535x8", Claiming(MakeJpegOf(grey, Bytes(256, 9)), 65535, 8), 1005,
       "(65535x8): sides past the 65500 pixels libjpeg decodes"},
      {"jpeg 8x65535", Claiming(MakeJpegOf(grey, Bytes(256, 9)), 8, 65535), 1005,
       "(8x65535): sides past the 65500 pixels libjpeg decodes"},
      {"jpeg 65535x65535 colour", Claiming(MakeJpeg(16, 16, 3, Repeat({1, 2, 3}, 256)), 65535, 65535), 1005,
       "(65535x65535): "},
      {"jpeg 65500x8, short of data", Claiming(MakeJpegOf(grey, Bytes(256, 9)), 65500, 8), 1002, nullptr},
      {"jpeg of 301 scans", MakeJpegOf(scans, Ramp(256)), 1005, "(16x16): more than 300 scans"},
      {"tqx 16384x16384 DXT5 decoded", MakeTqx(16384, 16384, "DXT5", {Bytes(16, 0)}, {true}), 1005,
       "(16384x16384): 1 levels decoded pass"},
      // 288 + 72 MiB of pixels fit, and so do the first with the 48 MiB of blocks that
      // unpack beside it; all three do not. Stored as they are, the same levels need
      // no unpacking.
      {"tqx 16384x6144 DXT1, two packed levels decoded",
       MakeTqx(16384, 6144, "DXT1", {dxt1Record, dxt1Record}, {true, true}), 1005,
       "(16384x6144): 2 levels decoded pass"},
      {"tqx 16384x6144 DXT1, two stored levels decoded",
       MakeTqx(16384, 6144, "DXT1", {dxt1Record, dxt1Record}, {false, false}), 1000, nullptr},
      {"dds 16384x16384 DXT5 decoded", MakeDds(16384, 16384, 1, "DXT5", Bytes(16, 0)), 1005,
       "(16384x16384): 1 levels decoded pass"},
  };
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("korv-tex2limits-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::string name = "big.tex";
    if (c.hole) {
      name = (dir / name).string();
      {
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        out.write((const char *)c.file.data(), (std::streamsize)c.file.size());
      }
      std::filesystem::resize_file(name, c.file.size() + c.hole);
      txInit(nullptr);
    } else {
      MemFiles::Install();
      MemFiles::files[name] = c.file;
    }
    int32_t error = 0;
    const uint64_t readBefore = BytesRead();
    const std::string text = LogOf([&] {
      BitmapPtr b(txLoad(name.c_str()));
      EXPECT_FALSE(b);
      error = errGetLastError();
    });
    if (c.hole) {
      EXPECT_LT(BytesRead() - readBefore, 1u << 20) << "read past the head";
    }
    EXPECT_EQ(error, c.error);
    const std::string line = "too large to load: " + name + " ";
    const size_t at = text.find(line);
    if (!c.why) {
      EXPECT_EQ(text.find("too large to load"), std::string::npos) << text;
      continue;
    }
    if (at == std::string::npos) {
      ADD_FAILURE() << "no refusal line: " << text;
      continue;
    }
    EXPECT_NE(text.find(c.why, at), std::string::npos) << text;
    EXPECT_EQ(text.find("too large to load", at + 1), std::string::npos) << "a second line: " << text;
  }
  std::filesystem::remove_all(dir);
}

// One row of a very wide picture passes the picture's limit and what its file can
// inflate to, but libpng's two rows as stored are twice the picture: refused at the
// header, before libpng allocates a row, in milliseconds, plain or interlaced.
TEST_F(TextureLimits, WidePngRowsAreRefusedBeforeLibpngAllocatesThem) {
  const struct {
    const char *name;
    uint32_t width;
    int depth, colourType;
    bool interlaced;
    size_t fileBytes;
    const char *why;
  } cases[] = {
      {"RGBA 16-bit, interlaced", 31000000, 16, PNG_COLOR_TYPE_RGBA, true, 256000,
       "(31000000x1): 64 bits a pixel with libpng's rows pass the 403701760 bytes a PNG load may hold"},
      {"RGBA 16-bit", 31000000, 16, PNG_COLOR_TYPE_RGBA, false, 256000,
       "(31000000x1): 64 bits a pixel with libpng's rows pass the 403701760 bytes"},
      {"grey", 250000000, 8, PNG_COLOR_TYPE_GRAY, false, 262144, "(250000000x1): 8 bits a pixel with libpng's rows"},
      {"grey, the widest", 2147483647, 8, PNG_COLOR_TYPE_GRAY, false, 2200000,
       "(2147483647x1): 8 bits a pixel pass the 402653184 bytes a load may hold"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = ZeroPng(c.width, 1, c.depth, c.colourType, c.interlaced, 0, c.fileBytes, 1 << 16);
    ASSERT_EQ(file.size(), c.fileBytes);
    int32_t error = 0;
    double cpu = 0;
    const std::string text = LogOf([&] {
      const double t0 = CpuSeconds();
      BitmapPtr b(Load(file, "wide.png"));
      cpu = CpuSeconds() - t0;
      EXPECT_FALSE(b);
      error = errGetLastError();
    });
    EXPECT_EQ(error, 1005);
    const size_t at = text.find("too large to load: wide.png ");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_NE(text.find(c.why, at), std::string::npos) << text;
    EXPECT_LT(pngLastLibPeak(), 1u << 20) << "libpng allocated a row";
    EXPECT_LT(cpu, 0.25);
  }
}

// Pictures of exactly what a load may hold load, plain and interlaced, with libpng's
// rows beside them; a row more is refused. So is a one-row picture whose libpng rows
// pass the allowance beside it by a pixel, plain or interlaced.
TEST_F(TextureLimits, PngPicturesAtTheLimitLoadAndARowMoreIsRefused) {
  constexpr const char *kPicture = "bits a pixel pass the 402653184 bytes";
  const struct {
    const char *name;
    uint32_t width, height;
    int depth, colourType;
    bool interlaced;
    int bits;
    bool pixelMore;   // refused a pixel wider, not a row higher
    const char *why;  // of the refusal
  } cases[] = {
      {"8192x8192 RGB 16-bit", 8192, 8192, 16, PNG_COLOR_TYPE_RGB, false, 48, false, kPicture},
      {"8192x8192 RGB 16-bit interlaced", 8192, 8192, 16, PNG_COLOR_TYPE_RGB, true, 48, false, kPicture},
      {"8192x12288 RGBA", 8192, 12288, 8, PNG_COLOR_TYPE_RGBA, false, 32, false, kPicture},
      {"8192x16384 RGB", 8192, 16384, 8, PNG_COLOR_TYPE_RGB, false, 24, false, kPicture},
      {"8192x6144 RGBA 16-bit", 8192, 6144, 16, PNG_COLOR_TYPE_RGBA, false, 64, false, kPicture},
      // 8 x 16820897 bytes of picture and libpng's rows, 2 x (8 x 16820904 + 57) (the
      // width rounded up to 8 pixels), are 403701754 bytes, 6 short of the limit; a
      // pixel more passes it by 2.
      {"16820897x1 RGBA 16-bit", 16820897, 1, 16, PNG_COLOR_TYPE_RGBA, false, 64, true,
       "64 bits a pixel with libpng's rows pass"},
      // Interlaced pass rows are placed straight from libpng's row, so an interlaced
      // strip holds no more than a plain one and is admitted to the same width.
      {"16820897x1 RGBA 16-bit interlaced", 16820897, 1, 16, PNG_COLOR_TYPE_RGBA, true, 64, true,
       "(16820898x1): 64 bits a pixel with libpng's rows pass the 403701760 bytes"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    {
      BitmapPtr b(Load(ZeroPng(c.width, c.height, c.depth, c.colourType, c.interlaced), "edge.png"));
      ASSERT_TRUE(b) << errGetLastError();
      EXPECT_EQ(b->bits, c.bits);
      EXPECT_EQ((uint64_t)b->imagesize[0], (uint64_t)c.width * c.height * c.bits / 8);
      EXPECT_EQ(b->image[0][b->imagesize[0] - 1], 0);
    }
    const Bytes over = ZeroPng(c.width + (c.pixelMore ? 1 : 0), c.height + (c.pixelMore ? 0 : 1), c.depth,
                               c.colourType, c.interlaced);
    int32_t error = 0;
    const std::string text = LogOf([&] {
      BitmapPtr b(Load(over, "edge.png"));
      EXPECT_FALSE(b);
      error = errGetLastError();
    });
    EXPECT_EQ(error, 1005);
    const size_t at = text.find("too large to load: edge.png ");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_NE(text.find(c.why, at), std::string::npos) << text;
    EXPECT_EQ(text.find("too large to load", at + 1), std::string::npos) << "a second line: " << text;
    EXPECT_LT(pngLastLibPeak(), 1u << 20) << "libpng allocated a row";
  }
}

// The largest real texture the JPEG reader takes: an 8192x8192 photo-like picture
// through libjpeg's progressive script at full chroma resolution, 13 MB, holds 576 MiB
// with its coefficients. Its coefficients rewritten as a transcoder would, coded
// arithmetically (10.2 G steps of work) or through a script of 128 scans of spectral
// selection and successive approximation (13.8 G), pass the cap on work, are carried
// by their data, and decode to the same bytes. The same picture flat and coded
// arithmetically is a few hundred bytes, whose scans could as well walk every position
// of every block: refused at once; written a scan per component (5.7 G), it loads and
// holds its coefficients too.
TEST_F(TextureLimits, LargestProgressiveFullChromaJpegLoads) {
  constexpr int kSide = 8192;
  JpegSpec s;
  s.width = s.height = kSide, s.quality = 75, s.progressive = true;
  // Smooth waves across and down, and noise of +-19 in every sample, from a table at
  // an offset that changes each row; 128 +- 60 +- 40 +- 19 needs no clamping.
  std::vector<int> across((size_t)kSide * 3), down((size_t)kSide * 3);
  for (int i = 0; i < kSide; ++i)
    for (int c = 0; c < 3; ++c) {
      across[(size_t)i * 3 + c] = (int)(60 * std::sin(i * 0.0021 + c));
      down[(size_t)i * 3 + c] = (int)(40 * std::cos(i * 0.0017 - c * 0.5));
    }
  const auto smooth = [&](int x, int y, int c) { return 128 + across[(size_t)x * 3 + c] + down[(size_t)y * 3 + c]; };
  constexpr size_t kNoise = 1 << 16;
  std::vector<int8_t> noise(kNoise + (size_t)kSide * 3);
  uint32_t seed = 1;
  for (int8_t &n : noise) n = (int8_t)((int)((seed = seed * 1103515245u + 12345u) >> 16) % 39 - 19);
  Bytes row((size_t)kSide * 3);
  const Bytes photo = MakeJpegRows(s, [&](int y) {
    const int8_t *n = noise.data() + (size_t)y * 7919 % kNoise;
    const int *a = across.data(), *d = down.data() + (size_t)y * 3;
    uint8_t *out = row.data();
    for (size_t i = 0; i < row.size(); i += 3, n += 3) {
      out[i] = (uint8_t)(128 + a[i] + d[0] + n[0]);
      out[i + 1] = (uint8_t)(128 + a[i + 1] + d[1] + n[1]);
      out[i + 2] = (uint8_t)(128 + a[i + 2] + d[2] + n[2]);
    }
    return row.data();
  });
  EXPECT_GT(photo.size(), 10u << 20);
  {
    SCOPED_TRACE("photo-like, 4:4:4 progressive");
    BitmapPtr b(Load(photo));
    ASSERT_TRUE(b) << errGetLastError();
    ASSERT_EQ(b->width, kSide);
    ASSERT_EQ(b->height, kSide);
    ASSERT_EQ(b->bits, 24);
    // Over 32x32 pixels the noise averages out: the waves come back.
    for (const int at : {0, 3000, kSide - 32}) {
      for (int c = 0; c < 3; ++c) {
        double got = 0, want = 0;
        for (int y = at; y < at + 32; ++y)
          for (int x = at; x < at + 32; ++x) {
            got += b->image[0][((size_t)y * kSide + x) * 3 + c];
            want += std::clamp(smooth(x, y, c), 0, 255);
          }
        EXPECT_NEAR(got / 1024, want / 1024, 3) << "at " << at << " channel " << c;
      }
    }
    const auto hash = [](const txBitmap *bitmap) {
      return std::hash<std::string_view>()(std::string_view((const char *)bitmap->image[0], bitmap->imagesize[0]));
    };
    const size_t decoded = hash(b.p);
    txFree(&b.p);
    const struct {
      const char *name;
      bool arithmetic;
      std::vector<jpeg_scan_info> scans;
    } rescans[] = {{"arithmetic-coded", true, {}},
                   {"128 scans", false, SuccessiveScans(3, {1, 3, 6, 10, 15, 21, 36}, 5)}};
    for (const auto &r : rescans) {
      SCOPED_TRACE(r.name);
      BitmapPtr again(Load(RescanJpeg(photo, r.arithmetic, r.scans)));
      ASSERT_TRUE(again) << errGetLastError();
      EXPECT_EQ(hash(again.p), decoded);
    }
  }
  {
    SCOPED_TRACE("flat, 4:4:4 progressive, arithmetic-coded");
    s.arithmetic = true;
    const Bytes flatRow((size_t)kSide * 3, 128);
    const Bytes flat = MakeJpegRows(s, [&](int) { return flatRow.data(); });
    ASSERT_LT(flat.size(), 1000u);
    const std::string text = LogOf([&] {
      const double t0 = CpuSeconds();
      BitmapPtr b(Load(flat, "flat.jpg"));
      EXPECT_LT(CpuSeconds() - t0, 0.1);
      EXPECT_FALSE(b);
      EXPECT_EQ(errGetLastError(), 1005);
    });
    EXPECT_NE(text.find("too large to load: flat.jpg (8192x8192): its scans ask 10173284352 steps"), std::string::npos)
        << text;
  }
  {
    SCOPED_TRACE("flat, 4:4:4, a scan per component, arithmetic-coded");
    s.progressive = false;
    s.scans = {{1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
    const Bytes flatRow((size_t)kSide * 3, 128);
    BitmapPtr b(Load(MakeJpegRows(s, [&](int) { return flatRow.data(); })));
    ASSERT_TRUE(b) << errGetLastError();
    EXPECT_EQ(b->image[0][b->imagesize[0] - 1], 128);
  }
}

// The scans of a file may ask 6 G steps of decoding work in all, or 4096 for each
// byte of the file when that is more (the data carrying their scans: the photo
// through 128 scans, above). Each scan counts its blocks and every position of its
// band in every block, as an arithmetic-coded scan may decide at each. A grey picture
// through the longest walking script an encoder writes (the DC scan, then the band
// 1-63 from bit 10 down: a first scan and ten refinements), every block zero, coded
// arithmetically in a few hundred bytes: 5952x5952 asks 5.987 G and loads; a block row
// and column more ask 6.003 G, refused from the scans' headers.
TEST_F(TextureLimits, JpegWorkIsCapped) {
  JpegSpec s;
  s.width = s.height = 5952;
  s.components = 1;
  s.arithmetic = true;
  s.scans = WalkingScans(1, 10);
  const JCOEF zero[DCTSIZE2] = {};
  const Bytes file = MakeJpegFromCoefficients(s, zero);
  ASSERT_LT(file.size(), 1000u);
  {
    BitmapPtr b(Load(file, "walk.jpg"));
    ASSERT_TRUE(b) << errGetLastError();
    EXPECT_EQ(b->width, 5952);
  }
  int32_t error = 0;
  const std::string text = LogOf([&] {
    BitmapPtr b(Load(Claiming(file, 5960, 5960), "walk.jpg"));
    EXPECT_FALSE(b);
    error = errGetLastError();
  });
  EXPECT_EQ(error, 1005);
  EXPECT_NE(text.find("too large to load: walk.jpg (5960x5960): its scans ask 6003150400 steps of decoding, past "
                      "the 6000000000 this file may ask (6000000000, or 4096 for each byte)"),
            std::string::npos)
      << text;
}

// Files that ask the most work for the fewest bytes are refused from their scans'
// headers, before any scan is decoded, in a fraction of a second: every block holding
// only coefficient 63, which makes each arithmetic-coded scan decide at every
// position of its band and each refinement scan walk it (the DC scan, then the band
// 1-63 from bit 10 down), grey or colour, arithmetic or Huffman; the pictures are
// claimed by small files, whose data would end in the first scan (1002) were it
// decoded. And a file of 301 scans, which would cost a second to decode its first
// 300.
TEST_F(TextureLimits, CostlyJpegsAreRefusedBeforeAnyScanDecodes) {
  const auto walking = [](int components, bool arithmetic, int claimed) {
    JpegSpec s;
    s.width = s.height = 64;
    s.components = components;
    s.arithmetic = arithmetic;
    s.scans = WalkingScans(components, 10);
    JCOEF block[DCTSIZE2] = {};
    block[63] = 1024;
    return Claiming(MakeJpegFromCoefficients(s, block), claimed, claimed);
  };
  JpegSpec many;
  many.width = many.height = 2048;
  many.components = 1;
  many.arithmetic = true;
  many.scans = ManyScans(301);
  const JCOEF zero[DCTSIZE2] = {};
  const struct {
    const char *name;
    Bytes file;
    const char *why;
  } cases[] = {
      {"grey, arithmetic, 13376x13376", walking(1, true, 13376), "(13376x13376): its scans ask "},
      {"grey, Huffman, 14184x14184", walking(1, false, 14184), "(14184x14184): its scans ask "},
      {"colour 4:4:4, arithmetic, 4728x4728", walking(3, true, 4728), "(4728x4728): its scans ask "},
      {"301 scans", MakeJpegFromCoefficients(many, zero), "(2048x2048): more than 300 scans"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    int32_t error = 0;
    double cpu = 0;
    const std::string text = LogOf([&] {
      const double t0 = CpuSeconds();
      BitmapPtr b(Load(c.file, "costly.jpg"));
      cpu = CpuSeconds() - t0;
      EXPECT_FALSE(b);
      error = errGetLastError();
    });
    EXPECT_EQ(error, 1005);
    const size_t at = text.find("too large to load: costly.jpg ");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_NE(text.find(c.why, at), std::string::npos) << text;
    EXPECT_EQ(text.find("too large to load", at + 1), std::string::npos) << "a second line: " << text;
    EXPECT_LT(cpu, 0.1);
  }
}

}  // namespace
