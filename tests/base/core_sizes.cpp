#include <gtest/gtest.h>

#include <cstdint>

#include "base/sizes.h"

using korv::SizeFromSigned;
using korv::SizeProduct;
using korv::SizeSum;
using korv::SizeWithin;

TEST(Sizes, ProductRefusesOverflowAndLimit) {
  struct Case {
    uint64_t a, b, c;
    uint64_t limit;
    bool ok;
    uint64_t want;
  };
  const Case cases[] = {
      {640, 480, 3, UINT64_MAX, true, 921600},
      {0x7fffffff, 0x7fffffff, 4, UINT64_MAX, true, 0x7fffffffull * 0x7fffffff * 4},
      {0x7fffffff, 0x7fffffff, 0x7fffffff, UINT64_MAX, false, 0},  // wraps 64 bits
      {1ull << 32, 1ull << 32, 1, UINT64_MAX, false, 0},
      {65536, 65536, 1, 0x7fffffff, false, 0},  // fits 64 bits, over the caller's limit
      {0, UINT64_MAX, UINT64_MAX, 0, true, 0},
  };
  for (const Case &c : cases) {
    uint64_t out = 12345;
    EXPECT_EQ(SizeProduct({c.a, c.b, c.c}, c.limit, out), c.ok) << c.a << "*" << c.b << "*" << c.c;
    EXPECT_EQ(out, c.ok ? c.want : 12345u);
  }
}

TEST(Sizes, SumWithinAndSigned) {
  uint64_t out = 7;
  EXPECT_TRUE(SizeSum(10, 20, 30, out));
  EXPECT_EQ(out, 30u);
  EXPECT_FALSE(SizeSum(10, 21, 30, out));
  EXPECT_FALSE(SizeSum(UINT64_MAX, 1, UINT64_MAX, out));
  EXPECT_EQ(out, 30u);

  EXPECT_TRUE(SizeWithin(0, 10, 10));
  EXPECT_TRUE(SizeWithin(10, 0, 10));
  EXPECT_FALSE(SizeWithin(11, 0, 10));
  EXPECT_FALSE(SizeWithin(5, 6, 10));
  EXPECT_FALSE(SizeWithin(1, UINT64_MAX, 10));  // offset + length would wrap

  EXPECT_TRUE(SizeFromSigned(0, 0, out));
  EXPECT_EQ(out, 0u);
  EXPECT_FALSE(SizeFromSigned(-1, UINT64_MAX, out));
  EXPECT_FALSE(SizeFromSigned(INT64_MAX, 0x7fffffff, out));
}
