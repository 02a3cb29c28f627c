// Scene preparation after loading.
//
// Order matters: the camera ease arrays come first so the camera tracks can be
// prepared; face normals and centres need only the validated geometry; neighbours are
// derived only for files that do not carry them; the shadow-volume index pattern is
// fixed, so it is built and uploaded once; the geometry buffer objects come last.
// Derived arrays come from SceneAlloc (untracked); neighbours that are derived go into
// a tracked block like those read from the file, so SceneFree releases one kind.
// Depends on: scene/records.h, scene/scenefile (SceneAlloc, SceneLog), scene/keys
// (CameraTracksPrepare), scene/shadow (face accessors), presentation/gl (buffer
// objects), presentation/vectors, presentation/bindings (PasMemGet).
#include "scene/prepare.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "presentation/bindings.h"
#include "presentation/gl.h"
#include "presentation/vectors.h"
#include "scene/keys.h"
#include "scene/scenefile.h"
#include "scene/shadow.h"

namespace {

TVector ToT(const _QLV_VECTOR &v) { return TVector{v.x, v.y, v.z}; }
_QLV_VECTOR FromT(const TVector &v) { return _QLV_VECTOR{v.x, v.y, v.z}; }

_QLV_VECTOR Normalized(const _QLV_VECTOR &v) {
  TVector t = ToT(v), out;
  VecNormalize(&t, &out);
  return FromT(out);
}

template <typename T>
bool Derive(T **field, int64_t bytes, const char *tag) {
  *field = static_cast<T *>(SceneAlloc(static_cast<int32_t>(bytes), tag));
  return *field != nullptr;
}

int32_t NoMemory(const _QLV_SCENE *scene, const char *what) {
  SceneLog(ShortString("[qlv] ") + scene->name + ": no memory for " + what);
  return -1;
}

// Generates one buffer object, binds it and uploads bytes from data when upload is set.
int32_t MakeBuffer(GLenum target, bool upload, int64_t bytes, const void *data, GLenum usage) {
  GLuint id = 0;
  glGenBuffersARB(1, &id);
  glBindBufferARB(target, id);
  if (upload) glBufferDataARB(target, static_cast<GLsizeiptrARB>(bytes), data, usage);
  return static_cast<int32_t>(id);
}

}  // namespace

void TexCoordToVector(const _QLV_TEXTCOORD *uv, _QLV_VECTOR *out) { *out = _QLV_VECTOR{uv->u, uv->v, 0.0f}; }

void FaceTangents(const _QLV_VECTOR *p0, const _QLV_VECTOR *p1, const _QLV_VECTOR *p2, const _QLV_VECTOR *t0,
                  const _QLV_VECTOR *t1, const _QLV_VECTOR *t2, _QLV_VECTOR *tangent, _QLV_VECTOR *binormal) {
  const float *P0 = &p0->x, *P1 = &p1->x, *P2 = &p2->x;
  float *T = &tangent->x, *B = &binormal->x;
  for (int k = 0; k < 3; k++) {
    const double e1[3] = {double(P1[k]) - P0[k], double(t1->x) - t0->x, double(t1->y) - t0->y};
    const double e2[3] = {double(P2[k]) - P0[k], double(t2->x) - t0->x, double(t2->y) - t0->y};
    const double cx = e1[1] * e2[2] - e1[2] * e2[1];
    const double cy = e1[2] * e2[0] - e1[0] * e2[2];
    const double cz = e1[0] * e2[1] - e1[1] * e2[0];
    if (std::fabs(cx) > 1.0e-5) {
      T[k] = static_cast<float>(-cy / cx);
      B[k] = static_cast<float>(-cz / cx);
    }
  }
}

