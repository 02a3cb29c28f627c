// The "_a" alpha image beside a picture: what rules the merge out before the image is
// decoded is looked at first, so an image that cannot join costs no decoding, and
// the load ends as it did (the picture, error 1003, one line saying why).
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
  const struct {
    const char *name;
    Bytes picture, twin;  // no twin: none there
    int reads;            // of both files
    const char *why;      // the line; null: none
    int bits;             // of the picture as loaded
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
    BitmapPtr b(nullptr);
    int32_t error = 0;
    const std::string text = LogOf([&] {
      b.p = Load(c.picture, "m.tga");
      error = errGetLastError();
    });
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

}  // namespace
