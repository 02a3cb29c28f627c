// Virtual file layer: the handler chain, paths, directories and listings.
//
// The chain is fixed: disk, directory packs, pack files. Each handler says
// whether it has a path (exist); the first that does serves it, so loose files
// override directory packs, which override pack files. Only SYS_FileOpen tells
// the host's error callback about a path it cannot open; everything else just
// returns -1 or null with the last error.
// Depends on: log, mem, list, the three handlers, platform/fs.
#include "base/file.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/file-dir.h"
#include "base/file-pack.h"
#include "base/file-regularfile.h"
#include "base/list.h"
#include "base/log.h"
#include "base/mem.h"
#include "platform/fs.h"

namespace {

#define FILE_LOG(...) SYS_DbgLevelPrintf(SYS_DBG_LEVEL(SYS_DbgOpt.file), __VA_ARGS__)

// Order of preference: a loose file beats a directory pack beats a pack file.
const SYS_FileHandler_t *const kChain[] = {
    &SYS_RegularFileHandler,
    &SYS_DirPackHandler,
    &SYS_PackFileHandler,
};

std::mutex openLock;
SYS_List_p openFiles;  // newest first

const char *homeBase = ".tarvo";

constexpr size_t kPutStrMax = 2047;
constexpr size_t kPathMax = 4096;

int fail(int32_t code)
{
  errSetLastError(code);
  return -1;
}

const SYS_FileHandler_t *handlerOf(const char *path)
{
  for (const SYS_FileHandler_t *h : kChain)
    if (h->exist(path) == 0)
      return h;
  return nullptr;
}

SYS_File_p failOpen(int32_t code, const char *path, bool notify)
{
  if (notify)
    errSetLastErrorEx(code, path);
  else
    errSetLastError(code);
  return nullptr;
}

SYS_File_p fileOpen(const char *path, int32_t flags, bool notify)
{
  errClear();
  if (path == nullptr)
    return failOpen(10, nullptr, false);
  FILE_LOG("[file][%s:%d:%s()] opening %s...\n", SYS_POS, path);
  const SYS_FileHandler_t *h = handlerOf(path);
  if (h == nullptr) {
    if (!(flags & SYS_FILE_WRITE))
      return failOpen(11, path, notify);
    h = &SYS_RegularFileHandler;
  }
  auto *file = static_cast<SYS_File_p>(SYS_MemGet(sizeof(SYS_File_t), "SYS_FileOpen"));
  if (file == nullptr)
    return failOpen(5, path, notify);
  memset(file, 0, sizeof *file);
  file->path = SYS_StrDup(path);
  if (file->path == nullptr) {
    SYS_MemFree(&file);
    return failOpen(5, path, notify);
  }
  file->flags = flags;
  file->size = -1;
  file->handler = h;
  file->seek = h->seek;
  file->read = h->read;
  file->getstr = h->getstr;
  file->putstr = h->putstr;
  file->write = h->write;
  file->eof = h->eof;
  file->tell = h->tell;
  file->close = h->close;
  file->exist = h->exist;
  file->sizeOf = h->size;
  errClear();
  if (h->open(file) != 0) {
    int32_t code = errGetLastError();
    SYS_MemFree(&file->path);
    SYS_MemFree(&file);
    return failOpen(code != 0 ? code : 2, path, notify);
  }
  std::lock_guard lock(openLock);
  // A failed add returns the old head: the file then works, unlisted.
  openFiles = SYS_ListAddFirst(openFiles, file);
  errClear();
  return file;
}

// Copy with every "\\" turned into "/"; len bytes of text (or all).
char *systemCopy(const char *text, size_t len, const char *tag)
{
  char *copy = static_cast<char *>(SYS_MemGet(len + 1, tag));
  if (copy == nullptr)
    return nullptr;
  for (size_t i = 0; i < len; ++i)
    copy[i] = text[i] == '\\' ? '/' : text[i];
  copy[len] = 0;
  return copy;
}

// Length without trailing "/" (a lone "/" becomes empty: "/" is then the joint).
size_t trimmed(const char *dir)
{
  size_t n = strlen(dir);
  while (n > 0 && (dir[n - 1] == '/' || dir[n - 1] == '\\'))
    --n;
  return n;
}

// The program directory without its trailing "/"; false when unknown.
bool programDir(char *buffer, size_t size)
{
  int n = platFsProgramPath(buffer, size);
  if (n <= 0)
    return false;
  char *slash = strrchr(buffer, '/');
  if (slash == nullptr)
    return false;
  *slash = 0;
  return true;
}

char *joinPath(const char *tag, const char *format, ...) __attribute__((format(printf, 2, 3)));
char *joinPath(const char *tag, const char *format, ...)
{
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int n = vsnprintf(nullptr, 0, format, args);
  va_end(args);
  char *out = n >= 0 ? static_cast<char *>(SYS_MemGet(n + 1, tag)) : nullptr;
  if (out != nullptr) {
    vsnprintf(out, size_t(n) + 1, format, again);
    for (char *p = out; *p; ++p)
      if (*p == '\\')
        *p = '/';
  }
  va_end(again);
  return out;
}

// Windows wildcards on one name: "*" any run, "?" one character; "*.*" is "*".
bool wildMatch(const char *pattern, const char *name)
{
  if (strcmp(pattern, "*.*") == 0)
    return true;
  const char *star = nullptr;
  const char *resume = nullptr;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || *pattern == *name) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*')
    ++pattern;
  return *pattern == 0;
}

