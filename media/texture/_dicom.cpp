// DICOM input filter (id 7): uncompressed 8-bit grey and 24-bit colour images in
// explicit-VR little-endian form.
//
// After the 128-byte preamble and "DICM" the reader walks the data elements, taking
// the transfer syntax, the image pixel fields and the pixel data. Every element's
// length is checked against the bytes left, and each step moves forward, so the walk
// ends. OB, OW, OF, SQ, UT and UN elements carry a 32-bit length after two reserved
// bytes; an undefined length (encapsulated pixel data) is refused. What the reader
// cannot decode exactly is refused too, rather than loaded as a wrong picture: other
// transfer syntaxes, samples other than 8 unsigned bits, and photometric kinds other
// than MONOCHROME2 and RGB. Colour planes (planar configuration 1) are interleaved.
// Depends on: base (tracked memory, log, sizes).

#include <cstring>
#include <string_view>

#include "media/texture/TL_private.h"

namespace {

constexpr int32_t kStart = 132;

inline uint32_t U16(const uint8_t *p) { return p[0] | (p[1] << 8); }
inline uint32_t U32(const uint8_t *p) { return U16(p) | U16(p + 2) << 16; }

bool LongLength(const uint8_t *vr) {
  static constexpr const char *kLong[] = {"OB", "OW", "OF", "SQ", "UT", "UN"};
  for (const char *v : kLong)
    if (vr[0] == v[0] && vr[1] == v[1]) return true;
  return false;
}

// A text value without the padding (NUL for UI, blanks for CS) around it.
std::string_view Text(const uint8_t *value, int64_t length) {
  std::string_view t((const char *)value, (size_t)length);
  while (!t.empty() && (t.back() == '\0' || t.back() == ' ')) t.remove_suffix(1);
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  return t;
}

txBitmap *Fail(int32_t code, txBitmap *bitmap, const char *why) {
  txRelease(bitmap);
  TX_FAIL(code, "[TL][dicom]", "%s (%s)", why, txSettings.currentName ? txSettings.currentName : "-");
  return nullptr;
}

}  // namespace

int64_t dicomHeadBytes(const uint8_t *head, int64_t size) {
  // The elements before the pixel data, when they all lie in the head and the pixel
  // data end the file, interleaved: the reader's walk then sees the same elements
  // and adopts the rows (or, pixel data past the end, stops there as damaged). Planes
  // are read from the buffer, so their file is read whole.
  bool planes = false;
  int64_t pos = kStart;
  while (pos + 12 <= kTxHead) {
    const uint8_t *e = head + pos;
    const bool isLong = LongLength(e + 4);
    const int64_t length = isLong ? U32(e + 8) : U16(e + 6);
    const int64_t valueAt = pos + (isLong ? 12 : 8);
    if (U16(e) == 0x7FE0 && U16(e + 2) == 0x0010)
      return !planes && length != 0xFFFFFFFF && valueAt + length >= size ? valueAt : 0;
    if (length == 0xFFFFFFFF || valueAt + length > kTxHead) return 0;
    if (U16(e) == 0x0028 && U16(e + 2) == 0x0006) planes = length < 2 || U16(head + valueAt) != 0;
    pos = valueAt + length;
  }
  return 0;
}

