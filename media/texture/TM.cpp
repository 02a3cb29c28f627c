// GL texture manager: named textures of the dialog widgets.
//
// Entries sit in one list, newest first; a lookup takes the first exact match.
// An upload always starts over: it deletes the entry's GL texture, makes a new one
// and sends the bitmap as stored levels (compressed or not) or as one level with
// GLU-built mipmaps, by the entry's filter. Rows are packed without gaps in a
// txBitmap, so the unpack alignment is 1 while an upload runs. A level whose data is
// shorter than GL would read is skipped and logged rather than read past its end.
// Depends on: base (log, last error, tracked memory, options, list), txLoad/txFree,
// the framework GL/GLU tables (wmGL, wmGLU).

#include <cstring>

#include "base/cfg.h"
#include "base/list.h"
#include "base/log.h"
#include "base/mem.h"
#include "media/texture/TM.h"
#include "media/window/gl_stub.h"

namespace {

SYS_List_p g_entries = nullptr;
int32_t g_verbose = 0;

constexpr GLenum kClamp = 0x2900;           // GL_CLAMP
constexpr GLenum kBgr = 0x80E0;             // GL_BGR
constexpr GLenum kGenerateMipmap = 0x8191;  // GL_GENERATE_MIPMAP

#define TM_LOG(fmt, ...) \
  do { \
    if (g_verbose) SYS_DbgPrintf(1, "[TM][%s:%d:%s()] " fmt, SYS_POS, ##__VA_ARGS__); \
  } while (0)
// The error lines show whenever the log is on.
#define TM_ERR(fmt, ...) SYS_DbgPrintf(1, "[TM][%s:%d:%s()] " fmt, SYS_POS, ##__VA_ARGS__)

int fail(int32_t code) {
  errSetLastError(code);
  return -1;
}

tm_entry_t *Lookup(const char *key) {
  if (key)
    for (SYS_List_p n = g_entries; n; n = n->next) {
      tm_entry_t *e = static_cast<tm_entry_t *>(n->item);
      if (std::strcmp(e->name, key) == 0) return e;
    }
  return nullptr;
}

// A new entry with a copy of key, at the head of the list; null with error 5.
tm_entry_t *NewEntry(const char *key) {
  tm_entry_t *e = static_cast<tm_entry_t *>(SYS_MemGet(sizeof(tm_entry_t), "tmLoad: New node"));
  if (!e) return errSetLastError(5), nullptr;
  e->name = SYS_StrDup(key);
  SYS_List_p head = e->name ? SYS_ListAddFirst(g_entries, e) : nullptr;
  if (!head || head->item != e) {
    if (e->name) SYS_MemFree(&e->name);
    SYS_MemFree(&e);
    return errSetLastError(5), nullptr;
  }
  g_entries = head;
  return e;
}

void FreeEntry(tm_entry_t *e) {
  SYS_MemFree(&e->name);
  SYS_MemFree(&e);
}

bool GlReady() {
  return wmGL.glEnable && wmGL.glGenTextures && wmGL.glDeleteTextures && wmGL.glBindTexture &&
         wmGL.glTexParameteri && wmGL.glTexImage2D && wmGL.glGetError && wmGL.glPixelStorei &&
         wmGL.glGetIntegerv;
}

void DeleteTexture(tm_entry_t *e) {
  if (e->id && wmGL.glDeleteTextures) wmGL.glDeleteTextures(1, &e->id);
  e->id = 0;
  e->uploaded = 0;
}

void UploadError(const tm_entry_t *e, int32_t code) {
  TM_ERR("Texture upload error: %d (0x%04x)\n", code, code);
  TM_ERR(" - node's name: %s\n", e->name);
}

// GL format of an uncompressed bitmap and the bytes per pixel GL reads with it.
GLenum PixelFormat(int32_t subtype, int32_t *bytes) {
  switch (subtype) {
    case TX_SUB_COLOR: *bytes = 3; return GL_RGB;
    case TX_SUB_RGB: *bytes = 3; return kBgr;
    case TX_SUB_GREY: *bytes = 1; return GL_LUMINANCE;
    default: *bytes = 4; return GL_RGBA;
  }
}

bool LevelFits(const txBitmap *b, int32_t level, int64_t bytes) {
  return b->image[level] && bytes > 0 && bytes <= b->imagesize[level];
}

void UploadLevels(tm_entry_t *e, const txBitmap *b, bool compressed, GLenum format, int32_t bytes) {
  const int32_t levels = b->levels > TX_MAX_LEVELS ? TX_MAX_LEVELS : b->levels < 1 ? 1 : b->levels;
  wmGL.glTexParameteri(GL_TEXTURE_2D, kGenerateMipmap, 0);
  int32_t w = b->width, h = b->height;
  for (int32_t i = 0; i < levels; ++i) {
    if (w < 1) w = 1;
    if (h < 1) h = 1;
    if (compressed) {
      if (!wmGL.glCompressedTexImage2DARB || !LevelFits(b, i, b->imagesize[i])) {
        UploadError(e, GL_INVALID_OPERATION);
      } else {
        wmGL.glCompressedTexImage2DARB(GL_TEXTURE_2D, i, (GLenum)b->subtype, w, h, 0, b->imagesize[i], b->image[i]);
        if (GLenum code = wmGL.glGetError()) UploadError(e, (int32_t)code);
      }
    } else if (LevelFits(b, i, (int64_t)w * h * bytes)) {
      wmGL.glTexImage2D(GL_TEXTURE_2D, i, b->bits / 8, w, h, 0, format, GL_UNSIGNED_BYTE, b->image[i]);
    } else {
      UploadError(e, GL_INVALID_VALUE);
    }
    w /= 2;
    h /= 2;
  }
  wmGL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, levels - 1);
}

}  // namespace

