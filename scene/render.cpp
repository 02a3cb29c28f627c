// 3D renderer of the scene engine: camera, lights, materials, scene and object drawing.
//
// Order of a render: camera (projection, then the view from the eye track towards the
// target track), optional clip plane, lights (after the view, so their positions are
// in world space), then for pass 0 .. passcount every visible object of that pass in
// index order. Geometry comes from the objects' buffer objects with one glDrawElements
// per object and pass; only the black occluder pass draws from client memory, and it
// checks the file's indices first because GL would read through them unchecked. Each
// object's buffers are unbound after it is drawn, so client-memory drawing after a
// render (the occluders, other code) never reads through a stale buffer binding.
// Depends on: scene records, key interpolation, renderer counters, bindings (log),
// GL and GLU table.
#include "scene/render.h"

#include <cmath>
#include <numbers>

#include "presentation/bindings.h"
#include "presentation/gl.h"
#include "scene/counters.h"
#include "scene/keys.h"

_QLV_VECTOR CameraEye = {0.0f, 0.0f, 0.0f}, CameraTarget = {0.0f, 0.0f, 0.0f};
float ProjectionScale = 1.0f;
_QLV_VECTOR WorldScale = {1.0f, 1.0f, 1.0f};
_QLV_VECTOR ObjectOffset = {0.0f, 0.0f, 0.0f};
bool AnisotropicFiltering = true;
bool ClipPlaneEnabled = false;
double ClipPlane[4] = {0.0, 0.0, 0.0, 0.0};
float FaceFraction = -1.0f;
int32_t FlarePointSize = 5;
int32_t PickX = 0, PickY = 0;
_QLV_VECTOR SpareTriple = {1.0f, 1.0f, 1.0f};

const char kNoCameraMessageUpper[] =
    "QALVERN: Scene not renderable without camera animation target and position track";
const char kNoCameraMessageMixed[] =
    "Qalvern: Scene not renderable without camera animation target and position track";

namespace {

constexpr double kPi = std::numbers::pi;

enum class Variant { Plain, Scaled, Zoomed, Prelit };

const _QLV_MATERIAL *MaterialOf(const _QLV_SCENE *scene, const _QLV_OBJECT &o) {
  if (!scene->materials || o.material < 0 || o.material >= scene->materialcount) return nullptr;
  return &scene->materials[o.material];
}

_QLV_OBJECT *ObjectAt(_QLV_SCENE *scene, int32_t index) {
  if (!scene->objects || index < 0 || index > scene->objectcount - 1) return nullptr;
  return &scene->objects[index];
}

// Buffer id 0 would turn the array pointers below into client pointers at null.
bool HasGeometryBuffers(const _QLV_OBJECT &o) { return o.vertexbuffer != 0 && o.facebuffer != 0; }

bool HasCameraTracks(const _QLV_SCENE *scene) {
  return scene->camposkeycount > 0 && scene->camtargetkeycount > 0 && scene->camposkeys && scene->camtargetkeys;
}

void Perspective(const _QLV_SCENE *scene) {
  gluPerspective((double)scene->camerafov * 180.0 / kPi, 4.0 / 3.0, scene->cameranear, scene->camerafar);
}

void LookAt(const _QLV_VECTOR &eye, const _QLV_VECTOR &target) {
  gluLookAt(eye.x, eye.y, eye.z, target.x, target.y, target.z, 0.0, 0.0, 1.0);
}

// Camera set-up of the render variants and the flare pass; scale is multiplied onto
// the projection after the perspective when given.
void CameraForRender(_QLV_SCENE *scene, float frame, const _QLV_VECTOR *scale) {
  glEnable(GL_DEPTH_TEST);
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  Perspective(scene);
  if (scale) glScalef(scale->x, scale->y, scale->z);
  CameraAt(&CameraEye, &CameraTarget, scene, frame);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  LookAt(CameraEye, CameraTarget);
}

void Lights(_QLV_SCENE *scene, float frame) {
  for (int32_t i = 0; i < kQlvLightCount; i++) {
    const _QLV_LIGHT &l = scene->lights[i];
    const GLenum id = (GLenum)(GL_LIGHT0 + i);
    if (!l.enabled) {
      glDisable(id);
      continue;
    }
    glEnable(id);
    const GLfloat ambient[4] = {l.ambient.r, l.ambient.g, l.ambient.b, 1.0f};
    const GLfloat diffuse[4] = {l.diffuse.r, l.diffuse.g, l.diffuse.b, 1.0f};
    const GLfloat specular[4] = {l.specular.r, l.specular.g, l.specular.b, 1.0f};
    glLightfv(id, GL_AMBIENT, ambient);
    glLightfv(id, GL_DIFFUSE, diffuse);
    glLightfv(id, GL_SPECULAR, specular);
    glLightf(id, GL_SPOT_CUTOFF, 180.0f);
    _QLV_VECTOR p = l.pos;
    if (l.poskeycount > 0) LightPositionAt(&p, scene, i, frame);
    const GLfloat position[4] = {p.x, p.y, p.z, 1.0f};
    glLightfv(id, GL_POSITION, position);
  }
}

void AlphaTest(const _QLV_MATERIAL &m) {
  if (m.alphatest != 0.0f) {
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, m.alphatest);
  } else {
    glDisable(GL_ALPHA_TEST);
  }
}

