// Effects benchmark: the time to build the procedural tables, the time from start to
// the show's first frame of "-default" runs of a private copy of the real program
// (watched through X11 captures of its window; the median of five runs, and its phases
// from the arrival times of the log lines of five runs with "-c"), and the median frame
// time of patterns 0 to 8 drawn at chosen timeline times in a real GL context at
// 1024 x 576 and 1920 x 1080. With the argument "startup" only the start-up figures.
// Run under an X display (Xvfb) with LIBGL_ALWAYS_SOFTWARE=1 for llvmpipe.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "base/file.h"
#include "bench/bench_util.h"
#include "media/texture/TL.h"
#include "media/window/WM.h"
#include "platform/sysinfo.h"
#include "presentation/bindings.h"
#include "presentation/gl.h"
#include "presentation/ife.h"
#include "presentation/overlay.h"
#include "presentation/procedural.h"
#include "presentation/scenes.h"
#include "presentation/show.h"
#include "presentation/tempo.h"
#include "presentation/textures.h"
#include "presentation/window.h"

namespace {

// The window of process pid titled title: other runs of the program may share the display.
Window FindWindow(Display *display, Window root, const char *title, pid_t pid) {
  char *name = nullptr;
  if (XFetchName(display, root, &name) && name) {
    bool match = std::string(name) == title;
    XFree(name);
    Atom type;
    int format;
    unsigned long count = 0, after;
    unsigned char *data = nullptr;
    Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (match && pidAtom != None &&
        XGetWindowProperty(display, root, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
      match = count == 1 && (pid_t)*(unsigned long *)data == pid;
      XFree(data);
    }
    if (match) return root;
  }
  Window rootOut, parent, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, root, &rootOut, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; i++) found = FindWindow(display, children[i], title, pid);
  if (children) XFree(children);
  return found;
}

// The loading bar's left end, at 250 x 300 of the 1280 x 720 layer space.
int LoaderState(Display *display, Window window) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(display, window, &a) || a.map_state != IsViewable) return -1;
  int x = a.width * 250 / 1280, y = a.height - a.height * 300 / 720;
  XImage *image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return -1;
  unsigned long p = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  int r = (p >> 16) & 255, b = p & 255;
  return b > 150 && b > r + 40;
}

// One "-default" run of a private copy of the program: the spawn-relative time of the
// first capture after the loading screen has gone and, with logged set, the arrival
// time of each line of its log copy on stdout (option "-c").
struct StartRun {
  double firstFrame = -1;
  std::vector<std::pair<std::string, double>> lines;
};

// Windows come and go while the tree is walked (the program's own, other runs on the
// display): a request on a vanished one is not an error of the watcher.
int IgnoreXError(Display *, XErrorEvent *) { return 0; }

StartRun RunOnce(const std::string &bin, bool logged) {
  StartRun run;
  Display *display = XOpenDisplay(nullptr);
  if (!display) return run;
  XSetErrorHandler(IgnoreXError);
  int out[2];
  if (pipe(out) != 0) {
    XCloseDisplay(display);
    return run;
  }
  Clock::time_point start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive the watcher
    setenv("KORVADYNE_HEADLESS", "1", 1);
    setenv("ALSOFT_DRIVERS", "null", 0);
    int devnull = open("/dev/null", O_WRONLY);
    dup2(logged ? out[1] : devnull, 1);
    dup2(devnull, 2);
    close(out[0]);
    close(out[1]);
    std::string exe = bin + "/korvadyne";
    if (logged)
      execl(exe.c_str(), exe.c_str(), "-default", "-c", (char *)nullptr);
    else
      execl(exe.c_str(), exe.c_str(), "-default", (char *)nullptr);
    _exit(127);
  }
  close(out[1]);
  std::string pending;
  bool sawLoader = false;
  Window window = 0;
  // The pipe paces the watch while it is open; a closed one would return at once.
  bool reading = logged;
  while (Ms(start, Clock::now()) < 20000 && waitpid(pid, nullptr, WNOHANG) == 0) {
    pollfd p = {out[0], POLLIN, 0};
    if (!reading) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } else if (poll(&p, 1, 1) > 0) {
      char buffer[8192];
      ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) reading = false;
      double now = Ms(start, Clock::now());
      for (ssize_t i = 0; i < n; i++) {
        if (buffer[i] != '\n') {
          pending += buffer[i];
          continue;
        }
        run.lines.emplace_back(pending, now);
        pending.clear();
      }
    }
    if (!window) window = FindWindow(display, DefaultRootWindow(display), "tarvo!korvadyne", pid);
    int state = window ? LoaderState(display, window) : -1;
    if (state == 1) sawLoader = true;
    if (state == 0 && sawLoader) {
      run.firstFrame = Ms(start, Clock::now());
      break;
    }
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(out[0]);
  XCloseDisplay(display);
  return run;
}