int32_t tmInit(void) {
  errClear();
  g_verbose = SYS_CfgGet("debug-tm", 0) == 1;
  return 0;
}

int32_t tmDone(void) {
  errClear();
  if (g_entries) TM_LOG("Delete all loaded textures:\n");
  for (SYS_List_p n = g_entries; n; n = n->next) {
    tm_entry_t *e = static_cast<tm_entry_t *>(n->item);
    TM_LOG(" - '%s'\n", e->name);
    if (e->uploaded) DeleteTexture(e);
    if (e->bitmap) txFree(&e->bitmap);
    FreeEntry(e);
  }
  if (g_entries) SYS_ListRemove(g_entries);
  g_entries = nullptr;
  errClear();
  return 0;
}

int32_t tmUpload(tm_entry_t *e) {
  errClear();
  if (!e) return fail(10);
  if (!GlReady()) {
    UploadError(e, GL_INVALID_OPERATION);
    return 0;
  }
  wmGL.glEnable(GL_TEXTURE_2D);
  if (e->id) wmGL.glDeleteTextures(1, &e->id);
  e->id = 0;
  wmGL.glGenTextures(1, &e->id);
  wmGL.glBindTexture(GL_TEXTURE_2D, e->id);
  TM_LOG("Upload texture: %s\n", e->name);

  switch (e->filter) {
    case TM_FILTER_NEAREST:
      wmGL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
      wmGL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
      break;
    case TM_FILTER_LINEAR:
      wmGL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      wmGL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      break;
    case TM_FILTER_MIPMAP_NEAREST:
      wmGL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
      wmGL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_NEAREST);
      break;
    case TM_FILTER_MIPMAP_LINEAR:
      wmGL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      wmGL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
      break;
    default: break;
  }
  wmGL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, kClamp);
  wmGL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, kClamp);

  const txBitmap *b = e->bitmap;
  if (!b) {
    UploadError(e, GL_INVALID_VALUE);
  } else {
    GLint alignment = 4;
    wmGL.glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    wmGL.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    int32_t bytes = 0;
    const GLenum format = PixelFormat(b->subtype, &bytes);
    if (b->type == TX_TYPE_COMPRESSED) {
      UploadLevels(e, b, true, 0, 0);
    } else if (b->levels > 1) {
      UploadLevels(e, b, false, format, bytes);
    } else if (!LevelFits(b, 0, (int64_t)b->width * b->height * bytes)) {
      UploadError(e, GL_INVALID_VALUE);
    } else if (e->filter == TM_FILTER_NEAREST || e->filter == TM_FILTER_LINEAR) {
      wmGL.glTexImage2D(GL_TEXTURE_2D, 0, b->bits / 8, b->width, b->height, 0, format, GL_UNSIGNED_BYTE, b->image[0]);
    } else if (wmGLU.gluBuild2DMipmaps) {
      wmGLU.gluBuild2DMipmaps(GL_TEXTURE_2D, b->bits / 8, b->width, b->height, format, GL_UNSIGNED_BYTE, b->image[0]);
    } else {
      // Without GLU the driver builds the chain from level 0.
      wmGL.glTexParameteri(GL_TEXTURE_2D, kGenerateMipmap, 1);
      wmGL.glTexImage2D(GL_TEXTURE_2D, 0, b->bits / 8, b->width, b->height, 0, format, GL_UNSIGNED_BYTE, b->image[0]);
    }
    wmGL.glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  }
  e->uploaded = 1;
  return 0;
}

