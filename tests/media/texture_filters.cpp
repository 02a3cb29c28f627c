// TGA, BMP, PNM and DICOM filters: a table of small valid and malformed fixtures per
// format, one loop that truncates and mutates every valid fixture, and write-read
// round trips of the TGA and PNM writers.
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "media/texture/TL_private.h"
#include "tests/media/texture_fixtures.h"

namespace {

struct Expect {
  int width, height, bits, type, subtype;
  Bytes level0;
};

struct Case {
  const char *name;
  Bytes file;
  int error;      // 0: loads, else the last error of a refused load
  Expect expect;  // for loads, pixels as delivered in the default B,G,R order
};

// 3x2 24-bit pixels, top row first: 1..9, 10..18.
const Bytes kRgb3x2 = Ramp(18);
Bytes RowsReversed(const Bytes &rows, size_t rowBytes) {
  Bytes out;
  for (size_t r = rows.size() / rowBytes; r-- > 0;) out.insert(out.end(), rows.begin() + r * rowBytes, rows.begin() + (r + 1) * rowBytes);
  return out;
}

std::vector<Case> TgaCases() {
  Bytes map(256 * 3);
  for (int i = 0; i < 256; ++i) {  // entries B,G,R = i, i+1, i+2
    map[3 * i] = (uint8_t)i;
    map[3 * i + 1] = (uint8_t)(i + 1);
    map[3 * i + 2] = (uint8_t)(i + 2);
  }
  Bytes idx = {0, 5, 255, 7};
  Bytes mapped;  // R,G,B of each index, rows top first (file bottom-up: row 1 first)
  for (int r : {1, 0})
    for (int c = 0; c < 2; ++c) {
      uint8_t i = idx[r * 2 + c];
      mapped.insert(mapped.end(), {i, (uint8_t)(i + 1), (uint8_t)(i + 2)});  // delivered B,G,R
    }
  Bytes longId(200, 'x');
  Bytes truncated = MakeTga(3, 2, 24, 2, 0x20, kRgb3x2);
  truncated.pop_back();
  Bytes headerOnly = MakeTga(1, 1, 24, 2, 0x20, {});
  headerOnly.resize(12);
  return {
      {"tga bottom-up", MakeTga(3, 2, 24, 2, 0x00, kRgb3x2), 0, {3, 2, 24, 0, 0, RowsReversed(kRgb3x2, 9)}},
      {"tga top-down", MakeTga(3, 2, 24, 2, 0x20, kRgb3x2), 0, {3, 2, 24, 0, 0, kRgb3x2}},
      {"tga 32-bit", MakeTga(2, 1, 32, 2, 0x20, Ramp(8)), 0, {2, 1, 32, 0, 2, Ramp(8)}},
      {"tga grey", MakeTga(2, 2, 8, 3, 0x20, Ramp(4)), 0, {2, 2, 8, 0, 3, Ramp(4)}},
      {"tga id of 200 bytes", MakeTga(3, 2, 24, 2, 0x20, kRgb3x2, longId), 0, {3, 2, 24, 0, 0, kRgb3x2}},
      {"tga colour map", MakeTga(2, 2, 8, 1, 0x00, idx, {}, map, 256), 0, {2, 2, 24, 1, 0, mapped}},
      {"tga header only", headerOnly, 1002, {}},
      {"tga width 0", MakeTga(0, 2, 24, 2, 0x20, {}), 1000, {}},
      {"tga data past the end", truncated, 1002, {}},
      {"tga map of 512", MakeTga(2, 2, 8, 1, 0x20, idx, {}, Bytes(512 * 3), 512), 1000, {}},
      {"tga map of 16-bit entries", MakeTga(2, 2, 8, 1, 0x20, idx, {}, Bytes(512), 256, 16), 1000, {}},
      {"tga 15 bits", MakeTga(2, 2, 15, 2, 0x20, Bytes(8)), 1000, {}},
      {"tga run-length (not claimed)", MakeTga(3, 2, 24, 10, 0x20, kRgb3x2), 1000, {}},
      {"tga run-length colour-mapped (not claimed)", MakeTga(2, 2, 8, 9, 0x20, idx, {}, map, 256), 1000, {}},
      // Maps of 16 or 200 entries, as written for images of that many colours: only
      // lengths whose low byte is 0 are claimed.
      {"tga map of 16 (not claimed)", MakeTga(2, 2, 8, 1, 0x20, Bytes(4, 0), {}, Bytes(16 * 3), 16), 1000, {}},
      {"tga map of 200 (not claimed)", MakeTga(2, 2, 8, 1, 0x20, Bytes(4, 0), {}, Bytes(200 * 3), 200), 1000, {}},
  };
}

std::vector<Case> BmpCases() {
  Bytes grey = Ramp(6);  // 3x2, rows padded from 3 to 4 bytes
  Bytes rgba = Ramp(16);
  Bytes palette(8, 0);
  palette[0] = 9;
  Bytes rle = MakeBmp(3, 2, 8, grey, false, {}, 0, 1);
  Bytes shortData = MakeBmp(3, 2, 24, kRgb3x2);
  shortData.resize(shortData.size() - 12);
  // Many writers leave out the last row's padding (3 bytes of a 9-byte row); a byte
  // less and the row itself is short.
  Bytes unpadded = MakeBmp(3, 2, 24, kRgb3x2);
  unpadded.resize(unpadded.size() - 3);
  Bytes shortRow = unpadded;
  shortRow.pop_back();
  Bytes badOffset = MakeBmp(3, 2, 24, kRgb3x2);
  Put32(badOffset, 10, 10000);
  // 32-bit bit fields with the masks of the uncompressed layout, after a 40-byte
  // header or inside a 124-byte one: the same bytes as BI_RGB when there is an alpha
  // mask; without one (X8R8G8B8) the fourth byte is padding and the pixels opaque.
  const Bytes masks = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0};
  Bytes v5(124 - 40, 0);
  std::memcpy(v5.data(), masks.data(), masks.size());
  Bytes fields124x = MakeBmp(2, 2, 32, rgba, false, v5, 0, 3);
  Put32(fields124x, 14, 124);
  Put32(v5, 12, 0xFF000000);
  Bytes fields40 = MakeBmp(2, 2, 32, rgba, false, masks, 0, 3);
  Bytes fields124 = MakeBmp(2, 2, 32, rgba, false, v5, 0, 3);
  Put32(fields124, 14, 124);
  Bytes opaque = rgba;
  for (size_t i = 3; i < opaque.size(); i += 4) opaque[i] = 255;
  Bytes otherMasks = masks;
  std::swap(otherMasks[2], otherMasks[10]);  // R and B exchanged
  Bytes fields565 = MakeBmp(2, 2, 32, rgba, false, otherMasks, 0, 3);
  Bytes fields24 = MakeBmp(3, 2, 24, kRgb3x2, false, masks, 0, 3);
  // An 8-bit file without a colour count that holds its 256-entry table: a count of
  // 0 means all 2^8 entries, so the indices are palette indices, not grey levels.
  Bytes table(1024);
  for (size_t i = 0; i < table.size(); ++i) table[i] = (uint8_t)(0xA0 + i % 7);
  // The 12-byte core header: 16-bit sides and the bit count at 24, so the 40-byte
  // header's fields would be read from the pixels (a bit count of 0 for black ones).
  // One file shorter than a 40-byte header would be, and one longer.
  auto core = [](int w, int h, const Bytes &pixels) {
    Bytes f(26, 0);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 2, (uint32_t)(26 + pixels.size()));
    Put32(f, 10, 26);
    Put32(f, 14, 12);
    Put16(f, 18, (uint32_t)w);
    Put16(f, 20, (uint32_t)h);
    Put16(f, 22, 1);
    Put16(f, 24, 24);
    Append(f, pixels);
    return f;
  };
  Bytes corePixels(4 * 4 * 3, 0);
  Bytes info16 = MakeBmp(3, 2, 24, kRgb3x2);
  Put32(info16, 14, 16);  // the shortest OS/2 2.x header
  Bytes info0 = MakeBmp(3, 2, 24, kRgb3x2);
  Put32(info0, 14, 0);
  return {
      {"bmp 24-bit padded bottom-up", MakeBmp(3, 2, 24, kRgb3x2), 0, {3, 2, 24, 0, 0, kRgb3x2}},
      {"bmp top-down", MakeBmp(3, 2, 24, kRgb3x2, true), 0, {3, 2, 24, 0, 0, kRgb3x2}},
      {"bmp 8-bit grey", MakeBmp(3, 2, 8, grey), 0, {3, 2, 8, 0, 3, grey}},
      {"bmp 8-bit palette", MakeBmp(3, 2, 8, grey, false, palette, 2), 0, {3, 2, 8, 0, 4, grey}},
      {"bmp 32-bit", MakeBmp(2, 2, 32, rgba), 0, {2, 2, 32, 0, 2, rgba}},
      {"bmp 16-bit", MakeBmp(2, 2, 16, Ramp(8)), 1004, {}},
      {"bmp 4-bit", MakeBmp(8, 1, 4, Ramp(4)), 1004, {}},
      {"bmp 1-bit", MakeBmp(32, 1, 1, Ramp(4), false, Bytes(8, 0), 2), 1004, {}},
      {"bmp rle", rle, 1000, {}},
      {"bmp bit fields after the header", fields40, 0, {2, 2, 32, 0, 2, opaque}},
      {"bmp bit fields in a large header", fields124, 0, {2, 2, 32, 0, 2, rgba}},
      {"bmp bit fields in a large header, alpha mask 0", fields124x, 0, {2, 2, 32, 0, 2, opaque}},
      {"bmp other bit fields", fields565, 1000, {}},
      {"bmp 24-bit bit fields", fields24, 1000, {}},
      {"bmp 8-bit full table, no count", MakeBmp(3, 2, 8, grey, false, table, 0), 0, {3, 2, 8, 0, 4, grey}},
      {"bmp core header, 2x2", core(2, 2, Bytes(16, 24)), 1000, {}},
      {"bmp core header, 4x4", core(4, 4, corePixels), 1000, {}},
      {"bmp 16-byte info header", info16, 1000, {}},
      {"bmp info header size 0", info0, 1002, {}},
      {"bmp last row without its padding", unpadded, 0, {3, 2, 24, 0, 0, kRgb3x2}},
      {"bmp last row a byte short", shortRow, 1002, {}},
      {"bmp data past the end", shortData, 1002, {}},
      {"bmp offset outside", badOffset, 1002, {}},
      {"bmp header only", Bytes{'B', 'M', 0, 0, 0}, 1002, {}},
  };
}