void Blending(uint8_t blend) {
  switch (blend) {
    case 0: glDisable(GL_BLEND); break;
    case 1: glEnable(GL_BLEND); glBlendFunc(GL_ONE, GL_ONE); break;
    case 2: glEnable(GL_BLEND); glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); break;
    case 3: glEnable(GL_BLEND); glBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA); break;
    case 4: glEnable(GL_BLEND); glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR); break;
    default: break;  // keeps the previous object's blending
  }
}

void DepthMode(uint8_t depthtest) {
  if (depthtest > 3) return;
  glDepthMask((depthtest & 1) ? GL_FALSE : GL_TRUE);
  if (depthtest & 2)
    glDisable(GL_DEPTH_TEST);
  else
    glEnable(GL_DEPTH_TEST);
}

GLenum DepthFunc(uint8_t code) {
  static constexpr GLenum kFuncs[5] = {GL_LESS, GL_LEQUAL, GL_EQUAL, GL_GREATER, GL_GEQUAL};
  return code < 5 ? kFuncs[code] : GL_LESS;
}

// The pass after `after` that some visible object uses, or -1 when none is left up to
// passcount. Passes without objects draw nothing, and passno comes from files and
// configuration texts, so counting every pass up to a huge passcount would hang.
int64_t NextPass(const _QLV_SCENE *scene, int64_t after) {
  int64_t next = -1;
  for (int32_t i = 0; i < scene->objectcount; i++) {
    const _QLV_OBJECT &o = scene->objects[i];
    if (o.visible && o.passno > after && o.passno <= scene->passcount && (next < 0 || o.passno < next))
      next = o.passno;
  }
  return next;
}

enum class PassDepthFunc { Unchanged, Less, Material };

// Every visible object pass by pass in index order, each after its material's alpha
// test, blending and depth mode (and depth function as asked) are set.
template <typename Draw>
void DrawPasses(_QLV_SCENE *scene, PassDepthFunc depthFunc, Draw draw) {
  for (int64_t pass = NextPass(scene, -1); pass >= 0; pass = NextPass(scene, pass))
    for (int32_t i = 0; i < scene->objectcount; i++) {
      const _QLV_OBJECT &o = scene->objects[i];
      if (!o.visible || o.passno != pass) continue;
      const _QLV_MATERIAL *m = MaterialOf(scene, o);
      if (!m) continue;
      AlphaTest(*m);
      Blending(m->blend);
      DepthMode(m->depthtest);
      if (depthFunc != PassDepthFunc::Unchanged) glDepthFunc(GL_LESS);
      if (depthFunc == PassDepthFunc::Material) glDepthFunc(DepthFunc(m->depthfunc));
      draw(i);
    }
}

