// One real upload through the texture table on the system's GL (llvmpipe under Xvfb):
// an odd-width 24-bit image, whose 9-byte rows need the unpack alignment of 1, read
// back texel for texel; and an 8-bit image uploaded as grey.
#include <cstdlib>

#include "platform/window.h"
#include "presentation/gl.h"
#include "presentation/texloader.h"
#include "presentation/textures.h"
#include "tests/media/texture_fixtures.h"
#include "tests/common/gl_window.h"

namespace {

class TexturesLive : public TextureTest {};

TEST_F(TexturesLive, OddWidthImageReadsBackExactly) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
  platWindow_t *window = nullptr;
  void *context = nullptr;
  ASSERT_TRUE(PlatformGlWindow("textures", 64, 64, &window, &context)) << platVideoError();
  TexInit();
  txOptions(3, 1);

  // 3x3 pixels of distinct bytes, stored B,G,R and bottom-up as TGA files are.
  const Bytes file = Ramp(27, 10);
  MemFiles::files["odd.tga"] = MakeTga(3, 3, 24, 2, 0x00, file);
  MemFiles::files["grey.tga"] = MakeTga(5, 1, 8, 3, 0x20, Bytes{0, 60, 120, 180, 240});
  const int32_t id = TexLoad("odd.tga", 1);
  ASSERT_NE(id, 0);
  EXPECT_EQ(TexBitDepth(id), 24);

  uint8_t back[27] = {};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glBindTexture(GL_TEXTURE_2D, (GLuint)id);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
  // GL row 0 is the loader's first row, the picture's top: the file's last row.
  for (int row = 0; row < 3; ++row)
    for (int x = 0; x < 3; ++x) {
      const uint8_t *src = file.data() + (2 - row) * 9 + x * 3;  // B,G,R
      const uint8_t *got = back + row * 9 + x * 3;                // R,G,B
      EXPECT_EQ(got[0], src[2]) << row << "," << x;
      EXPECT_EQ(got[1], src[1]) << row << "," << x;
      EXPECT_EQ(got[2], src[0]) << row << "," << x;
    }
  GLint unpack = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpack);
  EXPECT_EQ(unpack, 4);  // restored after the upload

  const int32_t grey = TexLoad("grey.tga", 0);
  uint8_t lum[5] = {};
  glBindTexture(GL_TEXTURE_2D, (GLuint)grey);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, lum);
  EXPECT_EQ(Bytes(lum, lum + 5), (Bytes{0, 60, 120, 180, 240}));
  TexRelease(id);
  TexRelease(grey);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

  platGLMakeCurrent(window, nullptr);
  platGLDeleteContext(context);
  platWindowDestroy(window);
  platVideoDone();
}

}  // namespace
