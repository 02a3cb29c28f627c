// Tracked memory.
//
// Each block is a 64-byte header (magic, size, list links, tag) followed by the
// zeroed data, so data stays 16-byte aligned. Blocks sit in one newest-first list
// and in a set of live headers; a release or resize looks the header up in that set
// under the lock before reading it, so a stray or repeated release is reported
// without touching memory that is not ours. Lock order: the log mutex may be held
// when the memory lock is taken, never the reverse, so nothing here logs while
// holding the memory lock.
// Depends on: platform (mutex, message box), log (reports), cfg (options), time (stamps).
#include "base/mem.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/cfg.h"
#include "base/log.h"
#include "base/time.h"
#include "platform/msgbox.h"
#include "platform/thread.h"

namespace {

constexpr uint32_t MEM_MAGIC = 0x74727621;  // "trv!"
constexpr int TAG_SIZE = 32;

struct MemHeader {
  uint32_t magic;
  int32_t size;
  MemHeader *newer;
  MemHeader *older;
  char tag[TAG_SIZE];
  unsigned char pad[8];
};
static_assert(sizeof(MemHeader) == 64, "data must stay 16-byte aligned");

// Open addressing with linear probing and backward-shift deletion; its storage is
// the allocator's own bookkeeping and comes from the system heap.
class LiveSet {
public:
  bool contains(const MemHeader *h) const
  {
    if (!count_)
      return false;
    for (size_t i = home(h);; i = (i + 1) & mask_) {
      if (!slots_[i])
        return false;
      if (slots_[i] == h)
        return true;
    }
  }

  bool insert(MemHeader *h)
  {
    if ((count_ + 1) * 2 > capacity_ && !grow())
      return false;
    size_t i = home(h);
    while (slots_[i])
      i = (i + 1) & mask_;
    slots_[i] = h;
    count_++;
    return true;
  }

  void erase(const MemHeader *h)
  {
    size_t i = home(h);
    while (slots_[i] != h) {
      if (!slots_[i])
        return;
      i = (i + 1) & mask_;
    }
    for (size_t j = (i + 1) & mask_; slots_[j]; j = (j + 1) & mask_) {
      const size_t k = home(slots_[j]);
      // Move slots_[j] into the hole at i unless its home lies cyclically in (i, j].
      const bool stays = i <= j ? (i < k && k <= j) : (i < k || k <= j);
      if (!stays) {
        slots_[i] = slots_[j];
        i = j;
      }
    }
    slots_[i] = nullptr;
    count_--;
  }

  void clear()
  {
    std::free(slots_);
    slots_ = nullptr;
    capacity_ = count_ = 0;
    mask_ = 0;
    shift_ = 64;
  }

private:
  size_t home(const MemHeader *h) const
  {
    return static_cast<size_t>((reinterpret_cast<uintptr_t>(h) * 0x9E3779B97F4A7C15ull) >> shift_) & mask_;
  }

  bool grow()
  {
    const size_t capacity = capacity_ ? capacity_ * 2 : 1024;
    MemHeader **slots = static_cast<MemHeader **>(std::calloc(capacity, sizeof(MemHeader *)));
    if (!slots)
      return false;
    MemHeader **old = slots_;
    const size_t oldCapacity = capacity_;
    slots_ = slots;
    capacity_ = capacity;
    mask_ = capacity - 1;
    shift_ = 64 - __builtin_ctzll(capacity);
    for (size_t i = 0; i < oldCapacity; i++) {
      if (old[i]) {
        size_t j = home(old[i]);
        while (slots_[j])
          j = (j + 1) & mask_;
        slots_[j] = old[i];
      }
    }
    std::free(old);
    return true;
  }

