// Virtual file layer: one open call over a fixed chain of handlers.
//
// Search order, first hit wins: loose files on disk (relative to the working
// directory), then directory trees registered as packs (newest first), then
// "TRVP" pack files (newest first). So a file dropped next to the program
// overrides the pack, and a later pack overrides an earlier one. A path that no
// handler has, opened for reading, fails through errSetLastErrorEx, which hands
// the path to the host's error callback.
// Depends on: log (last error, callback), mem, list; the handlers in
// file-regularfile, file-dir and file-pack; platform/fs.
#pragma once

#include <cstdint>

extern "C" {

struct SYS_File_t;
struct SYS_PackEntry_t;

// One handler of the chain; every entry but packopen is always present.
typedef struct SYS_FileHandler_t {
  const char *name;
  int (*packopen)(const char *path);  // null for the disk handler
  int (*open)(struct SYS_File_t *file);
  int (*seek)(struct SYS_File_t *file, int32_t position);
  int32_t (*read)(struct SYS_File_t *file, void *buffer, int32_t length);
  char *(*getstr)(struct SYS_File_t *file, char *buffer, int32_t size);
  int (*putstr)(struct SYS_File_t *file, const char *text);
  int (*write)(struct SYS_File_t *file, const void *data, int32_t length);
  int (*eof)(struct SYS_File_t *file);
  int32_t (*tell)(struct SYS_File_t *file);
  void (*close)(struct SYS_File_t *file);
  int (*exist)(const char *path);
  int32_t (*size)(const char *path);
} SYS_FileHandler_t;

// Open flags.
enum {
  SYS_FILE_TEXT = 0x08,    // text mode (no translation on this system)
  SYS_FILE_WRITE = 0x10,   // create or truncate, read and write; disk when nobody has the path
  SYS_FILE_APPEND = 0x20,  // append (without SYS_FILE_WRITE)
};

typedef struct SYS_File_t {
  char *path;  // tracked copy of the path as given
  int32_t flags;
  void *handle;  // FILE * for disk files; the pack's own SYS_File_t for pack entries
  int32_t size;  // at open: the file's size (-1 unknown), or the entry's size
  const SYS_FileHandler_t *handler;
  int (*seek)(struct SYS_File_t *file, int32_t position);
  int32_t (*read)(struct SYS_File_t *file, void *buffer, int32_t length);
  char *(*getstr)(struct SYS_File_t *file, char *buffer, int32_t size);
  int (*putstr)(struct SYS_File_t *file, const char *text);
  int (*write)(struct SYS_File_t *file, const void *data, int32_t length);
  int (*eof)(struct SYS_File_t *file);
  int32_t (*tell)(struct SYS_File_t *file);
  void (*close)(struct SYS_File_t *file);
  int (*exist)(const char *path);
  int32_t (*sizeOf)(const char *path);
  struct SYS_PackEntry_t *entry;  // pack entries only
  // Pack entries: this handle's read position and view of the loaded data, so
  // that two handles on one entry never disturb each other.
  uint32_t position;
  const uint8_t *data;
} SYS_File_t, *SYS_File_p;

typedef struct SYS_Glob_t {
  int32_t count;
  char **paths;
} SYS_Glob_t, *SYS_Glob_p, **SYS_Glob_pp;

SYS_File_p SYS_FileOpen(const char *path, int32_t flags);
void SYS_FileClose(SYS_File_p file);
int SYS_FileSeek(SYS_File_p file, int32_t position);
int32_t SYS_FileRead(SYS_File_p file, void *buffer, int32_t length);
char *SYS_FileGetStr(SYS_File_p file, char *buffer, int32_t size);
int SYS_FilePutStr(SYS_File_p file, const char *format, ...) __attribute__((format(printf, 2, 3)));
int SYS_FileWrite(SYS_File_p file, const void *data, int32_t length);
int32_t SYS_FileTell(SYS_File_p file);
int SYS_FileEof(SYS_File_p file);
int SYS_FileExist(const char *path);
int32_t SYS_FileSize(const char *path);
// SYS_FileSize without its 2 GiB - 1 bound: a file on disk, loose or in a
// directory pack, past it gives its whole size where SYS_FileSize gives -1 (pack
// entries are smaller). Error 1 and -1 as there when no handler has the path.
int64_t SYS_FileSize64(const char *path);
int SYS_FilePackOpen(const char *path);

// Kinds: 1 program directory, 2 home, 3 home/<base>/config, 4 desktop, 5 TEMP
// (else TMPDIR, else /tmp); the name follows a "/". A new tracked text.
char *SYS_PathGet(uint32_t kind, const char *name);
// Kind 3's base name (".tarvo" at start); the text is kept, not copied.
void SYS_PathSetHomeBase(const char *base);
// 0 when the directory was created (missing parents too), 1 otherwise.
int SYS_MkDir(const char *path);
// Entries matching the filter's last part ("*" and "?"), prefixed by its
// directory part; directories are listed like files. A directory that is
// missing or cannot be read gives 0 and an empty listing.
int SYS_Glob(const char *filter, SYS_Glob_pp out);
int SYS_GlobFree(SYS_Glob_pp glob);

}  // extern "C"

// Opens like SYS_FileOpen but never calls the error callback: the pack reader
// opens pack files with it, since a pack that cannot be read is the caller's
// result to handle, not a missing content file.
SYS_File_p SYS_FileOpenQuiet(const char *path, int32_t flags);
// SYS_Glob that also says whether the filter's directory could be listed at
// all (SYS_Glob gives 0 and an empty listing either way); listed may be null.
// For walkers that must not take an unreadable folder for an empty one.
int SYS_GlobListed(const char *filter, SYS_Glob_pp out, bool *listed);
// Step of SYS_BaseDone: closes the pack files and forgets every pack and
// directory pack (a framework started again registers its own).
void SYS_FileDone(void);
