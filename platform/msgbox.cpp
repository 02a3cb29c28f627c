// System message box: stderr always, an SDL box when there is a display to show it on.
// Depends on: SDL2.
#include "platform/msgbox.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

int platMessageBoxVisible(void)
{
  if (std::getenv("KORVADYNE_HEADLESS"))
    return 0;
  const char *x = std::getenv("DISPLAY");
  const char *wl = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wl && *wl);
}

void platMessageBox(const char *title, const char *text, platMsgBoxIcon_t icon)
{
  if (!title)
    title = "";
  if (!text)
    text = "";
  std::fprintf(stderr, "%s: %s\n", title, text);
  std::fflush(stderr);
  if (!platMessageBoxVisible())
    return;
  Uint32 flags = SDL_MESSAGEBOX_ERROR;
  if (icon == PLAT_MB_WARNING)
    flags = SDL_MESSAGEBOX_WARNING;
  else if (icon == PLAT_MB_INFO)
    flags = SDL_MESSAGEBOX_INFORMATION;
  // Works without SDL_Init; a failure leaves the stderr copy as the only report.
  SDL_ShowSimpleMessageBox(flags, title, text, nullptr);
}