struct GlobWork {
  SYS_Glob_p glob;
  const char *pattern;
  const char *prefix;
  int32_t capacity;
  bool failed;
};

int globCollect(void *context, const char *name)
{
  auto *w = static_cast<GlobWork *>(context);
  if (!wildMatch(w->pattern, name))
    return 0;
  if (w->glob->count == w->capacity) {
    int32_t grown = w->capacity > 0 ? w->capacity * 2 : 16;
    void *paths = w->glob->paths;
    if (SYS_MemRealloc(&paths, grown * sizeof(char *), "SYS_Glob: list") == nullptr) {
      w->failed = true;
      return 1;
    }
    w->glob->paths = static_cast<char **>(paths);
    w->capacity = grown;
  }
  size_t n = strlen(w->prefix) + strlen(name) + 1;
  char *path = static_cast<char *>(SYS_MemGet(n, "e!"));
  if (path == nullptr) {
    w->failed = true;
    return 1;
  }
  snprintf(path, n, "%s%s", w->prefix, name);
  w->glob->paths[w->glob->count++] = path;
  return 0;
}

int mkdirTree(char *path)
{
  platMkDirResult_t r = platFsMkDir(path);
  if (r == PLAT_MKDIR_OK)
    return 0;
  if (r != PLAT_MKDIR_NO_PARENT)
    return 1;
  char *slash = strrchr(path, '/');
  if (slash == nullptr || slash == path)
    return 1;
  *slash = 0;
  int parent = mkdirTree(path);
  platFsStat_t st;
  // A parent that exists already (made by someone else meanwhile) will do.
  bool parentOk = parent == 0 || (platFsStat(path, &st) == 0 && st.kind == PLAT_FS_DIR);
  *slash = '/';
  return parentOk && platFsMkDir(path) == PLAT_MKDIR_OK ? 0 : 1;
}

}  // namespace

SYS_File_p SYS_FileOpenQuiet(const char *path, int32_t flags)
{
  return fileOpen(path, flags, false);
}

void SYS_FileDone(void)
{
  errClear();
  // Nothing is closed; the records go with the tracked memory right after, so the
  // lists must not point at them when the framework is started again.
  {
    std::lock_guard lock(openLock);
    openFiles = nullptr;
  }
  SYS_DirPackForget();
  SYS_PackForget();
}

