// File-system queries over POSIX.
// Depends on: sys/stat, dirent, unistd.
#include "platform/fs.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

static void fillStat(const struct stat &st, platFsStat_t *out)
{
  if (S_ISREG(st.st_mode)) {
    out->kind = PLAT_FS_FILE;
    out->size = static_cast<int64_t>(st.st_size);
  } else {
    out->kind = S_ISDIR(st.st_mode) ? PLAT_FS_DIR : PLAT_FS_OTHER;
    out->size = 0;
  }
}

int platFsStat(const char *path, platFsStat_t *out)
{
  out->kind = PLAT_FS_NONE;
  out->size = 0;
  out->link = 0;
  struct stat st;
  if (path == nullptr || stat(path, &st) != 0)
    return -1;
  fillStat(st, out);
  struct stat lst;
  out->link = (lstat(path, &lst) == 0 && S_ISLNK(lst.st_mode)) ? 1 : 0;
  return 0;
}

int platFsStatStream(FILE *stream, platFsStat_t *out)
{
  out->kind = PLAT_FS_NONE;
  out->size = 0;
  out->link = 0;
  struct stat st;
  if (stream == nullptr || fstat(fileno(stream), &st) != 0)
    return -1;
  fillStat(st, out);
  return 0;
}

int platFsList(const char *dir, platFsListFn_t fn, void *context)
{
  DIR *d = opendir(dir);
  if (d == nullptr)
    return -1;
  while (const dirent *e = readdir(d)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0)
      continue;
    if (fn(context, e->d_name) != 0)
      break;
  }
  closedir(d);
  return 0;
}

platMkDirResult_t platFsMkDir(const char *path)
{
  if (mkdir(path, 0777) == 0)
    return PLAT_MKDIR_OK;
  return (errno == ENOENT || errno == ENOTDIR) ? PLAT_MKDIR_NO_PARENT : PLAT_MKDIR_FAILED;
}

static int copyOut(const char *text, size_t length, char *buffer, size_t size)
{
  if (length + 1 > size)
    return -1;
  memcpy(buffer, text, length);
  buffer[length] = 0;
  return static_cast<int>(length);
}

int platFsProgramPath(char *buffer, size_t size)
{
  if (buffer == nullptr || size < 2)
    return -1;
  ssize_t n = readlink("/proc/self/exe", buffer, size - 1);
  if (n <= 0 || static_cast<size_t>(n) >= size - 1)
    return -1;  // a full buffer may be a cut path
  buffer[n] = 0;
  return static_cast<int>(n);
}

int platFsDesktopDir(char *buffer, size_t size)
{
  if (buffer == nullptr)
    return -1;
  if (const char *xdg = getenv("XDG_DESKTOP_DIR"); xdg != nullptr && *xdg != 0)
    return copyOut(xdg, strlen(xdg), buffer, size);
  const char *home = getenv("HOME");
  if (home == nullptr || *home == 0)
    return -1;
  size_t h = strlen(home);
  while (h > 0 && home[h - 1] == '/')
    --h;
  static const char kDesktop[] = "/Desktop";
  if (h + sizeof kDesktop > size)
    return -1;
  memcpy(buffer, home, h);
  memcpy(buffer + h, kDesktop, sizeof kDesktop);
  return static_cast<int>(h + sizeof kDesktop - 1);
}

const char *platFsErrorText(int error, char *buffer, size_t size)
{
#if (_POSIX_C_SOURCE >= 200112L) && !_GNU_SOURCE
  if (strerror_r(error, buffer, size) != 0)
    snprintf(buffer, size, "error %d", error);
  return buffer;
#else
  return strerror_r(error, buffer, size);
#endif
}
