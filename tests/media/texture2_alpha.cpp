// The "_a" alpha image beside a picture: what rules the merge out before the image is
// decoded is looked at first, so an image that cannot join costs no decoding, and
// the load ends as it did (the picture, error 1003, one line saying why).
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/media/texture2_fixtures.h"

namespace {

// Reads through the in-memory files, counted.
int gReads = 0;
void *CountedRead() { return ++gReads, MemFiles::Read(); }

class TextureAlpha : public TextureTest {
 protected:
  void SetUp() override {
    TextureTest::SetUp();
    static const txFunctions io = {MemFiles::Open, CountedRead, MemFiles::Size, MemFiles::Close, MemFiles::Exist};
    txInit(&io);
    gReads = 0;
  }
  void TearDown() override { MemFiles::Install(); }
};

// A flat grey PNG whose image data do not inflate: decoding it fails, so a twin that
// reaches its reader says "unreadable", one stopped before says why it was.
Bytes UndecodablePng(int w, int h) {
  Bytes png = MakePngRaw(w, h, 8, PNG_COLOR_TYPE_GRAY, Bytes(64, 0));
  const size_t idat = 8 + 25 + 8;  // signature, IHDR chunk, IDAT length and type
  for (size_t i = idat; i < idat + 8; ++i) png[i] = 0xEE;
  return png;
}

TEST_F(TextureAlpha, ImageThatCannotJoinIsNotDecoded) {
  const Bytes rgb2x2 = MakeTga(2, 2, 24, 2, 0x20, Ramp(12));
  const Bytes grey2x2 = MakeTga(2, 2, 8, 3, 0x20, Ramp(4));
  const Bytes dxt1 = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4};
  Bytes dxt1Levels;
  for (int i = 0; i < 3; ++i) Append(dxt1Levels, dxt1);
  const Bytes mipmapped = MakeDds(4, 4, 3, "DXT1", dxt1Levels);
  // Twins of other sides that are cut short too: decoding them fails.
  Bytes bmpTwin = MakeBmp(2, 3, 24, Ramp(18));
  bmpTwin.resize(bmpTwin.size() - 4);
  const Bytes tgaTwin = MakeTga(2, 1, 8, 3, 0x20, Bytes{1});
  Bytes jpegTwin = MakeJpeg(16, 8, 1, Ramp(128));
  for (size_t i = 2; i + 1 < jpegTwin.size(); ++i)
    if (jpegTwin[i] == 0xFF && jpegTwin[i + 1] == 0xDA) {
      jpegTwin.resize(i + 12);  // into the scan
      break;
    }
  // Twins of 3x2 in the other formats, cut short as well.
  const Bytes pnmTwin = MakePnm("P5\n3 2\n255\n", Bytes(5, 1));
  const Bytes dicomTwin = MakeDicom(1, 2, 3, Bytes(5, 1));
  const Bytes ddsTwin = MakeDds(3, 2, 1, "DXT5", Bytes(8, 0));
  Bytes tqxTwin = MakeTqx(3, 2, "DXT5", {Bytes(16, 0)}, {false});
  tqxTwin.pop_back();
  Bytes ddsLevels;  // 4x4, 2x2 and 1x1 of DXT5
  for (int i = 0; i < 3; ++i) Append(ddsLevels, Bytes(16, 0xFF));
  const struct {
    const char *name;
    Bytes picture, twin;  // no twin: none there
    int reads;            // of both files
    const char *why;      // the line; null: none
    int bits;             // of the picture as loaded
    int quality = 0;
  } cases[] = {
      {"8-bit picture, twin that would decode", grey2x2, MakeTga(2, 2, 8, 3, 0x20, Ramp(4)), 1,
       "bitmap is not 24 or 32 bits of byte channels: m_a.tga", 8},
      {"8-bit picture, undecodable twin", grey2x2, UndecodablePng(2, 2), 1,
       "bitmap is not 24 or 32 bits of byte channels: m_a.tga", 8},
      {"8-bit picture, no twin", grey2x2, {}, 1, nullptr, 8},
      {"picture with mipmap levels", mipmapped, MakeTga(4, 4, 8, 3, 0x20, Ramp(16)), 1,
       "bitmap has mipmap levels: m_a.tga", 24},
      {"png twin of other sides", rgb2x2, UndecodablePng(3000, 2), 2, "alpha map size differs: m_a.tga (3000x2", 24},
      {"tga twin of other sides", rgb2x2, tgaTwin, 2, "alpha map size differs: m_a.tga (2x1", 24},
      {"bmp twin of other sides", rgb2x2, bmpTwin, 2, "alpha map size differs: m_a.tga (2x3", 24},
      {"jpeg twin of other sides", rgb2x2, jpegTwin, 2, "alpha map size differs: m_a.tga (16x8", 24},
      {"jpeg twin of the right sides, cut", rgb2x2, Claiming(jpegTwin, 2, 2), 2, "alpha map unreadable: m_a.tga", 24},
      {"pnm twin of other sides", rgb2x2, pnmTwin, 2, "alpha map size differs: m_a.tga (3x2", 24},
      {"dicom twin of other sides", rgb2x2, dicomTwin, 2, "alpha map size differs: m_a.tga (3x2", 24},
      {"dds twin of other sides", rgb2x2, ddsTwin, 2, "alpha map size differs: m_a.tga (3x2", 24},
      {"tqx twin of other sides", rgb2x2, tqxTwin, 2, "alpha map size differs: m_a.tga (3x2", 24},
      // Sides the header cannot tell (a height that would come with the first scan)
      // are left to the decoding.
      {"jpeg twin without a height", rgb2x2, Claiming(jpegTwin, 16, 0), 2, "alpha map unreadable: m_a.tga", 24},
      // The sides are those the reader delivers: at half quality a DDS twin drops its
      // largest level, and so 4x4 joins a 2x2 picture.
      {"dds twin that joins after its largest level", rgb2x2, MakeDds(4, 4, 3, "DXT5", ddsLevels), 2, nullptr, 32, 1},
      // As before: a twin of the right sides is decoded, and one that does not decode
      // says so.
      {"undecodable twin of the right sides", rgb2x2, UndecodablePng(2, 2), 2, "alpha map unreadable: m_a.tga", 24},
      {"twin that joins", rgb2x2, MakeTga(2, 2, 8, 3, 0x20, Ramp(4)), 2, nullptr, 32},
      // A negative height only says the rows run top-down: the sides are the same.
      {"top-down bmp twin that joins", rgb2x2, MakeBmp(2, 2, 8, Ramp(4), true), 2, nullptr, 32},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    MemFiles::files.clear();
    if (!c.twin.empty()) MemFiles::files["m_a.tga"] = c.twin;
    gReads = 0;
    txOptions(2, c.quality);
    BitmapPtr b(nullptr);
    int32_t error = 0;
    const std::string text = LogOf([&] {
      b.p = Load(c.picture, "m.tga");
      error = errGetLastError();
    });
    txOptions(2, 0);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->bits, c.bits);
    EXPECT_EQ(error, c.bits == 32 ? 0 : 1003);
    EXPECT_EQ(gReads, c.reads);
    if (c.why)
      EXPECT_NE(text.find(c.why), std::string::npos) << text;
    else
      EXPECT_EQ(text.find("m_a.tga"), std::string::npos) << text;
  }
}

