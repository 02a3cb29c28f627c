// JPEG filter (id 1) over libjpeg: decoding JFIF data from the loader's buffer,
// encoding grey and colour images (and a 32-bit image's alpha as a second, grey
// file) into files of the framework file layer.
//
// The memory source hands the library the whole data once. When the library wants
// more inside the image data, the data are short; that and the warnings of corrupt
// image data end the read with 1002, so nothing is read past the size and a damaged
// file never passes for a picture. Data that end in the last MCU row of a scan or
// after it get the end-of-image marker supplied, as the library's own sources do: a
// file that lacks only that marker loads once the picture is whole (every component
// scanned, every progressive coefficient to its last bit). The limits (below) are
// absolute and keep memory and time apart: what a load may hold, the library's largest
// sides, and the scans and block passes the progress monitor counts; each refusal
// names itself (1005). Library errors jump back
// through the error manager into the reader or writer, which cleans up and fails with
// an error code instead of ending the process. Only grey and colour output is accepted: a
// four-channel (CMYK) decode would otherwise pass for R,G,B,A.
// Depends on: libjpeg, base (file layer, tracked memory, log), txSwapRB.

#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "base/file.h"
#include "media/texture/TL_private.h"

namespace {

struct JpegError {
  jpeg_error_mgr pub;
  jmp_buf jump;
  void (*standardEmit)(j_common_ptr, int);
  const char *refused;  // why the data are refused (1002); null: a library error (5)
  bool tooLarge;        // refused for a limit, logged with error 1005
};

void JpegMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  SYS_DbgLevelPrintf(SYS_DBG_LEVEL(txSettings.verbose), "[TL][jpeg][%s:%d:%s()] libjpeg: %s\n", SYS_POS, text);
}

void JpegErrorExit(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  JpegError *error = (JpegError *)cinfo->err;
  if (cinfo->is_decompressor) {
    // The library's own refusals for size: a side past what it decodes (checked at the
    // first scan, after the frame header), or whole-image arrays past the memory it was
    // given. Both are limits, not damage.
    const j_decompress_ptr d = (j_decompress_ptr)cinfo;
    if (error->pub.msg_code == JERR_IMAGE_TOO_BIG) {
      TX_REFUSE_SIZE("[TL][jpeg]", d->image_width, d->image_height, "sides past the %d pixels libjpeg decodes",
                     (int)JPEG_MAX_DIMENSION);
      error->tooLarge = true;
    } else if (error->pub.msg_code == JERR_NO_BACKING_STORE) {
      TX_REFUSE_SIZE("[TL][jpeg]", d->image_width, d->image_height,
                     "the library's whole-image arrays pass the %llu bytes a JPEG load may hold",
                     (unsigned long long)kTxMaxJpegLoadBytes);
      error->tooLarge = true;
    }
  }
  std::longjmp(error->jump, 1);
}

// The warnings after which the library decodes the rest of a scan as zeros (grey):
// the data end early or are corrupt. Those files are damaged, not pictures; the
// others (stray bytes between segments, odd markers) leave the image whole.
bool Damaging(int code) {
  return code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_HUFF_BAD_CODE ||
         code == JWRN_ARITH_BAD_CODE || code == JWRN_MUST_RESYNC || code == JWRN_BOGUS_PROGRESSION;
}

void JpegEmit(j_common_ptr cinfo, int level) {
  JpegError *error = (JpegError *)cinfo->err;
  if (level < 0 && Damaging(error->pub.msg_code)) {
    error->refused = "data short or corrupt";
    JpegErrorExit(cinfo);
  }
  error->standardEmit(cinfo, level);
}

void Install(JpegError &error, jpeg_error_mgr **slot) {
  *slot = jpeg_std_error(&error.pub);
  error.pub.error_exit = JpegErrorExit;
  error.pub.output_message = JpegMessage;
  error.standardEmit = error.pub.emit_message;
  error.pub.emit_message = JpegEmit;
  error.refused = nullptr;
  error.tooLarge = false;
}

// Ends the read as refused data (1002), from inside the library's calls; a null why
// for a refusal for size, already logged (1005).
[[noreturn]] void Refuse(j_common_ptr cinfo, const char *why) {
  JpegError *error = (JpegError *)cinfo->err;
  error->refused = why;
  error->tooLarge = why == nullptr;
  std::longjmp(error->jump, 1);
}

struct JpegSource {
  jpeg_source_mgr pub;
  const uint8_t *data;
  size_t size;
  bool fed;
  bool headerRead;  // past jpeg_read_header: the image data are being decoded
  bool endSupplied;  // the data ended and the end-of-image marker was supplied
};

