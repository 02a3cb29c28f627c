// File-system queries: stat, directory listing, directory creation and the
// standard places (program path, home, desktop, temporary directory).
//
// Paths use "/" throughout. Nothing here allocates on the caller's behalf:
// listings come back through a callback, texts into the caller's buffer.
// Depends on: POSIX (stat, opendir/readdir, mkdir, readlink).
#pragma once

#include <cstdint>
#include <cstdio>

enum platFsKind_t { PLAT_FS_NONE = 0, PLAT_FS_FILE = 1, PLAT_FS_DIR = 2, PLAT_FS_OTHER = 3 };

struct platFsStat_t {
  platFsKind_t kind;
  int64_t size;  // bytes, regular files only (0 otherwise)
  int link;      // 1 when the path itself is a symbolic link (kind is its target's)
};

// 0 and *out filled, or -1 when the path does not exist (out->kind = PLAT_FS_NONE).
int platFsStat(const char *path, platFsStat_t *out);
// The same for an open stream (link is always 0).
int platFsStatStream(FILE *stream, platFsStat_t *out);

// Calls fn for every entry of the directory except "." and "..", in the order
// the system returns them; fn returns non-zero to stop. 0, or -1 when the
// directory cannot be opened.
typedef int (*platFsListFn_t)(void *context, const char *name);
int platFsList(const char *dir, platFsListFn_t fn, void *context);

enum platMkDirResult_t { PLAT_MKDIR_OK = 0, PLAT_MKDIR_NO_PARENT = 1, PLAT_MKDIR_FAILED = 2 };
// PLAT_MKDIR_NO_PARENT when a part of the path is missing or is not a directory.
platMkDirResult_t platFsMkDir(const char *path);

// Each writes a terminated text into buffer and returns its length, or -1 when
// it is unknown or does not fit.
// Absolute path of the running executable (from /proc/self/exe).
int platFsProgramPath(char *buffer, size_t size);
// The user's desktop directory: $XDG_DESKTOP_DIR, else $HOME/Desktop.
int platFsDesktopDir(char *buffer, size_t size);

// The system's text for an errno value (thread-safe).
const char *platFsErrorText(int error, char *buffer, size_t size);
