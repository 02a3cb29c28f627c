// Command-line options and config files.
//
// The argument store is a copy of the command line (entry 0 the program path) that
// every option query walks; "-name" and "/name" are options, matched without regard
// to letter case. Config files are lines of name = "value" filled into or saved from
// a caller's table of variables.
// Depends on: mem (tracked copies), log (errors, lines), str (fields), file (I/O).
#pragma once

#include <cstdint>

extern "C" {

// One entry of a caller's config table; the table ends with a null name.
typedef struct SYS_CFG_t {
  const char *name;
  // Type 0: int32_t flag, 1: char * (receives a tracked copy), 2: int32_t, 3: float,
  // 4: the callback itself, SYS_CfgCallback_t.
  void *variable;
  int32_t type;
  // Null, or a flag: SYS_CfgSave skips the entry while it is 0.
  const int32_t *enable;
} SYS_CFG_t, *SYS_PCFG_t;

typedef void (*SYS_CfgCallback_t)(const char *value);

enum { SYS_CFG_FLAG = 0, SYS_CFG_TEXT = 1, SYS_CFG_INT = 2, SYS_CFG_FLOAT = 3, SYS_CFG_CALLBACK = 4 };

// Kinds: 0 presence (1 or 0), 1 the next argument itself (a const char * held as
// intptr_t), 2 atoi of it, 3 atof of it truncated. -1 with error 10 for a null name
// or a missing value.
intptr_t SYS_CfgGet(const char *name, int32_t kind);
int SYS_CfgAdd(const char *text);
int SYS_CfgLoad(const char *path, SYS_PCFG_t table);
int SYS_CfgSave(const char *path, SYS_PCFG_t table);

}  // extern "C"

// Shutdown step: releases every stored argument and the vector.
void SYS_CfgDone(void);
// Number of stored arguments and entry i (null out of range), for the log banner.
int32_t SYS_CfgCount(void);
const char *SYS_CfgArg(int32_t index);