void Render(_QLV_SCENE *scene, float frame, Variant variant) {
  if (!SceneHasCamera(scene, kNoCameraMessageUpper)) return;
  const _QLV_VECTOR zoom = {ProjectionScale, ProjectionScale, ProjectionScale};
  if (variant == Variant::Prelit) Lights(scene, frame);
  const bool zoomed = variant == Variant::Zoomed || variant == Variant::Prelit;
  CameraForRender(scene, frame, zoomed ? &zoom : nullptr);
  if (variant == Variant::Scaled) glScalef(WorldScale.x, WorldScale.y, WorldScale.z);
  const bool clip = variant == Variant::Plain || variant == Variant::Scaled;
  if (clip && ClipPlaneEnabled) {
    glClipPlane(GL_CLIP_PLANE0, ClipPlane);
    glEnable(GL_CLIP_PLANE0);
  }
  if (variant != Variant::Prelit) Lights(scene, frame);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glDisable(GL_LIGHTING);
  glColor3f(1.0f, 1.0f, 1.0f);
  void (*draw)(_QLV_SCENE *, int32_t, float) = variant == Variant::Prelit ? DrawObjectPrelit : DrawObject;
  DrawPasses(scene, variant == Variant::Zoomed ? PassDepthFunc::Unchanged : PassDepthFunc::Material,
             [&](int32_t i) { draw(scene, i, frame); });
  glDisable(GL_ALPHA_TEST);
  glDepthMask(GL_TRUE);
  if (variant != Variant::Zoomed) glDisable(GL_CLIP_PLANE0);
}

// Object transform of steps 3 (full) or the keyed translation alone.
void PushTransform(_QLV_SCENE *scene, int32_t index, const _QLV_OBJECT &o, float frame, bool full, bool offsetScale) {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  if (o.poskeycount != 0) {
    _QLV_VECTOR p;
    ObjectPositionAt(&p, scene, index, frame);
    glTranslatef(p.x, p.y, p.z);
  }
  if (!full) return;
  glTranslatef(o.pivot.x, o.pivot.y, o.pivot.z);
  glRotatef(o.rotation.x, 1.0f, 0.0f, 0.0f);
  glRotatef(o.rotation.y, 0.0f, 1.0f, 0.0f);
  glRotatef(o.rotation.z, 0.0f, 0.0f, 1.0f);
  glTranslatef(-o.pivot.x, -o.pivot.y, -o.pivot.z);
  if (!offsetScale) return;
  glTranslatef(ObjectOffset.x, ObjectOffset.y, ObjectOffset.z);
  glScalef(WorldScale.x, WorldScale.y, WorldScale.z);
}

void PopTransform() {
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

bool DistanceCulled(const _QLV_SCENE *scene, const _QLV_OBJECT &o) {
  if (o.cullmode == 0) return false;
  if (o.cullmode != 1) return true;
  const double dx = (double)CameraEye.x - o.pivot.x, dy = (double)CameraEye.y - o.pivot.y,
               dz = (double)CameraEye.z - o.pivot.z;
  return (float)std::sqrt(dx * dx + dy * dy + dz * dz) > scene->culldistance;
}

void FaceCulling(const _QLV_OBJECT &o) {
  if (o.backfacecull) {
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
  } else {
    glDisable(GL_CULL_FACE);
  }
}

void Texture(const _QLV_MATERIAL &m, bool anisotropy) {
  if (!m.textured) {
    glDisable(GL_TEXTURE_2D);
    return;
  }
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)m.texture);
  if (anisotropy) {
    GLfloat maximum = 1.0f;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maximum);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, maximum);
  }
  const GLint wrap = m.texturewrap == 1 ? GL_CLAMP_TO_EDGE : GL_REPEAT;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
}

// Face culling, lighting and texture of an object pass.
void SurfaceState(const _QLV_OBJECT &o, const _QLV_MATERIAL &m, bool anisotropy) {
  FaceCulling(o);
  if (m.receivelight)
    glEnable(GL_LIGHTING);
  else
    glDisable(GL_LIGHTING);
  Texture(m, anisotropy);
}

// Leaves the texture matrix selected, holding the material's tiling.
void TextureTiling(const _QLV_MATERIAL &m) {
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glScalef(m.utile, m.vtile, 1.0f);
}

