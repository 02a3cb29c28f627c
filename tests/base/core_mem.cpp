// Tracked memory: blocks, bad releases, the report, dumps, and two threads at once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/log.h"
#include "base/mem.h"
#include "core_util.h"

using namespace core_test;

class CoreMem : public Scratch {};

static std::string report()
{
  EXPECT_EQ(SYS_MemInfo("report.txt"), 0);
  return readFile("report.txt");
}

TEST_F(CoreMem, BlocksAreZeroedAlignedAndReleasedOnce)
{
  EXPECT_EQ(SYS_MemGet(0, "none"), nullptr);
  EXPECT_EQ(SYS_MemGet(-5, "none"), nullptr);
  EXPECT_NE(report().find("No memory allocated.\n\n\nTotal: 0 bytes\n---\n"), std::string::npos);

  unsigned char *p = static_cast<unsigned char *>(SYS_MemGet(100, "block"));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
  EXPECT_EQ(std::count(p, p + 100, 0), 100);
  EXPECT_EQ(SYS_MemSize(p), 100);
  SYS_MemFree(&p);
  EXPECT_EQ(p, nullptr);
  SYS_MemFree(&p);
  SYS_MemFree(nullptr);
  EXPECT_EQ(SYS_MemSize(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
}

TEST_F(CoreMem, ReallocKeepsTheSmallerSize)
{
  struct Case {
    int32_t from, to;
  } cases[] = {{100, 10}, {10, 100}, {64, 64}};
  for (const Case &c : cases) {
    unsigned char *p = static_cast<unsigned char *>(SYS_MemGet(c.from, "r"));
    for (int32_t i = 0; i < c.from; i++)
      p[i] = static_cast<unsigned char>(i + 1);
    unsigned char *q = static_cast<unsigned char *>(SYS_MemRealloc(&p, c.to, "r2"));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(p, q);
    EXPECT_EQ(SYS_MemSize(q), c.to);
    for (int32_t i = 0; i < c.to; i++)
      ASSERT_EQ(q[i], i < c.from ? i + 1 : 0) << c.from << "->" << c.to << " at " << i;
    EXPECT_EQ(SYS_MemRealloc(&p, 0, "gone"), nullptr);
    EXPECT_EQ(p, nullptr);
  }
  void *fresh = nullptr;
  EXPECT_NE(SYS_MemRealloc(&fresh, 8, "new"), nullptr);
  EXPECT_NE(fresh, nullptr);
  SYS_MemFree(&fresh);
  EXPECT_EQ(SYS_MemRealloc(nullptr, 8, "x"), nullptr);
  EXPECT_NE(report().find("No memory allocated."), std::string::npos);
}

TEST_F(CoreMem, BadReleasesAreReportedWithoutTouchingForeignMemory)
{
  start({"-v"});
  char *p = static_cast<char *>(SYS_MemGet(32, "twice"));
  char *copy = p;
  SYS_MemFree(&p);
  SYS_MemFree(&copy);
  EXPECT_NE(copy, nullptr) << "a bad release leaves the caller's pointer";
  // A system block: its would-be header lies outside the allocation, which the
  // sanitizer build turns into a failure if it is read.
  void *foreign = std::malloc(16);
  void *keep = foreign;
  SYS_MemFree(&foreign);
  EXPECT_EQ(foreign, keep);
  EXPECT_EQ(SYS_MemRealloc(&foreign, 64, "grow"), nullptr);
  EXPECT_EQ(foreign, keep);
  EXPECT_EQ(SYS_MemSize(foreign), -1);
  std::free(keep);
  SYS_BaseDone();

  const std::string log = readFile("debug.log");
  const std::regex entry(
      "\n!!! Already released or corrupted memory area: 0x[0-9a-f]+\n!!!  - data: 0x00000000\n"
      "!!!  - SYS_MemFree position: \\[core_mem\\.cpp:\\d+\\]\n!!!  - SYS_MemGet info: ''\n\n");
  EXPECT_EQ(std::distance(std::sregex_iterator(log.begin(), log.end(), entry), std::sregex_iterator()), 3) << log;
}

TEST_F(CoreMem, BadReleaseWithDfreeEndsTheProcess)
{
  EXPECT_EXIT(
      {
        start({"-debug-dfree"});
        char *p = static_cast<char *>(SYS_MemGet(8, "x"));
        char *copy = p;
        SYS_MemFree(&p);
        SYS_MemFree(&copy);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "error\\.\\.\\.: Memory handler already released, or corrupted\\.");
}

TEST_F(CoreMem, ReportListsNewestFirstWithCutTags)
{
  void *a = SYS_MemGet(10, "first");
  void *b = SYS_MemGet(20, "a tag far longer than any header could ever hold");
  char *s = SYS_StrDup("copied text");
  const std::vector<std::string> l = lines(report());
  ASSERT_GE(l.size(), 10u);
  EXPECT_EQ(l[1], "--- tarvo!korvadyne memory manager");
  EXPECT_TRUE(std::regex_match(l[2], std::regex(R"(--- started : \d{8} \d{6})"))) << l[2];
  EXPECT_EQ(l[4], "Unreleased memory:");
  const std::regex line(R"(\[core_mem\.cpp:\d+\] (.*) -> (\d+) bytes)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(l[6], m, line)) << l[6];
  EXPECT_EQ(m[2], "12");
  EXPECT_EQ(std::string(m[1]).rfind("StrDup: copi", 0), 0u);
  ASSERT_TRUE(std::regex_match(l[7], m, line)) << l[7];
  EXPECT_EQ(m[2], "20");
  EXPECT_EQ(m[0].str().size() - std::string(" -> 20 bytes").size(), 31u) << "tag cut to 31 characters";
  ASSERT_TRUE(std::regex_match(l[8], m, line)) << l[8];
  EXPECT_EQ(m[1], "first");
  EXPECT_EQ(l[11], "Total: 42 bytes");
  EXPECT_EQ(l[12], "---");
  SYS_MemFree(&a);
  SYS_MemFree(&b);
  SYS_MemFree(&s);

  EXPECT_EQ(SYS_MemInfo("no-such-dir/report.txt"), -1);
  EXPECT_EQ(errGetLastError(), 9);
}

TEST_F(CoreMem, DumpWritesTheDataUnderTheTagName)
{
  unsigned char *p = static_cast<unsigned char *>(SYS_MemGet(5, "dumped"));
  std::memcpy(p, "\x01\x02\x00\x04\x05", 5);
  ASSERT_EQ(SYS_MemDump(p), 0);
  int found = 0;
  for (const auto &e : std::filesystem::directory_iterator(".")) {
    const std::string name = e.path().filename().string();
    if (std::regex_match(name, std::regex(R"(\[core_mem\.cpp:\d+\] dumped\.memdump)"))) {
      EXPECT_EQ(readFile(name), std::string("\x01\x02\x00\x04\x05", 5));
      found++;
    }
  }
  EXPECT_EQ(found, 1);
  EXPECT_EQ(SYS_MemDump(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  SYS_MemFree(&p);
}

TEST_F(CoreMem, AllocationLogSkipsTheLogsOwnStamps)
{
  start({"-v", "-debug-memalloc"});
  void *p = SYS_MemGet(4, "watched");
  SYS_DbgLog("after\n");
  SYS_MemFree(&p);
  SYS_BaseDone();
  const std::string log = readFile("debug.log");
  EXPECT_TRUE(std::regex_search(log, std::regex(R"(\n\[mem\]\[mem\.cpp:\d+:_SYS_MemGet\(\)\]  - allocated: 0x[0-9a-f]+ 'watched'\n)")))
      << log;
  EXPECT_EQ(log.find("StrDup: 20"), std::string::npos) << "stamps of log entries are not logged";
}

TEST_F(CoreMem, TwoThreadsHammerTheAllocator)
{
  start({"-v"});
  auto work = [](unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<void *> held(64, nullptr);
    for (int i = 0; i < 20000; i++) {
      void *&slot = held[rng() % held.size()];
      switch (rng() % 4) {
      case 0: SYS_MemFree(&slot); break;
      case 1: SYS_MemRealloc(&slot, static_cast<int32_t>(1 + rng() % 300), "grow"); break;
      default:
        SYS_MemFree(&slot);
        slot = SYS_MemGet(static_cast<int32_t>(1 + rng() % 200), "hammer");
        if (slot)
          static_cast<unsigned char *>(slot)[0] = 1;
      }
      if (i % 2000 == 0)
        SYS_DbgLog("tick\n");
    }
    for (void *&slot : held)
      SYS_MemFree(&slot);
  };
  std::thread t1(work, 1u), t2(work, 2u);
  t1.join();
  t2.join();
  const std::string r = report();
  EXPECT_EQ(r.find("hammer"), std::string::npos) << r.substr(0, 400);
  EXPECT_EQ(r.find("grow"), std::string::npos);
  EXPECT_EQ(readFile("debug.log").find("Already released"), std::string::npos);
  SYS_BaseDone();
}

TEST(CoreMemSystem, PhysicalSizes)
{
  const uint64_t total = SYS_MemTotal(), avail = SYS_MemAvail();
  EXPECT_GT(total, 16u << 20);
  EXPECT_GT(avail, 0u);
  EXPECT_LE(avail, total);
}