// Limits, all absolute, so a valid file loads whatever the size of its file. What a
// load holds is the picture and, for a file of several scans, the library's
// coefficients of the whole image (128 bytes a block, each component padded to whole
// MCUs as the library allocates them), against the JPEG reader's own limit,
// kTxMaxJpegLoadBytes. Sides are at most 65535, so every term fits in 64 bits.
bool HeldFits(j_decompress_ptr cinfo, int32_t pictureBytes) {
  uint64_t held = 0;
  if (pictureBytes < 0 || !txHold(held, (uint64_t)pictureBytes, kTxMaxJpegLoadBytes)) return false;
  if (!jpeg_has_multiple_scans(cinfo)) return true;
  for (int c = 0; c < cinfo->num_components; ++c) {
    const jpeg_component_info *component = &cinfo->comp_info[c];
    const uint64_t h = component->h_samp_factor, v = component->v_samp_factor;
    const uint64_t wide = ((uint64_t)component->width_in_blocks + h - 1) / h * h;
    const uint64_t high = ((uint64_t)component->height_in_blocks + v - 1) / v * v;
    if (!txHold(held, wide * high * DCTSIZE2 * sizeof(JCOEF), kTxMaxJpegLoadBytes)) return false;
  }
  return true;
}
// Time, apart from memory. Scans: the library's progressive script writes 10,
// hand-made scripts a few dozen; a file with more is a decoding-time bomb (each scan
// costs a pass over its blocks for a few bytes of data).
constexpr int kMaxScans = 300;
// Block passes over all scans: each scan passes over every block of its components,
// about as costly Huffman- as arithmetic-coded when the blocks are empty, since a pass
// walks the coefficient arrays either way. Allowed: kMaxBlockPasses whatever the
// picture, over twice libjpeg's progressive script over the largest texture (14 Mi
// passes over an 8192 x 8192 4:4:4 picture; 19 M over the largest grey picture the
// memory limit admits), which at the memory limit leaves a flat picture 1.0 to 1.6 s
// of processor time (korv-bench-texture-worst); or, when more, kWorkPerByte for each
// byte of the file, as a real scan costs data. Valid files do reach the cap: a script
// of single-coefficient scans over a large flat picture is a few hundred bytes.
constexpr int64_t kMaxBlockPasses = 32 << 20;
constexpr int64_t kWorkPerByte = 64;

int64_t WorkBudget(int32_t size) { return std::max(kMaxBlockPasses, (int64_t)size * kWorkPerByte); }

// Counts scans and the blocks each one makes the library pass over, before its
// data are decoded; records which components had a scan.
struct JpegProgress {
  jpeg_progress_mgr pub;
  int scan;       // the last scan counted
  int64_t work;   // blocks of every scan so far
  int64_t budget;
  uint32_t scanned;  // bit c: component c appeared in a scan
};

void Progress(j_common_ptr common) {
  j_decompress_ptr cinfo = (j_decompress_ptr)common;
  JpegProgress *progress = (JpegProgress *)cinfo->progress;
  if (cinfo->input_scan_number == progress->scan) return;
  progress->scan = cinfo->input_scan_number;
  if (progress->scan > kMaxScans) {
    TX_REFUSE_SIZE("[TL][jpeg]", cinfo->image_width, cinfo->image_height, "more than %d scans", kMaxScans);
    Refuse(common, nullptr);
  }
  for (int i = 0; i < cinfo->comps_in_scan; ++i) {
    const jpeg_component_info *component = cinfo->cur_comp_info[i];
    progress->work += (int64_t)component->width_in_blocks * component->height_in_blocks;
    progress->scanned |= 1u << component->component_index;
  }
  if (progress->work > progress->budget) {
    TX_REFUSE_SIZE("[TL][jpeg]", cinfo->image_width, cinfo->image_height,
                   "scans pass over more than %lld blocks, the most a file may ask (%lld, or %lld for each byte)",
                   (long long)progress->budget, (long long)kMaxBlockPasses, (long long)kWorkPerByte);
    Refuse(common, nullptr);
  }
}

// After a supplied end marker: is the picture whole? Every component had a scan;
// in a progressive file every coefficient came to its last bit. (The last scan
// itself was whole: data short inside it end the read with the library's warning.)
bool Whole(j_decompress_ptr cinfo, const JpegProgress &progress) {
  if (progress.scanned != (1u << cinfo->num_components) - 1) return false;
  if (!cinfo->progressive_mode) return true;
  for (int c = 0; c < cinfo->num_components; ++c)
    for (int k = 0; k < DCTSIZE2; ++k)
      if (cinfo->coef_bits[c][k] != 0) return false;
  return true;
}

