// PNM filter (id 6): binary grey (P5) and colour (P6) images with a maximum value of
// 255, in and out.
//
// The header is read line by line: comment lines anywhere, the magic line, the size
// line, then the maximum value line, which must be exactly "255"; the raw pixels
// follow it. Lines are measured in the file data itself, so a line of any length is
// safe; the pixel bytes must all be there, and a picture past the largest one that
// its file holds is refused for its size. A large file's header is read from its
// head alone and its rows straight into place (pnmHeadBytes).
// Depends on: base (file layer, tracked memory, log, sizes), txSwapRB.

#include <cctype>
#include <charconv>
#include <cstring>
#include <string_view>

#include "base/file.h"
#include "media/texture/TL_private.h"

namespace {

constexpr const char *kComment = "Created by tarvo!korvadyne's PNM output filter";
constexpr size_t kLineBuffer = 128;

// "%d %d" of the size line, but a number out of the int32 range fails instead of
// being undefined.
bool ParseSize(std::string_view line, int32_t &width, int32_t &height) {
  const char *p = line.data(), *end = p + line.size();
  int32_t *out[2] = {&width, &height};
  for (int32_t *v : out) {
    while (p < end && std::isspace((unsigned char)*p)) ++p;
    const auto r = std::from_chars(p, end, *v);
    if (r.ec != std::errc()) return false;
    p = r.ptr;
  }
  return true;
}

// The header lines within the first size bytes: the magic, the sides and the
// offset of the pixels after the "255" line. Null when they are read, else why not.
const char *ParseHeader(const uint8_t *data, int64_t size, int32_t &kind, int32_t &width, int32_t &height,
                        int32_t &pos) {
  int32_t field = 0;
  pos = 0;
  while (field < 3) {
    const uint8_t *end = (const uint8_t *)std::memchr(data + pos, '\n', (size_t)(size - pos));
    if (!end) return "header without a \"255\" line";
    std::string_view line((const char *)data + pos, (size_t)(end - (data + pos)));
    pos = (int32_t)(end - data) + 1;
    if (!line.empty() && line[0] == '#') continue;
    if (field == 0) {
      if (line.size() != 2 || line[0] != 'P' || line[1] < '1' || line[1] > '6') return "unknown magic";
      kind = line[1] - '0';
    } else if (field == 1) {
      if (!ParseSize(line.substr(0, kLineBuffer - 1), width, height)) return "unparsable size line";
    } else if (line != "255") {
      // The maximum value: only one byte per sample at full range is read; any
      // other value would pass its samples off as bytes.
      return "maximum value other than 255";
    }
    ++field;
  }
  return kind == 5 || kind == 6 ? nullptr : "only P5 and P6 are read";
}

txBitmap *Fail(int32_t code, txBitmap *bitmap, const char *why) {
  txRelease(bitmap);
  TX_FAIL(code, "[TL][pnm]", "%s (%s)", why, txSettings.currentName ? txSettings.currentName : "-");
  return nullptr;
}

}  // namespace

int64_t pnmHeadBytes(const uint8_t *head) {
  // The header lines; the pixels are all rows, adopted in place.
  int32_t kind, width, height, pos;
  return ParseHeader(head, kTxHead, kind, width, height, pos) ? 0 : pos;
}

bool pnmSides(const uint8_t *head, int64_t bytes, int64_t, int64_t &width, int64_t &height) {
  int32_t kind, w, h, pos;
  if (ParseHeader(head, bytes, kind, w, h, pos)) return false;
  width = w;
  height = h;
  return true;
}

