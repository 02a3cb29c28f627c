// DDS and TQX files built in memory from their headers and the given level bytes.
// Shared by the texture tests and the worst-case texture benchmark.
// Depends on: base (tracked memory, compressed blocks).
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/mem.h"
#include "base/z.h"

namespace dxt_maker {
inline void PutLE(std::vector<uint8_t> &f, size_t at, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) f[at + i] = (uint8_t)(v >> (8 * i));
}
}  // namespace dxt_maker

// A DDS file: header and the level bytes as given.
inline std::vector<uint8_t> MakeDds(int w, int h, int mipmaps, const char *fourcc,
                                    const std::vector<uint8_t> &levels) {
  using dxt_maker::PutLE;
  std::vector<uint8_t> f(128 + levels.size(), 0);  // at its final size: no growth past the header
  std::memcpy(f.data(), "DDS ", 4);
  PutLE(f, 4, 124, 4);
  PutLE(f, 12, (uint32_t)h, 4);
  PutLE(f, 16, (uint32_t)w, 4);
  PutLE(f, 28, (uint32_t)mipmaps, 4);
  PutLE(f, 76, 32, 4);
  PutLE(f, 80, 4, 4);
  std::memcpy(f.data() + 84, fourcc, 4);
  if (!levels.empty()) std::memcpy(f.data() + 128, levels.data(), levels.size());
  return f;
}

// A TQX file; each level is packed into a compressed block when pack[i] is set.
inline std::vector<uint8_t> MakeTqx(int w, int h, const char *fourcc, const std::vector<std::vector<uint8_t>> &levels,
                                    const std::vector<bool> &pack, const char *magic = "TQX ") {
  using dxt_maker::PutLE;
  std::vector<uint8_t> f(14, 0);
  std::memcpy(f.data(), magic, 4);
  PutLE(f, 4, (uint32_t)w, 2);
  PutLE(f, 6, (uint32_t)h, 2);
  std::memcpy(f.data() + 8, fourcc, 4);
  PutLE(f, 12, (uint32_t)levels.size(), 2);
  for (size_t i = 0; i < levels.size(); ++i) {
    std::vector<uint8_t> record(4);
    if (pack[i]) {
      void *block = nullptr;
      int32_t length = 0;
      SYS_ZCompress(levels[i].data(), (int32_t)levels[i].size(), &block, &length);
      PutLE(record, 0, (uint32_t)length, 4);
      record.insert(record.end(), (uint8_t *)block, (uint8_t *)block + length);
      SYS_MemFree(&block);
    } else {
      PutLE(record, 0, (uint32_t)-(int32_t)levels[i].size(), 4);
      record.insert(record.end(), levels[i].begin(), levels[i].end());
    }
    f.insert(f.end(), record.begin(), record.end());
  }
  return f;
}
