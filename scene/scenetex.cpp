// Scene textures and release.
//
// Texture paths are textureDir + "/" + the material's or emitter's file name, cut to
// 255 characters like every show string; the texture table shares a file among
// users and counts references, so release mirrors loading call for call.
// SceneFree releases both kinds of block a scene holds: tracked arrays read from the
// file (and derived neighbours) through PasMemFree, untracked derived arrays through
// SceneAllocFree; the particle pool is tracked as well. A record copied from another
// shares its arrays: free only one.
// Depends on: scene/records.h, scene/counters.h, scene/scenefile, presentation/textures,
// presentation/bindings, presentation/gl (buffer objects).
#include "scene/scenetex.h"

#include "presentation/bindings.h"
#include "presentation/gl.h"
#include "presentation/textures.h"
#include "scene/counters.h"
#include "scene/scenefile.h"

namespace {

constexpr std::string_view kFramebufferName = "$framebuffer$.jpg";

ShortString TexturePath(const ShortString &dir, const ShortString &file) { return dir + "/" + file; }

bool EmitterTextured(const _QLV_OBJECT &o) { return o.particle.particleenabled && !o.particle.particletexture.empty(); }

template <typename T>
void FreeTracked(T **p) {
  PasMemFree(reinterpret_cast<void **>(p));
}

template <typename T>
void FreeDerived(T **p) {
  SceneAllocFree(*p);
  *p = nullptr;
}

void DeleteBuffer(int32_t *id) {
  if (*id != 0 && glDeleteBuffersARB) {
    const GLuint name = static_cast<GLuint>(*id);
    glDeleteBuffersARB(1, &name);
  }
  *id = 0;
}

}  // namespace

void SceneLoadTextures(_QLV_SCENE *scene, const ShortString &textureDir) {
  for (int32_t i = 0; i < scene->materialcount; i++) {
    _QLV_MATERIAL &m = scene->materials[i];
    if (m.textured) {
      if (m.texturename == kFramebufferName) {
        m.texture = FramebufferTexture[0];
      } else {
        m.texture = TexLoad(TexturePath(textureDir, m.texturename), m.magtype);
        m.bitdepth = static_cast<uint8_t>(TexBitDepth(m.texture));
      }
    }
    if (m.envmap) m.envtexture = TexLoad(TexturePath(textureDir, m.envmaptexture), 3);
  }
  for (int32_t i = 0; i < scene->objectcount; i++) {
    _QLV_OBJECT &o = scene->objects[i];
    if (EmitterTextured(o)) o.particle.texture = TexLoad(TexturePath(textureDir, o.particle.particletexture), 3);
  }
}

void SceneReleaseTextures(_QLV_SCENE *scene) {
  for (int32_t i = 0; i < scene->materialcount; i++) {
    const _QLV_MATERIAL &m = scene->materials[i];
    if (m.textured) TexRelease(m.texture);  // the render-target id is not in the table: no effect
    if (m.envmap) TexRelease(m.envtexture);
  }
  for (int32_t i = 0; i < scene->objectcount; i++) {
    const _QLV_OBJECT &o = scene->objects[i];
    if (EmitterTextured(o)) TexRelease(o.particle.texture);
  }
}

void SceneFreeObjectArrays(_QLV_OBJECT *obj) {
  FreeTracked(&obj->strip);
  FreeTracked(&obj->vertices);
  FreeTracked(&obj->faces);
  FreeTracked(&obj->edgefaces);
  FreeTracked(&obj->neighbours);
  FreeTracked(&obj->colors);
  FreeTracked(&obj->texcoords);
  FreeTracked(&obj->normals);
  FreeTracked(&obj->poskeys);
  FreeTracked(&obj->rotkeys);
  FreeTracked(&obj->scalekeys);
}

void SceneFreeDerived(_QLV_SCENE *scene) {
  for (int32_t i = 0; scene->objects && i < scene->objectcount; i++) {
    _QLV_OBJECT &o = scene->objects[i];
    FreeDerived(&o.facecenters);
    FreeDerived(&o.planes);
    FreeDerived(&o.lightvisible);
    FreeDerived(&o.contour);
    FreeDerived(&o.facenormals);
    FreeDerived(&o.tangents);
    FreeDerived(&o.binormals);
    DeleteBuffer(&o.vertexbuffer);
    DeleteBuffer(&o.facebuffer);
    DeleteBuffer(&o.normalbuffer);
    DeleteBuffer(&o.texcoordbuffer);
  }
  FreeDerived(&scene->camposease);
  FreeDerived(&scene->camtargetease);
  FreeDerived(&scene->volumearray);
  FreeDerived(&scene->volumeindex);
  DeleteBuffer(&scene->volumebuffer);
  DeleteBuffer(&scene->volumeindexbuffer);
}

void SceneFree(_QLV_SCENE *scene) {
  for (_QLV_LIGHT &l : scene->lights) {
    FreeTracked(&l.poskeys);
    l.poskeycount = 0;
  }
  for (int32_t i = 0; scene->objects && i < scene->objectcount; i++) SceneFreeObjectArrays(&scene->objects[i]);
  SceneFreeDerived(scene);
  FreeTracked(&scene->camposkeys);
  FreeTracked(&scene->camtargetkeys);
  scene->camposkeycount = scene->camtargetkeycount = 0;
  FreeTracked(&scene->materials);
  FreeTracked(&scene->objects);
  scene->materialcount = scene->objectcount = 0;
  FreeTracked(&scene->particles);
  scene->particlecount = 0;
}
