// Virtual file layer: the handler chain and the open-file list (paths,
// directories and listings are in file-path).
//
// The chain is fixed: disk, directory packs, pack files. Each handler says
// whether it has a path (exist); the first that does serves it, so loose files
// override directory packs, which override pack files. Only SYS_FileOpen tells
// the host's error callback about a path it cannot open; everything else just
// returns -1 or null with the last error.
// Depends on: log, mem, list, the three handlers.
#include "base/file.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/file-dir.h"
#include "base/file-internal.h"
#include "base/file-pack.h"
#include "base/file-regularfile.h"
#include "base/list.h"
#include "base/log.h"
#include "base/mem.h"

using file_layer::fail;

namespace {

// Order of preference: a loose file beats a directory pack beats a pack file.
const SYS_FileHandler_t *const kChain[] = {
    &SYS_RegularFileHandler,
    &SYS_DirPackHandler,
    &SYS_PackFileHandler,
};

std::mutex openLock;
SYS_List_p openFiles;  // newest first

constexpr size_t kPutStrMax = 2047;

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

}  // namespace

SYS_File_p SYS_FileOpenQuiet(const char *path, int32_t flags)
{
  return fileOpen(path, flags, false);
}

void SYS_FileDone(void)
{
  errClear();
  // The pack files are closed (one descriptor each would stay open otherwise);
  // the callers' own open files are left as they are. The records go with the
  // tracked memory right after, so the lists must not point at them when the
  // framework is started again.
  SYS_PackForget();
  {
    std::lock_guard lock(openLock);
    openFiles = nullptr;
  }
  SYS_DirPackForget();
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

int64_t SYS_FileSize64(const char *path)
{
  errClear();
  const SYS_FileHandler_t *h = path != nullptr ? handlerOf(path) : nullptr;
  if (h == nullptr)
    return fail(1);
  errClear();
  if (h == &SYS_RegularFileHandler)
    return SYS_FileSize64_reg(path);
  if (h == &SYS_DirPackHandler)
    return SYS_DirPackSize64(path);
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
  // Whatever the handlers' reasons, the caller learns only that no handler took
  // the path; the last one's code (the pack reader's) goes to the log.
  SYS_DbgLevelPrintf(2, "[file][%s:%d:%s()] no handler accepts the pack %s (error %d)\n", SYS_POS, path,
                     errGetLastError());
  return fail(11);
}

}  // extern "C"
