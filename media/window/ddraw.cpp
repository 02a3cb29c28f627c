// Adapter probe (see ddraw.h).
// Depends on: dl, mem, log.
#include "media/window/ddraw.h"

#include "base/dl.h"
#include "base/log.h"
#include "base/mem.h"

namespace {
void *g_d3dLib = nullptr;
void *g_ddLib = nullptr;
void *g_directDrawCreate = nullptr;
void *g_directDrawEnumerateEx = nullptr;
void *g_direct3DCreate9 = nullptr;
}  // namespace

int ddInit(void) {
  SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] lib: d3d9.dll ...\n", SYS_POS);
  g_d3dLib = SYS_DlOpen("d3d9.dll");
  if (g_d3dLib)
    SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] ...loaded.\n", SYS_POS);
  else
    SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] ...failed.\n", SYS_POS);

  SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] lib: DDraw.dll ...\n", SYS_POS);
  g_ddLib = SYS_DlOpen("ddraw.dll");
  if (!g_ddLib) {
    SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] ...failed\n", SYS_POS);
    return 1;
  }
  SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] ...loaded.\n", SYS_POS);
  SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] %s: %p\n", SYS_POS, "ddLib", g_ddLib);

  g_directDrawCreate = SYS_DlGetProc(g_ddLib, "DirectDrawCreate");
  g_directDrawEnumerateEx = SYS_DlGetProc(g_ddLib, "DirectDrawEnumerateExA");
  g_direct3DCreate9 = g_d3dLib ? SYS_DlGetProc(g_d3dLib, "Direct3DCreate9") : nullptr;
  if (!g_directDrawCreate || !g_directDrawEnumerateEx) {
    SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] DirectDrawCreate function not found.\n", SYS_POS);
    return 1;
  }
  return 0;
}

int32_t ddCheckVideoMemory(void) {
  // No DirectDraw object can be made on this system, whatever a library exports.
  SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] Could not create Direct Draw Instance (%d)\n", SYS_POS, -1);
  return 0;
}

char *ddGetDriverName(void) { return SYS_StrDup("Unknown"); }

int ddDone(void) {
  SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] %s: %p\n", SYS_POS, "d3dLib", g_d3dLib);
  SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] %s: %p\n", SYS_POS, "ddLib", g_ddLib);
  if (g_d3dLib) SYS_DlClose(g_d3dLib);
  if (g_ddLib) SYS_DlClose(g_ddLib);
  g_d3dLib = g_ddLib = nullptr;
  g_directDrawCreate = g_directDrawEnumerateEx = g_direct3DCreate9 = nullptr;
  return 0;
}