void SourceInit(j_decompress_ptr) {}
void SourceTerm(j_decompress_ptr) {}

boolean SourceFill(j_decompress_ptr cinfo) {
  JpegSource *src = (JpegSource *)cinfo->src;
  if (!src->fed) {
    src->fed = true;
    src->pub.next_input_byte = src->data;
    src->pub.bytes_in_buffer = src->size;
  } else if (src->headerRead && !src->endSupplied && cinfo->input_iMCU_row + 1 >= cinfo->total_iMCU_rows) {
    // The data end in the last MCU row of a scan or between scans: perhaps only the
    // end marker is missing. Missing bits of this scan still bring the library's
    // warning; the reader checks that no scan is missing.
    static const JOCTET kEnd[2] = {0xFF, (JOCTET)JPEG_EOI};
    src->endSupplied = true;
    src->pub.next_input_byte = kEnd;
    src->pub.bytes_in_buffer = sizeof kEnd;
  } else {
    // The data end before the image does: the library's warning ends the read as
    // damaged (JpegEmit), instead of the grey it would decode from here on.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    ERREXIT(cinfo, JERR_INPUT_EOF);
  }
  return TRUE;
}

void SourceSkip(j_decompress_ptr cinfo, long n) {
  if (n <= 0) return;
  jpeg_source_mgr *src = cinfo->src;
  while ((size_t)n > src->bytes_in_buffer) {
    n -= (long)src->bytes_in_buffer;
    (*src->fill_input_buffer)(cinfo);
  }
  src->next_input_byte += n;
  src->bytes_in_buffer -= (size_t)n;
}

// Compressed bytes go to the file through the file layer, a buffer at a time.
struct JpegDest {
  jpeg_destination_mgr pub;
  SYS_File_t *file;
  JOCTET buffer[16384];
};

void DestInit(j_compress_ptr cinfo) {
  JpegDest *dest = (JpegDest *)cinfo->dest;
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = sizeof dest->buffer;
}

boolean DestEmpty(j_compress_ptr cinfo) {
  JpegDest *dest = (JpegDest *)cinfo->dest;
  if (SYS_FileWrite(dest->file, dest->buffer, (int32_t)sizeof dest->buffer) != 0) ERREXIT(cinfo, JERR_FILE_WRITE);
  DestInit(cinfo);
  return TRUE;
}

void DestTerm(j_compress_ptr cinfo) {
  JpegDest *dest = (JpegDest *)cinfo->dest;
  const size_t used = sizeof dest->buffer - dest->pub.free_in_buffer;
  if (used && SYS_FileWrite(dest->file, dest->buffer, (int32_t)used) != 0) ERREXIT(cinfo, JERR_FILE_WRITE);
}

txBitmap *Fail(int32_t code, txBitmap *bitmap, const char *why) {
  txRelease(bitmap);
  TX_FAIL(code, "[TL][jpeg]", "%s (%s)", why, txSettings.currentName ? txSettings.currentName : "-");
  return nullptr;
}

}  // namespace

bool jpegSides(const uint8_t *head, int64_t bytes, int64_t, int64_t &width, int64_t &height) {
  // The frame header among the segments before the first scan, as libjpeg reads it.
  // A height of 0 comes with the first scan (a DNL segment): not told here.
  for (int64_t p = 2; p + 9 <= bytes;) {
    if (head[p] != 0xFF) return false;
    const uint8_t m = head[p + 1];
    if (m == 0xFF) {  // fill byte
      ++p;
      continue;
    }
    if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
      height = head[p + 5] << 8 | head[p + 6];
      width = head[p + 7] << 8 | head[p + 8];
      return height != 0;
    }
    if (m == 0xDA || m == 0xD9) return false;
    p += m == 0x01 || (m >= 0xD0 && m <= 0xD8) ? 2 : 2 + (head[p + 2] << 8 | head[p + 3]);
  }
  return false;
}

