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

// A recorded call with the colour current at it. Comparing these lists in place of
// the raw calls lets a colour call move: GL only cares which colour each vertex and
// each later call sees (glBegin itself takes none).
template <class Call>
struct Seen {
  Call call;
  double colour[3];
  bool operator==(const Seen &o) const {
    return call.op == o.call.op && std::equal(call.a, call.a + 9, o.call.a) &&
           std::equal(colour, colour + 3, o.colour);
  }
};
template <class Call, class Op>
std::vector<Seen<Call>> SeenCalls(const std::vector<Call> &calls, Op colourOp, Op beginOp) {
  std::vector<Seen<Call>> out;
  double colour[3] = {-1, -1, -1};
  for (const Call &c : calls) {
    if (c.op == colourOp) {
      std::copy(c.a, c.a + 3, colour);
      continue;
    }
    Seen<Call> s{c, {}};
    if (c.op != beginOp) std::copy(colour, colour + 3, s.colour);
    out.push_back(s);
  }
  return out;
}
// Indices at which two such lists differ, at most limit of them.
template <class Call>
std::vector<size_t> Differences(const std::vector<Seen<Call>> &a, const std::vector<Seen<Call>> &b, size_t limit = 5) {
  std::vector<size_t> out;
  for (size_t i = 0; i < std::max(a.size(), b.size()) && out.size() < limit; i++)
    if (i >= a.size() || i >= b.size() || !(a[i] == b[i])) out.push_back(i);
  return out;
}

}  // namespace scarrays
