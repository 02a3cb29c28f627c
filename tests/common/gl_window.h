// The window and GL context of the GL tests, with the presentation's GL, GLU and
// extension tables loaded: either the window module's window, shown, or a bare
// platform window of 24-bit colour, 8-bit alpha, 24-bit depth and 8-bit stencil.
// Depends on: media/window, platform/window, presentation GL unit.
#pragma once

#include <cstdint>

#include "media/window/WM.h"
#include "platform/window.h"
#include "presentation/gl.h"

// Opens and shows a width x height window and loads the GL tables into its context.
// Null, with the failed step in *failed, when the module or the window is refused.
inline wm_window_t *PresentationGlWindow(int32_t width, int32_t height, const char **failed) {
  if (wmInit() != 0) {
    *failed = "wmInit";
    return nullptr;
  }
  wm_window_t *window = wmCreateWindow(0, 0, width, height);
  if (!window) {
    *failed = "wmCreateWindow";
    return nullptr;
  }
  if (wmShowWindow(window) != 0) {
    *failed = "wmShowWindow";
    return nullptr;
  }
  InitGLUnit();
  InitGLUUnit();
  glInitExt();
  return window;
}

// Loads the GL tables, opens a platform window titled title and makes a context in it.
// False, with platVideoError() telling why, when video, the window or the context is
// refused; *window and *context hold what was made, for the caller to release.
inline bool PlatformGlWindow(const char *title, int width, int height, platWindow_t **window, void **context) {
  *window = nullptr;
  *context = nullptr;
  InitGLUnit();
  InitGLUUnit();
  if (platVideoInit() != 0) return false;
  const platPixelFormat_t format = {24, 8, 24, 8};
  *window = platWindowCreate(title, 0, 0, width, height, 0, &format);
  if (!*window) return false;
  *context = platGLCreateContext(*window);
  if (!*context) return false;
  glInitExt();
  return true;
}
