// Last error and debug log.
//
// The last error is one atomic cell, so reading and clearing it is one exchange and
// it needs no mutex that could be released before its last use. The log writes each
// entry through one shared line buffer under the log mutex: format, time stamp, the
// stdout copy, then the file opened with "a+", written, flushed and closed.
// The log file's name is made absolute once, at start-up (and by SYS_DbgLogFile),
// so a host that changes its working directory afterwards still writes one file.
// The mutex and the name exist from start-up on even while the log is off, for a
// module that switches it on later with SYS_DbgSetFlag.
// Depends on: thread (log mutex), time (time stamps), mem (tracked texts), cfg (options).
#include "base/log.h"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "base/cfg.h"
#include "base/mem.h"
#include "base/thread.h"
#include "base/time.h"

enum : uint32_t { LOG_ON = 1, LOG_STDOUT = 2, LOG_TIMESTAMP = 4 };
static constexpr int LINE_SIZE = 4096;

static std::atomic<int32_t> lastError{0};
static std::atomic<errCallback_t> errorCallback{nullptr};

static std::atomic<uint32_t> logFlags{0};
static char *logName = nullptr;
static SYS_Thread_Mutex_p logMutex = nullptr;
static char lineBuffer[LINE_SIZE];
static thread_local bool inEntry = false;

SYS_DbgOptions_t SYS_DbgOpt;

void errClear(void) { lastError.store(0); }

int errSetLastError(int32_t code)
{
  lastError.store(code);
  return 0;
}

int errSetLastErrorEx(int32_t code, const char *text)
{
  lastError.store(code);
  const errCallback_t callback = errorCallback.load();
  if (text && callback)
    return callback(code, text);
  return 0;
}

int32_t errGetLastError(void) { return lastError.exchange(0); }

void errSetCallback(errCallback_t callback) { errorCallback.store(callback); }

int SYS_DbgSetFlag(uint32_t flags)
{
  errClear();
  logFlags.store(flags);
  return 0;
}

int SYS_DbgIsOn(void) { return (logFlags.load() & LOG_ON) != 0; }

// A tracked copy of name, prefixed by the working directory unless it is absolute.
static char *absoluteName(const char *name)
{
  char dir[PATH_MAX];
  if (name[0] == '/' || !getcwd(dir, sizeof dir))
    return SYS_StrDup(name);
  const size_t size = strlen(dir) + 1 + strlen(name) + 1;
  char *path = static_cast<char *>(SYS_MemGet(size, "debug log name"));
  if (path)
    std::snprintf(path, size, "%s/%s", dir, name);
  return path;
}

int SYS_DbgLogFile(const char *name)
{
  errClear();
  if (!name)
    return errSetLastError(10), -1;
  char *copy = absoluteName(name);
  if (!copy)
    return errSetLastError(5), -1;
  SYS_MutexLock(logMutex);
  SYS_MemFree(&logName);
  logName = copy;
  SYS_MutexUnlock(logMutex);
  return 0;
}

// Whether the text that format makes, length characters, ends a line: formatted once
// more in full, only for a text too long for the line buffer.
static bool endsLine(int length, const char *format, va_list args)
{
  std::unique_ptr<char[]> whole(new (std::nothrow) char[(size_t)length + 1]);
  if (!whole)
    return false;
  std::vsnprintf(whole.get(), (size_t)length + 1, format, args);
  return whole[length - 1] == '\n';
}

