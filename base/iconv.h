// Character-set conversion: 8-bit ISO 8859 texts to big-endian UCS-2 or UCS-4.
//
// Fixed 256-entry tables for nine ISO 8859 parts; used by the font renderer.
// Depends on: log (last error).
#pragma once

#include <cstdint>

extern "C" {

// Character-set ids: N for ISO 8859-N, and the two targets.
enum {
  SYS_ICONV_UCS2 = 30,
  SYS_ICONV_UCS4 = 31,
};

// One converter of the constant list.
typedef struct {
  const char *name;
  int32_t source;
  int32_t target;
  int32_t width;      // bytes per output unit
  const void *table;  // 256 entries of `width` bytes (host order)
} SYS_IConv_t;

// Converts `length` bytes of `text` into `out` (room for length x width bytes),
// one big-endian unit per input byte, no terminator. *outLength := bytes written.
int SYS_IConvToUCS(int32_t source, int32_t target, const void *text, int32_t length, void *out,
                   int32_t *outLength);

}  // extern "C"
