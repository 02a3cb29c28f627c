// A recording GL table for the scene tests: the entries that the scenes, the glow and
// the IFE layers call append one compact record each (the cube cloud sends 786,432
// vertices a frame, so records are plain values, no strings).
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "presentation/gl.h"
#include "presentation/ife.h"
#include "tests/presentation/scenes_arrays.h"

namespace sctest {

enum Op : uint8_t {
  kBegin, kEnd, kVertex3f, kVertex3fv, kNormal3fv, kVertex2f, kTexCoord2f, kColor3f, kColor4f, kTranslatef,
  kRotatef, kEnable, kDisable, kBlendFunc, kBindTexture, kMatrixMode, kLoadIdentity, kLineWidth, kTexParameteri,
  kTexImage2D, kGenTextures, kCopyTexImage2D, kPerspective, kLookAt, kOrtho2D, kViewport, kOpCount
};

struct Call {
  Op op;
  double a[9];
};

inline std::vector<Call> &Calls() {
  static std::vector<Call> calls;
  return calls;
}

inline void Record(Op op, std::initializer_list<double> args) {
  Call c{op, {}};
  int i = 0;
  for (double v : args) c.a[i++] = v;
  Calls().push_back(c);
}

constexpr GLuint kGeneratedTexture = 77;

inline std::vector<Call> Only(Op op) {
  std::vector<Call> out;
  for (const Call &c : Calls())
    if (c.op == op) out.push_back(c);
  return out;
}
inline size_t Count(Op op) {
  size_t n = 0;
  for (const Call &c : Calls()) n += c.op == op;
  return n;
}
// Index of the first call of op at or after from; Calls().size() when none.
inline size_t Find(Op op, size_t from = 0) {
  const std::vector<Call> &calls = Calls();
  while (from < calls.size() && calls[from].op != op) from++;
  return from;
}

inline void RecBegin(GLenum m) { Record(kBegin, {(double)m}); }
inline void RecEnd() { Record(kEnd, {}); }
inline void RecTexCoord2f(GLfloat s, GLfloat t) { Record(kTexCoord2f, {s, t}); }
inline void RecVertex3f(GLfloat x, GLfloat y, GLfloat z) { Record(kVertex3f, {x, y, z}); }

inline void Install() {
  Calls().clear();
  Calls().reserve(1 << 20);
  pgl::glBegin = RecBegin;
  pgl::glEnd = RecEnd;
  pgl::glVertex3f = RecVertex3f;
  pgl::glVertex3fv = [](const GLfloat *v) { Record(kVertex3fv, {v[0], v[1], v[2]}); };
  pgl::glNormal3fv = [](const GLfloat *v) { Record(kNormal3fv, {v[0], v[1], v[2]}); };
  pgl::glVertex2f = [](GLfloat x, GLfloat y) { Record(kVertex2f, {x, y}); };
  pgl::glTexCoord2f = RecTexCoord2f;
  // Draws from client arrays record as the vertex calls they replace.
  scarrays::Install<RecBegin, RecTexCoord2f, RecVertex3f, RecEnd>();
  pgl::glColor3f = [](GLfloat r, GLfloat g, GLfloat b) { Record(kColor3f, {r, g, b}); };
  pgl::glColor4f = [](GLfloat r, GLfloat g, GLfloat b, GLfloat a) { Record(kColor4f, {r, g, b, a}); };
  pgl::glTranslatef = [](GLfloat x, GLfloat y, GLfloat z) { Record(kTranslatef, {x, y, z}); };
  pgl::glRotatef = [](GLfloat a, GLfloat x, GLfloat y, GLfloat z) { Record(kRotatef, {a, x, y, z}); };
  pgl::glEnable = [](GLenum c) { Record(kEnable, {(double)c}); };
  pgl::glDisable = [](GLenum c) { Record(kDisable, {(double)c}); };
  pgl::glBlendFunc = [](GLenum s, GLenum d) { Record(kBlendFunc, {(double)s, (double)d}); };
  pgl::glBindTexture = [](GLenum t, GLuint id) { Record(kBindTexture, {(double)t, (double)id}); };
  pgl::glMatrixMode = [](GLenum m) { Record(kMatrixMode, {(double)m}); };
  pgl::glLoadIdentity = [] { Record(kLoadIdentity, {}); };
  pgl::glLineWidth = [](GLfloat w) { Record(kLineWidth, {w}); };
  pgl::glTexParameteri = [](GLenum t, GLenum p, GLint v) { Record(kTexParameteri, {(double)t, (double)p, (double)v}); };
  pgl::glTexImage2D = [](GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border,
                         GLenum format, GLenum type, const void *) {
    Record(kTexImage2D, {(double)target, (double)level, (double)internal, (double)w, (double)h, (double)border,
                         (double)format, (double)type});
  };
  pgl::glGenTextures = [](GLsizei n, GLuint *ids) {
    Record(kGenTextures, {(double)n});
    for (GLsizei i = 0; i < n; i++) ids[i] = kGeneratedTexture + (GLuint)i;
  };
  pgl::glCopyTexImage2D = [](GLenum target, GLint level, GLenum internal, GLint x, GLint y, GLsizei w, GLsizei h,
                             GLint border) {
    Record(kCopyTexImage2D,
           {(double)target, (double)level, (double)internal, (double)x, (double)y, (double)w, (double)h, (double)border});
  };
  pgl::gluPerspective = [](GLdouble f, GLdouble a, GLdouble n, GLdouble z) { Record(kPerspective, {f, a, n, z}); };
  pgl::gluLookAt = [](GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz, GLdouble ux,
                      GLdouble uy, GLdouble uz) { Record(kLookAt, {ex, ey, ez, cx, cy, cz, ux, uy, uz}); };
  pgl::gluOrtho2D = [](GLdouble l, GLdouble r, GLdouble b, GLdouble t) { Record(kOrtho2D, {l, r, b, t}); };
  pgl::glViewport = [](GLint x, GLint y, GLsizei w, GLsizei h) { Record(kViewport, {(double)x, (double)y, (double)w, (double)h}); };
}

// Stand-ins for the two blur effects: one "BUF0.JPG" layer each whose x follows the
// time parameter (x = t) and whose y tells them apart (1 vertical, 2 horizontal), so
// the recorded glTranslatef calls show which blur was drawn at which time.
struct ProbeBlurs {
  ife_keys keys[2][2];
  ife_layer layers[2] = {};
  explicit ProbeBlurs(int32_t texture) {
    for (int b = 0; b < 2; b++) {
      keys[b][0] = {0, 0, (float)(b + 1), 0, 0, 1, 1, 0, 0, 0, 0};
      keys[b][1] = {1000, 1000, (float)(b + 1), 0, 0, 1, 1, 0, 0, 0, 0};
      layers[b].textureName = "BUF0.JPG";
      layers[b].glTexture = texture;
      layers[b].keyCount = 2;
      layers[b].blend = 1;
      layers[b].keys = keys[b];
    }
    IfeVBlurFx = {1, 0, &layers[0]};
    IfeHBlurFx = {1, 0, &layers[1]};
  }
  ~ProbeBlurs() {
    IfeVBlurFx = {};
    IfeHBlurFx = {};
  }
};

// The sequence of screen copies ('C') and blurs ('V' at t, 'H' at t) from index from.
struct GlowStep {
  char kind;
  double t;
  bool operator==(const GlowStep &o) const { return kind == o.kind && t == o.t; }
};
inline std::vector<GlowStep> GlowSteps(size_t from = 0) {
  std::vector<GlowStep> steps;
  const std::vector<Call> &calls = Calls();
  for (size_t i = from; i < calls.size(); i++) {
    if (calls[i].op == kCopyTexImage2D) steps.push_back({'C', 0});
    if (calls[i].op == kTranslatef && (calls[i].a[1] == 1 || calls[i].a[1] == 2))
      steps.push_back({calls[i].a[1] == 1 ? 'V' : 'H', calls[i].a[0]});
  }
  return steps;
}

// Deterministic stand-ins for the procedural tables: entries in [-1, 1) (directions of
// length 16) from a small generator, and ShuffledIndices a fixed permutation.
inline uint32_t NextRandom(uint32_t &state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

}  // namespace sctest