extern "C" {

int32_t jpegCheck(const uint8_t *d) { return std::memcmp(d + 6, "JFIF", 4) == 0 ? 0 : 1000; }

txBitmap *jpegRead(const uint8_t *data, int32_t size) {
  if (!data || size <= 0) return Fail(1002, nullptr, "no data");
  txBitmap *b = (txBitmap *)SYS_MemGet(sizeof(txBitmap), "jpegRead: struct");
  if (!b) return Fail(5, nullptr, "no memory");
  jpeg_decompress_struct cinfo;
  JpegError error;
  Install(error, &cinfo.err);
  JpegSource src = {};
  JpegProgress progress = {};
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&cinfo);
    const volatile JpegError &seen = error;  // set inside the library's calls
    if (seen.tooLarge) {
      txRelease(b);
      return errSetLastError(1005), nullptr;
    }
    return seen.refused ? Fail(1002, b, seen.refused) : Fail(5, b, "damaged JPEG data");
  }
  jpeg_create_decompress(&cinfo);
  src.pub.init_source = SourceInit;
  src.pub.fill_input_buffer = SourceFill;
  src.pub.skip_input_data = SourceSkip;
  src.pub.resync_to_restart = jpeg_resync_to_restart;
  src.pub.term_source = SourceTerm;
  src.data = data;
  src.size = (size_t)size;
  cinfo.src = &src.pub;
  jpeg_read_header(&cinfo, TRUE);
  src.headerRead = true;
  if (cinfo.out_color_space != JCS_GRAYSCALE && cinfo.out_color_space != JCS_RGB) {
    jpeg_destroy_decompress(&cinfo);
    return Fail(1000, b, "only grey and colour JPEG images are read");
  }
  const int32_t components = cinfo.out_color_space == JCS_GRAYSCALE ? 1 : 3;
  const int32_t bytes = txImageBytes((int32_t)cinfo.image_width, (int32_t)cinfo.image_height, components * 8);
  if (!HeldFits(&cinfo, bytes)) {
    TX_REFUSE_SIZE("[TL][jpeg]", cinfo.image_width, cinfo.image_height,
                   "%d components%s pass the %llu bytes a JPEG load may hold", components,
                   jpeg_has_multiple_scans(&cinfo) ? " and the coefficients of several scans" : "",
                   (unsigned long long)kTxMaxJpegLoadBytes);
    jpeg_destroy_decompress(&cinfo);
    txRelease(b);
    return nullptr;
  }
  // The library keeps its whole-image arrays to the same bound, should they need more
  // than the estimate (its row buffers, some 2 MB at the widest, are not counted).
  cinfo.mem->max_memory_to_use = (long)kTxMaxJpegLoadBytes;
  progress.pub.progress_monitor = Progress;
  progress.budget = WorkBudget(size);
  cinfo.progress = &progress.pub;
  jpeg_start_decompress(&cinfo);
  const int32_t width = (int32_t)cinfo.output_width, height = (int32_t)cinfo.output_height;
  if (cinfo.output_components != components || txImageBytes(width, height, components * 8) != bytes) {
    jpeg_destroy_decompress(&cinfo);
    return Fail(1000, b, "output differs from the header");
  }
  b->image[0] = (uint8_t *)SYS_MemGet(bytes, "jpegRead: bitmap");
  if (!b->image[0]) {
    jpeg_destroy_decompress(&cinfo);
    return Fail(5, b, "no memory");
  }
  const size_t rowBytes = (size_t)width * components;
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = b->image[0] + (size_t)cinfo.output_scanline * rowBytes;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  const bool whole = Whole(&cinfo, progress);  // before the progression state is freed
  jpeg_finish_decompress(&cinfo);
  if (src.endSupplied && !whole) {
    jpeg_destroy_decompress(&cinfo);
    return Fail(1002, b, "data end before the picture is whole");
  }
  jpeg_destroy_decompress(&cinfo);
  b->type = TX_TYPE_RGB;
  b->width = width;
  b->height = height;
  b->bits = components * 8;
  b->levels = 1;
  b->imagesize[0] = bytes;
  b->subtype = components == 1 ? TX_SUB_GREY : TX_SUB_COLOR;
  TX_LOG("[TL][jpeg]", "JPEG: %s\n", txSettings.currentName ? txSettings.currentName : "-");
  TX_LOG("[TL][jpeg]", " size: %dx%d bits: %d\n", width, height, b->bits);
  TX_LOG("[TL][jpeg]", " imagesize[0]: %lu\n", (unsigned long)bytes);
  return b;
}

