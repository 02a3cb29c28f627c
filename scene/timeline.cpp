// Project timeline: key ramps and operators.
//
// Operators run in project order and each active key of an operator performs its
// action once, in key order, so several active keys repeat an action. Project data
// is untrusted: an operator whose target scene or filter, texture slot, object or
// face lies outside what the project has does nothing (object swaps and sparks need
// a first scene of 100 and 115 objects, lightning five objects and a face inside the
// first object); the project itself is never changed by an out-of-range value.
// Depends on: project player, renderer, renderer helpers, shadow volumes, key
// interpolation, IFE layers, procedural tables (random draws), GL table.
#include "scene/timeline.h"

#include <cmath>
#include <numbers>

#include "presentation/gl.h"
#include "presentation/procedural.h"
#include "presentation/rounding.h"
#include "scene/keys.h"
#include "scene/render.h"
#include "scene/renderhelpers.h"
#include "scene/shadow.h"

int32_t PassProgramA = 0, PassProgramB = 0;

namespace {

constexpr double kPi = std::numbers::pi;

struct Action {
  TVX_Project *project;
  const TVX_Operator *op;
  float value;  // the key's value
  float v;      // value / 1000
  int32_t P(int i) const { return op->Params[i]; }
  int32_t Word(int i) const { return P(i) + 256 * P(i + 1); }
};

struct Rect {
  int32_t x, y, w, h;
};

Rect RectOf(const Action &a) {
  return {a.Word(0), a.Word(2), RoundHalfEven<int32_t>((double)a.v * a.Word(4) * ScreenScaleX),
          RoundHalfEven<int32_t>((double)a.v * a.Word(6) * ScreenScaleY)};
}

_QLV_SCENE *SceneAt(const Action &a, int32_t index) {
  TVX_Project *p = a.project;
  if (!p->Scenes || index < 0 || index >= p->SceneCount) return nullptr;
  return &p->Scenes[index];
}

_QLV_OBJECT *ObjectOf(_QLV_SCENE *scene, int32_t index) {
  if (!scene || !scene->objects || index < 0 || index >= scene->objectcount) return nullptr;
  return &scene->objects[index];
}

void FullScreenQuad() {
  glBegin(GL_QUADS);
  glTexCoord2f(1.0f, 1.0f);
  glVertex2f(1.0f, 1.0f);
  glTexCoord2f(0.0f, 1.0f);
  glVertex2f(-1.0f, 1.0f);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(-1.0f, -1.0f);
  glTexCoord2f(1.0f, 0.0f);
  glVertex2f(1.0f, -1.0f);
  glEnd();
}

void Identity(GLenum matrix) {
  glMatrixMode(matrix);
  glLoadIdentity();
}

bool HasShaderEntries() {
  return glUseProgramObjectARB && glGetUniformLocationARB && glUniform1fARB && glUniform1iARB;
}

// One shader pass over texture; program 0 is the fixed-function pipeline, which has
// no uniforms to set.
void ShaderPass(int32_t program, float v, GLuint texture, bool otherUnitsOff, bool blendingOff) {
  const bool shaders = HasShaderEntries();
  const GLhandleARB p = (GLhandleARB)program;
  if (shaders) glUseProgramObjectARB(p);
  if (shaders && program != 0) glUniform1fARB(glGetUniformLocationARB(p, "SIZE"), v);
  if (otherUnitsOff && glActiveTextureARB) {
    for (int u = 1; u <= 3; u++) {
      glActiveTextureARB((GLenum)(GL_TEXTURE0_ARB + u));
      glDisable(GL_TEXTURE_2D);
    }
    glActiveTextureARB(GL_TEXTURE0_ARB);
  }
  const GLint location = shaders && program != 0 ? glGetUniformLocationARB(p, "texture") : -1;
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  if (shaders && program != 0) glUniform1iARB(location, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  Identity(GL_MODELVIEW);
  Identity(GL_PROJECTION);
  glDisable(GL_LIGHTING);
  if (blendingOff) glDisable(GL_BLEND);
  glColor3f(1.0f, 1.0f, 1.0f);
  FullScreenQuad();
  if (shaders) glUseProgramObjectARB(0);
}

void SetBlending(int32_t mode) {
  switch (mode) {
    case 0: glDisable(GL_BLEND); break;
    case 1: glEnable(GL_BLEND); glBlendFunc(GL_ONE, GL_ONE); break;
    case 2: glEnable(GL_BLEND); glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR); break;
    default: break;
  }
}

void ObjectRotation(const Action &a) {
  _QLV_SCENE *scene = SceneAt(a, a.op->Target);
  const int32_t axis = a.P(2);
  if (!scene || axis < 0 || axis > 2) return;
  auto set = [&](_QLV_OBJECT &o) { (axis == 0 ? o.rotation.x : axis == 1 ? o.rotation.y : o.rotation.z) = a.value; };
  if (a.P(3) == 1) {
    for (int32_t i = 0; i < scene->objectcount; i++) set(scene->objects[i]);
  } else if (_QLV_OBJECT *o = ObjectOf(scene, a.Word(0))) {
    set(*o);
  }
}

void Clear(const Action &a) {
  glClearColor((float)(a.P(0) / 255.0 * a.v), (float)(a.P(1) / 255.0 * a.v), (float)(a.P(2) / 255.0 * a.v), a.v);
  GLbitfield mask = 0;
  if (a.P(3)) mask |= GL_COLOR_BUFFER_BIT;
  if (a.P(4)) mask |= GL_DEPTH_BUFFER_BIT;
  if (a.P(5)) mask |= GL_ACCUM_BUFFER_BIT;
  if (a.P(6)) mask |= GL_STENCIL_BUFFER_BIT;
  glClear(mask);
}

void Scene(const Action &a) {
  _QLV_SCENE *scene = SceneAt(a, a.op->Target);
  if (!scene) return;
  if (a.P(2) != 1) {
    RenderScene(scene, a.value);
  } else {
    RenderScenePrelit(scene, a.value);
    _QLV_VECTOR light = scene->lights[0].pos;
    if (scene->lights[0].poskeycount > 0) LightPositionAt(&light, scene, 0, a.value);
    DrawShadowVolumes(scene, &light, a.value);
    glClear(GL_DEPTH_BUFFER_BIT);
    glStencilFunc(GL_EQUAL, 0, ~0u);
    RenderScene(scene, a.value);
    glDisable(GL_STENCIL_TEST);
  }
  if (a.P(1) == 1) {
    Identity(GL_TEXTURE);
    glDisable(GL_LIGHTING);
    DrawParticles(scene, a.value);
  }
}

void TexturedOverlay(const Action &a) {
  const int32_t texture = SlotTexture(a.P(3));
  if (texture < 0) return;
  glEnable(GL_TEXTURE_2D);
  glColor3f((float)(a.P(0) / 255.0 * a.v), (float)(a.P(1) / 255.0 * a.v), (float)(a.P(2) / 255.0 * a.v));
  SetBlending(a.P(4));
  glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  Identity(GL_MODELVIEW);
  Identity(GL_PROJECTION);
  Identity(GL_TEXTURE);
  glDisable(GL_LIGHTING);
  FullScreenQuad();
}

void TwoPasses(const Action &a) {
  const int32_t texture = SlotTexture(a.P(0));
  if (texture < 0) return;
  ShaderPass(PassProgramA, a.v, (GLuint)texture, false, true);
  glBindTexture(GL_TEXTURE_2D, (GLuint)FrameTextures[0]);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, RoundHalfEven<int32_t>(ScreenScaleX * 1024.0),
                   RoundHalfEven<int32_t>(ScreenScaleY * 768.0), 0);
  ShaderPass(PassProgramB, a.v, (GLuint)FrameTextures[0], false, true);
}

