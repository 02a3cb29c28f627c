// Pack files: a fixture laid out byte by byte, entry semantics (sizes, seeks,
// lines, empty entries, two handles on one entry), every malformed-pack case in
// one table, and round trips through korv-packwriter.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "base/file-pack.h"
#include "base/main.h"
#include "base/mem.h"
#include "files_util.h"

using namespace files_test;

namespace {

const std::string kText = "first line\r\nsecond\nthird without end";

// Header, four entries (plain, stored-deflate block, empty, nested name), catalog
// as one stored-deflate block: every byte is placed here, none by a compressor.
std::string handBuiltPack()
{
  std::string zipped = block(uint32_t(kText.size()), storedStream(kText));
  std::string data = kText + zipped + "sub-content";
  uint32_t at = 12;
  std::string catalog = record(uint32_t(kText.size()), at, 0, "plain.txt") +
                        record(uint32_t(zipped.size()), at + uint32_t(kText.size()), 1, "zipped.txt") +
                        record(0, 0, 0xFE /* only bit 0 counts */, "empty") +
                        record(11, at + uint32_t(kText.size() + zipped.size()), 0, "sub/deep.txt");
  return "TRVP" + le32(4) + le32(uint32_t(12 + data.size())) + data +
         block(uint32_t(catalog.size()), storedStream(catalog));
}

}  // namespace

using PackFile = Scratch;

TEST_F(PackFile, HandBuiltFixtureReads)
{
  writeFile("fixture.dat", handBuiltPack());
  ASSERT_EQ(SYS_FilePackOpen("fixture.dat"), 0);
  EXPECT_EQ(slurp("plain.txt"), kText);
  EXPECT_EQ(slurp("zipped.txt"), kText);
  EXPECT_EQ(slurp("sub/deep.txt"), "sub-content");
  EXPECT_EQ(slurp("empty"), "");
  EXPECT_EQ(SYS_FileSize("plain.txt"), int32_t(kText.size()));
  EXPECT_EQ(SYS_FileSize("zipped.txt"), int32_t(kText.size()));  // the raw size, not the stored one
  EXPECT_EQ(SYS_FileSize("empty"), 0);
  SYS_Pack_t *pack = SYS_FindPack("zipped.txt");
  ASSERT_NE(pack, nullptr);
  EXPECT_EQ(pack->count, 4);
  EXPECT_STREQ(pack->path, "fixture.dat");
  EXPECT_EQ(SYS_FindPack("absent"), nullptr);
  EXPECT_TRUE(Calls::seen.empty());
}

