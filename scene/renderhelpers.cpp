// Renderer helpers: objects by name, particles, flares, mirrored render, framebuffer
// and glow textures, and the renderer's start values.
//
// A particle pool is a fixed array searched for the first free slot; emission only
// takes slots, so one search cursor serves a whole emission step (the result is the
// same as searching from slot 0 for every particle). A full pool overwrites its last
// slot. The camera-facing axes come from the last camera set-up; a camera looking
// exactly along y leaves them undefined, and then nothing is emitted or drawn.
// Depends on: scene records, key interpolation, renderer, renderer counters,
// bindings (log, tracked memory, FatalError), procedural tables (random draws), GL.
#include "scene/renderhelpers.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "presentation/bindings.h"
#include "presentation/gl.h"
#include "presentation/procedural.h"
#include "presentation/rounding.h"
#include "scene/counters.h"
#include "scene/keys.h"
#include "scene/render.h"

int32_t GlowSize = 8;
_QLV_VECTOR MirrorTint = {1.0f, 1.0f, 1.0f};

namespace {

constexpr int32_t kFramebufferWidth = 800, kFramebufferHeight = 600;

struct Axes {
  _QLV_VECTOR r, u;
};

// Right and up of a camera-facing quad; false when the camera looks along y.
bool CameraAxes(Axes *axes) {
  const double dx = (double)CameraEye.x - CameraTarget.x, dy = (double)CameraEye.y - CameraTarget.y,
               dz = (double)CameraEye.z - CameraTarget.z;
  const double h = std::sqrt(dx * dx + dz * dz);
  const double ux = -dx * dy, uy = dx * dx + dz * dz, uz = -dy * dz;
  const double ul = std::sqrt(ux * ux + uy * uy + uz * uz);
  if (h == 0.0 || ul == 0.0 || !std::isfinite(h) || !std::isfinite(ul)) return false;
  axes->r = {(float)(-dz / h), 0.0f, (float)(dx / h)};
  axes->u = {(float)(ux / ul), (float)(uy / ul), (float)(uz / ul)};
  return true;
}

void FacingQuad(const Axes &a, const _QLV_VECTOR &p, float s) {
  const double S = s;
  glBegin(GL_TRIANGLE_STRIP);
  glTexCoord2f(0.0f, 0.0f);
  glVertex3f((float)(p.x - S * a.r.x), (float)(p.y - S * a.r.y), (float)(p.z - S * a.r.z));
  glTexCoord2f(1.0f, 0.0f);
  glVertex3f((float)(p.x - S * a.u.x), (float)(p.y - S * a.u.y), (float)(p.z - S * a.u.z));
  glTexCoord2f(0.0f, 1.0f);
  glVertex3f((float)(p.x + S * a.u.x), (float)(p.y + S * a.u.y), (float)(p.z + S * a.u.z));
  glTexCoord2f(1.0f, 1.0f);
  glVertex3f((float)(p.x + S * a.r.x), (float)(p.y + S * a.r.y), (float)(p.z + S * a.r.z));
  glEnd();
}

// Nearest integer, halves to even, held to +-2^62 so that the draw minus the half
// spread cannot overflow (spreads come from files).
int64_t SpreadRound(double v) {
  constexpr int64_t kLimit = int64_t(1) << 62;
  return std::clamp(RoundHalfEven<int64_t>(v), -kLimit, kLimit);
}

// Emissions past a full pool only overwrite its last slot again. newparticle comes
// from scene files and configuration texts, so a frame stops emitting after this many
// pools' worth: a count near 2^31 would otherwise spin for minutes every frame.
constexpr int64_t kEmissionPoolsPerFrame = 16;

void EmitFrom(_QLV_SCENE *scene, int32_t k, float frame, int32_t *cursor, int64_t *budget) {
  const _QLV_PARTICLEDATA &e = scene->objects[k].particle;
  const _QLV_VECTOR p = ObjectPointAt(scene, k, frame);
  const int32_t n = scene->particlecount;
  for (int32_t i = 0; i < e.newparticle && *budget > 0; i++, --*budget) {
    while (*cursor < n && !scene->particles[*cursor].free) ++*cursor;
    _QLV_PARTICLE &q = scene->particles[*cursor < n ? *cursor : n - 1];
    q.free = false;
    q.colorattrib = e.colorattrib;
    q.power = e.power;
    q.deltapower = e.deltapower;
    q.emitter = k;
    q.position = p;
    q.color = e.color;
    const float spread[3] = {e.deltavectorspread.x, e.deltavectorspread.y, e.deltavectorspread.z};
    const float base[3] = {e.deltavector.x, e.deltavector.y, e.deltavector.z};
    float delta[3];
    for (int a = 0; a < 3; a++) {
      const int64_t r = ParticleRandom(SpreadRound(10000.0 * spread[a]));
      delta[a] = (float)((double)(r - SpreadRound(5000.0 * spread[a])) / 10000.0 + base[a]);
    }
    q.delta = {delta[0], delta[1], delta[2]};
  }
}

void DrawParticle(_QLV_SCENE *scene, _QLV_PARTICLE &q, const Axes &axes) {
  if (q.emitter < 0 || q.emitter >= scene->objectcount) {
    q.free = true;  // its emitter is gone (a pool shared with a smaller scene)
    return;
  }
  const _QLV_PARTICLEDATA &e = scene->objects[q.emitter].particle;
  glBindTexture(GL_TEXTURE_2D, (GLuint)e.texture);
  double s = e.size;
  _QLV_RGB c = q.color;
  const double L = (double)q.power / e.power, M = 1.0 - L;
  auto scaled = [&](double f) { return _QLV_RGB{(float)(f * q.color.r), (float)(f * q.color.g), (float)(f * q.color.b)}; };
  if (q.colorattrib & 1) c = scaled(L);
  if (q.colorattrib & 2) s = L * e.size;
  if (q.colorattrib & 4) c = scaled(M);
  if (q.colorattrib & 8) s = M * e.size;
  glColor3f(c.r, c.g, c.b);
  FacingQuad(axes, q.position, (float)s);
  ParticlesDrawn += 1;
  q.power = (float)((double)q.power - q.deltapower);
  q.position = {q.position.x + q.delta.x, q.position.y + q.delta.y, q.position.z + q.delta.z};
  if (q.power <= 0.0f) q.free = true;
}

bool TextureSlot(int32_t i) {
  if (i >= 0 && i < 8) return true;
  PasLogLn("[qlv] framebuffer texture index out of range");
  return false;
}

}  // namespace