std::vector<Case> PnmCases() {
  Bytes bgr = kRgb3x2;
  for (size_t i = 0; i < bgr.size(); i += 3) std::swap(bgr[i], bgr[i + 2]);
  std::string longComment = "#" + std::string(300, 'c') + "\n";
  Bytes shortData = MakePnm("P5\n2 2\n255\n", Ramp(3));
  return {
      {"pnm P6 with comment", MakePnm("P6\n# made here\n3 2\n255\n", kRgb3x2), 0, {3, 2, 24, 0, 0, bgr}},
      {"pnm P5", MakePnm("P5\n2 2\n255\n", Ramp(4)), 0, {2, 2, 8, 0, 3, Ramp(4)}},
      {"pnm long comment", MakePnm("P5\n" + longComment + "2 2\n255\n", Ramp(4)), 0, {2, 2, 8, 0, 3, Ramp(4)}},
      {"pnm header on one line", MakePnm("P6\n3 2 255", kRgb3x2), 1000, {}},
      {"pnm size and maximum value on one line", MakePnm("P6\n3 2 255\n", kRgb3x2), 1000, {}},
      {"pnm without 255", MakePnm("P5\n2 2\n65535\n", Ramp(8)), 1000, {}},
      // A maximum value other than 255 was skipped and the pixels scanned for a
      // "255" line; this one has it inside its samples.
      {"pnm maximum value 15", MakePnm("P5\n2 2\n15\n", Bytes{'2', '5', '5', '\n', 1, 2, 3, 4}), 1000, {}},
      {"pnm size line out of range", MakePnm("P5\n99999999999 1\n255\n", Ramp(4)), 1000, {}},
      {"pnm unparsable size", MakePnm("P5\nwide high\n255\n", Ramp(4)), 1000, {}},
      {"pnm data past the end", shortData, 1002, {}},
      {"pnm zero size", MakePnm("P5\n0 2\n255\n", {}), 1000, {}},
      // Only binary P5 and P6 are claimed.
      {"pnm P1 (not claimed)", MakePnm("P1\n2 2\n", Bytes{'0', ' ', '1', '\n', '1', ' ', '0', '\n'}), 1000, {}},
      {"pnm P3 (not claimed)", MakePnm("P3\n1 1\n255\n", Bytes{'1', ' ', '2', ' ', '3', '\n'}), 1000, {}},
      {"pnm P4 (not claimed)", MakePnm("P4\n8 2\n", Bytes{0x55, 0xAA}), 1000, {}},
      {"pnm P7 (not claimed)", MakePnm("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nTUPLTYPE GRAYSCALE\nENDHDR\n", Bytes{7}), 1000, {}},
  };
}

