// Named threads and re-entrant mutexes.
//
// Worker threads are registered records that stop cooperatively: SYS_ThreadKill
// raises the stop flag and waits; the thread polls SYS_ThreadExit(own record) and
// ends with SYS_ThreadExit(null) or by returning from its function.
// Depends on: platform/thread, mem, log, list, time (sleep).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/thread.h"

extern "C" {

typedef uint32_t (*SYS_Thread_proc)(void *arg);

enum { SYS_THREAD_CREATED = 0, SYS_THREAD_RUNNING = 1, SYS_THREAD_ENDED = 2, SYS_THREAD_STOPPING = 3 };

typedef struct SYS_Thread_t {
  platThread_t handle;
  std::atomic<int32_t> stop;
  std::atomic<int32_t> state;
  SYS_Thread_proc function;
  void *argument;
  int32_t priority;
  char *name;
  std::atomic<uint32_t> threadId;
} SYS_Thread_t, *SYS_Thread_p, **SYS_Thread_pp;

// A tracked block holding a recursive mutex.
typedef struct SYS_Thread_Mutex_t {
  platMutex_t mutex;
} SYS_Thread_Mutex_t, *SYS_Thread_Mutex_p;

SYS_Thread_Mutex_p SYS_MutexCreate(void);
void SYS_MutexDestroy(SYS_Thread_Mutex_p mutex);
void SYS_MutexLock(SYS_Thread_Mutex_p mutex);
void SYS_MutexUnlock(SYS_Thread_Mutex_p mutex);

// Priority: 0 normal, 1 above normal, 2 highest, -1 below normal, other values the
// system default. Null with error 5 when memory runs out, the name is null or the
// system refuses to start the thread.
SYS_Thread_p SYS_ThreadCreate(SYS_Thread_proc function, void *argument, int32_t priority, const char *name);
// The calling thread's record; ends the process with code 1 for an unregistered thread.
SYS_Thread_p SYS_ThreadSelf(void);
// With a record: 1 when it was asked to stop. With null: ends the calling thread
// at once by jumping back to its start, past every C++ frame in between without
// unwinding: no destructor runs there, so a lock guard stays locked and an object
// that owns memory leaks. Call it with null only where nothing on the thread's
// stack needs destroying (or return from the thread function instead).
int SYS_ThreadExit(SYS_Thread_p thread);
int SYS_ThreadKill(SYS_Thread_p thread);

}  // extern "C"

// First step of SYS_BaseInit and second of SYS_BaseDone.
void SYS_ThreadInit(void);
void SYS_ThreadDone(void);