  MemHeader **slots_ = nullptr;
  size_t capacity_ = 0, count_ = 0, mask_ = 0;
  int shift_ = 64;
};

struct MemState {
  platMutex_t lock;
  MemHeader *newest = nullptr;
  LiveSet live;
  int logAllocations = 0;
  int leakReport = 0;
  int fatalBadFree = 0;
  char *leakName = nullptr;
  MemState() { platMutexInit(&lock); }
};

// Made on first use, so blocks allocated by static constructors are tracked too;
// trivially destructible, so late releases during process exit still find it.
MemState &state()
{
  static MemState s;
  return s;
}

class Locked {
public:
  Locked() { platMutexLock(&state().lock); }
  ~Locked() { platMutexUnlock(&state().lock); }
  Locked(const Locked &) = delete;
  Locked &operator=(const Locked &) = delete;
};

MemHeader *headerOf(const void *data)
{
  return reinterpret_cast<MemHeader *>(const_cast<unsigned char *>(static_cast<const unsigned char *>(data)) -
                                       sizeof(MemHeader));
}

void *dataOf(MemHeader *h) { return reinterpret_cast<unsigned char *>(h) + sizeof(MemHeader); }

MemHeader *newBlock(int32_t size, const char *file, int line, const char *tag)
{
  if (size <= 0)
    return nullptr;
  MemHeader *h = static_cast<MemHeader *>(std::calloc(1, sizeof(MemHeader) + static_cast<size_t>(size)));
  if (!h)
    return nullptr;
  h->magic = MEM_MAGIC;
  h->size = size;
  std::snprintf(h->tag, TAG_SIZE, "[%s:%d] %s", file ? file : "", line, tag ? tag : "");
  return h;
}

// Caller holds the lock.
bool linkBlock(MemHeader *h)
{
  MemState &s = state();
  if (!s.live.insert(h))
    return false;
  h->older = s.newest;
  if (s.newest)
    s.newest->newer = h;
  s.newest = h;
  return true;
}

// Caller holds the lock; h is live.
void unlinkBlock(MemHeader *h)
{
  MemState &s = state();
  if (h->newer)
    h->newer->older = h->older;
  if (h->older)
    h->older->newer = h->newer;
  if (s.newest == h)
    s.newest = h->older;
  s.live.erase(h);
  h->magic = 0;
}

// Logged with the position of the allocating function, not of this helper.
void logAllocation(MemHeader *h, const char *tag, int line, const char *function)
{
  if (state().logAllocations)
    SYS_DbgLevelPrintf(2, "[mem][%s:%d:%s()]  - allocated: %p '%s'\n", __FILE_NAME__, line, function,
                       static_cast<void *>(h), tag ? tag : "");
}

// What a bad release found: the magic word and tag of a block that is ours but
// corrupted, zeros and an empty tag for memory that is not ours to read.
struct BadBlock {
  uint32_t word = 0;
  char tag[TAG_SIZE] = "";
};

// Caller holds the lock. True when h is a live block with an intact magic.
bool checkBlock(MemHeader *h, BadBlock *bad)
{
  if (!state().live.contains(h))
    return false;
  if (h->magic == MEM_MAGIC)
    return true;
  bad->word = h->magic;
  std::memcpy(bad->tag, h->tag, TAG_SIZE);
  bad->tag[TAG_SIZE - 1] = '\0';
  return false;
}

void reportBadRelease(MemHeader *h, const BadBlock &bad, const char *file, int line)
{
  SYS_DbgPrintf(0,
                "\n!!! Already released or corrupted memory area: %p\n!!!  - data: 0x%08x\n"
                "!!!  - SYS_MemFree position: [%s:%d]\n!!!  - SYS_MemGet info: '%s'\n\n",
                static_cast<void *>(h), bad.word, file ? file : "", line, bad.tag);
  if (state().fatalBadFree) {
    platMessageBox("error...", "Memory handler already released, or corrupted.", PLAT_MB_ERROR);
    std::fflush(nullptr);
    std::_Exit(1);
  }
}

uint64_t meminfoKb(const char *key)
{
  FILE *f = std::fopen("/proc/meminfo", "r");
  if (!f)
    return 0;
  char line[256];
  unsigned long long kb = 0;
  const size_t keyLength = std::strlen(key);
  while (std::fgets(line, sizeof line, f)) {
    if (!std::strncmp(line, key, keyLength) && line[keyLength] == ':') {
      kb = std::strtoull(line + keyLength + 1, nullptr, 10);
      break;
    }
  }
  std::fclose(f);
  return kb;
}

}  // namespace

void *_SYS_MemGet(int32_t size, const char *file, int line, const char *tag)
{
  MemHeader *h = newBlock(size, file, line, tag);
  if (!h)
    return nullptr;
  {
    Locked lock;
    if (!linkBlock(h)) {
      std::free(h);
      return nullptr;
    }
  }
  logAllocation(h, tag, __LINE__, __func__);
  return dataOf(h);
}

void _SYS_MemFree(void *pointerAddress, const char *file, int line)
{
  if (!pointerAddress)
    return;
  void **pointer = static_cast<void **>(pointerAddress);
  if (!*pointer)
    return;
  MemHeader *h = headerOf(*pointer);
  BadBlock bad;
  {
    Locked lock;
    if (checkBlock(h, &bad)) {
      unlinkBlock(h);
      std::free(h);
      *pointer = nullptr;
      return;
    }
  }
  reportBadRelease(h, bad, file, line);
}

void *_SYS_MemRealloc(void *pointerAddress, int32_t size, const char *file, int line, const char *tag)
{
  if (!pointerAddress)
    return nullptr;
  void **pointer = static_cast<void **>(pointerAddress);
  if (size == 0) {
    _SYS_MemFree(pointerAddress, file, line);
    return nullptr;
  }
  if (!*pointer)
    return *pointer = _SYS_MemGet(size, file, line, tag);

  MemHeader *old = headerOf(*pointer);
  MemHeader *h = newBlock(size, file, line, tag);
  BadBlock bad;
  bool live;
  {
    Locked lock;
    live = checkBlock(old, &bad);
    if (live && h && linkBlock(h)) {
      std::memcpy(dataOf(h), dataOf(old), static_cast<size_t>(std::min(old->size, size)));
      unlinkBlock(old);
      std::free(old);
    } else {
      std::free(h);
      h = nullptr;
    }
  }
  if (!live)
    reportBadRelease(old, bad, file, line);
  if (!h)
    return nullptr;
  logAllocation(h, tag, __LINE__, __func__);
  return *pointer = dataOf(h);
}

