// Small image files built in memory for the texture loader tests, and a txFunctions
// set that serves them with buffers of exactly the file's size (no zero tail), so
// that the sanitizer sees any read past the end of a file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/main.h"
#include "base/mem.h"
#include "media/texture/TL.h"

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes &b, size_t at, uint32_t v) {
  b[at] = (uint8_t)v;
  b[at + 1] = (uint8_t)(v >> 8);
}
inline void Put32(Bytes &b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

inline void Append(Bytes &b, const Bytes &more) {
  if (more.empty()) return;
  size_t at = b.size();
  b.resize(at + more.size());
  std::memcpy(b.data() + at, more.data(), more.size());
}

// Pixels numbered 1, 2, 3, ... so that every byte tells where it came from.
inline Bytes Ramp(size_t n, uint8_t first = 1) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = (uint8_t)(first + i);
  return b;
}

// An uncompressed TGA; pixels are stored as given (file row order).
inline Bytes MakeTga(int w, int h, int bits, int imageType, uint8_t descriptor, const Bytes &pixels,
                     const Bytes &id = {}, const Bytes &colorMap = {}, int mapEntries = 0, int mapBits = 24) {
  Bytes f(18);
  f[0] = (uint8_t)id.size();
  f[1] = mapEntries ? 1 : 0;
  f[2] = (uint8_t)imageType;
  Put16(f, 5, (uint32_t)mapEntries);
  f[7] = mapEntries ? (uint8_t)mapBits : 0;
  Put16(f, 12, (uint32_t)w);
  Put16(f, 14, (uint32_t)h);
  f[16] = (uint8_t)bits;
  f[17] = descriptor;
  Append(f, id);
  Append(f, colorMap);
  Append(f, pixels);
  return f;
}

// A BMP with a 40-byte info header; rows are given top row first and stored
// bottom-up (or top-down for topDown) with their 4-byte padding.
inline Bytes MakeBmp(int w, int h, int bits, const Bytes &rowsTopFirst, bool topDown = false,
                     const Bytes &palette = {}, int colorsUsed = 0, int compression = 0) {
  const size_t rowBytes = (size_t)w * bits / 8, stride = (rowBytes + 3) & ~size_t(3);
  const size_t offset = 54 + palette.size();
  Bytes f(offset + stride * h, 0);
  f[0] = 'B';
  f[1] = 'M';
  Put32(f, 2, (uint32_t)f.size());
  Put32(f, 10, (uint32_t)offset);
  Put32(f, 14, 40);
  Put32(f, 18, (uint32_t)w);
  Put32(f, 22, (uint32_t)(topDown ? -h : h));
  Put16(f, 26, 1);
  Put16(f, 28, (uint32_t)bits);
  Put32(f, 30, (uint32_t)compression);
  Put32(f, 34, (uint32_t)(stride * h));
  Put32(f, 46, (uint32_t)colorsUsed);
  if (!palette.empty()) std::memcpy(f.data() + 54, palette.data(), palette.size());
  for (int j = 0; j < h; ++j) {
    size_t fileRow = topDown ? j : h - 1 - j;
    std::memcpy(f.data() + offset + fileRow * stride, rowsTopFirst.data() + j * rowBytes, rowBytes);
  }
  return f;
}

inline Bytes MakePnm(const std::string &header, const Bytes &pixels) {
  Bytes f(header.begin(), header.end());
  Append(f, pixels);
  return f;
}

