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

#include <algorithm>
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

// What the walk over the elements found: the fields as the last element of each tag
// gave them (absent ones take the values of the one layout read; -1 marks a value too
// short to hold a number), and where it stopped.
struct Fields {
  int32_t samples = 0, rows = 0, columns = 0, planar = 0, allocated = 8, stored = 8, highBit = 7, sign = 0;
  std::string_view photometric;
  int64_t pixelsAt = -1, pixelBytes = 0;  // the pixel data's value
  int64_t end = kStart;                   // leading bytes the walk looked at
  int32_t code = 0;                       // why it stopped early: damage, or a kind not read
  const char *why = nullptr;
  bool cut = false;                       // it needed bytes past those at hand
};

// Walks the elements of a file of size bytes whose first bytes are at hand: all of it
// for the reader, a large file's head for the queries before the rest is read. The
// values of other elements are stepped over unread, so a walk over the head goes as
// far as the reader's would and is cut only where it would need more. Every length
// is checked against the size, and each step moves forward, so the walk ends.
Fields Walk(const uint8_t *data, int64_t bytes, int64_t size) {
  Fields f;
  auto stop = [&](int32_t code, const char *why) {
    f.code = code;
    f.why = why;
    return f;
  };
  auto cut = [&] {
    f.cut = true;
    return f;
  };
  int64_t pos = kStart;
  while (pos + 8 <= size) {
    if (pos + 8 > bytes) return cut();
    const uint8_t *e = data + pos;
    const uint32_t group = U16(e), element = U16(e + 2);
    int64_t valueAt, length;
    if (LongLength(e + 4)) {
      if (pos + 12 > size) break;
      if (pos + 12 > bytes) return cut();
      length = U32(e + 8);
      valueAt = pos + 12;
    } else {
      length = U16(e + 6);
      valueAt = pos + 8;
    }
    f.end = valueAt;
    if (length == 0xFFFFFFFF) return stop(1000, "undefined element length");
    if (!korv::SizeWithin((uint64_t)valueAt, (uint64_t)length, (uint64_t)size)) return stop(1002, "element past the end");
    const bool syntax = group == 0x0002 && element == 0x0010;
    if (syntax || group == 0x0028) {
      if (valueAt + length > bytes) return cut();
      f.end = valueAt + length;
    }
    const uint8_t *value = data + valueAt;
    const int32_t number = length >= 2 ? (int32_t)U16(value) : -1;
    if (syntax) {
      // The elements after the file meta group follow this syntax; only explicit VR
      // little-endian without compression is walked and read as it lies.
      if (Text(value, length) != "1.2.840.10008.1.2.1") return stop(1000, "transfer syntax not read");
    } else if (group == 0x0028) {
      switch (element) {
        case 0x0002: f.samples = number; break;
        case 0x0004: f.photometric = Text(value, length); break;
        case 0x0006: f.planar = number; break;
        case 0x0010: f.rows = number; break;
        case 0x0011: f.columns = number; break;
        case 0x0100: f.allocated = number; break;
        case 0x0101: f.stored = number; break;
        case 0x0102: f.highBit = number; break;
        case 0x0103: f.sign = number; break;
      }
    } else if (group == 0x7FE0 && element == 0x0010) {
      f.pixelsAt = valueAt;
      f.pixelBytes = length;
    }
    pos = valueAt + length;
  }
  return f;
}

}  // namespace

int64_t dicomHeadBytes(const uint8_t *head, int64_t size) {
  // The walk over the head alone reaches the end of the file, the pixel data's value
  // (or another's) ending it: the reader's walk then goes the same way and adopts the
  // rows, refuses the picture for its size, or stops where this one did. Planes that
  // fit are interleaved from the buffer, so their file is read whole.
  const Fields f = Walk(head, std::min<int64_t>(kTxHead, size), size);
  if (f.cut) return 0;
  if (!f.code && f.samples == 3 && f.planar == 1 && txImageBytes(f.columns, f.rows, 24) >= 0) return 0;
  return f.end;
}

bool dicomSides(const uint8_t *head, int64_t bytes, int64_t size, int64_t &width, int64_t &height) {
  const Fields f = Walk(head, bytes, size);
  if (f.cut || f.code) return false;
  width = f.columns;
  height = f.rows;
  return true;
}

extern "C" {

int32_t dicomCheck(const uint8_t *d) {
  for (int i = 0; i < 128; ++i)
    if (d[i] != 0) return 1000;
  return std::memcmp(d + 128, "DICM", 4) == 0 ? 0 : 1000;
}

txBitmap *dicomRead(const uint8_t *data, int32_t size) {
  if (!data || size < kStart) return Fail(1002, nullptr, "header truncated");
  const Fields f = Walk(data, size, size);
  if (f.code) return Fail(f.code, nullptr, f.why);
  const int32_t samples = f.samples, rows = f.rows, columns = f.columns, planar = f.planar;
  if (samples != 1 && samples != 3) return Fail(1000, nullptr, "unsupported samples per pixel");
  if (f.allocated != 8 || f.stored != 8 || f.highBit != 7 || f.sign != 0)
    return Fail(1000, nullptr, "samples other than 8 unsigned bits");
  if (!f.photometric.empty() && f.photometric != (samples == 1 ? "MONOCHROME2" : "RGB"))
    return Fail(1000, nullptr, "photometric interpretation not read");
  if (samples == 3 && planar != 0 && planar != 1) return Fail(1000, nullptr, "bad planar configuration");
  const bool planes = samples == 3 && planar == 1;
  const int32_t bits = samples * 8;
  const int64_t picture = txPictureBytes(columns, rows, bits);
  if (picture < 0) return Fail(1000, nullptr, "bad size");
  if (f.pixelsAt < 0) return Fail(1000, nullptr, "no pixel data");
  const uint8_t *pixels = data + f.pixelsAt;
  if (f.pixelBytes < picture) return Fail(1002, nullptr, "pixel data shorter than the image");
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