int32_t tmLoad(const char *name, int32_t filter) {
  errClear();
  if (!name) return fail(10);
  if (tm_entry_t *e = Lookup(name)) {
    if (!e->uploaded) tmUpload(e);
    e->loadCount++;
    if (wmGL.glEnable && wmGL.glBindTexture) {
      wmGL.glEnable(GL_TEXTURE_2D);
      wmGL.glBindTexture(GL_TEXTURE_2D, e->id);
    }
    TM_LOG("Load texture from cache: %s\n", name);
    errClear();
    return (int32_t)e->id;
  }
  TM_LOG(" ! New node: %s\n", name);
  txBitmap *bitmap = txLoad(name);
  if (!bitmap) {
    TM_ERR(" ! texture loading error: %d\n", errGetLastError());
    return fail(1005);
  }
  tm_entry_t *e = NewEntry(name);
  if (!e) {
    txFree(&bitmap);
    return fail(5);
  }
  e->loadCount++;
  e->filter = filter;
  e->bitmap = bitmap;
  tmUpload(e);
  errClear();
  return (int32_t)e->id;
}

int32_t tmLoadFromBitmap(const char *key, txBitmap *bitmap, int32_t filter) {
  errClear();
  if (!key || !bitmap) return fail(10);
  tm_entry_t *e = Lookup(key);
  TM_LOG("New node from bitmap: %s\n", key);
  if (!e && !(e = NewEntry(key))) return -1;
  e->loadCount++;
  e->bitmap = bitmap;
  e->filter = filter;
  tmUpload(e);
  return (int32_t)e->id;
}

int32_t tmReloadFromBitmap(const char *key, txBitmap *bitmap) {
  errClear();
  tm_entry_t *e = Lookup(key);
  if (!e) return fail(14);
  if (!bitmap) return fail(10);
  TM_LOG("Reload texture from bitmap: %s\n", key);
  if (wmGL.glDisable) wmGL.glDisable(GL_TEXTURE_2D);
  if (e->bitmap && e->bitmap != bitmap) txFree(&e->bitmap);
  e->bitmap = bitmap;
  if (wmGL.glEnable) wmGL.glEnable(GL_TEXTURE_2D);
  if (e->uploaded) DeleteTexture(e);
  return tmUpload(e);
}

int32_t tmReload(const char *key) {
  errClear();
  tm_entry_t *e = Lookup(key);
  if (!e) return fail(14);
  TM_LOG("Reload texture: %s\n", key);
  if (wmGL.glEnable) wmGL.glEnable(GL_TEXTURE_2D);
  if (e->uploaded) DeleteTexture(e);
  return tmUpload(e);
}

int32_t tmUnload(const char *key) {
  errClear();
  tm_entry_t *e = Lookup(key);
  if (!e) return fail(14);
  TM_LOG("Remove texture: '%s'\n", key);
  if (e->uploaded) DeleteTexture(e);
  g_entries = SYS_ListDelItem(g_entries, e);
  FreeEntry(e);
  errClear();
  return 0;
}

int32_t tmBind(const char *key) {
  errClear();
  tm_entry_t *e = Lookup(key);
  if (!e) return fail(14);
  if (e->uploaded && wmGL.glEnable && wmGL.glBindTexture) {
    wmGL.glEnable(GL_TEXTURE_2D);
    wmGL.glBindTexture(GL_TEXTURE_2D, e->id);
  }
  return 0;
}

tm_entry_t *tmFind(const char *key) {
  errClear();
  tm_entry_t *e = Lookup(key);
  if (!e) errSetLastError(14);
  return e;
}

int32_t tmGetId(const char *key) {
  errClear();
  tm_entry_t *e = Lookup(key);
  return e ? (int32_t)e->id : fail(14);
}

txBitmap *tmGetBitmap(const char *key) {
  errClear();
  tm_entry_t *e = Lookup(key);
  if (!e) errSetLastError(14);
  return e ? e->bitmap : nullptr;
}
