// Framework start-up, shutdown and symbol table.
//
// Start-up order: thread support first (every later step may create a mutex), then
// the argument store (the log and memory options are read from it), the log with
// its banner and, when it is on, the system detection, the memory options, a clear
// last error, sockets, the CPU record for the caller, the timer reset, the host
// module record and the HOME / SYSTEM DIR lines. Shutdown runs: threads, system
// texts, sockets, arguments, files, log, and memory last, because it releases every
// block the others still hold.
// Depends on: every base service.
#include "base/main.h"

#include <cstring>

#include "base/cfg.h"
#include "base/cpu-x86.h"
#include "base/dl.h"
#include "base/file-pack.h"
#include "base/file.h"
#include "base/iconv.h"
#include "base/info.h"
#include "base/lang.h"
#include "base/list.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/netzwerk.h"
#include "base/str.h"
#include "base/thread.h"
#include "base/time.h"
#include "base/xml.h"
#include "base/z.h"

#define SYMBOL(f) {#f, reinterpret_cast<void *>(&f)}

// What a module's dllInit reaches, in this fixed order; names are the functions'.
static const SYS_Symbol_t symbolTable[] = {
    SYMBOL(SYS_DbgSetFlag),
    SYMBOL(SYS_DbgLogFile),
    SYMBOL(SYS_DbgPrintf),
    SYMBOL(SYS_DbgLog),
    SYMBOL(SYS_DetectSystem),
    SYMBOL(errClear),
    SYMBOL(errSetCallback),
    SYMBOL(errSetLastError),
    SYMBOL(errSetLastErrorEx),
    SYMBOL(errGetLastError),
    SYMBOL(SYS_DlOpen),
    SYMBOL(SYS_DlGetProc),
    SYMBOL(SYS_DlClose),
    SYMBOL(SYS_DlGetList),
    SYMBOL(SYS_TimerGet),
    SYMBOL(SYS_TimerSetAdjust),
    SYMBOL(SYS_TimerReset),
    SYMBOL(SYS_TimerPause),
    SYMBOL(SYS_Sleep),
    SYMBOL(SYS_MemInfo),
    SYMBOL(_SYS_MemFree),
    SYMBOL(SYS_MemDump),
    SYMBOL(_SYS_MemGet),
    SYMBOL(_SYS_MemRealloc),
    SYMBOL(SYS_MemSize),
    SYMBOL(_SYS_StrDup),
    SYMBOL(SYS_MemTotal),
    SYMBOL(SYS_MemAvail),
    SYMBOL(SYS_GetCPU),
    SYMBOL(SYS_CfgGet),
    SYMBOL(SYS_CfgAdd),
    SYMBOL(SYS_CfgLoad),
    SYMBOL(SYS_CfgSave),
    SYMBOL(SYS_FilePackOpen),
    SYMBOL(SYS_FindPack),
    SYMBOL(SYS_FileOpen),
    SYMBOL(SYS_FileSeek),
    SYMBOL(SYS_FileRead),
    SYMBOL(SYS_FileWrite),
    SYMBOL(SYS_FileGetStr),
    SYMBOL(SYS_FilePutStr),
    SYMBOL(SYS_FileClose),
    SYMBOL(SYS_FileExist),
    SYMBOL(SYS_FileSize),
    SYMBOL(SYS_PathSetHomeBase),
    SYMBOL(SYS_PathGet),
    SYMBOL(SYS_MkDir),
    SYMBOL(SYS_Glob),
    SYMBOL(SYS_GlobFree),
    SYMBOL(SYS_ZSetCompLevel),
    SYMBOL(SYS_ZCompress),
    SYMBOL(SYS_ZUncompress),
    SYMBOL(SYS_ZCrc32),
    SYMBOL(SYS_ZAdler),
    SYMBOL(SYS_TrimLeft),
    SYMBOL(SYS_StrSwap),
    SYMBOL(SYS_StrRep),
    SYMBOL(SYS_StrLwr),
    SYMBOL(SYS_StrUpr),
    SYMBOL(SYS_Trim),
    SYMBOL(SYS_Items),
    SYMBOL(SYS_Cut),
    SYMBOL(SYS_Cuti),
    SYMBOL(SYS_Cutu),
    SYMBOL(SYS_Cutf),
    SYMBOL(SYS_Str2Uri),
    SYMBOL(SYS_Uri2Str),
    SYMBOL(SYS_GetString),
    SYMBOL(SYS_ThreadCreate),
    SYMBOL(SYS_ThreadKill),
    SYMBOL(SYS_ThreadExit),
    SYMBOL(SYS_ThreadSelf),
    SYMBOL(SYS_MutexCreate),
    SYMBOL(SYS_MutexDestroy),
    SYMBOL(SYS_MutexLock),
    SYMBOL(SYS_MutexUnlock),
    SYMBOL(SYS_IConvToUCS),
    SYMBOL(SYS_LangSetFile),
    SYMBOL(SYS_LangGetPhrase),
    SYMBOL(SYS_LangDestroy),
    SYMBOL(SYS_ListAddFirst),
    SYMBOL(SYS_ListAddLast),
    SYMBOL(SYS_ListDelItem),
    SYMBOL(SYS_ListRemove),
    SYMBOL(SYS_SocketResolve),
    SYMBOL(SYS_SocketNew),
    SYMBOL(SYS_SocketConnect),
    SYMBOL(SYS_SocketListen),
    SYMBOL(SYS_SocketAccept),
    SYMBOL(SYS_SocketClear),
    SYMBOL(SYS_SocketClose),
    SYMBOL(SYS_SocketSend),
    SYMBOL(SYS_SocketRead),
    SYMBOL(SYS_SocketFGets),
    SYMBOL(SYS_XMLOpen),
    SYMBOL(SYS_XMLClose),
    SYMBOL(SYS_XMLSetCB),
    SYMBOL(SYS_XMLParse),
    {nullptr, nullptr},
};

