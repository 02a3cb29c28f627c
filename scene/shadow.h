// Stencil shadow volumes of the scene engine.
//
// For every visible shadow caster the faces are classified against the light, the
// silhouette edges (lit face beside an unlit or missing one) are extruded away from
// the light into quads, and the quads are drawn into the stencil buffer only: front
// faces increment, back faces decrement, so 0 remains exactly where no volume covers
// the surface. The face accessors are shared with neighbour finding at load.
// Depends on: scene records, key interpolation, GL table (buffer objects).
#pragma once

#include <cstdint>

#include "scene/records.h"

// Extrusion factor of the current pass, copied from the scene's volumelength.
extern float VolumeExtrusion;

// Entry k mod 3 of edgefaces, faces and neighbours of a face.
int32_t EdgeFaceVertex(_QLV_OBJECT *obj, int32_t face, int32_t k);
int32_t FaceVertex(_QLV_OBJECT *obj, int32_t face, int32_t k);
// -1 (no face) as well for an object without a neighbour table.
int32_t FaceNeighbour(_QLV_OBJECT *obj, int32_t face, int32_t k);
void SetFaceNeighbour(_QLV_OBJECT *obj, int32_t face, int32_t k, int32_t value);

// lightvisible[f] := 1 when (centre + offset - light) . normal > 0.
void ShadowFacesLit(_QLV_OBJECT *obj, const _QLV_VECTOR *light, const _QLV_VECTOR *offset);
// contour[3f + e] set for the silhouette edges of lit faces.
void ShadowContour(_QLV_OBJECT *obj);
// Appends one extruded quad per silhouette edge to the scene's volumearray.
void ShadowVolumeBuild(_QLV_SCENE *scene, _QLV_OBJECT *obj, const _QLV_VECTOR *light, const _QLV_VECTOR *offset);
// The whole stencil pass over a scene already drawn; light in world coordinates.
// Leaves the stencil test enabled for the caller.
void DrawShadowVolumes(_QLV_SCENE *scene, const _QLV_VECTOR *light, float frame);
