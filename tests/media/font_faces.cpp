// Font renderer: registering faces, font objects and their setters, the checks of
// ftRender before any drawing, and the release of everything at ftDone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "base/log.h"
#include "base/main.h"
#include "base/mem.h"
#include "media/font/FR.h"

namespace {

const std::string kFontDir = "/usr/share/fonts/truetype/dejavu/";
const std::string kSans = kFontDir + "DejaVuSans.ttf";

// Tracked blocks held now, from the allocator's own report.
int TrackedBlocks() {
  const std::string report = "font_faces.mem." + std::to_string(getpid());
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

class FontFaces : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kSans)) GTEST_SKIP() << "fonts-dejavu-core is not installed";
    ASSERT_EQ(SYS_BaseInit(nullptr, 0, nullptr, nullptr), 0);
    baseline_ = TrackedBlocks();
    ASSERT_EQ(ftInit(), 0);
  }
  void TearDown() override {
    if (IsSkipped()) return;
    EXPECT_EQ(ftDone(), 0);
    EXPECT_EQ(TrackedBlocks(), baseline_) << "blocks left after ftDone";
  }
  int baseline_ = 0;
};

TEST_F(FontFaces, FileFacesCarryTheirStyleFlags) {
  struct Case {
    const char *file;
    int bold, italic;
  } cases[] = {
      {"DejaVuSans.ttf", 0, 0},
      {"DejaVuSans-Bold.ttf", 1, 0},
      {"DejaVuSans-Oblique.ttf", 0, 1},
      {"DejaVuSans-BoldOblique.ttf", 1, 1},
  };
  for (const Case &c : cases) {
    const std::string path = kFontDir + c.file;
    ASSERT_EQ(ftAddFaceFile(path.c_str()), 0) << c.file << " error " << errGetLastError();
    ft_fontface_t *face = ftFindFace(path.c_str());
    ASSERT_NE(face, nullptr) << c.file;
    EXPECT_EQ(errGetLastError(), 0);
    EXPECT_EQ(face->bold, c.bold) << c.file;
    EXPECT_EQ(face->italic, c.italic) << c.file;
    EXPECT_EQ(face->scalable, 1) << c.file;
    EXPECT_EQ(face->size, (int32_t)std::filesystem::file_size(path)) << c.file;
    EXPECT_EQ(face->render, &FR_Render);
  }
  // Names are exact: another spelling of a registered path is not found.
  EXPECT_EQ(ftFindFace((kFontDir + "dejavusans.ttf").c_str()), nullptr);
  EXPECT_EQ(errGetLastError(), 14);
}

TEST_F(FontFaces, KnownPathIsNotReadAgain) {
  const std::string copy = "font_faces_copy." + std::to_string(getpid()) + ".ttf";
  std::filesystem::copy_file(kSans, copy, std::filesystem::copy_options::overwrite_existing);
  ASSERT_EQ(ftAddFaceFile(copy.c_str()), 0);
  ft_fontface_t *face = ftFindFace(copy.c_str());
  std::filesystem::remove(copy);
  // Gone from disk, yet registered: the second call must not touch the file.
  EXPECT_EQ(ftAddFaceFile(copy.c_str()), 0);
  EXPECT_EQ(errGetLastError(), 0);
  EXPECT_EQ(ftFindFace(copy.c_str()), face);
}

TEST_F(FontFaces, RefusedDataIsNotRegistered) {
  // A file that cannot be opened: the file layer's error, nothing registered.
  EXPECT_EQ(ftAddFaceFile("no-such-font.ttf"), -1);
  EXPECT_NE(errGetLastError(), 0);
  EXPECT_EQ(ftFindFace("no-such-font.ttf"), nullptr);

  // Data FreeType does not take: error 11, and the block stays the caller's.
  void *junk = SYS_MemGet(256, "junk font");
  std::memset(junk, 0x5A, 256);
  EXPECT_EQ(ftAddFaceMem("junk", junk, 256), -1);
  EXPECT_EQ(errGetLastError(), 11);
  EXPECT_EQ(ftFindFace("junk"), nullptr);
  EXPECT_EQ(ftAddFaceMem("junk", nullptr, 256), -1);
  EXPECT_EQ(errGetLastError(), 10);
  SYS_MemFree(&junk);

  // Memory faces: a second block under a known name is not taken over.
  ASSERT_EQ(ftAddFaceFile(kSans.c_str()), 0);
  void *again = SYS_MemGet(16, "duplicate font");
  EXPECT_EQ(ftAddFaceMem(kSans.c_str(), again, 16), 0);
  EXPECT_NE(ftFindFace(kSans.c_str())->data, again);
  SYS_MemFree(&again);
}

