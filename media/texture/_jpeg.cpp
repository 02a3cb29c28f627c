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
// sides, and the scans and the work they ask, read from the data before decoding and
// counted again by the progress monitor as each scan starts; each refusal names
// itself (1005). Library errors jump back
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
// hand-made scripts a few dozen, and 128 covers fine spectral selection with
// successive approximation; a file with more is a decoding-time bomb (each scan costs
// a pass over its blocks for a few bytes of data). They are counted in the data
// before any is decoded.
constexpr int kMaxScans = 300;

// Work: what the decoder may walk, counted for each scan from its header before its
// data are decoded, whatever the data turn out to hold, in steps of about a quarter
// nanosecond of processor time. An arithmetic-coded decision where the data are
// uniform costs almost no bits, so a few hundred bytes can make every block walk all
// positions of every band; a Huffman refinement scan walks its band in every block,
// and an end-of-band run skips thousands of blocks for a few bits. So a progressive
// scan counts its blocks (padded to whole MCUs when interleaved) times a step for the
// block and, for an AC scan, one for each position of its band (Se - Ss + 1), weighted
// by coding (Huffman, arithmetic) and kind (first or refinement); a DC first scan's
// blocks include the coefficient arrays they fill. A sequential scan counts all 64
// positions of every block. The output pass (inverse DCT of every block, upsampling
// and colour conversion of every sample) is counted once. Costs that each take bits of
// the data (a Huffman code for each coefficient and run) are bounded by the file and
// weigh little. The weights are processor time (korv-bench-jpeg costs, the higher of
// runs over 4096 x 4096 and 8192 x 8192 pictures) of consuming the scans of files made
// from coefficients to walk the most for the least data (every block holding only
// coefficient 63; DC values a sawtooth), less that of the same file without the scans
// measured, over their blocks and positions; the output pass, a flat picture's full
// decode less its scans, over its blocks and samples. An arithmetic-coded first scan's
// block also pays for the magnitude of one coefficient of 2^14, some 30 decisions that
// cost no bits when every block holds the same (50 ns), and a DC first scan's for a
// sawtooth of DC steps of 512 (125 ns with the arrays).
struct ScanWeights {
  int32_t dcBlock;   // a block of a DC scan
  int32_t acBlock;   // a block of an AC scan, whatever its band
  int32_t position;  // each position of an AC scan's band in every block
};
// [arithmetic][refinement]
constexpr ScanWeights kScanWeights[2][2] = {{{400, 20, 2}, {90, 70, 3}}, {{560, 240, 14}, {60, 72, 13}}};
constexpr int32_t kSequentialPosition[2] = {2, 25};  // [arithmetic]
constexpr int32_t kOutputBlock = 160, kOutputSample = 1;
// Allowed: kMaxWork whatever the picture, about 1.5 s at the weights' rate, which
// keeps every file of at most 256 KB within 2 s of processor time, the slowest of
// three loads (korv-bench-texture-worst: the files that walk every position of every
// block at the largest side it lets through); or, when more, kWorkPerByte for each
// byte of the file, as real data carry their scans. The largest real texture, an
// 8192 x 8192 4:4:4 picture through libjpeg's progressive script, asks 3.8 G steps
// coded with Huffman codes and 10.2 G coded arithmetically, 900 a byte of a photo's
// 11 MB; through a 128-scan script of spectral selection and successive approximation
// 13.8 and 31.5 G, 1030 and 2800 a byte. Flat, the arithmetic-coded one is refused
// unless its data reach 2.5 MB: its few hundred bytes could as well make it walk all
// positions of every block, which takes 2.2 to 2.9 s.
constexpr int64_t kMaxWork = 6000000000;
constexpr int64_t kWorkPerByte = 4096;

int64_t WorkBudget(int32_t size) { return std::max(kMaxWork, (int64_t)size * kWorkPerByte); }

