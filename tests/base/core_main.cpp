// Start-up, shutdown and the symbol table.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <regex>

#include "base/cfg.h"
#include "base/mem.h"
#include "base/thread.h"
#include "base/time.h"
#include "core_util.h"

using namespace core_test;

namespace {

// Every name a module may look up, in the table's order.
const char *const allNames[] = {
    "SYS_DbgSetFlag", "SYS_DbgLogFile", "SYS_DbgPrintf", "SYS_DbgLog", "SYS_DetectSystem", "errClear",
    "errSetCallback", "errSetLastError", "errSetLastErrorEx", "errGetLastError", "SYS_DlOpen", "SYS_DlGetProc",
    "SYS_DlClose", "SYS_DlGetList", "SYS_TimerGet", "SYS_TimerSetAdjust", "SYS_TimerReset", "SYS_TimerPause",
    "SYS_Sleep", "SYS_MemInfo", "_SYS_MemFree", "SYS_MemDump", "_SYS_MemGet", "_SYS_MemRealloc", "SYS_MemSize",
    "_SYS_StrDup", "SYS_MemTotal", "SYS_MemAvail", "SYS_GetCPU", "SYS_CfgGet", "SYS_CfgAdd", "SYS_CfgLoad",
    "SYS_CfgSave", "SYS_FilePackOpen", "SYS_FindPack", "SYS_FileOpen", "SYS_FileSeek", "SYS_FileRead",
    "SYS_FileWrite", "SYS_FileGetStr", "SYS_FilePutStr", "SYS_FileClose", "SYS_FileExist", "SYS_FileSize",
    "SYS_PathSetHomeBase", "SYS_PathGet", "SYS_MkDir", "SYS_Glob", "SYS_GlobFree", "SYS_ZSetCompLevel",
    "SYS_ZCompress", "SYS_ZUncompress", "SYS_ZCrc32", "SYS_ZAdler", "SYS_TrimLeft", "SYS_StrSwap", "SYS_StrRep",
    "SYS_StrLwr", "SYS_StrUpr", "SYS_Trim", "SYS_Items", "SYS_Cut", "SYS_Cuti", "SYS_Cutu", "SYS_Cutf",
    "SYS_Str2Uri", "SYS_Uri2Str", "SYS_GetString", "SYS_ThreadCreate", "SYS_ThreadKill", "SYS_ThreadExit",
    "SYS_ThreadSelf", "SYS_MutexCreate", "SYS_MutexDestroy", "SYS_MutexLock", "SYS_MutexUnlock", "SYS_IConvToUCS",
    "SYS_LangSetFile", "SYS_LangGetPhrase", "SYS_LangDestroy", "SYS_ListAddFirst", "SYS_ListAddLast",
    "SYS_ListDelItem", "SYS_ListRemove", "SYS_SocketResolve", "SYS_SocketNew", "SYS_SocketConnect",
    "SYS_SocketListen", "SYS_SocketAccept", "SYS_SocketClear", "SYS_SocketClose", "SYS_SocketSend",
    "SYS_SocketRead", "SYS_SocketFGets", "SYS_XMLOpen", "SYS_XMLClose", "SYS_XMLSetCB", "SYS_XMLParse",
};
static_assert(std::size(allNames) == 98);

}  // namespace

TEST(CoreSymbols, TableHoldsEveryNameInTheFixedOrder)
{
  const SYS_Symbol_t *s = SYS_SymbolTable();
  size_t count = 0;
  for (; s[count].name; count++) {
    ASSERT_LT(count, std::size(allNames));
    EXPECT_STREQ(s[count].name, allNames[count]);
    EXPECT_NE(s[count].function, nullptr) << s[count].name;
    EXPECT_EQ(SYS_SymbolLookup(s[count].name), s[count].function) << s[count].name;
  }
  EXPECT_EQ(count, std::size(allNames));
  EXPECT_EQ(s[count].function, nullptr);
}

