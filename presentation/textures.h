// Texture management table of the presentation and the scene engine.
//
// 1001 nodes, each one GL texture shared by every user of the same file name and
// filter and counted by references. Every operation scans the whole table in index
// order: calls are rare (loading, scene changes), so no index is kept. A node is
// vacant (free), claimed (taken by TexLoad, not yet uploaded) or live (uploaded);
// only live nodes are found by name, released or asked for their depth.
// Depends on: texture-loader unit (TLLoad), media/texture (txOptions, txScale,
// txFree), GL unit (entry table, GLMaxTextureSize, DXT flags), bindings (PasLogLn,
// FatalError).
#pragma once

#include <cstdint>

#include "media/texture/TL.h"
#include "presentation/pstring.h"

struct txNode {
  ShortString name;  // as passed to TexLoad; "empty" until used after a reset
  int32_t glId;      // a released node keeps its old id
  bool loaded;
  bool free;
  int32_t filter;  // 0..3, see TexLoad
  int32_t refCount;
  int32_t bitDepth;
};

constexpr int32_t kTexTableSize = 1001;
extern txNode TexTable[kTexTableSize];

// Every node vacant and named "empty"; no GL texture is deleted.
void TexInit(void);
// GL texture id for name and filter (0 nearest, 1 linear, 2 nearest with mipmaps,
// 3 linear with mipmaps; other values create a bound texture without an image).
// The texture is left bound. An image that cannot be loaded or uploaded, or a full
// table, ends the run through FatalError.
int32_t TexLoad(const ShortString &name, int32_t filter);
// One reference of every live node with that id; the last one deletes the texture.
void TexRelease(int32_t id);
// Bits per pixel of the live node with that id (the highest index wins), 0 for none.
int32_t TexBitDepth(int32_t id);
// Uploads into the texture bound to GL_TEXTURE_2D: compressed levels, stored levels,
// generated mipmaps (singleLevel 0) or level 0 alone (singleLevel 1). The GL format
// follows the depth: 8 bits grey, 24 RGB, 32 RGBA; other depths are not uploaded.
// Returns false when the bitmap cannot be uploaded.
bool TexUpload(const txBitmap *bitmap, int32_t singleLevel);
// Text report of the claimed and live nodes.
void TexDump(const ShortString &fileName);
// Deletes every live texture, then TexInit.
void TexReset(void);
// Loads every live node's file again into a new texture.
void TexReloadAll(void);
// Start-up of the texture management unit: TexInit.
void InitTexUnit(void);
