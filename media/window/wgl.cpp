// GL library and per-window GL contexts (see wgl.h).
// Depends on: dl, log; dm (screen depth); platform/window.
#include "media/window/wgl.h"

#include <GL/gl.h>

#include "base/dl.h"
#include "base/log.h"
#include "media/window/WM.h"
#include "platform/window.h"

namespace {

void *g_lib = nullptr;
// The WGL context calls have no counterpart here (contexts are the platform's);
// the library's own entry points serve the identification lines.
const GLubyte *(*g_glGetString)(GLenum) = nullptr;
void (*g_glGetIntegerv)(GLenum, GLint *) = nullptr;

template <typename F>
void resolve(F &slot, const char *name) {
  slot = reinterpret_cast<F>(SYS_DlGetProc(g_lib, name));
}

}  // namespace

int wglInit(void) {
  SYS_DbgLevelPrintf(2, "[wm][gl][%s:%d:%s()] loading OpenGL32.dll ...\n", SYS_POS);
  g_lib = SYS_DlOpen("OpenGL32.dll");
  if (!g_lib) {
    SYS_DbgLevelPrintf(2, "[wm][gl][%s:%d:%s()] ... failed.\n", SYS_POS);
    return 1;
  }
  SYS_DbgLevelPrintf(2, "[wm][gl][%s:%d:%s()] ... loaded.\n", SYS_POS);
  resolve(g_glGetString, "glGetString");
  resolve(g_glGetIntegerv, "glGetIntegerv");
  return 0;
}

int wglDone(void) {
  if (g_lib) SYS_DlClose(g_lib);
  g_lib = nullptr;
  g_glGetString = nullptr;
  g_glGetIntegerv = nullptr;
  return 0;
}

void wglPixelFormat(wm_window_t *window) {
  wm_pixelformat_t &p = window->pfd;
  p = wm_pixelformat_t{};
  p.nSize = 40;
  p.nVersion = 1;
  p.dwFlags = 0x25;  // draw to window, OpenGL, double buffer
  p.iPixelType = 0;  // RGBA
  int bits = dmScreen.bits;
  p.cColorBits = (uint8_t)(bits > 0 && bits <= 16 ? bits : 24);
  p.cAlphaBits = (uint8_t)(bits >= 17 ? 8 : 0);
  p.cDepthBits = 24;
}

int wglContextCreate(wm_window_t *window) {
  // The pixel format came with the native window (wglPixelFormat before creation).
  window->dc = window->handle;
  window->glContext = platGLCreateContext(window->dc);
  if (!window->glContext) {
    SYS_DbgLevelPrintf(2, "[wm][gl][%s:%d:%s()] error in GL context creating.\n", SYS_POS);
    return 1;
  }
  if (platGLMakeCurrent(window->dc, window->glContext) != 0) {
    SYS_DbgLevelPrintf(2, "[wm][gl][%s:%d:%s()] error in context switching.\n", SYS_POS);
    return 1;
  }
  return 0;
}

int wglContextDestroy(wm_window_t *window) {
  if (!window->dc) return 0;
  if (window->glContext) {
    platGLMakeCurrent(window->dc, nullptr);
    platGLDeleteContext(window->glContext);
    window->glContext = nullptr;  // a second destroy must not free it again
  }
  return 0;
}

void wglLogInfo(void) {
  if (!g_glGetString || !g_glGetIntegerv) return;
  static constexpr struct { GLenum id; const char *name; } kStrings[] = {
      {GL_VENDOR, "GL_VENDOR"},
      {GL_RENDERER, "GL_RENDERER"},
      {GL_VERSION, "GL_VERSION"},
      {GL_SHADING_LANGUAGE_VERSION, "GL_SHADING_LANGUAGE_VERSION"},
      {GL_EXTENSIONS, "GL_EXTENSIONS"},
  };
  static constexpr struct { GLenum id; const char *name; } kLimits[] = {
      {GL_MAX_TEXTURE_UNITS, "GL_MAX_TEXTURE_UNITS"},
      {GL_MAX_VERTEX_ATTRIBS_ARB, "GL_MAX_VERTEX_ATTRIBS_ARB"},
      {GL_MAX_VERTEX_UNIFORM_COMPONENTS_ARB, "GL_MAX_VERTEX_UNIFORM_COMPONENTS_ARB"},
      {GL_MAX_VERTEX_TEXTURE_IMAGE_UNITS_ARB, "GL_MAX_VERTEX_TEXTURE_IMAGE_UNITS_ARB"},
      {GL_MAX_VARYING_FLOATS_ARB, "GL_MAX_VARYING_FLOATS_ARB"},
      {GL_MAX_TEXTURE_IMAGE_UNITS_ARB, "GL_MAX_TEXTURE_IMAGE_UNITS_ARB"},
      {GL_MAX_TEXTURE_COORDS_ARB, "GL_MAX_TEXTURE_COORDS_ARB"},
      {GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS_ARB, "GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS_ARB"},
      {GL_MAX_FRAGMENT_UNIFORM_COMPONENTS_ARB, "GL_MAX_FRAGMENT_UNIFORM_COMPONENTS_ARB"},
  };
  for (const auto &s : kStrings) {
    const GLubyte *text = g_glGetString(s.id);
    SYS_DbgLevelPrintf(2, "[wm][%s:%d:%s()]  - %s: %s\n", SYS_POS, s.name,
                       text ? reinterpret_cast<const char *>(text) : "");
  }
  for (const auto &l : kLimits) {
    GLint value = 0;  // a refused query logs 0, not the previous answer
    g_glGetIntegerv(l.id, &value);
    SYS_DbgLevelPrintf(2, "[wm][%s:%d:%s()]  - %s: %d\n", SYS_POS, l.name, (int)value);
  }
}

int wglSwapInterval(int interval) { return platGLSetSwapInterval(interval); }
