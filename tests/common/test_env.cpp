// Linked into every test program: run by hand, without the launcher ctest uses, a test
// still finds the source tree and the build it came from, and message boxes stay off
// the screen. What the environment already says is kept.
#include <cstdlib>

namespace {

const bool kEnvironmentSet = [] {
  setenv("KORVADYNE_HEADLESS", "1", 0);
  setenv("KORV_SOURCE_DIR", KORV_TEST_SOURCE_ROOT, 0);
  setenv("KORV_BINARY_DIR", KORV_TEST_BINARY_ROOT, 0);
  return true;
}();

}  // namespace
