// Millisecond clock and sleep over CLOCK_MONOTONIC and nanosleep.
// Depends on: POSIX time.
#include "platform/clock.h"

#include <atomic>
#include <cerrno>
#include <ctime>

static std::atomic<platClockSource_t> clockSource{nullptr};

static uint32_t systemClockMs(void)
{
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  // Wrapping is the contract: the low 32 bits of the millisecond count.
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                               static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

uint32_t platClockMs(void)
{
  const platClockSource_t source = clockSource.load(std::memory_order_acquire);
  return source ? source() : systemClockMs();
}

void platClockSetSource(platClockSource_t source)
{
  clockSource.store(source, std::memory_order_release);
}

void platSleepMs(uint32_t ms)
{
  timespec ts{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
  while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
  }
}
