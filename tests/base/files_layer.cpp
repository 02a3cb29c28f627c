// File layer: disk files, the handler chain's order, the error callback,
// standard paths, directory creation and wildcard listings.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "base/main.h"
#include "base/mem.h"
#include "files_util.h"

using namespace files_test;

using FileLayer = Scratch;

TEST_F(FileLayer, DiskWriteThenReadBack)
{
  SYS_File_p f = SYS_FileOpen("new.bin", SYS_FILE_WRITE);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(SYS_FileSize("new.bin"), 0);
  std::string bytes(100, '\0');
  for (int i = 0; i < 100; ++i)
    bytes[i] = char(i * 7);
  EXPECT_EQ(SYS_FileWrite(f, bytes.data(), 100), 0);
  EXPECT_EQ(SYS_FilePutStr(f, "%s=%d", "x", 42), 0);
  SYS_FileClose(f);
  EXPECT_EQ(readFile("new.bin"), bytes + "x=42");

  f = SYS_FileOpen("new.bin", 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->size, 104);
  EXPECT_EQ(SYS_FileSeek(f, 98), 0);
  char tail[16];
  EXPECT_EQ(SYS_FileRead(f, tail, sizeof tail), 6);
  EXPECT_EQ(std::string(tail, 6), bytes.substr(98) + "x=42");
  EXPECT_NE(SYS_FileEof(f), 0);
  EXPECT_EQ(SYS_FileTell(f), 104);
  SYS_FileClose(f);

  f = SYS_FileOpen("new.bin", SYS_FILE_APPEND);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(SYS_FileWrite(f, "!", 1), 0);
  SYS_FileClose(f);
  EXPECT_EQ(readFile("new.bin").back(), '!');
  EXPECT_TRUE(Calls::seen.empty());
}

TEST_F(FileLayer, DiskLinesLoseTheirLineEnds)
{
  writeFile("lines.txt", "abc\r\nxy\n\nlast");
  SYS_File_p f = SYS_FileOpen("lines.txt", SYS_FILE_TEXT);
  ASSERT_NE(f, nullptr);
  char line[64];
  std::vector<std::string> got;
  while (SYS_FileGetStr(f, line, sizeof line) != nullptr)
    got.push_back(line);
  EXPECT_EQ(got, (std::vector<std::string>{"abc", "xy", "", "last"}));
  SYS_FileClose(f);

  // Only a line end is cut: a carriage return inside a last line keeps its text.
  writeFile("cr.txt", "p\rq");
  f = SYS_FileOpen("cr.txt", SYS_FILE_TEXT);
  ASSERT_NE(f, nullptr);
  ASSERT_NE(SYS_FileGetStr(f, line, sizeof line), nullptr);
  EXPECT_STREQ(line, "p\rq");
  SYS_FileClose(f);
}

TEST_F(FileLayer, MissingFileReachesTheCallbackOnlyFromOpen)
{
  EXPECT_EQ(SYS_FileExist("nope.txt"), -1);
  EXPECT_EQ(errGetLastError(), 1);
  EXPECT_EQ(SYS_FileSize("nope.txt"), -1);
  EXPECT_EQ(errGetLastError(), 1);
  EXPECT_TRUE(Calls::seen.empty());

  EXPECT_EQ(SYS_FileOpen("nope.txt", 0), nullptr);
  EXPECT_EQ(errGetLastError(), 11);
  ASSERT_EQ(Calls::seen.size(), 1u);
  EXPECT_EQ(Calls::seen[0], (std::pair<int32_t, std::string>{11, "nope.txt"}));
}

TEST_F(FileLayer, DirectoryDoesNotOpenAsAFile)
{
  fs::create_directory("folder");
  EXPECT_EQ(SYS_FileExist("folder"), 0);  // a directory counts as present
  EXPECT_EQ(SYS_FileOpen("folder", 0), nullptr);
  ASSERT_EQ(Calls::seen.size(), 1u);
  EXPECT_EQ(Calls::seen[0], (std::pair<int32_t, std::string>{2, "folder"}));
}

