// Project player: project records, project file, loading and the scene cache.
//
// The project file is little-endian without a magic: a 284-byte header (name and
// seven int32), the scene and filter names (256 bytes each), the operator records
// (304 bytes each) and then every operator's keys (24 bytes each), in file order. The
// whole file is read and checked against its counts before anything is loaded, so a
// short or malformed file loads nothing at all. Scene records are cleared before the
// reader fills them (the reader keeps what a record holds for fields without a
// chunk). The cache holds 256 scenes; later ones load uncached, with a log line.
// Depends on: scene records, scene file reader and textures, renderer helpers
// (particle pools), IFE layers, bindings (log), procedural tables (random draws), GL.
#include "scene/player.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "presentation/bindings.h"
#include "presentation/gl.h"
#include "presentation/procedural.h"
#include "scene/renderhelpers.h"
#include "scene/scenefile.h"
#include "scene/scenetex.h"

float ScreenScaleX = 1.0f, ScreenScaleY = 1.0f;
int32_t NoiseTextures[kNoiseTextureCount] = {};
int32_t FrameTextures[4] = {};
int32_t SmallFrameTextures[4] = {};
ShortString SceneCacheNames[kSceneCacheSize];
_QLV_SCENE *SceneCacheScenes[kSceneCacheSize] = {};
int32_t SceneCacheCount = 0;
float PointX[kRandomPointCount], PointY[kRandomPointCount], PointZ[kRandomPointCount], PointShade[kRandomPointCount];