// Client arrays of the draw off; the counters take the whole face count, whatever
// share of it was drawn.
void FinishDraw(const _QLV_OBJECT &o) {
  glDisableClientState(GL_VERTEX_ARRAY);
  if (o.hasnormals) glDisableClientState(GL_NORMAL_ARRAY);
  if (o.hastexcoords) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  FacesDrawn += o.facecount;
  ObjectsDrawn += 1;
}

void MaterialColours(const _QLV_RGB &ambient, float ambientAlpha, const _QLV_RGB &diffuse, const _QLV_RGB &specular,
                     float alpha, float scale, int32_t shine) {
  const GLfloat a[4] = {ambient.r, ambient.g, ambient.b, ambientAlpha};
  const GLfloat d[4] = {(float)(diffuse.r * (double)scale), (float)(diffuse.g * (double)scale),
                        (float)(diffuse.b * (double)scale), alpha};
  const GLfloat s[4] = {(float)(specular.r * (double)scale), (float)(specular.g * (double)scale),
                        (float)(specular.b * (double)scale), alpha};
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, a);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, d);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, s);
  glShadeModel(GL_SMOOTH);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, (GLfloat)shine);
}

void GeometryArrays(const _QLV_OBJECT &o, bool texcoords) {
  glBindBufferARB(GL_ARRAY_BUFFER_ARB, (GLuint)o.vertexbuffer);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 12, nullptr);
  if (o.hasnormals && o.normalbuffer != 0) {
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, (GLuint)o.normalbuffer);
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, 12, nullptr);
  }
  if (texcoords && o.texcoordbuffer != 0) {
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, (GLuint)o.texcoordbuffer);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 8, nullptr);
  }
}

void DrawFaces(const _QLV_OBJECT &o, int32_t faces) {
  glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, (GLuint)o.facebuffer);
  glDrawElements(GL_TRIANGLES, faces * 3, GL_UNSIGNED_INT, nullptr);
}

void UnbindBuffers() {
  glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
}

// Faces of this frame: the first Trunc(facecount x FaceFraction), never more than all.
int32_t FacesOfFrame(const _QLV_OBJECT &o) {
  if (FaceFraction < 0.0f) return o.facecount;
  const double n = std::trunc((double)o.facecount * FaceFraction);
  return n < (double)o.facecount ? (int32_t)n : o.facecount;
}

void EnvironmentPass(const _QLV_OBJECT &o, const _QLV_MATERIAL &m) {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)m.envtexture);
  glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glEnable(GL_TEXTURE_GEN_S);
  glEnable(GL_TEXTURE_GEN_T);
  glDepthFunc(GL_EQUAL);
  glEnable(GL_BLEND);
  if (m.envalphablend)
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  else
    glBlendFunc(GL_ONE, GL_ONE);
  GeometryArrays(o, false);
  glColor4f(m.envcolor.r, m.envcolor.g, m.envcolor.b, m.envalpha);
  DrawFaces(o, o.facecount);
  glDisableClientState(GL_VERTEX_ARRAY);
  if (o.hasnormals) glDisableClientState(GL_NORMAL_ARRAY);
  glDepthFunc(GL_LEQUAL);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_BLEND);
}

void Fog(const _QLV_OBJECT &o) {
  if (!o.fog) {
    glDisable(GL_FOG);
    return;
  }
  glEnable(GL_FOG);
  switch (o.fogmode) {
    case 0: glFogi(GL_FOG_MODE, GL_LINEAR); break;
    case 1: glFogi(GL_FOG_MODE, GL_EXP); break;
    case 2: glFogi(GL_FOG_MODE, GL_EXP2); break;
    default: break;
  }
  glFogf(GL_FOG_DENSITY, o.fogparam.density);
  glFogf(GL_FOG_START, o.fogparam.start);
  glFogf(GL_FOG_END, o.fogparam.end);
  const GLfloat colour[4] = {o.fogcolor.r, o.fogcolor.g, o.fogcolor.b, o.fogcolor.a};
  glFogfv(GL_FOG_COLOR, colour);
}

