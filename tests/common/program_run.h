// Runs of the real program for the end-to-end tests: started with its own arguments,
// environment, working folder and output files, polled or waited for with a timeout,
// and killed when the test leaves it running.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

inline std::string ReadFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::filesystem::path &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// <temp>/<prefix>-<test name>-<pid>, made afresh.
inline std::filesystem::path FreshTestFolder(const std::string &prefix) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() /
      (prefix + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
       std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// SIGKILL to pid and its end collected; nothing for pid <= 0.
inline void KillAndReap(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// One variable of the run's environment: set, kept when already there, or unset.
struct EnvSetting {
  std::string name;
  std::optional<std::string> value{};  // none: unset
  bool keepExisting = false;
};

// A show on display: headless, software GL, no sound device.
inline std::vector<EnvSetting> ShowEnvironment(const std::string &display) {
  return {{"DISPLAY", display}, {"KORVADYNE_HEADLESS", "1"}, {"LIBGL_ALWAYS_SOFTWARE", "1"}, {"ALSOFT_DRIVERS", "null"}};
}

// What a run may leave out has an initializer, so designated initializers can skip it.
struct ProgramRun {
  std::filesystem::path program;
  std::vector<std::string> args{};      // after the program's path
  std::vector<EnvSetting> env{};        // changes to the test's own environment
  std::filesystem::path workDir{};      // empty: the test's own
  std::filesystem::path err{}, out{};   // files for stderr and stdout; empty: the test's own
  int executable = -1;                  // an open file run in place of program
  bool dieWithTest = true;              // SIGKILL when the test process ends
};

class RunningProgram {
 public:
  using Clock = std::chrono::steady_clock;

  RunningProgram() = default;
  RunningProgram(const RunningProgram &) = delete;
  RunningProgram &operator=(const RunningProgram &) = delete;
  ~RunningProgram() { Kill(); }

  // False when the process cannot be made. A child that cannot set itself up ends
  // with 126, one whose exec fails with 127.
  bool Start(const ProgramRun &run) {
    Kill();
    exit_ = -1;
    std::vector<std::string> args{run.program.string()};
    args.insert(args.end(), run.args.begin(), run.args.end());
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      if (run.dieWithTest) prctl(PR_SET_PDEATHSIG, SIGKILL);
      if ((!run.out.empty() && !std::freopen(run.out.c_str(), "w", stdout)) ||
          (!run.err.empty() && !std::freopen(run.err.c_str(), "w", stderr)))
        _exit(126);
      for (const EnvSetting &e : run.env)
        if (e.value) setenv(e.name.c_str(), e.value->c_str(), e.keepExisting ? 0 : 1);
        else unsetenv(e.name.c_str());
      if (!run.workDir.empty() && chdir(run.workDir.c_str()) != 0) _exit(126);
      if (run.executable >= 0) fexecve(run.executable, argv.data(), environ);
      else execv(argv[0], argv.data());
      _exit(127);
    }
    started_ = Clock::now();
    return true;
  }

  pid_t Pid() const { return pid_; }
  Clock::time_point Started() const { return started_; }
  Clock::time_point Ended() const { return ended_; }

  // Exit code, or 128 + signal, once the run has ended; -1 while it runs.
  int Poll() {
    if (exit_ != -1 || pid_ <= 0) return exit_;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return -1;
    pid_ = -1;
    ended_ = Clock::now();
    exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return exit_;
  }

  // Polls until timeout after the start; the exit code, or -1 when the run did not end
  // in time (it is killed then).
  int Wait(std::chrono::seconds timeout) {
    while (Clock::now() - started_ < timeout) {
      if (Poll() != -1) return exit_;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Kill();
    return -1;
  }

  // As Wait, with the timeout counted from now.
  int WaitFromNow(std::chrono::seconds timeout) {
    return Wait(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started_) + timeout);
  }

  // Kills a run that is still going; it then counts as ended by SIGKILL.
  void Kill() {
    if (Poll() != -1 || pid_ <= 0) return;
    KillAndReap(pid_);
    pid_ = -1;
    ended_ = Clock::now();
    exit_ = 128 + SIGKILL;
  }

 private:
  pid_t pid_ = -1;
  int exit_ = -1;
  Clock::time_point started_, ended_;
};

// The line the show's log (-v) gets just before its timeline starts: the music's player
// thread is started, then the timer restarts.
inline constexpr std::string_view kShowTimelineStarts = "thread created: \"TSS Music Player\"";

// Polls file every millisecond until it holds text: the moment that was seen, or nothing
// when the run ended first or timeout passed since its start. The moment is late by
// about a millisecond, plus whatever the scheduler adds.
inline std::optional<RunningProgram::Clock::time_point> WaitForText(RunningProgram &run,
                                                                     const std::filesystem::path &file,
                                                                     std::string_view text,
                                                                     std::chrono::seconds timeout) {
  std::error_code error;
  uintmax_t seen = 0;
  while (RunningProgram::Clock::now() - run.Started() < timeout && run.Poll() == -1) {
    const uintmax_t size = std::filesystem::file_size(file, error);
    if (!error && size > seen) {
      seen = size;
      if (ReadFile(file).find(text) != std::string::npos) return RunningProgram::Clock::now();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return std::nullopt;
}

// After a quit: the exit code once the run ends, -1 when it does not end in time. A quit
// that comes during the loading ends the run only once the loading is done, and a
// loaded machine can stretch the loading past any fixed time from the start; so the
// bound counts from the log's timeline start (from now when the show was on already).
inline int WaitForEndAfterLoading(RunningProgram &run, const std::filesystem::path &log, std::chrono::seconds bound) {
  const auto loaded = WaitForText(run, log, kShowTimelineStarts, std::chrono::seconds(150));
  return run.Wait(std::chrono::duration_cast<std::chrono::seconds>(
                      (loaded ? *loaded : RunningProgram::Clock::now()) - run.Started()) +
                  bound);
}
