// The timer's clock held still while a test checks what a step makes of the timer: on
// the system clock the reading also holds however long the machine took meanwhile,
// which a loaded machine can make longer than any fixed margin.
// Depends on: platform clock.
#pragma once

#include "platform/clock.h"

class StillClock {
 public:
  StillClock() { platClockSetSource([] { return 100000u; }); }
  ~StillClock() { platClockSetSource(nullptr); }
  StillClock(const StillClock &) = delete;
  StillClock &operator=(const StillClock &) = delete;
};
