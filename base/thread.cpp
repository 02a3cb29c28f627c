// Named threads and re-entrant mutexes.
//
// Records live in one newest-first list under the thread-list mutex. Stop flag and
// state are atomics: the killer raises the flag, the thread polls it and ends; a
// thread function that simply returns is marked ended by the start routine, so a
// kill never waits for ever. SYS_ThreadExit(null) leaves through the platform's
// exit jump back to the start frame rather than unwinding.
// Depends on: platform/thread, mem, log, list, time.
#include "base/thread.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "base/list.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/time.h"

// 1: critical sections, 0: system mutexes. Both are recursive pthread mutexes here;
// the kind only names the blocks, as the probe at start decided.
static int mutexKind = 1;
static platMutex_t probeSection;
static SYS_List_p threadList = nullptr;
static SYS_Thread_Mutex_p threadListMutex = nullptr;

SYS_Thread_Mutex_p SYS_MutexCreate(void)
{
  SYS_Thread_Mutex_p mutex = static_cast<SYS_Thread_Mutex_p>(
      SYS_MemGet(sizeof(SYS_Thread_Mutex_t), mutexKind ? "SYS_MutexCreate: CS" : "SYS_MutexCreate: Mutex"));
  if (mutex)
    platMutexInit(&mutex->mutex);
  return mutex;
}

void SYS_MutexDestroy(SYS_Thread_Mutex_p mutex)
{
  if (!mutex)
    return;
  platMutexDestroy(&mutex->mutex);
  SYS_MemFree(&mutex);
}

void SYS_MutexLock(SYS_Thread_Mutex_p mutex)
{
  if (mutex)
    platMutexLock(&mutex->mutex);
}

void SYS_MutexUnlock(SYS_Thread_Mutex_p mutex)
{
  if (mutex)
    platMutexUnlock(&mutex->mutex);
}

void SYS_ThreadInit(void)
{
  platMutexInit(&probeSection);
  mutexKind = platMutexTryLock(&probeSection);
  if (mutexKind)
    platMutexUnlock(&probeSection);
  threadListMutex = SYS_MutexCreate();
}

void SYS_ThreadDone(void)
{
  SYS_MutexDestroy(threadListMutex);
  threadListMutex = nullptr;
  platMutexDestroy(&probeSection);
  for (SYS_List_p node = threadList; node; node = node->next) {
    const SYS_Thread_p thread = static_cast<SYS_Thread_p>(node->item);
    SYS_DbgLevelPrintf(2, "[thread][%s:%d:%s()] !!! Unterminated thread: \"%s\"\n", SYS_POS, thread->name);
  }
  // The records stay allocated (the memory shutdown takes them); the list is
  // forgotten so that nothing walks it after that.
  threadList = nullptr;
}

static uint32_t threadStart(void *argument)
{
  const SYS_Thread_p thread = static_cast<SYS_Thread_p>(argument);
  thread->threadId.store(platThreadId());
  platThreadSetName(thread->name);
  if (platThreadSetPriority(thread->priority) != 0)
    SYS_DbgLevelPrintf(2, "[thread][%s:%d:%s()] priority %d refused: \"%s\"\n", SYS_POS, thread->priority,
                       thread->name);
  const uint32_t result = thread->function(thread->argument);
  thread->state.store(SYS_THREAD_ENDED);
  return result;
}

static void releaseRecord(SYS_Thread_p thread)
{
  SYS_MemFree(&thread->name);
  thread->~SYS_Thread_t();
  SYS_MemFree(&thread);
}

