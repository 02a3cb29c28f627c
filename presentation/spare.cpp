// Spare routines of the main program (see spare.h).
//
// The mesh loader reads all three files before it checks them, so the loading screen
// advances three steps whatever the files hold; the checks then guard what GL would
// otherwise read out of bounds: a normals file shorter than the vertex file (the upload
// takes vertexCount x 12 bytes from it) and face indices past the last vertex (the
// draw call would fetch them).
// Depends on: GL unit, cube faces, vectors, bindings, show (LoadingStep), base/file, base/log.
#include "presentation/spare.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

#include "base/log.h"
#include "presentation/bindings.h"
#include "presentation/cube.h"
#include "presentation/gl.h"
#include "presentation/pstring.h"
#include "presentation/show.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kE = 2.71828182845904523536;

// Error codes of the framework's table: bad argument, data shorter than it claims.
constexpr int32_t kErrBadArgument = 10;
constexpr int32_t kErrShortData = 1002;

int32_t Refuse(int32_t code, std::string_view tag, std::string_view what, std::string_view name) {
  errSetLastError(code);
  ShortString line(tag);
  line += what;
  line += name;
  PasLogLn(line);
  return -1;
}

void Light0(GLenum which, float v, float w) {
  const GLfloat value[4] = {v, v, v, w};
  glLightfv(GL_LIGHT0, which, value);
}

float Ease(float t, float length, int n) {
  if (length == 0) return 0;
  const float c = (float)((double)t / length);
  const float power = (float)std::pow((double)c, n);
  return (float)((double)length * power);
}

// A decimal number as the runtime's text-to-number conversion takes it: blanks
// around, sign, digits with at most one point, optional exponent. No hex, inf or nan.
bool ParseDecimal(std::string_view text, double *out) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !(text.front() == '.' || (text.front() >= '0' && text.front() <= '9'))) return false;
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  *out = negative ? -value : value;
  return true;
}

bool HasVertexBufferObjects(void) {
  if (!glGenBuffersARB || !glBindBufferARB || !glBufferDataARB || !glGetString) return false;
  const char *extensions = (const char *)glGetString(GL_EXTENSIONS);
  if (!extensions) return false;
  // A whole token, so a longer name that starts alike does not count.
  const std::string_view list(extensions), name("GL_ARB_vertex_buffer_object");
  for (size_t at = list.find(name); at != std::string_view::npos; at = list.find(name, at + 1)) {
    const size_t end = at + name.size();
    if ((at == 0 || list[at - 1] == ' ') && (end == list.size() || list[end] == ' ')) return true;
  }
  return false;
}

// The whole file in a new tracked block; one loading step after a successful read.
int32_t ReadMeshFile(const char *path, void **block, int32_t *size) {
  // In the show the error callback ends the run on a file that cannot be opened.
  SYS_File_p file = SYS_FileOpen(path, 0);
  if (!file) {
    const int32_t code = errGetLastError();
    return Refuse(code ? code : 1, "[mesh] ", "cannot open ", path);
  }
  const int32_t length = SYS_FileSize(path);
  int32_t code = 0;
  const char *what = nullptr;
  if (length < 0 || length > kMeshFileLimit) {
    code = kErrBadArgument, what = "size out of range: ";
  } else if (!(*block = PasMemGet(length > 0 ? length : 1, "MeshLoad"))) {
    code = 5, what = "out of memory: ";
  } else if (length > 0 && SYS_FileRead(file, *block, length) != length) {
    PasMemFree(block);
    code = kErrShortData, what = "short read: ";
  }
  SYS_FileClose(file);
  if (what) return Refuse(code, "[mesh] ", what, path);
  *size = length;
  MeshLoadingStep();
  return 0;
}

// Why the files cannot make a mesh, or null.
const char *MeshProblem(const uint32_t *faces, int32_t faceCount, int32_t vertexCount, int32_t normalBytes) {
  if (normalBytes / 12 < vertexCount) return "normals do not cover the vertices: ";
  for (int64_t i = 0; i < (int64_t)faceCount * 3; i++)
    if (faces[i] >= (uint32_t)vertexCount) return "face index past the last vertex: ";
  return nullptr;
}

}  // namespace

void SetLight0Colours(float ambient, float diffuse) {
  Light0(GL_AMBIENT, ambient, 1);
  Light0(GL_DIFFUSE, diffuse, 1);
}