const SYS_Symbol_t *SYS_SymbolTable(void) { return symbolTable; }

void *SYS_SymbolLookup(const char *name)
{
  if (!name)
    return nullptr;
  for (const SYS_Symbol_t *s = symbolTable; s->name; s++)
    if (!std::strcmp(s->name, name))
      return s->function;
  return nullptr;
}

int SYS_BaseInit(void *module, int32_t argc, const char *const *argv, SYS_PPCPU_t out)
{
  SYS_ThreadInit();
  for (int32_t i = 0; argv && i < argc; i++)
    SYS_CfgAdd(argv[i]);
  if (SYS_DbgInit())
    SYS_DetectSystem();
  SYS_MemInit();
  errClear();
  SYS_SocketInit();
  if (out)
    *out = SYS_GetCPU();
  SYS_TimerReset();
  if (module)
    SYS_DlAddLib(module, "Base");
  const int baseLevel = SYS_DBG_LEVEL(SYS_DbgOpt.base);
  char *home = SYS_PathGet(2, "");
  SYS_DbgLevelPrintf(baseLevel, "[base][%s:%d:%s()] HOME: '%s'\n", SYS_POS, home ? home : "");
  SYS_MemFree(&home);
  char *system = SYS_PathGet(1, "");
  SYS_DbgLevelPrintf(baseLevel, "[base][%s:%d:%s()] SYSTEM DIR: '%s'\n", SYS_POS, system ? system : "");
  SYS_MemFree(&system);
  return 0;
}

int SYS_BaseDone(void)
{
  errClear();
  SYS_ThreadDone();
  SYS_InfoDone();
  SYS_SocketDone();
  SYS_CfgDone();
  SYS_FileDone();
  SYS_DlForget();
  SYS_DbgDone();
  SYS_MemDone();
  return 0;
}
