// Framework GL and GLU entry-point tables.
//
// The framework links against neither GL nor GLU: gl_stub and glu_stub fill one
// typed slot per entry point by name from "OpenGL32.dll" and "GLU32.dll" through
// the module loader. Call as wmGL.glBindTexture(...), wmGLU.gluBuild2DMipmaps(...).
// A name the library lacks leaves its slot null. The system GL exports every name it
// knows, supported or not, so once a context exists gl_stub_check nulls the
// extension slots whose extension the context does not list; later gl_stub calls
// keep that verdict. The name lists are generated (tools/glnames.py).
// Depends on: dl (module loader), log.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstddef>

struct wm_gl_t {
#define GL_FN(ret, name, params, block) ret (*name) params;
#include "media/window/gl_names.inc"
#undef GL_FN
};

struct wm_glu_t {
#define GLU_FN(ret, name, params, block) ret (*name) params;
#include "media/window/glu_names.inc"
#undef GLU_FN
};

// One slot of a table: its name, the header block it was declared in (a core
// version "GL_VERSION_x_y", or the extension that brings it) and its place.
struct wm_glslot_t {
  const char *name;
  const char *block;
  size_t offset;
};

extern "C" {

extern wm_gl_t wmGL;
extern wm_glu_t wmGLU;

// 0, or -1 with the module loader's error (200 or 201) when the library is missing.
int gl_stub(void);
int glu_stub(void);
// With a current context: drops the extension slots the context does not list.
// 0, or -1 when the extension string cannot be read (nothing is changed then).
int gl_stub_check(void);

}  // extern "C"

// The slot lists, for loaders and tests.
const wm_glslot_t *gl_stub_slots(size_t *count);
const wm_glslot_t *glu_stub_slots(size_t *count);
// 1 when name is a whole entry of the blank-separated extension list.
int gl_stub_has_extension(const char *extensions, const char *name);