// Whether every vertex index of the occluder geometry lies inside the object.
bool OccluderIndicesValid(const _QLV_OBJECT &o) {
  if (!o.vertices) return false;
  if (o.rendermode == 1) {
    if (!o.strip || o.stripcount < 0) return false;
    for (int32_t i = 0; i < o.stripcount; i++)
      if (o.strip[i] >= o.vertexcount) return false;
    return true;
  }
  if (!o.faces || o.facecount < 0) return false;
  for (int32_t i = 0; i < o.facecount; i++) {
    const _QLV_FACE &f = o.faces[i];
    if ((uint32_t)f.a >= (uint32_t)o.vertexcount || (uint32_t)f.b >= (uint32_t)o.vertexcount ||
        (uint32_t)f.c >= (uint32_t)o.vertexcount)
      return false;
  }
  return true;
}

// Trunc of a window coordinate; a flare far off screen (or a NaN from a damaged scene)
// must not overflow the integer conversion, and any such block reads nothing useful.
GLint PixelOf(float coordinate) {
  if (!(std::fabs(coordinate) < 1.0e9f)) return -1000000000;
  return (GLint)std::trunc(coordinate);
}

bool IsFlare(const _QLV_SCENE *scene, const _QLV_OBJECT &o) {
  const _QLV_MATERIAL *m = MaterialOf(scene, o);
  return m && m->flaresize > 0.0f;
}

}  // namespace

bool SceneHasCamera(const _QLV_SCENE *scene, std::string_view message) {
  if (HasCameraTracks(scene)) return true;
  EngineLog(message);
  return false;
}

void RenderScene(_QLV_SCENE *scene, float frame) { Render(scene, frame, Variant::Plain); }
void RenderSceneScaled(_QLV_SCENE *scene, float frame) { Render(scene, frame, Variant::Scaled); }
void RenderSceneZoomed(_QLV_SCENE *scene, float frame) { Render(scene, frame, Variant::Zoomed); }
void RenderScenePrelit(_QLV_SCENE *scene, float frame) { Render(scene, frame, Variant::Prelit); }

void DrawObject(_QLV_SCENE *scene, int32_t index, float frame) {
  _QLV_OBJECT *po = ObjectAt(scene, index);
  const _QLV_MATERIAL *pm = po ? MaterialOf(scene, *po) : nullptr;
  if (!pm || !HasGeometryBuffers(*po)) return;
  const _QLV_OBJECT &o = *po;
  const _QLV_MATERIAL &m = *pm;
  Fog(o);
  PushTransform(scene, index, o, frame, true, true);
  if (!DistanceCulled(scene, o)) {
    SurfaceState(o, m, AnisotropicFiltering);
    MaterialColours(m.ambient, m.constantalpha, m.diffuse, m.specular, m.constantalpha, 1.0f, m.shine);
    TextureTiling(m);
    glTranslatef((float)(o.velocity.x * (double)frame), (float)(o.velocity.y * (double)frame),
                 (float)(o.velocity.z * (double)frame));
    GeometryArrays(o, o.hastexcoords && m.textured);
    glColor4f(m.ambient.r, m.ambient.g, m.ambient.b, m.constantalpha);
    DrawFaces(o, FacesOfFrame(o));
    FinishDraw(o);
    if (m.envmap) EnvironmentPass(o, m);
    UnbindBuffers();
  }
  PopTransform();
  glDisable(GL_FOG);
}

void DrawObjectPrelit(_QLV_SCENE *scene, int32_t index, float frame) {
  _QLV_OBJECT *po = ObjectAt(scene, index);
  const _QLV_MATERIAL *pm = po ? MaterialOf(scene, *po) : nullptr;
  if (!pm || !HasGeometryBuffers(*po)) return;
  const _QLV_OBJECT &o = *po;
  const _QLV_MATERIAL &m = *pm;
  PushTransform(scene, index, o, frame, true, false);
  if (!DistanceCulled(scene, o)) {
    SurfaceState(o, m, false);
    MaterialColours(m.ambient, 1.0f, m.diffuse, m.specular, 1.0f, o.lightscaled ? scene->lightscale : 1.0f, m.shine);
    TextureTiling(m);
    GeometryArrays(o, o.hastexcoords && m.textured);
    bool colourArray = false;
    if (o.lightscaled) {
      glColor4f(m.diffuse.r, m.diffuse.g, m.diffuse.b, m.constantalpha);
    } else {
      if (o.hascolors && o.colors) {
        glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);  // the colours live in client memory
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_FLOAT, 12, o.colors);
        colourArray = true;
      }
      glColor4f(m.ambient.r, m.ambient.g, m.ambient.b, m.constantalpha);
    }
    DrawFaces(o, o.facecount);
    if (colourArray) glDisableClientState(GL_COLOR_ARRAY);
    FinishDraw(o);
    UnbindBuffers();
  }
  PopTransform();
}

