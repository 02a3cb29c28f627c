// A recording GL table for the particle, kaleidoscope, greetings and overlay tests,
// and for whole frames of any scene: each entry the scenes, the glow, the IFE layers
// and the frame call appends one plain record (a particle frame sends over half a
// million calls, a cube cloud frame close to a million). glReadPixels copies a test
// image, glGetFloatv answers a chosen anisotropy, glGetError replays a list, and the
// last glTexImage2D keeps its pixels.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <ostream>
#include <vector>

#include "presentation/gl.h"
#include "presentation/ife.h"
#include "tests/presentation/scenes_arrays.h"
#include "presentation/procedural.h"

namespace s2test {

enum Op : uint8_t {
  kBegin, kEnd, kVertex2f, kVertex3f, kNormal3f, kTexCoord2f, kColor3f, kColor4f, kTranslatef, kRotatef, kEnable,
  kDisable, kBlendFunc, kBindTexture, kMatrixMode, kLoadIdentity, kTexParameteri, kTexParameterf, kTexImage2D,
  kGenTextures, kCopyTexImage2D, kViewport, kClear, kReadPixels, kGetFloatv, kPerspective, kLookAt, kOrtho2D,
  kVertex3fv, kNormal3fv, kLineWidth, kRasterPos3f, kScissor, kScalef,
};

struct Call {
  Op op;
  double a[9];
};

struct Recorder {
  std::vector<Call> calls;
  const uint8_t *readSource = nullptr;  // what glReadPixels delivers (w * h * 3 bytes), or zeros
  float maxAnisotropy = 8.0f;
  std::vector<GLenum> errors;  // glGetError answers, then GL_NO_ERROR
  std::vector<uint8_t> texImage;  // pixels of the last glTexImage2D with data
  const char *renderer = "Test Renderer";  // glGetString(GL_RENDERER)
};

inline Recorder &Rec() {
  static Recorder r;
  return r;
}

inline void Record(Op op, std::initializer_list<double> args) {
  Call c{op, {}};
  int i = 0;
  for (double v : args) c.a[i++] = v;
  Rec().calls.push_back(c);
}

constexpr GLuint kGeneratedTexture = 91;

inline const std::vector<Call> &Calls() { return Rec().calls; }
inline std::vector<Call> Only(Op op, size_t from = 0, size_t to = SIZE_MAX) {
  std::vector<Call> out;
  for (size_t i = from; i < Calls().size() && i < to; i++)
    if (Calls()[i].op == op) out.push_back(Calls()[i]);
  return out;
}
inline size_t Count(Op op, size_t from = 0, size_t to = SIZE_MAX) { return Only(op, from, to).size(); }
// Index of the first call of op at or after from; Calls().size() when none.
inline size_t Find(Op op, size_t from = 0) {
  while (from < Calls().size() && Calls()[from].op != op) from++;
  return from;
}
// Index of the first call of op with first argument a0 at or after from.
inline size_t Find(Op op, double a0, size_t from) {
  while (from < Calls().size() && !(Calls()[from].op == op && Calls()[from].a[0] == a0)) from++;
  return from;
}

inline void RecBegin(GLenum m) { Record(kBegin, {(double)m}); }
inline void RecEnd() { Record(kEnd, {}); }
inline void RecTexCoord2f(GLfloat s, GLfloat t) { Record(kTexCoord2f, {s, t}); }
inline void RecVertex3f(GLfloat x, GLfloat y, GLfloat z) { Record(kVertex3f, {x, y, z}); }

inline void Install() {
  Recorder &r = Rec();
  r.calls.clear();
  r.calls.reserve(1 << 20);
  r.errors.clear();
  pgl::glBegin = RecBegin;
  pgl::glEnd = RecEnd;
  pgl::glVertex2f = [](GLfloat x, GLfloat y) { Record(kVertex2f, {x, y}); };
  pgl::glVertex3f = RecVertex3f;
  pgl::glNormal3f = [](GLfloat x, GLfloat y, GLfloat z) { Record(kNormal3f, {x, y, z}); };
  pgl::glVertex3fv = [](const GLfloat *v) { Record(kVertex3fv, {v[0], v[1], v[2]}); };
  pgl::glNormal3fv = [](const GLfloat *v) { Record(kNormal3fv, {v[0], v[1], v[2]}); };
  pgl::glLineWidth = [](GLfloat w) { Record(kLineWidth, {w}); };
  pgl::glRasterPos3f = [](GLfloat x, GLfloat y, GLfloat z) { Record(kRasterPos3f, {x, y, z}); };
  pgl::glTexCoord2f = RecTexCoord2f;
  // Draws from client arrays record as the vertex calls they replace.
  scarrays::Install<RecBegin, RecTexCoord2f, RecVertex3f, RecEnd>();
  pgl::glColor3f = [](GLfloat r, GLfloat g, GLfloat b) { Record(kColor3f, {r, g, b}); };
  pgl::glColor4f = [](GLfloat r, GLfloat g, GLfloat b, GLfloat a) { Record(kColor4f, {r, g, b, a}); };
  pgl::glTranslatef = [](GLfloat x, GLfloat y, GLfloat z) { Record(kTranslatef, {x, y, z}); };
  pgl::glRotatef = [](GLfloat a, GLfloat x, GLfloat y, GLfloat z) { Record(kRotatef, {a, x, y, z}); };
  pgl::glScalef = [](GLfloat x, GLfloat y, GLfloat z) { Record(kScalef, {x, y, z}); };
  pgl::glEnable = [](GLenum c) { Record(kEnable, {(double)c}); };
  pgl::glDisable = [](GLenum c) { Record(kDisable, {(double)c}); };
  pgl::glBlendFunc = [](GLenum s, GLenum d) { Record(kBlendFunc, {(double)s, (double)d}); };
  pgl::glBindTexture = [](GLenum t, GLuint id) { Record(kBindTexture, {(double)t, (double)id}); };
  pgl::glMatrixMode = [](GLenum m) { Record(kMatrixMode, {(double)m}); };
  pgl::glLoadIdentity = [] { Record(kLoadIdentity, {}); };
  pgl::glTexParameteri = [](GLenum t, GLenum p, GLint v) { Record(kTexParameteri, {(double)t, (double)p, (double)v}); };
  pgl::glTexParameterf = [](GLenum t, GLenum p, GLfloat v) { Record(kTexParameterf, {(double)t, (double)p, v}); };
  pgl::glTexImage2D = [](GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border,
                         GLenum format, GLenum type, const void *pixels) {
    Record(kTexImage2D, {(double)target, (double)level, (double)internal, (double)w, (double)h, (double)border,
                         (double)format, (double)type});
    if (pixels && w > 0 && h > 0 && format == GL_LUMINANCE && type == GL_UNSIGNED_BYTE) {
      const uint8_t *p = (const uint8_t *)pixels;
      Rec().texImage.assign(p, p + (size_t)w * h);
    }
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
  pgl::glViewport = [](GLint x, GLint y, GLsizei w, GLsizei h) {
    Record(kViewport, {(double)x, (double)y, (double)w, (double)h});
  };
  pgl::glClear = [](GLbitfield mask) { Record(kClear, {(double)mask}); };
  pgl::glScissor = [](GLint x, GLint y, GLsizei w, GLsizei h) {
    Record(kScissor, {(double)x, (double)y, (double)w, (double)h});
  };
  pgl::glReadPixels = [](GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void *out) {
    Record(kReadPixels, {(double)x, (double)y, (double)w, (double)h, (double)format, (double)type});
    const size_t bytes = (size_t)w * h * 3;
    if (Rec().readSource)
      std::memcpy(out, Rec().readSource, bytes);
    else
      std::memset(out, 0, bytes);
  };
  pgl::glGetFloatv = [](GLenum name, GLfloat *out) {
    Record(kGetFloatv, {(double)name});
    *out = name == GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT ? Rec().maxAnisotropy : 0.0f;
  };
  pgl::glGetString = [](GLenum name) -> const GLubyte * {
    return (const GLubyte *)(name == GL_RENDERER ? Rec().renderer : "");
  };
  pgl::glGetError = []() -> GLenum {
    std::vector<GLenum> &e = Rec().errors;
    if (e.empty()) return GL_NO_ERROR;
    GLenum first = e.front();
    e.erase(e.begin());
    return first;
  };
  pgl::gluErrorString = [](GLenum error) -> const GLubyte * {
    return (const GLubyte *)(error == GL_INVALID_ENUM ? "invalid enumerant" : "out of memory");
  };
  pgl::gluPerspective = [](GLdouble f, GLdouble a, GLdouble n, GLdouble z) { Record(kPerspective, {f, a, n, z}); };
  pgl::gluLookAt = [](GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz, GLdouble ux,
                      GLdouble uy, GLdouble uz) { Record(kLookAt, {ex, ey, ez, cx, cy, cz, ux, uy, uz}); };
  pgl::gluOrtho2D = [](GLdouble l, GLdouble r, GLdouble b, GLdouble t) { Record(kOrtho2D, {l, r, b, t}); };
}

// Stand-ins for the show's effects: one layer each whose x follows the time parameter
// (x = t) and whose y names the effect, so each recorded glTranslatef tells which
// effect was drawn at which time.
enum ProbeId : int {
  kProbeVBlur = 1, kProbeHBlur, kProbeRotateBkg, kProbeFeedback, kProbeFadeout, kProbeCredits, kProbeEndpart
};
struct ProbeEffects {
  static constexpr int kCount = 7;
  ife_keys keys[kCount][2];
  ife_layer layers[kCount] = {};
  ife_interface *targets[kCount] = {&IfeVBlurFx,    &IfeHBlurFx,   &IfeRotateBkgFx, &IfeFeedbackFx,
                                    &IfeFadeoutFx, &IfeCreditsFx, &IfeEndpartFx};
  explicit ProbeEffects(int32_t texture) {
    for (int e = 0; e < kCount; e++) {
      // x = t within 0..1000; outside, the layer holds its end keys.
      keys[e][0] = {0, 0, (float)(e + 1), 0, 0, 1, 1, 0, 0, 0, 0};
      keys[e][1] = {1000, 1000, (float)(e + 1), 0, 0, 1, 1, 0, 0, 0, 0};
      layers[e].textureName = "BUF0.JPG";
      layers[e].glTexture = texture;
      layers[e].keyCount = 2;
      layers[e].blend = 1;
      layers[e].keys = keys[e];
      *targets[e] = {1, 0, &layers[e]};
    }
  }
  ~ProbeEffects() {
    for (ife_interface *t : targets) *t = {};
  }
};

// Screen copies ('C') and probe effects (their id and time) from index from on.
struct Step {
  int kind;  // 0: copy, else the probe id
  double t;
  bool operator==(const Step &o) const { return kind == o.kind && (kind == 0 || std::abs(t - o.t) < 1e-3); }
  friend void PrintTo(const Step &s, std::ostream *os) {
    if (s.kind)
      *os << "effect " << s.kind << " at " << s.t;
    else
      *os << "copy";
  }
};
inline std::vector<Step> Steps(size_t from = 0, size_t to = SIZE_MAX) {
  std::vector<Step> steps;
  for (size_t i = from; i < Calls().size() && i < to; i++) {
    const Call &c = Calls()[i];
    if (c.op == kCopyTexImage2D) steps.push_back({0, 0});
    if (c.op == kTranslatef && c.a[1] >= 1 && c.a[1] <= ProbeEffects::kCount && c.a[1] == (int)c.a[1])
      steps.push_back({(int)c.a[1], c.a[0]});
  }
  return steps;
}

// Paths laid out like the real tables (count, points then tangents in one block),
// owned by the fixture that builds them.
// The paths it replaces are put back when it goes: the tables are built once a process,
// so a later test (or a repeated run) draws with them.
struct PathBlock {
  std::vector<TVector> memory;
  SplinePath *replaced;
  std::vector<SplinePath> saved;
  PathBlock(SplinePath *paths, int32_t count, int32_t points)
      : memory((size_t)count * 2 * points), replaced(paths), saved(paths, paths + count) {
    for (int32_t k = 0; k < count; k++) {
      paths[k].count = points;
      paths[k].points = memory.data() + (size_t)k * 2 * points;
      paths[k].tangents = paths[k].points + points;
    }
  }
  ~PathBlock() {
    for (SplinePath *p : {ImagePaths, AttractorPaths})
      for (int32_t k = 0; k < kPathCount; k++)
        if (p[k].points >= memory.data() && p[k].points < memory.data() + memory.size())
          p[k] = p == replaced && k < (int32_t)saved.size() ? saved[k] : SplinePath{};
  }
};

}  // namespace s2test
