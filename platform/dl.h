// Shared libraries: open, look up, close.
//
// Plain library names go through a case-insensitive map from the names the
// framework asks for to this system's libraries: "opengl32.dll" -> "libGL.so.1",
// "glu32.dll" -> "libGLU.so.1", "kernel32.dll" -> the process itself; "d3d9.dll"
// and "ddraw.dll" are never found. Other names go to the loader unchanged (a name
// with a "/" is a path, relative to the working directory).
// Depends on: dlfcn.
#pragma once

enum platDlError_t { PLAT_DL_OK = 0, PLAT_DL_NOT_FOUND = 2, PLAT_DL_FAILED = 1 };

// Handle, or null with *error set (PLAT_DL_NOT_FOUND when no such file exists).
void *platDlOpen(const char *name, platDlError_t *error);
void *platDlSym(void *handle, const char *symbol);
// 0, or -1 when the system refuses.
int platDlClose(void *handle);
// The loader's text for the last failure on this thread ("" when none).
const char *platDlLastError(void);
