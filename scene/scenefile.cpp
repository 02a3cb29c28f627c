// Scene file: chunked reader and writer.
//
// The reader takes the whole file into memory and walks it in 4-byte steps looking
// for the chunk tag "T!" (a tag off that grid is not found, as the format has always
// behaved). Each chunk is applied through one table indexed by chunk id that names
// the target record, the field's offset and its image size, so every chunk gets the
// same checks: header inside the file, payload inside the file, item index inside
// the arrays read so far, payload exactly the field's size (arrays: a whole number
// of elements within the array bound). After the last chunk the scene is validated
// as a whole, because counts and arrays travel in separate chunks: every array holds
// exactly its count, every vertex index is below vertexcount, every neighbour is a
// face or -1 and every material index names a material. Only then is it prepared.
// Depends on: scene/records.h, scene/prepare, scene/scenetex (SceneFree),
// presentation/bindings (PasLogLn, PasMemGet/Free), base/mem (SYS_MemSize).
#include "scene/scenefile.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/mem.h"
#include "presentation/bindings.h"
#include "scene/prepare.h"
#include "scene/scenetex.h"

static_assert(std::endian::native == std::endian::little, "scene images are little-endian");

namespace {
// The one table of element sizes: the writer checks every field it writes against it
// at compile time, and InitChunkSizes copies it into the unit's table.
constexpr int32_t kElementSizes[14] = {1, 1, 2, 4, 4, 8, 12, 16, 256, 12, 16, 20, 64, 1};
}  // namespace

int32_t ChunkElementSize[14];
uint8_t FileVersionMajor = 1;
uint8_t FileVersionMinor = 2;

void InitChunkSizes(void) { std::memcpy(ChunkElementSize, kElementSizes, sizeof(kElementSizes)); }

void InitSceneFileUnit(void) {
  InitChunkSizes();
  FileVersionMajor = 1;
  FileVersionMinor = 2;
}

void *SceneAlloc(int32_t size, const char *) { return std::malloc(size > 0 ? static_cast<size_t>(size) : 1); }
void SceneAllocFree(void *block) { std::free(block); }
void SceneRelease(void *) {}
void SceneLog(const ShortString &text) { PasLogLn(text); }

ShortString SceneDiskPath(const ShortString &name) {
  char path[256];
  std::memcpy(path, name.c_str(), name.size() + 1);
  for (size_t i = 0; i < name.size(); i++)
    if (path[i] == '\\') path[i] = '/';
  return ShortString(path);
}

bool SceneReadFile(const ShortString &path, int64_t limit, uint8_t **data, int64_t *length) {
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  const long end = ok ? std::ftell(f) : -1;
  ok = ok && end >= 0 && end <= limit && end <= INT32_MAX && std::fseek(f, 0, SEEK_SET) == 0;
  uint8_t *buffer = ok ? static_cast<uint8_t *>(SceneAlloc(static_cast<int32_t>(end), "qlvloader temp data")) : nullptr;
  ok = buffer && std::fread(buffer, 1, static_cast<size_t>(end), f) == static_cast<size_t>(end);
  std::fclose(f);
  if (!ok) {
    SceneAllocFree(buffer);
    return false;
  }
  *data = buffer;
  *length = end;
  return true;
}