void CopyFrame(const Action &a) {
  const int32_t texture = SlotTexture(a.P(8));
  if (texture < 0) return;
  const Rect r = RectOf(a);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, r.x, r.y, r.w, r.h, 0);
}

void RandomSparks(const Action &a) {
  _QLV_SCENE *scene = SceneAt(a, 0);
  if (!scene || scene->objectcount < 115) return;
  static constexpr int32_t kSparks[3] = {111, 105, 114};
  for (int32_t k : kSparks) scene->objects[k].particle.particleenabled = RandomBelow(40) == 20;
  if (a.value == 0.0f)
    for (int32_t k : kSparks) scene->objects[k].particle.particleenabled = false;
}

void TexturedRing(const Action &a) {
  const TVX_Project *p = a.project;
  if (!p->Filters || p->FilterCount < 2 || p->Filters[1].layerCount < 1 || !p->Filters[1].layers) return;
  glColor3f(0.0f, 0.0f, 0.0f);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)p->Filters[1].layers[0].glTexture);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  const double o = -0.15 - a.v, d = 0.002, deg = kPi / 180.0;
  for (int32_t i = 0; i <= 180; i++) {
    const float grey = (float)std::sin(i * deg);
    const double s0 = std::sin(2 * i * deg), c0 = std::cos(2 * i * deg);
    const double s1 = std::sin(2 * (i + 1) * deg), c1 = std::cos(2 * (i + 1) * deg);
    const float u0 = (float)(1 - (o + i * d)), u1 = (float)(1 - (o + (i + 1) * d));
    glBegin(GL_QUADS);
    glColor3f(grey, grey, grey);
    glTexCoord2f(u0, 1.0f);
    glVertex3f((float)(90 * s0), (float)(90 * c0), -10.0f);
    glTexCoord2f(u1, 1.0f);
    glVertex3f((float)(90 * s1), (float)(90 * c1), -10.0f);
    glTexCoord2f(u1, 0.0f);
    glVertex3f((float)(60 * s1), (float)(60 * c1), -10.0f);
    glTexCoord2f(u0, 0.0f);
    glVertex3f((float)(60 * s0), (float)(60 * c0), -10.0f);
    glEnd();
  }
}

