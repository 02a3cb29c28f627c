// Shared by the file layer's own sources (file, file-path, file-regularfile,
// file-dir, file-pack); not for callers.
// Depends on: log.
#pragma once

#include <cstdint>

#include "base/file.h"
#include "base/log.h"

// A line at the "debug-file" level.
#define FILE_LOG(...) SYS_DbgLevelPrintf(SYS_DBG_LEVEL(SYS_DbgOpt.file), __VA_ARGS__)

namespace file_layer {

// Sets the last error and gives -1, so an error path is one line.
inline int fail(int32_t code)
{
  errSetLastError(code);
  return -1;
}

}  // namespace file_layer
