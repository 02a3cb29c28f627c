// The one-minute load average, which every benchmark prints beside its figures so
// that a reading taken on a busy machine shows as such.
#pragma once

#include <cstdio>

// 0 when /proc/loadavg cannot be read.
inline double LoadAverage() {
  double l = 0;
  if (FILE *f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf", &l) != 1) l = 0;
    std::fclose(f);
  }
  return l;
}
