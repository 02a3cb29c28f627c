// A recording GL table for the effects tests: the entries the IFE layers and the
// scenes call are replaced by functions that append one call record each.
#pragma once

#include <string>
#include <vector>

#include "presentation/gl.h"

namespace fxtest {

struct Call {
  std::string name;
  std::vector<double> args;
};

inline std::vector<Call> &Calls() {
  static std::vector<Call> calls;
  return calls;
}

// What glGetFloatv(GL_CURRENT_RASTER_POSITION) answers.
inline float *RasterAnswer() {
  static float answer[4] = {256.0f, 256.0f, 0.0f, 1.0f};
  return answer;
}

inline void Record(const char *name, std::initializer_list<double> args) { Calls().push_back({name, args}); }

inline size_t Count(const std::string &name) {
  size_t n = 0;
  for (const Call &c : Calls()) n += c.name == name;
  return n;
}

inline std::vector<Call> Only(const std::string &name) {
  std::vector<Call> out;
  for (const Call &c : Calls())
    if (c.name == name) out.push_back(c);
  return out;
}

// Installs the recorders; every other entry keeps what it had (null without a context).
inline void InstallRecorder() {
  Calls().clear();
  pgl::glBegin = [](GLenum m) { Record("glBegin", {(double)m}); };
  pgl::glEnd = [] { Record("glEnd", {}); };
  pgl::glVertex2f = [](GLfloat x, GLfloat y) { Record("glVertex2f", {x, y}); };
  pgl::glVertex3f = [](GLfloat x, GLfloat y, GLfloat z) { Record("glVertex3f", {x, y, z}); };
  pgl::glTexCoord2f = [](GLfloat s, GLfloat t) { Record("glTexCoord2f", {s, t}); };
  pgl::glColor3f = [](GLfloat r, GLfloat g, GLfloat b) { Record("glColor3f", {r, g, b}); };
  pgl::glColor4f = [](GLfloat r, GLfloat g, GLfloat b, GLfloat a) { Record("glColor4f", {r, g, b, a}); };
  pgl::glTranslatef = [](GLfloat x, GLfloat y, GLfloat z) { Record("glTranslatef", {x, y, z}); };
  pgl::glRotatef = [](GLfloat a, GLfloat x, GLfloat y, GLfloat z) { Record("glRotatef", {a, x, y, z}); };
  pgl::glScalef = [](GLfloat x, GLfloat y, GLfloat z) { Record("glScalef", {x, y, z}); };
  pgl::glEnable = [](GLenum c) { Record("glEnable", {(double)c}); };
  pgl::glDisable = [](GLenum c) { Record("glDisable", {(double)c}); };
  pgl::glBlendFunc = [](GLenum s, GLenum d) { Record("glBlendFunc", {(double)s, (double)d}); };
  pgl::glBindTexture = [](GLenum t, GLuint id) { Record("glBindTexture", {(double)t, (double)id}); };
  pgl::glMatrixMode = [](GLenum m) { Record("glMatrixMode", {(double)m}); };
  pgl::glLoadIdentity = [] { Record("glLoadIdentity", {}); };
  pgl::glTexParameteri = [](GLenum t, GLenum p, GLint v) { Record("glTexParameteri", {(double)t, (double)p, (double)v}); };
  pgl::glViewport = [](GLint x, GLint y, GLsizei w, GLsizei h) { Record("glViewport", {(double)x, (double)y, (double)w, (double)h}); };
  pgl::glRasterPos3f = [](GLfloat x, GLfloat y, GLfloat z) { Record("glRasterPos3f", {x, y, z}); };
  pgl::glGetFloatv = [](GLenum p, GLfloat *v) {
    Record("glGetFloatv", {(double)p});
    if (p == GL_CURRENT_RASTER_POSITION)
      for (int i = 0; i < 4; i++) v[i] = RasterAnswer()[i];
  };
  pgl::gluOrtho2D = [](GLdouble l, GLdouble r, GLdouble b, GLdouble t) { Record("gluOrtho2D", {l, r, b, t}); };
  pgl::gluPerspective = [](GLdouble f, GLdouble a, GLdouble n, GLdouble z) { Record("gluPerspective", {f, a, n, z}); };
  pgl::gluLookAt = [](GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz, GLdouble ux,
                      GLdouble uy, GLdouble uz) { Record("gluLookAt", {ex, ey, ez, cx, cy, cz, ux, uy, uz}); };
}

}  // namespace fxtest