std::vector<Case> DicomCases() {
  Bytes noPixels(128, 0);
  noPixels.insert(noPixels.end(), {'D', 'I', 'C', 'M'});
  DicomShort(noPixels, 0x0028, 0x0002, "US", U16Value(1));
  Bytes pastEnd = MakeDicom(1, 2, 2, Ramp(4));
  DicomLong(pastEnd, 0x0009, 0x0001, "OB", Bytes{1}, 1000);
  Bytes undefinedLength(128, 0);
  undefinedLength.insert(undefinedLength.end(), {'D', 'I', 'C', 'M'});
  DicomLong(undefinedLength, 0x7FE0, 0x0010, "OB", Bytes(16), 0xFFFFFFFF);
  // The image pixel fields that change the layout: those of 8-bit unsigned samples
  // load, every other value is refused rather than read as if it were 8-bit.
  auto field = [](uint16_t element, const char *vr, const Bytes &value) {
    Bytes e;
    DicomShort(e, 0x0028, element, vr, value);
    return e;
  };
  auto cs = [](const char *text) { return Bytes(text, text + std::strlen(text)); };
  Bytes eightBits = field(0x0100, "US", U16Value(8));
  Append(eightBits, field(0x0101, "US", U16Value(8)));
  Append(eightBits, field(0x0102, "US", U16Value(7)));
  Append(eightBits, field(0x0103, "US", U16Value(0)));
  Append(eightBits, field(0x0004, "CS", cs("MONOCHROME2 ")));
  Bytes rgb = field(0x0004, "CS", cs("RGB "));
  Append(rgb, field(0x0006, "US", U16Value(0)));
  const Bytes planes = {1, 4, 2, 5, 3, 6};  // R R G G B B of two pixels
  const struct {
    const char *name;
    Bytes extra;
    const char *syntax;
  } refused[] = {
      {"dicom 16 bits allocated", field(0x0100, "US", U16Value(16)), nullptr},
      {"dicom 6 bits stored", field(0x0101, "US", U16Value(6)), nullptr},
      {"dicom high bit 6", field(0x0102, "US", U16Value(6)), nullptr},
      {"dicom signed samples", field(0x0103, "US", U16Value(1)), nullptr},
      {"dicom MONOCHROME1", field(0x0004, "CS", cs("MONOCHROME1 ")), nullptr},
      {"dicom PALETTE COLOR", field(0x0004, "CS", cs("PALETTE COLOR ")), nullptr},
      {"dicom implicit VR", {}, "1.2.840.10008.1.2"},
      {"dicom big-endian", {}, "1.2.840.10008.1.2.2"},
      {"dicom JPEG baseline", {}, "1.2.840.10008.1.2.4.50"},
  };
  std::vector<Case> cases = {
      {"dicom grey", MakeDicom(1, 2, 3, Ramp(6)), 0, {3, 2, 8, 0, 3, Ramp(6)}},
      {"dicom grey, every field given", MakeDicom(1, 2, 3, Ramp(6), eightBits), 0, {3, 2, 8, 0, 3, Ramp(6)}},
      {"dicom colour", MakeDicom(3, 1, 2, Ramp(6)), 0, {2, 1, 24, 1, -1, Bytes{3, 2, 1, 6, 5, 4}}},
      {"dicom colour, every field given", MakeDicom(3, 1, 2, Ramp(6), rgb), 0, {2, 1, 24, 1, -1, Bytes{3, 2, 1, 6, 5, 4}}},
      {"dicom colour planes", MakeDicom(3, 1, 2, planes, field(0x0006, "US", U16Value(1))), 0,
       {2, 1, 24, 1, -1, Bytes{3, 2, 1, 6, 5, 4}}},
      {"dicom YBR colour", MakeDicom(3, 1, 2, Ramp(6), field(0x0004, "CS", cs("YBR_FULL"))), 1000, {}},
      {"dicom planar configuration 2", MakeDicom(3, 1, 2, Ramp(6), field(0x0006, "US", U16Value(2))), 1000, {}},
      {"dicom no pixel data", noPixels, 1000, {}},
      {"dicom element past the end", pastEnd, 1002, {}},
      {"dicom undefined length", undefinedLength, 1000, {}},
      {"dicom short pixel data", MakeDicom(1, 4, 4, Ramp(8)), 1002, {}},
  };
  for (const auto &r : refused)
    cases.push_back({r.name, MakeDicom(1, 2, 3, Ramp(12), r.extra, r.syntax ? r.syntax : "1.2.840.10008.1.2.1"), 1000, {}});
  return cases;
}

