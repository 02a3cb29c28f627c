// Language phrase table: key = "phrase" lines of a text file in the program
// directory, looked up by the CRC-32 of the key; a key without a phrase answers
// with itself, so untranslated texts fall back to their keys.
// Depends on: file, z (CRC-32), list, str, mem, log.
#pragma once

#include <cstdint>

#include "base/list.h"

extern "C" {

typedef struct SYS_LangItem_t {
  uint32_t crc;  // CRC-32 of the key
  char *key;     // tracked
  char *phrase;  // tracked
} SYS_LangItem_t;

// Loads the file of that name in the program directory: a list of SYS_LangItem_t in
// file order, or null (also for a file without phrases). Errors 1 (no such file),
// 2 (cannot open), 5 (memory), 10 (null name).
SYS_List_p SYS_LangSetFile(const char *fileName);
// The phrase of the first item whose key has the same CRC-32, else the key itself.
// Null table or key: error 10, null.
const char *SYS_LangGetPhrase(SYS_List_p table, const char *key);
// Releases every item with its texts, and the nodes. Null: error 10, -1.
int SYS_LangDestroy(SYS_List_p table);

}  // extern "C"