// Work of one scan over the given components (indices into comp_info), from its
// spectral band and its successive approximation's high bit.
int64_t ScanWork(j_decompress_ptr cinfo, int count, const int *components, int ss, int se, int ah) {
  int64_t blocks = 0;
  if (count == 1) {
    const jpeg_component_info &c = cinfo->comp_info[components[0]];
    blocks = (int64_t)c.width_in_blocks * c.height_in_blocks;
  } else {
    const int64_t wide = ((int64_t)cinfo->image_width + cinfo->max_h_samp_factor * DCTSIZE - 1) /
                         (cinfo->max_h_samp_factor * DCTSIZE);
    const int64_t high = ((int64_t)cinfo->image_height + cinfo->max_v_samp_factor * DCTSIZE - 1) /
                         (cinfo->max_v_samp_factor * DCTSIZE);
    int64_t perMcu = 0;
    for (int i = 0; i < count; ++i)
      perMcu += (int64_t)cinfo->comp_info[components[i]].h_samp_factor * cinfo->comp_info[components[i]].v_samp_factor;
    blocks = wide * high * perMcu;
  }
  const int arithmetic = cinfo->arith_code ? 1 : 0;
  if (!cinfo->progressive_mode) return blocks * DCTSIZE2 * kSequentialPosition[arithmetic];
  const ScanWeights &w = kScanWeights[arithmetic][ah != 0 ? 1 : 0];
  if (ss == 0) return blocks * w.dcBlock;
  const int64_t band = std::max(0, std::min(se, DCTSIZE2 - 1) - ss + 1);
  return blocks * (w.acBlock + band * w.position);
}

// The output pass, once for the file.
int64_t OutputWork(j_decompress_ptr cinfo) {
  int64_t blocks = 0;
  for (int c = 0; c < cinfo->num_components; ++c)
    blocks += (int64_t)cinfo->comp_info[c].width_in_blocks * cinfo->comp_info[c].height_in_blocks;
  const int64_t samples =
      (int64_t)cinfo->image_width * cinfo->image_height * (cinfo->out_color_space == JCS_GRAYSCALE ? 1 : 3);
  return blocks * kOutputBlock + samples * kOutputSample;
}

void RefuseScans(j_decompress_ptr cinfo) {
  TX_REFUSE_SIZE("[TL][jpeg]", cinfo->image_width, cinfo->image_height, "more than %d scans", kMaxScans);
}

void RefuseWork(j_decompress_ptr cinfo, int64_t work, int64_t budget) {
  TX_REFUSE_SIZE("[TL][jpeg]", cinfo->image_width, cinfo->image_height,
                 "its scans ask %lld steps of decoding, past the %lld this file may ask (%lld, or %lld for each byte)",
                 (long long)work, (long long)budget, (long long)kMaxWork, (long long)kWorkPerByte);
}

// The scans of the whole data and the work they ask, from their headers, before any
// is decoded. Marker segments are skipped by their lengths; anything else up to the
// next marker is skipped as the library skips it: a scan's entropy-coded data, in
// which 0xFF is followed by 0 (a stuffed byte) or a restart marker, or by fill bytes
// before the marker that ends them, and stray bytes between segments. Ends at the
// end of the image, the end of the data, or a segment that runs past it (where the
// library stops too); stops counting past kMaxScans.
struct ScanTally {
  int scans;
  int64_t work;
};