void DrawObjectWire(_QLV_SCENE *scene, int32_t index, float grey, float frame) {
  glLineWidth(2.0f);
  glDepthFunc(GL_LESS);
  _QLV_OBJECT *po = ObjectAt(scene, index);
  if (!po) return;
  const _QLV_OBJECT &o = *po;
  PushTransform(scene, index, o, frame, false, false);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glColor4f(grey, grey, grey, 1.0f);
  if (o.faces && o.vertices) {
    glBegin(GL_LINES);
    for (int32_t i = 0; i < o.facecount; i++) {
      const int32_t v[3] = {o.faces[i].a, o.faces[i].b, o.faces[i].c};
      if ((uint32_t)v[0] >= (uint32_t)o.vertexcount || (uint32_t)v[1] >= (uint32_t)o.vertexcount ||
          (uint32_t)v[2] >= (uint32_t)o.vertexcount)
        continue;
      for (int e = 0; e < 3; e++) {
        const _QLV_VECTOR &a = o.vertices[v[e]], &b = o.vertices[v[(e + 1) % 3]];
        glVertex3f(a.x, a.y, a.z);
        glVertex3f(b.x, b.y, b.z);
      }
    }
    glEnd();
  }
  PopTransform();
}

void DrawObjectBlack(_QLV_SCENE *scene, int32_t index, float frame) {
  _QLV_OBJECT *po = ObjectAt(scene, index);
  if (!po) return;
  const _QLV_OBJECT &o = *po;
  PushTransform(scene, index, o, frame, false, false);
  FaceCulling(o);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  if (OccluderIndicesValid(o)) {
    UnbindBuffers();
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 12, o.vertices);
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    if (o.rendermode == 1)
      glDrawElements(GL_TRIANGLE_STRIP, o.stripcount, GL_UNSIGNED_SHORT, o.strip);
    else
      glDrawElements(GL_TRIANGLES, o.facecount * 3, GL_UNSIGNED_INT, o.faces);
    glDisableClientState(GL_VERTEX_ARRAY);
  }
  PopTransform();
}