TEST_F(FileLayer, OpenErrorLogNamesTheMode)
{
  const struct {
    int32_t flags;
    const char *mode;
  } cases[] = {{0, "rb"},
               {SYS_FILE_TEXT, "rt"},
               {SYS_FILE_APPEND | SYS_FILE_TEXT, "at"},
               {SYS_FILE_WRITE, "wb+"},
               {SYS_FILE_WRITE | SYS_FILE_TEXT, "wt+"}};
  fs::create_directory("folder");
  const char *argv[] = {"prog", "-v", "-debug-file"};
  SYS_BaseInit(nullptr, 3, argv, nullptr);
  for (const auto &c : cases)
    EXPECT_EQ(SYS_FileOpen("folder", c.flags), nullptr) << c.mode;
  SYS_BaseDone();
  std::string log = readFile("debug.log");
  for (const auto &c : cases)
    EXPECT_NE(log.find(std::string("file open error: folder (") + c.mode + ") -> "), std::string::npos) << log;
}

TEST_F(FileLayer, BackslashesReachTheDiskAsSlashes)
{
  writeFile("sub/inner.txt", "inner");
  EXPECT_EQ(slurp("sub\\inner.txt"), "inner");
  EXPECT_EQ(SYS_FileSize("sub\\inner.txt"), 5);
}

// Loose file over directory pack over pack file, and the newest pack first.
TEST_F(FileLayer, LooseOverDirectoryPackOverPackFiles)
{
  writeFile("old.dat", buildPack({{"a.txt", "old-a", true}, {"b.txt", "old-b", false}, {"c.txt", "old-c", true},
                                  {"d.txt", "old-d", false}}));
  writeFile("new.dat", buildPack({{"c.txt", "new-c", false}, {"b.txt", "new-b", true}}));
  writeFile("tree/b.txt", "tree-b");
  writeFile("tree/a.txt", "tree-a");
  ASSERT_EQ(SYS_FilePackOpen("old.dat"), 0);
  ASSERT_EQ(SYS_FilePackOpen("new.dat"), 0);
  ASSERT_EQ(SYS_FilePackOpen("tree"), 0);
  writeFile("a.txt", "loose-a");

  EXPECT_EQ(slurp("a.txt"), "loose-a");
  EXPECT_EQ(slurp("b.txt"), "tree-b");
  EXPECT_EQ(slurp("c.txt"), "new-c");
  EXPECT_EQ(slurp("d.txt"), "old-d");
  fs::remove("a.txt");
  EXPECT_EQ(slurp("a.txt"), "tree-a");
  EXPECT_EQ(SYS_FileSize("c.txt"), 5);
  EXPECT_TRUE(Calls::seen.empty());
}

// SYS_FileSize stops at 2 GiB - 1; SYS_FileSize64 gives a larger file's whole size,
// loose or in a directory pack (sparse files here), the same as it below that, a pack
// entry's included, and fails as it does for a missing path.
TEST_F(FileLayer, SizePast2GiB)
{
  writeFile("big.bin", "x");
  fs::resize_file("big.bin", 3000000000u);
  writeFile("tree/inner.bin", "y");
  fs::resize_file("tree/inner.bin", 1ull << 31);
  writeFile("small.dat", buildPack({{"entry.txt", "entry", true}}));
  ASSERT_EQ(SYS_FilePackOpen("tree"), 0);
  ASSERT_EQ(SYS_FilePackOpen("small.dat"), 0);
  EXPECT_EQ(SYS_FileSize("big.bin"), -1);
  EXPECT_EQ(SYS_FileSize64("big.bin"), 3000000000);
  EXPECT_EQ(SYS_FileSize("inner.bin"), -1);
  EXPECT_EQ(SYS_FileSize64("inner.bin"), 1ll << 31);
  EXPECT_EQ(SYS_FileSize64("entry.txt"), 5);
  EXPECT_EQ(SYS_FileSize64("small.dat"), SYS_FileSize("small.dat"));
  EXPECT_EQ(SYS_FileSize64("nope.txt"), -1);
  EXPECT_EQ(errGetLastError(), 1);
  EXPECT_TRUE(Calls::seen.empty());
}