std::vector<Case> AllCases() {
  std::vector<Case> all;
  for (auto &table : {TgaCases(), BmpCases(), PnmCases(), DicomCases()}) all.insert(all.end(), table.begin(), table.end());
  return all;
}

class TextureFilters : public TextureTest {};

TEST_F(TextureFilters, TableOfFixtures) {
  for (const Case &c : AllCases()) {
    SCOPED_TRACE(c.name);
    BitmapPtr b(Load(c.file));
    if (c.error) {
      EXPECT_FALSE(b);
      EXPECT_EQ(errGetLastError(), c.error);
      continue;
    }
    ASSERT_TRUE(b);
    EXPECT_EQ(b->width, c.expect.width);
    EXPECT_EQ(b->height, c.expect.height);
    EXPECT_EQ(b->bits, c.expect.bits);
    EXPECT_EQ(b->type, c.expect.type);
    EXPECT_EQ(b->subtype, c.expect.subtype);
    EXPECT_EQ(b->levels, 1);
    EXPECT_EQ(Level0(b.p), c.expect.level0);
  }
}

// Headers whose sides make the byte count wrap past 64 bits or the row size past
// 32: each used to pass the size test with a tiny or negative count and then crash
// or write far past its buffer. Each claims more than its file holds (1002); a
// negative side is no size at all (1000).
TEST_F(TextureFilters, HostileSizesAreRefused) {
  Bytes bmp = MakeBmp(1, 1, 32, Ramp(4));
  bmp.resize(118);
  Put32(bmp, 18, 0x7FFFFFFF);
  Put32(bmp, 22, 0x7FFFFFFF);
  Bytes bmpTopDown = bmp;
  Put32(bmpTopDown, 22, (uint32_t)-0x7FFFFFFF);
  Bytes bmpWide = MakeBmp(1, 1, 24, Ramp(3));
  Put32(bmpWide, 18, 0x2AAAAAAB);  // 3 x width passes 2^31; one row
  Bytes pnm = MakePnm("P6\n2100000001 1473331718\n255\n", Bytes(64, 7));
  ASSERT_EQ(pnm.size(), 93u);
  Bytes tgaMapped = MakeTga(1, 1, 8, 1, 0, Bytes{0}, {}, Bytes(768, 0), 256);
  Put16(tgaMapped, 12, 65533);
  Put16(tgaMapped, 14, 65533);
  Bytes tgaTrue = MakeTga(1, 1, 32, 2, 0, Ramp(4));
  Put16(tgaTrue, 12, 0xFFFF);
  Put16(tgaTrue, 14, 0xFFFF);
  const struct {
    const char *name;
    Bytes file;
    int error;
  } cases[] = {
      {"bmp sides near 2^31", bmp, 1002},
      {"bmp top-down sides near 2^31", bmpTopDown, 1002},
      {"bmp row past 2^31 bytes", bmpWide, 1002},
      {"pnm sides 2.1e9 x 1.4e9", pnm, 1002},
      {"pnm negative side", MakePnm("P6\n-3 2\n255\n", Bytes(64, 7)), 1000},
      {"tga colour map 65533 x 65533", tgaMapped, 1002},
      {"tga 65535 x 65535 x 4", tgaTrue, 1002},
      {"dicom 65535 x 65535 x 3", MakeDicom(3, 0xFFFF, 0xFFFF, Ramp(12)), 1002},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    BitmapPtr b(Load(c.file));
    EXPECT_FALSE(b);
    EXPECT_EQ(errGetLastError(), c.error);
  }
}

