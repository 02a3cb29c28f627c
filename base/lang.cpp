// Language phrase table: loads key = "phrase" lines into a list and answers
// lookups by the key's CRC-32. Lines follow the config-file field rules without
// the tab conversion: leading blanks go, "#" starts a comment (inside quotes too),
// the key is the text before the first "=" up to its first blank, the phrase the
// text between the first two double quotes after that "=".
// Depends on: file (SYS_PathGet, SYS_FileOpen & co), z (SYS_ZCrc32), list, str,
// mem, log.
#include "base/lang.h"

#include <cstring>

#include "base/file.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/str.h"
#include "base/z.h"

namespace {

#define LANG_LOG(...) SYS_DbgLevelPrintf(2, __VA_ARGS__)

constexpr int32_t kLine = 4096;

// CRC-32 of a key; the empty key is the CRC of no bytes (0), without the error
// that SYS_ZCrc32 gives a zero length.
uint32_t KeyCrc(const char *key) {
  size_t len = strlen(key);
  return len ? SYS_ZCrc32(key, (int32_t)(len > 0x7FFFFFFF ? 0x7FFFFFFF : len)) : 0;
}

void ReleaseItem(SYS_LangItem_t *item) {
  SYS_MemFree(&item->key);
  SYS_MemFree(&item->phrase);
  SYS_MemFree(&item);
}

}  // namespace

extern "C" SYS_List_p SYS_LangSetFile(const char *fileName) {
  errClear();
  if (!fileName) return errSetLastError(10), nullptr;
  char *path = SYS_PathGet(1, fileName);
  errClear();
  if (!path) return errSetLastError(5), nullptr;
  LANG_LOG("[lang][%s:%d:%s()] language file: %s...\n", SYS_POS, path);

  if (SYS_FileExist(path) != 0) {
    LANG_LOG("[lang][%s:%d:%s()] ...not found.\n", SYS_POS);
    SYS_MemFree(&path);
    return errSetLastError(1), nullptr;
  }
  SYS_File_p f = SYS_FileOpen(path, SYS_FILE_TEXT);
  SYS_MemFree(&path);
  if (!f) {
    LANG_LOG("[lang][%s:%d:%s()] ...open error.\n", SYS_POS);
    return errSetLastError(2), nullptr;
  }

  // One block for the line and its three fields, each as long as the line.
  char *buffer = (char *)SYS_MemGet(4 * kLine, "SYS_LangSetFile: temp buffer");
  if (!buffer) {
    SYS_FileClose(f);
    return errSetLastError(5), nullptr;
  }
  char *line = buffer, *key = buffer + kLine, *value = buffer + 2 * kLine, *phrase = buffer + 3 * kLine;

  SYS_List_p head = nullptr, tail = nullptr;
  int32_t items = 0;
  bool outOfMemory = false;
  while (SYS_FileGetStr(f, line, kLine)) {
    SYS_TrimLeft(line);
    SYS_StrSwap(line, '#', '\0');
    if (!*line) continue;
    SYS_Cut(line, key, '=', 0);
    SYS_StrSwap(key, ' ', '\0');
    SYS_Cut(line, value, '=', 1);
    SYS_Cut(value, phrase, '"', 1);

    SYS_LangItem_t *item = (SYS_LangItem_t *)SYS_MemGet(sizeof(SYS_LangItem_t), "SYS_LangSetFile: new item");
    if (item) {
      item->key = SYS_StrDup(key);
      item->phrase = SYS_StrDup(phrase);
    }
    if (!item || !item->key || !item->phrase) {
      if (item) ReleaseItem(item);
      outOfMemory = true;
      break;
    }
    item->crc = KeyCrc(key);
    // Appending after the tail keeps loading linear in the number of lines.
    SYS_List_p node = SYS_ListAddLast(tail, item);
    if (!node || (tail && !tail->next)) {
      ReleaseItem(item);
      outOfMemory = true;
      break;
    }
    tail = tail ? tail->next : node;
    if (!head) head = tail;
    items++;
  }
  SYS_FileClose(f);
  SYS_MemFree(&buffer);
  if (outOfMemory) {
    if (head) SYS_LangDestroy(head);
    return errSetLastError(5), nullptr;
  }
  LANG_LOG("[lang][%s:%d:%s()] ...added %d items.\n", SYS_POS, items);
  errClear();
  return head;
}

extern "C" const char *SYS_LangGetPhrase(SYS_List_p table, const char *key) {
  errClear();
  if (!table || !key) return errSetLastError(10), nullptr;
  uint32_t crc = KeyCrc(key);
  for (SYS_List_p n = table; n; n = n->next) {
    const SYS_LangItem_t *item = (const SYS_LangItem_t *)n->item;
    if (item->crc != crc) continue;
    if (item->phrase) return item->phrase;
    break;
  }
  LANG_LOG("[lang][%s:%d:%s()] unknown phrase: '%s'\n", SYS_POS, key);
  errClear();
  return key;
}

extern "C" int SYS_LangDestroy(SYS_List_p table) {
  errClear();
  if (!table) return errSetLastError(10), -1;
  for (SYS_List_p n = table; n; n = n->next) ReleaseItem((SYS_LangItem_t *)n->item);
  return SYS_ListRemove(table);
}
