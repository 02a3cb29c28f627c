// A recording GL table for the renderer and player tests: every entry the scene
// engine calls appends one call record; a few queries answer from test-set values.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/log.h"
#include "base/main.h"
#include "presentation/gl.h"

namespace rtest {

struct Call {
  std::string name;
  std::vector<double> args;
};

struct Answers {
  float raster[4] = {10.0f, 10.0f, 0.0f, 1.0f};
  float pixels[27] = {};                // glReadPixels (RGB float, 3 x 3)
  std::vector<GLuint> select;           // selection buffer written at glRenderMode(GL_RENDER)
  int32_t hits = 0;
  std::string infoLog[3];               // glGetInfoLogARB of handles 1 (program), 2, 3
  GLuint nextName = 100;                // texture and buffer names handed out
  std::vector<std::string> sources;     // glShaderSourceARB texts
  int32_t elementIndexCount = 0;        // glDrawElements client-memory index sum check
};

inline std::vector<Call> &Calls() {
  static std::vector<Call> calls;
  return calls;
}
inline Answers &Answer() {
  static Answers a;
  return a;
}
inline GLuint *&SelectBuffer() {
  static GLuint *p = nullptr;
  return p;
}

inline void Rec(const char *name, std::initializer_list<double> args) { Calls().push_back({name, args}); }

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

// Index of the first call named name with these leading arguments at or after from; -1.
inline long Find(const std::string &name, std::vector<double> args = {}, size_t from = 0) {
  for (size_t i = from; i < Calls().size(); i++) {
    const Call &c = Calls()[i];
    if (c.name != name || c.args.size() < args.size()) continue;
    bool same = true;
    for (size_t k = 0; k < args.size(); k++) same = same && c.args[k] == args[k];
    if (same) return (long)i;
  }
  return -1;
}

inline void Install() {
  Calls().clear();
  Answer() = Answers();
  using namespace pgl;
  pgl::glEnable = [](GLenum c) { Rec("glEnable", {(double)c}); };
  pgl::glDisable = [](GLenum c) { Rec("glDisable", {(double)c}); };
  pgl::glMatrixMode = [](GLenum m) { Rec("glMatrixMode", {(double)m}); };
  pgl::glLoadIdentity = [] { Rec("glLoadIdentity", {}); };
  pgl::glPushMatrix = [] { Rec("glPushMatrix", {}); };
  pgl::glPopMatrix = [] { Rec("glPopMatrix", {}); };
  pgl::glScalef = [](GLfloat x, GLfloat y, GLfloat z) { Rec("glScalef", {x, y, z}); };
  pgl::glTranslatef = [](GLfloat x, GLfloat y, GLfloat z) { Rec("glTranslatef", {x, y, z}); };
  pgl::glRotatef = [](GLfloat a, GLfloat x, GLfloat y, GLfloat z) { Rec("glRotatef", {a, x, y, z}); };
  pgl::gluPerspective = [](GLdouble f, GLdouble a, GLdouble n, GLdouble z) { Rec("gluPerspective", {f, a, n, z}); };
  pgl::gluLookAt = [](GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz, GLdouble ux,
                      GLdouble uy, GLdouble uz) { Rec("gluLookAt", {ex, ey, ez, cx, cy, cz, ux, uy, uz}); };
  pgl::gluPickMatrix = [](GLdouble x, GLdouble y, GLdouble w, GLdouble h, GLint *) { Rec("gluPickMatrix", {x, y, w, h}); };
  pgl::gluOrtho2D = [](GLdouble l, GLdouble r, GLdouble b, GLdouble t) { Rec("gluOrtho2D", {l, r, b, t}); };
  pgl::glClipPlane = [](GLenum p, const GLdouble *e) { Rec("glClipPlane", {(double)p, e[0], e[1], e[2], e[3]}); };
  pgl::glLightfv = [](GLenum l, GLenum p, const GLfloat *v) {
    Rec("glLightfv", {(double)l, (double)p, v[0], v[1], v[2], p == GL_SPOT_DIRECTION ? 0.0 : v[3]});
  };
  pgl::glLightf = [](GLenum l, GLenum p, GLfloat v) { Rec("glLightf", {(double)l, (double)p, v}); };
  pgl::glBlendFunc = [](GLenum s, GLenum d) { Rec("glBlendFunc", {(double)s, (double)d}); };
  pgl::glDepthMask = [](GLboolean f) { Rec("glDepthMask", {(double)f}); };
  pgl::glDepthFunc = [](GLenum f) { Rec("glDepthFunc", {(double)f}); };
  pgl::glAlphaFunc = [](GLenum f, GLclampf r) { Rec("glAlphaFunc", {(double)f, r}); };
  pgl::glColor3f = [](GLfloat r, GLfloat g, GLfloat b) { Rec("glColor3f", {r, g, b}); };
  pgl::glColor4f = [](GLfloat r, GLfloat g, GLfloat b, GLfloat a) { Rec("glColor4f", {r, g, b, a}); };
  pgl::glCullFace = [](GLenum m) { Rec("glCullFace", {(double)m}); };
  pgl::glBindTexture = [](GLenum t, GLuint id) { Rec("glBindTexture", {(double)t, (double)id}); };
  pgl::glGetFloatv = [](GLenum p, GLfloat *v) {
    Rec("glGetFloatv", {(double)p});
    if (p == GL_CURRENT_RASTER_POSITION) std::memcpy(v, Answer().raster, sizeof Answer().raster);
    if (p == GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT) v[0] = 16.0f;
  };
  pgl::glGetIntegerv = [](GLenum p, GLint *v) {
    Rec("glGetIntegerv", {(double)p});
    if (p == GL_VIEWPORT) v[0] = 0, v[1] = 0, v[2] = 640, v[3] = 480;
  };
  pgl::glTexParameterf = [](GLenum t, GLenum p, GLfloat v) { Rec("glTexParameterf", {(double)t, (double)p, v}); };
  pgl::glTexParameteri = [](GLenum t, GLenum p, GLint v) { Rec("glTexParameteri", {(double)t, (double)p, (double)v}); };
  pgl::glMaterialfv = [](GLenum f, GLenum p, const GLfloat *v) {
    Rec("glMaterialfv", {(double)f, (double)p, v[0], v[1], v[2], v[3]});
  };
  pgl::glMaterialf = [](GLenum f, GLenum p, GLfloat v) { Rec("glMaterialf", {(double)f, (double)p, v}); };
  pgl::glShadeModel = [](GLenum m) { Rec("glShadeModel", {(double)m}); };
  pgl::glBindBufferARB = [](GLenum t, GLuint b) { Rec("glBindBufferARB", {(double)t, (double)b}); };
  pgl::glGenBuffersARB = [](GLsizei n, GLuint *b) {
    for (GLsizei i = 0; i < n; i++) b[i] = Answer().nextName++;
    Rec("glGenBuffersARB", {(double)n});
  };
  pgl::glBufferDataARB = [](GLenum t, GLsizeiptrARB s, const void *, GLenum u) {
    Rec("glBufferDataARB", {(double)t, (double)s, (double)u});
  };
  pgl::glEnableClientState = [](GLenum a) { Rec("glEnableClientState", {(double)a}); };
  pgl::glDisableClientState = [](GLenum a) { Rec("glDisableClientState", {(double)a}); };
  pgl::glVertexPointer = [](GLint n, GLenum t, GLsizei s, const void *p) {
    Rec("glVertexPointer", {(double)n, (double)t, (double)s, p ? 1.0 : 0.0});
  };
  pgl::glNormalPointer = [](GLenum t, GLsizei s, const void *p) { Rec("glNormalPointer", {(double)t, (double)s, p ? 1.0 : 0.0}); };
  pgl::glTexCoordPointer = [](GLint n, GLenum t, GLsizei s, const void *p) {
    Rec("glTexCoordPointer", {(double)n, (double)t, (double)s, p ? 1.0 : 0.0});
  };
  pgl::glColorPointer = [](GLint n, GLenum t, GLsizei s, const void *p) {
    Rec("glColorPointer", {(double)n, (double)t, (double)s, p ? 1.0 : 0.0});
  };
  pgl::glDrawElements = [](GLenum m, GLsizei n, GLenum t, const void *p) {
    Rec("glDrawElements", {(double)m, (double)n, (double)t, p ? 1.0 : 0.0});
  };
  pgl::glTexGeni = [](GLenum c, GLenum p, GLint v) { Rec("glTexGeni", {(double)c, (double)p, (double)v}); };
  pgl::glFogi = [](GLenum p, GLint v) { Rec("glFogi", {(double)p, (double)v}); };
  pgl::glFogf = [](GLenum p, GLfloat v) { Rec("glFogf", {(double)p, v}); };
  pgl::glFogfv = [](GLenum p, const GLfloat *v) { Rec("glFogfv", {(double)p, v[0], v[1], v[2], v[3]}); };
  pgl::glLineWidth = [](GLfloat w) { Rec("glLineWidth", {w}); };
  pgl::glPointSize = [](GLfloat s) { Rec("glPointSize", {s}); };
  pgl::glBegin = [](GLenum m) { Rec("glBegin", {(double)m}); };
  pgl::glEnd = [] { Rec("glEnd", {}); };
  pgl::glVertex2f = [](GLfloat x, GLfloat y) { Rec("glVertex2f", {x, y}); };
  pgl::glVertex3f = [](GLfloat x, GLfloat y, GLfloat z) { Rec("glVertex3f", {x, y, z}); };
  pgl::glTexCoord2f = [](GLfloat s, GLfloat t) { Rec("glTexCoord2f", {s, t}); };
  pgl::glRasterPos3f = [](GLfloat x, GLfloat y, GLfloat z) { Rec("glRasterPos3f", {x, y, z}); };
  pgl::glReadPixels = [](GLint x, GLint y, GLsizei w, GLsizei h, GLenum f, GLenum t, void *p) {
    Rec("glReadPixels", {(double)x, (double)y, (double)w, (double)h, (double)f, (double)t});
    std::memcpy(p, Answer().pixels, sizeof Answer().pixels);
  };
  pgl::glSelectBuffer = [](GLsizei n, GLuint *b) {
    Rec("glSelectBuffer", {(double)n});
    SelectBuffer() = b;
  };
  pgl::glRenderMode = [](GLenum m) -> GLint {
    Rec("glRenderMode", {(double)m});
    if (m != GL_RENDER) return 0;
    for (size_t i = 0; i < Answer().select.size(); i++) SelectBuffer()[i] = Answer().select[i];
    return Answer().hits;
  };
  pgl::glInitNames = [] { Rec("glInitNames", {}); };
  pgl::glPushName = [](GLuint n) { Rec("glPushName", {(double)n}); };
  pgl::glLoadName = [](GLuint n) { Rec("glLoadName", {(double)n}); };
  pgl::glStencilFunc = [](GLenum f, GLint r, GLuint m) { Rec("glStencilFunc", {(double)f, (double)r, (double)m}); };
  pgl::glStencilOp = [](GLenum a, GLenum b, GLenum c) { Rec("glStencilOp", {(double)a, (double)b, (double)c}); };
  pgl::glColorMask = [](GLboolean r, GLboolean g, GLboolean b, GLboolean a) {
    Rec("glColorMask", {(double)r, (double)g, (double)b, (double)a});
  };
  pgl::glClear = [](GLbitfield m) { Rec("glClear", {(double)m}); };
  pgl::glClearColor = [](GLclampf r, GLclampf g, GLclampf b, GLclampf a) { Rec("glClearColor", {r, g, b, a}); };
  pgl::glGenTextures = [](GLsizei n, GLuint *t) {
    for (GLsizei i = 0; i < n; i++) t[i] = Answer().nextName++;
    Rec("glGenTextures", {(double)n});
  };
  pgl::glTexImage2D = [](GLenum t, GLint l, GLint i, GLsizei w, GLsizei h, GLint b, GLenum f, GLenum ty, const void *) {
    Rec("glTexImage2D", {(double)t, (double)l, (double)i, (double)w, (double)h, (double)b, (double)f, (double)ty});
  };
  pgl::glCopyTexImage2D = [](GLenum t, GLint l, GLenum f, GLint x, GLint y, GLsizei w, GLsizei h, GLint b) {
    Rec("glCopyTexImage2D", {(double)t, (double)l, (double)f, (double)x, (double)y, (double)w, (double)h, (double)b});
  };
  pgl::glViewport = [](GLint x, GLint y, GLsizei w, GLsizei h) { Rec("glViewport", {(double)x, (double)y, (double)w, (double)h}); };
  pgl::glUseProgramObjectARB = [](GLhandleARB p) { Rec("glUseProgramObjectARB", {(double)p}); };
  pgl::glGetUniformLocationARB = [](GLhandleARB p, const GLcharARB *n) -> GLint {
    Rec("glGetUniformLocationARB", {(double)p, std::strcmp(n, "SIZE") == 0 ? 1.0 : std::strcmp(n, "texture") == 0 ? 2.0 : 0.0});
    return std::strcmp(n, "SIZE") == 0 ? 7 : 8;
  };
  pgl::glUniform1fARB = [](GLint l, GLfloat v) { Rec("glUniform1fARB", {(double)l, v}); };
  pgl::glUniform1iARB = [](GLint l, GLint v) { Rec("glUniform1iARB", {(double)l, (double)v}); };
  pgl::glActiveTextureARB = [](GLenum u) { Rec("glActiveTextureARB", {(double)u}); };
  pgl::glCreateProgramObjectARB = []() -> GLhandleARB {
    Rec("glCreateProgramObjectARB", {});
    return 1;
  };
  pgl::glCreateShaderObjectARB = [](GLenum t) -> GLhandleARB {
    Rec("glCreateShaderObjectARB", {(double)t});
    return t == GL_VERTEX_SHADER_ARB ? 2 : 3;
  };
  pgl::glShaderSourceARB = [](GLhandleARB s, GLsizei n, const GLcharARB **src, const GLint *len) {
    Rec("glShaderSourceARB", {(double)s, (double)n, len ? 1.0 : 0.0});
    Answer().sources.push_back(src[0]);
  };
  pgl::glCompileShaderARB = [](GLhandleARB s) { Rec("glCompileShaderARB", {(double)s}); };
  pgl::glAttachObjectARB = [](GLhandleARB p, GLhandleARB s) { Rec("glAttachObjectARB", {(double)p, (double)s}); };
  pgl::glLinkProgramARB = [](GLhandleARB p) { Rec("glLinkProgramARB", {(double)p}); };
  pgl::glGetInfoLogARB = [](GLhandleARB o, GLsizei max, GLsizei *len, GLcharARB *log) {
    Rec("glGetInfoLogARB", {(double)o, (double)max});
    const std::string &text = Answer().infoLog[(o >= 1 && o <= 3) ? o - 1 : 0];
    *len = (GLsizei)text.size();
    std::memcpy(log, text.c_str(), text.size() + 1);
  };
}

inline std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh directory per test, the framework started with its log in "render.log"
// there, and the recording GL table installed.
class Fixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() / ("korv-scenerender-" + std::string(info->test_suite_name()) + "-" +
                                                     info->name() + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    static const char *argv[] = {"render-test", "-v", "-debug-log", "render.log"};
    SYS_BaseInit(nullptr, 4, argv, nullptr);
    // The log keeps the name it was first given in this process: point it at this
    // test's folder (the scene engine's tracked state outlives one test, so the
    // framework is not shut down between tests).
    SYS_DbgLogFile("render.log");
    Install();
  }
  void TearDown() override {
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(dir_);
  }
  std::string Log() const { return ReadFile((dir_ / "render.log").string()); }

  std::filesystem::path dir_;
};

}  // namespace rtest
