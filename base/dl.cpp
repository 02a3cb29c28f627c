// Module loader: plug-in modules and system libraries behind one open call.
//
// The plug-in file name comes first so that a module shipped beside the
// program replaces a system library of the same name; the plain name is the
// fallback. A name already in the list is returned without loading again.
// Depends on: log ("debug-dl", "debug-dlsymbols"), mem, main, platform/dl.
#include "base/dl.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/log.h"
#include "base/main.h"
#include "base/mem.h"
#include "platform/dl.h"

namespace {

#define DL_LOG(...) SYS_DbgLevelPrintf(SYS_DBG_LEVEL(SYS_DbgOpt.dl), __VA_ARGS__)

std::recursive_mutex dlLock;  // dllInit may open modules itself
PModule modules;

bool dlLogOn()
{
  return SYS_DbgOpt.dl || SYS_DbgOpt.all;
}

void *lookup(void *handle, const char *name)
{
  void *address = platDlSym(handle, name);
  if (address == nullptr && SYS_DbgOpt.dlsymbols)
    DL_LOG("[dl][%s:%d:%s()] symbol not found: %s (%s)\n", SYS_POS, name, platDlLastError());
  return address;
}

int addLib(void *handle, const char *name)
{
  auto *m = static_cast<PModule>(SYS_MemGet(sizeof(TModule), "SYS_DlAddLib: register new module"));
  char *copy = m != nullptr ? SYS_StrDup(name) : nullptr;
  if (copy == nullptr) {
    SYS_MemFree(&m);
    errSetLastError(5);
    return -1;
  }
  m->name = copy;
  m->handle = handle;
  std::lock_guard lock(dlLock);
  m->next = modules;
  modules = m;
  return 0;
}

}  // namespace

extern "C" {

void *SYS_DlOpen(const char *name)
{
  errClear();
  if (name == nullptr)
    return errSetLastError(10), nullptr;
  std::lock_guard lock(dlLock);
  for (PModule m = modules; m != nullptr; m = m->next)
    if (strcmp(m->name, name) == 0) {
      DL_LOG("[dl][%s:%d:%s()] preloaded module: %s\n", SYS_POS, name);
      return m->handle;
    }

  char file[256];
  if (strstr(name, "-w32.so") != nullptr)
    snprintf(file, sizeof file, "%s", name);
  else
    snprintf(file, sizeof file, "Modules/%s-w32.so", name);
  DL_LOG("[dl][%s:%d:%s()] Load lib: %s\n", SYS_POS, file);
  platDlError_t error;
  void *handle = platDlOpen(file, &error);
  if (handle == nullptr) {
    DL_LOG("[dl][%s:%d:%s()] failed,  try %s.\n", SYS_POS, name);
    handle = platDlOpen(name, &error);
  }
  if (handle == nullptr) {
    // One line in two writes, as a prefix of the component and the reason.
    if (dlLogOn()) {
      DL_LOG("[dl][%s:%d:%s()] error: ", SYS_POS);
      if (error == PLAT_DL_NOT_FOUND) {
        SYS_DbgPrintf(0, "lib (%s) not found.\n", name);
      } else {
        SYS_DbgPrintf(0, "unknown error (%d)\n", int(error));
        // The loader's reason is a text, not a number, here: it gets a line of its own.
        DL_LOG("[dl][%s:%d:%s()] %s\n", SYS_POS, platDlLastError());
      }
    }
    errSetLastError(error == PLAT_DL_NOT_FOUND ? 200 : 201);
    return nullptr;
  }

  errClear();
  if (auto init = reinterpret_cast<SYS_DllInit_t>(lookup(handle, "dllInit")))
    init(SYS_SymbolLookup);
  if (addLib(handle, name) != 0)
    return nullptr;  // stays loaded, as the system gave it
  DL_LOG("[dl][%s:%d:%s()] address: %p\n", SYS_POS, handle);
  return handle;
}

void *SYS_DlGetProc(void *handle, const char *name)
{
  errClear();
  if (handle == nullptr)
    return errSetLastError(202), nullptr;
  if (name == nullptr)
    return errSetLastError(10), nullptr;
  return lookup(handle, name);
}

int SYS_DlClose(void *handle)
{
  errClear();
  if (handle == nullptr)
    return errSetLastError(202), -1;
  {
    std::lock_guard lock(dlLock);
    for (PModule *link = &modules; *link != nullptr;) {
      PModule m = *link;
      DL_LOG("[dl][%s:%d:%s()] release: %s\n", SYS_POS, m->name);
      if (m->handle == handle) {
        *link = m->next;
        SYS_MemFree(&m->name);
        SYS_MemFree(&m);
        break;
      }
      link = &m->next;
    }
  }
  if (platDlClose(handle) != 0)
    return errSetLastError(203), -1;
  return 0;
}

}  // extern "C"

void SYS_DlForget(void)
{
  std::lock_guard lock(dlLock);
  modules = nullptr;
}

extern "C" {

PModule SYS_DlGetList(void)
{
  errClear();
  return modules;
}

int SYS_DlAddLib(void *handle, const char *name)
{
  errClear();
  if (handle == nullptr || name == nullptr)
    return errSetLastError(10), -1;
  return addLib(handle, name);
}

}  // extern "C"
