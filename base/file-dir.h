// Directory-pack handler of the file layer ("Dir pack handler"): a directory
// tree registered as a pack, mapped once into relative names ("a/b.txt").
// Depends on: file (glob), file-regularfile (disk entries), log, mem, list, platform/fs.
#pragma once

#include "base/file.h"

extern "C" {

typedef struct SYS_DirPackEntry_t {
  char *name;    // below the directory, "/" between parts, no leading "/"
  int32_t size;  // at registration
} SYS_DirPackEntry_t;

typedef struct SYS_DirPack_t {
  char *path;  // as registered
  int32_t count;
  SYS_DirPackEntry_t *entries;  // mapping order
} SYS_DirPack_t;

}  // extern "C"

extern const SYS_FileHandler_t SYS_DirPackHandler;

// The framework's shutdown frees every tracked block; the list head must not outlive them.
void SYS_DirPackForget(void);
// The size of an entry's file however large, or -1.
int64_t SYS_DirPackSize64(const char *path);
