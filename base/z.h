// Compressed blocks: a 12-byte header (raw size, packed size, CRC-32 of the
// packed bytes; little-endian) followed by one zlib stream.
//
// Pack files use them for their catalog and compressed entries, the TQX texture
// format for its levels. Inflation checks the header against the bytes it was
// given and the result against the header; nothing is served from a block that
// does not check out.
// Depends on: zlib, log (last error), mem (tracked buffers).
#pragma once

#include <cstdint>

extern "C" {

typedef struct SYS_ZHeader_t {
  uint32_t rawSize;
  uint32_t packedSize;
  uint32_t crc;  // CRC-32 of the packed bytes; written, never verified
} SYS_ZHeader_t;

enum { SYS_ZHEADER_SIZE = 12 };

// Levels 0 to 9 (9 at start); above 9: error 6, the level stays.
void SYS_ZSetCompLevel(uint32_t level);
// A new tracked block (tag "z compress") of *blockLength bytes. Null data, a
// length of 0 or a null out pointer: error 10.
int SYS_ZCompress(const void *data, int32_t length, void **block, int32_t *blockLength);
// Inflates a block whose extent the header alone gives: use SYS_ZUncompressN
// wherever the block's length is known. *data receives a tracked buffer (tag
// "z uncompress") of *size bytes; on failure it is null.
int SYS_ZUncompress(const void *block, void **data, int32_t *size);
uint32_t SYS_ZCrc32(const void *data, int32_t length);
uint32_t SYS_ZAdler(const void *data, int32_t length);

// As SYS_ZCompress, but a length of 0 makes a valid empty block (data may be
// null then); the pack writer needs one for an empty catalog.
int SYS_ZCompressBlock(const void *data, int32_t length, void **block, int32_t *blockLength);
// As SYS_ZUncompress for a block of blockLength bytes: the packed size must fit
// them and the stream must end within the packed size having produced exactly
// the raw size. The CRC field is not compared; bytes after the stream's end are
// ignored. Error 8 otherwise.
// An empty block gives a 1-byte buffer and *size 0, so success is never null.
int SYS_ZUncompressN(const void *block, int32_t blockLength, void **data, int32_t *size);

}  // extern "C"

// The header fields of a block (no checks beyond its 12 bytes).
static inline SYS_ZHeader_t SYS_ZHeaderRead(const void *block)
{
  const uint8_t *p = static_cast<const uint8_t *>(block);
  auto le = [](const uint8_t *q) {
    return uint32_t(q[0]) | uint32_t(q[1]) << 8 | uint32_t(q[2]) << 16 | uint32_t(q[3]) << 24;
  };
  return SYS_ZHeader_t{le(p), le(p + 4), le(p + 8)};
}
