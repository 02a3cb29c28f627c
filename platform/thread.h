// Threads and recursive mutexes.
//
// Mutexes are recursive: the holder may lock again and needs one unlock per lock.
// The storage is opaque so that callers can embed or allocate it without seeing
// pthread. A thread started here may leave early with platThreadExit, which jumps
// back to its start frame instead of unwinding (no pthread_exit through C++ frames).
// Depends on: pthread, Linux gettid/setpriority.
#pragma once

#include <cstdint>

struct platMutex_t {
  alignas(16) unsigned char storage[64];
};

void platMutexInit(platMutex_t *mutex);
void platMutexDestroy(platMutex_t *mutex);
void platMutexLock(platMutex_t *mutex);
void platMutexUnlock(platMutex_t *mutex);
// 1 when taken (also again by its holder), 0 when another thread holds it.
int platMutexTryLock(platMutex_t *mutex);

typedef struct platThread_s *platThread_t;
typedef uint32_t (*platThreadProc_t)(void *arg);

// Starts the thread at once; 0 and *thread set, or -1 when the system refuses.
int platThreadStart(platThread_t *thread, platThreadProc_t proc, void *arg);
// Waits for the thread to end, releases the handle; the result of its function.
uint32_t platThreadJoin(platThread_t thread);
// Ends the calling thread with result, back in the frame of platThreadStart's
// trampoline; frames in between are dropped without running destructors, so
// callers must hold no lock and no object with a destructor.
[[noreturn]] void platThreadExit(uint32_t result);
// The system id of the calling thread.
uint32_t platThreadId(void);
// The system name is cut to 15 characters.
void platThreadSetName(const char *name);
// Priority of the calling thread: -1 below normal, 0 normal, 1 above normal,
// 2 highest. 0 on success, -1 when the system refuses (raising needs privileges).
int platThreadSetPriority(int priority);
// Scheduling niceness of the calling thread (0 normal; lower is more urgent).
int platThreadNice(void);
