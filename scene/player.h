// Project player: project records, project file, loading and the scene cache.
//
// A project names a set of scenes and image filters (IFE files) and holds a timeline
// of operators, each with keys that ramp a value over a range of time units. The
// host calls ProjectPlayerInit once with the GL context current, then ProjectLoad,
// then ProjectPlay (timeline) every frame. Scenes are cached by file name for the
// whole run: a scene named again, in this project or a later one, is a copy of the
// record loaded first and shares its arrays, textures and particle pool.
// Depends on: scene records, scene file reader and textures, renderer helpers
// (particle pools), IFE layers, bindings (log), procedural tables (random draws), GL.
#pragma once

#include <cstdint>

#include "presentation/ife.h"
#include "presentation/pstring.h"
#include "scene/records.h"

struct TVX_Key {
  int32_t StartTime;
  int32_t EndTime;  // inclusive
  uint8_t Ease;     // 0, 1 or 2
  int32_t StartValue;  // -303: a new random value 0..999 at every evaluation
  int32_t MidValue;
  int32_t EndValue;
};

struct TVX_Operator {
  int32_t OpType;
  int32_t Target;  // scene (types 6, 7, 1001) or filter (1002)
  uint8_t Params[32];
  TVX_Key *Keys;
  int32_t KeyCount;
  ShortString Name;
};

struct TVX_RGBA {
  uint8_t r, g, b, a;
};

struct TVX_Project {
  ShortString Name;
  int32_t Header1, Header2, Header3, Header4;
  int32_t SceneCount;
  int32_t FilterCount;
  int32_t OperatorCount;
  TVX_Operator *Operators;
  _QLV_SCENE *Scenes;
  ife_interface *Filters;
};

enum : int32_t {
  kTvxMaxIndex = 100,  // declared bound of the project arrays; counts are not held to it
  kSceneCacheSize = 256,
  kNoiseTextureCount = 32,
  kRandomPointCount = 20001,
  kProjectHeaderSize = 284,
  kProjectNameSize = 256,
  kProjectOperatorSize = 304,
  kProjectKeySize = 24,
};

typedef TVX_Operator tvx_operator_array[kTvxMaxIndex + 1];
typedef TVX_Key tvx_key_array[kTvxMaxIndex + 1];
typedef ife_interface ife_interface_array[kTvxMaxIndex + 1];

// Output size over the 1024 x 768 reference screen of operator rectangles.
extern float ScreenScaleX, ScreenScaleY;
extern int32_t NoiseTextures[kNoiseTextureCount];
// Texture slots 0..3 and 4..7 of the copy and shader operators.
extern int32_t FrameTextures[4];
extern int32_t SmallFrameTextures[4];
extern ShortString SceneCacheNames[kSceneCacheSize];
extern _QLV_SCENE *SceneCacheScenes[kSceneCacheSize];
extern int32_t SceneCacheCount;
extern float PointX[kRandomPointCount], PointY[kRandomPointCount], PointZ[kRandomPointCount],
    PointShade[kRandomPointCount];

void ProjectPlayerInit(int32_t width, int32_t height);
// Reads the project file at fileName (a disk path; "\" is taken as "/") and loads
// its scenes and filters. 0, or -1 for a missing, short or malformed file or a scene
// that cannot be loaded (logged with the file's or the scene's name): the project is
// then left empty, and the scenes this call loaded are released and not cached.
int32_t ProjectLoad(TVX_Project *project, const ShortString &fileName);
// Gives back the project's own records: operators, keys, filters (with their layers)
// and the scene list unless the scene cache holds one of its scenes. The scenes'
// arrays are not released: copies from the cache share them. Leaves the project empty.
void ProjectFree(TVX_Project *project);
// The cache key of a name: the text after its last backslash (the whole name
// without one).
ShortString SceneCacheKey(const ShortString &name);
// GL texture id of slot 0..7, or -1 for a slot that does not exist.
int32_t SlotTexture(int32_t slot);
// Declared with the project types; has no effect.
void ProjectNoOp(int32_t value, const ShortString &text);