namespace {

// Larger project files are refused: a project is names and key tables.
constexpr int64_t kProjectFileMax = 64LL << 20;

int32_t Fail(const char *what, const ShortString &name) {
  ShortString line = "[qlv] ";
  line += what;
  line += name;
  PasLogLn(line);
  return -1;
}

int32_t Int32At(const uint8_t *p) {
  return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

ShortString NameAt(const uint8_t *p) { return ShortString(std::string_view((const char *)p + 1, p[0])); }

template <typename T>
T *HeapRecords(int32_t count) {
  if (count <= 0) return nullptr;
  T *records = static_cast<T *>(std::calloc((size_t)count, sizeof(T)));
  if (records)
    for (int32_t i = 0; i < count; i++) new (&records[i]) T();
  return records;
}

int32_t CacheFind(const ShortString &key) {
  for (int32_t i = 0; i < SceneCacheCount; i++)
    if (std::string_view(SceneCacheNames[i]) == std::string_view(key)) return i;
  return -1;
}

enum class SceneSource { Cache, File, Failed };

SceneSource LoadScene(_QLV_SCENE *scene, const ShortString &name) {
  IfeLoadingFrame();
  const ShortString key = SceneCacheKey(name);
  const int32_t hit = CacheFind(key);
  if (hit >= 0) {
    *scene = *SceneCacheScenes[hit];
    PasLogLn(ShortString("[CACHE] cached load ") + key);
    return SceneSource::Cache;
  }
  if (SceneLoad(scene, ShortString("data/") + key) != 0) return SceneSource::Failed;  // logged, record cleared
  SceneLoadTextures(scene, "textures");
  ParticlesCreate(scene, 5000);
  if (SceneCacheCount >= kSceneCacheSize) {
    PasLogLn(ShortString("[CACHE] cache full, not cached: ") + key);
    return SceneSource::File;
  }
  SceneCacheNames[SceneCacheCount] = key;
  SceneCacheScenes[SceneCacheCount] = scene;
  SceneCacheCount++;
  return SceneSource::File;
}

void FreeProjectRecords(TVX_Project &p) {
  for (int32_t i = 0; p.Operators && i < p.OperatorCount; i++) std::free(p.Operators[i].Keys);
  std::free(p.Operators);
  std::free(p.Scenes);
  std::free(p.Filters);
  p = TVX_Project{};
}

// Allocated, cleared textures with linear filters (GL texture state on the caller).
GLuint NewTexture() {
  GLuint id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_2D, id);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  return id;
}

int32_t FrameTexture(int32_t width, int32_t height) {
  const GLuint id = NewTexture();
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexImage2D(GL_TEXTURE_2D, 0, 3, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
  return (int32_t)id;
}

}  // namespace

ShortString SceneCacheKey(const ShortString &name) {
  const std::string_view s = name;
  for (size_t i = s.size() >= 2 ? s.size() - 1 : 0; i-- > 0;)
    if (s[i] == '\\') return ShortString(s.substr(i + 1));
  return name;
}

int32_t SlotTexture(int32_t slot) {
  if (slot < 0 || slot > 7) return -1;
  return slot < 4 ? FrameTextures[slot] : SmallFrameTextures[slot - 4];
}

void ProjectNoOp(int32_t, const ShortString &) {}

void ProjectFree(TVX_Project *project) {
  for (int32_t i = 0; project->Operators && i < project->OperatorCount; i++) std::free(project->Operators[i].Keys);
  std::free(project->Operators);
  for (int32_t i = 0; project->Filters && i < project->FilterCount; i++) IfeFree(&project->Filters[i]);
  std::free(project->Filters);
  bool cached = false;
  for (int32_t c = 0; c < SceneCacheCount; c++)
    cached = cached || ((uintptr_t)SceneCacheScenes[c] >= (uintptr_t)project->Scenes &&
                        (uintptr_t)SceneCacheScenes[c] < (uintptr_t)(project->Scenes + project->SceneCount));
  if (!cached) std::free(project->Scenes);
  *project = TVX_Project{};
}

void ProjectPlayerInit(int32_t width, int32_t height) {
  for (ShortString &name : SceneCacheNames) name = "";
  SceneCacheCount = 0;
  for (int32_t i = 0; i < kRandomPointCount; i++) {
    PointX[i] = (float)(RandomBelow(5000) - 3000);
    PointY[i] = (float)(RandomBelow(5000) - 3000);
    PointZ[i] = (float)(RandomBelow(5000) - 3000);
    PointShade[i] = (float)(RandomBelow(1000) / 2000.0 + 0.5);
  }
  ScreenScaleX = (float)(width / 1024.0);
  ScreenScaleY = (float)(height / 768.0);
  static uint8_t noise[256 * 256];
  for (int32_t t = 0; t < kNoiseTextureCount; t++) {
    for (uint8_t &b : noise) b = (uint8_t)RandomBelow(256);
    NoiseTextures[t] = (int32_t)NewTexture();
    glTexImage2D(GL_TEXTURE_2D, 0, 1, 256, 256, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, noise);
  }
  glEnable(GL_TEXTURE_2D);
  for (int32_t &id : FrameTextures) id = FrameTexture(width, height);
  for (int32_t &id : SmallFrameTextures) id = FrameTexture(256, 256);
}

int32_t ProjectLoad(TVX_Project *project, const ShortString &fileName) {
  *project = TVX_Project{};
  uint8_t *data = nullptr;
  int64_t size = 0;
  if (!SceneReadFile(SceneDiskPath(fileName), kProjectFileMax, &data, &size))
    return Fail("project file cannot be read: ", fileName);
  struct Guard {
    uint8_t *p;
    ~Guard() { SceneAllocFree(p); }
  } guard{data};

  if (size < kProjectHeaderSize) return Fail("project file too short: ", fileName);
  const int32_t scenes = Int32At(data + 272), filters = Int32At(data + 276), operators = Int32At(data + 280);
  if (scenes < 0 || filters < 0 || operators < 0) return Fail("project file has a negative count: ", fileName);
  const int64_t operatorsAt = kProjectHeaderSize + (int64_t)kProjectNameSize * ((int64_t)scenes + filters);
  int64_t keysAt = operatorsAt + (int64_t)kProjectOperatorSize * operators;
  if (keysAt > size) return Fail("project file ends inside its names or operators: ", fileName);
  int64_t end = keysAt;
  for (int32_t i = 0; i < operators; i++) {
    const int32_t keys = Int32At(data + operatorsAt + (int64_t)kProjectOperatorSize * i + 44);
    if (keys < 0) return Fail("project file has a negative key count: ", fileName);
    end += (int64_t)kProjectKeySize * keys;
    if (end > size) return Fail("project file ends inside its keys: ", fileName);
  }

  TVX_Project p{};
  p.Name = NameAt(data);
  p.Header1 = Int32At(data + 256);
  p.Header2 = Int32At(data + 260);
  p.Header3 = Int32At(data + 264);
  p.Header4 = Int32At(data + 268);
  p.SceneCount = scenes;
  p.FilterCount = filters;
  p.OperatorCount = operators;
  p.Scenes = HeapRecords<_QLV_SCENE>(scenes);
  p.Filters = HeapRecords<ife_interface>(filters);
  p.Operators = HeapRecords<TVX_Operator>(operators);
  bool ok = (scenes == 0 || p.Scenes) && (filters == 0 || p.Filters) && (operators == 0 || p.Operators);
  for (int32_t i = 0; ok && i < operators; i++) {
    const uint8_t *r = data + operatorsAt + (int64_t)kProjectOperatorSize * i;
    TVX_Operator &op = p.Operators[i];
    op.OpType = Int32At(r);
    op.Target = Int32At(r + 4);
    std::memcpy(op.Params, r + 8, 32);
    op.KeyCount = Int32At(r + 44);
    op.Name = NameAt(r + 48);
    op.Keys = HeapRecords<TVX_Key>(op.KeyCount);
    ok = op.KeyCount == 0 || op.Keys;
    for (int32_t k = 0; ok && k < op.KeyCount; k++) {
      const uint8_t *q = data + keysAt + (int64_t)kProjectKeySize * k;
      op.Keys[k] = {Int32At(q), Int32At(q + 4), q[8], Int32At(q + 12), Int32At(q + 16), Int32At(q + 20)};
    }
    keysAt += (int64_t)kProjectKeySize * op.KeyCount;
  }
  if (!ok) {
    // Project records are never given back (scene copies may point into them), but
    // nothing has been loaded yet, so this failure can still release them.
    FreeProjectRecords(p);
    return Fail("no memory for the project: ", fileName);
  }

  // A scene that cannot be loaded fails the whole project. The scenes loaded before
  // it are given back and leave the cache again: the cache points into this
  // project's records. Copies from the cache share their arrays and are not freed.
  const int32_t cachedBefore = SceneCacheCount;
  std::vector<SceneSource> sources((size_t)scenes);
  for (int32_t i = 0; i < scenes; i++) {
    const ShortString name = NameAt(data + kProjectHeaderSize + kProjectNameSize * (int64_t)i);
    sources[(size_t)i] = LoadScene(&p.Scenes[i], name);
    if (sources[(size_t)i] != SceneSource::Failed) continue;
    for (int32_t c = cachedBefore; c < SceneCacheCount; c++) {
      SceneCacheNames[c] = "";
      SceneCacheScenes[c] = nullptr;
    }
    SceneCacheCount = cachedBefore;
    for (int32_t j = 0; j < i; j++) {
      if (sources[(size_t)j] != SceneSource::File) continue;
      SceneReleaseTextures(&p.Scenes[j]);
      SceneFree(&p.Scenes[j]);
    }
    FreeProjectRecords(p);
    PasLogLn(ShortString("[qlv] ") + fileName + ": scene cannot be loaded: " + SceneCacheKey(name));
    return -1;
  }
  for (int32_t i = 0; i < filters; i++) {
    IfeLoadingFrame();
    const ShortString name = NameAt(data + kProjectHeaderSize + kProjectNameSize * ((int64_t)scenes + i));
    IfeLoad(&p.Filters[i], ShortString("data/") + SceneCacheKey(name), "textures");
  }
  *project = p;
  return 0;
}
