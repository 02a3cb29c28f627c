// Module loader: the plug-in file rule with the test module, plain system
// libraries through the name map, the module list and the error codes.
#include <zlib.h>

#include <regex>

#include "base/dl.h"
#include "base/file.h"
#include "base/main.h"
#include "base/z.h"
#include "files_util.h"
#include "platform/dl.h"

using namespace files_test;

namespace {

// The test module sits in Modules/ below the tests' working directory.
class ModuleLoader : public ::testing::Test {
protected:
  void SetUp() override { fs::current_path(KORV_TEST_DIR); }
};

int listed(const char *name)
{
  int n = 0;
  for (PModule m = SYS_DlGetList(); m != nullptr; m = m->next)
    n += strcmp(m->name, name) == 0;
  return n;
}

}  // namespace

TEST_F(ModuleLoader, ModuleInitReachesTheFramework)
{
  const std::string input = "read by the module through the lookup";
  writeFile("module-input.txt", input);
  // The system keeps a library loaded, its counter with it, while any handle is open
  // (an earlier test's in this process too): the loader's own open, which calls no
  // init, reads where the counter starts.
  platDlError_t error;
  void *peek = platDlOpen("Modules/korvtest-w32.so", &error);
  ASSERT_NE(peek, nullptr);
  const int before = *static_cast<int *>(platDlSym(peek, "korvtestInitCalls"));
  void *h = SYS_DlOpen("korvtest");
  fs::remove("module-input.txt");
  ASSERT_NE(h, nullptr) << errGetLastError();
  auto *calls = static_cast<int *>(SYS_DlGetProc(h, "korvtestInitCalls"));
  ASSERT_NE(calls, nullptr);
  EXPECT_EQ(*calls, before + 1);
  EXPECT_EQ(*static_cast<void **>(SYS_DlGetProc(h, "korvtestFileOpen")), reinterpret_cast<void *>(&SYS_FileOpen));
  EXPECT_EQ(*static_cast<int *>(SYS_DlGetProc(h, "korvtestMissingFound")), 0);
  EXPECT_EQ(*static_cast<int32_t *>(SYS_DlGetProc(h, "korvtestBytesRead")), int32_t(input.size()));
  EXPECT_EQ(*static_cast<uint32_t *>(SYS_DlGetProc(h, "korvtestCrc")), crcOf(input));

  EXPECT_EQ(SYS_DlOpen("korvtest"), h);  // preloaded: no second load, no second init
  EXPECT_EQ(*calls, before + 1);
  EXPECT_EQ(listed("korvtest"), 1);
  EXPECT_EQ(SYS_DlOpen("Modules/korvtest-w32.so"), h);  // the file name itself, same library
  EXPECT_EQ(listed("Modules/korvtest-w32.so"), 1);
  // Both records go, so the next test in this process loads the module afresh.
  EXPECT_EQ(SYS_DlClose(h), 0);
  EXPECT_EQ(SYS_DlClose(h), 0);
  EXPECT_EQ(listed("korvtest") + listed("Modules/korvtest-w32.so"), 0);
  platDlClose(peek);
}

TEST_F(ModuleLoader, PlainLibrariesAndTheNameMap)
{
  void *z = SYS_DlOpen("libz.so.1");
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(SYS_DlGetProc(z, "crc32"), reinterpret_cast<void *>(&crc32));
  EXPECT_EQ(SYS_DlGetProc(z, "no_such_symbol"), nullptr);
  EXPECT_EQ(errGetLastError(), 0);  // a missing symbol is no error

  void *self = SYS_DlOpen("KERNEL32.DLL");
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(SYS_DlGetProc(self, "SYS_FileOpen"), reinterpret_cast<void *>(&SYS_FileOpen));

  for (const char *absent : {"d3d9.dll", "DDraw.dll", "no-such-library"}) {
    EXPECT_EQ(SYS_DlOpen(absent), nullptr) << absent;
    EXPECT_EQ(errGetLastError(), 200) << absent;
  }
  EXPECT_EQ(SYS_DlOpen(nullptr), nullptr);
  EXPECT_EQ(errGetLastError(), 10);
}

TEST_F(ModuleLoader, CloseAndBadHandles)
{
  void *z = SYS_DlOpen("libz.so.1");
  ASSERT_NE(z, nullptr);
  ASSERT_EQ(listed("libz.so.1"), 1);
  EXPECT_EQ(SYS_DlClose(z), 0);
  EXPECT_EQ(listed("libz.so.1"), 0);

  EXPECT_EQ(SYS_DlGetProc(nullptr, "x"), nullptr);
  EXPECT_EQ(errGetLastError(), 202);
  EXPECT_EQ(SYS_DlGetProc(z, nullptr), nullptr);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_DlClose(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 202);
  EXPECT_EQ(SYS_DlAddLib(nullptr, "x"), -1);
  EXPECT_EQ(errGetLastError(), 10);
  int anything;
  EXPECT_EQ(SYS_DlAddLib(&anything, "Fake"), 0);
  EXPECT_EQ(SYS_DlOpen("Fake"), &anything);  // a registered name is never loaded
}

