// Default file callbacks of the texture loader, over the framework file layer.
//
// One file is open at a time. The open asks for the size first: a missing file then
// fails quietly with error 1 and never reaches SYS_FileOpen, whose failure would call
// the host's error callback (the "_a" probe of every load must stay silent); a file
// past what one buffer holds is refused there too, with 1005 and a line. The read
// returns the whole file followed by a zero tail as long as any format check looks,
// so checks never read past the buffer; the readers themselves are bounded by the
// size, so a longer tail would only cost time. For large row images the loader reads
// only the head first and the rows follow straight into place (txIReadHead,
// txIReadAt; see txAdoptRows).
// Depends on: base (file layer, tracked memory, last error).

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/file.h"
#include "media/texture/TL_private.h"

namespace {

SYS_File_t *gFile = nullptr;
int32_t gSize = 0;
char *gName = nullptr;

void CloseCurrent() {
  if (gName) SYS_MemFree(&gName);
  if (gFile) SYS_FileClose(gFile);
  gFile = nullptr;
  gSize = 0;
}

}  // namespace

extern "C" {

int32_t txIOpen(const char *name) {
  CloseCurrent();
  if (!name) return errSetLastError(1), -1;
  const int64_t size = SYS_FileSize64(name);
  if (size < 0) return errSetLastError(1), -1;
  // The allocator's range, with room for the zero tail: a larger file is refused for
  // its size like a picture past a limit, not taken for a missing one.
  if (size > kTxMaxFileBytes) {
    SYS_DbgLevelPrintf(2, "[TL][%s:%d:%s()] ! too large to load: %s (%lld bytes): files past %lld bytes are not read\n",
                       SYS_POS, name, (long long)size, (long long)kTxMaxFileBytes);
    return errSetLastError(1005), -1;
  }
  SYS_File_t *file = SYS_FileOpen(name, 0);
  if (!file) return errSetLastError(1), -1;
  gFile = file;
  gSize = (int32_t)size;
  gName = SYS_StrDup(name);
  return 0;
}

void *txIRead(void) {
  if (!gFile) return errSetLastError(3), nullptr;
  uint8_t *buffer = (uint8_t *)SYS_MemGet(gSize + TX_CHECK_BYTES, "txIRead");
  if (!buffer) return errSetLastError(5), nullptr;
  int32_t got = gSize > 0 ? SYS_FileRead(gFile, buffer, gSize) : 0;
  if (got != gSize) {
    std::printf("! %s\n", std::strerror(errno));
    SYS_MemFree(&buffer);
    return errSetLastError(3), nullptr;
  }
  return buffer;
}

int32_t txIFSize(void) { return gSize; }

}  // extern "C"

uint8_t *txIReadHead(int32_t headBytes) {
  if (!gFile) return errSetLastError(3), nullptr;
  uint8_t *buffer = (uint8_t *)SYS_MemGet(gSize + TX_CHECK_BYTES, "txIRead");
  if (!buffer) return errSetLastError(5), nullptr;
  const int32_t n = headBytes < gSize ? headBytes : gSize;
  if (n > 0 && SYS_FileRead(gFile, buffer, n) != n) {
    std::printf("! %s\n", std::strerror(errno));
    SYS_MemFree(&buffer);
    return errSetLastError(3), nullptr;
  }
  return buffer;
}

int32_t txIReadAt(int64_t offset, uint8_t *dst, int64_t length) {
  if (!gFile || offset < 0 || length < 0 || offset + length > gSize) return -1;
  if (length == 0) return 0;
  if (SYS_FileTell(gFile) != offset && SYS_FileSeek(gFile, (int32_t)offset) != 0) return -1;
  return SYS_FileRead(gFile, dst, (int32_t)length) == length ? 0 : -1;
}

extern "C" {

int32_t txIClose(void) {
  CloseCurrent();
  return 0;
}

int32_t txIExist(const char *name) { return SYS_FileSize(name); }

}  // extern "C"
