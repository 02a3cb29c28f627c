// Pack-file handler of the file layer ("Pack handler"): "TRVP" packs.
//
// Format (little-endian): "TRVP", entry count (u32), catalog offset (u32); the
// catalog, one compressed block running to the end of the file, inflates to
// count records {stored size u32, data offset u32, flags u8 (bit 0: the data is
// a compressed block), name length u16, name bytes}. Entries are loaded whole
// at their first open and served from memory.
// Depends on: file (records, quiet open), z, log, mem, list, platform/fs.
#pragma once

#include "base/file.h"

extern "C" {

typedef struct SYS_PackEntry_t {
  uint32_t storedSize;  // bytes in the pack file
  uint32_t size;        // the file's size (a compressed block's raw size)
  uint32_t offset;      // of the stored bytes in the pack file
  uint8_t flags;        // bit 0: compressed block
  uint8_t broken;       // its stored bytes lie outside the pack file
  char *name;
  void *data;    // the loaded file while any handle has it open
  int32_t refs;  // open handles on data
} SYS_PackEntry_t;

typedef struct SYS_Pack_t {
  char *path;
  SYS_File_p file;  // kept open until the framework's shutdown
  int32_t count;
  SYS_PackEntry_t *entries;  // catalog order
} SYS_Pack_t;

// The newest registered pack whose catalog holds the name, or null.
SYS_Pack_t *SYS_FindPack(const char *name);

}  // extern "C"

enum { SYS_PACK_COMPRESSED = 0x01 };

extern const SYS_FileHandler_t SYS_PackFileHandler;

// The pack registered last, or null (for tools and tests that walk a catalog).
SYS_Pack_t *SYS_PackNewest(void);
// Unregisters a pack, closes its file and frees its catalog: 0, or -1 (error 10) when
// it is not registered or one of its entries is open.
int SYS_PackRelease(SYS_Pack_t *pack);
// Step of the framework's shutdown: closes every pack's file and empties the list
// (the records go with the tracked memory right after).
void SYS_PackForget(void);
