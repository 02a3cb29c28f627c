// Directory-pack handler of the file layer ("Dir pack handler").
//
// The tree is mapped once at registration: files added later are not seen, and
// removed ones still count as present (their open then fails on disk). A
// directory reached through a symbolic link is not followed, so a link back up
// the tree cannot make the mapping endless.
// Depends on: file-path (listing), file-regularfile, log, mem, list, platform/fs.
#include "base/file-dir.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/file-internal.h"
#include "base/file-regularfile.h"
#include "base/list.h"
#include "base/log.h"
#include "base/mem.h"
#include "platform/fs.h"

namespace {

constexpr int kMaxDepth = 64;

std::mutex dirLock;
SYS_List_p dirPacks;  // newest first

struct Found {
  SYS_DirPack_t *pack;
  SYS_DirPackEntry_t *entry;
};

Found find(const char *name)
{
  if (name == nullptr)
    return {};
  std::lock_guard lock(dirLock);
  for (SYS_List_p n = dirPacks; n != nullptr; n = n->next) {
    auto *pack = static_cast<SYS_DirPack_t *>(n->item);
    for (int32_t i = 0; i < pack->count; ++i)
      if (strcmp(pack->entries[i].name, name) == 0)
        return {pack, &pack->entries[i]};
  }
  return {};
}

// "%s/%s" of the pack's directory and the name (tag "SYS_FileFind").
char *diskPath(const Found &f)
{
  size_t n = strlen(f.pack->path) + 1 + strlen(f.entry->name) + 1;
  char *p = static_cast<char *>(SYS_MemGet(n, "SYS_FileFind"));
  if (p != nullptr)
    snprintf(p, n, "%s/%s", f.pack->path, f.entry->name);
  return p;
}

// The array doubles from 16 entries up (its capacity follows from the count),
// so mapping a large tree copies it a few times rather than once per file.
int addEntry(SYS_DirPack_t *pack, const char *name, int64_t size)
{
  int32_t n = pack->count;
  if (n == 0 || (n >= 16 && (n & (n - 1)) == 0)) {
    void *grown = pack->entries;
    if (SYS_MemRealloc(&grown, (n == 0 ? 16 : 2 * n) * sizeof(SYS_DirPackEntry_t), "SYS_FileMapDir") == nullptr)
      return -1;
    pack->entries = static_cast<SYS_DirPackEntry_t *>(grown);
  }
  SYS_DirPackEntry_t &e = pack->entries[pack->count];
  e.name = SYS_StrDup(name);
  e.size = size <= INT32_MAX ? int32_t(size) : -1;
  if (e.name == nullptr)
    return -1;
  ++pack->count;
  return 0;
}

// Maps dir (below the registered base, whose text is baseLength long) into pack.
int mapDir(SYS_DirPack_t *pack, size_t baseLength, const char *dir, int depth)
{
  size_t n = strlen(dir) + 3;
  char *filter = static_cast<char *>(SYS_MemGet(n, "SYS_FileMapDir: filter"));
  if (filter == nullptr)
    return errSetLastError(5), -1;
  snprintf(filter, n, "%s/*", dir);
  SYS_Glob_p list = nullptr;
  bool listed = false;
  int r = SYS_GlobListed(filter, &list, &listed);
  SYS_MemFree(&filter);
  if (r != 0)
    return -1;
  // A subdirectory that cannot be listed (no permission) is left out like an
  // empty one; the registered directory itself must list, or registering it
  // would report success for a pack that can never serve a file.
  if (!listed && depth == 0) {
    SYS_GlobFree(&list);
    return errSetLastError(1), -1;
  }
  for (int32_t i = 0; r == 0 && i < list->count; ++i) {
    const char *path = list->paths[i];
    platFsStat_t st;
    if (path == nullptr || platFsStat(path, &st) != 0)
      continue;
    if (st.kind == PLAT_FS_DIR) {
      if (!st.link && depth < kMaxDepth)
        r = mapDir(pack, baseLength, path, depth + 1);
    } else if (st.kind == PLAT_FS_FILE) {
      if (addEntry(pack, path + baseLength + 1, st.size) != 0) {
        errSetLastError(5);
        r = -1;
      }
    }
  }
  SYS_GlobFree(&list);
  return r;
}

void releasePack(SYS_DirPack_t *pack)
{
  for (int32_t i = 0; i < pack->count; ++i)
    SYS_MemFree(&pack->entries[i].name);
  SYS_MemFree(&pack->entries);
  SYS_MemFree(&pack->path);
  SYS_MemFree(&pack);
}

int packOpenDir(const char *path)
{
  platFsStat_t st;
  if (path == nullptr || platFsStat(path, &st) != 0 || st.kind != PLAT_FS_DIR)
    return -1;
  // Entry names are relative to the directory without its trailing "/".
  size_t baseLength = strlen(path);
  while (baseLength > 1 && path[baseLength - 1] == '/')
    --baseLength;
  {
    std::lock_guard lock(dirLock);
    for (SYS_List_p n = dirPacks; n != nullptr; n = n->next) {
      const char *known = static_cast<SYS_DirPack_t *>(n->item)->path;
      if (strncmp(known, path, baseLength) == 0 && known[baseLength] == 0)
        return 0;
    }
  }
  FILE_LOG("[file-dir][%s:%d:%s()] open new pack: %s\n", SYS_POS, path);
  auto *pack = static_cast<SYS_DirPack_t *>(SYS_MemGet(sizeof(SYS_DirPack_t), "SYS_FilePackOpen_dir"));
  if (pack == nullptr)
    return errSetLastError(5), -1;
  memset(pack, 0, sizeof *pack);
  pack->path = static_cast<char *>(SYS_MemGet(baseLength + 1, "SYS_FilePackOpen_dir"));
  if (pack->path == nullptr) {
    releasePack(pack);
    return errSetLastError(5), -1;
  }
  memcpy(pack->path, path, baseLength);
  pack->path[baseLength] = 0;
  if (mapDir(pack, baseLength, pack->path, 0) != 0) {
    releasePack(pack);
    return -1;
  }
  std::lock_guard lock(dirLock);
  SYS_List_p head = SYS_ListAddFirst(dirPacks, pack);
  if (head == dirPacks) {
    releasePack(pack);
    return errSetLastError(5), -1;
  }
  dirPacks = head;
  return 0;
}

int openDir(SYS_File_t *file)
{
  Found f = find(file->path);
  char *built = f.entry != nullptr ? diskPath(f) : nullptr;
  errClear();
  FILE_LOG("[file-dir][%s:%d:%s()] [SYS_FileOpen_dir] open : %s -> %s\n", SYS_POS, file->path,
           built != nullptr ? built : "(none)");
  if (f.entry == nullptr)
    return errSetLastError(1), -1;
  if (built == nullptr)
    return errSetLastError(5), -1;
  int r = SYS_FileOpenAt_reg(file, built);
  SYS_MemFree(&built);
  return r;
}

int existDir(const char *path)
{
  return find(path).entry != nullptr ? 0 : -1;
}

int32_t sizeDir(const char *path)
{
  const int64_t size = SYS_DirPackSize64(path);
  return size <= INT32_MAX ? int32_t(size) : -1;
}

}  // namespace

int64_t SYS_DirPackSize64(const char *path)
{
  Found f = find(path);
  if (f.entry == nullptr)
    return -1;
  char *built = diskPath(f);
  if (built == nullptr)
    return -1;
  platFsStat_t st;
  int64_t size = (platFsStat(built, &st) == 0 && st.kind == PLAT_FS_FILE) ? st.size : -1;
  SYS_MemFree(&built);
  return size;
}

void SYS_DirPackForget(void)
{
  std::lock_guard lock(dirLock);
  dirPacks = nullptr;
}

const SYS_FileHandler_t SYS_DirPackHandler = {
    "Dir pack handler", packOpenDir, openDir, SYS_FileSeek_reg, SYS_FileRead_reg, SYS_FileGetStr_reg,
    SYS_FilePutStr_reg, SYS_FileWrite_reg, SYS_FileEof_reg, SYS_FileTell_reg, SYS_FileClose_reg, existDir, sizeDir,
};