void FloorGrid(const Action &a) {
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  const float v = a.v;
  for (int32_t i = 0; i <= 100; i++) {
    const float c = (float)((i - 50) * 80);
    glBegin(GL_LINES);
    glColor3f(0.0f, 0.0f, 0.0f);
    glVertex3f(c, -170.0f, -4000.0f);
    glColor3f(v, v, v);
    glVertex3f(c, -170.0f, 0.0f);
    glVertex3f(c, -170.0f, 0.0f);
    glColor3f(0.0f, 0.0f, 0.0f);
    glVertex3f(c, -170.0f, 4000.0f);
    glVertex3f(-4000.0f, -170.0f, c);
    glColor3f(v, v, v);
    glVertex3f(0.0f, -170.0f, c);
    glVertex3f(0.0f, -170.0f, c);
    glColor3f(0.0f, 0.0f, 0.0f);
    glVertex3f(4000.0f, -170.0f, c);
    glEnd();
  }
}

// One bolt from S to the centre of face f of object 0.
void LightningBolt(const _QLV_OBJECT &target, const _QLV_VECTOR &S, int32_t f) {
  const _QLV_FACE &face = target.faces[f];
  const _QLV_VECTOR &A = target.vertices[face.a], &B = target.vertices[face.b], &C = target.vertices[face.c];
  const double E[3] = {((double)A.x + B.x + C.x) / 3.0, ((double)A.y + B.y + C.y) / 3.0,
                       ((double)A.z + B.z + C.z) / 3.0};
  const int32_t n = 6 + RandomBelow(6);
  const double start[3] = {S.x, S.y, S.z};
  double step[3];
  for (int c = 0; c < 3; c++) step[c] = (E[c] - start[c]) / n;
  double J[12][3] = {};
  for (int32_t i = 1; i <= n; i++)
    for (int c = 0; c < 3; c++) J[i][c] = RandomBelow(100) / 30.0;
  for (int c = 0; c < 3; c++) J[n][c] = 0.0;
  auto at = [&](int32_t j, int c) { return (float)(start[c] + j * step[c] + J[j][c]); };
  for (int pass = 0; pass < 2; pass++) {
    if (pass == 0) {
      glColor3f(0.5f, 0.5f, 0.5f);
      glLineWidth(1.0f);
    } else {
      glColor3f(0.0f, 0.0f, 0.3f);
      glLineWidth(8.0f);
    }
    glBegin(GL_LINES);
    for (int32_t j = 0; j < n; j++) {
      glVertex3f(at(j, 0), at(j, 1), at(j, 2));
      glVertex3f(at(j + 1, 0), at(j + 1, 1), at(j + 1, 2));
    }
    glEnd();
  }
}