// A name must match whole: with a prefix pair in either catalog order, each name gets
// its own bytes and size, not those of the neighbour that starts or ends like it.
TEST_F(PackFile, NamesThatArePrefixesOfOthersFindTheirOwnEntries)
{
  writeFile("longer-first.dat", buildPack({{"a.txt.bak", "backup copy", false}, {"a.txt", "current", true}}));
  writeFile("shorter-first.dat", buildPack({{"b.txt", "bee", true}, {"b.txt.bak", "older bee file", false}}));
  ASSERT_EQ(SYS_FilePackOpen("longer-first.dat"), 0);
  ASSERT_EQ(SYS_FilePackOpen("shorter-first.dat"), 0);
  const struct {
    const char *name;
    const char *content;
  } cases[] = {{"a.txt", "current"}, {"a.txt.bak", "backup copy"}, {"b.txt", "bee"}, {"b.txt.bak", "older bee file"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(slurp(c.name), c.content);
    EXPECT_EQ(SYS_FileSize(c.name), int32_t(strlen(c.content)));
  }
  for (const char *absent : {"a", "a.tx", "a.txt.b", "a.txt.bak2"}) {
    SCOPED_TRACE(absent);
    EXPECT_EQ(SYS_FindPack(absent), nullptr);
    EXPECT_EQ(SYS_FileExist(absent), -1);
  }
}

TEST_F(PackFile, EntryPositionsSeeksAndLines)
{
  writeFile("fixture.dat", handBuiltPack());
  ASSERT_EQ(SYS_FilePackOpen("fixture.dat"), 0);
  for (const char *name : {"plain.txt", "zipped.txt"}) {
    SCOPED_TRACE(name);
    SYS_File_p f = SYS_FileOpen(name, 0);
    ASSERT_NE(f, nullptr);
    int32_t size = f->size;
    char buffer[64];
    EXPECT_EQ(SYS_FileSeek(f, size - 4), 0);
    EXPECT_EQ(SYS_FileRead(f, buffer, 10), 4);
    EXPECT_EQ(std::string(buffer, 4), " end");
    EXPECT_EQ(SYS_FileRead(f, buffer, 10), 0);
    EXPECT_EQ(SYS_FileTell(f), size);
    EXPECT_NE(SYS_FileEof(f), 0);
    EXPECT_EQ(SYS_FileSeek(f, size), 0);
    EXPECT_EQ(SYS_FileTell(f), size);
    EXPECT_EQ(SYS_FileSeek(f, size + 100), 0);
    EXPECT_EQ(SYS_FileTell(f), size - 1);
    EXPECT_EQ(SYS_FileSeek(f, -1), -1);

    EXPECT_EQ(SYS_FileSeek(f, 0), 0);
    std::vector<std::string> lines;
    while (SYS_FileGetStr(f, buffer, sizeof buffer) != nullptr)
      lines.push_back(buffer);
    EXPECT_EQ(lines, (std::vector<std::string>{"first line\r\n", "second\n", "third without end"}));
    EXPECT_EQ(SYS_FileSeek(f, 0), 0);
    EXPECT_STREQ(SYS_FileGetStr(f, buffer, 6), "first");  // cut at size - 1

    EXPECT_EQ(SYS_FilePutStr(f, "x"), -1);
    EXPECT_EQ(errGetLastError(), 11);
    EXPECT_EQ(SYS_FileWrite(f, "x", 1), -1);
    SYS_FileClose(f);
  }
  EXPECT_EQ(SYS_FileOpen("plain.txt", SYS_FILE_WRITE), nullptr);
  ASSERT_EQ(Calls::seen.size(), 1u);
  EXPECT_EQ(Calls::seen[0].first, 11);

  SYS_File_p empty = SYS_FileOpen("empty", 0);
  ASSERT_NE(empty, nullptr);
  char c;
  EXPECT_EQ(SYS_FileRead(empty, &c, 1), 0);
  EXPECT_NE(SYS_FileEof(empty), 0);
  EXPECT_EQ(SYS_FileSeek(empty, 5), 0);
  EXPECT_EQ(SYS_FileTell(empty), 0);
  SYS_FileClose(empty);
}

TEST_F(PackFile, TwoHandlesOnOneEntryKeepTheirOwnPositions)
{
  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = char(i * 31 + (i >> 9));
  writeFile("two.dat", buildPack({{"big.bin", big, true}}));
  ASSERT_EQ(SYS_FilePackOpen("two.dat"), 0);
  SYS_File_p a = SYS_FileOpen("big.bin", 0);
  SYS_File_p b = SYS_FileOpen("big.bin", 0);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  std::string ra(1000, '\0'), rb(1000, '\0');
  EXPECT_EQ(SYS_FileRead(a, ra.data(), 1000), 1000);
  EXPECT_EQ(SYS_FileTell(b), 0);
  SYS_FileClose(a);  // b still reads what a had loaded
  EXPECT_EQ(SYS_FileRead(b, rb.data(), 1000), 1000);
  EXPECT_EQ(ra, rb);
  EXPECT_EQ(SYS_FileSeek(b, 150000), 0);
  EXPECT_EQ(SYS_FileRead(b, rb.data(), 1000), 1000);
  EXPECT_EQ(rb, big.substr(150000, 1000));
  SYS_FileClose(b);
  EXPECT_EQ(slurp("big.bin"), big);  // reloaded after the last close
}

namespace {

struct Malformed {
  const char *what;
  std::string bytes;
  int32_t packError;     // -1 when the pack registers
  const char *entry;     // with packError -1: this entry must not open...
  int32_t entryError;    // ...with this code
};

std::string catalogOf(const std::string &records)
{
  return block(uint32_t(records.size()), deflated(records));
}

std::vector<Malformed> malformedCases()
{
  std::string good = buildPack({{"a.txt", "alpha alpha alpha alpha", true}, {"b.txt", "bravo", false}});
  std::vector<Malformed> v;
  v.push_back({"bad magic", "TRVQ" + good.substr(4), 12, nullptr, 0});
  v.push_back({"empty file", "", 12, nullptr, 0});
  v.push_back({"truncated header", good.substr(0, 9), 12, nullptr, 0});
  {
    std::string s = good;
    s.replace(8, 4, le32(uint32_t(s.size() + 10)));
    v.push_back({"catalog past the end", s, 8, nullptr, 0});
  }
  {
    std::string s = good;
    s.replace(8, 4, le32(4));
    v.push_back({"catalog inside the header", s, 8, nullptr, 0});
  }
  v.push_back({"catalog cut short", good.substr(0, good.size() - 3), 8, nullptr, 0});
  {
    // Damage that zlib itself sees (the header's CRC field is not compared).
    size_t stream = readLe32(good, 8) + 12;  // the catalog block's stream
    std::string s = good;
    s[stream + (s.size() - stream) / 2] ^= 0x10;
    v.push_back({"catalog stream damaged", s, 8, nullptr, 0});
    s = good;
    s.back() ^= 0x01;
    v.push_back({"catalog Adler-32 wrong", s, 8, nullptr, 0});
  }
  {
    std::string s = good;
    s.replace(4, 4, le32(1000000));
    v.push_back({"count beyond the catalog", s, 8, nullptr, 0});
  }
  {
    std::string recs = record(1, 12, 0, "name");
    recs.resize(recs.size() - 2);  // the name runs past the catalog
    v.push_back({"name past the catalog", "TRVP" + le32(1) + le32(12) + catalogOf(recs), 8, nullptr, 0});
  }
  {
    std::string data = "0123456789";
    std::string recs = record(10, 12, 0, "ok.txt") + record(5000, 14, 0, "long.txt") +
                       record(4, 0xFFFFFFF0u, 0, "far.txt");
    std::string s = "TRVP" + le32(3) + le32(22) + data + catalogOf(recs);
    v.push_back({"entry past the end", s, -1, "long.txt", 3});
    v.push_back({"entry offset beyond the file", s, -1, "far.txt", 3});
  }
  {
    std::string stream = deflated(std::string(5000, 'z'));
    std::string blk = block(5000, stream);
    blk[12 + stream.size() / 2] ^= 0x01;
    std::string recs = record(uint32_t(blk.size()), 12, 1, "z.bin");
    v.push_back({"entry stream damaged", "TRVP" + le32(1) + le32(uint32_t(12 + blk.size())) + blk + catalogOf(recs),
                 -1, "z.bin", 8});
  }
  {
    std::string blk = block(6000, deflated(std::string(5000, 'z')));  // claims more than it holds
    std::string recs = record(uint32_t(blk.size()), 12, 1, "z.bin");
    v.push_back({"entry block raw size lies", "TRVP" + le32(1) + le32(uint32_t(12 + blk.size())) + blk + catalogOf(recs),
                 -1, "z.bin", 8});
  }
  {
    std::string recs = record(5, 12, 1, "tiny.bin");  // compressed, shorter than a block header
    v.push_back({"entry block shorter than its header", "TRVP" + le32(1) + le32(17) + "abcde" + catalogOf(recs), -1,
                 "tiny.bin", 3});
  }
  return v;
}

}  // namespace

TEST_F(PackFile, MalformedPacksAreRefused)
{
  int i = 0;
  for (const Malformed &m : malformedCases()) {
    SCOPED_TRACE(m.what);
    std::string name = "bad" + std::to_string(i++) + ".dat";
    writeFile(name, m.bytes);
    Calls::seen.clear();
    if (m.packError >= 0) {
      EXPECT_EQ(SYS_PackFileHandler.packopen(name.c_str()), -1);
      EXPECT_EQ(errGetLastError(), m.packError);  // the reader's own reason...
      EXPECT_EQ(SYS_FilePackOpen(name.c_str()), -1);
      EXPECT_EQ(errGetLastError(), 11);  // ...which the layer reports as not supported
      EXPECT_EQ(SYS_FindPack("a.txt"), nullptr);
      EXPECT_TRUE(Calls::seen.empty());
      continue;
    }
    ASSERT_EQ(SYS_FilePackOpen(name.c_str()), 0);
    EXPECT_EQ(SYS_FileExist(m.entry), 0);
    EXPECT_EQ(SYS_FileOpen(m.entry, 0), nullptr);
    ASSERT_EQ(Calls::seen.size(), 1u);
    EXPECT_EQ(Calls::seen[0], (std::pair<int32_t, std::string>{m.entryError, m.entry}));
  }
  EXPECT_EQ(slurp("ok.txt"), "0123456789");  // a bad entry spoils only itself
}

// Packs from other writers: CRC fields left 0 or wrong, streams padded behind
// their end. The streams are sound, so the pack and its entries read.
TEST_F(PackFile, BlocksWithAnUncheckedCrcFieldRead)
{
  auto sloppy = [](uint32_t raw, const std::string &stream, uint32_t crc) {
    return le32(raw) + le32(uint32_t(stream.size())) + le32(crc) + stream;
  };
  std::string text(3000, 't');
  std::string entry = sloppy(uint32_t(text.size()), deflated(text) + std::string(7, '\0'), 0);
  std::string records = record(uint32_t(entry.size()), 12, 1, "t.txt") +
                        record(5, uint32_t(12 + entry.size()), 0, "p.txt");
  std::string catalog = sloppy(uint32_t(records.size()), deflated(records), 0x12345678);
  writeFile("sloppy.dat", "TRVP" + le32(2) + le32(uint32_t(12 + entry.size() + 5)) + entry + "plain" + catalog);
  ASSERT_EQ(SYS_FilePackOpen("sloppy.dat"), 0);
  EXPECT_TRUE(slurp("t.txt") == text);
  EXPECT_EQ(SYS_FileSize("t.txt"), 3000);
  EXPECT_EQ(slurp("p.txt"), "plain");
  EXPECT_TRUE(Calls::seen.empty());
}

TEST_F(PackFile, UnreadablePackReturnsWithoutTheCallback)
{
  writeFile("locked.dat", buildPack({{"a", "a", false}}));
  chmod("locked.dat", 0);
  auto check = [] {
    int r = SYS_FilePackOpen("locked.dat");
    int32_t code = errGetLastError();
    return r == -1 && code == 11 && Calls::seen.empty();
  };
  EXPECT_TRUE(checkUnprivileged(check));
}

namespace {

int runWriter(const fs::path &folder, const fs::path &pack)
{
  std::string command = std::string("'") + KORV_PACKWRITER + "' '" + folder.string() + "' '" + pack.string() +
                        "' > /dev/null";
  return std::system(command.c_str());
}

}  // namespace

TEST_F(PackFile, WriterRoundTrip)
{
  std::mt19937 rng(7);
  std::string noise(70000, '\0');
  for (char &c : noise)
    c = char(rng());
  std::string text;
  while (text.size() < 1 << 20)
    text += "the quick brown fox " + std::to_string(text.size() % 977) + "\n";
  std::vector<std::pair<std::string, std::string>> files = {
      {"empty.txt", ""}, {"noise.bin", noise}, {"text.txt", text}, {"sub/dir/nested.ife", "# layers\n1 0\n"}};
  for (auto &[name, content] : files)
    writeFile("content/" + name, content);

  ASSERT_EQ(runWriter("content", "out.dat"), 0);
  ASSERT_EQ(runWriter("content/", "again.dat"), 0);
  EXPECT_EQ(readFile("out.dat"), readFile("again.dat"));  // same folder, same bytes
  EXPECT_FALSE(fs::exists("out.dat.tmp"));
  ASSERT_EQ(SYS_FilePackOpen("out.dat"), 0);
  for (auto &[name, content] : files) {
    SCOPED_TRACE(name);
    EXPECT_EQ(SYS_FileSize(name.c_str()), int32_t(content.size()));
    EXPECT_TRUE(slurp(name.c_str()) == content);
  }
  SYS_Pack_t *pack = SYS_FindPack("text.txt");
  ASSERT_NE(pack, nullptr);
  for (int32_t i = 0; i < pack->count; ++i) {
    const SYS_PackEntry_t &e = pack->entries[i];
    bool shouldCompress = std::string(e.name) == "text.txt";  // the rest would not shrink
    EXPECT_EQ(e.flags & SYS_PACK_COMPRESSED, shouldCompress ? 1 : 0) << e.name;
  }
  EXPECT_LT(fs::file_size("out.dat"), text.size() / 4 + noise.size() + 1000);
}

TEST_F(PackFile, WriterEmptyFolderGivesAnEmptyPack)
{
  fs::create_directory("nothing");
  ASSERT_EQ(runWriter("nothing", "empty.dat"), 0);
  EXPECT_EQ(readFile("empty.dat").substr(0, 8), "TRVP" + le32(0));
  EXPECT_EQ(SYS_FilePackOpen("empty.dat"), 0);
  EXPECT_NE(runWriter("not-there", "x.dat"), 0);
  EXPECT_FALSE(fs::exists("x.dat"));
}

// A folder the writer cannot read must fail the build, not leave its files out.
TEST_F(PackFile, WriterRefusesAFolderItCannotList)
{
  writeFile("content/ok.txt", "ok");
  writeFile("content/shut/inner.txt", "x");
  fs::create_directory("out");
  chmod("out", 0777);
  chmod("content/shut", 0);
  chmod(dir_.c_str(), 0755);
  // Root lists whatever the mode says: the writer runs as nobody, who may not reach
  // the build tree (a checkout in a private folder), so it runs from a copy in the
  // scratch folder; the sanitizer's suppression file lies in the checkout too, and
  // the writer needs none.
  fs::copy_file(KORV_PACKWRITER, "packwriter");
  std::string command = "./packwriter content out/p.dat 2> out/err.txt > /dev/null";
  if (geteuid() == 0)
    command = "setpriv --reuid=65534 --regid=65534 --clear-groups env -u LSAN_OPTIONS sh -c '" + command + "'";
  int status = std::system(command.c_str());
  chmod("content/shut", 0755);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_NE(readFile("out/err.txt").find("cannot list content/shut"), std::string::npos) << readFile("out/err.txt");
  EXPECT_FALSE(fs::exists("out/p.dat"));
}

TEST_F(PackFile, FoundThroughTheProgramDirectoryFromAnyWorkingDirectory)
{
  fs::path beside = fs::read_symlink("/proc/self/exe").parent_path() / ("beside-" + std::to_string(getpid()) + ".dat");
  writeFile(beside, buildPack({{"only-in-pack.txt", "found", true}}));
  char *path = SYS_PathGet(1, beside.filename().c_str());
  ASSERT_NE(path, nullptr);
  int r = SYS_FilePackOpen(path);
  SYS_MemFree(&path);
  fs::remove(beside);  // the pack stays open
  ASSERT_EQ(r, 0);
  EXPECT_EQ(slurp("only-in-pack.txt"), "found");
}

// A registered pack keeps its file open; the shutdown gives the descriptors back,
// so a framework started again does not pile them up.
TEST_F(PackFile, ShutdownClosesThePackFiles)
{
  writeFile("a.dat", buildPack({{"a.txt", "alpha", true}}));
  writeFile("b.dat", buildPack({{"b.txt", "bravo", false}}));
  auto descriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
  };
  const char *argv[] = {"prog"};
  const auto before = descriptors();
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    SYS_BaseInit(nullptr, 1, argv, nullptr);
    ASSERT_EQ(SYS_FilePackOpen("a.dat"), 0);
    ASSERT_EQ(SYS_FilePackOpen("b.dat"), 0);
    SYS_File_p left = SYS_FileOpen("a.txt", 0);  // an entry still open at the shutdown
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(slurp("b.txt"), "bravo");
    EXPECT_EQ(descriptors(), before + 2);
    SYS_BaseDone();
    EXPECT_EQ(descriptors(), before);
    EXPECT_EQ(SYS_FindPack("a.txt"), nullptr);
  }
}

