// Key interpolation and camera tracks of the scene engine.
//
// The camera's eye and target follow Catmull-Rom curves through their keys (a cubic
// Bezier per segment whose inner control points lie a sixth of the neighbouring key
// difference away); objects and lights move along straight segments between their
// position keys. Frames are floats on the scale of the keys' whole-number frames.
// Depends on: scene records.
#pragma once

#include <cstdint>

#include "scene/records.h"

// t := (b - a) / 6.
void TrackTangent(_QLV_VECTOR *t, const _QLV_KEYVECTOR *a, const _QLV_KEYVECTOR *b);
// Fills camposease and camtargetease (one tangent per key) when both are allocated.
void CameraTracksPrepare(_QLV_SCENE *scene);
// Eye and target at frame. A track without keys gives (0, 0, 0).
void CameraAt(_QLV_VECTOR *eye, _QLV_VECTOR *target, _QLV_SCENE *scene, float frame);
// Keyed position of an object or light (0..7); (0, 0, 0) without keys or index.
void ObjectPositionAt(_QLV_VECTOR *pos, _QLV_SCENE *scene, int32_t objectIndex, float frame);
void LightPositionAt(_QLV_VECTOR *pos, _QLV_SCENE *scene, int32_t lightIndex, float frame);
// Where a flare or an emitter sits: the keyed position (0, 0, 0 without keys) plus
// the object's pivot; the index must name an object.
_QLV_VECTOR ObjectPointAt(_QLV_SCENE *scene, int32_t objectIndex, float frame);
