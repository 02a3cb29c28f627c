// Tracked memory.
//
// Every framework allocation carries a header (magic, size, list links, a 32-character
// tag "[file:line] tag") and sits in one process-wide list, so a bad release is caught
// instead of corrupting the heap, and the shutdown can list and free what is left.
// Depends on: log (bad-free report, allocation log), cfg (options), platform (msgbox).
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

void *_SYS_MemGet(int32_t size, const char *file, int line, const char *tag);
void _SYS_MemFree(void *pointerAddress, const char *file, int line);
void *_SYS_MemRealloc(void *pointerAddress, int32_t size, const char *file, int line, const char *tag);
char *_SYS_StrDup(const char *text, const char *file, int line);
int32_t SYS_MemSize(const void *data);
uint64_t SYS_MemTotal(void);
uint64_t SYS_MemAvail(void);
int SYS_MemInfo(const char *fileName);
int SYS_MemDump(const void *data);

}  // extern "C"

// Memory options step of SYS_BaseInit, and the last step of SYS_BaseDone.
void SYS_MemInit(void);
void SYS_MemDone(void);

// The caller's source position goes into the block's tag.
#define SYS_MemGet(size, tag) _SYS_MemGet((int32_t)(size), __FILE_NAME__, __LINE__, (tag))
#define SYS_MemFree(pp) _SYS_MemFree((pp), __FILE_NAME__, __LINE__)
#define SYS_MemRealloc(pp, size, tag) _SYS_MemRealloc((pp), (int32_t)(size), __FILE_NAME__, __LINE__, (tag))
#define SYS_StrDup(text) _SYS_StrDup((text), __FILE_NAME__, __LINE__)