// A file that reads short of the size it states is refused with error 3 before
// FreeType sees a byte of it: nothing registered, no font set on it. A sysfs file
// states a page and holds a few bytes.
TEST_F(FontFaces, FileThatReadsShortIsRefused) {
  const char *path = "/sys/devices/system/cpu/online";
  std::error_code ignored;
  const auto stated = std::filesystem::file_size(path, ignored);
  std::ifstream in(path, std::ios::binary);
  const std::string held((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (stated == (uintmax_t)-1 || held.empty() || held.size() >= stated) GTEST_SKIP() << "no file reads short here";
  EXPECT_EQ(ftAddFaceFile(path), -1);
  EXPECT_EQ(errGetLastError(), 3);
  EXPECT_EQ(ftFindFace(path), nullptr);
  ft_font_t *font = ftNewFont(FR_ENC_ISO8859_1, 0xFFFFFFFFu, FR_HALIGN_LEFT, FR_VALIGN_TOP);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(ftSetFont(font, path, 20, 400, 0), -1);
  ftFreeFont(font);
}

TEST_F(FontFaces, NewFontAcceptsOnlyKnownEncodings) {
  struct Case {
    int32_t encoding;
    bool ok;
  } cases[] = {{1, true}, {2, true}, {20, true}, {30, true}, {0, false}, {3, false}, {21, false}, {31, false}, {-1, false}};
  for (const Case &c : cases) {
    ft_font_t *font = ftNewFont(c.encoding, 0x11223344u, 7, -9);
    if (!c.ok) {
      EXPECT_EQ(font, nullptr) << c.encoding;
      EXPECT_EQ(errGetLastError(), 10) << c.encoding;
      continue;
    }
    ASSERT_NE(font, nullptr) << c.encoding;
    EXPECT_EQ(font->encoding, c.encoding);
    EXPECT_EQ(font->color, 0x11223344u);
    EXPECT_EQ(font->halign, 7);  // stored unchecked
    EXPECT_EQ(font->valign, -9);
    EXPECT_EQ(font->size, 10);
    EXPECT_EQ(font->face, nullptr);
    EXPECT_EQ(ftFreeFont(font), 0);
  }
  EXPECT_EQ(ftFreeFont(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
}

TEST_F(FontFaces, SettersCheckTheirRanges) {
  ft_font_t *font = ftNewFont(FR_ENC_ISO8859_1, 0xFFFFFFFFu, 0, 3);
  ASSERT_NE(font, nullptr);
  struct Case {
    int32_t (*set)(ft_font_t *, int32_t);
    int32_t value;
    bool ok;
  } cases[] = {
      {ftSetHAlign, 0, true},     {ftSetHAlign, 2, true},      {ftSetHAlign, 3, false}, {ftSetHAlign, -1, false},
      {ftSetVAlign, 2, true},     {ftSetVAlign, 4, true},      {ftSetVAlign, 1, false}, {ftSetVAlign, 5, false},
      {ftSetEncoding, 20, true},  {ftSetEncoding, 10, false},  {ftSetSize, -5, true},   {ftSetWeight, 700, true},
      {ftSetItalic, 1, true},
  };
  for (const Case &c : cases) {
    errClear();
    EXPECT_EQ(c.set(font, c.value), c.ok ? 0 : -1) << c.value;
    EXPECT_EQ(errGetLastError(), c.ok ? 0 : 10) << c.value;
    EXPECT_EQ(c.set(nullptr, c.value), -1);
    EXPECT_EQ(errGetLastError(), 10);
  }
  EXPECT_EQ(font->halign, 2);
  EXPECT_EQ(font->valign, 4);
  EXPECT_EQ(font->encoding, 20);
  EXPECT_EQ(font->size, -5);
  EXPECT_EQ(font->weight, 700);
  EXPECT_EQ(font->italic, 1);
  EXPECT_EQ(ftSetColor(font, 0x80808080u), 0);
  EXPECT_EQ(font->color, 0x80808080u);
  EXPECT_EQ(ftSetPosition(font, -4, 9), 0);
  EXPECT_EQ(font->halign, FR_ALIGN_POSITION);
  EXPECT_EQ(font->valign, FR_ALIGN_POSITION);
  EXPECT_EQ(font->x, -4);
  EXPECT_EQ(font->y, 9);
  ftFreeFont(font);
}

TEST_F(FontFaces, RenderRefusesBeforeDrawing) {
  ft_font_t *font = ftNewFont(FR_ENC_ISO8859_1, 0xFFFFFFFFu, 0, 3);
  txBitmap *bitmap = txCreateDummy(2, 32, 16);
  ASSERT_TRUE(font && bitmap);

  EXPECT_EQ(ftRender(nullptr, bitmap, "A", nullptr, nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(ftRender(font, nullptr, "A", nullptr, nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(ftRender(font, bitmap, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);

  // No face yet; then an unregistered name keeps the values but no face.
  EXPECT_EQ(ftRender(font, bitmap, "A", nullptr, nullptr), -1);
  EXPECT_EQ(errGetLastError(), 11);
  EXPECT_EQ(ftSetFont(font, "Nowhere Sans", 24, 400, 0), -1);
  EXPECT_EQ(errGetLastError(), 14);
  EXPECT_EQ(font->size, 24);
  EXPECT_STREQ(font->faceName, "Nowhere Sans");
  EXPECT_EQ(ftRender(font, bitmap, "A", nullptr, nullptr), -1);
  EXPECT_EQ(errGetLastError(), 11);
  EXPECT_EQ(ftSetFont(font, nullptr, 24, 400, 0), -1);
  EXPECT_EQ(errGetLastError(), 10);

  // An empty text draws nothing and leaves the outputs alone.
  ASSERT_EQ(ftAddFaceFile(kSans.c_str()), 0);
  ASSERT_EQ(ftSetFont(font, kSans.c_str(), 12, 400, 0), 0);
  EXPECT_EQ(font->face, ftFindFace(kSans.c_str()));
  int32_t w = -7, h = -8;
  EXPECT_EQ(ftRender(font, bitmap, "", &w, &h), 0);
  EXPECT_EQ(w, -7);
  EXPECT_EQ(h, -8);
  for (int32_t i = 0; i < bitmap->imagesize[0]; ++i) ASSERT_EQ(bitmap->image[0][i], 0) << i;

  txFree(&bitmap);
  ftFreeFont(font);
}

TEST_F(FontFaces, DoneReleasesFacesAndInitStartsOver) {
  ASSERT_EQ(ftAddFaceFile(kSans.c_str()), 0);
  ASSERT_EQ(ftAddFaceFile((kFontDir + "DejaVuSans-Bold.ttf").c_str()), 0);
  EXPECT_EQ(ftDone(), 0);
  EXPECT_EQ(ftFindFace(kSans.c_str()), nullptr);
  EXPECT_EQ(TrackedBlocks(), baseline_);

  // A second life: the driver starts again and faces render.
  ASSERT_EQ(ftInit(), 0);
  ASSERT_EQ(ftAddFaceFile(kSans.c_str()), 0);
  ft_font_t *font = ftNewFont(FR_ENC_ISO8859_1, 0xFFFFFFFFu, 0, 3);
  ASSERT_EQ(ftSetFont(font, kSans.c_str(), 16, 400, 0), 0);
  txBitmap *bitmap = txCreateDummy(3, 64, 32);
  int32_t w = 0;
  EXPECT_EQ(ftRender(font, bitmap, "Ok", &w, nullptr), 0);
  EXPECT_GT(w, 0);
  txFree(&bitmap);
  ftFreeFont(font);
}

}  // namespace
