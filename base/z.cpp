// Compressed blocks over zlib: header + zlib stream, inflated into tracked buffers.
//
// A block is untrusted input (it comes from pack files and textures): before
// anything is allocated the packed size must fit the bytes given and the raw
// size must be reachable from the packed size at deflate's best ratio;
// afterwards the stream must have ended (zlib checks its Adler-32) having
// produced exactly the raw size. The header's CRC is not compared and bytes
// after the stream's end are ignored: other writers leave the CRC unset or pad
// the stream, and their packs and textures must still load.
// Depends on: zlib, log (last error, "debug-z" lines), mem.
#include "base/z.h"

#include <zlib.h>

#include <atomic>
#include <climits>
#include <cstring>

#include "base/log.h"
#include "base/mem.h"
#include "base/sizes.h"

namespace {

std::atomic<uint32_t> compLevel{9};

// Deflate cannot do better than 1032:1; a raw size beyond that is a lie that
// would otherwise make us allocate up to 2 GB for a few bytes of input.
constexpr uint64_t kMaxRatio = 1032;
constexpr uint64_t kRatioSlack = 1024;

int zFail(int32_t code, const char *what)
{
  errSetLastError(code);
  SYS_DbgLevelPrintf(SYS_DBG_LEVEL(SYS_DbgOpt.z), "[z][%s:%d:%s()] %s\n", SYS_POS, what);
  return -1;
}

void putLe32(uint8_t *p, uint32_t v)
{
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

}  // namespace

extern "C" {

void SYS_ZSetCompLevel(uint32_t level)
{
  errClear();
  if (level > 9) {
    errSetLastError(6);
    return;
  }
  compLevel.store(level);
}

int SYS_ZCompressBlock(const void *data, int32_t length, void **block, int32_t *blockLength)
{
  errClear();
  if (block == nullptr || blockLength == nullptr || length < 0 || (length > 0 && data == nullptr))
    return zFail(10, "bad argument");

  z_stream s{};
  if (deflateInit2(&s, int(compLevel.load()), Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    return zFail(8, "deflateInit2 failed");
  // zlib 1.2.13 underestimates level 0 for tiny inputs by a byte; the slack
  // keeps the one-call Z_FINISH below valid for every level and size.
  uLong bound = deflateBound(&s, uLong(length)) + 64;
  if (bound > uLong(INT32_MAX - SYS_ZHEADER_SIZE)) {
    deflateEnd(&s);
    return zFail(5, "block too large");
  }
  void *work = SYS_MemGet(bound, "z compress tmp");
  if (work == nullptr) {
    deflateEnd(&s);
    return zFail(5, "out of memory");
  }
  // The bound (with slack) holds the whole stream, so one Z_FINISH call ends it.
  static const Bytef kEmpty = 0;
  s.next_in = length > 0 ? static_cast<Bytef *>(const_cast<void *>(data)) : const_cast<Bytef *>(&kEmpty);
  s.avail_in = uInt(length);
  s.next_out = static_cast<Bytef *>(work);
  s.avail_out = uInt(bound);
  int r = deflate(&s, Z_FINISH);
  uLong packed = s.total_out;
  deflateEnd(&s);
  if (r != Z_STREAM_END) {
    SYS_MemFree(&work);
    return zFail(8, "deflate did not finish the stream");
  }

  uint8_t *out = static_cast<uint8_t *>(SYS_MemGet(SYS_ZHEADER_SIZE + packed, "z compress"));
  if (out == nullptr) {
    SYS_MemFree(&work);
    return zFail(5, "out of memory");
  }
  putLe32(out, uint32_t(length));
  putLe32(out + 4, uint32_t(packed));
  putLe32(out + 8, uint32_t(crc32(0L, static_cast<const Bytef *>(work), uInt(packed))));
  memcpy(out + SYS_ZHEADER_SIZE, work, packed);
  SYS_MemFree(&work);
  *block = out;
  *blockLength = int32_t(SYS_ZHEADER_SIZE + packed);
  return 0;
}

int SYS_ZCompress(const void *data, int32_t length, void **block, int32_t *blockLength)
{
  errClear();
  if (data == nullptr || length <= 0 || block == nullptr || blockLength == nullptr)
    return zFail(10, "bad argument");
  return SYS_ZCompressBlock(data, length, block, blockLength);
}

int SYS_ZUncompressN(const void *block, int32_t blockLength, void **data, int32_t *size)
{
  errClear();
  if (data != nullptr)
    *data = nullptr;
  if (block == nullptr || data == nullptr || size == nullptr)
    return zFail(10, "bad argument");
  *size = 0;
  if (blockLength < SYS_ZHEADER_SIZE)
    return zFail(8, "block shorter than its header");
  SYS_ZHeader_t h = SYS_ZHeaderRead(block);
  if (h.packedSize > uint32_t(blockLength - SYS_ZHEADER_SIZE))
    return zFail(8, "packed size runs past the block");
  uint64_t reachable = 0;
  if (!korv::SizeProduct({h.packedSize, kMaxRatio}, UINT64_MAX - kRatioSlack, reachable) ||
      h.rawSize > uint32_t(INT32_MAX - 1) || h.rawSize > reachable + kRatioSlack)
    return zFail(8, "raw size impossible for the packed size");
  const Bytef *packed = static_cast<const Bytef *>(block) + SYS_ZHEADER_SIZE;

  // One byte at least: zlib refuses a null output, and success is never null.
  void *out = SYS_MemGet(h.rawSize > 0 ? h.rawSize : 1, "z uncompress");
  if (out == nullptr)
    return zFail(5, "out of memory");

  z_stream s{};
  if (inflateInit(&s) != Z_OK) {
    SYS_MemFree(&out);
    return zFail(8, "inflateInit failed");
  }
  s.next_in = const_cast<Bytef *>(packed);
  s.avail_in = h.packedSize;
  s.next_out = static_cast<Bytef *>(out);
  s.avail_out = h.rawSize;
  // Z_FINISH with room for exactly the raw size: zlib inflates straight into
  // the buffer, and a stream that wants more room fails instead of growing.
  int r = inflate(&s, Z_FINISH);
  bool ok = r == Z_STREAM_END && s.total_out == h.rawSize;
  inflateEnd(&s);
  if (!ok) {
    SYS_MemFree(&out);
    return zFail(8, r == Z_STREAM_END ? "stream size differs from the header" : "stream does not inflate");
  }
  *data = out;
  *size = int32_t(h.rawSize);
  return 0;
}

int SYS_ZUncompress(const void *block, void **data, int32_t *size)
{
  errClear();
  if (data != nullptr)
    *data = nullptr;
  if (block == nullptr || data == nullptr || size == nullptr)
    return zFail(10, "bad argument");
  uint64_t extent = uint64_t(SYS_ZHEADER_SIZE) + SYS_ZHeaderRead(block).packedSize;
  return SYS_ZUncompressN(block, extent > uint64_t(INT32_MAX) ? INT32_MAX : int32_t(extent), data, size);
}

// CRC-32 from 0 or Adler-32 from 1 of the bytes; -1 with error 10 for no bytes.
static uint32_t checksum(uLong (*sum)(uLong, const Bytef *, uInt), uLong start, const void *data, int32_t length)
{
  errClear();
  if (data == nullptr || length <= 0) {
    errSetLastError(10);
    return uint32_t(-1);
  }
  return uint32_t(sum(start, static_cast<const Bytef *>(data), uInt(length)));
}

uint32_t SYS_ZCrc32(const void *data, int32_t length) { return checksum(crc32, 0L, data, length); }

uint32_t SYS_ZAdler(const void *data, int32_t length) { return checksum(adler32, 1L, data, length); }

}  // extern "C"
