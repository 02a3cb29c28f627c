// OpenGL and GLU units: see gl.h.
//
// Where the system has no WGL, the two WGL entries the program calls are our own:
// wglGetProcAddress looks a name up in the GL library (a GetProcAddress-style
// resolver hands out a stub for any name, so it cannot tell presence), and
// wglSwapIntervalEXT sets the swap interval of the current context.
// Depends on: bindings, base/dl, base/mem, platform/window (swap interval).
#include "presentation/gl.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "base/dl.h"
#include "platform/window.h"
#include "presentation/bindings.h"
#include "presentation/pstring.h"

namespace pgl {
#define PGL_CORE(name) decltype(&::pgl_sys_##name) name = nullptr;
#define PGL_EXT(name) decltype(&::pgl_sys_##name) name = nullptr;
#define PGLU(name) decltype(&::pgl_sys_##name) name = nullptr;
#include "presentation/gl_entries.inc"
#undef PGL_CORE
#undef PGL_EXT
#undef PGLU
PFN_wglGetProcAddress wglGetProcAddress = nullptr;
PFN_wglSwapIntervalEXT wglSwapIntervalEXT = nullptr;
PFN_wglGetSwapIntervalEXT wglGetSwapIntervalEXT = nullptr;
}  // namespace pgl

void *GLLibHandle = nullptr;
void *GLULibHandle = nullptr;
int32_t GLMaxTextureSize = 0;
bool GLHasCompiledVertexArray, GLHasTextureCubeMap, GLHasMultitexture, GLHasTextureEnvCombine, GLHasTextureEnvDot3,
    GLHasS3TC, GLHasAnisotropicFilter, GLHasMultisample, GLHasFragmentShader, GLHasVertexShader, GLHasDXT1,
    GLHasDXT3, GLHasDXT5;

namespace {

struct Entry {
  const char *name;
  void **slot;
};

// Table order: core entries, then extensions, as the generated list gives them.
#define PGL_CORE(name) {#name, reinterpret_cast<void **>(&pgl::name)},
#define PGL_EXT(name)
#define PGLU(name)
const Entry kCoreEntries[] = {
#include "presentation/gl_entries.inc"
};
#undef PGL_CORE
#undef PGL_EXT
#define PGL_CORE(name)
#define PGL_EXT(name) {#name, reinterpret_cast<void **>(&pgl::name)},
const Entry kExtEntries[] = {
#include "presentation/gl_entries.inc"
};
#undef PGL_CORE
#undef PGL_EXT
#undef PGLU
#define PGL_CORE(name)
#define PGL_EXT(name)
#define PGLU(name) {#name, reinterpret_cast<void **>(&pgl::name)},
const Entry kGLUEntries[] = {
#include "presentation/gl_entries.inc"
};
#undef PGL_CORE
#undef PGL_EXT
#undef PGLU

void *LibraryProcAddress(const char *name) { return GLLibHandle ? SYS_DlGetProc(GLLibHandle, name) : nullptr; }

// The main loop sets the interval every frame, as through WGL. The interval belongs to
// the current context, which only the driver knows: a cached last value would keep it
// from a context made current later.
int SwapIntervalStandIn(int interval) { return platGLSetSwapInterval(interval) == 0 ? 1 : 0; }

void LoadAll(void *handle, const Entry *table, size_t count) {
  for (size_t i = 0; i < count; i++) *table[i].slot = SYS_DlGetProc(handle, table[i].name);
}

// Test strings in the order glInitExt checks them; S3TC and the fragment shader are
// tested twice and the second test decides.
struct FlagTest {
  const char *name;
  bool *flag;
};
const FlagTest kFlagTests[] = {
    {"GL_EXT_compiled_vertex_array", &GLHasCompiledVertexArray},
    {"GL_EXT_texture_cube_map", &GLHasTextureCubeMap},
    {"GL_ARB_multitexture", &GLHasMultitexture},
    {"GL_ARB_texture_env_combine", &GLHasTextureEnvCombine},
    {"GL_ARB_texture_env_dot3", &GLHasTextureEnvDot3},
    {"GL_ARB_texture_compression", &GLHasS3TC},
    {"GL_EXT_texture_filter_anisotropic", &GLHasAnisotropicFilter},
    {"GL_ARB_multisample", &GLHasMultisample},
    {"GL_EXT_texture_compression_s3tc", &GLHasS3TC},
    {"GL_ARB_shading_language_100", &GLHasFragmentShader},
    {"GL_ARB_fragment_shader", &GLHasFragmentShader},
    {"GL_ARB_vertex_shader", &GLHasVertexShader},
};

// One row per log line; a renderer that matches either text of a row gets the row once.
struct RendererOverride {
  const char *match[2];
  const char *line;
};
const RendererOverride kOverrides[] = {
    {{"Intel GMA 950", "Intel 965/963"}, "[gl]   - Intel GMA950 detected. Maximum texture size overridden to 1024."},
    {{"Intel GMA X3100", nullptr}, "[gl]   - Intel GMA X3100 detected. Maximum texture size overridden to 1024."},
    {{"ATI Radeon 9200", nullptr}, "[gl]   - ATI Radeon 9200 detected. Maximum texture size overridden to 1024."},
};

void InitGLUnitProc(void) { InitGLUnit(); }
void InitGLUUnitProc(void) { InitGLUUnit(); }

}  // namespace