TEST_F(FileLayer, DirectoryPackMapsItsTreeOnce)
{
  writeFile("pack/top.txt", "top");
  writeFile("pack/sub/deep/x.bin", std::string(3000, 'x'));
  fs::create_directory_symlink("..", "pack/sub/loop");  // must not map forever
  for (int i = 0; i < 40; ++i)
    writeFile("pack/many/" + std::to_string(i), std::to_string(i * i));
  ASSERT_EQ(SYS_FilePackOpen("pack/"), 0);
  ASSERT_EQ(SYS_FilePackOpen("pack"), 0);  // same directory: accepted, unchanged
  writeFile("pack/later.txt", "later");

  EXPECT_EQ(slurp("top.txt"), "top");
  EXPECT_EQ(slurp("sub/deep/x.bin"), std::string(3000, 'x'));
  EXPECT_EQ(SYS_FileSize("sub/deep/x.bin"), 3000);
  EXPECT_EQ(SYS_FileExist("sub\\deep\\x.bin"), -1);  // stored names are matched as written
  EXPECT_EQ(SYS_FileExist("later.txt"), -1);
  EXPECT_EQ(SYS_FileExist("sub/loop/top.txt"), -1);
  for (int i = 0; i < 40; ++i)
    EXPECT_EQ(slurp(("many/" + std::to_string(i)).c_str()), std::to_string(i * i));
  fs::remove("pack/top.txt");
  EXPECT_EQ(SYS_FileExist("top.txt"), 0);  // still mapped, but gone from disk
  EXPECT_EQ(SYS_FileOpen("top.txt", 0), nullptr);
  EXPECT_EQ(Calls::seen.size(), 1u);
}

// However the path is written, a directory registered again is neither mapped
// again nor listed twice: no memory is taken and a file added since stays unseen.
TEST_F(FileLayer, SameDirectoryTwiceKeepsOneDirectoryPack)
{
  writeFile("pack/a.txt", "a");
  ASSERT_EQ(SYS_FilePackOpen("pack"), 0);
  writeFile("pack/b.txt", "b");
  long before = trackedBytes();
  for (const char *again : {"pack", "pack/", "pack//"}) {
    EXPECT_EQ(SYS_FilePackOpen(again), 0) << again;
    EXPECT_EQ(trackedBytes(), before) << again;
  }
  EXPECT_EQ(SYS_FileExist("b.txt"), -1);
  EXPECT_EQ(slurp("a.txt"), "a");
  ASSERT_EQ(SYS_FilePackOpen("./pack"), 0);  // another text: a second pack, mapped anew
  EXPECT_EQ(slurp("b.txt"), "b");
}

// A directory whose name begins, or is the beginning of, one registered before is
// another directory: it is mapped too, and both serve their files.
TEST_F(FileLayer, DirectoryNamedByAPrefixOfAnotherIsAPackOfItsOwn)
{
  const struct {
    const char *first, *second;
  } cases[] = {{"prefix-long", "prefix"}, {"stem", "stem-long"}, {"tail2/", "tail"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.first) + " then " + c.second);
    const std::string one = std::string(c.first) + "-one.txt", two = std::string(c.second) + "-two.txt";
    writeFile(std::string(c.first) + "/" + one, "first");
    writeFile(std::string(c.second) + "/" + two, "second");
    ASSERT_EQ(SYS_FilePackOpen(c.first), 0);
    ASSERT_EQ(SYS_FilePackOpen(c.second), 0);
    EXPECT_EQ(slurp(one.c_str()), "first");
    EXPECT_EQ(slurp(two.c_str()), "second");
  }
  EXPECT_TRUE(Calls::seen.empty());
}