int64_t ParticleRandom(int64_t n) {
  // Both outputs are drawn even for n = 0, so the generator advances the same way.
  const uint64_t lo = RandomNext();
  const uint64_t hi = RandomNext() & 0x7fffffffu;
  if (n == 0) return 0;
  const uint64_t m = n < 0 ? (uint64_t)(-n) : (uint64_t)n;
  return (int64_t)(((hi << 32) | lo) % m);
}

void ShowObject(_QLV_SCENE *scene, std::string_view name) {
  for (int32_t i = 0; i < scene->objectcount; i++)
    if (scene->objects[i].name == name) scene->objects[i].visible = true;
}

void HideObject(_QLV_SCENE *scene, std::string_view name) {
  for (int32_t i = 0; i < scene->objectcount; i++)
    if (scene->objects[i].name == name) scene->objects[i].visible = false;
}

int32_t FindObject(_QLV_SCENE *scene, std::string_view name) {
  int32_t found = 65535;
  for (int32_t i = 0; i < scene->objectcount; i++)
    if (scene->objects[i].name == name) found = i;
  return found;
}

void ParticlesCreate(_QLV_SCENE *scene, int32_t count) {
  if (count < 0 || (int64_t)count * (int64_t)sizeof(_QLV_PARTICLE) > INT32_MAX) {
    PasLogLn("[qlv] particle pool size refused");
    return;
  }
  ShortString tag = scene->name;
  tag += " particle info ";
  void *pool = PasMemGet(count * (int32_t)sizeof(_QLV_PARTICLE), tag.c_str());
  if (!pool && count > 0) FatalError("Out of memory for the particle pool.");
  scene->particles = static_cast<_QLV_PARTICLE *>(pool);
  scene->particlecount = count;
  for (int32_t i = 0; i < count; i++) scene->particles[i].free = true;
}

void ParticlesFree(_QLV_SCENE *scene) {
  void *pool = scene->particles;
  PasMemFree(&pool);
  scene->particles = nullptr;
  scene->particlecount = 0;
}

void DrawParticles(_QLV_SCENE *scene, float frame) {
  glDisable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glEnable(GL_TEXTURE_2D);
  Axes axes;
  if (!CameraAxes(&axes) || !scene->particles || scene->particlecount <= 0) {
    glDepthMask(GL_TRUE);
    return;
  }
  int32_t cursor = 0;
  int64_t budget = kEmissionPoolsPerFrame * scene->particlecount;
  for (int32_t k = 0; k < scene->objectcount; k++)
    if (scene->objects[k].particle.particleenabled) EmitFrom(scene, k, frame, &cursor, &budget);
  for (int32_t j = 0; j < scene->particlecount; j++)
    if (!scene->particles[j].free) DrawParticle(scene, scene->particles[j], axes);
  glDepthMask(GL_TRUE);
}