void SetLight0(float ambient, float diffuse) {
  SetLight0Colours(ambient, diffuse);
  Light0(GL_SPECULAR, 0, 1);
}

void SetLight0At(float x, float y, float z, float ambient, float diffuse) {
  SetLight0(ambient, diffuse);
  const GLfloat position[4] = {x, y, z, 1};
  glLightfv(GL_LIGHT0, GL_POSITION, position);
}

float Interpolate(uint8_t mode, float a, float b, float f) {
  if (f < 0) f = 0;
  if (f > 1) f = 1;
  const double d = (double)b - a;
  switch (mode) {
    case 0: return (float)(a + d * f);
    case 1: return (float)(a + d * std::sin(f * kPi / 2));
    case 2: return (float)(a + d * (1 - std::sin(f * kPi / 2 + kPi / 2)));
    default: return a;
  }
}

void InterpolateVector(const TVector *a, const TVector *b, TVector *out, float f) {
  const TVector v = {Interpolate(0, a->x, b->x, f), Interpolate(0, a->y, b->y, f), Interpolate(0, a->z, b->z, f)};
  *out = v;
}

float EaseIn8(float t, float length) { return Ease(t, length, 8); }
float EaseIn3(float t, float length) { return Ease(t, length, 3); }
float EaseIn2(float t, float length) { return Ease(t, length, 2); }

float ExpCurve(float x) { return (float)((std::exp((double)x) - 1) / (kE - 1)); }

void DrawShadedCube(float front, float rest) {
  glBegin(GL_QUADS);
  for (int i = 0; i < 6; i++) {
    if (i == 0) glColor3f(front, front, front);
    if (i == 1) glColor3f(rest, rest, rest);
    const CubeFace &face = kCubeFaces[i];
    glNormal3f(face.normal[0], face.normal[1], face.normal[2]);
    for (const auto &c : face.corners) glVertex3f(c[0], c[1], c[2]);
  }
  glEnd();
}

int32_t ReadFloatLine(SYS_File_p file, float *value) {
  char line[512];
  if (!value) return Refuse(kErrBadArgument, "[read] ", "no value to store into", "");
  if (!SYS_FileGetStr(file, line, (int32_t)sizeof line)) return Refuse(kErrBadArgument, "[read] ", "no line to read", "");
  const size_t length = strnlen(line, sizeof line);
  if (length >= sizeof line - 1) {
    // A line that fills the buffer was cut: drop its rest too, or the next call would
    // take the tail for a number of its own.
    char rest[sizeof line];
    while (SYS_FileGetStr(file, rest, (int32_t)sizeof rest) && strnlen(rest, sizeof rest) >= sizeof rest - 1) {
    }
    return Refuse(kErrBadArgument, "[read] ", "line too long: ", std::string_view(line, 32));
  }
  double number;
  if (!ParseDecimal(std::string_view(line, length), &number) || std::fabs(number) > FLT_MAX)
    return Refuse(kErrBadArgument, "[read] ", "not a number: ", std::string_view(line, length));
  *value = (float)number;
  return 0;
}

float VectorDistance(const TVector *a, const TVector *b) {
  const double dx = (double)a->x - b->x, dy = (double)a->y - b->y, dz = (double)a->z - b->z;
  return (float)std::sqrt(dx * dx + dy * dy + dz * dz);
}

void CenterVertices(TVector *vertices, int32_t count) {
  if (!vertices || count <= 0) return;
  TVector lo = vertices[0], hi = vertices[0];
  for (int32_t i = 1; i < count; i++) {
    const TVector &v = vertices[i];
    if (v.x < lo.x) lo.x = v.x;
    if (v.x > hi.x) hi.x = v.x;
    if (v.y < lo.y) lo.y = v.y;
    if (v.y > hi.y) hi.y = v.y;
    if (v.z < lo.z) lo.z = v.z;
    if (v.z > hi.z) hi.z = v.z;
  }
  const TVector centre = {(float)(((double)hi.x + lo.x) / 2), (float)(((double)hi.y + lo.y) / 2),
                          (float)(((double)hi.z + lo.z) / 2)};
  for (int32_t i = 0; i < count; i++) {
    TVector &v = vertices[i];
    v = {(float)((double)v.x - centre.x), (float)((double)v.y - centre.y), (float)((double)v.z - centre.z)};
  }
}

void (*MeshLoadingStep)(void) = LoadingStep;

