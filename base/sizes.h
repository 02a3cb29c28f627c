// Overflow-checked arithmetic for sizes, counts and offsets read from files.
// Every parser multiplies or adds file-provided numbers only through these, so a
// hostile header can neither wrap a product past a size test nor make a negative
// stride. Each returns false (leaving out untouched) when the result overflows
// 64 bits or exceeds the caller's limit.
// Depends on: nothing.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace korv {

// The product of all factors, at most limit.
inline bool SizeProduct(std::initializer_list<uint64_t> factors, uint64_t limit,
                        uint64_t &out) {
  uint64_t p = 1;
  for (uint64_t f : factors)
    if (__builtin_mul_overflow(p, f, &p)) return false;
  if (p > limit) return false;
  out = p;
  return true;
}

// a + b, at most limit.
inline bool SizeSum(uint64_t a, uint64_t b, uint64_t limit, uint64_t &out) {
  uint64_t s;
  if (__builtin_add_overflow(a, b, &s) || s > limit) return false;
  out = s;
  return true;
}

// True when [offset, offset + length) lies within a buffer of size bytes.
inline bool SizeWithin(uint64_t offset, uint64_t length, uint64_t size) {
  return offset <= size && length <= size - offset;
}

// A signed value read from a file as a count: non-negative and at most limit.
inline bool SizeFromSigned(int64_t v, uint64_t limit, uint64_t &out) {
  if (v < 0 || static_cast<uint64_t>(v) > limit) return false;
  out = static_cast<uint64_t>(v);
  return true;
}

}  // namespace korv
