// Captures of the program's window for the end-to-end runs: the picture of a window
// as 0x00RRGGBB pixels, the measures the checks use, and a binary PPM writer for the
// shots a run keeps when asked (the contact sheet is made from them).
// Depends on: Xlib.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

struct Capture {
  int width = 0, height = 0;
  std::vector<uint32_t> rgb;  // 0x00RRGGBB, row 0 at the top

  uint32_t At(int x, int y) const { return rgb[(size_t)y * width + x]; }
  static int R(uint32_t p) { return (int)(p >> 16) & 255; }
  static int G(uint32_t p) { return (int)(p >> 8) & 255; }
  static int B(uint32_t p) { return (int)p & 255; }
  static int Sum(uint32_t p) { return R(p) + G(p) + B(p); }
};

// The window's picture as the X server has it now; false when it is not mapped.
inline bool GrabWindow(Display *d, Window w, Capture &out) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable) return false;
  XImage *image = XGetImage(d, w, 0, 0, (unsigned)a.width, (unsigned)a.height, AllPlanes, ZPixmap);
  if (!image) return false;
  out.width = a.width;
  out.height = a.height;
  out.rgb.resize((size_t)a.width * a.height);
  // The usual 24-bit visual stores 32-bit little-endian words: read them directly, as
  // XGetPixel per pixel costs more than a frame on a loaded machine.
  const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst && image->red_mask == 0xff0000 &&
                      image->green_mask == 0xff00 && image->blue_mask == 0xff;
  for (int y = 0; y < a.height; y++) {
    const auto *row = (const uint8_t *)image->data + (size_t)y * image->bytes_per_line;
    for (int x = 0; x < a.width; x++) {
      uint32_t p;
      if (direct) p = (uint32_t)row[4 * x] | (uint32_t)row[4 * x + 1] << 8 | (uint32_t)row[4 * x + 2] << 16;
      else p = (uint32_t)XGetPixel(image, x, y);
      out.rgb[(size_t)y * a.width + x] = p & 0xffffff;
    }
  }
  XDestroyImage(image);
  return true;
}

// Share of pixels in rows [y0, y1) whose channels add up to more than sumAbove.
inline double LitShare(const Capture &c, int y0, int y1, int sumAbove = 90) {
  size_t lit = 0, all = 0;
  for (int y = y0; y < y1; y++)
    for (int x = 0; x < c.width; x++, all++) lit += Capture::Sum(c.At(x, y)) > sumAbove;
  return all ? (double)lit / all : 0.0;
}

// Share of pixels of two same-sized captures that differ by more than 24 in a channel.
inline double ChangedShare(const Capture &a, const Capture &b) {
  if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return 1.0;
  size_t n = 0;
  for (size_t i = 0; i < a.rgb.size(); i++) {
    const uint32_t p = a.rgb[i], q = b.rgb[i];
    n += std::abs(Capture::R(p) - Capture::R(q)) > 24 || std::abs(Capture::G(p) - Capture::G(q)) > 24 ||
         std::abs(Capture::B(p) - Capture::B(q)) > 24;
  }
  return (double)n / a.rgb.size();
}

// Mean red, green and blue of the pixels whose channels add up to more than sumAbove.
struct MeanColour {
  double r = 0, g = 0, b = 0;
  size_t count = 0;
};
inline MeanColour LitMean(const Capture &c, int sumAbove = 90) {
  MeanColour m;
  for (uint32_t p : c.rgb) {
    if (Capture::Sum(p) <= sumAbove) continue;
    m.r += Capture::R(p);
    m.g += Capture::G(p);
    m.b += Capture::B(p);
    m.count++;
  }
  if (m.count) {
    m.r /= (double)m.count;
    m.g /= (double)m.count;
    m.b /= (double)m.count;
  }
  return m;
}

inline bool WritePpm(const std::string &path, const Capture &c) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", c.width, c.height);
  std::vector<uint8_t> row((size_t)c.width * 3);
  bool ok = true;
  for (int y = 0; y < c.height && ok; y++) {
    for (int x = 0; x < c.width; x++) {
      const uint32_t p = c.At(x, y);
      row[3 * x] = (uint8_t)Capture::R(p);
      row[3 * x + 1] = (uint8_t)Capture::G(p);
      row[3 * x + 2] = (uint8_t)Capture::B(p);
    }
    ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  return std::fclose(f) == 0 && ok;
}
