// Character-set conversion: byte order, lengths, errors, and every table checked
// against the C library's own converters.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <vector>

#include "base/iconv.h"
#include "base/log.h"

namespace {

std::vector<uint8_t> Convert(int32_t source, int32_t target, const std::vector<uint8_t> &in,
                             int32_t *rc = nullptr) {
  std::vector<uint8_t> out(in.size() * 4 + 4, 0xEE);
  int32_t len = -1;
  int32_t r = SYS_IConvToUCS(source, target, in.data(), (int32_t)in.size(), out.data(), &len);
  if (rc) *rc = r;
  if (r != 0) return {};
  EXPECT_EQ(out[len], 0xEE) << "wrote past the output length";
  out.resize(len);
  return out;
}

TEST(ExtIConv, KnownCharactersBigEndian) {
  struct Case {
    int32_t source, target;
    std::vector<uint8_t> in, out;
  } cases[] = {
      {15, 30, {0xA4}, {0x20, 0xAC}},                                  // euro sign
      {1, 31, {'A', 'B'}, {0, 0, 0, 0x41, 0, 0, 0, 0x42}},
      {2, 30, {0xA1, 0xFF}, {0x01, 0x04, 0x02, 0xD9}},                 // A ogonek, dot above
      {5, 31, {0xC0}, {0, 0, 0x04, 0x20}},                             // Cyrillic ER
      {13, 30, {0xFF}, {0x20, 0x19}},                                  // right single quote
      {14, 30, {0xA1}, {0x1E, 0x02}},                                  // B dot above
      {9, 30, {0xD0, 0x9F}, {0x01, 0x1E, 0x00, 0x9F}},                 // G breve; C1 stays
      {10, 31, {0xBD}, {0, 0, 0x20, 0x15}},                            // horizontal bar
      {4, 30, {0xA2}, {0x01, 0x38}},                                   // kra
  };
  for (const Case &c : cases) {
    int32_t rc;
    EXPECT_EQ(Convert(c.source, c.target, c.in, &rc), c.out) << c.source << "->" << c.target;
    EXPECT_EQ(rc, 0);
  }
}

TEST(ExtIConv, EmptyRunWritesNothing) {
  uint8_t out[4] = {1, 2, 3, 4};
  int32_t len = 77;
  EXPECT_EQ(SYS_IConvToUCS(1, 30, "x", 0, out, &len), 0);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(out[0], 1);
}

TEST(ExtIConv, PairsWithoutConverterAndBadArguments) {
  uint8_t out[8];
  int32_t len = 0;
  for (auto [s, t] : {std::pair{3, 30}, {1, 29}, {1, 32}, {106, 30}, {16, 31}, {0, 30}}) {
    EXPECT_EQ(SYS_IConvToUCS(s, t, "a", 1, out, &len), -1);
    EXPECT_EQ(errGetLastError(), 11) << s << "->" << t;
  }
  EXPECT_EQ(SYS_IConvToUCS(1, 30, "a", 1, nullptr, &len), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_IConvToUCS(1, 30, "a", -1, out, &len), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_IConvToUCS(1, 31, "a", 0x7FFFFFFF, out, &len), -1);  // out length would overflow
  EXPECT_EQ(errGetLastError(), 10);
}

// Every byte of every part, both widths, against the C library's converters.
TEST(ExtIConv, TablesMatchSystemConverters) {
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; i++) all[i] = (uint8_t)i;
  for (int part : {1, 2, 4, 5, 9, 10, 13, 14, 15}) {
    for (auto [target, name] : {std::pair{30, "UCS-2BE"}, {31, "UCS-4BE"}}) {
      std::string from = "ISO-8859-" + std::to_string(part);
      iconv_t cd = iconv_open(name, from.c_str());
      ASSERT_NE(cd, (iconv_t)-1) << from;
      std::vector<char> in(all.begin(), all.end()), ref(256 * 4);
      char *ip = in.data(), *op = ref.data();
      size_t il = in.size(), ol = ref.size();
      ASSERT_NE(iconv(cd, &ip, &il, &op, &ol), (size_t)-1) << from;
      iconv_close(cd);
      std::vector<uint8_t> expect(ref.begin(), ref.begin() + (ref.size() - ol));
      EXPECT_EQ(Convert(part, target, all), expect) << from << " to " << name;
    }
  }
}

}  // namespace