// The pairwise search (every face i against every later face j, each still unmatched
// edge of i against the three edges of j) pairs, along each shared edge, the faces in
// ascending order two by two: the first face with the next, the third with the
// fourth, and so on; a face that is matched has all its entries along that edge set
// at once. Grouping the edges by their vertex pair gives the same table without the
// quadratic cost.
void FindNeighbours(_QLV_OBJECT *obj) {
  const int32_t fc = obj->facecount;
  if (!obj->neighbours || fc <= 0) return;
  for (int32_t f = 0; f < fc; f++) obj->neighbours[f] = _QLV_FACE{-1, -1, -1};
  if (!obj->edgefaces && !obj->faces) return;
  const auto vertex = obj->edgefaces ? EdgeFaceVertex : FaceVertex;

  struct Edge {
    int64_t key;
    int32_t face, k;
  };
  std::vector<Edge> list;
  list.reserve(static_cast<size_t>(fc) * 3);
  for (int32_t f = 0; f < fc; f++)
    for (int32_t k = 0; k < 3; k++) {
      const uint32_t v0 = static_cast<uint32_t>(vertex(obj, f, k));
      const uint32_t v1 = static_cast<uint32_t>(vertex(obj, f, k + 1));
      const int64_t key = (static_cast<int64_t>(std::min(v0, v1)) << 32) | std::max(v0, v1);
      list.push_back({key, f, k});
    }
  std::sort(list.begin(), list.end(), [](const Edge &a, const Edge &b) {
    return a.key != b.key ? a.key < b.key : a.face != b.face ? a.face < b.face : a.k < b.k;
  });

  for (size_t g = 0; g < list.size();) {
    size_t end = g;
    while (end < list.size() && list[end].key == list[g].key) end++;
    // Runs of one face inside the group [g, end).
    for (size_t a = g; a < end;) {
      size_t aEnd = a;
      while (aEnd < end && list[aEnd].face == list[a].face) aEnd++;
      if (aEnd == end) break;
      size_t bEnd = aEnd;
      while (bEnd < end && list[bEnd].face == list[aEnd].face) bEnd++;
      const Edge &first = list[a];
      if (FaceNeighbour(obj, first.face, first.k) == -1) {
        for (size_t x = a; x < aEnd; x++) SetFaceNeighbour(obj, list[x].face, list[x].k, list[aEnd].face);
        for (size_t y = aEnd; y < bEnd; y++) SetFaceNeighbour(obj, list[y].face, list[y].k, first.face);
      }
      a = aEnd;
    }
    g = end;
  }
}

