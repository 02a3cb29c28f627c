// Linked into every test binary of a sanitizer build. Closing the X display unloads
// the GL driver, and the leak check at exit can then name none of the driver's frames
// ("<unknown module>"), so no suppression can match its allocations. Unloads of GL
// libraries are skipped here: the executable's dlclose comes before the C library's
// for every caller; everything else is closed as usual.
#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <initializer_list>

extern "C" int dlclose(void *handle) {
  struct link_map *map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) {
    for (const char *gl : {"/dri/", "libGL", "libEGL", "libgallium", "libLLVM", "libglapi"})
      if (std::strstr(map->l_name, gl)) return 0;
  }
  static const auto next = reinterpret_cast<int (*)(void *)>(dlsym(RTLD_NEXT, "dlclose"));
  return next ? next(handle) : -1;
}
