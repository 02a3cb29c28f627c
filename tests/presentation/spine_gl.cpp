// The presentation's GL unit: the driver probe as a function of its answers, and the
// unit loaded live on the system's GL.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "presentation/gl.h"
#include "spine_util.h"

namespace {

// The probe only ever sets the format flags, so every test starts with all of them off.
class SpineGLProbe : public spine_test::Framework {
 protected:
  void SetUp() override {
    Framework::SetUp();
    for (bool *f : {&GLHasCompiledVertexArray, &GLHasTextureCubeMap, &GLHasMultitexture, &GLHasTextureEnvCombine,
                    &GLHasTextureEnvDot3, &GLHasS3TC, &GLHasAnisotropicFilter, &GLHasMultisample,
                    &GLHasFragmentShader, &GLHasVertexShader, &GLHasDXT1, &GLHasDXT3, &GLHasDXT5})
      *f = false;
    GLMaxTextureSize = 0;
  }
};

const char kAllExtensions[] =
    "GL_EXT_compiled_vertex_array GL_EXT_texture_cube_map GL_ARB_multitexture GL_ARB_texture_env_combine "
    "GL_ARB_texture_env_dot3 GL_ARB_texture_compression GL_EXT_texture_filter_anisotropic GL_ARB_multisample "
    "GL_EXT_texture_compression_s3tc GL_ARB_shading_language_100 GL_ARB_fragment_shader GL_ARB_vertex_shader";

TEST_F(SpineGLProbe, EveryTestLogsOneLineAndSetsItsFlag) {
  const int32_t formats[] = {0x83F0, 0x83F2, 0x83F3};
  GLProbe(kAllExtensions, "llvmpipe (LLVM 15.0.6, 256 bits)", 8192, formats, 3);
  for (bool f : {GLHasCompiledVertexArray, GLHasTextureCubeMap, GLHasMultitexture, GLHasTextureEnvCombine,
                 GLHasTextureEnvDot3, GLHasS3TC, GLHasAnisotropicFilter, GLHasMultisample, GLHasFragmentShader,
                 GLHasVertexShader, GLHasDXT1, GLHasDXT3, GLHasDXT5})
    EXPECT_TRUE(f);
  EXPECT_EQ(GLMaxTextureSize, 8192);
  const std::string log = Log();
  EXPECT_NE(log.find("[gl] --- check extensions:\n[gl] - GL_EXT_compiled_vertex_array : available\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("[gl] - GL_ARB_vertex_shader : available\n[gl] - renderer: llvmpipe (LLVM 15.0.6, 256 bits)\n"
                     "[gl] - Maximum texture size : 8192\n[gl]   - supported DXTC modes (3): DXT1 DXT3 DXT5\n"),
            std::string::npos)
      << log;
}

TEST_F(SpineGLProbe, SecondTestsDecideS3TCAndTheFragmentShader) {
  const int32_t formats[] = {0x83F0};
  GLProbe("GL_ARB_texture_compression GL_ARB_shading_language_100", "x", 4096, formats, 1);
  EXPECT_FALSE(GLHasS3TC);
  EXPECT_FALSE(GLHasFragmentShader);
  EXPECT_FALSE(GLHasDXT1);  // the list is not consulted without S3TC
  const std::string log = Log();
  EXPECT_NE(log.find("[gl] - GL_ARB_texture_compression : available\n"), std::string::npos);
  EXPECT_NE(log.find("[gl] - GL_EXT_texture_compression_s3tc : not available\n"), std::string::npos);
  EXPECT_NE(log.find("[gl] DXTC : not available.\n"), std::string::npos);
}

TEST_F(SpineGLProbe, SubstringMatchesAndNullExtensionText) {
  GLProbe("GL_ARB_vertex_shader_tessellator", "x", 1, nullptr, 0);
  EXPECT_TRUE(GLHasVertexShader);
  bool flag = true;
  GLCheckExtension(nullptr, "GL_ARB_multitexture", &flag);
  EXPECT_FALSE(flag);
}

TEST_F(SpineGLProbe, RendererOverridesAreCaseSensitive) {
  GLProbe("", "Mesa DRI Intel GMA X3100 Series x86/MMX/SSE2", 8192, nullptr, 0);
  EXPECT_EQ(GLMaxTextureSize, 1024);
  EXPECT_NE(Log().find("[gl]   - Intel GMA X3100 detected. Maximum texture size overridden to 1024.\n"),
            std::string::npos);
  GLProbe("", "mesa dri intel gma x3100", 8192, nullptr, 0);
  EXPECT_EQ(GLMaxTextureSize, 8192);
  GLProbe("", "ATI Radeon 9200 Series", 512, nullptr, 0);  // set whatever the driver said
  EXPECT_EQ(GLMaxTextureSize, 1024);
  GLProbe("", "Intel 965/963 Graphics", 2048, nullptr, 0);
  EXPECT_EQ(GLMaxTextureSize, 1024);
  // Both texts of the first row: still one line.
  const std::string line = "[gl]   - Intel GMA950 detected. Maximum texture size overridden to 1024.\n";
  const size_t before = Log().size();
  GLProbe("", "Intel GMA 950 / Intel 965/963", 4096, nullptr, 0);
  const std::string added = Log().substr(before);
  const size_t first = added.find(line);
  ASSERT_NE(first, std::string::npos) << added;
  EXPECT_EQ(added.find(line, first + 1), std::string::npos) << added;
}

TEST_F(SpineGLProbe, FormatListNamesOnlyTheThreeCodesAndOnlySetsFlags) {
  const int32_t formats[] = {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0x83F0, 0x83F3};
  GLProbe("GL_EXT_texture_compression_s3tc", "x", 1, formats, 3);
  EXPECT_TRUE(GLHasDXT1);
  EXPECT_FALSE(GLHasDXT3);
  EXPECT_TRUE(GLHasDXT5);
  EXPECT_NE(Log().find("[gl]   - supported DXTC modes (3): DXT1 DXT5\n"), std::string::npos) << Log();
  GLProbe("GL_EXT_texture_compression_s3tc", "x", 1, nullptr, 0);
  EXPECT_TRUE(GLHasDXT1);
}

}  // namespace
