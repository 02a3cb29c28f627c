// Replays a libFuzzer harness without libFuzzer: every regular file of the folders on
// the command line (in name order) goes once through LLVMFuzzerTestOneInput, so a
// corpus and its crash fixtures run in any build. A harness reports a broken invariant
// by aborting, which ends the replay with a failure like the crash itself would.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) __attribute__((weak));

int main(int argc, char **argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; i++) {
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(argv[i], ec))
      if (entry.is_regular_file()) files.push_back(entry.path());
    if (ec) {
      std::fprintf(stderr, "fuzz-replay: cannot read %s\n", argv[i]);
      return 1;
    }
  }
  std::sort(files.begin(), files.end());
  for (const auto &path : files) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "fuzz-replay: %s\n", path.c_str());
    // A block of exactly the input's size, as libFuzzer hands it over, so a read one
    // byte past it is seen by the sanitizer build.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + !bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    LLVMFuzzerTestOneInput(copy.get(), bytes.size());
  }
  std::printf("fuzz-replay: %zu inputs replayed\n", files.size());
  return files.empty() ? 1 : 0;
}
