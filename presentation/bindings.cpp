// Subsystem registry and bindings: see bindings.h.
// Depends on: base (main, log, mem, file), platform/msgbox.
#include "presentation/bindings.h"

#include <cerrno>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "base/cpu-x86.h"
#include "base/file.h"
#include "base/log.h"
#include "base/main.h"
#include "base/mem.h"
#include "platform/msgbox.h"

SYS_TExitProcEntry InitProcs[kRegistrySlots];
SYS_TExitProcEntry ExitProcs[kRegistrySlots];
char *PasStrBuffer = nullptr;
int32_t PasStrCapacity = 0;
ShortString ProgramDir("./");
SYS_TExitProc ExitAndHaltFirst = nullptr;

namespace {

void Register(SYS_TExitProcEntry *table, std::string_view kind, std::string_view name, int32_t slot,
              SYS_TExitProc proc) {
  if (slot < 0 || slot >= kRegistrySlots) {
    ShortString line("[");
    line += kind;
    line += "] ! slot out of range: ";
    line += name;
    PasLogLn(line);
    return;
  }
  SYS_TExitProcEntry &e = table[slot];
  e.name = name;
  e.proc = proc;
  e.active = -1;
}

void Remove(SYS_TExitProcEntry *table, std::string_view name) {
  const SYS_TExitProcName key(name);
  for (int32_t i = 0; i < kRegistrySlots; i++) {
    if (std::string_view(table[i].name) == std::string_view(key)) {
      table[i].active = 0;
      return;
    }
  }
}

void ReleaseBaseLib(void) {}

}  // namespace

void AddInit(std::string_view name, int32_t slot, SYS_TExitProc proc) { Register(InitProcs, "init", name, slot, proc); }
void AddExit(std::string_view name, int32_t slot, SYS_TExitProc proc) { Register(ExitProcs, "exit", name, slot, proc); }
void RemoveInit(std::string_view name) { Remove(InitProcs, name); }
void RemoveExit(std::string_view name) { Remove(ExitProcs, name); }

void RunInit(void) {
  PasLogLn("[init] --- subsystems");
  for (int32_t i = 0; i < kRegistrySlots; i++) {
    const SYS_TExitProcEntry &e = InitProcs[i];
    if (!e.active) continue;
    PasLogLn("[init] -------------------------");
    PasLogLn(ShortString("[init] call : ") + e.name);
    if (e.proc) e.proc();
  }
  PasLogLn("[init] --- end");
}

void ExitAndHalt(int32_t code) {
  if (SYS_TExitProc first = ExitAndHaltFirst) {
    ExitAndHaltFirst = nullptr;
    first();
  }
  PasLogLn("[exit] --- subsystems");
  for (int32_t i = kRegistrySlots - 1; i >= 0; i--) {
    const SYS_TExitProcEntry &e = ExitProcs[i];
    if (!e.active) continue;
    PasLogLn(ShortString("[exit] call : ") + e.name);
    if (e.proc) e.proc();
  }
  PasLogLn("[exit]");
  SYS_BaseDone();
  std::fflush(nullptr);
  std::exit(code & 0xFF);
}

const char *PasStr(std::string_view s) {
  if (s.size() > ShortString::Capacity) s = s.substr(0, ShortString::Capacity);
  const int32_t len = (int32_t)s.size();
  // The first conversion needs a buffer even for an empty text.
  if (!PasStrBuffer || len > PasStrCapacity) {
    PasMemFree((void **)&PasStrBuffer);
    PasStrBuffer = (char *)PasMemGet(len + 5, "PasStr");
    if (!PasStrBuffer) {
      PasStrCapacity = 0;
      static char empty[1];
      return empty;
    }
    PasStrCapacity = len;
  }
  std::memcpy(PasStrBuffer, s.data(), (size_t)len);
  PasStrBuffer[len] = 0;
  return PasStrBuffer;
}

void PasLog(std::string_view s) { SYS_DbgLog(PasStr(s)); }

void PasLogLn(std::string_view s) {
  ShortString line(s);
  line += '\n';
  SYS_DbgLog(PasStr(line));
}

void *PasMemGet(int32_t size, const char *tag) { return _SYS_MemGet(size, "[pas]", 0, tag); }
void *PasMemRealloc(void **p, int32_t size, const char *tag) { return _SYS_MemRealloc(p, size, "[pas]", 0, tag); }
void PasMemFree(void **p) {
  if (p && *p) _SYS_MemFree(p, "[pas]", 0);
}

void FatalError(std::string_view msg) {
  const ShortString text(msg);
  platMessageBox("Error!", text.c_str(), PLAT_MB_ERROR);
  PasLogLn(text);
  ExitAndHalt(1);
}

void InitBaseLib(int argc, char **argv) {
  // The CPU record is asked for so that the framework detects and logs the processor.
  static SYS_PCPU_t cpu = nullptr;
  SYS_BaseInit(nullptr, argc, argv, &cpu);
  AddExit("Release base lib ...", 0, ReleaseBaseLib);
  char *dir = SYS_PathGet(1, "");
  if (dir) {
    ProgramDir = dir;
    SYS_MemFree(&dir);
  }
  std::error_code ec;
  std::filesystem::current_path(ProgramDir.c_str(), ec);
  if (ec) {
    // Nothing of the show's error handling is in place yet: end as the runtime does,
    // with its error box and the input/output error number.
    char text[320];
    std::snprintf(text, sizeof text, "Runtime error %d: cannot change to %s", ec.value(), ProgramDir.c_str());
    platMessageBox("Error", text, PLAT_MB_ERROR);
    std::exit(ec.value() & 0xFF);
  }
}