TEST_F(FileLayer, DirectoryPackLeavesOutASubdirectoryItCannotList)
{
  writeFile("tree/ok.txt", "ok");
  writeFile("tree/locked/hidden.txt", "x");
  chmod("tree/locked", 0);
  auto check = [] {
    return SYS_FilePackOpen("tree") == 0 && SYS_FileExist("ok.txt") == 0 && SYS_FileExist("locked/hidden.txt") == -1;
  };
  const bool ok = checkUnprivileged(check);
  chmod("tree/locked", 0755);
  EXPECT_TRUE(ok);
}

// Whatever the pack reader's reason, the caller sees 11; the log keeps the reason.
TEST_F(FileLayer, PackOpenThatNoHandlerAcceptsIsNotSupported)
{
  writeFile("magic.dat", "TRVQ" + le32(0) + le32(12));
  writeFile("short.dat", "TR");
  fs::create_directory("adir");
  const char *argv[] = {"prog", "-v"};
  SYS_BaseInit(nullptr, 2, argv, nullptr);
  for (const char *path : {"absent.dat", "magic.dat", "short.dat"}) {
    EXPECT_EQ(SYS_FilePackOpen(path), -1) << path;
    EXPECT_EQ(errGetLastError(), 11) << path;
  }
  EXPECT_EQ(SYS_FilePackOpen(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_FilePackOpen("adir"), 0);  // a directory is a pack
  SYS_BaseDone();
  EXPECT_TRUE(Calls::seen.empty());
  std::string log = readFile("debug.log");
  for (const char *line : {"no handler accepts the pack absent.dat (error 1)\n",
                           "no handler accepts the pack magic.dat (error 12)\n",
                           "no handler accepts the pack short.dat (error 12)\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST_F(FileLayer, PathKinds)
{
  std::string progDir = fs::read_symlink("/proc/self/exe").parent_path().string();
  setenv("HOME", dir_.c_str(), 1);
  setenv("TEMP", "/var/tmp/", 1);
  auto path = [](uint32_t kind, const char *name) {
    char *p = SYS_PathGet(kind, name);
    std::string s = p != nullptr ? p : "<null>";
    SYS_MemFree(&p);
    return s;
  };
  EXPECT_EQ(path(1, ""), progDir + "/");
  EXPECT_EQ(path(1, "quv.dat"), progDir + "/quv.dat");
  EXPECT_EQ(path(2, "a\\b"), dir_.string() + "/a/b");
  EXPECT_EQ(path(3, "x.cfg"), dir_.string() + "/.tarvo/config/x.cfg");
  static const char kBase[] = ".elsewhere";
  SYS_PathSetHomeBase(kBase);
  EXPECT_EQ(path(3, "x.cfg"), dir_.string() + "/.elsewhere/config/x.cfg");
  EXPECT_EQ(path(5, "t"), "/var/tmp/t");
  unsetenv("XDG_DESKTOP_DIR");
  EXPECT_EQ(path(4, "d"), dir_.string() + "/Desktop/d");

  EXPECT_EQ(path(0, "x"), "<null>");
  EXPECT_EQ(errGetLastError(), 0);
  EXPECT_EQ(path(6, "x"), "<null>");
  EXPECT_EQ(errGetLastError(), 10);
  unsetenv("HOME");
  EXPECT_EQ(path(2, ""), progDir + "/");  // no home: the program directory
}

TEST_F(FileLayer, BaseInitLogsHomeAndProgramDirectory)
{
  setenv("HOME", dir_.c_str(), 1);
  const char *argv[] = {"prog", "-v", "-debug-base"};
  SYS_BaseInit(nullptr, 3, argv, nullptr);
  SYS_BaseDone();
  std::string log = readFile("debug.log");
  std::string progDir = fs::read_symlink("/proc/self/exe").parent_path().string();
  EXPECT_NE(log.find("HOME: '" + dir_.string() + "/'"), std::string::npos) << log;
  EXPECT_NE(log.find("SYSTEM DIR: '" + progDir + "/'"), std::string::npos) << log;
}

TEST_F(FileLayer, MkDirCreatesParentsAndReportsFailures)
{
  EXPECT_EQ(SYS_MkDir("a/b\\c"), 0);
  EXPECT_TRUE(fs::is_directory("a/b/c"));
  EXPECT_EQ(SYS_MkDir("a/b/c"), 1);  // exists already
  EXPECT_EQ(SYS_MkDir("solo"), 0);
  EXPECT_EQ(SYS_MkDir("solo"), 1);
  writeFile("plain", "x");
  EXPECT_EQ(SYS_MkDir("plain/under"), 1);
  EXPECT_EQ(SYS_MkDir(""), 1);
}

TEST_F(FileLayer, GlobListsMatchesWithTheFilterDirectory)
{
  for (const char *n : {"g/one.txt", "g/two.txt", "g/three.md", "g/t.txt", "top.md"})
    writeFile(n, "x");
  fs::create_directory("g/dir.txt");  // directories are listed like files
  fs::create_directory("empty");
  auto list = [](const char *filter, int expect) {
    SYS_Glob_p g = nullptr;
    EXPECT_EQ(SYS_Glob(filter, &g), expect) << filter;
    std::vector<std::string> names;
    if (g == nullptr)
      return names;
    for (int32_t i = 0; i < g->count; ++i)
      names.push_back(g->paths[i]);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(SYS_GlobFree(&g), 0);
    EXPECT_EQ(g, nullptr);
    return names;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(list("g/*.txt", 0), (V{"g/dir.txt", "g/one.txt", "g/t.txt", "g/two.txt"}));
  EXPECT_EQ(list("g\\t??.*", 0), (V{"g/two.txt"}));
  EXPECT_EQ(list("*.md", 0), (V{"top.md"}));
  EXPECT_EQ(list("g/*.*", 0).size(), 5u);
  EXPECT_EQ(list("empty/*", 0), V{});
  SYS_Glob_p g = nullptr;
  EXPECT_EQ(SYS_Glob("", &g), -1);
  EXPECT_EQ(SYS_GlobFree(&g), -1);
  EXPECT_EQ(errGetLastError(), 10);
}

// A module reads (*out)->count after a 0: a directory that is missing or no
// directory at all gives an empty listing, with the line that says why.
TEST_F(FileLayer, GlobOfADirectoryThatDoesNotListIsEmpty)
{
  writeFile("plain", "x");
  const char *argv[] = {"prog", "-v", "-debug-file"};
  SYS_BaseInit(nullptr, 3, argv, nullptr);
  for (const char *filter : {"missing/*", "plain/*", "missing/deeper/*.txt"}) {
    SCOPED_TRACE(filter);
    SYS_Glob_p g = nullptr;
    ASSERT_EQ(SYS_Glob(filter, &g), 0);
    EXPECT_EQ(errGetLastError(), 0);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->count, 0);
    EXPECT_EQ(SYS_GlobFree(&g), 0);
  }
  SYS_BaseDone();
  std::string log = readFile("debug.log");
  size_t lines = 0;
  for (size_t at = 0; (at = log.find("[glob] !!! FindFirstFile returned with NULL.\n", at)) != std::string::npos; ++at)
    ++lines;
  EXPECT_EQ(lines, 3u) << log;
  EXPECT_EQ(log.find("file(s) found"), std::string::npos) << log;
}

// A registered directory that cannot be listed is refused, not kept as an empty pack.
TEST_F(FileLayer, DirectoryPackOfAnUnlistableDirectoryIsRefused)
{
  writeFile("shut/inner.txt", "x");
  chmod("shut", 0);
  auto check = [] { return SYS_FilePackOpen("shut") == -1 && errGetLastError() == 11; };
  const bool ok = checkUnprivileged(check);
  chmod("shut", 0755);
  EXPECT_TRUE(ok);
}