// Of a few runs: the mean of the middle two of an even count; -1 for none.
double RunMedian(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Phase ends, in start-up order: the first log line that begins with the text.
struct Phase {
  const char *name, *line;
};
constexpr Phase kPhases[] = {
    {"loader, libraries, static init", "--- tarvo!korvadyne application framework"},
    {"base start (log, system and CPU detection)", "[init] --- subsystems"},
    {"window manager, GL, GLU, texture loader", "[init] --- end"},
    {"pack open", "creatwindow"},
    {"dialog engine, msgbox.xml, cfg.xml", "[cfg] width:"},
    {"window and GL context", "[gl] --- check extensions:"},
    {"GL checks, four clears and swaps", "[ife] load: loader.ife"},
    {"loader.ife, font and screen textures", "[ife] load: v_blur.ife"},
    {"loading steps 1-8 (effect files)", "[ife] load: whiteflash.ife"},
    {"steps 9-53 (textures, images, tables)", "[tss]"},
    {"music start to first frame", nullptr},
};

// Five plain runs give the figure; five logged runs split it into phases (the log
// costs a little: its own lines and the system detection it switches on).
int StartupBench(const std::string &binary) {
  std::error_code ec;
  char pattern[] = "/tmp/korv-bench-startup-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::filesystem::path copy = pattern;
  std::filesystem::copy_file(binary + "/bin/korvadyne", copy / "korvadyne", ec);
  if (!ec) std::filesystem::copy_file(binary + "/bin/quv.dat", copy / "quv.dat", ec);
  if (ec) {
    std::printf("start to first frame: cannot copy bin/ (%s)\n", ec.message().c_str());
    std::filesystem::remove_all(copy, ec);
    return 1;
  }
  constexpr size_t kRuns = 5;
  constexpr int kCount = sizeof kPhases / sizeof kPhases[0];
  std::vector<double> plain;
  std::vector<double> phases[kCount];
  std::vector<double> logged;
  // A capture can miss the loading screen on a busy display: such a run is repeated,
  // up to twice the count.
  for (size_t attempt = 0; attempt < 2 * kRuns && (plain.size() < kRuns || logged.size() < kRuns); attempt++) {
    if (plain.size() < kRuns) {
      StartRun a = RunOnce(copy.string(), false);
      if (a.firstFrame >= 0) plain.push_back(a.firstFrame);
    }
    if (logged.size() >= kRuns) continue;
    StartRun b = RunOnce(copy.string(), true);
    if (b.firstFrame < 0) continue;
    logged.push_back(b.firstFrame);
    double previous = 0;
    for (int i = 0; i < kCount; i++) {
      double end = b.firstFrame;
      if (kPhases[i].line) {
        auto it = std::find_if(b.lines.begin(), b.lines.end(),
                               [&](const auto &l) { return l.first.rfind(kPhases[i].line, 0) == 0; });
        if (it == b.lines.end()) continue;
        end = it->second;
      }
      phases[i].push_back(end - previous);
      previous = end;
    }
  }
  std::filesystem::remove_all(copy, ec);
  if (plain.empty()) {
    std::printf("start to first frame: not seen (no display or no window)\n");
    return 1;
  }
  std::printf("start to first frame (-default, 53 loading steps of 10 ms), %d runs:", (int)plain.size());
  for (double t : plain) std::printf(" %.0f", t);
  std::printf(" ms; median %.0f ms\n", RunMedian(plain));
  std::printf("with the log on (-c), %d runs, median %.0f ms; phases (median ms):\n", (int)logged.size(),
              RunMedian(logged));
  for (int i = 0; i < kCount; i++) std::printf("  %-44s %7.1f\n", kPhases[i].name, RunMedian(phases[i]));
  return 0;
}

// The loading sequence's own work in this process, timed piece by piece in a 1024 x 576
// window: what the start-up costs beyond its required sleeps (53 loading steps of
// 10 ms, five 50 ms sleeps of the CPU-frequency measurement).
void StartupParts(wm_window_t *window) {
  auto time = [](auto &&work) {
    Clock::time_point a = Clock::now();
    work();
    return Ms(a, Clock::now());
  };
  MainWindow = window;
  ScreenWidth = 1024;
  ScreenHeight = 576;
  glInitExt();
  TexInit();  // the texture management unit's start-up
  const double loader = time([] { IfeLoad(&IfeLoaderFx, "loader.ife", ""); });
  txOptions(3, 1);
  txOptions(2, 0);
  TexInit();
  const double font = time([] { FontTextureBuild(); });
  const double screen = time([] { ScenesCreateScreenTexture(); });
  double effects = 0;
  for (int32_t i = 0; i < 9; i++) effects += time([i] { ScenesLoadEffect(i); });
  const char *textures[3] = {"sprite8.tga", "kekviz.tga", "greet.tga"};
  const int32_t filters[3] = {3, 3, 0};
  double texture[3];
  for (int i = 0; i < 3; i++) texture[i] = time([&] { TexLoad(textures[i], filters[i]); });
  const double files = time([] {
    for (const char *name : {"logo.tga", "greet.tga"}) {
      SYS_File_t *f = SYS_FileOpen(name, 0);
      if (!f) continue;
      const int32_t size = SYS_FileSize(name);
      uint8_t *block = (uint8_t *)PasMemGet(size > 0 ? size : 1, "bench file");
      if (block && size > 0) SYS_FileRead(f, block, size);
      SYS_FileClose(f);
      PasMemFree((void **)&block);
    }
  });
  const double tables = time([] { ProcBuildTables(nullptr); });
  // One loading step without its sleep: two renders of the loading screen and a swap.
  std::vector<double> steps;
  for (int i = 0; i < 20; i++)
    steps.push_back(time([i] {
      LetterboxHeight = LetterboxHeightFor(ScreenWidth);
      glViewport(0, LetterboxY(ScreenHeight, LetterboxHeight), ScreenWidth, LetterboxHeight);
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      IfeRender(&IfeLoaderFx, (float)((i + 1) * 18.8));
      wmSwapBuffers(MainWindow);
      wmProcessEvents();
      IfeRender(&IfeLoaderFx, (float)((i + 1) * 18.8));
      glFinish();
    }));
  std::printf("start-up work in one process, 1024x576 (ms): loader.ife %.1f, font texture %.1f, screen texture %.1f, "
              "nine effect files %.1f, sprite8/kekviz/greet textures %.1f / %.1f / %.1f, logo and greet files %.1f, "
              "procedural tables %.1f, one loading step without its sleep %.2f (median of 20; x 53 = %.0f)\n",
              loader, font, screen, effects, texture[0], texture[1], texture[2], files, tables, RunMedian(steps),
              53 * RunMedian(steps));
}

// The timeline time at which each pattern is drawn: inside it, clear of its flash.
const int32_t kPatternTimes[9] = {3000, 10000, 15000, 19000, 23000, 27500, 31000, 34500, 38000};

double MedianFrame(wm_window_t *window, int32_t width, int32_t height, int32_t pattern, int frames) {
  TempoState tempo;
  TempoMapAt(tempo, kPatternTimes[pattern]);
  std::vector<double> times;
  for (int f = 0; f < frames; f++) {
    // Patterns 3 and 4 step their time: restore it every frame.
    SegmentTime = tempo.SegmentTime + f;
    Pattern = tempo.Pattern;
    Beat = tempo.Beat;
    Clock::time_point a = Clock::now();
    BeginFrame(width, height);
    ScenesDraw(Pattern);
    DrawWhiteFlashes(Pattern, SegmentTime, tempo.Row);
    wmSwapBuffers(window);
    glFinish();
    times.push_back(Ms(a, Clock::now()));
  }
  return Median(times);
}

}  // namespace

