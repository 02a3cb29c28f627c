// Shared helpers of the spine tests: a scratch directory per test and the framework
// started with a log file in it, so log lines can be checked; the timeline set by hand.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/log.h"
#include "base/main.h"
#include "base/time.h"

namespace spine_test {

inline std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Moves the timer so that the next reading is about t.
inline void SetTimeline(int32_t t) {
  SYS_TimerReset();
  SYS_TimerSetAdjust(-t);
}

// Moves into a fresh directory and starts the framework with the log on ("-v") into
// "spine.log" there.
class Framework : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("korv-spine-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
            std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    static const char *argv[] = {"spine-test", "-v", "-debug-log", "spine.log"};
    SYS_BaseInit(nullptr, 4, argv, nullptr);
    // The log keeps the name it was first given in this process.
    SYS_DbgLogFile("spine.log");
  }
  void TearDown() override {
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(dir_);
  }
  std::string Log() const { return ReadFile((dir_ / "spine.log").string()); }

  std::filesystem::path dir_;
};

}  // namespace spine_test
