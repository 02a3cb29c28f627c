// Scene preparation after loading.
//
// Completes a freshly read scene: camera ease arrays, material defaults, face normals
// and centres, tangents and binormals, neighbour faces where the file has none, the
// shadow-volume work arrays with their fixed index pattern, and one GL buffer object
// per geometry array (a current GL context with buffer objects is needed).
// Depends on: scene/records.h, scene/scenefile (SceneAlloc), presentation/gl,
// presentation/vectors, the camera tracks (CameraTracksPrepare).
#pragma once

#include "scene/records.h"

// Everything after the reading phase of SceneLoad; the scene has been validated.
// 0, or -1 when a derived array cannot be allocated or GL offers no buffer objects
// (logged); what was derived stays in the record for SceneFree.
int32_t ScenePrepare(_QLV_SCENE *scene);

// Fills obj->neighbours (facecount entries) from obj->edgefaces (faces when the file
// has no edge list): per edge the face sharing it, -1 for none. Same result as the
// pairwise search over faces i < j, in O(F log F).
void FindNeighbours(_QLV_OBJECT *obj);
// Tangent and binormal of one triangle; t0..t2 are texture coordinates as (u, v, 0).
// A degenerate axis keeps the component the outputs held on entry.
void FaceTangents(const _QLV_VECTOR *p0, const _QLV_VECTOR *p1, const _QLV_VECTOR *p2,
                  const _QLV_VECTOR *t0, const _QLV_VECTOR *t1, const _QLV_VECTOR *t2,
                  _QLV_VECTOR *tangent, _QLV_VECTOR *binormal);
void TexCoordToVector(const _QLV_TEXTCOORD *uv, _QLV_VECTOR *out);