bool FaceInside(const _QLV_OBJECT &o, int32_t f) {
  if (!o.faces || !o.vertices || f < 0 || f >= o.facecount) return false;
  const _QLV_FACE &face = o.faces[f];
  const uint32_t n = (uint32_t)o.vertexcount;
  return (uint32_t)face.a < n && (uint32_t)face.b < n && (uint32_t)face.c < n;
}

void Lightning(const Action &a) {
  _QLV_SCENE *scene = SceneAt(a, 0);
  if (!scene || scene->objectcount < 5) return;
  glColor3f(1.0f, 1.0f, 1.0f);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  FaceFraction = a.v;
  const _QLV_OBJECT &target = scene->objects[0];
  for (int32_t k = 1; k <= 4; k++) {
    _QLV_VECTOR s;
    ObjectPositionAt(&s, scene, k, a.value);
    const _QLV_VECTOR &pivot = scene->objects[k].pivot;
    s = {s.x + pivot.x, s.y + pivot.y, s.z + pivot.z};
    const double base = std::trunc((double)a.value / 4000.0 * (target.facecount - 1));
    if (!(std::fabs(base) < 1e9)) continue;
    const int64_t face = 4 * (int64_t)base + k - 1;
    if (face < 0 || face > INT32_MAX || !FaceInside(target, (int32_t)face)) continue;
    LightningBolt(target, s, (int32_t)face);
  }
  const double deg = kPi / 180.0;
  for (int pass = 0; pass < 2; pass++) {
    glLineWidth(pass == 0 ? 1.0f : 5.0f);
    const float grey = pass == 0 ? 0.3f : 0.1f;
    glColor3f(grey, grey, grey);
    glEnable(GL_DEPTH_TEST);
    glBegin(GL_LINES);
    for (int32_t j = -10; j <= 10; j++)
      for (int32_t i = 0; i <= 35; i++) {
        const double s0 = std::sin(10 * i * deg), c0 = std::cos(10 * i * deg);
        const double s1 = std::sin(10 * (i + 1) * deg), c1 = std::cos(10 * (i + 1) * deg);
        const float z = (float)(a.value / 50.0 + 20 * j);
        glVertex3f((float)(140 * s0), (float)(140 * c0), z);
        glVertex3f((float)(140 * s1), (float)(140 * c1), z);
        glVertex3f((float)(140 * s0), (float)(140 * c0), z);
        glVertex3f((float)(140 * s0), (float)(140 * c0), (float)(z + 20.0));
      }
    glEnd();
  }
}

void PointCloud() {
  glColor3f(1.0f, 1.0f, 1.0f);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glBegin(GL_POINTS);
  for (int32_t i = 0; i < kRandomPointCount; i++) {
    glColor3f(PointShade[i], PointShade[i], PointShade[i]);
    glVertex3f(PointX[i], PointY[i], PointZ[i]);
  }
  glEnd();
}

void ObjectSwap(const Action &a) {
  _QLV_OBJECT *o = ObjectOf(SceneAt(a, 0), 99);
  if (!o) return;
  const bool on = a.value > 0.0f;
  o->particle.particleenabled = on;
  o->visible = !on;
}

