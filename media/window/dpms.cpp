// Screensaver and monitor power-off control (see dpms.h).
// Depends on: log; platform/window.
#include "media/window/dpms.h"

#include "base/log.h"
#include "platform/window.h"

namespace {
int g_saverSaved = 0, g_saverOk = 0;
int g_powerSaved = 0, g_powerOk = 0;
}  // namespace

int dpmsInit(void) {
  g_saverOk = platScreenSaverQuery(&g_saverSaved) == 0;
  g_powerOk = 0;
  g_powerSaved = 0;
  SYS_DbgLevelPrintf(2, "[wm][dpms][%s:%d:%s()] ScreenSaver: %d (%d)\n", SYS_POS, g_saverOk, g_saverSaved);
  SYS_DbgLevelPrintf(2, "[wm][dpms][%s:%d:%s()] DPMS: %d (%d)\n", SYS_POS, g_powerOk, g_powerSaved);
  return 0;
}

int dpmsEnable(int on) {
  SYS_DbgLevelPrintf(2, "[wm][dpms][%s:%d:%s()] ScreenSaver & DPMS %s.\n", SYS_POS, on ? "enabled" : "disabled");
  if (g_saverOk) platScreenSaverEnable(on);
  return 0;
}

int dpmsDone(void) {
  if (g_saverOk) platScreenSaverEnable(g_saverSaved);
  return 0;
}
