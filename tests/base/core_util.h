// Shared fixture of the base core tests: every test runs in its own scratch
// directory (log and report files never collide between parallel tests), and the
// framework is started with a given command line and shut down again.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/main.h"

namespace core_test {

inline std::string readFile(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeFile(const std::string &path, const std::string &text)
{
  std::ofstream(path, std::ios::binary) << text;
}

inline bool exists(const std::string &path) { return std::filesystem::exists(path); }

inline std::vector<std::string> lines(const std::string &text)
{
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    out.push_back(line);
  return out;
}

// Starts the framework with "prog" followed by args.
inline void start(std::initializer_list<const char *> args)
{
  std::vector<const char *> argv{"prog"};
  argv.insert(argv.end(), args.begin(), args.end());
  SYS_BaseInit(nullptr, static_cast<int32_t>(argv.size()), argv.data(), nullptr);
}

class Scratch : public ::testing::Test {
protected:
  void SetUp() override
  {
    old_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "korv-core-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::filesystem::current_path(dir_);
  }
  void TearDown() override
  {
    std::filesystem::current_path(old_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::filesystem::path old_, dir_;
};

}  // namespace core_test