namespace {

// ---------------------------------------------------------------------------------
// Chunk table

enum class Target : uint8_t { None, Scene, Material, Object, Light };
enum class Kind : uint8_t { None, U8, Bool, I32, F32, Name, Raw, Array, Materials, Objects };

struct ChunkField {
  Target target;
  Kind kind;
  uint16_t offset;  // of the field (arrays: of the pointer) in the target record
  uint16_t size;    // bytes of the field's image (arrays: of one element)
  const char *suffix;
};

constexpr int32_t kNameImage = 256;

#define SF(kind, field, size) {Target::Scene, Kind::kind, offsetof(_QLV_SCENE, field), size, nullptr}
#define MF(kind, field, size) {Target::Material, Kind::kind, offsetof(_QLV_MATERIAL, field), size, nullptr}
#define OF(kind, field, size) {Target::Object, Kind::kind, offsetof(_QLV_OBJECT, field), size, nullptr}
#define LF(kind, field, size) {Target::Light, Kind::kind, offsetof(_QLV_LIGHT, field), size, nullptr}
#define OA(field, elem, suffix) {Target::Object, Kind::Array, offsetof(_QLV_OBJECT, field), sizeof(elem), suffix}
#define NOCHUNK {Target::None, Kind::None, 0, 0, nullptr}

const ChunkField kChunks[100] = {
    NOCHUNK,                                                   // 0
    SF(U8, versionmajor, 1),                                   // 1
    SF(U8, versionminor, 1),                                   // 2
    SF(Name, name, kNameImage),                                // 3
    SF(I32, sparevalue, 4),                                    // 4
    {Target::Scene, Kind::Materials, offsetof(_QLV_SCENE, materialcount), 4, " materials"},  // 5
    {Target::Scene, Kind::Objects, offsetof(_QLV_SCENE, objectcount), 4, " objects"},        // 6
    SF(F32, camerafov, 4),                                     // 7
    SF(F32, cameranear, 4),                                    // 8
    SF(F32, camerafar, 4),                                     // 9
    SF(I32, camposkeycount, 4),                                // 10
    SF(I32, camtargetkeycount, 4),                             // 11
    MF(Name, name, kNameImage),                                // 12
    MF(Name, texturename, kNameImage),                         // 13
    MF(Name, envmaptexture, kNameImage),                       // 14
    MF(F32, transparency, 4),                                  // 15
    MF(F32, utile, 4),                                         // 16
    MF(F32, vtile, 4),                                         // 17
    MF(F32, alphatest, 4),                                     // 18
    MF(F32, constantalpha, 4),                                 // 19
    MF(F32, flaresize, 4),                                     // 20
    MF(I32, magtype, 4),                                       // 21
    MF(I32, shine, 4),                                         // 22
    MF(Bool, envmap, 1),                                       // 23
    MF(Bool, receivelight, 1),                                 // 24
    MF(Bool, textured, 1),                                     // 25
    MF(U8, depthtest, 1),                                      // 26
    MF(U8, blend, 1),                                          // 27
    MF(U8, texturewrap, 1),                                    // 28
    MF(U8, bitdepth, 1),                                       // 29
    MF(Raw, ambient, 12),                                      // 30
    MF(Raw, diffuse, 12),                                      // 31
    MF(Raw, specular, 12),                                     // 32
    OF(Name, name, kNameImage),                                // 33
    OF(I32, vertexcount, 4),                                   // 34
    OF(I32, facecount, 4),                                     // 35
    OF(I32, material, 4),                                      // 36
    OF(I32, poskeycount, 4),                                   // 37
    OF(I32, rotkeycount, 4),                                   // 38
    OF(I32, scalekeycount, 4),                                 // 39
    OF(I32, stripcount, 4),                                    // 40
    OF(I32, passno, 4),                                        // 41
    OF(Bool, hastexcoords, 1),                                 // 42
    OF(Bool, hascolors, 1),                                    // 43
    OF(Bool, hasnormals, 1),                                   // 44
    OF(Bool, visible, 1),                                      // 45
    OF(Bool, backfacecull, 1),                                 // 46
    OF(U8, rendermode, 1),                                     // 47
    OF(Raw, matrix, 64),                                       // 48
    OF(Raw, pivot, 12),                                        // 49
    OA(strip, uint16_t, " triangle strip"),                    // 50
    OA(vertices, _QLV_VECTOR, " vertex vectors"),              // 51
    OA(faces, _QLV_FACE, " face list"),                        // 52
    OA(colors, _QLV_RGB, " vertex color list"),                // 53
    OA(texcoords, _QLV_TEXTCOORD, " UV coordinates"),          // 54
    OA(normals, _QLV_VECTOR, " vertex normals"),               // 55
    OA(poskeys, _QLV_KEYVECTOR, " position vectors"),          // 56
    OA(rotkeys, _QLV_KEYQUAT, " rotation quats"),              // 57
    OA(scalekeys, _QLV_KEYVECTOR, " scale vectors"),           // 58
    OF(Name, particle.particletexture, kNameImage),            // 59
    OF(I32, particle.newparticle, 4),                          // 60
    OF(F32, particle.power, 4),                                // 61
    OF(F32, particle.deltapower, 4),                           // 62
    OF(F32, particle.size, 4),                                 // 63
    OF(Bool, particle.particleenabled, 1),                     // 64
    OF(U8, particle.colorattrib, 1),                           // 65
    OF(Raw, particle.deltavector, 12),                         // 66
    OF(Raw, particle.deltavectorspread, 12),                   // 67
    OF(Raw, particle.color, 12),                               // 68
    OF(Raw, particle.colorspread, 12),                         // 69
    {Target::Scene, Kind::Array, offsetof(_QLV_SCENE, camposkeys), sizeof(_QLV_KEYVECTOR), " camera positions"},  // 70
    {Target::Scene, Kind::Array, offsetof(_QLV_SCENE, camtargetkeys), sizeof(_QLV_KEYVECTOR),
     " camera target positions"},                              // 71
    LF(Name, name, kNameImage),                                // 72
    LF(I32, poskeycount, 4),                                   // 73
    LF(Bool, enabled, 1),                                      // 74
    LF(Raw, pos, 12),                                          // 75
    LF(Raw, ambient, 12),                                      // 76
    LF(Raw, diffuse, 12),                                      // 77
    LF(Raw, specular, 12),                                     // 78
    {Target::Light, Kind::Array, offsetof(_QLV_LIGHT, poskeys), sizeof(_QLV_KEYVECTOR), " light positions"},  // 79
    OF(Bool, extraflag1, 1),                                   // 80
    OF(Bool, extraflag2, 1),                                   // 81
    MF(U8, depthfunc, 1),                                      // 82
    OF(U8, cullmode, 1),                                       // 83
    SF(F32, culldistance, 4),                                  // 84
    NOCHUNK,                                                   // 85
    OA(neighbours, _QLV_FACE, " connectivity list"),           // 86
    SF(I32, chunkcount, 4),                                    // 87
    OF(Bool, castshadow, 1),                                   // 88
    OF(Bool, lightscaled, 1),                                  // 89
    SF(F32, lightscale, 4),                                    // 90
    OF(Raw, velocity, 12),                                     // 91
    MF(F32, envalpha, 4),                                      // 92
    MF(Raw, envcolor, 12),                                     // 93
    MF(Bool, envalphablend, 1),                                // 94
    OF(Bool, fog, 1),                                          // 95
    OF(U8, fogmode, 1),                                        // 96
    OF(Raw, fogparam, 12),                                     // 97
    OF(Raw, fogcolor, 16),                                     // 98
    OA(edgefaces, _QLV_FACE, " orignal face list"),            // 99
};

#undef SF
#undef MF
#undef OF
#undef LF
#undef OA
#undef NOCHUNK

// ---------------------------------------------------------------------------------
// Reading

constexpr int32_t kHeaderRest = 16;  // count, size, packed size, index after the first 4 bytes

struct Reader {
  const uint8_t *data;
  int64_t length;
  int64_t pos;
  ShortString file;
};

int32_t ReadI32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return static_cast<int32_t>(v);
}

