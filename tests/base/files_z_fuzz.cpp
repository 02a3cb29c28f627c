// libFuzzer harness of compressed blocks: arbitrary bytes inflated as a block of known
// length either give exactly the header's raw size, which compresses and inflates back
// to the same bytes, or a refusal with nothing handed out.
#include <cstdint>
#include <cstring>

#include "base/main.h"
#include "base/mem.h"
#include "base/z.h"
#include "tests/common/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool up = SYS_BaseInit(nullptr, 0, nullptr, nullptr) == 0;
  fuzz::Expect(up, "framework start");
  if (size > INT32_MAX) return 0;
  fuzz::GivesBackWhatItTakes([&] {
    void *out = nullptr;
    int32_t outSize = -1;
    if (SYS_ZUncompressN(data, (int32_t)size, &out, &outSize) == 0) {
      fuzz::Expect(out != nullptr && size >= SYS_ZHEADER_SIZE, "success hands out a buffer");
      fuzz::Expect((uint32_t)outSize == SYS_ZHeaderRead(data).rawSize, "the header's raw size");
      void *block = nullptr, *again = nullptr;
      int32_t blockSize = 0, againSize = -1;
      fuzz::Expect(SYS_ZCompressBlock(out, outSize, &block, &blockSize) == 0, "the bytes compress");
      fuzz::Expect(SYS_ZUncompressN(block, blockSize, &again, &againSize) == 0, "our block inflates");
      fuzz::Expect(againSize == outSize && std::memcmp(again, out, (size_t)outSize) == 0, "round trip");
      SYS_MemFree(&block);
      SYS_MemFree(&again);
      SYS_MemFree(&out);
    } else {
      fuzz::Expect(out == nullptr, "a refusal hands out nothing");
    }
  });
  return 0;
}