extern "C" {

int32_t dicomCheck(const uint8_t *d) {
  for (int i = 0; i < 128; ++i)
    if (d[i] != 0) return 1000;
  return std::memcmp(d + 128, "DICM", 4) == 0 ? 0 : 1000;
}

txBitmap *dicomRead(const uint8_t *data, int32_t size) {
  if (!data || size < kStart) return Fail(1002, nullptr, "header truncated");
  // Absent fields take the values of the one layout read; -1 marks a value that is
  // there but too short to hold a number.
  int32_t samples = 0, rows = 0, columns = 0, planar = 0, allocated = 8, stored = 8, highBit = 7, sign = 0;
  std::string_view photometric;
  const uint8_t *pixels = nullptr;
  int64_t pixelBytes = 0;
  int64_t pos = kStart;
  while (pos + 8 <= size) {
    const uint8_t *e = data + pos;
    const uint32_t group = U16(e), element = U16(e + 2);
    int64_t valueAt, length;
    if (LongLength(e + 4)) {
      if (pos + 12 > size) break;
      length = U32(e + 8);
      valueAt = pos + 12;
    } else {
      length = U16(e + 6);
      valueAt = pos + 8;
    }
    if (length == 0xFFFFFFFF) return Fail(1000, nullptr, "undefined element length");
    if (!korv::SizeWithin((uint64_t)valueAt, (uint64_t)length, (uint64_t)size)) return Fail(1002, nullptr, "element past the end");
    const uint8_t *value = data + valueAt;
    const int32_t number = length >= 2 ? (int32_t)U16(value) : -1;
    if (group == 0x0002 && element == 0x0010) {
      // The elements after the file meta group follow this syntax; only explicit VR
      // little-endian without compression is walked and read as it lies.
      if (Text(value, length) != "1.2.840.10008.1.2.1") return Fail(1000, nullptr, "transfer syntax not read");
    } else if (group == 0x0028) {
      switch (element) {
        case 0x0002: samples = number; break;
        case 0x0004: photometric = Text(value, length); break;
        case 0x0006: planar = number; break;
        case 0x0010: rows = number; break;
        case 0x0011: columns = number; break;
        case 0x0100: allocated = number; break;
        case 0x0101: stored = number; break;
        case 0x0102: highBit = number; break;
        case 0x0103: sign = number; break;
      }
    } else if (group == 0x7FE0 && element == 0x0010) {
      pixels = value;
      pixelBytes = length;
    }
    pos = valueAt + length;
  }
  if (samples != 1 && samples != 3) return Fail(1000, nullptr, "unsupported samples per pixel");
  if (allocated != 8 || stored != 8 || highBit != 7 || sign != 0)
    return Fail(1000, nullptr, "samples other than 8 unsigned bits");
  if (!photometric.empty() && photometric != (samples == 1 ? "MONOCHROME2" : "RGB"))
    return Fail(1000, nullptr, "photometric interpretation not read");
  if (samples == 3 && planar != 0 && planar != 1) return Fail(1000, nullptr, "bad planar configuration");
  const bool planes = samples == 3 && planar == 1;
  const int32_t bits = samples * 8;
  const int64_t picture = txPictureBytes(columns, rows, bits);
  if (picture < 0) return Fail(1000, nullptr, "bad size");
  if (!pixels) return Fail(1000, nullptr, "no pixel data");
  if (pixelBytes < picture) return Fail(1002, nullptr, "pixel data shorter than the image");
  const int32_t bytes = txImageBytes(columns, rows, bits);
  const int32_t rowBytes = txRowBytes(columns, bits);
  if (bytes < 0 || rowBytes < 0) return TX_REFUSE_RAW("[TL][dicom]", columns, rows, bits), nullptr;

  txBitmap *b = (txBitmap *)SYS_MemGet(sizeof(txBitmap), "dicomRead: struct");
  if (!b) return Fail(5, nullptr, "no memory");
  if (!planes) b->image[0] = txAdoptRows(data, pixels - data, rowBytes, rowBytes, rows, false);
  if (!b->image[0]) {
    b->image[0] = (uint8_t *)SYS_MemGet(bytes, "buffer");
    if (!b->image[0]) return Fail(5, b, "no memory");
    if (planes) {
      // The R, G and B planes one after the other; the bitmap interleaves them.
      const int32_t count = bytes / 3;
      for (int32_t i = 0; i < count; ++i)
        for (int32_t c = 0; c < 3; ++c) b->image[0][3 * i + c] = pixels[(size_t)c * count + i];
    } else {
      std::memcpy(b->image[0], pixels, (size_t)bytes);
    }
  }
  // Colour samples are stored R,G,B; the record says so.
  b->type = bits == 8 ? TX_TYPE_BGR : TX_TYPE_RGB;
  b->subtype = bits == 8 ? TX_SUB_GREY : TX_SUB_OTHER;
  b->width = columns;
  b->height = rows;
  b->bits = bits;
  b->levels = 1;
  b->imagesize[0] = bytes;
  return b;
}

const tx_filter_t txDicomFilter = {
    TX_FMT_DICOM, "tarvo!korvadyne's DICOM input filter", "Digital Imaging and Communications in Medicine (DICOM)",
    dicomCheck, dicomRead, nullptr, {0, 0},
};

}  // extern "C"
