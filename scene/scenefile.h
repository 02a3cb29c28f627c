// Scene file: chunked reader and writer.
//
// A scene file is a flat stream of chunks "T!" type id count size packed index
// payload, each payload the raw little-endian image of one field or array of the
// scene records. SceneLoad reads the whole file, checks every chunk against the
// bytes there and the record it targets, applies it, validates the finished scene
// (counts, array sizes, vertex, neighbour and material indices) and then prepares it.
// A malformed file is refused with a "[qlv]" log line: its arrays are released and
// the record is cleared. SceneSave writes the format back (version 1.2).
// Scene files are plain disk paths ("\" is taken as "/"), not the file layer.
// Depends on: scene/records.h, presentation/bindings (PasLogLn, PasMemGet/Free),
// scene/prepare (preparation after loading).
#pragma once

#include <cstdint>

#include "presentation/pstring.h"
#include "scene/records.h"

// Bytes per element of chunk element types 0..13.
extern int32_t ChunkElementSize[14];
// Format version the writer produces.
extern uint8_t FileVersionMajor;
extern uint8_t FileVersionMinor;

void InitChunkSizes(void);
// Unit start-up: chunk sizes and the writer's version 1.2.
void InitSceneFileUnit(void);

// Reads fileName into *scene (normally cleared; fields without a chunk keep what the
// record held) and prepares it (needs a current GL context with buffer objects).
// 0 on success; -1 for a missing, truncated or malformed file, logged, with every
// array released and *scene cleared.
int32_t SceneLoad(_QLV_SCENE *scene, const ShortString &fileName);
// Writes *scene as a version 1.2 file, replacing fileName. 0, or -1 (logged) when the
// file cannot be created or written; a partly written file is then left as it is.
int32_t SceneSave(_QLV_SCENE *scene, const ShortString &fileName);

// An untracked, uncleared heap block for derived arrays and temporaries; the tag is
// not kept. SceneAllocFree gives such a block back (null accepted).
void *SceneAlloc(int32_t size, const char *tag);
void SceneAllocFree(void *block);
// Does nothing and nothing calls it: blocks go back through SceneAllocFree (untracked
// ones) and SceneFree (a whole scene). Kept for the engine's interface.
void SceneRelease(void *block);
// The whole file at a disk path in a SceneAlloc block (give it back with
// SceneAllocFree); false when it cannot be opened or read or is longer than limit.
bool SceneReadFile(const ShortString &path, int64_t limit, uint8_t **data, int64_t *length);
// A scene path for the OS: "\" becomes "/".
ShortString SceneDiskPath(const ShortString &name);
// One line to the framework log.
void SceneLog(const ShortString &text);
