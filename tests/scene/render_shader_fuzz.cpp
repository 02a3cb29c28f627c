// libFuzzer harness of the ARB shader program loader: the input is cut into a vertex
// and a fragment source (a little-endian 16-bit length, then the two files). Whatever
// the files hold, the GL entries get zero-ended sources within the loader's limit,
// or none at all, and the info-log buffer is never overrun.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/main.h"
#include "presentation/gl.h"
#include "scene/shader.h"
#include "tests/common/fuzz_util.h"

namespace {

int g_sources;
size_t g_infoLength;  // what the stub driver writes into an info log

void InstallGl() {
  pgl::glCreateProgramObjectARB = []() -> GLhandleARB { return 1; };
  pgl::glCreateShaderObjectARB = [](GLenum type) -> GLhandleARB { return type == GL_VERTEX_SHADER_ARB ? 2 : 3; };
  pgl::glShaderSourceARB = [](GLhandleARB, GLsizei count, const GLcharARB **sources, const GLint *lengths) {
    fuzz::Expect(count == 1 && sources && sources[0] && !lengths, "one zero-ended source");
    fuzz::Expect(std::strlen(sources[0]) <= kShaderSourceMax, "source within the limit");
    g_sources++;
  };
  pgl::glCompileShaderARB = [](GLhandleARB) {};
  pgl::glAttachObjectARB = [](GLhandleARB, GLhandleARB) {};
  pgl::glLinkProgramARB = [](GLhandleARB) {};
  pgl::glGetInfoLogARB = [](GLhandleARB, GLsizei max, GLsizei *length, GLcharARB *log) {
    const size_t n = g_infoLength < (size_t)max ? g_infoLength : (size_t)max - 1;
    std::memset(log, 'w', n);
    log[n] = 0;
    *length = (GLsizei)n;
  };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool up = false;
  if (!up) {
    fuzz::Expect(SYS_BaseInit(nullptr, 0, nullptr, nullptr) == 0, "framework start");
    InstallGl();
    up = true;
  }
  if (size < 3) return 0;
  g_infoLength = data[0] % 4 == 0 ? 0 : data[0] * 17u;
  const size_t vertexSize = std::min<size_t>(data[1] | data[2] << 8, size - 3);
  if (!fuzz::WriteInput("fuzz.vert", data + 3, vertexSize) ||
      !fuzz::WriteInput("fuzz.frag", data + 3 + vertexSize, size - 3 - vertexSize))
    return 0;
  fuzz::GivesBackWhatItTakes([&] {
    int32_t vertex = -1, fragment = -1, program = -1;
    g_sources = 0;
    ShaderLoad(&vertex, &fragment, &program, "fuzz.vert", "fuzz.frag");
    fuzz::Expect(program == 1 && vertex == 2 && fragment == 3, "the handles are returned");
    fuzz::Expect(g_sources == 0 || g_sources == 2, "both sources or neither");
  });
  return 0;
}
