// Subsystem registry and the presentation's bindings to the framework.
//
// The registry is two tables of 32 named procedures in fixed slots: RunInit calls the
// init table upwards from slot 0 once at start, and only the fatal and error paths
// (ExitAndHalt) call the exit table, downwards from slot 31, before the framework's
// shutdown. Slots in use: 0 base library, 1 window manager, 2 GL, 3 GLU, 4 texture
// loader. The bindings convert the show's short strings into the framework's
// zero-terminated texts, forward log lines and tracked allocations (source "[pas]",
// line 0), and provide FatalError, the one fatal path of the presentation and the
// scene engine.
// Depends on: base (SYS_BaseInit/Done, log, mem, file paths), platform/msgbox.
#pragma once

#include <cstdint>
#include <string_view>

#include "presentation/pstring.h"

typedef void (*SYS_TExitProc)(void);
typedef PasString<32> SYS_TExitProcName;

struct SYS_TExitProcEntry {
  int32_t active;  // -1 registered, 0 free
  SYS_TExitProcName name;
  SYS_TExitProc proc;
};

enum : int32_t { kRegistrySlots = 32 };

extern SYS_TExitProcEntry InitProcs[kRegistrySlots];
extern SYS_TExitProcEntry ExitProcs[kRegistrySlots];

// Registers proc in slot (0..31) under name (cut to 32 characters), replacing what the
// slot held. A slot outside the table is refused with a log line.
void AddInit(std::string_view name, int32_t slot, SYS_TExitProc proc);
void AddExit(std::string_view name, int32_t slot, SYS_TExitProc proc);
// Frees the first slot whose name equals name (cut to 32 characters).
void RemoveInit(std::string_view name);
void RemoveExit(std::string_view name);
// Calls every registered init procedure, slot 0 upwards, logging each name first.
void RunInit(void);
// Exit procedures 31 down to 0, the framework's shutdown, then the process ends with
// the low 8 bits of code.
[[noreturn]] void ExitAndHalt(int32_t code);
// Called once by ExitAndHalt before the exit procedures, for what has no registry slot
// but must not outlive an error exit: the music sets it while the sound device is open.
extern SYS_TExitProc ExitAndHaltFirst;

// Copies s (cut to 255 characters) into the one shared buffer and returns it: the
// next call overwrites the text, so pass the result on at once.
const char *PasStr(std::string_view s);
extern char *PasStrBuffer;
extern int32_t PasStrCapacity;
// A log line (PasLogLn appends a line feed when it fits in 255 characters).
void PasLog(std::string_view s);
void PasLogLn(std::string_view s);
void *PasMemGet(int32_t size, const char *tag);
void *PasMemRealloc(void **p, int32_t size, const char *tag);
// Releases *p (null accepted) and sets it to null.
void PasMemFree(void **p);

// Message box "Error!" with msg, log line, exit procedures, framework shutdown and
// exit code 1.
[[noreturn]] void FatalError(std::string_view msg);

// The program's directory, made the working directory by InitBaseLib.
extern ShortString ProgramDir;

// Unit start-ups, in the order main runs them.
// Base binding unit: starts the framework with the command line, registers exit slot
// 0 and moves into the program directory (a failure ends the run with its errno).
void InitBaseLib(int argc, char **argv);
