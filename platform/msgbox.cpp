// System message box: stderr always, an SDL box when there is a display to show it on.
//
// SDL's box waits for a helper process (its own forked box, or the desktop's dialog
// tool) and retries the wait when a signal interrupts it, while its own SIGTERM and
// SIGINT handlers only post a quit event that nobody reads during the box. So for the
// time of the box a handler of ours ends those helpers, the children of the thread
// that shows the box, and the box call returns as if OK had been clicked.
// Depends on: SDL2, /proc (the children of a thread).
#include "platform/msgbox.h"

#include <SDL.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

// SIGALRM repeats the look while the box lasts: a termination that comes while SDL is
// between two helpers finds none, and the next helper must not wait for the user.
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGALRM};
constexpr int kMaxEnded = 16;

volatile sig_atomic_t g_boxThread = 0;  // task id of the thread inside the box
volatile sig_atomic_t g_boxEnded = 0;   // a termination signal came during the box
volatile sig_atomic_t g_endedCount = 0;
volatile sig_atomic_t g_endedPids[kMaxEnded];

// Async-signal-safe: only open, read, close, kill and alarm.
void endBox(int sig)
{
  if (sig != SIGALRM)
    g_boxEnded = 1;
  if (!g_boxEnded)
    return;
  alarm(1);
  char path[64] = "/proc/self/task/";
  int at = 16;
  char digits[16];
  int n = 0;
  for (long tid = g_boxThread; tid > 0 && n < 16; tid /= 10)
    digits[n++] = (char)('0' + tid % 10);
  while (n > 0)
    path[at++] = digits[--n];
  const char tail[] = "/children";
  for (char c : tail)
    path[at++] = c;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return;
  char text[512];
  const ssize_t got = read(fd, text, sizeof text - 1);
  close(fd);
  long pid = 0;
  for (ssize_t i = 0; i <= got; i++) {
    if (i < got && text[i] >= '0' && text[i] <= '9') {
      pid = pid * 10 + (text[i] - '0');
      continue;
    }
    // The helpers inherit this handler, so only SIGKILL is sure to end them.
    if (pid > 0 && kill((pid_t)pid, SIGKILL) == 0 && g_endedCount < kMaxEnded) {
      g_endedPids[g_endedCount] = (sig_atomic_t)pid;
      g_endedCount = g_endedCount + 1;
    }
    pid = 0;
  }
}

}  // namespace

int platMessageBoxVisible(void)
{
  if (std::getenv("KORVADYNE_HEADLESS"))
    return 0;
  const char *x = std::getenv("DISPLAY");
  const char *wl = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wl && *wl);
}

int platMessageBox(const char *title, const char *text, platMsgBoxIcon_t icon)
{
  if (!title)
    title = "";
  if (!text)
    text = "";
  std::fprintf(stderr, "%s: %s\n", title, text);
  std::fflush(stderr);
  if (!platMessageBoxVisible())
    return 0;
  Uint32 flags = SDL_MESSAGEBOX_ERROR;
  if (icon == PLAT_MB_WARNING)
    flags = SDL_MESSAGEBOX_WARNING;
  else if (icon == PLAT_MB_INFO)
    flags = SDL_MESSAGEBOX_INFORMATION;

  g_boxThread = (sig_atomic_t)syscall(SYS_gettid);
  g_boxEnded = 0;
  g_endedCount = 0;
  struct sigaction ours = {}, saved[std::size(kSignals)] = {};
  ours.sa_handler = endBox;  // no SA_RESTART: the wait must see the signal
  sigemptyset(&ours.sa_mask);
  for (int sig : kSignals)
    sigaddset(&ours.sa_mask, sig);
  for (size_t i = 0; i < std::size(kSignals); i++)
    sigaction(kSignals[i], &ours, &saved[i]);
  // Works without SDL_Init; a failure leaves the stderr copy as the only report.
  SDL_ShowSimpleMessageBox(flags, title, text, nullptr);
  alarm(0);
  for (size_t i = 0; i < std::size(kSignals); i++)
    sigaction(kSignals[i], &saved[i], nullptr);
  // A helper ended here may not have been waited for by SDL.
  for (int i = 0; i < g_endedCount; i++)
    waitpid((pid_t)g_endedPids[i], nullptr, 0);
  g_boxThread = 0;
  return g_boxEnded ? 1 : 0;
}