TEST_F(ModuleLoader, LogsTheModuleAttemptFirst)
{
  std::string log = "dl-log-" + std::to_string(getpid()) + ".txt";
  const char *argv[] = {"prog", "-v", "-debug-dl", "-debug-log", log.c_str()};
  SYS_BaseInit(nullptr, 5, argv, nullptr);
  ASSERT_NE(SYS_DlOpen("libz.so.1"), nullptr);
  EXPECT_EQ(SYS_DlOpen("no-such-library"), nullptr);
  SYS_BaseDone();
  std::string text = readFile(log);
  fs::remove(log);
  size_t tried = text.find("Load lib: Modules/libz.so.1-w32.so");
  size_t fallback = text.find("failed,  try libz.so.1.");
  EXPECT_NE(tried, std::string::npos) << text;
  EXPECT_NE(fallback, std::string::npos) << text;
  EXPECT_LT(tried, fallback);
  EXPECT_NE(text.find("error: lib (no-such-library) not found."), std::string::npos) << text;
}

TEST_F(ModuleLoader, AFileThatIsNoLibraryIsAnotherLoadFailure)
{
  std::string stem = "not-elf-" + std::to_string(getpid());
  std::string file = stem + "-w32.so", log = stem + ".txt";
  writeFile(file, "plain text, no library");
  const char *argv[] = {"prog", "-v", "-debug-dl", "-debug-log", log.c_str()};
  SYS_BaseInit(nullptr, 5, argv, nullptr);
  EXPECT_EQ(SYS_DlOpen(("./" + file).c_str()), nullptr);
  EXPECT_EQ(errGetLastError(), 201);
  EXPECT_EQ(listed(("./" + file).c_str()), 0);
  SYS_BaseDone();
  std::string text = readFile(log);
  fs::remove(file);
  fs::remove(log);
  EXPECT_TRUE(std::regex_search(text, std::regex("error: unknown error \\(-?[0-9]+\\)\n"))) << text;
}

TEST(Symbols, FileAndZNamesInTheTable)
{
  EXPECT_EQ(SYS_SymbolLookup("SYS_ZUncompress"), reinterpret_cast<void *>(&SYS_ZUncompress));
  EXPECT_EQ(SYS_SymbolLookup("SYS_DlOpen"), reinterpret_cast<void *>(&SYS_DlOpen));
  EXPECT_EQ(SYS_SymbolLookup("SYS_Glob"), reinterpret_cast<void *>(&SYS_Glob));
  EXPECT_EQ(SYS_SymbolLookup("SYS_FileEof"), nullptr);
  EXPECT_EQ(SYS_SymbolLookup("SYS_DlAddLib"), nullptr);
}

// The shutdown frees every tracked record; a framework started again in the same
// process must not walk the old module, pack or open-file lists.
TEST_F(ModuleLoader, StartsAgainAfterShutdown)
{
  const char *argv[] = {"files-tests"};
  SYS_BaseInit(nullptr, 1, argv, nullptr);
  writeFile("restart-dir/inside.txt", "dir");
  ASSERT_EQ(SYS_FilePackOpen("restart-dir"), 0);
  ASSERT_NE(SYS_DlOpen("korvtest"), nullptr);
  SYS_File_p open = SYS_FileOpen("inside.txt", 0);
  ASSERT_NE(open, nullptr);
  SYS_BaseDone();

  SYS_BaseInit(nullptr, 1, argv, nullptr);
  EXPECT_EQ(SYS_DlGetList(), nullptr);
  EXPECT_EQ(SYS_FileExist("inside.txt"), -1);  // the directory pack went with the shutdown
  EXPECT_NE(SYS_DlOpen("korvtest"), nullptr);
  EXPECT_EQ(listed("korvtest"), 1);
  SYS_BaseDone();
  fs::remove_all("restart-dir");
}

// A host that passes its own module handle is reachable by the name "Base" (a
// module opens the host with it); a host that passes 0 has no such record.
TEST_F(ModuleLoader, ANonZeroModuleHandleRegistersTheHostAsBase)
{
  platDlError_t error;
  void *host = platDlOpen("kernel32.dll", &error);  // the process itself
  ASSERT_NE(host, nullptr);
  const char *argv[] = {"files-tests"};
  SYS_BaseInit(host, 1, argv, nullptr);
  EXPECT_EQ(listed("Base"), 1);
  EXPECT_EQ(SYS_DlOpen("Base"), host);
  EXPECT_EQ(listed("Base"), 1);  // found, not loaded again
  EXPECT_EQ(SYS_DlGetProc(SYS_DlOpen("Base"), "crc32"), reinterpret_cast<void *>(&crc32));
  SYS_BaseDone();

  SYS_BaseInit(nullptr, 1, argv, nullptr);
  EXPECT_EQ(listed("Base"), 0);
  EXPECT_EQ(SYS_DlOpen("Base"), nullptr);  // tried as a library of that name
  EXPECT_EQ(errGetLastError(), 200);
  SYS_BaseDone();
  platDlClose(host);
}
