// OpenGL and GLU units of the presentation.
//
// The presentation and the scene engine never link against GL: every GL, WGL and GLU
// call goes through these entry variables, filled at run time. The GL unit (registry
// slot 2) takes GL 1.0 to 1.4 from the library's exports before any window exists;
// glInitExt, once the main window's context is current, probes the driver (extension
// flags, renderer overrides, maximum texture size, DXT formats) and fetches every
// extension entry through wglGetProcAddress. The GLU unit (slot 3) loads GLU the same
// way. A name the system lacks leaves its entry null: test an entry that may be
// missing before calling it.
//
// The entries live in namespace pgl (so the program never exports a data symbol that
// shadows a GL function for the libraries it loads) and are brought into the global
// namespace by name. Include this header instead of any system GL header.
// Depends on: bindings (registry, log, FatalError, tracked memory), base/dl, the
// window platform (swap interval), system GL headers for types and constants.
#pragma once

#if defined(__gl_h_) || defined(__GL_H__) || defined(__glu_h__)
#error "presentation/gl.h must come before any header that includes the system GL headers"
#endif

#include <cstdint>

#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include "presentation/gl_rename.inc"
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
#include "presentation/gl_unrename.inc"

typedef void *(*PFN_wglGetProcAddress)(const char *name);
typedef int (*PFN_wglSwapIntervalEXT)(int interval);
typedef int (*PFN_wglGetSwapIntervalEXT)(void);

namespace pgl {
#define PGL_CORE(name) extern decltype(&::pgl_sys_##name) name;
#define PGL_EXT(name) extern decltype(&::pgl_sys_##name) name;
#define PGLU(name) extern decltype(&::pgl_sys_##name) name;
#include "presentation/gl_entries.inc"
#undef PGL_CORE
#undef PGL_EXT
#undef PGLU
extern PFN_wglGetProcAddress wglGetProcAddress;
extern PFN_wglSwapIntervalEXT wglSwapIntervalEXT;
extern PFN_wglGetSwapIntervalEXT wglGetSwapIntervalEXT;
}  // namespace pgl

#define PGL_CORE(name) using pgl::name;
#define PGL_EXT(name) using pgl::name;
#define PGLU(name) using pgl::name;
#include "presentation/gl_entries.inc"
#undef PGL_CORE
#undef PGL_EXT
#undef PGLU
using pgl::wglGetProcAddress;
using pgl::wglSwapIntervalEXT;
using pgl::wglGetSwapIntervalEXT;

// Module handles of the GL and GLU libraries (null until their units start).
extern void *GLLibHandle;
extern void *GLULibHandle;

// Largest texture side the texture table keeps; 0 until glInitExt.
extern int32_t GLMaxTextureSize;

// Driver capabilities, false until glInitExt.
extern bool GLHasCompiledVertexArray, GLHasTextureCubeMap, GLHasMultitexture, GLHasTextureEnvCombine,
    GLHasTextureEnvDot3, GLHasS3TC, GLHasAnisotropicFilter, GLHasMultisample, GLHasFragmentShader,
    GLHasVertexShader, GLHasDXT1, GLHasDXT3, GLHasDXT5;

// Unit start-ups: register slots 2 and 3.
void RegisterGLUnit(void);
void RegisterGLUUnit(void);
void InitGLUnit(void);
void UninitGLUnit(void);
void InitGLUUnit(void);
void UninitGLUUnit(void);

// Probes the current context and loads the extension entries. Always 0.
int32_t glInitExt(void);
// The probe alone, from the driver's answers: sets the flags and GLMaxTextureSize and
// writes the log lines. The format list is consulted only when S3TC is present.
void GLProbe(const char *extensions, const char *renderer, int32_t maxTextureSize, const int32_t *formats,
             int32_t formatCount);
// Sets flag to whether name occurs in the extension text (a plain substring search)
// and logs "[gl] - <name> : available" or "... : not available".
void GLCheckExtension(const char *extensions, const char *name, bool *flag);
// The driver's address for name, or null.
void *GLGetExtProc(const char *name);
