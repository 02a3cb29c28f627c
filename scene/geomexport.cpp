// Geometry text export.
//
// Two plain text files beside each other, the vertex file written and closed before
// the face file is created, so a failure on the second leaves the first complete.
// Coordinates use the configuration text's four-decimal fixed point.
// Depends on: scene/records.h, scene/sceneconfig (ConfigFixed4), scene/scenefile
// (SceneLog, SceneDiskPath).
#include "scene/geomexport.h"

#include <cstdio>

#include "scene/sceneconfig.h"
#include "scene/scenefile.h"

namespace {

// Writes one file with the given per-object body; false on any failure.
template <typename Body>
bool WriteFile(const ShortString &path, const _QLV_SCENE *scene, Body body) {
  FILE *f = std::fopen(SceneDiskPath(path).c_str(), "wb");
  if (!f) return false;
  bool ok = true;
  for (int32_t i = 0; ok && scene->objects && i < scene->objectcount; i++) {
    const _QLV_OBJECT &o = scene->objects[i];
    ok = std::fprintf(f, "%s\n \n", o.name.c_str()) > 0 && body(f, o);
  }
  return (std::fclose(f) == 0) && ok;
}

}  // namespace

int32_t SceneExportGeometry(_QLV_SCENE *scene, const ShortString &baseName) {
  const ShortString vertexFile = baseName + "v", faceFile = baseName + "f";
  const bool vertices = WriteFile(vertexFile, scene, [](FILE *f, const _QLV_OBJECT &o) {
    for (int32_t v = 0; o.vertices && v < o.vertexcount; v++) {
      const _QLV_VECTOR &p = o.vertices[v];
      if (std::fprintf(f, "%d %s %s %s\n", v, ConfigFixed4(p.x).c_str(), ConfigFixed4(p.y).c_str(),
                       ConfigFixed4(p.z).c_str()) < 0)
        return false;
    }
    return true;
  });
  if (!vertices) {
    SceneLog(ShortString("[qlv] export: cannot write ") + vertexFile);
    return -1;
  }
  const bool faces = WriteFile(faceFile, scene, [](FILE *f, const _QLV_OBJECT &o) {
    for (int32_t i = 0; o.faces && i < o.facecount; i++)
      if (std::fprintf(f, "%d %d %d %d\n", i, o.faces[i].a, o.faces[i].b, o.faces[i].c) < 0) return false;
    return true;
  });
  if (!faces) {
    SceneLog(ShortString("[qlv] export: cannot write ") + faceFile);
    return -1;
  }
  return 0;
}
