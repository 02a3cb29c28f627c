// Disk handler of the file layer ("Regular file handler").
//
// Paths may be written with "\\" as on the original platform; every one becomes
// "/" before the system sees it. Opening a directory fails (stdio would accept
// it and fail on the first read instead).
// Depends on: C stdio, log, mem, platform/fs.
#include "base/file-regularfile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "base/file-internal.h"
#include "base/log.h"
#include "base/mem.h"
#include "platform/fs.h"

namespace {

FILE *stream(SYS_File_t *file)
{
  return static_cast<FILE *>(file->handle);
}

char *toSystemPath(const char *path)
{
  char *copy = SYS_StrDup(path);
  if (copy != nullptr)
    for (char *p = copy; *p; ++p)
      if (*p == '\\')
        *p = '/';
  return copy;
}

int32_t sizeOfStat(const platFsStat_t &st)
{
  return (st.kind == PLAT_FS_FILE && st.size <= INT32_MAX) ? int32_t(st.size) : -1;
}

}  // namespace

int SYS_FileSeek_reg(SYS_File_t *file, int32_t position)
{
  return fseek(stream(file), long(position), SEEK_SET);
}

int32_t SYS_FileRead_reg(SYS_File_t *file, void *buffer, int32_t length)
{
  if (buffer == nullptr || length <= 0)
    return 0;
  return int32_t(fread(buffer, 1, size_t(length), stream(file)));
}

char *SYS_FileGetStr_reg(SYS_File_t *file, char *buffer, int32_t size)
{
  if (buffer == nullptr || size <= 0)
    return nullptr;
  if (fgets(buffer, size, stream(file)) == nullptr)
    return nullptr;
  // Drop a line end of one or two characters (LF, CR, CR LF or LF CR).
  size_t n = strlen(buffer);
  if (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n')) {
    buffer[--n] = 0;
    if (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n'))
      buffer[--n] = 0;
  }
  return buffer;
}

int SYS_FilePutStr_reg(SYS_File_t *file, const char *text)
{
  return fputs(text, stream(file)) < 0 ? -1 : 0;
}

int SYS_FileWrite_reg(SYS_File_t *file, const void *data, int32_t length)
{
  if (length < 0 || (length > 0 && data == nullptr))
    return -1;
  return fwrite(data, 1, size_t(length), stream(file)) == size_t(length) ? 0 : -1;
}

int SYS_FileEof_reg(SYS_File_t *file)
{
  return feof(stream(file));
}

int32_t SYS_FileTell_reg(SYS_File_t *file)
{
  long p = ftell(stream(file));
  return p > INT32_MAX ? -1 : int32_t(p);
}

void SYS_FileClose_reg(SYS_File_t *file)
{
  if (file->handle != nullptr)
    fclose(stream(file));
  file->handle = nullptr;
}

int SYS_FileExist_reg(const char *path)
{
  char *p = toSystemPath(path);
  platFsStat_t st;
  int r = (p != nullptr && platFsStat(p, &st) == 0) ? 0 : -1;
  SYS_MemFree(&p);
  return r;
}

int64_t SYS_FileSize64_reg(const char *path)
{
  char *p = toSystemPath(path);
  platFsStat_t st;
  int64_t r = (p != nullptr && platFsStat(p, &st) == 0 && st.kind == PLAT_FS_FILE) ? st.size : -1;
  SYS_MemFree(&p);
  return r;
}

int32_t SYS_FileSize_reg(const char *path)
{
  const int64_t r = SYS_FileSize64_reg(path);
  return r <= INT32_MAX ? int32_t(r) : -1;
}

int SYS_FileOpenAt_reg(SYS_File_t *file, const char *diskPath)
{
  errClear();
  char *sys = toSystemPath(diskPath);
  if (sys == nullptr)
    return errSetLastError(5), -1;
  FILE_LOG("[file-regularfile][%s:%d:%s()] [SYS_FileOpen_reg] open : %s -> %s\n", SYS_POS, diskPath, sys);
  // "rb", "rt", "ab", "at", "wb+" or "wt+"; "t" and "b" mean the same to this
  // system's stdio, which ignores the "t", but the log shows what was asked for.
  char mode[4];
  const int32_t flags = file->flags;
  snprintf(mode, sizeof mode, "%c%c%s", (flags & SYS_FILE_WRITE) ? 'w' : (flags & SYS_FILE_APPEND) ? 'a' : 'r',
           (flags & SYS_FILE_TEXT) ? 't' : 'b', (flags & SYS_FILE_WRITE) ? "+" : "");
  FILE *f = fopen(sys, mode);
  platFsStat_t st{};
  int error = errno;
  if (f != nullptr && platFsStatStream(f, &st) == 0 && st.kind == PLAT_FS_DIR) {
    fclose(f);
    f = nullptr;
    error = EISDIR;
  }
  if (f == nullptr) {
    char text[128];
    FILE_LOG("[file-regularfile][%s:%d:%s()] file open error: %s (%s) -> %s (%d)\n", SYS_POS, diskPath, mode,
             platFsErrorText(error, text, sizeof text), error);
    SYS_MemFree(&sys);
    errSetLastError(2);
    return -1;
  }
  file->handle = f;
  file->size = sizeOfStat(st);
  SYS_MemFree(&sys);
  return 0;
}

int SYS_FileOpen_reg(SYS_File_t *file)
{
  return SYS_FileOpenAt_reg(file, file->path);
}

const SYS_FileHandler_t SYS_RegularFileHandler = {
    "Regular file handler", nullptr, SYS_FileOpen_reg, SYS_FileSeek_reg, SYS_FileRead_reg, SYS_FileGetStr_reg, SYS_FilePutStr_reg,
    SYS_FileWrite_reg, SYS_FileEof_reg, SYS_FileTell_reg, SYS_FileClose_reg, SYS_FileExist_reg, SYS_FileSize_reg,
};
