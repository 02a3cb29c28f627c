// Texture management table: sharing by name and filter, reference counts, the GL
// upload rules, and the fit to the hardware's largest texture.
//
// TexLoad claims its node before it reads the image and ends the run through
// FatalError when the image cannot be had, so a failed load never comes back to a
// caller. Uploads run with GL_UNPACK_ALIGNMENT 1, since the loader's rows are packed
// without padding (an odd-width 24-bit image would otherwise be read skewed).
// Depends on: texloader (TLLoad), media/texture, gl (entries, GLMaxTextureSize, DXT
// flags), bindings (PasLogLn, FatalError).
#include "presentation/textures.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "presentation/bindings.h"
#include "presentation/gl.h"
#include "presentation/texloader.h"

txNode TexTable[kTexTableSize];

namespace {

constexpr GLenum kGenerateMipmap = 0x8191;
constexpr GLenum kTextureMaxLevel = 0x813D;

[[noreturn]] void LoaderError(const ShortString &name) {
  ShortString msg = "Error occoured ! Texture Loader Error. ( ";
  msg += name;
  msg += " )";
  FatalError(msg);
}

void PassDxtFlags() {
  txOptions(TX_DXT1, GLHasDXT1 ? 1 : 0);
  txOptions(TX_DXT3, GLHasDXT3 ? 1 : 0);
  txOptions(TX_DXT5, GLHasDXT5 ? 1 : 0);
}

// GL pixel format and component count of an uncompressed bitmap, by its depth.
bool PixelFormat(const txBitmap *b, GLenum *format, GLint *components) {
  switch (b->bits) {
    case 8: *format = GL_LUMINANCE, *components = 1; return true;
    case 24: *format = GL_RGB, *components = 3; return true;
    case 32: *format = GL_RGBA, *components = 4; return true;
    default: return false;
  }
}

bool Uploadable(const txBitmap *b) {
  GLenum format;
  GLint components;
  return b->type == TX_TYPE_COMPRESSED || PixelFormat(b, &format, &components);
}

// Filter parameters and upload by filter code; codes outside 0..3 leave the texture
// without image or parameters.
bool ApplyFilter(const txBitmap *b, int32_t filter) {
  static constexpr GLint kMag[4] = {GL_NEAREST, GL_LINEAR, GL_NEAREST, GL_LINEAR};
  static constexpr GLint kMin[4] = {GL_NEAREST, GL_LINEAR, GL_NEAREST_MIPMAP_NEAREST, GL_LINEAR_MIPMAP_LINEAR};
  if (filter < 0 || filter > 3) return true;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, kMag[filter]);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, kMin[filter]);
  return TexUpload(b, filter < 2 ? 1 : 0);
}

// Fits both sides under the GL limit, each on its own; a limit of 0 (no probe yet)
// means unknown, not "zero texels".
void FitToMaxSize(txBitmap *b, const ShortString &name) {
  const int32_t max = GLMaxTextureSize;
  if (max <= 0 || (b->width <= max && b->height <= max)) return;
  PasLogLn(ShortString(" - scaling down ") + name);
  const int32_t w = std::min(b->width, max), h = std::min(b->height, max);
  PasLogLn("   - " + std::to_string(b->width) + "x" + std::to_string(b->height) + " -> " + std::to_string(w) +
           "x" + std::to_string(h));
  txScale(b, w, h);
}

bool Live(const txNode &n) { return !n.free && n.loaded; }

}  // namespace

void TexInit(void) {
  for (txNode &n : TexTable) {
    n.name = "empty";
    n.glId = 0;
    n.loaded = false;
    n.free = true;
    n.filter = 3;
    n.refCount = 0;
  }
}

void InitTexUnit(void) { TexInit(); }

