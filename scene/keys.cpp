// Key interpolation and camera tracks of the scene engine.
//
// Camera segments are searched linearly on every call; a track whose frames are not
// ascending may match no segment, and then the track's previous segment is reused
// (kept in range of the current key count, so a shorter track never reads past its
// keys). One-key tracks get a zero tangent and hold their key everywhere.
// Depends on: scene records.
#include "scene/keys.h"

namespace {

// Segment index of each camera track, kept from the previous call.
int32_t g_campos_segment = 0;
int32_t g_camtarget_segment = 0;

inline float F(double v) { return (float)v; }

void Point(_QLV_VECTOR *out, const _QLV_KEYVECTOR &k) { *out = {k.x, k.y, k.z}; }

// The segment s with f[s] <= frame < f[s + 1], or -1.
int32_t FindSegment(const _QLV_KEYVECTOR *keys, int32_t n, float frame) {
  int32_t s = -1;
  for (int32_t i = 0; i + 1 < n; i++)
    if ((double)keys[i].frame <= frame && frame < (double)keys[i + 1].frame) s = i;
  return s;
}

void TrackAt(_QLV_VECTOR *out, const _QLV_KEYVECTOR *P, const _QLV_VECTOR *T, int32_t n, float frame,
             int32_t *segment) {
  if (n <= 0 || !P) {
    *out = {0.0f, 0.0f, 0.0f};
    return;
  }
  if (n == 1 || frame <= (double)P[0].frame) return Point(out, P[0]);
  if (frame >= (double)P[n - 1].frame) return Point(out, P[n - 1]);
  int32_t s = FindSegment(P, n, frame);
  if (s >= 0) *segment = s;
  s = *segment < n - 1 ? *segment : n - 2;
  const double df = (double)P[s + 1].frame - (double)P[s].frame;
  const double u = df != 0.0 ? (frame - (double)P[s].frame) / df : 0.0;
  const double w0 = (1 - u) * (1 - u) * (1 - u), w1 = 3 * u * (1 - u) * (1 - u), w2 = 3 * u * u * (1 - u),
               w3 = u * u * u;
  static const _QLV_VECTOR kZero = {0.0f, 0.0f, 0.0f};
  const _QLV_VECTOR &t0 = T ? T[s] : kZero, &t1 = T ? T[s + 1] : kZero;
  const _QLV_KEYVECTOR &a = P[s], &b = P[s + 1];
  out->x = F(w0 * a.x + w1 * ((double)a.x + t0.x) + w2 * ((double)b.x - t1.x) + w3 * b.x);
  out->y = F(w0 * a.y + w1 * ((double)a.y + t0.y) + w2 * ((double)b.y - t1.y) + w3 * b.y);
  out->z = F(w0 * a.z + w1 * ((double)a.z + t0.z) + w2 * ((double)b.z - t1.z) + w3 * b.z);
}

void PrepareTrack(_QLV_VECTOR *T, const _QLV_KEYVECTOR *P, int32_t n) {
  if (!T || !P || n <= 0) return;
  if (n == 1) {
    T[0] = {0.0f, 0.0f, 0.0f};
    return;
  }
  TrackTangent(&T[0], &P[0], &P[1]);
  TrackTangent(&T[n - 1], &P[n - 2], &P[n - 1]);
  for (int32_t i = 1; i + 1 < n; i++) TrackTangent(&T[i], &P[i - 1], &P[i + 1]);
}

void LinearAt(_QLV_VECTOR *out, const _QLV_KEYVECTOR *P, int32_t n, float frame) {
  if (n <= 0 || !P) {
    *out = {0.0f, 0.0f, 0.0f};
    return;
  }
  if (n == 1 || frame <= (double)P[0].frame) return Point(out, P[0]);
  if (frame >= (double)P[n - 1].frame) return Point(out, P[n - 1]);
  const int32_t s = FindSegment(P, n, frame);
  if (s < 0) return Point(out, P[0]);  // frames out of order: no segment holds the frame
  const float df = (float)((int64_t)P[s + 1].frame - P[s].frame);
  const double u = ((double)frame - P[s].frame) / df;
  const _QLV_KEYVECTOR &a = P[s], &b = P[s + 1];
  out->x = F(a.x + ((double)b.x - a.x) * u);
  out->y = F(a.y + ((double)b.y - a.y) * u);
  out->z = F(a.z + ((double)b.z - a.z) * u);
}

}  // namespace

void TrackTangent(_QLV_VECTOR *t, const _QLV_KEYVECTOR *a, const _QLV_KEYVECTOR *b) {
  *t = {F(((double)b->x - a->x) / 6), F(((double)b->y - a->y) / 6), F(((double)b->z - a->z) / 6)};
}

void CameraTracksPrepare(_QLV_SCENE *scene) {
  PrepareTrack(scene->camposease, scene->camposkeys, scene->camposkeycount);
  PrepareTrack(scene->camtargetease, scene->camtargetkeys, scene->camtargetkeycount);
}

void CameraAt(_QLV_VECTOR *eye, _QLV_VECTOR *target, _QLV_SCENE *scene, float frame) {
  TrackAt(eye, scene->camposkeys, scene->camposease, scene->camposkeycount, frame, &g_campos_segment);
  TrackAt(target, scene->camtargetkeys, scene->camtargetease, scene->camtargetkeycount, frame,
          &g_camtarget_segment);
}

void ObjectPositionAt(_QLV_VECTOR *pos, _QLV_SCENE *scene, int32_t objectIndex, float frame) {
  if (objectIndex < 0 || objectIndex >= scene->objectcount || !scene->objects) {
    *pos = {0.0f, 0.0f, 0.0f};
    return;
  }
  const _QLV_OBJECT &o = scene->objects[objectIndex];
  LinearAt(pos, o.poskeys, o.poskeycount, frame);
}

void LightPositionAt(_QLV_VECTOR *pos, _QLV_SCENE *scene, int32_t lightIndex, float frame) {
  if (lightIndex < 0 || lightIndex >= kQlvLightCount) {
    *pos = {0.0f, 0.0f, 0.0f};
    return;
  }
  const _QLV_LIGHT &l = scene->lights[lightIndex];
  LinearAt(pos, l.poskeys, l.poskeycount, frame);
}

_QLV_VECTOR ObjectPointAt(_QLV_SCENE *scene, int32_t objectIndex, float frame) {
  const _QLV_OBJECT &o = scene->objects[objectIndex];
  _QLV_VECTOR p = {0.0f, 0.0f, 0.0f};
  if (o.poskeycount != 0) ObjectPositionAt(&p, scene, objectIndex, frame);
  return {p.x + o.pivot.x, p.y + o.pivot.y, p.z + o.pivot.z};
}