void DrawFlares(_QLV_SCENE *scene, float frame) {
  glEnable(GL_TEXTURE_2D);
  glDepthMask(GL_FALSE);
  Axes axes;
  if (CameraAxes(&axes))
    for (int32_t i = 0; i < scene->objectcount; i++) {
      const _QLV_OBJECT &o = scene->objects[i];
      if (o.material < 0 || o.material >= scene->materialcount) continue;
      const _QLV_MATERIAL &m = scene->materials[o.material];
      if (!(m.flaresize > 0.0f)) continue;
      glBindTexture(GL_TEXTURE_2D, (GLuint)m.texture);
      const _QLV_VECTOR p = ObjectPointAt(scene, i, frame);
      glDisable(GL_CULL_FACE);
      glDisable(GL_DEPTH_TEST);
      glDisable(GL_LIGHTING);
      glEnable(GL_BLEND);
      glBlendFunc(GL_ONE, GL_ONE);
      glColor3f(o.samplecolor.r, o.samplecolor.g, o.samplecolor.b);
      FacingQuad(axes, p, m.flaresize);
    }
  glDepthMask(GL_TRUE);
}

void RenderMirrored(const _QLV_SCENE *original, int32_t mirror, float frame, float sx, float sy, float sz, float tint) {
  _QLV_SCENE scene = *original;
  if (!SceneHasCamera(&scene, kNoCameraMessageMixed)) return;
  CameraSetup(&scene, frame);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glScalef(sx, sy, sz);
  glMatrixMode(GL_MODELVIEW);
  SetMirrorTint(tint, tint, tint);
  for (int32_t i = 0; i < scene.objectcount; i++)
    if (i != mirror) DrawObject(&scene, i, frame);
  SetMirrorTint(1.0f, 1.0f, 1.0f);
  glMatrixMode(GL_PROJECTION);
  glScalef(1.0f, 1.0f, -1.0f);
  glMatrixMode(GL_MODELVIEW);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  DrawObject(&scene, mirror, 0.0f);
  glDisable(GL_BLEND);
  for (int32_t i = 0; i < scene.objectcount; i++)
    if (i != mirror) DrawObject(&scene, i, frame);
}

void SetObjectOffset(float x, float y, float z) { ObjectOffset = {x, y, z}; }

void SetMirrorTint(float r, float g, float b) { MirrorTint = {r, g, b}; }

void ClearBuffers(void) {
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glClear(GL_STENCIL_BUFFER_BIT);
}

void FramebufferTexturesCreate(void) {
  void *zero = PasMemGet(kFramebufferWidth * kFramebufferHeight * 4, " temporary texture data for framebuffer ");
  if (!zero) {
    PasLogLn("[qlv] no memory for the framebuffer textures");
    return;
  }
  for (int32_t i = 0; i < 8; i++) {
    glEnable(GL_TEXTURE_2D);
    GLuint id = 0;
    glGenTextures(1, &id);
    FramebufferTexture[i] = (int32_t)id;
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, kFramebufferWidth, kFramebufferHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, zero);
  }
  PasMemFree(&zero);
}

void CopyFramebuffer(int32_t i) {
  if (!TextureSlot(i)) return;
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)FramebufferTexture[i]);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, kFramebufferWidth, kFramebufferHeight, 0);
}

void CopyDepthToTexture(int32_t i) {
  if (!TextureSlot(i)) return;
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)FramebufferTexture[i]);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, 0, 0, 512, 512, 0);
}

void GlowTextureCreate(void) {
  if (GlowSize <= 0 || GlowSize > 8192) {
    PasLogLn("[qlv] glow texture size refused");
    return;
  }
  void *zero = PasMemGet(GlowSize * GlowSize * 4, " temporary texture data for glow ");
  if (!zero) {
    PasLogLn("[qlv] no memory for the glow texture");
    return;
  }
  glEnable(GL_TEXTURE_2D);
  GLuint id = 0;
  glGenTextures(1, &id);
  GlowTexture = (int32_t)id;
  glBindTexture(GL_TEXTURE_2D, id);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, 4, GlowSize, GlowSize, 0, GL_RGBA, GL_UNSIGNED_BYTE, zero);
  PasMemFree(&zero);
}

void CopyGlow(void) {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)GlowTexture);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, GlowSize, GlowSize, 0);
}

void RendererInit(void) {
  SpareTriple = {1.0f, 1.0f, 1.0f};
  MirrorTint = {1.0f, 1.0f, 1.0f};
  ObjectOffset = {0.0f, 0.0f, 0.0f};
  ProjectionScale = 1.0f;
  WorldScale = {1.0f, 1.0f, 1.0f};
  FlarePointSize = 5;
  AnisotropicFiltering = true;
  GlowSize = 8;
  ClipPlaneEnabled = false;
  FaceFraction = -1.0f;
  CameraEye = CameraTarget = {0.0f, 0.0f, 0.0f};
  for (double &c : ClipPlane) c = 0.0;
  PickX = PickY = 0;
}
