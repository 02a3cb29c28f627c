// Standard paths, directory creation and wildcard listings of the file layer.
//
// Results use "/" throughout; a "\\" written by a caller becomes "/" before the
// system sees it. A listing is one pass over the directory with the
// framework's own wildcard matching, so the lines come in the usual order (the
// count, the base, the entries) after the pass.
// Depends on: log, mem, platform/fs.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "base/file-internal.h"
#include "base/file.h"
#include "base/log.h"
#include "base/mem.h"
#include "platform/fs.h"

using file_layer::fail;

namespace {

const char *homeBase = ".tarvo";

constexpr size_t kPathMax = 4096;

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

int SYS_GlobListed(const char *filter, SYS_Glob_pp out, bool *listed)
{
  errClear();
  if (listed != nullptr)
    *listed = false;
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

  GlobWork work{glob, pattern, prefix, 0, false};
  int unlisted = platFsList(dir, globCollect, &work);
  if (unlisted != 0) {
    // A directory that is missing or cannot be read lists as empty.
    FILE_LOG("[file][%s:%d:%s()] [glob] !!! FindFirstFile returned with NULL.\n", SYS_POS);
  } else if (!work.failed) {
    FILE_LOG("[file][%s:%d:%s()] [glob] %d file(s) found.\n", SYS_POS, glob->count);
    if (glob->count > 0)
      FILE_LOG("[file][%s:%d:%s()] [glob] base: %s\n", SYS_POS, prefix);
    for (int32_t i = 0; i < glob->count; ++i)
      FILE_LOG("[file][%s:%d:%s()] [glob] entry %d: %s\n", SYS_POS, i, glob->paths[i]);
  }
  SYS_MemFree(&prefix);
  SYS_MemFree(&copy);
  if (unlisted == 0 && work.failed) {
    SYS_GlobFree(&glob);
    return fail(5);
  }
  if (listed != nullptr)
    *listed = unlisted == 0;
  *out = glob;
  return 0;
}

extern "C" {

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
  return SYS_GlobListed(filter, out, nullptr);
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
