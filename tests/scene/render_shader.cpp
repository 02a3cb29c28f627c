// The shader loader through recorded ARB entries (sources, messages, handles) and
// the point rotation.
#include <cmath>
#include <fstream>
#include <numbers>

#include "scene/shader.h"
#include "tests/scene/render_recorder.h"

namespace {

using rtest::Answer;
using rtest::Count;
using rtest::Find;

class ShaderTest : public rtest::Fixture {};

TEST_F(ShaderTest, BuildsTheProgramAndReportsEveryNonEmptyLog) {
  std::ofstream("wave.vs") << "void main() { gl_Position = ftransform(); }\n";
  std::ofstream("wave.fs") << "uniform sampler2D texture;\nvoid main() { gl_FragColor = vec4(1.0); }";
  Answer().infoLog[1] = "warning: unused";  // the vertex shader: a warning is enough
  int32_t v = -1, f = -1, p = -1;
  ShaderLoad(&v, &f, &p, "wave.vs", "wave.fs");
  EXPECT_EQ(p, 1);
  EXPECT_EQ(v, 2);
  EXPECT_EQ(f, 3);
  ASSERT_EQ(Answer().sources.size(), 2u);
  EXPECT_EQ(Answer().sources[0], "void main() { gl_Position = ftransform(); }\n");
  EXPECT_EQ(Answer().sources[1], "uniform sampler2D texture;\nvoid main() { gl_FragColor = vec4(1.0); }");
  EXPECT_GE(Find("glShaderSourceARB", {2, 1, 0}), 0);  // zero-terminated, no lengths
  EXPECT_GE(Find("glAttachObjectARB", {1, 2}), 0);
  EXPECT_GE(Find("glAttachObjectARB", {1, 3}), 0);
  EXPECT_GT(Find("glGetInfoLogARB", {1, 2048}), Find("glLinkProgramARB", {1}));
  std::string log = Log();
  EXPECT_NE(log.find(" - loading wave.vs and wave.fs shader."), std::string::npos);
  EXPECT_NE(log.find(" - unable to compile vertex shader."), std::string::npos);
  EXPECT_EQ(log.find(" - unable to compile pixel shader."), std::string::npos);
  EXPECT_EQ(log.find(" - unable to link shader program."), std::string::npos);
  Answer().infoLog[1].clear();
  Answer().infoLog[2] = "error";
  Answer().infoLog[0] = "link error";
  ShaderLoad(&v, &f, &p, "wave.vs", "wave.fs");
  log = Log();
  EXPECT_NE(log.find(" - unable to compile pixel shader."), std::string::npos);
  EXPECT_NE(log.find(" - unable to link shader program."), std::string::npos);
}

TEST_F(ShaderTest, ASourceBeyondTheBufferIsRefused) {
  std::ofstream("big.vs") << std::string(65536, ' ');
  std::ofstream("ok.fs") << "void main() {}";
  std::ofstream("edge.vs") << std::string(65535, 'x');
  int32_t v = 0, f = 0, p = 0;
  ShaderLoad(&v, &f, &p, "big.vs", "ok.fs");
  EXPECT_EQ(Count("glCompileShaderARB"), 0u);
  EXPECT_NE(Log().find(" - shader source too long: big.vs"), std::string::npos);
  EXPECT_EQ(p, 1);  // handles are returned all the same
  ShaderLoad(&v, &f, &p, "edge.vs", "ok.fs");
  ASSERT_EQ(Answer().sources.size(), 2u);
  EXPECT_EQ(Answer().sources[0].size(), 65535u);
}

TEST(RenderRotate, RotatesAboutYThenX) {
  const float h = (float)(std::numbers::pi / 2);
  struct Case {
    float x, y, z, ax, ay, rx, ry, rz;
  } cases[] = {{1, 0, 0, 0, h, 0, 0, -1}, {0, 1, 0, h, 0, 0, 0, 1}, {0, 0, 1, 0, h, 1, 0, 0},
               {2, 3, 4, 0, 0, 2, 3, 4},  {1, 0, 0, h, h, 0, 1, 0}};
  for (const Case &c : cases) {
    float rx, ry, rz;
    RotatePointRad(&rx, &ry, &rz, c.x, c.y, c.z, c.ax, c.ay);
    EXPECT_NEAR(rx, c.rx, 1e-6);
    EXPECT_NEAR(ry, c.ry, 1e-6);
    EXPECT_NEAR(rz, c.rz, 1e-6);
  }
}

}  // namespace