extern "C" {

SYS_File_p SYS_FileOpen(const char *path, int32_t flags)
{
  return fileOpen(path, flags, true);
}

void SYS_FileClose(SYS_File_p file)
{
  if (file == nullptr)
    return;
  {
    std::lock_guard lock(openLock);
    if (openFiles != nullptr)
      openFiles = SYS_ListDelItem(openFiles, file);
  }
  file->close(file);
  SYS_MemFree(&file->path);
  SYS_MemFree(&file);
}

int SYS_FileSeek(SYS_File_p file, int32_t position)
{
  if (file == nullptr || file->handle == nullptr)
    return fail(10);
  return file->seek(file, position);
}

// The next five pass straight to the handler: they sit on the hot path of
// every reader (images, music), so only a null file is caught.
int32_t SYS_FileRead(SYS_File_p file, void *buffer, int32_t length)
{
  return file != nullptr ? file->read(file, buffer, length) : fail(10);
}

char *SYS_FileGetStr(SYS_File_p file, char *buffer, int32_t size)
{
  return file != nullptr ? file->getstr(file, buffer, size) : (fail(10), nullptr);
}

int SYS_FileWrite(SYS_File_p file, const void *data, int32_t length)
{
  return file != nullptr ? file->write(file, data, length) : fail(10);
}

int32_t SYS_FileTell(SYS_File_p file)
{
  return file != nullptr ? file->tell(file) : fail(10);
}

int SYS_FileEof(SYS_File_p file)
{
  return file != nullptr ? file->eof(file) : 1;
}

int SYS_FilePutStr(SYS_File_p file, const char *format, ...)
{
  errClear();
  if (file == nullptr || format == nullptr || file->handle == nullptr)
    return fail(10);
  char text[kPutStrMax + 1];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return file->putstr(file, text);
}

int SYS_FileExist(const char *path)
{
  errClear();
  if (path != nullptr && handlerOf(path) != nullptr)
    return errClear(), 0;
  return fail(1);
}

int32_t SYS_FileSize(const char *path)
{
  errClear();
  const SYS_FileHandler_t *h = path != nullptr ? handlerOf(path) : nullptr;
  if (h == nullptr)
    return fail(1);
  errClear();
  return h->size(path);
}

int SYS_FilePackOpen(const char *path)
{
  errClear();
  if (path == nullptr)
    return fail(10);
  for (const SYS_FileHandler_t *h : kChain) {
    if (h->packopen == nullptr)
      continue;
    errClear();
    if (h->packopen(path) == 0)
      return errClear(), 0;
  }
  // A path that exists keeps the handler's reason (bad magic, bad catalog,
  // unreadable); one that names nothing is simply not supported.
  platFsStat_t st;
  if (platFsStat(path, &st) != 0)
    return fail(11);
  int32_t code = errGetLastError();
  return fail(code != 0 ? code : 11);
}

char *SYS_PathGet(uint32_t kind, const char *name)
{
  errClear();
  if (kind == 0)
    return nullptr;
  if (kind > 5)
    return errSetLastError(10), nullptr;
  if (name == nullptr)
    name = "";

  char progDir[kPathMax];
  if (!programDir(progDir, sizeof progDir))
    strcpy(progDir, ".");
  const char *home = nullptr;
  for (const char *var : {"HOME", "HOMEDRIVE", "HOMEPATH", "USERPROFILE"})
    if ((home = getenv(var)) != nullptr)
      break;
  if (home == nullptr || strcmp(home, "\\") == 0)
    home = progDir;
  int homeLength = int(trimmed(home));

  char *out = nullptr;
  switch (kind) {
  case 1:
    out = joinPath("SYS_PathGet: system_dir", "%.*s/%s", int(trimmed(progDir)), progDir, name);
    break;
  case 2:
    out = joinPath("SYS_PathGet: home_dir", "%.*s/%s", homeLength, home, name);
    break;
  case 3:
    out = joinPath("SYS_PathGet: home_cfgdir", "%.*s/%s/config/%s", homeLength, home,
                   homeBase != nullptr ? homeBase : ".tarvo", name);
    break;
  case 4: {
    char desktop[kPathMax];
    if (platFsDesktopDir(desktop, sizeof desktop) < 0)
      snprintf(desktop, sizeof desktop, "%.*s/Desktop", homeLength, home);
    out = joinPath("SYS_PathGet: home_cfgdir", "%.*s/%s", int(trimmed(desktop)), desktop, name);
    break;
  }
  case 5: {
    const char *tmp = getenv("TEMP");
    if (tmp == nullptr || *tmp == 0)
      tmp = getenv("TMPDIR");
    if (tmp == nullptr || *tmp == 0)
      tmp = "/tmp";
    out = joinPath("SYS_PathGet: tmp", "%.*s/%s", int(trimmed(tmp)), tmp, name);
    break;
  }
  }
  if (out == nullptr)
    errSetLastError(5);
  return out;
}

void SYS_PathSetHomeBase(const char *base)
{
  homeBase = base;
}

int SYS_MkDir(const char *path)
{
  errClear();
  if (path == nullptr || *path == 0)
    return errSetLastError(10), 1;
  size_t n = trimmed(path);
  if (n == 0)
    return errSetLastError(2), 1;  // the root exists
  char *copy = systemCopy(path, n, "SYS_MkDir");
  if (copy == nullptr)
    return errSetLastError(5), 1;
  int r = mkdirTree(copy);
  SYS_MemFree(&copy);
  if (r != 0)
    errSetLastError(2);
  return r;
}

int SYS_Glob(const char *filter, SYS_Glob_pp out)
{
  errClear();
  if (filter == nullptr || out == nullptr || *filter == 0)
    return fail(10);
  *out = nullptr;
  auto *glob = static_cast<SYS_Glob_p>(SYS_MemGet(sizeof(SYS_Glob_t), "SYS_Glob: glob"));
  if (glob == nullptr)
    return fail(5);
  glob->count = 0;
  glob->paths = nullptr;

  char *copy = systemCopy(filter, strlen(filter), "SYS_Glob: filter");
  if (copy == nullptr) {
    SYS_MemFree(&glob);
    return fail(5);
  }
  FILE_LOG("[file][%s:%d:%s()] [glob] filter: %s\n", SYS_POS, copy);
  // prefix: the filter up to and including its last "/"; the rest is the pattern.
  char *slash = strrchr(copy, '/');
  char *prefix = systemCopy(copy, slash != nullptr ? size_t(slash - copy + 1) : 0, "SYS_Glob: base");
  if (prefix == nullptr) {
    SYS_MemFree(&copy);
    SYS_MemFree(&glob);
    return fail(5);
  }
  const char *pattern = slash != nullptr ? slash + 1 : copy;
  const char *dir = ".";
  if (slash == copy)
    dir = "/";
  else if (slash != nullptr)
    *slash = 0, dir = copy;

  // One pass collects the matches; the lines then come in the usual order:
  // the count, the base, the entries.
  GlobWork work{glob, pattern, prefix, 0, false};
  int listed = platFsList(dir, globCollect, &work);
  if (listed == 0 && !work.failed) {
    FILE_LOG("[file][%s:%d:%s()] [glob] %d file(s) found.\n", SYS_POS, glob->count);
    if (glob->count > 0)
      FILE_LOG("[file][%s:%d:%s()] [glob] base: %s\n", SYS_POS, prefix);
    for (int32_t i = 0; i < glob->count; ++i)
      FILE_LOG("[file][%s:%d:%s()] [glob] entry %d: %s\n", SYS_POS, i, glob->paths[i]);
  }
  SYS_MemFree(&prefix);
  SYS_MemFree(&copy);
  if (listed != 0 || work.failed) {
    if (listed != 0)
      FILE_LOG("[file][%s:%d:%s()] [glob] !!! FindFirstFile returned with NULL.\n", SYS_POS);
    SYS_GlobFree(&glob);
    return fail(listed != 0 ? 1 : 5);
  }
  *out = glob;
  return 0;
}

int SYS_GlobFree(SYS_Glob_pp glob)
{
  errClear();
  if (glob == nullptr || *glob == nullptr)
    return fail(10);
  SYS_Glob_p g = *glob;
  for (int32_t i = 0; i < g->count; ++i)
    SYS_MemFree(&g->paths[i]);
  SYS_MemFree(&g->paths);
  SYS_MemFree(&g);
  *glob = nullptr;
  return 0;
}

}  // extern "C"
