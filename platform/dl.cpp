// Shared libraries over dlopen, with the framework's library-name map.
// Depends on: dlfcn.
#include "platform/dl.h"

#include <dlfcn.h>
#include <strings.h>

#include <cstring>

namespace {

struct NameMap {
  const char *asked;    // compared without regard to case
  const char *library;  // null: never found; "" : the process itself
  int flags;
};

// GL stays loaded for the life of the process: its drivers keep threads and
// atexit handlers that must not outlive their code.
constexpr NameMap kNameMap[] = {
    {"opengl32.dll", "libGL.so.1", RTLD_NODELETE},
    {"glu32.dll", "libGLU.so.1", RTLD_NODELETE},
    {"kernel32.dll", "", 0},
    {"d3d9.dll", nullptr, 0},
    {"ddraw.dll", nullptr, 0},
};

thread_local char lastError[512];

void keepError(const char *text)
{
  if (text == nullptr)
    text = "";
  strncpy(lastError, text, sizeof lastError - 1);
  lastError[sizeof lastError - 1] = 0;
}

}  // namespace

void *platDlOpen(const char *name, platDlError_t *error)
{
  *error = PLAT_DL_OK;
  keepError("");
  if (name == nullptr || *name == 0) {
    *error = PLAT_DL_NOT_FOUND;
    return nullptr;
  }
  const char *library = name;
  int flags = 0;
  for (const NameMap &m : kNameMap) {
    if (strcasecmp(name, m.asked) != 0)
      continue;
    if (m.library == nullptr) {
      *error = PLAT_DL_NOT_FOUND;
      keepError("library not available on this system");
      return nullptr;
    }
    library = m.library;
    flags = m.flags;
    break;
  }
  void *handle = dlopen(*library ? library : nullptr, RTLD_NOW | RTLD_LOCAL | flags);
  if (handle == nullptr) {
    keepError(dlerror());
    // The loader reports a missing file only in its text.
    *error = strstr(lastError, "No such file") ? PLAT_DL_NOT_FOUND : PLAT_DL_FAILED;
  }
  return handle;
}

void *platDlSym(void *handle, const char *symbol)
{
  dlerror();
  void *address = dlsym(handle, symbol);
  if (address == nullptr)
    keepError(dlerror());
  return address;
}

int platDlClose(void *handle)
{
  if (dlclose(handle) != 0) {
    keepError(dlerror());
    return -1;
  }
  return 0;
}

const char *platDlLastError(void)
{
  return lastError;
}