char *_SYS_StrDup(const char *text, const char *file, int line)
{
  if (!text)
    return nullptr;
  char tag[83];
  std::snprintf(tag, sizeof tag, "StrDup: %s", text);
  const size_t length = std::strlen(text);
  if (length >= INT32_MAX)
    return nullptr;
  char *copy = static_cast<char *>(_SYS_MemGet(static_cast<int32_t>(length + 1), file, line, tag));
  if (copy)
    std::memcpy(copy, text, length + 1);
  return copy;
}

int32_t SYS_MemSize(const void *data)
{
  if (!data)
    return errSetLastError(10), -1;
  MemHeader *h = headerOf(data);
  Locked lock;
  if (!state().live.contains(h))
    return errSetLastError(10), -1;
  return h->size;
}

uint64_t SYS_MemTotal(void)
{
  errClear();
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  return pages > 0 && pageSize > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) : 0;
}

uint64_t SYS_MemAvail(void)
{
  errClear();
  // MemAvailable counts reclaimable caches; free pages alone understate it badly.
  if (const uint64_t kb = meminfoKb("MemAvailable"))
    return kb * 1024u;
  const long pages = sysconf(_SC_AVPHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  return pages > 0 && pageSize > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) : 0;
}

int SYS_MemInfo(const char *fileName)
{
  errClear();
  const char *name = fileName ? fileName : "debug.memleaks";
  SYS_DbgLevelPrintf(2, "[mem][%s:%d:%s()] dump allocation list to '%s'.\n", SYS_POS, name);
  FILE *f = std::fopen(name, "w+");
  if (!f)
    return errSetLastError(9), -1;
  std::fputs("\n--- tarvo!korvadyne memory manager\n", f);
  // Made and released before the list is walked, so it is not listed.
  char *stamp = SYS_TimeStamp();
  std::fprintf(f, "--- started : %s\n", stamp ? stamp : "");
  SYS_MemFree(&stamp);
  std::fputs("\n", f);
  unsigned long long total = 0;
  {
    Locked lock;
    MemHeader *h = state().newest;
    if (h) {
      std::fputs("Unreleased memory:\n\n", f);
      for (; h; h = h->older) {
        std::fprintf(f, "%s -> %d bytes\n", h->tag, h->size);
        total += static_cast<unsigned long long>(h->size);
      }
    } else {
      std::fputs("No memory allocated.\n", f);
    }
  }
  std::fprintf(f, "\n\nTotal: %llu bytes\n---\n", total);
  std::fclose(f);
  return 0;
}

int SYS_MemDump(const void *data)
{
  errClear();
  if (!data)
    return errSetLastError(10), -1;
  MemHeader *h = headerOf(data);
  char name[256];
  int32_t size;
  {
    Locked lock;
    if (!state().live.contains(h))
      return errSetLastError(10), -1;
    std::snprintf(name, sizeof name, "%s.memdump", h->tag);
    size = h->size;
  }
  FILE *f = std::fopen(name, "wb+");
  if (!f)
    return errSetLastError(9), -1;
  const size_t written = std::fwrite(data, 1, static_cast<size_t>(size), f);
  std::fclose(f);
  return written == static_cast<size_t>(size) ? 0 : (errSetLastError(9), -1);
}

void SYS_MemInit(void)
{
  MemState &s = state();
  s.logAllocations = SYS_CfgGet("debug-memalloc", 0) == 1;
  s.leakReport = SYS_CfgGet("debug-memleak", 0) == 1;
  const intptr_t name = SYS_CfgGet("mf", 1);
  if (name != 0 && name != -1 && !s.leakName)
    s.leakName = SYS_StrDup(reinterpret_cast<const char *>(name));
  s.fatalBadFree = SYS_CfgGet("debug-dfree", 0) == 1;
}

void SYS_MemDone(void)
{
  MemState &s = state();
  if (s.leakReport)
    SYS_MemInfo(s.leakName ? s.leakName : "debug.memleaks");
  SYS_MemFree(&s.leakName);
  errClear();
  Locked lock;
  for (MemHeader *h = s.newest; h;) {
    MemHeader *older = h->older;
    h->magic = 0;
    std::free(h);
    h = older;
  }
  s.newest = nullptr;
  s.live.clear();
  s.logAllocations = s.leakReport = s.fatalBadFree = 0;
}