int main(int argc, char **argv) {
  platKeepFreedMemory();  // as the program does first thing
  const std::string binary = KORV_BENCH_BINARY_DIR;
  std::printf("effects benchmark (llvmpipe, %u hardware threads)\n", std::thread::hardware_concurrency());
  if (argc > 1 && std::strcmp(argv[1], "startup") == 0) {
    const int result = StartupBench(binary);
    if (!StartBenchGl((binary + "/content").c_str())) return 1;
    wm_window_t *window = ShownWindow(1024, 576);
    if (!window) return 1;
    StartupParts(window);
    wmDestroyWindow(window);
    return result;
  }

  Clock::time_point a = Clock::now();
  if (ProcBuildTables(nullptr) != 0) return 1;
  std::printf("procedural tables: %.1f ms\n", Ms(a, Clock::now()));

  StartupBench(binary);

  if (!StartBenchGl((binary + "/content").c_str())) return 1;
  const int32_t sizes[2][2] = {{1024, 576}, {1920, 1080}};
  double medians[2][9] = {};
  for (int s = 0; s < 2; s++) {
    int32_t width = sizes[s][0], height = sizes[s][1];
    wm_window_t *window = ShownWindow(width, height);
    if (!window) return 1;
    if (s == 0) {
      glInitExt();
      txOptions(3, 1);
      TexInit();
      IfeLoad(&IfeFadeoutFx, "fadeout.ife", "");
      IfeLoad(&IfeWhiteFlashFx, "whiteflash.ife", "");
    }
    MainWindow = window;
    SpriteTexture = TexLoad("sprite8.tga", 3);
    if (!LogoImage) {
      SYS_File_t *logo = SYS_FileOpen("logo.tga", 0);
      if (!logo) return 1;
      LogoImageSize = SYS_FileSize("logo.tga");
      LogoImage = (uint8_t *)PasMemGet(LogoImageSize, "bench logo");
      SYS_FileRead(logo, LogoImage, LogoImageSize);
      SYS_FileClose(logo);
    }
    ScreenWidth = width;
    ScreenHeight = height;
    for (int32_t p = 0; p < 9; p++) medians[s][p] = MedianFrame(window, width, height, p, 40);
    wmDestroyWindow(window);
  }
  std::printf("pattern  time(ms)  1024x576(ms)  1920x1080(ms)\n");
  for (int32_t p = 0; p < 9; p++)
    std::printf("%7d  %8d  %12.2f  %13.2f%s\n", p, kPatternTimes[p], medians[0][p], medians[1][p],
                medians[1][p] < 16.7 ? "" : "  (over 16.7)");
  return 0;
}
