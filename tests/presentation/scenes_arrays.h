// Client arrays for the recording GL tables: glDrawArrays and glDrawElements
// (32-bit indices) are replayed as the immediate-mode calls it stands for (begin, then per vertex its texture coordinate
// when that array is on and its position, then end), so a scene drawn from arrays
// records the same stream as one sent vertex by vertex and the two compare value for
// value. Only float arrays of 2 (texture coordinates) and 3 (positions) components.
// Depends on: presentation GL table.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "presentation/gl.h"

namespace scarrays {

struct Array {
  bool enabled = false;
  GLint size = 0;
  GLsizei stride = 0;
  const float *data = nullptr;
  const float *At(GLint i) const {
    const size_t step = stride ? (size_t)stride / sizeof(float) : (size_t)size;
    return data + step * (size_t)i;
  }
};
struct State {
  Array vertex, texCoord;
  int draws = 0;
  bool unsupported = false;  // a type or array the replay does not know
};
inline State &Arrays() {
  static State s;
  return s;
}

inline Array *Which(GLenum array) {
  if (array == GL_VERTEX_ARRAY) return &Arrays().vertex;
  if (array == GL_TEXTURE_COORD_ARRAY) return &Arrays().texCoord;
  Arrays().unsupported = true;
  return nullptr;
}

template <void (*TexCoord)(GLfloat, GLfloat), void (*Vertex)(GLfloat, GLfloat, GLfloat)>
void Emit(GLint i) {
  const State &s = Arrays();
  if (s.texCoord.enabled) TexCoord(s.texCoord.At(i)[0], s.texCoord.At(i)[1]);
  const float *v = s.vertex.At(i);
  Vertex(v[0], v[1], v[2]);
}

// Begin, TexCoord, Vertex and End are the recorder's own glBegin, glTexCoord2f,
// glVertex3f and glEnd.
template <void (*Begin)(GLenum), void (*TexCoord)(GLfloat, GLfloat), void (*Vertex)(GLfloat, GLfloat, GLfloat),
          void (*End)()>
void Install() {
  Arrays() = {};
  pgl::glEnableClientState = [](GLenum a) {
    if (Array *x = Which(a)) x->enabled = true;
  };
  pgl::glDisableClientState = [](GLenum a) {
    if (Array *x = Which(a)) x->enabled = false;
  };
  pgl::glVertexPointer = [](GLint size, GLenum type, GLsizei stride, const void *p) {
    if (type != GL_FLOAT || size != 3) Arrays().unsupported = true;
    Arrays().vertex = {Arrays().vertex.enabled, size, stride, (const float *)p};
  };
  pgl::glTexCoordPointer = [](GLint size, GLenum type, GLsizei stride, const void *p) {
    if (type != GL_FLOAT || size != 2) Arrays().unsupported = true;
    Arrays().texCoord = {Arrays().texCoord.enabled, size, stride, (const float *)p};
  };
  pgl::glDrawArrays = [](GLenum mode, GLint first, GLsizei count) {
    Arrays().draws++;
    if (!Arrays().vertex.enabled) return;  // nothing is drawn without positions
    Begin(mode);
    for (GLint i = first; i < first + count; i++) Emit<TexCoord, Vertex>(i);
    End();
  };
  pgl::glDrawElements = [](GLenum mode, GLsizei count, GLenum type, const void *indices) {
    Arrays().draws++;
    if (type != GL_UNSIGNED_INT) Arrays().unsupported = true;
    if (!Arrays().vertex.enabled || type != GL_UNSIGNED_INT) return;
    Begin(mode);
    for (GLsizei i = 0; i < count; i++) Emit<TexCoord, Vertex>((GLint)((const GLuint *)indices)[i]);
    End();
  };
}

// A recorded stream read call by call, each call with the colour current at it and
// the colour calls themselves left out. Comparing such streams in place of the raw
// calls lets a colour call move: GL only cares which colour each vertex and each later
// call sees (glBegin itself takes none). The stream is read where it lies: a frame of
// close to a million calls is not copied.
template <class Call, class Op>
struct ColouredCalls {
  const std::vector<Call> &calls;
  Op colourOp;
  size_t next = 0;
  double colour[3] = {-1, -1, -1};
  // The next call that is not a colour, or null at the end.
  const Call *Next() {
    for (; next < calls.size() && calls[next].op == colourOp; next++)
      std::copy(calls[next].a, calls[next].a + 3, colour);
    return next < calls.size() ? &calls[next++] : nullptr;
  }
};
// Positions in the colourless streams at which two recordings differ, at most limit of them.
template <class Call, class Op>
std::vector<size_t> Differences(const std::vector<Call> &a, const std::vector<Call> &b, Op colourOp, Op beginOp,
                                size_t limit = 5) {
  ColouredCalls<Call, Op> x{a, colourOp}, y{b, colourOp};
  std::vector<size_t> out;
  for (size_t i = 0; out.size() < limit; i++) {
    const Call *p = x.Next(), *q = y.Next();
    if (!p && !q) break;
    const bool same = p && q && p->op == q->op && std::equal(p->a, p->a + 9, q->a) &&
                      (p->op == beginOp || std::equal(x.colour, x.colour + 3, y.colour));
    if (!same) out.push_back(i);
  }
  return out;
}
// The length of a recording's colourless stream.
template <class Call, class Op>
size_t Colourless(const std::vector<Call> &calls, Op colourOp) {
  return (size_t)std::count_if(calls.begin(), calls.end(), [&](const Call &c) { return c.op != colourOp; });
}

}  // namespace scarrays
