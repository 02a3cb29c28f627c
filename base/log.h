// Last error and debug log.
//
// Every framework function reports failure by returning -1 or null and leaving a
// code in one process-wide last-error cell; the file opener also hands the failing
// path to the host's error callback. The debug log is one text file (and optionally
// stdout), opened, written, flushed and closed for every entry. An entry that a
// thread starts while it is already writing one (the allocator logging the entry's
// own time stamp) is dropped, which is what keeps "debug-memalloc" finite.
// Depends on: thread (mutexes), time (timestamps), mem (tracked texts), cfg (options).
#pragma once

#include <cstdint>

extern "C" {

typedef int (*errCallback_t)(int32_t code, const char *text);

void errClear(void);
int errSetLastError(int32_t code);
int errSetLastErrorEx(int32_t code, const char *text);
int32_t errGetLastError(void);
void errSetCallback(errCallback_t callback);

int SYS_DbgSetFlag(uint32_t flags);
int SYS_DbgLogFile(const char *name);
int SYS_DbgPrintf(int timestampAllowed, const char *format, ...) __attribute__((format(printf, 2, 3)));
int SYS_DbgLog(const char *text);
int SYS_DbgLevelPrintf(int level, const char *format, ...) __attribute__((format(printf, 2, 3)));

}  // extern "C"

// Log start-up step of SYS_BaseInit: options, flags, file, banner; 1 when the log
// is on. SYS_DbgDone is the log's shutdown step of SYS_BaseDone.
int SYS_DbgInit(void);
void SYS_DbgDone(void);
// 1 while the log is on (bit 0 of the log flags).
int SYS_DbgIsOn(void);

// Component options read at start-up ("debug-all", "debug-file", ...), each 0 or 1.
struct SYS_DbgOptions_t {
  int all, file, dl, z, info, cpu, base, xml;
  int dlsymbols, dlerrors;
};
extern SYS_DbgOptions_t SYS_DbgOpt;

// The source position part of a log line: "[%s:%d:%s()] " takes SYS_POS.
#define SYS_POS __FILE_NAME__, __LINE__, __func__

// Leveled line of a component whose ordinary messages need its own option:
// level 2 when the option is on, level 0 (shown only with "debug-all") otherwise.
#define SYS_DBG_LEVEL(opt) ((opt) ? 2 : 0)
