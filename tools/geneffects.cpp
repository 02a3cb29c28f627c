// Generator of the textures that the show's effect files name.
//
// Usage: korv-geneffects <output folder>. Writes uncompressed 24-bit TGA files
// (bottom row first): the loading screen's title, the rotating background of the
// credits, the four credit lines and the end part's lettering. Text is white on
// black so that the effects can add it over the picture.
// Depends on: FreeType (DejaVu Sans Bold from fonts-dejavu-core).
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace {

const char *const kFontPaths[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
};

struct Image {
  int width, height;
  std::vector<uint8_t> rgb;  // row 0 at the top while drawing
  Image(int w, int h) : width(w), height(h), rgb((size_t)w * h * 3, 0) {}
  void Add(int x, int y, double r, double g, double b) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    uint8_t *p = &rgb[((size_t)y * width + x) * 3];
    p[0] = (uint8_t)std::min(255.0, p[0] + r);
    p[1] = (uint8_t)std::min(255.0, p[1] + g);
    p[2] = (uint8_t)std::min(255.0, p[2] + b);
  }
};

bool WriteTga(const std::string &path, const Image &image) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  uint8_t header[18] = {};
  header[2] = 2;  // uncompressed true colour
  header[12] = (uint8_t)(image.width & 255);
  header[13] = (uint8_t)(image.width >> 8);
  header[14] = (uint8_t)(image.height & 255);
  header[15] = (uint8_t)(image.height >> 8);
  header[16] = 24;
  bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
  std::vector<uint8_t> row((size_t)image.width * 3);
  for (int y = image.height - 1; ok && y >= 0; y--) {  // bottom row first
    const uint8_t *src = &image.rgb[(size_t)y * image.width * 3];
    for (int x = 0; x < image.width; x++) {
      row[x * 3 + 0] = src[x * 3 + 2];
      row[x * 3 + 1] = src[x * 3 + 1];
      row[x * 3 + 2] = src[x * 3 + 0];
    }
    ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  return std::fclose(f) == 0 && ok;
}

class Lettering {
 public:
  bool Open() {
    if (FT_Init_FreeType(&library_)) return false;
    for (const char *path : kFontPaths)
      if (!FT_New_Face(library_, path, 0, &face_)) return true;
    return false;
  }
  ~Lettering() {
    if (face_) FT_Done_Face(face_);
    if (library_) FT_Done_FreeType(library_);
  }

  // Draws text centred on (cx, baseline) at the pixel size, tinted by (r, g, b).
  void Draw(Image &image, const std::string &text, int pixels, int cx, int baseline, double r, double g, double b) {
    FT_Set_Pixel_Sizes(face_, 0, (FT_UInt)pixels);
    int width = 0;
    for (unsigned char c : text) {
      if (FT_Load_Char(face_, c, FT_LOAD_DEFAULT)) continue;
      width += (int)(face_->glyph->advance.x >> 6);
    }
    int pen = cx - width / 2;
    for (unsigned char c : text) {
      if (FT_Load_Char(face_, c, FT_LOAD_RENDER)) continue;
      FT_GlyphSlot glyph = face_->glyph;
      const FT_Bitmap &bitmap = glyph->bitmap;
      for (unsigned y = 0; y < bitmap.rows; y++)
        for (unsigned x = 0; x < bitmap.width; x++) {
          double v = bitmap.buffer[y * bitmap.pitch + x] / 255.0;
          image.Add(pen + glyph->bitmap_left + (int)x, baseline - glyph->bitmap_top + (int)y, r * v, g * v, b * v);
        }
      pen += (int)(glyph->advance.x >> 6);
    }
  }

 private:
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
};

// Soft horizontal rule under a title.
void Rule(Image &image, int y, int x0, int x1, double level) {
  for (int x = x0; x < x1; x++) {
    double edge = std::min(1.0, std::min(x - x0, x1 - x) / 40.0);
    for (int dy = -1; dy <= 1; dy++) image.Add(x, y + dy, level * edge * (dy ? 0.4 : 1), level * edge * (dy ? 0.4 : 1), level * edge);
  }
}

// Rays and rings in blue and violet, seamless under rotation about the centre.
Image RotatingBackground() {
  Image image(512, 512);
  constexpr double pi = std::numbers::pi;
  for (int y = 0; y < 512; y++)
    for (int x = 0; x < 512; x++) {
      double dx = (x - 255.5) / 256.0, dy = (y - 255.5) / 256.0;
      double radius = std::sqrt(dx * dx + dy * dy), angle = std::atan2(dy, dx);
      double rays = 0.5 + 0.5 * std::cos(12.0 * angle + 6.0 * radius);
      double rings = 0.5 + 0.5 * std::cos(radius * 9.0 * pi);
      double fall = std::max(0.0, 1.0 - radius * 0.8);
      double v = (0.65 * rays * rays + 0.35 * rings) * (0.35 + 0.65 * fall);
      image.Add(x, y, 90 * v, 40 * v + 20 * rings * fall, 200 * v + 30 * fall);
    }
  return image;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: korv-geneffects <output folder>\n");
    return 2;
  }
  std::string out = std::string(argv[1]) + "/";
  Lettering font;
  if (!font.Open()) {
    std::fprintf(stderr, "korv-geneffects: no DejaVu font found\n");
    return 1;
  }
  struct Output {
    std::string name;
    Image image;
  };
  std::vector<Output> outputs;

  Image title(512, 128);
  font.Draw(title, "tarvo!korvadyne", 52, 256, 74, 255, 255, 255);
  Rule(title, 96, 64, 448, 150);
  outputs.push_back({"loadlogo.tga", title});

  outputs.push_back({"rotbkg.tga", RotatingBackground()});

  const char *const credits[4][2] = {
      {"tarvo!korvadyne", "a real-time show in 210 seconds"},
      {"code", "the korvadyne framework, C++20 and OpenGL"},
      {"music", "synthesised by the korvadyne soundtrack tool"},
      {"pictures", "every texture generated by the build"},
  };
  for (int i = 0; i < 4; i++) {
    Image line(1024, 128);
    font.Draw(line, credits[i][0], 44, 512, 54, 255, 255, 255);
    font.Draw(line, credits[i][1], 28, 512, 104, 170, 190, 255);
    outputs.push_back({"credit" + std::to_string(i + 1) + ".tga", line});
  }

  Image end(1024, 256);
  font.Draw(end, "tarvo!korvadyne", 96, 512, 130, 255, 255, 255);
  Rule(end, 160, 192, 832, 180);
  font.Draw(end, "thanks for watching", 36, 512, 214, 180, 200, 255);
  outputs.push_back({"theend.tga", end});

  for (const Output &o : outputs) {
    if (!WriteTga(out + o.name, o.image)) {
      std::fprintf(stderr, "korv-geneffects: cannot write %s%s\n", out.c_str(), o.name.c_str());
      return 1;
    }
  }
  return 0;
}
