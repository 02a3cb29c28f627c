// Framework start-up, shutdown and symbol table.
//
// SYS_BaseInit brings the base services up in one fixed order and SYS_BaseDone takes
// them down in another; SYS_SymbolLookup answers a module's dllInit with the address
// of a framework function by its exact name.
// Depends on: every base service.
#pragma once

#include <cstdint>

#include "base/cpu-x86.h"

extern "C" {

typedef struct SYS_Symbol_t {
  const char *name;
  void *function;
} SYS_Symbol_t;

// module may be 0; argv may hold argc texts (argc 0 leaves the argument store empty);
// out, when not null, receives the CPU record. Always 0.
int SYS_BaseInit(void *module, int32_t argc, const char *const *argv, SYS_PPCPU_t out);
int SYS_BaseDone(void);
void *SYS_SymbolLookup(const char *name);

}  // extern "C"

// The table itself, closed by a null name.
const SYS_Symbol_t *SYS_SymbolTable(void);
