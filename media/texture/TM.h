// GL texture manager of the framework: named textures for the dialog widgets.
//
// An entry keeps an image (loaded with txLoad, or a caller's bitmap such as a
// rendered caption) under a key and its GL texture; lookups walk the list from the
// newest entry. Every upload deletes the entry's previous GL texture and makes a
// new one, so a GL id is only good until the next reload of its key. GL and GLU go
// through the framework tables (wmGL, wmGLU): run gl_stub and glu_stub first and
// call with the window's context current, on the main thread.
// Depends on: base (log, last error, tracked memory, options, list), the texture
// loader (txLoad, txFree), the framework GL/GLU tables.
#pragma once

#include <cstdint>

#include "media/texture/TL.h"

extern "C" {

// Filters (tm_entry_t.filter); any other value builds mipmaps and sets no filter.
enum {
  TM_FILTER_NEAREST = 0,
  TM_FILTER_LINEAR = 1,
  TM_FILTER_MIPMAP_NEAREST = 2,
  TM_FILTER_MIPMAP_LINEAR = 3,
};

typedef struct tm_entry_t {
  char *name;          // the key, owned; compared exactly
  uint32_t id;         // GL texture, 0 before the first upload
  int32_t uploaded;    // 1 while the GL texture holds the bitmap
  int32_t loadCount;   // raised by every load of the key; informational
  int32_t filter;      // TM_FILTER_*
  txBitmap *bitmap;    // kept with the texture; tmUnload leaves it to its owner
} tm_entry_t, *tm_entry_p;

int32_t tmInit(void);
// Deletes every texture and frees every bitmap, key and entry.
int32_t tmDone(void);
// Uploads entry->bitmap to a new GL texture, which stays bound; always 0.
int32_t tmUpload(tm_entry_t *entry);
// GL id of the image file name (loaded and uploaded on first use; a later filter
// is ignored), or -1 (1005: the image could not be loaded; 5: no memory).
int32_t tmLoad(const char *name, int32_t filter);
// GL id of a texture of the caller's bitmap under key (a known key takes the new
// bitmap and filter and is uploaded again); -1 with 5 (no memory) or 10 (null).
int32_t tmLoadFromBitmap(const char *key, txBitmap *bitmap, int32_t filter);
// Gives the key a new bitmap (the previous one, when different, is freed) and
// uploads again; 0, or -1 with 14 (unknown key) or 10 (null bitmap).
int32_t tmReloadFromBitmap(const char *key, txBitmap *bitmap);
// Uploads the key's bitmap again; 0, or -1 with 14.
int32_t tmReload(const char *key);
// Deletes the texture and the entry (not its bitmap); 0, or -1 with 14.
int32_t tmUnload(const char *key);
// Binds an uploaded key's texture with GL_TEXTURE_2D enabled; a key that is not
// uploaded binds nothing; 0, or -1 with 14.
int32_t tmBind(const char *key);
// Lookups: null or -1 with 14 for an unknown key.
tm_entry_t *tmFind(const char *key);
int32_t tmGetId(const char *key);
txBitmap *tmGetBitmap(const char *key);

}  // extern "C"