void Perform(const Action &a) {
  switch (a.op->OpType) {
    case 1: {
      const Rect r = RectOf(a);
      glViewport(r.x, r.y, r.w, r.h);
      break;
    }
    case 6: ObjectRotation(a); break;
    case 7:
      if (_QLV_SCENE *s = SceneAt(a, a.op->Target)) s->camerafov = (float)(a.value * kPi / 180.0);
      break;
    case 1000: Clear(a); break;
    case 1001: Scene(a); break;
    case 1002:
      if (a.project->Filters && a.op->Target >= 0 && a.op->Target < a.project->FilterCount)
        IfeRender(&a.project->Filters[a.op->Target], a.value);
      break;
    case 1004: DrawNoiseOverlay(a.value); break;
    case 1005: TexturedOverlay(a); break;
    case 2001:
    case 2002: {
      const int32_t texture = SlotTexture(a.P(0));
      if (texture >= 0)
        ShaderPass(a.op->OpType == 2001 ? PassProgramA : PassProgramB, a.v, (GLuint)texture, true, false);
      break;
    }
    case 2003: TwoPasses(a); break;
    case 3000: CopyFrame(a); break;
    case 4001: RandomSparks(a); break;
    case 4002: TexturedRing(a); break;
    case 4003: FloorGrid(a); break;
    case 4004: Lightning(a); break;
    case 4005: PointCloud(); break;
    case 4006: ObjectSwap(a); break;
    default: break;
  }
}

}  // namespace

float EaseToMid(uint8_t mode, float a, float b, float f) {
  const double q = (double)f * kPi / 2;
  const double w = mode == 1 ? std::sin(q) : mode == 2 ? 1 - std::sin(q + kPi / 2) : (double)f;
  return (float)(a + ((double)b - a) * w);
}

float EaseFromMid(uint8_t mode, float a, float b, float f) {
  const double q = (double)f * kPi / 2;
  const double w = mode == 1 ? 1 - std::sin(q + kPi / 2) : mode == 2 ? std::sin(q) : (double)f;
  return (float)(a + ((double)b - a) * w);
}

float KeyRamp(uint8_t mode, float start, float end, float startValue, float midValue, float endValue, float t) {
  const float c = (float)(((double)start + end) / 2);
  float value;
  if (t < c)
    value = t < start ? startValue : EaseToMid(mode, startValue, midValue, (float)((t - (double)start) / (c - (double)start)));
  else if (t > c)
    value = t > end ? endValue : EaseFromMid(mode, midValue, endValue, (float)((t - (double)c) / ((double)end - c)));
  else
    value = midValue;
  if (startValue == -303.0f) value = (float)RandomBelow(1000);
  return value;
}

void DrawNoiseOverlay(float intensity) {
  glBindTexture(GL_TEXTURE_2D, (GLuint)NoiseTextures[RandomBelow(31)]);
  glEnable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
  Identity(GL_PROJECTION);
  Identity(GL_MODELVIEW);
  Identity(GL_TEXTURE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  const float g = (float)(intensity / 1000.0);
  glColor3f(g, g, g);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(-1.0f, 1.0f);
  glTexCoord2f(1.0f, 0.0f);
  glVertex2f(1.0f, 1.0f);
  glTexCoord2f(1.0f, 1.0f);
  glVertex2f(1.0f, -1.0f);
  glTexCoord2f(0.0f, 1.0f);
  glVertex2f(-1.0f, -1.0f);
  glEnd();
}

void ProjectPlay(TVX_Project *project, float time) {
  if (!(std::fabs((double)time) < 2147483647.0) || !project->Operators) return;
  const int32_t T = (int32_t)std::trunc((double)time);
  for (int32_t i = 0; i < project->OperatorCount; i++) {
    const TVX_Operator &op = project->Operators[i];
    for (int32_t k = 0; k < op.KeyCount && op.Keys; k++) {
      const TVX_Key &key = op.Keys[k];
      if (T < key.StartTime || T > key.EndTime) continue;
      const float value = KeyRamp(key.Ease, (float)key.StartTime, (float)key.EndTime, (float)key.StartValue,
                                  (float)key.MidValue, (float)key.EndValue, time);
      Perform({project, &op, value, (float)(value / 1000.0)});
    }
  }
}