TEST(CoreSymbols, LookupIsExactAndKnowsOnlyTableNames)
{
  auto get = reinterpret_cast<int32_t (*)(void)>(SYS_SymbolLookup("errGetLastError"));
  ASSERT_NE(get, nullptr);
  errSetLastError(42);
  EXPECT_EQ(get(), 42);
  EXPECT_EQ(get(), 0);
  for (const char *name : {"SYS_BaseInit", "SYS_BaseDone", "SYS_FileTell", "SYS_FileEof", "SYS_DlAddLib",
                           "errgetlasterror", "ERRGETLASTERROR", "errGetLastError ", "", "nothing"})
    EXPECT_EQ(SYS_SymbolLookup(name), nullptr) << '"' << name << '"';
  EXPECT_EQ(SYS_SymbolLookup(nullptr), nullptr);
}

class CoreBase : public Scratch {};

TEST_F(CoreBase, StartWithoutArgumentsKeepsTheStoreEmpty)
{
  EXPECT_EQ(SYS_BaseInit(nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(SYS_CfgCount(), 0);
  EXPECT_EQ(SYS_CfgGet("v", 0), 0);
  EXPECT_EQ(SYS_BaseDone(), 0);
  EXPECT_FALSE(exists("debug.log"));
  // The error cell outlives the memory shutdown that released every block.
  errSetLastError(3);
  EXPECT_EQ(errGetLastError(), 3);
  EXPECT_EQ(SYS_CfgGet(nullptr, 0), -1);
  EXPECT_EQ(errGetLastError(), 10);
}

TEST_F(CoreBase, ArgumentsAreStoredInOrderAndReleasedAtShutdown)
{
  start({"-x", "value"});
  ASSERT_EQ(SYS_CfgCount(), 3);
  EXPECT_STREQ(SYS_CfgArg(0), "prog");
  EXPECT_STREQ(SYS_CfgArg(2), "value");
  SYS_BaseDone();
  EXPECT_EQ(SYS_CfgCount(), 0);
  EXPECT_EQ(SYS_MemInfo("after.txt"), 0);
  EXPECT_NE(readFile("after.txt").find("No memory allocated.\n"), std::string::npos);
}

static uint32_t endsAtOnce(void *) { return 0; }

// The leak list and the unterminated-thread line come from a process that ends
// through SYS_BaseDone with a block and a thread record still there.
TEST_F(CoreBase, ShutdownReportsLeftoversAndReleasesEverything)
{
  EXPECT_EXIT(
      {
        start({"-v", "-debug-memleak", "-mf", "leaks.txt"});
        void *block = SYS_MemGet(123, "left behind");
        (void)block;
        SYS_Thread_p t = SYS_ThreadCreate(endsAtOnce, nullptr, 0, "worker");
        while (t->state.load() != SYS_THREAD_ENDED)
          SYS_Sleep(1);
        platThread_t handle = t->handle;
        SYS_BaseDone();
        platThreadJoin(handle);
        SYS_MemInfo("after.txt");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");

  const std::string log = readFile("debug.log");
  EXPECT_TRUE(std::regex_search(log, std::regex(R"(\[thread\]\[thread\.cpp:\d+:SYS_ThreadDone\(\)\] !!! Unterminated thread: "worker"\n)")))
      << log;
  const size_t end = log.find("\n--- End of log.\n\n");
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(end + 18, log.size()) << "nothing may follow the end of the log";

  const std::string leaks = readFile("leaks.txt");
  EXPECT_EQ(leaks.rfind("\n--- tarvo!korvadyne memory manager\n--- started : ", 0), 0u) << leaks;
  const size_t blockLine = leaks.find("[core_main.cpp:");
  ASSERT_NE(blockLine, std::string::npos) << leaks;
  EXPECT_NE(leaks.find("] left behind -> 123 bytes\n"), std::string::npos) << leaks;
  // The copy of the "mf" name is itself still live when the list is written.
  EXPECT_TRUE(std::regex_search(leaks, std::regex(R"(StrDup: leak[^\n]* -> 10 bytes\n)"))) << leaks;
  std::smatch total;
  ASSERT_TRUE(std::regex_search(leaks, total, std::regex(R"(\n\nTotal: (\d+) bytes\n---\n$)"))) << leaks;
  long sum = 0;
  for (const std::string &line : lines(leaks)) {
    std::smatch m;
    if (std::regex_search(line, m, std::regex(R"( -> (\d+) bytes$)")))
      sum += std::stol(m[1]);
  }
  EXPECT_EQ(std::stol(total[1]), sum);

  EXPECT_NE(readFile("after.txt").find("No memory allocated."), std::string::npos);
}