// The one size rule every reader and writer uses.
TEST(TextureSizes, ImageAndRowBytes) {
  const struct {
    int64_t w, h, bits, bytes;
  } cases[] = {
      {3, 2, 24, 18},
      {0x7FFFFFFF, 0x7FFFFFFF, 32, -1},  // wraps 64 bits
      {2100000001, 1473331718, 24, -1},  // wraps 63 bits to 18
      {0x8000, 0x7FFF, 8, (int64_t)0x8000 * 0x7FFF},
      {0x8000, 0x8000, 8, -1},  // 1 GiB, one byte over the limit
      {0x10000, 0x3FFF, 32, -1},
      {-1, 5, 8, -1},
      {5, 0, 8, -1},
      {5, 5, 12, -1},  // not whole bytes
      {(int64_t)1 << 31, 1, 8, -1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.bits);
    EXPECT_EQ(txImageBytes(c.w, c.h, c.bits), c.bytes);
  }
  EXPECT_EQ(txRowBytes(0x2AAAAAAB, 24), -1);
  EXPECT_EQ(txRowBytes(0x15555555, 24), 0x3FFFFFFF);
  EXPECT_EQ(txRowBytes(-4, 32), -1);
}

TEST_F(TextureFilters, FormatIdsAndPalette) {
  BitmapPtr tga(Load(MakeTga(1, 1, 24, 2, 0, Ramp(3))));
  BitmapPtr bmp(Load(MakeBmp(1, 1, 24, Ramp(3))));
  BitmapPtr pnm(Load(MakePnm("P5\n1 1\n255\n", Ramp(1))));
  BitmapPtr dcm(Load(MakeDicom(1, 1, 1, Ramp(1))));
  ASSERT_TRUE(tga && bmp && pnm && dcm);
  EXPECT_EQ(tga->format, TX_FMT_TGA);
  EXPECT_EQ(bmp->format, TX_FMT_BMP);
  EXPECT_EQ(pnm->format, TX_FMT_PNM);
  EXPECT_EQ(dcm->format, TX_FMT_DICOM);
  Bytes palette = {10, 20, 30, 0, 40, 50, 60, 0};
  BitmapPtr pal(Load(MakeBmp(2, 1, 8, Bytes{1, 0}, false, palette, 2)));
  ASSERT_TRUE(pal && pal->palette);
  EXPECT_EQ(Bytes(pal->palette, pal->palette + 8), palette);
}

