// Shared fixture of the base-services tests: a private temporary directory that
// holds the program path, the framework started on it, and a count of the
// tracked blocks (from the memory report) for leak checks.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/main.h"
#include "base/mem.h"

namespace ext {

struct Tracked {
  long blocks = -1;
  long long bytes = -1;
  bool operator==(const Tracked &o) const { return blocks == o.blocks && bytes == o.bytes; }
};

inline std::string ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteAll(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

class BaseTest : public ::testing::Test {
 protected:
  std::string dir;
  std::string program;

  // Extra command-line options after the program path.
  virtual std::vector<std::string> Options() { return {}; }

  void SetUp() override {
    char tmpl[] = "/tmp/korv-ext-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    program = dir + "/prog";
    std::vector<std::string> args{program};
    for (auto &o : Options()) args.push_back(o == "@LOG" ? dir + "/debug.log" : o);
    std::vector<const char *> argv;
    for (auto &a : args) argv.push_back(a.c_str());
    SYS_BaseInit(nullptr, (int32_t)argv.size(), argv.data(), nullptr);
  }

  void TearDown() override {
    SYS_BaseDone();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  // Blocks and bytes the tracked allocator holds now.
  Tracked Count() {
    std::string report = dir + "/mem.report";
    Tracked t;
    if (SYS_MemInfo(report.c_str()) != 0) return t;
    std::string text = ReadAll(report);
    t.blocks = 0;
    for (size_t p = 0; (p = text.find(" bytes\n", p)) != std::string::npos; p++) t.blocks++;
    t.blocks--;  // the "Total:" line
    size_t total = text.find("Total: ");
    t.bytes = total == std::string::npos ? -1 : std::atoll(text.c_str() + total + 7);
    return t;
  }
};

}  // namespace ext
