// End-to-end runs about the program's files, each from a copy of the build's bin
// folder on an Xvfb server of its own, started in another folder with
// KORVADYNE_HEADLESS set: one debug log per run, in the folder the run started in;
// a damaged pack entry and a damaged pack named as such on stderr.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/common/program_run.h"
#include "tests/common/xvfb.h"

namespace fs = std::filesystem;

namespace {

size_t Count(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

uint32_t Le32(const std::string &s, size_t at) {
  auto b = [&](size_t i) { return uint32_t(uint8_t(s[at + i])); };
  return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    const char *bin = std::getenv("KORV_BINARY_DIR");
    ASSERT_NE(bin, nullptr);
    build_ = bin;
    ASSERT_TRUE(fs::exists(build_ / "bin" / "korvadyne")) << "korvadyne not built";
    server_ = StartPrivateXvfb("1280x720x24", &display_);
    ASSERT_GT(server_, 0) << "Xvfb did not start";
    root_ = FreshTestFolder("korv-e2e-files");
    program_ = root_ / "program";
    start_ = root_ / "start";
    fs::create_directories(program_);
    fs::create_directories(start_);
    fs::copy_file(build_ / "bin" / "korvadyne", program_ / "korvadyne");
  }
  void TearDown() override {
    run_.Kill();
    KillAndReap(server_);
    std::error_code ignored;
    if (!root_.empty()) fs::remove_all(root_, ignored);
  }

  // The content as loose files beside the program.
  void CopyContent() {
    ASSERT_TRUE(fs::exists(build_ / "content"));
    fs::copy(build_ / "content", program_, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
  std::string Pack() {
    EXPECT_TRUE(fs::exists(build_ / "bin" / "quv.dat")) << "no pack built";
    return ReadFile(build_ / "bin" / "quv.dat");
  }

  // Runs the copy from the start folder with args to its end; its exit code, or -1
  // when it did not end within the timeout.
  int Run(const std::vector<std::string> &args, std::chrono::seconds timeout) {
    if (!run_.Start({.program = program_ / "korvadyne",
                     .args = args,
                     .env = ShowEnvironment(display_),
                     .workDir = start_,
                     .err = root_ / "stderr.txt",
                     .out = root_ / "stdout.txt"}))
      return -1;
    return run_.Wait(timeout);
  }
  std::string Stderr() const { return ReadFile(root_ / "stderr.txt"); }

  fs::path build_, root_, program_, start_;
  std::string display_;
  pid_t server_ = -1;
  RunningProgram run_;
};

// The log opens in the start folder and stays there when the program moves into
// its own; each run starts it afresh, and a log beside the program is left alone.
TEST_F(Files, TheDebugLogOfARunStartedElsewhereIsOneFileInTheStartFolder) {
  CopyContent();
  fs::remove(program_ / "logo.tga");  // ends the run early, through the error exit
  WriteFile(start_ / "debug.log", "stale run\n");
  WriteFile(program_ / "debug.log", "beside the program\n");
  for (int run = 0; run < 2; run++) {
    SCOPED_TRACE(run);
    ASSERT_EQ(Run({"-default", "-v"}, std::chrono::seconds(60)), 1) << Stderr();
    const std::string log = ReadFile(start_ / "debug.log");
    EXPECT_EQ(log.rfind("\n\n--- tarvo!korvadyne application framework 0.85\n", 0), 0u) << log;
    EXPECT_EQ(Count(log, "--- tarvo!korvadyne application framework"), 1u) << log;
    EXPECT_EQ(log.find("stale run"), std::string::npos);
    for (const char *line : {"[init] call : Window manager ...\n", "File not found: logo.tga.\n",
                             "[exit] --- subsystems\n"})
      EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    const std::string end = "\n--- End of log.\n\n";
    EXPECT_EQ(log.size() >= end.size() ? log.substr(log.size() - end.size()) : log, end);
    EXPECT_EQ(ReadFile(program_ / "debug.log"), "beside the program\n");
  }
}

// Where a pack entry's data start and how many bytes they take, from the pack's own
// catalog; false when the name is not in it.
bool FindEntry(const std::string &pack, const std::string &name, uint32_t *offset, uint32_t *stored,
               uint8_t *flags) {
  const uint32_t count = Le32(pack, 4), catalog = Le32(pack, 8);
  const std::string block = pack.substr(catalog);
  uLongf raw = Le32(block, 0);
  std::string records(raw, '\0');
  if (uncompress(reinterpret_cast<Bytef *>(records.data()), &raw,
                 reinterpret_cast<const Bytef *>(block.data() + 12), uLong(Le32(block, 4))) != Z_OK)
    return false;
  size_t at = 0;
  for (uint32_t i = 0; i < count && at + 11 <= records.size(); i++) {
    const size_t length = uint8_t(records[at + 9]) | size_t(uint8_t(records[at + 10])) << 8;
    if (records.compare(at + 11, length, name) == 0 && length == name.size()) {
      *stored = Le32(records, at);
      *offset = Le32(records, at + 4);
      *flags = uint8_t(records[at + 8]);
      return true;
    }
    at += 11 + length;
  }
  return false;
}

TEST_F(Files, ADamagedPackEntryIsNamedAsDamaged) {
  std::string pack = Pack();
  uint32_t offset = 0, stored = 0;
  uint8_t flags = 0;
  ASSERT_TRUE(FindEntry(pack, "loader.ife", &offset, &stored, &flags));
  ASSERT_EQ(flags & 1, 1) << "loader.ife is stored plain: nothing to inflate";
  ASSERT_GT(stored, 40u);
  pack[offset + 12 + (stored - 12) / 2] ^= 0x5A;  // inside the stream
  WriteFile(program_ / "quv.dat", pack);
  EXPECT_EQ(Run({"-default"}, std::chrono::seconds(60)), 1) << Stderr();
  const std::string err = Stderr();
  EXPECT_NE(err.find("The pack entry loader.ife is damaged and cannot be read."), std::string::npos) << err;
  EXPECT_EQ(err.find("File not found"), std::string::npos) << err;
}

TEST_F(Files, APackRefusedWholeSaysSoOnceOnStderr) {
  std::string pack = Pack();
  pack[pack.size() - 2] ^= 0x5A;  // the catalog's Adler-32
  WriteFile(program_ / "quv.dat", pack);
  EXPECT_EQ(Run({"-default"}, std::chrono::seconds(60)), 1) << Stderr();
  const std::string err = Stderr();
  const std::string line = "The data pack " + (program_ / "quv.dat").string() + " is damaged; its files are not used.\n";
  EXPECT_EQ(Count(err, line), 1u) << err;
  EXPECT_NE(err.find("File not found: "), std::string::npos) << err;  // and then the first file it lacks
}

}  // namespace