int32_t JPGWRITE(const char *name, const uint8_t *pixels, int32_t width, int32_t height, int32_t components) {
  errClear();
  if (!pixels || (components != 1 && components != 3) || txImageBytes(width, height, components * 8) < 0)
    return TX_FAIL(1005, "[TL][jpeg]", "cannot write %dx%d with %d components", width, height, components), -1;
  jpeg_compress_struct cinfo;
  JpegError error;
  Install(error, &cinfo.err);
  SYS_File_t *volatile file = nullptr;
  if (setjmp(error.jump)) {
    jpeg_destroy_compress(&cinfo);
    if (file) SYS_FileClose(file);
    return TX_FAIL(5, "[TL][jpeg]", "encoding failed: %s", name), -1;
  }
  jpeg_create_compress(&cinfo);
  file = SYS_FileOpen(name, 0x10);
  if (!file) {
    jpeg_destroy_compress(&cinfo);
    return TX_FAIL(9, "[TL][jpeg]", "cannot create %s", name ? name : "-"), -1;
  }
  JpegDest dest;
  dest.pub.init_destination = DestInit;
  dest.pub.empty_output_buffer = DestEmpty;
  dest.pub.term_destination = DestTerm;
  dest.file = file;
  cinfo.dest = &dest.pub;
  TX_LOG("[TL][jpeg]", "JPEG name: %s\n", name);
  TX_LOG("[TL][jpeg]", " size: %dx%d %dbits\n", width, height, components * 8);

  cinfo.image_width = (JDIMENSION)width;
  cinfo.image_height = (JDIMENSION)height;
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, txSettings.jpegQuality, txSettings.jpegBaseline ? TRUE : FALSE);
  cinfo.optimize_coding = txSettings.jpegOptimize ? TRUE : FALSE;
  cinfo.smoothing_factor = std::clamp(txSettings.jpegSmoothing, 0, 100);
  if (txSettings.jpegProgressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  const size_t rowBytes = (size_t)width * components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = (JSAMPROW)(pixels + (size_t)cinfo.next_scanline * rowBytes);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  SYS_FileClose(file);
  return 0;
}

int32_t jpegWrite(const char *path, txBitmap *b) {
  errClear();
  if (!b || b->type < 0 || b->type > 1 || b->subtype < 0 || b->subtype > 3)
    return TX_FAIL(1005, "[TL][jpeg]", "cannot write type %d subtype %d", b ? b->type : -1, b ? b->subtype : -1), -1;
  static constexpr int32_t kBits[4] = {24, 24, 32, 8};
  const int32_t bytes = txImageBytes(b->width, b->height, b->bits);
  if (b->bits != kBits[b->subtype] || bytes < 0 || !b->image[0] || b->imagesize[0] < bytes)
    return TX_FAIL(1005, "[TL][jpeg]", "no %dx%d %d-bit level to write", b->width, b->height, b->bits), -1;
  txSettings.jpegQuality = std::clamp(txSettings.jpegQuality, 0, 100);

  if (b->subtype == TX_SUB_ALPHA) {
    // Colour from the B,G,R bytes turned R,G,B, then the alpha bytes as a grey image.
    const int32_t pixels = bytes / 4;
    uint8_t *temp = (uint8_t *)SYS_MemGet((int64_t)pixels * 3, "jpegWrite: temp buffer");
    if (!temp) return TX_FAIL(5, "[TL][jpeg]", "no memory"), -1;
    const uint8_t *src = b->image[0];
    for (int32_t i = 0; i < pixels; ++i) {
      temp[3 * i + 0] = src[4 * i + 2];
      temp[3 * i + 1] = src[4 * i + 1];
      temp[3 * i + 2] = src[4 * i + 0];
    }
    if (JPGWRITE(path, temp, b->width, b->height, 3) != 0) {
      const int32_t code = errGetLastError();
      SYS_MemFree(&temp);
      return errSetLastError(code), -1;
    }
    for (int32_t i = 0; i < pixels; ++i) temp[i] = src[4 * i + 3];
    const size_t n = std::strlen(path) + 3;
    char *alphaPath = (char *)SYS_MemGet((int64_t)n, "jpegWrite: fn");
    if (alphaPath && !txAlphaName(path, alphaPath, n)) SYS_MemFree(&alphaPath);
    if (!alphaPath) {
      SYS_MemFree(&temp);
      return TX_FAIL(5, "[TL][jpeg]", "no memory"), -1;
    }
    const int32_t result = JPGWRITE(alphaPath, temp, b->width, b->height, 1);
    const int32_t code = errGetLastError();
    SYS_MemFree(&alphaPath);
    SYS_MemFree(&temp);
    if (result != 0) errSetLastError(code);
    return result;
  }
  // Subtype 0 holds B,G,R: swapped for the write and back after.
  const bool swap = b->subtype == TX_SUB_COLOR;
  if (swap) txSwapRB(b);
  const int32_t result = JPGWRITE(path, b->image[0], b->width, b->height, b->bits / 8);
  const int32_t code = errGetLastError();
  if (swap) txSwapRB(b);
  if (result != 0) errSetLastError(code);
  return result;
}

const tx_filter_t txJpegFilter = {
    TX_FMT_JPEG, "tarvo!korvadyne's JPEG filter", "JPEG format (JPG)", jpegCheck, jpegRead, jpegWrite, {75, 100},
};

}  // extern "C"
