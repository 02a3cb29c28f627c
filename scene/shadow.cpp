// Stencil shadow volumes of the scene engine.
//
// Classification and silhouette run on the processor for every caster in every
// frame; only the silhouette quads go to GL, into the one dynamic vertex buffer of
// the scene, drawn through the fixed quad index list uploaded at load. Neighbour
// and vertex indices come from scene files, so each is checked before it is used:
// a neighbour outside the object counts as a missing one (an open edge), an edge
// with a vertex outside the object is skipped, and the quads never pass the
// capacity of volumearray (three per face of the whole scene).
// Depends on: scene records, key interpolation, vectors, GL table.
#include "scene/shadow.h"

#include "presentation/gl.h"
#include "presentation/vectors.h"
#include "scene/keys.h"

float VolumeExtrusion = 0.0f;

namespace {

inline TVector *V(_QLV_VECTOR *v) { return reinterpret_cast<TVector *>(v); }
inline const TVector *V(const _QLV_VECTOR *v) { return reinterpret_cast<const TVector *>(v); }

inline int32_t Entry(const _QLV_FACE &f, int32_t k) {
  switch (k % 3) {
    case 0: return f.a;
    case 1: return f.b;
    default: return f.c;
  }
}

// Quads volumearray holds: three per face of the whole scene.
int64_t VolumeCapacity(const _QLV_SCENE *scene) {
  int64_t faces = 0;
  for (int32_t i = 0; i < scene->objectcount; i++)
    if (scene->objects[i].facecount > 0) faces += scene->objects[i].facecount;
  return 3 * faces;
}

}  // namespace

int32_t EdgeFaceVertex(_QLV_OBJECT *obj, int32_t face, int32_t k) {
  return obj->edgefaces ? Entry(obj->edgefaces[face], k) : -1;
}

int32_t FaceVertex(_QLV_OBJECT *obj, int32_t face, int32_t k) { return obj->faces ? Entry(obj->faces[face], k) : -1; }

int32_t FaceNeighbour(_QLV_OBJECT *obj, int32_t face, int32_t k) {
  return obj->neighbours ? Entry(obj->neighbours[face], k) : -1;
}

void SetFaceNeighbour(_QLV_OBJECT *obj, int32_t face, int32_t k, int32_t value) {
  if (!obj->neighbours) return;
  _QLV_FACE &f = obj->neighbours[face];
  switch (k % 3) {
    case 0: f.a = value; break;
    case 1: f.b = value; break;
    default: f.c = value; break;
  }
}

void ShadowFacesLit(_QLV_OBJECT *obj, const _QLV_VECTOR *light, const _QLV_VECTOR *offset) {
  if (!obj->lightvisible || !obj->facecenters || !obj->facenormals) return;
  for (int32_t f = 0; f < obj->facecount; f++) {
    const _QLV_VECTOR &c = obj->facecenters[f], &n = obj->facenormals[f];
    const double dx = (double)(float)(c.x + offset->x) - light->x;
    const double dy = (double)(float)(c.y + offset->y) - light->y;
    const double dz = (double)(float)(c.z + offset->z) - light->z;
    obj->lightvisible[f] = dx * n.x + dy * n.y + dz * n.z > 0.0 ? 1 : 0;
  }
}

void ShadowContour(_QLV_OBJECT *obj) {
  if (!obj->contour || !obj->lightvisible || obj->facecount <= 0) return;
  for (int32_t i = 0; i < 3 * obj->facecount; i++) obj->contour[i] = 0;
  for (int32_t f = 0; f < obj->facecount; f++) {
    if (!obj->lightvisible[f]) continue;
    for (int32_t e = 0; e < 3; e++) {
      const int32_t n = FaceNeighbour(obj, f, e);
      const bool open = n < 0 || n >= obj->facecount;
      if (open || obj->lightvisible[n] == 0) obj->contour[3 * f + e] = 1;
    }
  }
}

