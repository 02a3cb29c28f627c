// Helpers of the libFuzzer harnesses: the input as a file, and the framework's
// tracked-memory total. Tracked blocks stay listed, so LeakSanitizer never sees them
// lost; a harness compares the total before and after each input instead.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "base/mem.h"

namespace fuzz {

inline bool WriteInput(const std::string &path, const uint8_t *data, size_t size) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

// Bytes in tracked blocks now, from the framework's memory report; -1 when unreadable.
inline long long TrackedBytes() {
  static const std::string path = "fuzz-mem-" + std::to_string(::getpid()) + ".txt";
  if (SYS_MemInfo(path.c_str()) != 0) return -1;
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  std::fclose(f);
  std::remove(path.c_str());  // a replay test leaves nothing in its working folder
  const size_t at = text.rfind("Total: ");
  return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + 7);
}

// Runs one input twice and ends the run when the second pass leaves tracked bytes
// behind; the first pass lets buffers that grow once and are kept (the log's, the
// string helpers') reach their size.
template <typename Run>
void GivesBackWhatItTakes(Run run) {
  run();
  const long long before = TrackedBytes();
  run();
  if (TrackedBytes() != before) {
    std::fprintf(stderr, "fuzz invariant broken: tracked blocks left behind\n");
    std::abort();
  }
}

// Ends the run (a finding) when the condition fails, naming it.
inline void Expect(bool ok, const char *what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::abort();
}

}  // namespace fuzz