// One explicit-VR element with a 16-bit length.
inline void DicomShort(Bytes &f, uint16_t group, uint16_t element, const char *vr, const Bytes &value) {
  size_t at = f.size();
  f.resize(at + 8);
  Put16(f, at, group);
  Put16(f, at + 2, element);
  f[at + 4] = (uint8_t)vr[0];
  f[at + 5] = (uint8_t)vr[1];
  Put16(f, at + 6, (uint32_t)value.size());
  Append(f, value);
}
// One element with a 32-bit length (OB, OW, ...); length overrides the value's size.
inline void DicomLong(Bytes &f, uint16_t group, uint16_t element, const char *vr, const Bytes &value,
                      int64_t length = -1) {
  size_t at = f.size();
  f.resize(at + 12, 0);
  Put16(f, at, group);
  Put16(f, at + 2, element);
  f[at + 4] = (uint8_t)vr[0];
  f[at + 5] = (uint8_t)vr[1];
  Put32(f, at + 8, (uint32_t)(length < 0 ? (int64_t)value.size() : length));
  Append(f, value);
}
inline Bytes U16Value(uint16_t v) { return Bytes{(uint8_t)v, (uint8_t)(v >> 8)}; }

// Explicit VR little-endian unless another transfer syntax is given; extra holds
// elements that go before the pixel data.
inline Bytes MakeDicom(int samples, int rows, int columns, const Bytes &pixels, const Bytes &extra = {},
                       const std::string &syntax = "1.2.840.10008.1.2.1") {
  Bytes f(132, 0);
  std::memcpy(f.data() + 128, "DICM", 4);
  DicomLong(f, 0x0002, 0x0001, "OB", Bytes{0, 1});
  Bytes uid(syntax.begin(), syntax.end());
  if (uid.size() % 2) uid.push_back(0);
  DicomShort(f, 0x0002, 0x0010, "UI", uid);
  DicomShort(f, 0x0028, 0x0002, "US", U16Value((uint16_t)samples));
  DicomShort(f, 0x0028, 0x0010, "US", U16Value((uint16_t)rows));
  DicomShort(f, 0x0028, 0x0011, "US", U16Value((uint16_t)columns));
  Append(f, extra);
  DicomLong(f, 0x7FE0, 0x0010, "OB", pixels);
  return f;
}

// Files served from memory through the loader's callbacks.
struct MemFiles {
  static std::map<std::string, Bytes> files;
  static std::vector<std::string> opened;  // every name asked for, found or not
  static const Bytes *current;

  static int32_t Open(const char *name) {
    opened.push_back(name);
    auto it = files.find(name);
    if (it == files.end()) return errSetLastError(1), -1;
    current = &it->second;
    return 0;
  }
  static void *Read() {
    // Exactly the file's bytes: a zero-byte file gets a 1-byte block.
    void *p = SYS_MemGet(current->empty() ? 1 : current->size(), "MemFiles");
    if (!current->empty()) std::memcpy(p, current->data(), current->size());
    return p;
  }
  static int32_t Size() { return current ? (int32_t)current->size() : 0; }
  static int32_t Close() {
    current = nullptr;
    return 0;
  }
  static int32_t Exist(const char *name) { return files.count(name) ? 0 : -1; }

  static void Install() {
    static const txFunctions io = {Open, Read, Size, Close, Exist};
    files.clear();
    opened.clear();
    txInit(&io);
  }
};
inline std::map<std::string, Bytes> MemFiles::files;
inline std::vector<std::string> MemFiles::opened;
inline const Bytes *MemFiles::current = nullptr;

// Starts the framework once per test process, with the loader on in-memory files.
class TextureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static bool started = false;
    if (!started) SYS_BaseInit(nullptr, 0, nullptr, nullptr);
    started = true;
  }
  void SetUp() override {
    MemFiles::Install();
    txOptions(2, 0);
    txOptions(3, 0);
    txOptions(4, 0);
  }
  // Loads a file from memory under the given name.
  static txBitmap *Load(const Bytes &file, const std::string &name = "t.img") {
    MemFiles::files[name] = file;
    return txLoad(name.c_str());
  }
  static Bytes Level0(const txBitmap *b) { return Bytes(b->image[0], b->image[0] + b->imagesize[0]); }
};

// Releases a bitmap at the end of a scope.
struct BitmapPtr {
  txBitmap *p;
  explicit BitmapPtr(txBitmap *b) : p(b) {}
  ~BitmapPtr() {
    if (p) txFree(&p);
  }
  txBitmap *operator->() const { return p; }
  explicit operator bool() const { return p != nullptr; }
};
