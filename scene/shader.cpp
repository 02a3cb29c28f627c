// ARB shader program loader of the scene engine.
//
// Any non-empty info log counts as a failure (drivers put warnings there too), which
// is what the messages report; the log text itself is not written. A source that does
// not fit the 65,535-byte buffer, or a file that cannot be read, is refused with a
// log line and leaves the shader without source.
// Depends on: file layer, bindings (log, tracked memory), GL table.
#include "scene/shader.h"

#include <cmath>

#include "base/file.h"
#include "presentation/bindings.h"
#include "presentation/gl.h"

namespace {

enum : int32_t { kInfoLogSize = 2048 };

char g_vertex_source[kShaderSourceMax + 1];
char g_fragment_source[kShaderSourceMax + 1];

// Reads the whole file into buffer and closes it with a zero byte; false when it
// cannot be opened or read or is too long (logged).
bool ReadSource(const ShortString &name, char *buffer) {
  buffer[0] = 0;
  const int32_t size = SYS_FileSize(name.c_str());
  if (size > kShaderSourceMax) {
    PasLogLn(ShortString(" - shader source too long: ") + name);
    return false;
  }
  SYS_File_p file = SYS_FileOpen(name.c_str(), 0);
  if (!file || size < 0) {
    if (file) SYS_FileClose(file);
    PasLogLn(ShortString(" - unable to read shader file ") + name);
    return false;
  }
  const int32_t got = SYS_FileRead(file, buffer, size);
  SYS_FileClose(file);
  if (got != size) {
    PasLogLn(ShortString(" - unable to read shader file ") + name);
    buffer[0] = 0;
    return false;
  }
  buffer[size] = 0;
  return true;
}

bool Compile(GLhandleARB shader, const char *source, char *log, const char *failure) {
  const GLcharARB *sources[1] = {source};
  glShaderSourceARB(shader, 1, sources, nullptr);
  glCompileShaderARB(shader);
  GLsizei length = 0;
  glGetInfoLogARB(shader, kInfoLogSize, &length, log);
  if (length > 0) PasLogLn(failure);
  return length <= 0;
}

bool ShaderEntries() {
  return glCreateProgramObjectARB && glCreateShaderObjectARB && glShaderSourceARB && glCompileShaderARB &&
         glGetInfoLogARB && glAttachObjectARB && glLinkProgramARB;
}

}  // namespace

void ShaderLoad(int32_t *vertexShader, int32_t *fragmentShader, int32_t *program, const ShortString &vertexFile,
                const ShortString &fragmentFile) {
  ShortString line = " - loading ";
  line += vertexFile;
  line += " and ";
  line += fragmentFile;
  line += " shader.";
  PasLogLn(line);
  if (!ShaderEntries()) {
    PasLogLn(" - shader objects are not available.");
    *vertexShader = *fragmentShader = *program = 0;
    return;
  }
  void *log = PasMemGet(kInfoLogSize, "pchar");
  if (!log) {
    PasLogLn(" - no memory for the shader info log.");
    *vertexShader = *fragmentShader = *program = 0;
    return;
  }
  const GLhandleARB p = glCreateProgramObjectARB();
  const GLhandleARB v = glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
  const GLhandleARB f = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
  *program = (int32_t)p;
  *vertexShader = (int32_t)v;
  *fragmentShader = (int32_t)f;
  const bool fragmentRead = ReadSource(fragmentFile, g_fragment_source);
  const bool vertexRead = ReadSource(vertexFile, g_vertex_source);
  if (fragmentRead && vertexRead) {
    char *text = static_cast<char *>(log);
    Compile(v, g_vertex_source, text, " - unable to compile vertex shader.");
    Compile(f, g_fragment_source, text, " - unable to compile pixel shader.");
    glAttachObjectARB(p, v);
    glAttachObjectARB(p, f);
    glLinkProgramARB(p);
    GLsizei length = 0;
    glGetInfoLogARB(p, kInfoLogSize, &length, text);
    if (length > 0) PasLogLn(" - unable to link shader program.");
  }
  PasMemFree(&log);
}

void RotatePointRad(float *rx, float *ry, float *rz, float x, float y, float z, float xAngle, float yAngle) {
  const double sa = std::sin((double)yAngle), ca = std::cos((double)yAngle);
  const double sb = std::sin((double)xAngle), cb = std::cos((double)xAngle);
  *rx = (float)(ca * x + sa * z);
  *ry = (float)(sb * sa * x + cb * y - sb * ca * z);
  *rz = (float)(-cb * sa * x + sb * y + cb * ca * z);
}