void RegisterGLUnit(void) {
  AddInit("GL unit ...", 2, InitGLUnitProc);
  AddExit("Uninit GL unit ...", 2, UninitGLUnit);
}

void RegisterGLUUnit(void) {
  AddInit("GLU unit ...", 3, InitGLUUnitProc);
  AddExit("Uninit GLU unit ...", 3, UninitGLUUnit);
}

void InitGLUnit(void) {
  GLLibHandle = SYS_DlOpen("OpenGL32.dll");
  if (!GLLibHandle) FatalError("OpenGL lib not found.");
  LoadAll(GLLibHandle, kCoreEntries, std::size(kCoreEntries));
  pgl::wglGetProcAddress = (PFN_wglGetProcAddress)SYS_DlGetProc(GLLibHandle, "wglGetProcAddress");
  if (!pgl::wglGetProcAddress) pgl::wglGetProcAddress = LibraryProcAddress;
}

void UninitGLUnit(void) {
  if (GLLibHandle) SYS_DlClose(GLLibHandle);
}

void InitGLUUnit(void) {
  GLULibHandle = SYS_DlOpen("glu32.dll");
  if (!GLULibHandle) FatalError("Sorry, OpenGL Utils lib not loaded. Please check your configuraion.");
  LoadAll(GLULibHandle, kGLUEntries, std::size(kGLUEntries));
}

void UninitGLUUnit(void) {
  if (GLULibHandle) SYS_DlClose(GLULibHandle);
}

void *GLGetExtProc(const char *name) { return pgl::wglGetProcAddress ? pgl::wglGetProcAddress(name) : nullptr; }

void GLCheckExtension(const char *extensions, const char *name, bool *flag) {
  PasLog(ShortString("[gl] - ") + name + " : ");
  *flag = extensions && std::strstr(extensions, name);
  if (!*flag) PasLog("not ");
  PasLogLn("available");
}

void GLProbe(const char *extensions, const char *renderer, int32_t maxTextureSize, const int32_t *formats,
             int32_t formatCount) {
  PasLogLn("[gl] --- check extensions:");
  for (const FlagTest &t : kFlagTests) GLCheckExtension(extensions, t.name, t.flag);
  if (!renderer) renderer = "";
  PasLogLn(ShortString("[gl] - renderer: ") + renderer);
  GLMaxTextureSize = maxTextureSize;
  char number[16];
  std::snprintf(number, sizeof number, "%d", (int)GLMaxTextureSize);
  PasLogLn(ShortString("[gl] - Maximum texture size : ") + number);
  for (const RendererOverride &o : kOverrides) {
    if (!std::strstr(renderer, o.match[0]) && !(o.match[1] && std::strstr(renderer, o.match[1]))) continue;
    PasLogLn(o.line);
    GLMaxTextureSize = 1024;
  }
  if (!GLHasS3TC) {
    PasLogLn("[gl] DXTC : not available.");
    return;
  }
  if (formatCount < 0 || !formats) formatCount = 0;
  std::snprintf(number, sizeof number, "%d", (int)formatCount);
  ShortString line("[gl]   - supported DXTC modes (");
  line += number;
  line += "):";
  for (int32_t i = 0; i < formatCount; i++) {
    switch (formats[i]) {
      case GL_COMPRESSED_RGB_S3TC_DXT1_EXT: line += " DXT1"; GLHasDXT1 = true; break;
      case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT: line += " DXT3"; GLHasDXT3 = true; break;
      case GL_COMPRESSED_RGBA_S3TC_DXT5_EXT: line += " DXT5"; GLHasDXT5 = true; break;
      default: break;
    }
  }
  PasLog(line);
  PasLogLn("");
}

int32_t glInitExt(void) {
  const char *extensions = (const char *)glGetString(GL_EXTENSIONS);
  const char *renderer = (const char *)glGetString(GL_RENDERER);
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  // The format list is read only when the driver claims S3TC; the probe decides that
  // from the extension text, so ask it the same way first.
  bool s3tc = extensions && std::strstr(extensions, "GL_EXT_texture_compression_s3tc");
  GLint count = 0;
  int32_t *formats = nullptr;
  if (s3tc) {
    glGetIntegerv(GL_NUM_COMPRESSED_TEXTURE_FORMATS, &count);
    if (count > 0) {
      formats = (int32_t *)PasMemGet(count * (int32_t)sizeof(int32_t), "glInitExt: DDS Support");
      if (formats) glGetIntegerv(GL_COMPRESSED_TEXTURE_FORMATS, (GLint *)formats);
      else count = 0;
    }
  }
  GLProbe(extensions, renderer, maxSize, formats, count);
  PasMemFree((void **)&formats);
  for (const Entry &e : kExtEntries) *e.slot = GLGetExtProc(e.name);
  pgl::wglSwapIntervalEXT = (PFN_wglSwapIntervalEXT)GLGetExtProc("wglSwapIntervalEXT");
  if (!pgl::wglSwapIntervalEXT) pgl::wglSwapIntervalEXT = SwapIntervalStandIn;
  pgl::wglGetSwapIntervalEXT = (PFN_wglGetSwapIntervalEXT)GLGetExtProc("wglGetSwapIntervalEXT");
  return 0;
}
