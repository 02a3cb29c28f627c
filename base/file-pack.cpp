// Pack-file handler of the file layer ("Pack handler").
//
// A pack is untrusted input. At registration the header, the catalog block and
// every record are checked against the file: a catalog that does not fit or
// does not inflate refuses the pack; an entry whose bytes lie outside the file
// stays listed but never opens. At open an entry's block must inflate to the
// size the catalog promised; nothing else is served as its data.
//
// Loaded data is shared by the handles on one entry and counted, while each
// handle keeps its own position; the last close releases the data. One lock
// covers the pack list, the counts and the shared pack streams, so a player
// thread can open and close entries while the main thread does too.
// Depends on: file (records, quiet open), z, log, mem, list, platform/fs.
#include "base/file-pack.h"

#include <climits>
#include <cstring>
#include <mutex>

#include "base/file-internal.h"
#include "base/list.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/z.h"
#include "platform/fs.h"

using file_layer::fail;

namespace {

constexpr char kMagic[4] = {'T', 'R', 'V', 'P'};
constexpr uint32_t kHeaderSize = 12;
constexpr uint32_t kRecordSize = 11;  // without the name

// Recursive: registering a pack opens its file through the chain, which asks
// this handler's exist.
std::recursive_mutex packLock;
SYS_List_p packs;  // newest first

uint32_t le32(const uint8_t *p)
{
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Reads exactly length bytes at offset from the pack's stream.
bool readAt(SYS_File_p file, uint32_t offset, void *buffer, uint32_t length)
{
  if (offset > uint32_t(INT32_MAX) || file->seek(file, int32_t(offset)) != 0)
    return false;
  return length == 0 || file->read(file, buffer, int32_t(length)) == int32_t(length);
}

void releasePack(SYS_Pack_t *pack)
{
  if (pack == nullptr)
    return;
  for (int32_t i = 0; i < pack->count && pack->entries != nullptr; ++i)
    SYS_MemFree(&pack->entries[i].name);
  SYS_MemFree(&pack->entries);
  SYS_MemFree(&pack->path);
  SYS_MemFree(&pack);
}

struct Found {
  SYS_Pack_t *pack;
  SYS_PackEntry_t *entry;
};

// Newest pack first, catalog order within a pack; caller holds packLock.
Found find(const char *name)
{
  if (name == nullptr)
    return {};
  for (SYS_List_p n = packs; n != nullptr; n = n->next) {
    auto *pack = static_cast<SYS_Pack_t *>(n->item);
    for (int32_t i = 0; i < pack->count; ++i)
      if (strcmp(pack->entries[i].name, name) == 0)
        return {pack, &pack->entries[i]};
  }
  return {};
}

// Parses the inflated catalog into pack->entries; codes: 8 malformed, 5 memory.
int readCatalog(SYS_Pack_t *pack, const uint8_t *cat, uint32_t catSize, uint32_t fileSize)
{
  uint32_t cursor = 0;
  for (int32_t i = 0; i < pack->count; ++i) {
    SYS_PackEntry_t &e = pack->entries[i];
    if (catSize - cursor < kRecordSize)
      return fail(8);
    const uint8_t *r = cat + cursor;
    uint32_t nameLength = uint32_t(r[9]) | uint32_t(r[10]) << 8;
    if (catSize - cursor - kRecordSize < nameLength)
      return fail(8);
    e.storedSize = le32(r);
    e.offset = le32(r + 4);
    e.flags = r[8];
    e.name = static_cast<char *>(SYS_MemGet(nameLength + 1, "pack: name"));
    if (e.name == nullptr)
      return fail(5);
    memcpy(e.name, r + kRecordSize, nameLength);
    e.name[nameLength] = 0;
    cursor += kRecordSize + nameLength;

    bool inside = e.offset <= fileSize && e.storedSize <= fileSize - e.offset;
    if (!inside) {
      e.broken = 1;
    } else if (e.flags & SYS_PACK_COMPRESSED) {
      uint8_t header[SYS_ZHEADER_SIZE];
      if (e.storedSize < SYS_ZHEADER_SIZE || !readAt(pack->file, e.offset, header, sizeof header))
        e.broken = 1;
      else
        e.size = SYS_ZHeaderRead(header).rawSize;
      if (e.size > uint32_t(INT32_MAX - 1))
        e.broken = 1;
    } else {
      e.size = e.storedSize;
    }
    if (e.broken) {
      e.size = 0;
      FILE_LOG("[file-pack][%s:%d:%s()]     - %s (outside the pack, not served)\n", SYS_POS, e.name);
    } else {
      FILE_LOG("[file-pack][%s:%d:%s()]     - %s\n", SYS_POS, e.name);
    }
  }
  return 0;
}

// Registers a pack file; caller holds packLock.
int packOpen(const char *path)
{
  errClear();
  if (path == nullptr)
    return fail(10);
  platFsStat_t st;
  if (platFsStat(path, &st) != 0)
    return fail(1);
  SYS_File_p file = SYS_FileOpenQuiet(path, 0);
  if (file == nullptr)
    return -1;
  auto refuse = [&](int32_t code, void *a = nullptr, void *b = nullptr) {
    SYS_MemFree(&a);
    SYS_MemFree(&b);
    SYS_FileClose(file);
    errSetLastError(code);
    FILE_LOG("[file-pack][%s:%d:%s()] %s refused (%d)\n", SYS_POS, path, code);
    return -1;
  };

  uint8_t header[kHeaderSize];
  if (file->size < int32_t(kHeaderSize) || file->read(file, header, kHeaderSize) != int32_t(kHeaderSize) ||
      memcmp(header, kMagic, 4) != 0)
    return refuse(12);
  uint32_t fileSize = uint32_t(file->size);
  uint32_t count = le32(header + 4);
  uint32_t catOffset = le32(header + 8);
  FILE_LOG("[file-pack][%s:%d:%s()] %s\n", SYS_POS, path);
  FILE_LOG("[file-pack][%s:%d:%s()]  - number of entries: %d\n", SYS_POS, int32_t(count));
  FILE_LOG("[file-pack][%s:%d:%s()]  - catalog's offset: %u\n", SYS_POS, catOffset);

  if (catOffset < kHeaderSize || catOffset > fileSize || fileSize - catOffset < SYS_ZHEADER_SIZE)
    return refuse(8);
  uint32_t catLength = fileSize - catOffset;
  void *packed = SYS_MemGet(catLength, "pack: tree buffer");
  if (packed == nullptr)
    return refuse(5);
  if (!readAt(file, catOffset, packed, catLength))
    return refuse(3, packed);
  void *cat = nullptr;
  int32_t catSize = 0;
  if (SYS_ZUncompressN(packed, int32_t(catLength), &cat, &catSize) != 0)
    return refuse(errGetLastError(), packed);
  SYS_MemFree(&packed);
  // Every record takes 11 bytes at least: a count the catalog cannot hold is a lie.
  if (count > uint32_t(catSize) / kRecordSize)
    return refuse(8, cat);
  FILE_LOG("[file-pack][%s:%d:%s()]  - files:\n", SYS_POS);

  auto *pack = static_cast<SYS_Pack_t *>(SYS_MemGet(sizeof(SYS_Pack_t), "pack: tree list"));
  if (pack == nullptr)
    return refuse(5, cat);
  memset(pack, 0, sizeof *pack);
  pack->file = file;
  pack->path = SYS_StrDup(path);
  if (count > 0) {
    pack->entries = static_cast<SYS_PackEntry_t *>(SYS_MemGet(count * sizeof(SYS_PackEntry_t), "list"));
    if (pack->entries != nullptr)
      memset(pack->entries, 0, count * sizeof(SYS_PackEntry_t));
  }
  if (pack->path == nullptr || (count > 0 && pack->entries == nullptr)) {
    releasePack(pack);
    return refuse(5, cat);
  }
  pack->count = int32_t(count);
  if (readCatalog(pack, static_cast<const uint8_t *>(cat), uint32_t(catSize), fileSize) != 0) {
    int32_t code = errGetLastError();
    releasePack(pack);
    return refuse(code, cat);
  }
  SYS_MemFree(&cat);

  SYS_List_p head = SYS_ListAddFirst(packs, pack);
  if (head == packs) {
    releasePack(pack);
    return refuse(5);
  }
  packs = head;
  return 0;
}

// Loads an entry's data; caller holds packLock. Codes: 3 unreadable, 8 bad block, 5 memory.
int load(SYS_Pack_t *pack, SYS_PackEntry_t *e)
{
  if (e->broken)
    return fail(3);
  if (!(e->flags & SYS_PACK_COMPRESSED)) {
    if (e->size == 0)
      return 0;  // empty: nothing to hold
    void *data = SYS_MemGet(e->size, "open: buffer");
    if (data == nullptr)
      return fail(5);
    if (!readAt(pack->file, e->offset, data, e->size)) {
      SYS_MemFree(&data);
      return fail(3);
    }
    e->data = data;
    return 0;
  }
  void *packed = SYS_MemGet(e->storedSize, "open: tmp buffer");
  if (packed == nullptr)
    return fail(5);
  if (!readAt(pack->file, e->offset, packed, e->storedSize)) {
    SYS_MemFree(&packed);
    return fail(3);
  }
  void *data = nullptr;
  int32_t size = 0;
  int r = SYS_ZUncompressN(packed, int32_t(e->storedSize), &data, &size);
  SYS_MemFree(&packed);
  if (r != 0)
    return -1;
  if (uint32_t(size) != e->size) {  // the file changed under us since registration
    SYS_MemFree(&data);
    return fail(8);
  }
  e->data = data;
  return 0;
}

int packFileOpen(const char *path)
{
  std::lock_guard lock(packLock);
  return packOpen(path);
}

int openPack(SYS_File_t *file)
{
  errClear();
  if (file->flags & (SYS_FILE_WRITE | SYS_FILE_APPEND))
    return fail(11);
  std::lock_guard lock(packLock);
  Found f = find(file->path);
  if (f.entry == nullptr)
    return fail(1);
  if (f.entry->refs == 0 && load(f.pack, f.entry) != 0) {
    int32_t code = errGetLastError();
    FILE_LOG("[file-pack][%s:%d:%s()] %s: entry not loadable (%d)\n", SYS_POS, file->path, code);
    return fail(code);
  }
  ++f.entry->refs;
  file->entry = f.entry;
  file->handle = f.pack->file;
  file->size = int32_t(f.entry->size);
  file->position = 0;
  file->data = static_cast<const uint8_t *>(f.entry->data);
  return 0;
}

int seekPack(SYS_File_t *file, int32_t position)
{
  errClear();
  if (position < 0)
    return fail(10);
  uint32_t size = uint32_t(file->size);
  if (uint32_t(position) <= size)
    file->position = uint32_t(position);
  else
    file->position = size > 0 ? size - 1 : 0;
  return 0;
}

int32_t readPack(SYS_File_t *file, void *buffer, int32_t length)
{
  errClear();
  if (file->entry == nullptr)
    return fail(1);
  if (buffer == nullptr || length <= 0)
    return 0;
  uint32_t n = uint32_t(file->size) - file->position;
  if (uint32_t(length) < n)
    n = uint32_t(length);
  if (n > 0)
    memcpy(buffer, file->data + file->position, n);
  file->position += n;
  return int32_t(n);
}

// Lines keep their line feed (and a carriage return before it).
char *getstrPack(SYS_File_t *file, char *buffer, int32_t size)
{
  errClear();
  if (buffer == nullptr || size <= 0)
    return errSetLastError(10), nullptr;
  if (file->entry == nullptr)
    return errSetLastError(1), nullptr;
  memset(buffer, 0, size_t(size));
  uint32_t room = uint32_t(size) - 1;
  uint32_t left = uint32_t(file->size) - file->position;
  if (left < room)
    room = left;
  const uint8_t *from = file->data + file->position;
  uint32_t n = 0;
  while (n < room) {
    buffer[n] = char(from[n]);
    if (from[n++] == '\n')
      break;
  }
  file->position += n;
  return n > 0 ? buffer : nullptr;
}

int putstrPack(SYS_File_t *, const char *)
{
  errClear();
  return fail(11);
}

int writePack(SYS_File_t *, const void *, int32_t)
{
  errClear();
  return fail(11);
}

int eofPack(SYS_File_t *file)
{
  errClear();
  return file->position >= uint32_t(file->size) ? 1 : 0;
}

int32_t tellPack(SYS_File_t *file)
{
  errClear();
  return int32_t(file->position);
}

void closePack(SYS_File_t *file)
{
  errClear();
  std::lock_guard lock(packLock);
  SYS_PackEntry_t *e = file->entry;
  if (e != nullptr && --e->refs == 0)
    SYS_MemFree(&e->data);
  file->entry = nullptr;
  file->data = nullptr;
}

int existPack(const char *path)
{
  errClear();
  std::lock_guard lock(packLock);
  return find(path).entry != nullptr ? 0 : fail(1);
}

int32_t sizePack(const char *path)
{
  errClear();
  std::lock_guard lock(packLock);
  Found f = find(path);
  return f.entry != nullptr ? int32_t(f.entry->size) : fail(1);
}

}  // namespace

extern "C" SYS_Pack_t *SYS_FindPack(const char *name)
{
  std::lock_guard lock(packLock);
  return find(name).pack;
}

SYS_Pack_t *SYS_PackNewest(void)
{
  std::lock_guard lock(packLock);
  return packs != nullptr ? static_cast<SYS_Pack_t *>(packs->item) : nullptr;
}

int SYS_PackRelease(SYS_Pack_t *pack)
{
  errClear();
  std::lock_guard lock(packLock);
  bool listed = false;
  for (SYS_List_p n = packs; n != nullptr && !listed; n = n->next)
    listed = n->item == pack;
  if (!listed)
    return fail(10);
  for (int32_t i = 0; i < pack->count; ++i)
    if (pack->entries[i].refs > 0)
      return fail(10);
  packs = SYS_ListDelItem(packs, pack);
  SYS_FileClose(pack->file);
  releasePack(pack);
  return 0;
}

void SYS_PackForget(void)
{
  std::lock_guard lock(packLock);
  // The records go with the tracked memory; the streams would stay open for good.
  for (SYS_List_p n = packs; n != nullptr; n = n->next) {
    auto *pack = static_cast<SYS_Pack_t *>(n->item);
    SYS_FileClose(pack->file);
    pack->file = nullptr;
  }
  packs = nullptr;
}

const SYS_FileHandler_t SYS_PackFileHandler = {
    "Pack handler", packFileOpen, openPack, seekPack, readPack, getstrPack, putstrPack,
    writePack, eofPack, tellPack, closePack, existPack, sizePack,
};