int32_t MeshLoad(MeshBuffers *mesh, std::string_view name) {
  if (!mesh) return Refuse(kErrBadArgument, "[mesh] ", "no mesh record", "");
  *mesh = {};
  if (name.empty() || name.size() > 255) return Refuse(kErrBadArgument, "[mesh] ", "bad mesh name: ", name);
  if (!HasVertexBufferObjects())
    return Refuse(11, "[mesh] ", "GL_ARB_vertex_buffer_object is missing for ", name);

  static constexpr const char *kSuffix[3] = {".face", ".vertex", ".vertexnormal"};
  void *blocks[3] = {};
  int32_t sizes[3] = {};
  // The file reader logs its own refusal and sets the last error.
  bool unread = false;
  for (int i = 0; i < 3 && !unread; i++) {
    char path[256 + 16];
    std::memcpy(path, name.data(), name.size());
    std::strcpy(path + name.size(), kSuffix[i]);
    unread = ReadMeshFile(path, &blocks[i], &sizes[i]) != 0;
  }
  auto release = [&blocks] {
    for (void *&block : blocks) PasMemFree(&block);
  };
  if (unread) return release(), -1;

  const int32_t faceCount = sizes[0] / 12, vertexCount = sizes[1] / 12;
  const char *problem = MeshProblem((const uint32_t *)blocks[0], faceCount, vertexCount, sizes[2]);
  int32_t code = kErrShortData;
  void *spare = nullptr;
  if (!problem && !(spare = PasMemGet(vertexCount > 0 ? vertexCount * 4 : 1, "MeshLoad")))
    problem = "out of memory: ", code = 5;
  if (problem) return release(), Refuse(code, "[mesh] ", problem, name);

  mesh->faces = (uint32_t *)blocks[0];
  mesh->vertices = (float *)blocks[1];
  mesh->normals = (float *)blocks[2];
  mesh->faceCount = faceCount;
  mesh->vertexCount = vertexCount;
  mesh->spare = spare;
  glGenBuffersARB(1, &mesh->vertexBuffer);
  glBindBufferARB(GL_ARRAY_BUFFER_ARB, mesh->vertexBuffer);
  glBufferDataARB(GL_ARRAY_BUFFER_ARB, (GLsizeiptrARB)vertexCount * 12, mesh->vertices, GL_STATIC_DRAW_ARB);
  glGenBuffersARB(1, &mesh->indexBuffer);
  glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, mesh->indexBuffer);
  glBufferDataARB(GL_ELEMENT_ARRAY_BUFFER_ARB, (GLsizeiptrARB)faceCount * 12, mesh->faces, GL_STATIC_DRAW_ARB);
  glGenBuffersARB(1, &mesh->normalBuffer);
  glBindBufferARB(GL_ARRAY_BUFFER_ARB, mesh->normalBuffer);
  glBufferDataARB(GL_ARRAY_BUFFER_ARB, (GLsizeiptrARB)vertexCount * 12, mesh->normals, GL_STATIC_DRAW_ARB);
  return 0;
}

void MeshDraw(const MeshBuffers *mesh) {
  // Without its buffers the pointers below would be client addresses near null.
  if (!mesh || !mesh->vertexBuffer || !mesh->normalBuffer || !mesh->indexBuffer) return;
  glEnableClientState(GL_VERTEX_ARRAY);
  glBindBufferARB(GL_ARRAY_BUFFER_ARB, mesh->vertexBuffer);
  glVertexPointer(3, GL_FLOAT, 12, nullptr);
  glEnableClientState(GL_NORMAL_ARRAY);
  glBindBufferARB(GL_ARRAY_BUFFER_ARB, mesh->normalBuffer);
  glNormalPointer(GL_FLOAT, 12, nullptr);
  glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, mesh->indexBuffer);
  glDrawElements(GL_TRIANGLES, mesh->faceCount * 3, GL_UNSIGNED_INT, nullptr);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
}

void MeshFree(MeshBuffers *mesh) {
  if (!mesh) return;
  const GLuint buffers[3] = {mesh->indexBuffer, mesh->normalBuffer, mesh->vertexBuffer};
  if (glDeleteBuffersARB)
    for (GLuint id : buffers)
      if (id) glDeleteBuffersARB(1, &id);
  void *blocks[4] = {mesh->faces, mesh->vertices, mesh->normals, mesh->spare};
  for (void *&block : blocks) PasMemFree(&block);
  *mesh = {};
}
