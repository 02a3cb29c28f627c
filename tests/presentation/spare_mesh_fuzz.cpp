// libFuzzer harness of the mesh loader: the input is cut into the three mesh files
// (two little-endian 16-bit lengths, then the face, vertex and normal bytes). A mesh
// that loads hands GL buffers of exactly its counts, with every face index naming a
// vertex; a refused one is all zero; either way every tracked block comes back. The
// number-per-line reader reads the vertex file as text.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/file.h"
#include "base/main.h"
#include "presentation/gl.h"
#include "presentation/spare.h"
#include "tests/common/fuzz_util.h"

namespace {

struct Bound {
  GLuint array = 0, element = 0;
  long long arrayBytes = -1, elementBytes = -1;
} g_bound;
GLuint g_next = 1;

void InstallGl() {
  pgl::glGetString = [](GLenum name) -> const GLubyte * {
    return name == GL_EXTENSIONS ? (const GLubyte *)"GL_ARB_multitexture GL_ARB_vertex_buffer_object" : nullptr;
  };
  pgl::glGenBuffersARB = [](GLsizei n, GLuint *ids) {
    for (GLsizei i = 0; i < n; i++) ids[i] = g_next++;
  };
  pgl::glBindBufferARB = [](GLenum target, GLuint id) {
    (target == GL_ARRAY_BUFFER_ARB ? g_bound.array : g_bound.element) = id;
  };
  pgl::glBufferDataARB = [](GLenum target, GLsizeiptrARB size, const void *data, GLenum) {
    fuzz::Expect(size >= 0 && (size == 0 || data), "buffer data given");
    // Every byte is read, so a buffer shorter than its stated size is seen.
    uint32_t sum = 0;
    for (GLsizeiptrARB i = 0; i < size; i++) sum += ((const uint8_t *)data)[i];
    volatile uint32_t sink = sum;
    (void)sink;
    (target == GL_ARRAY_BUFFER_ARB ? g_bound.arrayBytes : g_bound.elementBytes) = size;
  };
  pgl::glDeleteBuffersARB = [](GLsizei, const GLuint *) {};
  pgl::glEnableClientState = [](GLenum) {};
  pgl::glDisableClientState = [](GLenum) {};
  pgl::glVertexPointer = [](GLint, GLenum, GLsizei, const void *) {};
  pgl::glNormalPointer = [](GLenum, GLsizei, const void *) {};
  pgl::glDrawElements = [](GLenum, GLsizei count, GLenum, const void *) {
    fuzz::Expect(count >= 0 && (long long)count * 4 <= g_bound.elementBytes, "indices within their buffer");
  };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool up = false;
  if (!up) {
    fuzz::Expect(SYS_BaseInit(nullptr, 0, nullptr, nullptr) == 0, "framework start");
    InstallGl();
    MeshLoadingStep = [] {};
    up = true;
  }
  if (size < 4) return 0;
  const size_t faces = std::min<size_t>(data[0] | data[1] << 8, size - 4);
  const size_t vertices = std::min<size_t>(data[2] | data[3] << 8, size - 4 - faces);
  const uint8_t *p = data + 4;
  if (!fuzz::WriteInput("fuzz.face", p, faces) || !fuzz::WriteInput("fuzz.vertex", p + faces, vertices) ||
      !fuzz::WriteInput("fuzz.vertexnormal", p + faces + vertices, size - 4 - faces - vertices))
    return 0;
  fuzz::GivesBackWhatItTakes([&] {
    MeshBuffers mesh;
    g_bound = {};
    if (MeshLoad(&mesh, "fuzz") == 0) {
      fuzz::Expect(mesh.faceCount == (int32_t)(faces / 12) && mesh.vertexCount == (int32_t)(vertices / 12),
                   "counts from the file sizes");
      for (int64_t i = 0; i < (int64_t)mesh.faceCount * 3; i++)
        fuzz::Expect(mesh.faces[i] < (uint32_t)mesh.vertexCount, "face indices name vertices");
      MeshDraw(&mesh);
    } else {
      fuzz::Expect(mesh.faces == nullptr && mesh.vertices == nullptr && mesh.faceCount == 0, "a refusal is empty");
    }
    MeshFree(&mesh);
    if (SYS_File_p f = SYS_FileOpen("fuzz.vertex", SYS_FILE_TEXT)) {
      float value = 0;
      for (int lines = 0; lines <= (int)vertices && ReadFloatLine(f, &value) == 0; lines++) {
      }
      SYS_FileClose(f);
    }
  });
  return 0;
}