int32_t Refuse(const Reader &r, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
int32_t Refuse(const Reader &r, const char *fmt, ...) {
  char reason[200];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(reason, sizeof(reason), fmt, ap);
  va_end(ap);
  SceneLog(ShortString("[qlv] ") + r.file + ": " + reason);
  return -1;
}

void SetPointer(void *record, uint16_t offset, void *block) {
  std::memcpy(static_cast<uint8_t *>(record) + offset, &block, sizeof(block));
}

void *GetPointer(const void *record, uint16_t offset) {
  void *block;
  std::memcpy(&block, static_cast<const uint8_t *>(record) + offset, sizeof(block));
  return block;
}

// Stores a name image of size bytes (256 when whole): its length byte says how many
// of the characters count, never more than the image holds.
void StoreName(ShortString *field, const uint8_t *image, int32_t size) {
  if (size <= 0) return;
  const size_t length = std::min<size_t>(image[0], static_cast<size_t>(size - 1));
  *field = std::string_view(reinterpret_cast<const char *>(image + 1), length);
}

// Applies one chunk whose payload lies fully inside the file.
int32_t ApplyChunk(Reader &r, _QLV_SCENE *scene, uint8_t id, int32_t size, int32_t index, const uint8_t *payload) {
  const ChunkField &f = kChunks[id];
  uint8_t *record = nullptr;
  ShortString itemName;
  switch (f.target) {
    case Target::None:
      return 0;
    case Target::Scene:
      record = reinterpret_cast<uint8_t *>(scene);
      break;
    case Target::Material:
      if (!scene->materials || index < 0 || index >= scene->materialcount)
        return Refuse(r, "chunk %d names material %d of %d", id, index, scene->materialcount);
      record = reinterpret_cast<uint8_t *>(&scene->materials[index]);
      itemName = scene->materials[index].name;
      break;
    case Target::Object:
      if (!scene->objects || index < 0 || index >= scene->objectcount)
        return Refuse(r, "chunk %d names object %d of %d", id, index, scene->objectcount);
      record = reinterpret_cast<uint8_t *>(&scene->objects[index]);
      itemName = scene->objects[index].name;
      break;
    case Target::Light:
      if (index < 0 || index >= kQlvLightCount) return Refuse(r, "chunk %d names light %d", id, index);
      record = reinterpret_cast<uint8_t *>(&scene->lights[index]);
      itemName = scene->lights[index].name;
      break;
  }

  if (f.kind == Kind::Array) {
    if (size % f.size != 0 || size / f.size > kQlvMaxArrayIndex + 1)
      return Refuse(r, "chunk %d holds %d bytes, not an array of %d-byte entries", id, size, f.size);
    void *old = GetPointer(record, f.offset);
    PasMemFree(&old);  // a repeated chunk replaces its array
    void *block = nullptr;
    if (size > 0) {
      // Tags name the scene, the item (camera arrays have none) and the array.
      ShortString tag = scene->name;
      if (f.target != Target::Scene) tag = tag + " " + itemName;
      tag += f.suffix;
      block = PasMemGet(size, tag.c_str());
      if (!block) return Refuse(r, "no memory for chunk %d (%d bytes)", id, size);
      std::memcpy(block, payload, static_cast<size_t>(size));
    }
    SetPointer(record, f.offset, block);
    return 0;
  }

  // A shorter payload is copied over the start of the field, as the format has
  // always applied it; a longer one would write past the field.
  if (size > f.size) return Refuse(r, "chunk %d holds %d bytes where its field has %d", id, size, f.size);
  uint8_t *field = record + f.offset;
  switch (f.kind) {
    case Kind::Bool:
      if (size > 0) *reinterpret_cast<bool *>(field) = payload[0] != 0;
      break;
    case Kind::Name:
      StoreName(reinterpret_cast<ShortString *>(field), payload, size);
      break;
    case Kind::Materials:
    case Kind::Objects: {
      const bool materials = f.kind == Kind::Materials;
      int32_t count = 0;
      std::memcpy(&count, field, sizeof(count));
      std::memcpy(&count, payload, static_cast<size_t>(size));
      const int32_t limit = materials ? kQlvMaxMaterialIndex + 1 : kQlvMaxObjectIndex + 1;
      if (count < 0 || count > limit) return Refuse(r, "chunk %d gives %d entries (at most %d)", id, count, limit);
      // A repeated count chunk starts the list anew; the old one is released.
      if (materials) {
        PasMemFree(reinterpret_cast<void **>(&scene->materials));
        scene->materialcount = 0;
      } else {
        for (int32_t i = 0; scene->objects && i < scene->objectcount; i++)
          SceneFreeObjectArrays(&scene->objects[i]);
        PasMemFree(reinterpret_cast<void **>(&scene->objects));
        scene->objectcount = 0;
      }
      if (count == 0) break;
      const size_t bytes = static_cast<size_t>(count) * (materials ? sizeof(_QLV_MATERIAL) : sizeof(_QLV_OBJECT));
      ShortString tag = scene->name + f.suffix;
      void *block = PasMemGet(static_cast<int32_t>(bytes), tag.c_str());
      if (!block) return Refuse(r, "no memory for %d entries of chunk %d", count, id);
      std::memset(block, 0, bytes);  // every field without a chunk reads 0, false or ""
      if (materials) {
        scene->materials = static_cast<_QLV_MATERIAL *>(block);
        scene->materialcount = count;
      } else {
        scene->objects = static_cast<_QLV_OBJECT *>(block);
        scene->objectcount = count;
      }
      break;
    }
    default:
      std::memcpy(field, payload, static_cast<size_t>(size));
      break;
  }
  return 0;
}

// The chunk whose first 4 bytes ("T!", type, id) end at r.pos.
int32_t ReadChunk(Reader &r, _QLV_SCENE *scene, uint8_t elementType, uint8_t chunkId) {
  if (r.length - r.pos < kHeaderRest) return Refuse(r, "file ends inside the header of chunk %d", chunkId);
  const uint8_t *h = r.data + r.pos;
  const int32_t count = ReadI32(h), size = ReadI32(h + 4), packed = ReadI32(h + 8), index = ReadI32(h + 12);
  r.pos += kHeaderRest;
  if (elementType > 13) return Refuse(r, "chunk %d has element type %d", chunkId, elementType);
  if (count < 0 || size < 0 || packed < 0)
    return Refuse(r, "chunk %d has a negative count or size (%d, %d, %d)", chunkId, count, size, packed);
  const int64_t stored = packed != 0 ? packed : size;
  if (r.length - r.pos < stored) return Refuse(r, "file ends inside chunk %d (%lld bytes missing)", chunkId,
                                               static_cast<long long>(stored - (r.length - r.pos)));
  const uint8_t *payload = r.data + r.pos;
  r.pos += stored;
  if (static_cast<int64_t>(ChunkElementSize[elementType]) * count != size) SceneLog("Chunk size corruption !");
  if (packed != 0) {
    // The format reserves packed payloads but defines no packing: consumed, not applied.
    char line[64];
    std::snprintf(line, sizeof(line), "[qlv] packed chunk %d skipped", chunkId);
    SceneLog(line);
    return 0;
  }
  if (chunkId > 99) return 0;
  return ApplyChunk(r, scene, chunkId, size, index, payload);
}

// ---------------------------------------------------------------------------------
// Validation of the finished scene

// An array that must hold exactly count entries of elem bytes; null is allowed only
// when nothing will read it.
bool ArrayFits(const void *block, int32_t count, size_t elem, bool needed) {
  if (count < 0 || count > kQlvMaxArrayIndex + 1) return false;
  if (!block) return !(needed && count > 0);
  return static_cast<int64_t>(SYS_MemSize(block)) == static_cast<int64_t>(count) * static_cast<int64_t>(elem);
}

bool FacesInRange(const _QLV_FACE *faces, int32_t count, int32_t limit, bool allowNone) {
  for (int32_t i = 0; faces && i < count; i++) {
    const int32_t v[3] = {faces[i].a, faces[i].b, faces[i].c};
    for (int32_t x : v)
      if (x >= limit || (x < 0 && !(allowNone && x == -1))) return false;
  }
  return true;
}

int32_t ValidateScene(const Reader &r, _QLV_SCENE *scene) {
  if (scene->materialcount < 0 || scene->objectcount < 0 || (scene->materialcount > 0 && !scene->materials) ||
      (scene->objectcount > 0 && !scene->objects))
    return Refuse(r, "material or object list missing");
  if (!ArrayFits(scene->camposkeys, scene->camposkeycount, sizeof(_QLV_KEYVECTOR), true) ||
      !ArrayFits(scene->camtargetkeys, scene->camtargetkeycount, sizeof(_QLV_KEYVECTOR), true))
    return Refuse(r, "camera keys do not match their counts");
  for (int32_t i = 0; i < kQlvLightCount; i++) {
    const _QLV_LIGHT &l = scene->lights[i];
    if (!ArrayFits(l.poskeys, l.poskeycount, sizeof(_QLV_KEYVECTOR), true))
      return Refuse(r, "light %d: position keys do not match their count", i);
  }
  int64_t totalFaces = 0;
  for (int32_t i = 0; i < scene->objectcount; i++) {
    _QLV_OBJECT &o = scene->objects[i];
    const int32_t vc = o.vertexcount, fc = o.facecount;
    const bool fits = ArrayFits(o.vertices, vc, sizeof(_QLV_VECTOR), true) &&
                      ArrayFits(o.normals, vc, sizeof(_QLV_VECTOR), o.hasnormals) &&
                      ArrayFits(o.colors, vc, sizeof(_QLV_RGB), o.hascolors) &&
                      ArrayFits(o.texcoords, vc, sizeof(_QLV_TEXTCOORD), o.hastexcoords) &&
                      ArrayFits(o.faces, fc, sizeof(_QLV_FACE), true) &&
                      ArrayFits(o.edgefaces, fc, sizeof(_QLV_FACE), false) &&
                      ArrayFits(o.neighbours, fc, sizeof(_QLV_FACE), false) &&
                      ArrayFits(o.strip, o.stripcount, sizeof(uint16_t), true) &&
                      ArrayFits(o.poskeys, o.poskeycount, sizeof(_QLV_KEYVECTOR), true) &&
                      ArrayFits(o.rotkeys, o.rotkeycount, sizeof(_QLV_KEYQUAT), true) &&
                      ArrayFits(o.scalekeys, o.scalekeycount, sizeof(_QLV_KEYVECTOR), true);
    if (!fits) return Refuse(r, "object %d: an array does not match its count", i);
    if (!FacesInRange(o.faces, fc, vc, false) || !FacesInRange(o.edgefaces, fc, vc, false))
      return Refuse(r, "object %d: a face names a vertex beyond %d", i, vc);
    if (!FacesInRange(o.neighbours, fc, fc, true)) return Refuse(r, "object %d: a neighbour beyond face %d", i, fc);
    for (int32_t s = 0; o.strip && s < o.stripcount; s++)
      if (o.strip[s] >= vc) return Refuse(r, "object %d: strip index %d beyond %d", i, o.strip[s], vc);
    if (o.material < 0 || o.material >= scene->materialcount)
      return Refuse(r, "object %d: material %d of %d", i, o.material, scene->materialcount);
    totalFaces += fc;
  }
  // The shadow-volume arrays take 144 bytes per face of the whole scene.
  if (totalFaces * 144 > INT32_MAX) return Refuse(r, "%lld faces are too many", static_cast<long long>(totalFaces));
  return 0;
}

// Array pointers and buffer ids come only from the file: whatever the caller's record
// held there is not ours to keep or release.
void DetachArrays(_QLV_SCENE *scene) {
  scene->materials = nullptr;
  scene->objects = nullptr;
  scene->materialcount = scene->objectcount = 0;
  scene->camposkeys = scene->camtargetkeys = nullptr;
  scene->camposkeycount = scene->camtargetkeycount = 0;
  scene->camposease = scene->camtargetease = nullptr;
  scene->particles = nullptr;
  scene->particlecount = 0;
  scene->volumearray = nullptr;
  scene->volumeindex = nullptr;
  scene->volumebuffer = scene->volumeindexbuffer = 0;
  for (_QLV_LIGHT &l : scene->lights) {
    l.poskeys = nullptr;
    l.poskeycount = 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------
// SceneLoad

int32_t SceneLoad(_QLV_SCENE *scene, const ShortString &fileName) {
  if (ChunkElementSize[8] == 0) InitChunkSizes();
  PasLogLn(ShortString("[qlv] load: ") + fileName);
  DetachArrays(scene);
  Reader r{nullptr, 0, 0, fileName};
  uint8_t *data = nullptr;
  if (!SceneReadFile(SceneDiskPath(fileName), INT32_MAX, &data, &r.length)) {
    SceneLog(ShortString("File (") + fileName + ") not found.");
    return -1;
  }
  r.data = data;

  int32_t rc = 0;
  // Every step takes a whole 4-byte block, so a file that is empty or leaves a
  // shorter tail is cut off.
  do {
    if (r.length - r.pos < 4) {
      rc = Refuse(r, "file ends inside a 4-byte block at %lld", static_cast<long long>(r.pos));
      break;
    }
    const uint8_t *b = r.data + r.pos;
    r.pos += 4;
    if (b[0] == 'T' && b[1] == '!') rc = ReadChunk(r, scene, b[2], b[3]);
  } while (rc == 0 && r.pos < r.length);
  SceneAllocFree(data);

  if (rc == 0) rc = ValidateScene(r, scene);
  if (rc == 0) rc = ScenePrepare(scene);
  if (rc != 0) {
    SceneFree(scene);
    *scene = _QLV_SCENE{};
  }
  return rc;
}

// ---------------------------------------------------------------------------------
// Writing

namespace {

// Counts the chunks when file is null, writes them otherwise; the first failed write
// stops every later one.
struct ChunkWriter {
  FILE *file;
  int32_t chunks;
  bool ok;

  // Packed chunks (mode 0) are written like mode 1: no packing step exists, and a
  // header without its payload would make the file unreadable.
  void Put(uint8_t elementType, uint8_t chunkId, int32_t count, int32_t index, const void *data) {
    chunks++;
    if (!file || !ok) return;
    const int32_t size = kElementSizes[elementType] * count;
    uint8_t header[20] = {'T', '!', elementType, chunkId};
    const int32_t fields[4] = {count, size, 0, index};
    std::memcpy(header + 4, fields, sizeof(fields));
    ok = std::fwrite(header, 1, sizeof(header), file) == sizeof(header) &&
         (size == 0 || std::fwrite(data, 1, static_cast<size_t>(size), file) == static_cast<size_t>(size));
  }
  void Name(uint8_t chunkId, int32_t index, const ShortString &name) {
    uint8_t image[kNameImage] = {static_cast<uint8_t>(name.size())};
    std::memcpy(image + 1, name.c_str(), name.size());
    Put(8, chunkId, 1, index, image);
  }
  // The element type is a template argument so that its size is checked against
  // the field's: the payload is read from the field with the table's size.
  template <uint8_t Type, typename T>
  void One(uint8_t chunkId, int32_t index, const T &value) {
    static_assert(Type < 14 && kElementSizes[Type] == sizeof(T), "element type does not fit the field");
    Put(Type, chunkId, 1, index, &value);
  }
  template <uint8_t Type, typename T>
  void Array(uint8_t chunkId, int32_t count, int32_t index, const T *data) {
    static_assert(Type < 14 && kElementSizes[Type] == sizeof(T), "element type does not fit the array");
    Put(Type, chunkId, count, index, data);
  }
};

void EmitScene(ChunkWriter &w, const _QLV_SCENE *s, int32_t chunkCount) {
  w.One<3>(87, 0, chunkCount);
  w.One<1>(1, 0, FileVersionMajor);
  w.One<1>(2, 0, FileVersionMinor);
  w.Name(3, 0, s->name);
  w.One<3>(4, 0, s->sparevalue);
  w.One<3>(5, 0, s->materialcount);
  w.One<3>(6, 0, s->objectcount);
  w.One<4>(7, 0, s->camerafov);
  w.One<4>(8, 0, s->cameranear);
  w.One<4>(9, 0, s->camerafar);
  w.One<3>(10, 0, s->camposkeycount);
  w.One<3>(11, 0, s->camtargetkeycount);
  w.One<4>(84, 0, s->culldistance);
  w.One<4>(90, 0, s->lightscale);

  for (int32_t i = 0; i < s->materialcount; i++) {
    const _QLV_MATERIAL &m = s->materials[i];
    w.Name(12, i, m.name);
    w.Name(13, i, m.texturename);
    w.Name(14, i, m.envmaptexture);
    w.One<4>(15, i, m.transparency);
    w.One<4>(16, i, m.utile);
    w.One<4>(17, i, m.vtile);
    w.One<4>(18, i, m.alphatest);
    w.One<4>(19, i, m.constantalpha);
    w.One<4>(20, i, m.flaresize);
    w.One<4>(92, i, m.envalpha);
    w.One<6>(93, i, m.envcolor);
    w.One<13>(94, i, m.envalphablend);
    w.One<3>(21, i, m.magtype);
    w.One<3>(22, i, m.shine);
    w.One<13>(23, i, m.envmap);
    w.One<13>(24, i, m.receivelight);
    w.One<13>(25, i, m.textured);
    w.One<1>(26, i, m.depthtest);
    w.One<1>(82, i, m.depthfunc);
    w.One<1>(27, i, m.blend);
    w.One<1>(28, i, m.texturewrap);
    w.One<1>(29, i, m.bitdepth);
    w.One<6>(30, i, m.ambient);
    w.One<6>(31, i, m.diffuse);
    w.One<6>(32, i, m.specular);
  }

  for (int32_t i = 0; i < s->objectcount; i++) {
    const _QLV_OBJECT &o = s->objects[i];
    const _QLV_PARTICLEDATA &p = o.particle;
    w.Name(33, i, o.name);
    w.One<3>(34, i, o.vertexcount);
    w.One<3>(35, i, o.facecount);
    w.One<3>(36, i, o.material);
    w.One<3>(37, i, o.poskeycount);
    w.One<3>(38, i, o.rotkeycount);
    w.One<3>(39, i, o.scalekeycount);
    w.One<3>(40, i, o.stripcount);
    w.One<3>(41, i, o.passno);
    w.One<13>(42, i, o.hastexcoords);
    w.One<13>(43, i, o.hascolors);
    w.One<13>(44, i, o.hasnormals);
    w.One<13>(45, i, o.visible);
    w.One<13>(46, i, o.backfacecull);
    w.One<13>(88, i, o.castshadow);
    w.One<13>(89, i, o.lightscaled);
    w.One<1>(83, i, o.cullmode);
    w.One<1>(47, i, o.rendermode);
    w.One<12>(48, i, o.matrix);
    w.One<6>(49, i, o.pivot);
    w.One<6>(91, i, o.velocity);
    w.One<13>(95, i, o.fog);
    w.One<1>(96, i, o.fogmode);
    w.One<6>(97, i, o.fogparam);
    w.One<7>(98, i, o.fogcolor);
    w.Name(59, i, p.particletexture);
    w.One<3>(60, i, p.newparticle);
    w.One<4>(61, i, p.power);
    w.One<4>(62, i, p.deltapower);
    w.One<4>(63, i, p.size);
    w.One<13>(64, i, p.particleenabled);
    w.One<1>(65, i, p.colorattrib);
    w.One<6>(66, i, p.deltavector);
    w.One<6>(67, i, p.deltavectorspread);
    w.One<6>(68, i, p.color);
    w.One<6>(69, i, p.colorspread);
    w.Array<2>(50, o.stripcount, i, o.strip);
    w.Array<6>(51, o.vertexcount, i, o.vertices);
    w.Array<9>(52, o.facecount, i, o.faces);
    // A scene made in memory may lack the edge list or the neighbours: an empty
    // array then, and the reader derives the neighbours again.
    w.Array<9>(99, o.edgefaces ? o.facecount : 0, i, o.edgefaces);
    w.Array<9>(86, o.neighbours ? o.facecount : 0, i, o.neighbours);
    if (o.hascolors) w.Array<6>(53, o.vertexcount, i, o.colors);
    if (o.hastexcoords) w.Array<5>(54, o.vertexcount, i, o.texcoords);
    if (o.hasnormals) w.Array<6>(55, o.vertexcount, i, o.normals);
    if (o.poskeycount > 0) w.Array<10>(56, o.poskeycount, i, o.poskeys);
    if (o.rotkeycount > 0) w.Array<11>(57, o.rotkeycount, i, o.rotkeys);
    if (o.scalekeycount > 0) w.Array<10>(58, o.scalekeycount, i, o.scalekeys);
  }

  if (s->camposkeycount > 0) w.Array<10>(70, s->camposkeycount, 0, s->camposkeys);
  if (s->camtargetkeycount > 0) w.Array<10>(71, s->camtargetkeycount, 0, s->camtargetkeys);

  for (int32_t i = 0; i < kQlvLightCount; i++) {
    const _QLV_LIGHT &l = s->lights[i];
    w.Name(72, i, l.name);
    w.One<3>(73, i, l.poskeycount);
    w.One<13>(74, i, l.enabled);
    w.One<6>(75, i, l.pos);
    w.One<6>(76, i, l.ambient);
    w.One<6>(77, i, l.diffuse);
    w.One<6>(78, i, l.specular);
    if (l.poskeycount > 0) w.Array<10>(79, l.poskeycount, i, l.poskeys);
  }
}

// Every array the writer reads must be there with a sane count.
const char *UnwritableReason(const _QLV_SCENE *s) {
  auto bad = [](const void *p, int32_t count) { return count < 0 || count > kQlvMaxArrayIndex + 1 || (count > 0 && !p); };
  if (s->materialcount < 0 || s->objectcount < 0 || (s->materialcount > 0 && !s->materials) ||
      (s->objectcount > 0 && !s->objects))
    return "material or object list missing";
  if (bad(s->camposkeys, s->camposkeycount) || bad(s->camtargetkeys, s->camtargetkeycount)) return "camera keys missing";
  for (const _QLV_LIGHT &l : s->lights)
    if (bad(l.poskeys, l.poskeycount)) return "light keys missing";
  for (int32_t i = 0; i < s->objectcount; i++) {
    const _QLV_OBJECT &o = s->objects[i];
    if (bad(o.strip, o.stripcount) || bad(o.vertices, o.vertexcount) || bad(o.faces, o.facecount) ||
        (o.hascolors && bad(o.colors, o.vertexcount)) || (o.hastexcoords && bad(o.texcoords, o.vertexcount)) ||
        (o.hasnormals && bad(o.normals, o.vertexcount)) || bad(o.poskeys, o.poskeycount) ||
        bad(o.rotkeys, o.rotkeycount) || bad(o.scalekeys, o.scalekeycount))
      return "object array missing";
  }
  return nullptr;
}

}  // namespace

int32_t SceneSave(_QLV_SCENE *scene, const ShortString &fileName) {
  if (ChunkElementSize[8] == 0) InitChunkSizes();
  if (const char *reason = UnwritableReason(scene)) {
    SceneLog(ShortString("[qlv] save ") + fileName + ": " + reason);
    return -1;
  }
  ChunkWriter counter{nullptr, 0, true};
  EmitScene(counter, scene, 0);

  FILE *f = std::fopen(SceneDiskPath(fileName).c_str(), "wb");
  if (!f) {
    SceneLog(ShortString("[qlv] save: cannot create ") + fileName);
    return -1;
  }
  ChunkWriter w{f, 0, true};
  EmitScene(w, scene, counter.chunks);
  const bool ok = (std::fclose(f) == 0) && w.ok;
  if (!ok) {
    SceneLog(ShortString("[qlv] save: write failed on ") + fileName);
    return -1;
  }
  return 0;
}