void FlareSample(_QLV_SCENE *scene, float frame) {
  if (!SceneHasCamera(scene, kNoCameraMessageUpper)) return;
  CameraForRender(scene, frame, &WorldScale);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glDisable(GL_TEXTURE_2D);
  for (int32_t i = 0; i < scene->objectcount; i++) {
    _QLV_OBJECT &o = scene->objects[i];
    if (!IsFlare(scene, o)) continue;
    o.visible = false;
    const _QLV_VECTOR p = ObjectPointAt(scene, i, frame);
    const _QLV_RGB &c = scene->materials[o.material].ambient;
    glEnable(GL_POINT_SMOOTH);
    glPointSize((GLfloat)FlarePointSize);
    glColor3f(c.r, c.g, c.b);
    glBegin(GL_POINTS);
    glVertex3f(p.x, p.y, p.z);
    glEnd();
  }
  for (int32_t i = 0; i < scene->objectcount; i++) {
    const _QLV_OBJECT &o = scene->objects[i];
    const _QLV_MATERIAL *m = MaterialOf(scene, o);
    if (o.visible && m && m->flaresize == 0.0f) DrawObjectBlack(scene, i, frame);
  }
  for (int32_t i = 0; i < scene->objectcount; i++) {
    _QLV_OBJECT &o = scene->objects[i];
    if (!IsFlare(scene, o)) continue;
    const _QLV_VECTOR p = ObjectPointAt(scene, i, frame);
    glRasterPos3f(p.x, p.y, p.z);
    GLfloat raster[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    glGetFloatv(GL_CURRENT_RASTER_POSITION, raster);
    GLfloat pixels[27] = {};
    glReadPixels(PixelOf(raster[0]) - 1, PixelOf(raster[1]) - 1, 3, 3, GL_RGB, GL_FLOAT, pixels);
    o.samplecolor = {0.0f, 0.0f, 0.0f};
    for (int k = 0; k < 9; k++) {
      o.samplecolor.r = std::fmax(o.samplecolor.r, pixels[3 * k]);
      o.samplecolor.g = std::fmax(o.samplecolor.g, pixels[3 * k + 1]);
      o.samplecolor.b = std::fmax(o.samplecolor.b, pixels[3 * k + 2]);
    }
  }
  glDisable(GL_ALPHA_TEST);
  glDepthMask(GL_TRUE);
}

int32_t PickObject(_QLV_SCENE *scene, float frame) {
  // Picking has its own camera set-up, which writes no message.
  if (!HasCameraTracks(scene)) return 0;
  enum { kSelectSize = 512 };
  GLint viewport[4] = {0, 0, 0, 0};
  GLuint select[kSelectSize] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  glSelectBuffer(kSelectSize, select);
  glRenderMode(GL_SELECT);
  glInitNames();
  glPushName(0);
  glEnable(GL_DEPTH_TEST);
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPickMatrix((GLdouble)PickX, (GLdouble)(479 - PickY), 1.0, 1.0, viewport);
  Perspective(scene);
  glScalef(ProjectionScale, ProjectionScale, ProjectionScale);
  CameraAt(&CameraEye, &CameraTarget, scene, frame);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  LookAt(CameraEye, CameraTarget);
  for (int32_t i = 0; i < kQlvLightCount; i++) glDisable((GLenum)(GL_LIGHT0 + i));
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  DrawPasses(scene, PassDepthFunc::Less, [&](int32_t i) {
    glLoadName((GLuint)(i + 1));
    DrawObject(scene, i, frame);
  });
  glDisable(GL_ALPHA_TEST);
  glDepthMask(GL_TRUE);
  int32_t hits = glRenderMode(GL_RENDER);
  // -1 means the buffer overflowed: take the records that are complete in it.
  if (hits < 0) hits = kSelectSize;
  int32_t best = 0;
  bool found = false;
  GLuint bestDepth = 0;
  size_t at = 0;
  for (int32_t h = 0; h < hits && at + 3 <= kSelectSize; h++) {
    const GLuint names = select[at];
    if (names > kSelectSize - at - 3) break;
    if (names > 0 && (!found || select[at + 1] < bestDepth)) {
      best = (int32_t)select[at + 3 + names - 1];
      bestDepth = select[at + 1];
      found = true;
    }
    at += 3 + names;
  }
  return best;
}

namespace {

void CameraInProjection(_QLV_SCENE *scene, const _QLV_VECTOR *eye, const _QLV_VECTOR *target) {
  glEnable(GL_DEPTH_TEST);
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  Perspective(scene);
  glScalef(0.00001f, 0.00001f, 0.00001f);
  LookAt(*eye, *target);
}

}  // namespace

void CameraSetup(_QLV_SCENE *scene, float frame) {
  if (!SceneHasCamera(scene, kNoCameraMessageMixed)) return;
  _QLV_VECTOR eye, target;
  CameraAt(&eye, &target, scene, frame);
  CameraInProjection(scene, &eye, &target);
}

// Needs no track of its own, so it still sets the camera after the message.
void CameraSetupAt(_QLV_SCENE *scene, const _QLV_VECTOR *eye, const _QLV_VECTOR *target) {
  SceneHasCamera(scene, kNoCameraMessageMixed);
  CameraInProjection(scene, eye, target);
}

void EngineLog(std::string_view text) { PasLogLn(text); }

void SetSpareTriple(float a, float b, float c) { SpareTriple = {a, b, c}; }