bool TexUpload(const txBitmap *b, int32_t singleLevel) {
  if (!b) return false;
  GLint savedAlignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &savedAlignment);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  const int32_t levels = std::clamp(b->levels, 1, (int32_t)TX_MAX_LEVELS);
  bool ok = true;
  if (b->type == TX_TYPE_COMPRESSED) {
    glTexParameteri(GL_TEXTURE_2D, kGenerateMipmap, 0);
    int32_t w = b->width, h = b->height;
    for (int32_t i = 0; i < levels; ++i) {
      w = std::max(w, 1);
      h = std::max(h, 1);
      if (glCompressedTexImage2DARB)
        glCompressedTexImage2DARB(GL_TEXTURE_2D, i, (GLenum)b->subtype, w, h, 0, b->imagesize[i], b->image[i]);
      w /= 2;
      h /= 2;
    }
    glTexParameteri(GL_TEXTURE_2D, kTextureMaxLevel, levels - 1);
  } else {
    GLenum format;
    GLint components;
    if (!PixelFormat(b, &format, &components)) {
      PasLogLn("[tex] ! " + std::to_string(b->bits) + "-bit images cannot be uploaded");
      ok = false;
    } else if (b->levels > 1) {
      glTexParameteri(GL_TEXTURE_2D, kGenerateMipmap, 0);
      int32_t w = b->width, h = b->height;
      for (int32_t i = 0; i < levels; ++i) {
        w = std::max(w, 1);
        h = std::max(h, 1);
        glTexImage2D(GL_TEXTURE_2D, i, components, w, h, 0, format, GL_UNSIGNED_BYTE, b->image[i]);
        w /= 2;
        h /= 2;
      }
      glTexParameteri(GL_TEXTURE_2D, kTextureMaxLevel, levels - 1);
    } else if (singleLevel == 0) {
      gluBuild2DMipmaps(GL_TEXTURE_2D, components, b->width, b->height, format, GL_UNSIGNED_BYTE, b->image[0]);
    } else {
      glTexImage2D(GL_TEXTURE_2D, 0, components, b->width, b->height, 0, format, GL_UNSIGNED_BYTE, b->image[0]);
    }
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, savedAlignment);
  return ok;
}

int32_t TexLoad(const ShortString &name, int32_t filter) {
  PassDxtFlags();
  int32_t id = 0;
  for (txNode &n : TexTable)
    if (Live(n) && n.filter == filter && std::string_view(n.name) == std::string_view(name)) {
      id = n.glId;
      ++n.refCount;
    }
  if (id != 0) return id;

  txNode *node = nullptr;
  for (txNode &n : TexTable)
    if (n.free) {
      node = &n;
      break;
    }
  // All 1001 nodes taken: end the run with the loader's message rather than write
  // past the table.
  if (!node) LoaderError(name);
  node->name = name;
  node->free = false;
  node->filter = filter;
  node->refCount = 1;

  txBitmap *bitmap = TLLoad(name);
  if (!bitmap || !Uploadable(bitmap)) LoaderError(name);
  if (bitmap->type != TX_TYPE_COMPRESSED) FitToMaxSize(bitmap, name);

  GLuint glId = 0;
  glGenTextures(1, &glId);
  node->glId = (int32_t)glId;
  glBindTexture(GL_TEXTURE_2D, glId);
  node->bitDepth = bitmap->bits;
  ApplyFilter(bitmap, filter);
  node->loaded = true;
  txFree(&bitmap);
  return node->glId;
}

void TexRelease(int32_t id) {
  for (txNode &n : TexTable) {
    if (!Live(n) || n.glId != id) continue;
    if (--n.refCount < 1) {
      GLuint glId = (GLuint)n.glId;
      glDeleteTextures(1, &glId);
      n.free = true;
      n.loaded = false;
    }
  }
}

int32_t TexBitDepth(int32_t id) {
  int32_t depth = 0;
  for (const txNode &n : TexTable)
    if (Live(n) && n.glId == id) depth = n.bitDepth;
  return depth;
}

void TexReset(void) {
  for (txNode &n : TexTable)
    if (Live(n)) {
      GLuint glId = (GLuint)n.glId;
      glDeleteTextures(1, &glId);
    }
  TexInit();
}

void TexReloadAll(void) {
  PassDxtFlags();
  for (txNode &n : TexTable) {
    if (!Live(n)) continue;
    txBitmap *bitmap = TLLoad(n.name);
    // A file that has gone keeps the node's current texture.
    if (!bitmap) {
      PasLogLn("Error occoured ! Texture Loader Error. (NIL RETURN VALUE)");
      continue;
    }
    GLuint glId = (GLuint)n.glId;
    glDeleteTextures(1, &glId);
    glGenTextures(1, &glId);
    n.glId = (int32_t)glId;
    glBindTexture(GL_TEXTURE_2D, glId);
    n.bitDepth = bitmap->bits;
    ApplyFilter(bitmap, n.filter);
    n.loaded = true;
    txFree(&bitmap);
  }
}

void TexDump(const ShortString &fileName) {
  FILE *f = std::fopen(fileName.c_str(), "w");
  if (!f) return;
  bool ok = std::fprintf(f, "tarvo!korvadyne texture management system\n \n") > 0;
  for (const txNode &n : TexTable) {
    if (n.free || !ok) continue;
    ok = std::fprintf(f, "%s OpenGL ref.:%d uploaded:%s type:%d reqs.:%d\n", n.name.c_str(), n.glId,
                      n.loaded ? "TRUE" : "FALSE", n.filter, n.refCount) > 0;
  }
  if (std::fclose(f) != 0 || !ok) PasLogLn("[tex] ! writing " + std::string(fileName) + " failed");
}