// Large "_a" images on disk, through the default callbacks, whose files are their
// headers made as long as their pictures by a hole (sparse): one of other sides is
// refused from its header, in every format, before the rest of its file is read. A
// twin past what a load reads is refused for its size; an absent one stays quiet.
TEST_F(TextureAlpha, LargeTwinOfOtherSidesIsRefusedFromItsHead) {
  constexpr int kSide = 4096;
  constexpr uint64_t kGrey = (uint64_t)kSide * kSide;
  Bytes bmp = MakeBmp(1, 1, 24, Bytes(3, 0));
  bmp.resize(54);
  Put32(bmp, 18, kSide);
  Put32(bmp, 22, kSide);
  Bytes dicom = MakeDicom(1, kSide, kSide, {});
  Put32(dicom, dicom.size() - 4, (uint32_t)kGrey);
  Bytes tqx = MakeTqx(kSide, kSide, "DXT5", {}, {});
  Put16(tqx, 12, 1);
  Append(tqx, Bytes(4));
  Put32(tqx, 14, (uint32_t) - (int32_t)kGrey);  // one level stored as it is
  const char *const differs = "alpha map size differs: ";
  const struct {
    const char *name;
    Bytes twin;     // empty: none there
    uint64_t hole;  // zeros after it
    const char *why, *then = nullptr;
  } cases[] = {
      {"tga", MakeTga(kSide, kSide, 24, 2, 0x20, {}), 3 * kGrey, differs},
      {"bmp", bmp, 3 * kGrey, differs},
      {"png", MakePngRaw(kSide, kSide, 8, PNG_COLOR_TYPE_GRAY, Bytes{0}), kGrey, differs},
      {"jpeg", Claiming(MakeJpeg(16, 16, 1, Ramp(256)), kSide, kSide), kGrey, differs},
      {"pnm", MakePnm("P5\n4096 4096\n255\n", {}), kGrey, differs},
      {"dicom", dicom, kGrey, differs},
      {"dds", MakeDds(kSide, kSide, 1, "DXT5", {}), kGrey, differs},
      {"tqx", tqx, kGrey, differs},
      {"past 2 GiB", MakePnm("P5\n50000 50000\n255\n", {}), 2500000000u, "too large to load: ",
       " (2500000019 bytes): files past 2147483515 bytes are not read"},
      {"none", {}, 0, nullptr},
  };
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("korv-tex2alpha-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string page = (dir / "m.tga").string(), twin = (dir / "m_a.tga").string();
  {
    const Bytes tga = MakeTga(2, 2, 24, 2, 0x20, Ramp(12));
    std::ofstream(page, std::ios::binary).write((const char *)tga.data(), (std::streamsize)tga.size());
  }
  txInit(nullptr);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(twin);
    if (!c.twin.empty()) {
      std::ofstream(twin, std::ios::binary).write((const char *)c.twin.data(), (std::streamsize)c.twin.size());
      std::filesystem::resize_file(twin, c.twin.size() + c.hole);
    }
    const uint64_t before = BytesRead();
    BitmapPtr b(nullptr);
    int32_t error = 0;
    const std::string text = LogOf([&] {
      b.p = txLoad(page.c_str());
      error = errGetLastError();
    });
    EXPECT_LT(BytesRead() - before, 1u << 20) << "read past the twin's head";
    ASSERT_TRUE(b);
    EXPECT_EQ(b->bits, 24);
    EXPECT_EQ(error, 1003);
    if (!c.why) {
      EXPECT_EQ(text, "");
      continue;
    }
    const std::string line = c.why + twin + (c.then ? c.then : " (4096x4096, bitmap 2x2 24 bits)");
    EXPECT_NE(text.find(line), std::string::npos) << text;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
