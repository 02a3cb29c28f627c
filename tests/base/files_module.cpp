// Test module for the module loader: built as Modules/korvtest-w32.so and linked
// against nothing of the framework, it reaches the framework only through the
// lookup its dllInit receives, and records what it found for the test to read.
#include <cstdint>
#include <cstring>

namespace {

typedef void *(*Lookup_t)(const char *name);
typedef void *(*FileOpen_t)(const char *path, int32_t flags);
typedef int32_t (*FileRead_t)(void *file, void *buffer, int32_t length);
typedef void (*FileClose_t)(void *file);
typedef uint32_t (*Crc32_t)(const void *data, int32_t length);

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int korvtestInitCalls = 0;
__attribute__((visibility("default"))) void *korvtestFileOpen = nullptr;
__attribute__((visibility("default"))) int korvtestMissingFound = -1;
__attribute__((visibility("default"))) int32_t korvtestBytesRead = -1;
__attribute__((visibility("default"))) uint32_t korvtestCrc = 0;

__attribute__((visibility("default"))) int dllInit(Lookup_t lookup)
{
  ++korvtestInitCalls;
  korvtestFileOpen = lookup("SYS_FileOpen");
  // Names outside the table, or in other letter case, are not reachable.
  korvtestMissingFound = (lookup("SYS_FileTell") != nullptr) + (lookup("sys_fileopen") != nullptr) +
                         (lookup("SYS_BaseInit") != nullptr);
  auto open = reinterpret_cast<FileOpen_t>(korvtestFileOpen);
  auto read = reinterpret_cast<FileRead_t>(lookup("SYS_FileRead"));
  auto close = reinterpret_cast<FileClose_t>(lookup("SYS_FileClose"));
  auto crc = reinterpret_cast<Crc32_t>(lookup("SYS_ZCrc32"));
  if (open == nullptr || read == nullptr || close == nullptr || crc == nullptr)
    return -1;
  void *file = open("module-input.txt", 0);
  if (file == nullptr)
    return -1;
  char buffer[256];
  korvtestBytesRead = read(file, buffer, sizeof buffer);
  close(file);
  korvtestCrc = crc(buffer, korvtestBytesRead);
  return 0;
}

}  // extern "C"