int32_t ScenePrepare(_QLV_SCENE *scene) {
  const ShortString &name = scene->name;

  if (scene->camposkeycount > 0 && scene->camtargetkeycount > 0) {
    if (!Derive(&scene->camposease, int64_t(scene->camposkeycount) * 12,
                (ShortString("scene.") + name + ".camera position ease").c_str()) ||
        !Derive(&scene->camtargetease, int64_t(scene->camtargetkeycount) * 12,
                (ShortString("scene.") + name + ".camera target ease").c_str()))
      return NoMemory(scene, "camera ease");
    CameraTracksPrepare(scene);
  }

  for (int32_t i = 0; i < scene->materialcount; i++) scene->materials[i].bitdepth = 24;

  scene->passcount = 0;
  scene->maxfacecount = 0;
  int64_t totalFaces = 0;
  // The tangent pass hands the same two vectors to every face of the scene, so a
  // degenerate axis inherits the previous face's component.
  _QLV_VECTOR tangent{0, 0, 0}, binormal{0, 0, 0};
  for (int32_t i = 0; i < scene->objectcount; i++) {
    _QLV_OBJECT &o = scene->objects[i];
    const int32_t fc = o.facecount, vc = o.vertexcount;
    totalFaces += fc;
    scene->maxfacecount = std::max(scene->maxfacecount, fc);
    o.rotation = _QLV_VECTOR{0, 0, 0};
    scene->passcount = std::max(scene->passcount, o.passno);

    if (!Derive(&o.planes, int64_t(fc) * 16, " planecalc      ") ||
        !Derive(&o.lightvisible, int64_t(fc) + 16, " lightvisible calc ") ||
        !Derive(&o.contour, int64_t(fc) * 3 + 16, " contour calc ") ||
        !Derive(&o.facecenters, int64_t(fc) * 12, " face center stored ") ||
        !Derive(&o.facenormals, int64_t(fc) * 12, " face normal precalc ") ||
        !Derive(&o.tangents, int64_t(vc) * 12, "") || !Derive(&o.binormals, int64_t(vc) * 12, ""))
      return NoMemory(scene, "derived arrays");

    const _QLV_VECTOR *V = o.vertices;
    for (int32_t f = 0; f < fc; f++) {
      const _QLV_FACE &face = o.faces[f];
      const TVector a = ToT(V[face.a]), b = ToT(V[face.b]), c = ToT(V[face.c]);
      TVector ab, cb, n;
      VecSub(&a, &b, &ab);
      VecSub(&c, &b, &cb);
      VecCross(&ab, &cb, &n);
      VecNormalize(&n, &n);
      o.facenormals[f] = FromT(n);
      o.facecenters[f] = _QLV_VECTOR{static_cast<float>((double(a.x) + b.x + c.x) / 3.0),
                                     static_cast<float>((double(a.y) + b.y + c.y) / 3.0),
                                     static_cast<float>((double(a.z) + b.z + c.z) / 3.0)};
    }

    // Vertices that start no face (and objects without texture coordinates) keep zero.
    std::memset(o.tangents, 0, static_cast<size_t>(vc) * sizeof(_QLV_VECTOR));
    std::memset(o.binormals, 0, static_cast<size_t>(vc) * sizeof(_QLV_VECTOR));
    if (o.hastexcoords && o.texcoords) {
      for (int32_t f = 0; f < fc; f++) {
        const _QLV_FACE &face = o.faces[f];
        _QLV_VECTOR t0, t1, t2;
        TexCoordToVector(&o.texcoords[face.a], &t0);
        TexCoordToVector(&o.texcoords[face.b], &t1);
        TexCoordToVector(&o.texcoords[face.c], &t2);
        FaceTangents(&V[face.a], &V[face.b], &V[face.c], &t0, &t1, &t2, &tangent, &binormal);
        o.tangents[face.a] = Normalized(tangent);
        o.binormals[face.a] = Normalized(binormal);
      }
    }
    for (int32_t v = 0; v < vc; v++) {
      o.tangents[v] = Normalized(o.tangents[v]);
      o.binormals[v] = Normalized(o.binormals[v]);
    }
  }

  // Files before 1.2 carry no neighbours; a file that lacks them otherwise gets them too,
  // since the shadow volumes walk them.
  const bool oldFile = scene->versionmajor == 1 && scene->versionminor < 2;
  for (int32_t i = 0; i < scene->objectcount; i++) {
    _QLV_OBJECT &o = scene->objects[i];
    if (o.facecount <= 0 || (!oldFile && o.neighbours)) continue;
    PasMemFree(reinterpret_cast<void **>(&o.neighbours));
    o.neighbours = static_cast<_QLV_FACE *>(PasMemGet(o.facecount * 12, " neighbour calc  "));
    if (!o.neighbours) return NoMemory(scene, "neighbours");
    FindNeighbours(&o);
  }

  if (!Derive(&scene->volumearray, totalFaces * 144, " volume array ") ||
      !Derive(&scene->volumeindex, totalFaces * 72, " volume array index"))
    return NoMemory(scene, "shadow volumes");
  for (uint32_t q = 0; q < static_cast<uint32_t>(totalFaces * 3); q++) {
    uint32_t *t = scene->volumeindex + 6 * q;
    t[0] = 4 * q, t[1] = 4 * q + 1, t[2] = 4 * q + 2;
    t[3] = 4 * q + 2, t[4] = 4 * q + 3, t[5] = 4 * q;
  }
  scene->volumelength = 1000.0f;

  // The renderer draws only from buffer objects: without them the scene is refused.
  if (!glGenBuffersARB || !glBindBufferARB || !glBufferDataARB) {
    SceneLog(ShortString("[qlv] ") + name + ": no buffer objects, scene refused");
    return -1;
  }
  scene->volumeindexbuffer =
      MakeBuffer(GL_ELEMENT_ARRAY_BUFFER_ARB, true, totalFaces * 72, scene->volumeindex, GL_DYNAMIC_DRAW_ARB);
  GLuint volume = 0;
  glGenBuffersARB(1, &volume);
  scene->volumebuffer = static_cast<int32_t>(volume);

  for (int32_t i = 0; i < scene->objectcount; i++) {
    _QLV_OBJECT &o = scene->objects[i];
    const int64_t vc = o.vertexcount, fc = o.facecount;
    o.vertexbuffer = MakeBuffer(GL_ARRAY_BUFFER_ARB, vc > 0, vc * 12, o.vertices, GL_STATIC_DRAW_ARB);
    o.facebuffer = MakeBuffer(GL_ELEMENT_ARRAY_BUFFER_ARB, fc > 0, fc * 12, o.faces, GL_STATIC_DRAW_ARB);
    o.normalbuffer =
        MakeBuffer(GL_ARRAY_BUFFER_ARB, o.hasnormals && o.normals, vc * 12, o.normals, GL_STATIC_DRAW_ARB);
    // Filled whether or not the material is textured now: configuration text may
    // texture it later, and the renderer then binds this buffer.
    o.texcoordbuffer =
        MakeBuffer(GL_ARRAY_BUFFER_ARB, o.hastexcoords && o.texcoords, vc * 8, o.texcoords, GL_STATIC_DRAW_ARB);
  }
  // Client-side arrays drawn after loading must not read from the last buffers bound.
  glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
  return 0;
}
