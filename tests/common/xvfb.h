// A private X server for one test: windows of other tests on a shared server could
// cover ours or take the keyboard focus. Xvfb picks a free display number itself.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

// Starts Xvfb with the given screen ("1920x1080x24"); returns its pid (-1 on failure)
// and sets *display to ":N". Xvfb writes the number once it accepts clients, then a
// newline in a second write: the pipe stays open until that has arrived, or the server
// dies of the failed write. No reset when the last client leaves, so a key sender that
// comes before the program does not restart the server under it. The server dies with
// the test process.
inline pid_t StartPrivateXvfb(const char *screen, std::string *display) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t server = fork();
  if (server == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    close(fds[0]);
    const std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp", "-noreset",
           (char *)nullptr);
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  char c = 0;
  while (server > 0 && number.size() < 16) {
    const ssize_t n = read(fds[0], &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (server <= 0) return -1;
  if (c != '\n' || number.empty()) {
    kill(server, SIGKILL);
    return -1;
  }
  char name[32];
  std::snprintf(name, sizeof name, ":%d", std::atoi(number.c_str()));
  *display = name;
  return server;
}
