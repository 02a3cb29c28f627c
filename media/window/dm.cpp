// Display modes on the platform's mode list (see dm.h).
// Depends on: list, mem, log; platform/window.
#include "media/window/dm.h"

#include "base/log.h"
#include "base/mem.h"
#include "platform/window.h"

wm_screenmode_t dmScreen;

namespace {
int g_modeChanged = 0;  // set by a successful switch, never cleared
// The last switch, for the line that tells it was dropped; the claim itself is the
// platform's (platDisplayTakeMode ends it).
int g_claimWidth = 0, g_claimHeight = 0, g_claimBits = 0, g_claimHz = 0;
}

int dmInit(void) {
  platMode_t m{};
  if (platDisplayDesktopMode(&m) == 0) dmScreen = {m.width, m.height, m.bits, m.frequency};
  SYS_DbgLevelPrintf(2, "[wm][dm][%s:%d:%s()] Screen size: %dx%d %.2fHz %dbits\n", SYS_POS, dmScreen.width,
                     dmScreen.height, (double)dmScreen.frequency, dmScreen.bits);
  return 0;
}

SYS_List_p wmGetVideoModes(void) {
  errClear();
  SYS_List_p head = nullptr;
  int n = platDisplayModeCount();
  for (int i = 0; i < n; ++i) {
    platMode_t m{};
    if (platDisplayMode(i, &m) != 0) break;
    auto *mode = static_cast<wm_videomode_t *>(SYS_MemGet(sizeof(wm_videomode_t), "wmGetVideoModes"));
    // A failed add hands the old head back with error 5.
    SYS_List_p next = mode ? SYS_ListAddLast(head, mode) : nullptr;
    if (!mode || errGetLastError() != 0) {
      SYS_MemFree(&mode);
      wmFreeVideoModes(head);
      errSetLastError(5);
      return nullptr;
    }
    *mode = {m.width, m.height, m.bits, (float)m.frequency};
    head = next;
  }
  return head;
}

int wmFreeVideoModes(SYS_List_p modes) {
  for (SYS_List_p node = modes; node; node = node->next) SYS_MemFree(&node->item);
  if (modes) SYS_ListRemove(modes);
  return 0;
}

int wmSetVideoMode(int32_t width, int32_t height, int32_t bits, float frequency) {
  errClear();
  if (width == dmScreen.width && height == dmScreen.height && bits == dmScreen.bits &&
      frequency == (float)dmScreen.frequency)
    return 0;
  SYS_DbgLevelPrintf(2, "[wm][dm][%s:%d:%s()] switch to %dx%d (%.2fHz) %d bits\n", SYS_POS, width, height,
                     (double)frequency, bits);
  // Truncated toward zero as the system does; a frequency no display can have (negative,
  // not a number, absurdly high) is no mode.
  const bool valid = frequency >= 0.0f && frequency < 100000.0f;
  const int hz = valid ? (int)frequency : 0;
  if (!valid || platDisplayRequestMode(width, height, bits, hz) != 0) {
    SYS_DbgLevelPrintf(2, "[wm][dm][%s:%d:%s()]  ! unable to switch to requested mode.\n", SYS_POS);
    errSetLastError(3007);
    return -1;
  }
  g_modeChanged = 1;
  g_claimWidth = width;
  g_claimHeight = height;
  g_claimBits = bits;
  g_claimHz = hz;
  return 0;
}

int dmTakeMode(platWindow_t *window) {
  const int r = platDisplayTakeMode(window);
  if (r < 0)
    SYS_DbgLevelPrintf(2, "[wm][dm][%s:%d:%s()]  ! mode %dx%d (%dHz) %d bits not applied: %s\n", SYS_POS,
                       g_claimWidth, g_claimHeight, g_claimHz, g_claimBits, platVideoError());
  return r;
}

int wmRestoreVideoMode(void) { return g_modeChanged ? platDisplayRestore() : 0; }

int dmDone(void) {
  if (g_modeChanged) platDisplayRestore();
  return 0;
}
