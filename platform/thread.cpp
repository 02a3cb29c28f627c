// Threads and recursive mutexes over pthread.
// Depends on: pthread, setjmp, Linux gettid/setpriority.
#include "platform/thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>

static_assert(sizeof(pthread_mutex_t) <= sizeof(platMutex_t::storage));
static_assert(alignof(pthread_mutex_t) <= alignof(platMutex_t));

static pthread_mutex_t *native(platMutex_t *mutex)
{
  return reinterpret_cast<pthread_mutex_t *>(mutex->storage);
}

void platMutexInit(platMutex_t *mutex)
{
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(native(mutex), &attr);
  pthread_mutexattr_destroy(&attr);
}

void platMutexDestroy(platMutex_t *mutex) { pthread_mutex_destroy(native(mutex)); }
void platMutexLock(platMutex_t *mutex) { pthread_mutex_lock(native(mutex)); }
void platMutexUnlock(platMutex_t *mutex) { pthread_mutex_unlock(native(mutex)); }
int platMutexTryLock(platMutex_t *mutex) { return pthread_mutex_trylock(native(mutex)) == 0; }

struct platThread_s {
  pthread_t id;
  platThreadProc_t proc;
  void *arg;
  uint32_t result;
};

namespace {
struct ExitFrame {
  jmp_buf jump;
  uint32_t result;
};
thread_local ExitFrame *exitFrame = nullptr;
}  // namespace

static void *trampoline(void *p)
{
  platThread_s *t = static_cast<platThread_s *>(p);
  ExitFrame frame;
  frame.result = 0;
  exitFrame = &frame;
  if (setjmp(frame.jump) == 0)
    t->result = t->proc(t->arg);
  else
    t->result = frame.result;
  exitFrame = nullptr;
  return nullptr;
}

int platThreadStart(platThread_t *thread, platThreadProc_t proc, void *arg)
{
  // The handle is bookkeeping of this layer, not framework memory.
  platThread_s *t = static_cast<platThread_s *>(std::calloc(1, sizeof(platThread_s)));
  if (!t)
    return -1;
  t->proc = proc;
  t->arg = arg;
  if (pthread_create(&t->id, nullptr, trampoline, t) != 0) {
    std::free(t);
    return -1;
  }
  *thread = t;
  return 0;
}

uint32_t platThreadJoin(platThread_t thread)
{
  pthread_join(thread->id, nullptr);
  const uint32_t result = thread->result;
  std::free(thread);
  return result;
}

void platThreadExit(uint32_t result)
{
  if (exitFrame) {
    exitFrame->result = result;
    std::longjmp(exitFrame->jump, 1);
  }
  // A thread this layer did not start has no frame to return to.
  pthread_exit(nullptr);
}

uint32_t platThreadId(void) { return static_cast<uint32_t>(gettid()); }

void platThreadSetName(const char *name)
{
  char cut[16];
  std::strncpy(cut, name ? name : "", sizeof cut - 1);
  cut[sizeof cut - 1] = '\0';
  pthread_setname_np(pthread_self(), cut);
}

int platThreadSetPriority(int priority)
{
  // Linux threads under SCHED_OTHER differ only by niceness, which is per thread.
  int nice;
  switch (priority) {
  case -1: nice = 5; break;
  case 0: nice = 0; break;
  case 1: nice = -5; break;
  case 2: nice = -10; break;
  default: return 0;
  }
  return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice) == 0 ? 0 : -1;
}

int platThreadNice(void)
{
  errno = 0;
  return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
}
