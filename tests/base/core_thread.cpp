// Named threads and re-entrant mutexes.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/log.h"
#include "base/thread.h"
#include "base/time.h"
#include "core_util.h"

using namespace core_test;

class CoreThread : public Scratch {
protected:
  void SetUp() override
  {
    Scratch::SetUp();
    start({"-v"});
  }
  void TearDown() override
  {
    SYS_BaseDone();
    Scratch::TearDown();
  }
  std::string log() { return readFile("debug.log"); }
};

namespace {
std::atomic<int> rounds{0};
std::atomic<bool> afterExitRan{false};

uint32_t cooperative(void *)
{
  SYS_Thread_p self = SYS_ThreadSelf();
  while (!SYS_ThreadExit(self))
    rounds++;
  SYS_ThreadExit(nullptr);
  afterExitRan = true;
  return 5;
}

uint32_t returnsAtOnce(void *arg)
{
  static_cast<std::atomic<int> *>(arg)->store(platThreadId() != 0 ? 1 : -1);
  return 3;
}
}  // namespace

TEST_F(CoreThread, StopsCooperativelyWhenKilled)
{
  SYS_Thread_p t = SYS_ThreadCreate(cooperative, nullptr, 0, "cooperative");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->state.load(), SYS_THREAD_RUNNING);
  while (rounds.load() < 2)
    SYS_Sleep(5);
  EXPECT_EQ(SYS_ThreadKill(t), 0);
  EXPECT_FALSE(afterExitRan.load());
  SYS_BaseDone();
  const std::string text = log();
  for (const char *line :
       {R"(\[thread\]\[thread\.cpp:\d+:SYS_ThreadCreate\(\)\] create thread: "cooperative"\n)",
        R"(\[thread\]\[thread\.cpp:\d+:SYS_ThreadCreate\(\)\] thread created: "cooperative" \(priority: 0\)\n)",
        R"(\[thread\]\[thread\.cpp:\d+:SYS_ThreadKill\(\)\] \[SYS_ThreadKill\] terminate thread: "cooperative"\n)",
        R"(\[thread\]\[thread\.cpp:\d+:SYS_ThreadExit\(\)\] \[SYS_ThreadExit\] thread: 'cooperative' state: 2\n)",
        R"(\[thread\]\[thread\.cpp:\d+:SYS_ThreadKill\(\)\] \[SYS_ThreadKill\] thread: 'cooperative' state: 2\n)"})
    EXPECT_TRUE(std::regex_search(text, std::regex(line))) << line << "\n" << text;
  EXPECT_EQ(text.find("Unterminated"), std::string::npos);
  start({"-v"});
}

TEST_F(CoreThread, ThreadThatReturnsIsCollectedAtOnce)
{
  std::atomic<int> ran{0};
  SYS_Thread_p t = SYS_ThreadCreate(returnsAtOnce, &ran, 5, "short");
  ASSERT_NE(t, nullptr);
  while (t->state.load() != SYS_THREAD_ENDED)
    SYS_Sleep(1);
  EXPECT_EQ(SYS_ThreadKill(t), 0);
  EXPECT_EQ(ran.load(), 1);
  // One look at the state suffices: the kill never waits for an ended thread.
  const std::string text = log();
  const std::regex state(R"(\[SYS_ThreadKill\] thread: 'short' state: (\d)\n)");
  std::vector<std::string> states;
  for (auto m = std::sregex_iterator(text.begin(), text.end(), state); m != std::sregex_iterator(); ++m)
    states.push_back((*m)[1]);
  EXPECT_EQ(states, std::vector<std::string>{"2"});
}

TEST_F(CoreThread, PriorityIsAppliedOrTheRefusalLogged)
{
  struct Case {
    int32_t priority;
    int nice;  // relative to the process's own
  } cases[] = {{5, 0}, {0, 0}, {-1, 5}, {2, -10}};
  const int base = platThreadNice();
  for (const Case &c : cases) {
    static std::atomic<int> seen;
    seen = 1000;
    SYS_Thread_p t = SYS_ThreadCreate(
        [](void *) -> uint32_t {
          seen = platThreadNice();
          return 0;
        },
        nullptr, c.priority, "prio");
    ASSERT_NE(t, nullptr);
    SYS_ThreadKill(t);
    const bool refused =
        log().find("priority " + std::to_string(c.priority) + " refused: \"prio\"") != std::string::npos;
    if (refused)
      EXPECT_EQ(seen.load(), base) << c.priority;
    else
      EXPECT_EQ(seen.load(), std::min(19, base + c.nice)) << c.priority;
    EXPECT_TRUE(!refused || c.nice < 0) << "only raising may be refused";
  }
}

TEST_F(CoreThread, BadArgumentsAreRefused)
{
  EXPECT_EQ(SYS_ThreadCreate(returnsAtOnce, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(errGetLastError(), 5);
  EXPECT_EQ(SYS_ThreadCreate(nullptr, nullptr, 0, "none"), nullptr);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_ThreadKill(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
}

TEST_F(CoreThread, SelfFromAnUnregisteredThreadEndsTheProcess)
{
  EXPECT_EXIT(SYS_ThreadSelf(), ::testing::ExitedWithCode(1), "");
  EXPECT_TRUE(std::regex_search(log(), std::regex(R"(\[thread\] \(thread\.cpp:\d+\) !!! list is NULL\n)")));
}

TEST_F(CoreThread, MutexIsReentrantAndFreeAfterMatchingUnlocks)
{
  SYS_Thread_Mutex_p m = SYS_MutexCreate();
  ASSERT_NE(m, nullptr);
  auto otherThreadTakes = [m] {
    int taken = 0;
    std::thread([&] {
      taken = platMutexTryLock(&m->mutex);
      if (taken)
        platMutexUnlock(&m->mutex);
    }).join();
    return taken;
  };
  SYS_MutexLock(m);
  SYS_MutexLock(m);
  SYS_MutexUnlock(m);
  EXPECT_EQ(otherThreadTakes(), 0);
  SYS_MutexUnlock(m);
  EXPECT_EQ(otherThreadTakes(), 1);
  SYS_MutexDestroy(m);
  SYS_MutexLock(nullptr);
  SYS_MutexUnlock(nullptr);
  SYS_MutexDestroy(nullptr);
}