extern "C" {

int32_t pnmCheck(const uint8_t *d) {
  return d[0] == 'P' && (d[1] == '6' || d[1] == '5') && d[2] == '\n' ? 0 : 1000;
}

txBitmap *pnmRead(const uint8_t *data, int32_t size) {
  if (!data || size < 0) return Fail(1000, nullptr, "no data");
  int32_t kind = 0, width = 0, height = 0, pos = 0;
  const char *why = ParseHeader(data, size, kind, width, height, pos);
  if (why) return Fail(1000, nullptr, why);
  const int32_t bits = kind == 5 ? 8 : 24;
  const int64_t picture = txPictureBytes(width, height, bits);
  if (picture < 0) return Fail(1000, nullptr, "bad size");
  if (!korv::SizeWithin((uint64_t)pos, (uint64_t)picture, (uint64_t)size)) return Fail(1002, nullptr, "data past the end");
  const int32_t bytes = txImageBytes(width, height, bits);
  const int32_t rowBytes = txRowBytes(width, bits);
  if (bytes < 0 || rowBytes < 0) return TX_REFUSE_RAW("[TL][pnm]", width, height, bits), nullptr;
  txBitmap *b = (txBitmap *)SYS_MemGet(sizeof(txBitmap), "pnmRead: struct");
  if (!b) return Fail(5, nullptr, "no memory");
  b->type = TX_TYPE_BGR;
  b->subtype = kind == 5 ? TX_SUB_GREY : TX_SUB_COLOR;
  b->bits = bits;
  b->width = width;
  b->height = height;
  b->levels = 1;
  b->imagesize[0] = bytes;
  TX_LOG("[TL][pnm]", "PNM: %s\n", txSettings.currentName ? txSettings.currentName : "-");
  TX_LOG("[TL][pnm]", " size: %dx%d bits: %d\n", width, height, bits);
  TX_LOG("[TL][pnm]", " imagesize[0]: %lu\n", (unsigned long)bytes);
  b->image[0] = txAdoptRows(data, pos, rowBytes, rowBytes, height, false);
  if (!b->image[0]) {
    b->image[0] = (uint8_t *)SYS_MemGet(bytes, "pnmRead: bitmap");
    if (!b->image[0]) return Fail(5, b, "no memory");
    std::memcpy(b->image[0], data + pos, (size_t)bytes);
  }
  if (kind == 6) txSwapRB(b);  // file R,G,B; type 0 is B,G,R
  return b;
}

int32_t pnmWrite(const char *path, txBitmap *b) {
  errClear();
  if (!b || (b->subtype != 0 && b->subtype != 1 && b->subtype != 3))
    return TX_FAIL(1000, "[TL][pnm]", "cannot write subtype %d", b ? b->subtype : -1), -1;
  const int32_t bits = b->subtype == TX_SUB_GREY ? 8 : 24;
  const int32_t bytes = txImageBytes(b->width, b->height, bits);
  if (b->bits != bits || bytes < 0 || !b->image[0] || b->imagesize[0] < bytes)
    return TX_FAIL(1000, "[TL][pnm]", "no %dx%d %d-bit level to write", b->width, b->height, bits), -1;
  TX_LOG("[TL][pnm]", "filename ( write ): %s\n", path ? path : "-");
  TX_LOG("[TL][pnm]", " size: %dx%d\n", b->width, b->height);
  TX_LOG("[TL][pnm]", " bits: %d\n", b->bits);
  TX_LOG("[TL][pnm]", " imagesize[0]: %u\n", (unsigned)b->imagesize[0]);
  TX_LOG("[TL][pnm]", " comment: %s\n", kComment);
  SYS_File_t *file = SYS_FileOpen(path, 0x10);
  if (!file) return TX_FAIL(9, "[TL][pnm]", "cannot create %s", path ? path : "-"), -1;
  bool ok = SYS_FilePutStr(file, "%s\n# %s\n%d %d\n255\n", bits == 8 ? "P5" : "P6", kComment, b->width,
                           b->height) == 0;
  // The file holds R,G,B; a B,G,R bitmap (subtype 0) is swapped for the write and
  // back after, an R,G,B one (subtype 1) is written as it is.
  const bool swap = b->subtype == TX_SUB_COLOR;
  if (swap) txSwapRB(b);
  ok = ok && SYS_FileWrite(file, b->image[0], bytes) == 0;
  if (swap) txSwapRB(b);
  SYS_FileClose(file);
  if (!ok) return TX_FAIL(9, "[TL][pnm]", "write failed: %s", path), -1;
  return 0;
}

const tx_filter_t txPnmFilter = {
    TX_FMT_PNM, "tarvo!korvadyne's PNM filter", "Portable Pixmap (PNM)", pnmCheck, pnmRead, pnmWrite, {0, 0},
};

}  // extern "C"
