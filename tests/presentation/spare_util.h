// Shared helpers of the spare-routine tests: a scratch directory with the framework
// started and its log in "spare.log", and a recording GL table for the entries the
// spare routines call.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "presentation/gl.h"
#include "base/main.h"

namespace spare_test {

inline std::string ReadFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::filesystem::path &path, const void *data, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write((const char *)data, (std::streamsize)size);
}

class Framework : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("korv-spare-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
            std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    static const char *argv[] = {"spare-test", "-v", "-debug-log", "spare.log"};
    ASSERT_EQ(SYS_BaseInit(nullptr, 4, argv, nullptr), 0);
  }
  void TearDown() override {
    // The log keeps the name it was first given until the framework shuts down.
    SYS_BaseDone();
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(dir_);
  }
  std::string Log() const { return ReadFile(dir_ / "spare.log"); }

  std::filesystem::path dir_;
};

enum Op {
  kLightfv, kBegin, kEnd, kColor3f, kNormal3f, kVertex3f, kMatrixMode, kLoadIdentity, kGenBuffers, kBindBuffer,
  kBufferData, kEnableClientState, kDisableClientState, kVertexPointer, kNormalPointer, kDrawElements,
  kDeleteBuffers
};

struct Call {
  Op op;
  double a[6];
  std::vector<uint8_t> data;  // bytes handed to glBufferDataARB
};

inline std::vector<Call> &Calls() {
  static std::vector<Call> calls;
  return calls;
}
inline std::string &Extensions() {
  static std::string text;
  return text;
}
inline GLuint &NextBuffer() {
  static GLuint next;
  return next;
}

inline void Record(Op op, std::initializer_list<double> args, std::vector<uint8_t> data = {}) {
  Call c{op, {}, std::move(data)};
  int i = 0;
  for (double v : args) c.a[i++] = v;
  Calls().push_back(std::move(c));
}

inline std::vector<Call> Only(Op op) {
  std::vector<Call> out;
  for (const Call &c : Calls())
    if (c.op == op) out.push_back(c);
  return out;
}

inline std::vector<Op> Ops() {
  std::vector<Op> out;
  for (const Call &c : Calls()) out.push_back(c.op);
  return out;
}

// Fills the GL table with recorders; the driver reports extensions.
inline void InstallRecorder(const std::string &extensions = "GL_ARB_multitexture GL_ARB_vertex_buffer_object") {
  Calls().clear();
  Extensions() = extensions;
  NextBuffer() = 1;
  pgl::glGetString = [](GLenum name) -> const GLubyte * {
    return name == GL_EXTENSIONS ? (const GLubyte *)Extensions().c_str() : nullptr;
  };
  pgl::glLightfv = [](GLenum light, GLenum p, const GLfloat *v) {
    Record(kLightfv, {(double)light, (double)p, v[0], v[1], v[2], v[3]});
  };
  pgl::glBegin = [](GLenum m) { Record(kBegin, {(double)m}); };
  pgl::glEnd = [] { Record(kEnd, {}); };
  pgl::glColor3f = [](GLfloat r, GLfloat g, GLfloat b) { Record(kColor3f, {r, g, b}); };
  pgl::glNormal3f = [](GLfloat x, GLfloat y, GLfloat z) { Record(kNormal3f, {x, y, z}); };
  pgl::glVertex3f = [](GLfloat x, GLfloat y, GLfloat z) { Record(kVertex3f, {x, y, z}); };
  pgl::glMatrixMode = [](GLenum m) { Record(kMatrixMode, {(double)m}); };
  pgl::glLoadIdentity = [] { Record(kLoadIdentity, {}); };
  pgl::glGenBuffersARB = [](GLsizei n, GLuint *ids) {
    Record(kGenBuffers, {(double)n});
    for (GLsizei i = 0; i < n; i++) ids[i] = NextBuffer()++;
  };
  pgl::glBindBufferARB = [](GLenum target, GLuint id) { Record(kBindBuffer, {(double)target, (double)id}); };
  pgl::glBufferDataARB = [](GLenum target, GLsizeiptrARB size, const void *data, GLenum usage) {
    const uint8_t *p = (const uint8_t *)data;
    Record(kBufferData, {(double)target, (double)size, (double)usage}, std::vector<uint8_t>(p, p + size));
  };
  pgl::glDeleteBuffersARB = [](GLsizei n, const GLuint *ids) { Record(kDeleteBuffers, {(double)n, (double)ids[0]}); };
  pgl::glEnableClientState = [](GLenum a) { Record(kEnableClientState, {(double)a}); };
  pgl::glDisableClientState = [](GLenum a) { Record(kDisableClientState, {(double)a}); };
  pgl::glVertexPointer = [](GLint size, GLenum type, GLsizei stride, const void *p) {
    Record(kVertexPointer, {(double)size, (double)type, (double)stride, (double)(uintptr_t)p});
  };
  pgl::glNormalPointer = [](GLenum type, GLsizei stride, const void *p) {
    Record(kNormalPointer, {(double)type, (double)stride, (double)(uintptr_t)p});
  };
  pgl::glDrawElements = [](GLenum mode, GLsizei count, GLenum type, const void *p) {
    Record(kDrawElements, {(double)mode, (double)count, (double)type, (double)(uintptr_t)p});
  };
}

}  // namespace spare_test
