// Shared helpers of the file-layer tests: a scratch working directory per test,
// checks run as an unprivileged user, an error-callback recorder, and "TRVP" packs
// assembled from bytes here in the test (zlib is used only for deflate data), so the
// reader is checked against the format rather than against our own writer.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/file.h"
#include "base/log.h"
#include "base/mem.h"

namespace files_test {

namespace fs = std::filesystem;

inline std::string readFile(const fs::path &path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeFile(const fs::path &path, const std::string &bytes)
{
  if (path.has_parent_path())
    fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string le32(uint32_t v)
{
  return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

inline uint32_t readLe32(const std::string &s, size_t at)
{
  auto b = [&](size_t i) { return uint32_t(uint8_t(s[at + i])); };
  return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

inline std::string le16(uint16_t v)
{
  return std::string{char(v), char(v >> 8)};
}

inline uint32_t crcOf(const std::string &s)
{
  return uint32_t(crc32(0, reinterpret_cast<const Bytef *>(s.data()), uInt(s.size())));
}

// A zlib stream holding data in one stored deflate block, laid out by hand:
// CMF/FLG, final stored block header, LEN, NLEN, the bytes, Adler-32 (big-endian).
inline std::string storedStream(const std::string &data)
{
  uint16_t n = uint16_t(data.size());
  std::string s = "\x78\x01";
  s += '\x01';
  s += le16(n) + le16(uint16_t(~n));
  s += data;
  uint32_t a = uint32_t(adler32(1, reinterpret_cast<const Bytef *>(data.data()), uInt(data.size())));
  s += std::string{char(a >> 24), char(a >> 16), char(a >> 8), char(a)};
  return s;
}

// A real deflate stream of data.
inline std::string deflated(const std::string &data, int level = 6)
{
  uLongf n = compressBound(uLong(data.size()));
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef *>(out.data()), &n, reinterpret_cast<const Bytef *>(data.data()),
            uLong(data.size()), level);
  out.resize(n);
  return out;
}

// A compressed block: raw size, packed size, CRC-32 of the packed bytes, stream.
inline std::string block(uint32_t rawSize, const std::string &stream)
{
  return le32(rawSize) + le32(uint32_t(stream.size())) + le32(crcOf(stream)) + stream;
}

inline std::string record(uint32_t stored, uint32_t offset, uint8_t flags, const std::string &name)
{
  return le32(stored) + le32(offset) + std::string(1, char(flags)) + le16(uint16_t(name.size())) + name;
}

struct PackEntry {
  std::string name;
  std::string content;
  bool compressed;
};

// A well-formed pack: header, entry data in order, deflated catalog last.
inline std::string buildPack(const std::vector<PackEntry> &entries)
{
  std::string data, catalog;
  for (const PackEntry &e : entries) {
    std::string stored = e.compressed ? block(uint32_t(e.content.size()), deflated(e.content)) : e.content;
    catalog += record(uint32_t(stored.size()), uint32_t(12 + data.size()), e.compressed ? 1 : 0, e.name);
    data += stored;
  }
  return "TRVP" + le32(uint32_t(entries.size())) + le32(uint32_t(12 + data.size())) + data +
         block(uint32_t(catalog.size()), deflated(catalog));
}

// Bytes in tracked blocks right now, from the memory manager's own report.
inline long trackedBytes()
{
  EXPECT_EQ(SYS_MemInfo("tracked.txt"), 0);
  std::string report = readFile("tracked.txt");
  size_t at = report.find("Total: ");
  return at == std::string::npos ? -1 : std::stol(report.substr(at + 7));
}

// Everything the error callback received.
struct Calls {
  static inline std::vector<std::pair<int32_t, std::string>> seen;
  static int record(int32_t code, const char *text)
  {
    seen.emplace_back(code, text ? text : "");
    return 0;
  }
};

// Each test runs in its own scratch directory with the callback recorder installed.
class Scratch : public ::testing::Test {
protected:
  void SetUp() override
  {
    old_ = fs::current_path();
    for (size_t i = 0; i < kEnv.size(); i++) {
      const char *value = getenv(kEnv[i]);
      env_[i] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    std::string pattern = (fs::temp_directory_path() / "korv-files-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::current_path(dir_);
    Calls::seen.clear();
    errSetCallback(Calls::record);
  }
  void TearDown() override
  {
    errSetCallback(nullptr);
    // Packs are registered for the process, by paths relative to this folder: the next
    // test in the same process starts with none.
    SYS_FileDone();
    // The home base and the variables the paths come from outlive a test too.
    SYS_PathSetHomeBase(nullptr);
    for (size_t i = 0; i < kEnv.size(); i++) {
      if (env_[i])
        setenv(kEnv[i], env_[i]->c_str(), 1);
      else
        unsetenv(kEnv[i]);
    }
    fs::current_path(old_);
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
  }
  // Whole content of an entry through the file layer; "<null>" when it does not open.
  static std::string slurp(const char *path)
  {
    SYS_File_p f = SYS_FileOpen(path, 0);
    if (f == nullptr)
      return "<null>";
    std::string out;
    char buffer[4096];
    for (int32_t n; (n = SYS_FileRead(f, buffer, sizeof buffer)) > 0;)
      out.append(buffer, size_t(n));
    SYS_FileClose(f);
    return out;
  }
  // check() as this user; as root, who reads and lists whatever the mode says, in a
  // child that drops to nobody first (the scratch directory opened to it). False also
  // when there is no child.
  bool checkUnprivileged(const std::function<bool()> &check)
  {
    if (geteuid() != 0)
      return check();
    chmod(dir_.c_str(), 0755);
    pid_t child = fork();
    if (child < 0)
      return false;
    if (child == 0)
      _exit(setgid(65534) == 0 && setuid(65534) == 0 && check() ? 0 : 1);
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  fs::path old_, dir_;
  static constexpr std::array<const char *, 3> kEnv{"HOME", "TEMP", "XDG_DESKTOP_DIR"};
  std::array<std::optional<std::string>, 3> env_;
};

}  // namespace files_test