void ShadowVolumeBuild(_QLV_SCENE *scene, _QLV_OBJECT *obj, const _QLV_VECTOR *light, const _QLV_VECTOR *offset) {
  if (!obj->contour || !obj->faces || !obj->vertices || !scene->volumearray) return;
  const int64_t capacity = VolumeCapacity(scene);
  for (int32_t f = 0; f < obj->facecount; f++)
    for (int32_t e = 0; e < 3; e++) {
      if (!obj->contour[3 * f + e]) continue;
      const int32_t a = FaceVertex(obj, f, e), b = FaceVertex(obj, f, (e + 1) % 3);
      if (a < 0 || a >= obj->vertexcount || b < 0 || b >= obj->vertexcount) continue;
      if (scene->volumequadcount < 0 || scene->volumequadcount >= capacity) return;
      TVector A, B, dA, dB, A2, B2;
      VecAdd(V(&obj->vertices[a]), V(offset), &A);
      VecAdd(V(&obj->vertices[b]), V(offset), &B);
      VecSub(&A, V(light), &dA);
      VecScale(&dA, VolumeExtrusion, &dA);
      VecAdd(&A, &dA, &A2);
      VecSub(&B, V(light), &dB);
      VecScale(&dB, VolumeExtrusion, &dB);
      VecAdd(&B, &dB, &B2);
      _QLV_VECTOR *q = scene->volumearray + 4 * (int64_t)scene->volumequadcount;
      q[0] = {A.x, A.y, A.z};
      q[1] = {A2.x, A2.y, A2.z};
      q[2] = {B2.x, B2.y, B2.z};
      q[3] = {B.x, B.y, B.z};
      scene->volumequadcount++;
    }
}

void DrawShadowVolumes(_QLV_SCENE *scene, const _QLV_VECTOR *light, float frame) {
  VolumeExtrusion = scene->volumelength;
  glEnable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_STENCIL_TEST);
  glDepthMask(GL_FALSE);
  glDepthFunc(GL_LEQUAL);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glStencilFunc(GL_ALWAYS, 0, ~0u);
  glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  scene->volumequadcount = 0;
  // Without the buffers the pointers below would be client pointers at null.
  const bool buffers = scene->volumebuffer != 0 && scene->volumeindexbuffer != 0;
  for (int32_t i = 0; buffers && i < scene->objectcount; i++) {
    _QLV_OBJECT *o = &scene->objects[i];
    if (!o->visible || !o->castshadow) continue;
    scene->volumequadcount = 0;
    _QLV_VECTOR offset = {0.0f, 0.0f, 0.0f};
    if (o->poskeycount != 0) ObjectPositionAt(&offset, scene, i, frame);
    ShadowFacesLit(o, light, &offset);
    ShadowContour(o);
    ShadowVolumeBuild(scene, o, light, &offset);
    const int32_t q = scene->volumequadcount;
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, (GLuint)scene->volumebuffer);
    glBufferDataARB(GL_ARRAY_BUFFER_ARB, (GLsizeiptrARB)q * 48, scene->volumearray, GL_DYNAMIC_DRAW_ARB);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 12, nullptr);
    glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    glCullFace(GL_BACK);
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, (GLuint)scene->volumeindexbuffer);
    glDrawElements(GL_TRIANGLES, q * 6, GL_UNSIGNED_INT, nullptr);
    glStencilOp(GL_KEEP, GL_KEEP, GL_DECR);
    glCullFace(GL_FRONT);
    glDrawElements(GL_TRIANGLES, q * 6, GL_UNSIGNED_INT, nullptr);
    glDisableClientState(GL_VERTEX_ARRAY);
  }
  // Client-memory drawing after the pass must not read through these bindings.
  if (buffers) {
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
  }
  glCullFace(GL_BACK);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
  glDepthMask(GL_TRUE);
  glEnable(GL_TEXTURE_2D);
}
