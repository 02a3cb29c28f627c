// Adapter probe (see ddraw.h).
// Depends on: dl, log.
#include "media/window/ddraw.h"

#include "base/dl.h"
#include "base/log.h"

namespace {
void *g_d3dLib = nullptr;
void *g_ddLib = nullptr;
}  // namespace

int ddInit(void) {
  SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] lib: d3d9.dll ...\n", SYS_POS);
  g_d3dLib = SYS_DlOpen("d3d9.dll");
  SYS_DbgLevelPrintf(2, g_d3dLib ? "[wm][ddraw][%s:%d:%s()] ...loaded.\n" : "[wm][ddraw][%s:%d:%s()] ...failed.\n",
                     SYS_POS);
  SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] lib: DDraw.dll ...\n", SYS_POS);
  g_ddLib = SYS_DlOpen("ddraw.dll");
  SYS_DbgLevelPrintf(2, g_ddLib ? "[wm][ddraw][%s:%d:%s()] ...loaded.\n" : "[wm][ddraw][%s:%d:%s()] ...failed\n",
                     SYS_POS);
  // Nothing here can call into DirectDraw, whatever the loader found: the probe always
  // ends on its "library missing" path.
  return 1;
}

int ddDone(void) {
  SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] %s: %p\n", SYS_POS, "d3dLib", g_d3dLib);
  SYS_DbgLevelPrintf(2, "[wm][ddraw][%s:%d:%s()] %s: %p\n", SYS_POS, "ddLib", g_ddLib);
  if (g_d3dLib) SYS_DlClose(g_d3dLib);
  if (g_ddLib) SYS_DlClose(g_ddLib);
  g_d3dLib = g_ddLib = nullptr;
  return 0;
}