// One entry: prefix and formatted text into the line buffer (cut to 4095
// characters; a cut text that ended a line still ends it, so the next entry starts
// a line of its own), then stdout and the file.
static void writeEntry(bool timestampAllowed, const char *prefix, const char *format, va_list args)
{
  const uint32_t flags = logFlags.load();
  if (!(flags & LOG_ON) || inEntry)
    return;
  inEntry = true;
  SYS_MutexLock(logMutex);
  int used = std::snprintf(lineBuffer, LINE_SIZE, "%s", prefix);
  if (used < 0)
    used = 0;
  if (used < LINE_SIZE - 1) {
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(lineBuffer + used, LINE_SIZE - used, format, args);
    if (length >= LINE_SIZE - used && endsLine(length, format, again))
      lineBuffer[LINE_SIZE - 2] = '\n';
    va_end(again);
  }
  char *stamp = SYS_TimeStamp();
  const bool withStamp = timestampAllowed && (flags & LOG_TIMESTAMP) && stamp;
  if (flags & LOG_STDOUT) {
    if (withStamp)
      std::fprintf(stdout, "%s ", stamp);
    std::fputs(lineBuffer, stdout);
    std::fflush(stdout);
  }
  if (FILE *f = std::fopen(logName ? logName : "debug.log", "a+")) {
    if (withStamp)
      std::fprintf(f, "%s ", stamp);
    std::fputs(lineBuffer, f);
    std::fflush(f);
    std::fclose(f);
  }
  SYS_MemFree(&stamp);
  SYS_MutexUnlock(logMutex);
  inEntry = false;
}

int SYS_DbgPrintf(int timestampAllowed, const char *format, ...)
{
  if (!format)
    return 0;
  va_list args;
  va_start(args, format);
  writeEntry(timestampAllowed != 0, "", format, args);
  va_end(args);
  return 0;
}

int SYS_DbgLog(const char *text) { return SYS_DbgPrintf(1, "%s", text ? text : ""); }

int SYS_DbgLevelPrintf(int level, const char *format, ...)
{
  if (!format || (level == 0 && !SYS_DbgOpt.all))
    return 0;
  const char *prefix = level == 1 ? "[wrn]" : level == 3 ? "[err]" : "";
  va_list args;
  va_start(args, format);
  writeEntry(true, prefix, format, args);
  va_end(args);
  return 0;
}

static int option(const char *name) { return SYS_CfgGet(name, 0) == 1; }

int SYS_DbgInit(void)
{
  errClear();
  SYS_DbgOpt.all = option("debug-all");
  SYS_DbgOpt.file = option("debug-file");
  SYS_DbgOpt.dl = option("debug-dl");
  SYS_DbgOpt.z = option("debug-z");
  SYS_DbgOpt.info = option("debug-info");
  SYS_DbgOpt.cpu = option("debug-cpu");
  SYS_DbgOpt.base = option("debug-base");
  SYS_DbgOpt.xml = option("debug-xml");

  if (!logMutex)
    logMutex = SYS_MutexCreate();
  if (!logName) {
    const intptr_t name = SYS_CfgGet("debug-log", 1);
    logName = absoluteName(name != 0 && name != -1 ? reinterpret_cast<const char *>(name) : "debug.log");
  }

  uint32_t flags = 0;
  if (option("v"))
    flags = LOG_ON;
  if (option("c"))
    flags = LOG_ON | LOG_STDOUT;
  if (!flags)
    return 0;
  if (option("debug-ts"))
    flags |= LOG_TIMESTAMP;

  if (!option("debug-append"))
    std::remove(logName ? logName : "debug.log");
  SYS_DbgOpt.dlsymbols = option("debug-dlsymbols");
  SYS_DbgOpt.dlerrors = option("debug-dlerrors");
  logFlags.store(flags);

  SYS_DbgPrintf(0, "\n\n");
  SYS_DbgPrintf(1, "--- tarvo!korvadyne application framework 0.85\n");
  char *stamp = SYS_TimeStamp();
  SYS_DbgPrintf(1, "--- started : %s\n", stamp ? stamp : "");
  SYS_MemFree(&stamp);
  // With argc 0 the store is empty; the banner then names nothing.
  const char *program = SYS_CfgArg(0);
  SYS_DbgPrintf(1, "--- application : %s\n\n", program ? program : "");
  return 1;
}

void SYS_DbgDone(void)
{
  errClear();
  SYS_DbgPrintf(1, "\n--- End of log.\n\n");
  logFlags.store(0);
  SYS_MemFree(&logName);
  SYS_MutexDestroy(logMutex);
  logMutex = nullptr;
}
