// Pieces of the structure-aware libFuzzer mutators. Byte mutations of a checksummed
// or deflated format die at its checksum or in the inflater, so the mutators also
// change the bytes inside a deflated block (inflate, mutate, deflate again) and the
// formats' own code makes the checksums right afterwards.
// Depends on: zlib, libFuzzer's LLVMFuzzerMutate (weak: absent in replay builds,
// which never call a mutator).
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize) __attribute__((weak));

namespace fuzz {

// Inflates the zlib stream of packedSize bytes at packed (at most rawMax bytes),
// mutates the inflated bytes (rawSize of them afterwards) and deflates them into out;
// false when the stream does not inflate within rawMax.
inline bool MutateInflated(const uint8_t *packed, size_t packedSize, size_t rawMax, std::vector<uint8_t> &out,
                           size_t &rawSize) {
  std::vector<uint8_t> raw(rawMax + 64);
  uLongf got = (uLongf)rawMax;
  if (uncompress(raw.data(), &got, packed, (uLong)packedSize) != Z_OK) return false;
  const size_t n = LLVMFuzzerMutate(raw.data(), got, raw.size());
  uLongf size = compressBound((uLong)n);
  out.resize(size);
  if (compress2(out.data(), &size, raw.data(), (uLong)n, 9) != Z_OK) return false;
  out.resize(size);
  rawSize = n;
  return true;
}

}  // namespace fuzz