TEST_F(PackFile, FileLayerLogLines)
{
  writeFile("logged.dat", buildPack({{"l.txt", "logged", true}}));
  const char *argv[] = {"prog", "-v", "-debug-file"};
  SYS_BaseInit(nullptr, 3, argv, nullptr);
  ASSERT_EQ(SYS_FilePackOpen("logged.dat"), 0);
  EXPECT_EQ(slurp("l.txt"), "logged");
  SYS_BaseDone();
  std::string log = readFile("debug.log");
  for (const char *line : {"[file-pack][file-pack.cpp:", " - number of entries: 1\n", "     - l.txt\n",
                           "[file][file.cpp:", "opening l.txt...\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST_F(PackFile, OperationsLeaveNoTrackedMemoryBehind)
{
  writeFile("keep.dat", buildPack({{"z.txt", std::string(5000, 'q'), true}, {"p.txt", "plain", false}}));
  ASSERT_EQ(SYS_FilePackOpen("keep.dat"), 0);
  writeFile("g/a.txt", "a");
  long before = trackedBytes();

  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(slurp("z.txt").size(), 5000u);
    EXPECT_EQ(slurp("p.txt"), "plain");
    EXPECT_EQ(slurp("g/a.txt"), "a");
    EXPECT_EQ(slurp("missing"), "<null>");
    SYS_Glob_p g = nullptr;
    ASSERT_EQ(SYS_Glob("g/*", &g), 0);
    SYS_GlobFree(&g);
    ASSERT_EQ(SYS_Glob("nowhere/*", &g), 0);
    SYS_GlobFree(&g);
    char *p = SYS_PathGet(3, "x");
    SYS_MemFree(&p);
    for (const Malformed &m : malformedCases()) {
      if (m.packError < 0)
        continue;
      writeFile("bad.dat", m.bytes);
      EXPECT_EQ(SYS_FilePackOpen("bad.dat"), -1) << m.what;
    }
  }
  EXPECT_EQ(trackedBytes(), before);
}