ScanTally TallyScans(j_decompress_ptr cinfo, const uint8_t *data, size_t size) {
  ScanTally tally = {0, OutputWork(cinfo)};
  size_t at = 2;  // past the start-of-image marker, checked by the library
  while (at < size && tally.scans <= kMaxScans) {
    const uint8_t *ff = (const uint8_t *)std::memchr(data + at, 0xFF, size - at);
    if (!ff) break;
    at = (size_t)(ff - data);
    while (at < size && data[at] == 0xFF) ++at;
    if (at >= size) break;
    const uint8_t marker = data[at++];
    if (marker == 0 || marker == 0x01 || (marker >= JPEG_RST0 && marker <= JPEG_RST0 + 7)) continue;
    if (marker == JPEG_EOI || size - at < 2) break;
    const size_t length = (size_t)data[at] << 8 | data[at + 1];
    if (length < 2 || length > size - at) break;
    const uint8_t *segment = data + at;
    at += length;
    if (marker != 0xDA) continue;  // not a start of scan
    ++tally.scans;
    const int count = length >= 3 ? segment[2] : 0;
    if (count < 1 || count > MAX_COMPS_IN_SCAN || length != 6 + 2 * (size_t)count) continue;
    int components[MAX_COMPS_IN_SCAN];
    int known = 0;
    for (int i = 0; i < count; ++i)
      for (int c = 0; c < cinfo->num_components; ++c)
        if (cinfo->comp_info[c].component_id == segment[3 + 2 * i]) {
          components[known++] = c;
          break;
        }
    const uint8_t *band = segment + 3 + 2 * count;  // Ss, Se, Ah and Al
    // A scan of components the frame lacks ends the decode with the library's error.
    if (known == count) tally.work += ScanWork(cinfo, count, components, band[0], band[1], band[2] >> 4);
  }
  return tally;
}

// Counts, as the library reaches each scan and before its data are decoded, the
// scans and the work they ask (again: the tally read them from the data, this holds
// whatever the library makes of them); records which components had a scan.
struct JpegProgress {
  jpeg_progress_mgr pub;
  int scan;       // the last scan counted
  int64_t work;   // of every scan so far, and the output pass
  int64_t budget;
  uint32_t scanned;  // bit c: component c appeared in a scan
};

void Progress(j_common_ptr common) {
  j_decompress_ptr cinfo = (j_decompress_ptr)common;
  JpegProgress *progress = (JpegProgress *)cinfo->progress;
  if (cinfo->input_scan_number == progress->scan) return;
  progress->scan = cinfo->input_scan_number;
  if (progress->scan > kMaxScans) {
    RefuseScans(cinfo);
    Refuse(common, nullptr);
  }
  int components[MAX_COMPS_IN_SCAN];
  for (int i = 0; i < cinfo->comps_in_scan; ++i) {
    components[i] = cinfo->cur_comp_info[i]->component_index;
    progress->scanned |= 1u << components[i];
  }
  progress->work += ScanWork(cinfo, cinfo->comps_in_scan, components, cinfo->Ss, cinfo->Se, cinfo->Ah);
  if (progress->work > progress->budget) {
    RefuseWork(cinfo, progress->work, progress->budget);
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
    const bool scans = jpeg_has_multiple_scans(&cinfo);
    TX_REFUSE_SIZE("[TL][jpeg]", cinfo.image_width, cinfo.image_height,
                   "the %d-component picture%s %s the %llu bytes a JPEG load may hold", components,
                   scans ? " and the coefficients of several scans" : "", scans ? "pass" : "passes",
                   (unsigned long long)kTxMaxJpegLoadBytes);
    jpeg_destroy_decompress(&cinfo);
    txRelease(b);
    return nullptr;
  }
  // The library keeps its whole-image arrays to the same bound, should they need more
  // than the estimate (its row buffers, some 2 MB at the widest, are not counted).
  cinfo.mem->max_memory_to_use = (long)kTxMaxJpegLoadBytes;
  // The scans and their work, from the data before any is decoded.
  progress.budget = WorkBudget(size);
  const ScanTally tally = TallyScans(&cinfo, data, (size_t)size);
  if (tally.scans > kMaxScans || tally.work > progress.budget) {
    if (tally.scans > kMaxScans)
      RefuseScans(&cinfo);
    else
      RefuseWork(&cinfo, tally.work, progress.budget);
    jpeg_destroy_decompress(&cinfo);
    txRelease(b);
    return nullptr;
  }
  progress.pub.progress_monitor = Progress;
  progress.work = OutputWork(&cinfo);
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