// The colour table of an 8-bit file lies between the headers and the pixel data.
// A colour count of 0 means 2^8 entries; only the entries that lie there are taken
// (the rest stay black), whatever the count claims, and a file with no room for a
// table reads as grey. The tables are not grey ramps, so grey read in place of a
// palette shows.
TEST_F(TextureFilters, BmpColourTables) {
  auto entries = [](size_t n) {
    Bytes t(n * 4);
    for (size_t i = 0; i < n; ++i) t[4 * i] = (uint8_t)(255 - i), t[4 * i + 1] = (uint8_t)(i * 3), t[4 * i + 2] = 0x5A;
    return t;
  };
  auto padded = [](Bytes t) {  // the 256-entry palette a bitmap carries
    t.resize(1024, 0);
    return t;
  };
  const Bytes pixels = {0, 1, 2, 255, 7, 9};
  Bytes v5Header(124 - 40, 0);  // a 124-byte header, then the table
  Append(v5Header, entries(256));
  Bytes v5 = MakeBmp(3, 2, 8, pixels, false, v5Header, 0);
  Put32(v5, 14, 124);
  Bytes gap = entries(256);  // 256 entries and bytes before the pixel data
  Append(gap, Bytes(300, 0xEE));
  const struct {
    const char *name;
    Bytes file;
    Bytes palette;  // empty: grey, no palette
  } cases[] = {
      {"count 0, 256 entries", MakeBmp(3, 2, 8, pixels, false, entries(256), 0), entries(256)},
      {"count 0, no table", MakeBmp(3, 2, 8, pixels, false, {}, 0), {}},
      {"count 0, room for 16", MakeBmp(3, 2, 8, pixels, false, entries(16), 0), padded(entries(16))},
      {"count 0, 3 bytes before the pixels", MakeBmp(3, 2, 8, pixels, false, Bytes(3, 0x77), 0), {}},
      {"count 0, more bytes than 256 entries", MakeBmp(3, 2, 8, pixels, false, gap, 0), entries(256)},
      {"count 0 after a 124-byte header", v5, entries(256)},
      {"count 2", MakeBmp(3, 2, 8, pixels, false, entries(2), 2), padded(entries(2))},
      {"count 2 of 256 stored", MakeBmp(3, 2, 8, pixels, false, entries(256), 2), padded(entries(2))},
      {"count 256, room for 10", MakeBmp(3, 2, 8, pixels, false, entries(10), 256), padded(entries(10))},
      {"count 300, room for 300", MakeBmp(3, 2, 8, pixels, false, entries(300), 300), entries(256)},
      {"count 2^32 - 1, room for 20", MakeBmp(3, 2, 8, pixels, false, entries(20), -1), padded(entries(20))},
      {"count 256, no room", MakeBmp(3, 2, 8, pixels, false, {}, 256), {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    BitmapPtr b(Load(c.file));
    ASSERT_TRUE(b);
    EXPECT_EQ(Level0(b.p), pixels);
    if (c.palette.empty()) {
      EXPECT_EQ(b->subtype, TX_SUB_GREY);
      EXPECT_FALSE(b->palette);
      continue;
    }
    EXPECT_EQ(b->subtype, TX_SUB_PALETTE);
    ASSERT_TRUE(b->palette);
    ASSERT_EQ(SYS_MemSize(b->palette), 1024);
    EXPECT_EQ(Bytes(b->palette, b->palette + 1024), c.palette);
  }
  // A 24-bit file may carry a table too (a hint for palette displays); its pixels
  // are colours and it gets no palette.
  BitmapPtr rgb(Load(MakeBmp(3, 2, 24, kRgb3x2, false, entries(4), 4)));
  ASSERT_TRUE(rgb);
  EXPECT_EQ(rgb->subtype, TX_SUB_COLOR);
  EXPECT_FALSE(rgb->palette);
}

// The loader hands its file buffer over as level 0, moving rows in place; a reader
// called directly copies instead. Both must give the same rows, for any height,
// header length (shorter or longer than a row) and row padding.
TEST_F(TextureFilters, InPlaceRowOrderMatchesCopies) {
  for (int h = 1; h <= 7; ++h)
    for (int w : {1, 2, 3, 5})
      for (int idLength : {0, 5, 40}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h << " id " << idLength);
        const Bytes rows = Ramp((size_t)w * h * 3);
        const Bytes expectTop = RowsReversed(rows, (size_t)w * 3);  // file rows are bottom-up
        for (uint8_t descriptor : {0x00, 0x20}) {
          Bytes file = MakeTga(w, h, 24, 2, descriptor, rows, Bytes((size_t)idLength, 'i'));
          BitmapPtr loaded(Load(file));
          BitmapPtr direct(tgaRead(file.data(), (int32_t)file.size()));
          ASSERT_TRUE(loaded && direct);
          EXPECT_EQ(Level0(loaded.p), descriptor ? rows : expectTop);
          EXPECT_EQ(Level0(direct.p), Level0(loaded.p));
        }
        Bytes bmp = MakeBmp(w, h, 24, rows);
        BitmapPtr loaded(Load(bmp));
        BitmapPtr direct(bmpRead(bmp.data(), (int32_t)bmp.size()));
        ASSERT_TRUE(loaded && direct);
        EXPECT_EQ(Level0(loaded.p), rows);
        EXPECT_EQ(Level0(direct.p), rows);
      }
}

// Every prefix and many single-byte changes of each valid fixture either load into a
// consistent bitmap or fail with an error; the sanitizer watches the reads.
TEST_F(TextureFilters, TruncatedAndMutatedFilesNeverOverrun) {
  for (const Case &c : AllCases()) {
    if (c.error) continue;
    SCOPED_TRACE(c.name);
    auto check = [](const Bytes &file) {
      BitmapPtr b(Load(file));
      if (!b) {
        EXPECT_NE(errGetLastError(), 0);
        return;
      }
      ASSERT_GT(b->width, 0);
      ASSERT_GT(b->height, 0);
      EXPECT_EQ((int64_t)b->imagesize[0], (int64_t)b->width * b->height * (b->bits / 8));
      uint32_t sum = 0;
      for (int32_t i = 0; i < b->imagesize[0]; ++i) sum += b->image[0][i];
      volatile uint32_t sink = sum;  // every byte of the level is read
      (void)sink;
    };
    for (size_t n = 0; n < c.file.size(); ++n) check(Bytes(c.file.begin(), c.file.begin() + n));
    for (size_t at = 0; at < c.file.size(); ++at)
      for (uint8_t v : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
        Bytes m = c.file;
        m[at] = v;
        check(m);
      }
  }
}

class TextureWriters : public TextureTest {
 protected:
  void SetUp() override {
    TextureTest::SetUp();
    txInit(nullptr);  // the file layer, on disk
    dir_ = std::filesystem::temp_directory_path() / ("korv-tex-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const char *name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

TEST_F(TextureWriters, TgaRoundTrips) {
  struct { int layout; int w, h; } cases[] = {{0, 3, 2}, {2, 2, 3}, {3, 5, 1}};
  for (auto c : cases) {
    SCOPED_TRACE(c.layout);
    BitmapPtr src(txCreateDummy(c.layout, c.w, c.h));
    ASSERT_TRUE(src);
    src->type = TX_TYPE_BGR;  // a dummy's type is its layout number
    Bytes pixels = Ramp(src->imagesize[0]);
    std::memcpy(src->image[0], pixels.data(), pixels.size());
    std::string path = Path("rt.tga");
    ASSERT_EQ(txSave(TX_FMT_TGA, path.c_str(), src.p), 0);
    BitmapPtr back(txLoad(path.c_str()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, c.w);
    EXPECT_EQ(back->height, c.h);
    EXPECT_EQ(back->bits, src->bits);
    EXPECT_EQ(Level0(back.p), pixels);
  }
}

TEST_F(TextureWriters, TgaWriterFileLayoutAndRgbSwap) {
  BitmapPtr rgb(txCreateDummy(1, 1, 1));
  ASSERT_TRUE(rgb);
  rgb->image[0][0] = 1;  // R
  rgb->image[0][2] = 3;  // B
  std::string path = Path("rgb.tga");
  ASSERT_EQ(tgaWrite(path.c_str(), rgb.p), 0);
  EXPECT_EQ(Level0(rgb.p), (Bytes{1, 0, 3}));  // the bitmap is left as it was
  BitmapPtr back(txLoad(path.c_str()));
  ASSERT_TRUE(back);
  EXPECT_EQ(Level0(back.p), (Bytes{3, 0, 1}));  // the file holds B,G,R
  FILE *f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  uint8_t h[18];
  ASSERT_EQ(std::fread(h, 1, 18, f), 18u);
  std::fclose(f);
  EXPECT_EQ(h[0], std::strlen("Created by tarvo!korvadyne's TGA output filter. v0.3"));
  EXPECT_EQ(h[2], 2);
  EXPECT_EQ(h[17], 0x20);
  BitmapPtr bad(txCreateDummy(0, 1, 1));
  bad->subtype = 4;
  EXPECT_EQ(tgaWrite(path.c_str(), bad.p), -1);
  EXPECT_EQ(errGetLastError(), 1005);
}

// The file holds R,G,B: a subtype 0 (B,G,R) bitmap is swapped on the way out, a
// subtype 1 (R,G,B) one is not.
TEST_F(TextureWriters, PnmWriterByteOrderFollowsTheSubtype) {
  for (int layout : {0, 1}) {
    SCOPED_TRACE(layout);
    BitmapPtr src(txCreateDummy(layout, 1, 1));
    ASSERT_TRUE(src);
    const Bytes pixel = layout == 0 ? Bytes{30, 20, 10} : Bytes{10, 20, 30};
    std::memcpy(src->image[0], pixel.data(), 3);
    std::string path = Path("order.pnm");
    ASSERT_EQ(txSave(TX_FMT_PNM, path.c_str(), src.p), 0);
    EXPECT_EQ(Level0(src.p), pixel);
    FILE *f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    uint8_t buf[256];
    const size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    ASSERT_GE(n, 3u);
    EXPECT_EQ(Bytes(buf + n - 3, buf + n), (Bytes{10, 20, 30}));
  }
}

TEST_F(TextureWriters, PnmRoundTrips) {
  for (int layout : {0, 3}) {
    SCOPED_TRACE(layout);
    BitmapPtr src(txCreateDummy(layout, 4, 3));
    Bytes pixels = Ramp(src->imagesize[0], 7);
    std::memcpy(src->image[0], pixels.data(), pixels.size());
    std::string path = Path("rt.pnm");
    ASSERT_EQ(txSave(TX_FMT_PNM, path.c_str(), src.p), 0);
    EXPECT_EQ(Level0(src.p), pixels);
    BitmapPtr back(txLoad(path.c_str()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->subtype, layout == 3 ? 3 : 0);
    EXPECT_EQ(Level0(back.p), pixels);
  }
  BitmapPtr alpha(txCreateDummy(2, 1, 1));
  EXPECT_EQ(pnmWrite(Path("a.pnm").c_str(), alpha.p), -1);
  EXPECT_EQ(errGetLastError(), 1000);
}

TEST_F(TextureWriters, SaveWithoutWriterFails) {
  BitmapPtr b(txCreateDummy(0, 1, 1));
  EXPECT_EQ(txSave(TX_FMT_BMP, Path("x.bmp").c_str(), b.p), -1);
  EXPECT_EQ(errGetLastError(), 1000);
  EXPECT_EQ(txSave(99, Path("x.bmp").c_str(), b.p), -1);
  EXPECT_EQ(errGetLastError(), 1000);
}

}  // namespace