SYS_Thread_p SYS_ThreadCreate(SYS_Thread_proc function, void *argument, int32_t priority, const char *name)
{
  errClear();
  if (!function)
    return errSetLastError(10), nullptr;
  void *block = SYS_MemGet(sizeof(SYS_Thread_t), "SYS_ThreadCreate: new entry");
  char *copy = SYS_StrDup(name);
  if (!block || !copy) {
    SYS_MemFree(&block);
    SYS_MemFree(&copy);
    return errSetLastError(5), nullptr;
  }
  SYS_Thread_p thread = new (block) SYS_Thread_t{};
  thread->state.store(SYS_THREAD_CREATED);
  thread->function = function;
  thread->argument = argument;
  thread->priority = priority;
  thread->name = copy;

  SYS_MutexLock(threadListMutex);
  const SYS_List_p head = SYS_ListAddFirst(threadList, thread);
  const bool listed = head != threadList;
  threadList = head;
  SYS_MutexUnlock(threadListMutex);
  if (!listed) {
    releaseRecord(thread);
    return errSetLastError(5), nullptr;
  }
  SYS_DbgLevelPrintf(2, "[thread][%s:%d:%s()] create thread: \"%s\"\n", SYS_POS, thread->name);

  thread->state.store(SYS_THREAD_RUNNING);
  if (platThreadStart(&thread->handle, threadStart, thread) != 0) {
    SYS_DbgLevelPrintf(2, "[thread][%s:%d:%s()] cannot start thread: \"%s\"\n", SYS_POS, thread->name);
    SYS_MutexLock(threadListMutex);
    threadList = SYS_ListDelItem(threadList, thread);
    SYS_MutexUnlock(threadListMutex);
    releaseRecord(thread);
    return errSetLastError(5), nullptr;
  }
  SYS_DbgLevelPrintf(2, "[thread][%s:%d:%s()] thread created: \"%s\" (priority: %d)\n", SYS_POS, thread->name,
                     priority);
  return thread;
}

SYS_Thread_p SYS_ThreadSelf(void)
{
  const uint32_t id = platThreadId();
  SYS_Thread_p found = nullptr;
  SYS_MutexLock(threadListMutex);
  SYS_Sleep(25);
  for (SYS_List_p node = threadList; node && !found; node = node->next) {
    const SYS_Thread_p thread = static_cast<SYS_Thread_p>(node->item);
    if (thread->threadId.load() == id)
      found = thread;
  }
  SYS_MutexUnlock(threadListMutex);
  if (!found) {
    SYS_DbgPrintf(1, "[thread] (%s:%d) !!! list is NULL\n", __FILE_NAME__, __LINE__);
    std::fflush(nullptr);
    std::_Exit(1);
  }
  return found;
}

int SYS_ThreadExit(SYS_Thread_p thread)
{
  const SYS_Thread_p self = SYS_ThreadSelf();
  errClear();
  if (thread)
    return thread->stop.load() || thread->state.load() == SYS_THREAD_STOPPING ? 1 : 0;
  self->stop.store(0);
  self->state.store(SYS_THREAD_ENDED);
  SYS_DbgLevelPrintf(2, "[thread][%s:%d:%s()] [SYS_ThreadExit] thread: '%s' state: %d\n", SYS_POS, self->name,
                     self->state.load());
  platThreadExit(0);
}

int SYS_ThreadKill(SYS_Thread_p thread)
{
  errClear();
  if (!thread)
    return errSetLastError(10), -1;
  SYS_DbgLevelPrintf(2, "[thread][%s:%d:%s()] [SYS_ThreadKill] terminate thread: \"%s\"\n", SYS_POS, thread->name);
  // Only a thread that has not ended is marked as asked to stop; the exchange keeps
  // an end that races with this from being overwritten.
  int32_t state = thread->state.load();
  while (state != SYS_THREAD_ENDED && !thread->state.compare_exchange_weak(state, SYS_THREAD_STOPPING)) {
  }
  thread->stop.store(1);
  if (thread->handle) {
    platThreadJoin(thread->handle);
    thread->handle = nullptr;
  }
  for (;;) {
    state = thread->state.load();
    SYS_DbgLevelPrintf(2, "[thread][%s:%d:%s()] [SYS_ThreadKill] thread: '%s' state: %d\n", SYS_POS, thread->name,
                       state);
    if (state == SYS_THREAD_ENDED)
      break;
    SYS_Sleep(100);
  }
  SYS_MutexLock(threadListMutex);
  threadList = SYS_ListDelItem(threadList, thread);
  SYS_MutexUnlock(threadListMutex);
  releaseRecord(thread);
  return 0;
}
