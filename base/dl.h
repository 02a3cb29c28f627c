// Module loader: shared libraries by name, kept in a list, newest first.
//
// A name is tried first as the plug-in file "Modules/<name>-w32.so" below the
// working directory (or as given when it already contains "-w32.so"), then
// under its plain name through the platform's library-name map. A library that
// exports dllInit gets it called once with SYS_SymbolLookup.
// Depends on: log, mem, main (symbol lookup), platform/dl.
#pragma once

#include <cstdint>

extern "C" {

typedef struct TModule {
  char *name;  // as the caller gave it
  void *handle;
  struct TModule *next;  // the next older record
} TModule, *PModule;

// A module's entry point: receives the framework symbol lookup.
typedef int (*SYS_DllInit_t)(void *(*lookup)(const char *name));

void *SYS_DlOpen(const char *name);
void *SYS_DlGetProc(void *handle, const char *name);
int SYS_DlClose(void *handle);
PModule SYS_DlGetList(void);
int SYS_DlAddLib(void *handle, const char *name);

}  // extern "C"

// Step of SYS_BaseDone: the records go with the tracked memory, so the list is emptied
// (the libraries stay loaded).
void SYS_DlForget(void);
