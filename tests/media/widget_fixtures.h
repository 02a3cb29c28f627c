// Shared helpers of the widget tests: the framework started once per process, the
// live tracked blocks (from the memory report), synthetic mouse events and a
// recording user callback.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/main.h"
#include "base/mem.h"
#include "media/widget/widget.h"

namespace widget_test {

inline void StartFramework() {
  // Once per process: the base shutdown frees records other modules still hold.
  static bool up = SYS_BaseInit(nullptr, 0, nullptr, nullptr) == 0;
  ASSERT_TRUE(up);
}

// Bytes in tracked blocks, from the memory manager's own report.
inline long long TrackedBytes() {
  const std::string path = "widget-mem-" + std::to_string(::getpid()) + ".txt";
  if (SYS_MemInfo(path.c_str()) != 0) return -1;
  std::ifstream in(path);
  std::string line;
  long long total = -1;
  while (std::getline(in, line))
    if (std::sscanf(line.c_str(), "Total: %lld bytes", &total) == 1) break;
  std::remove(path.c_str());
  return total;
}

inline wm_event_t Mouse(wm_window_t *window, int x, int y, int left, int button = WM_MOUSE_MOVE) {
  wm_event_t e;
  std::memset(&e, 0, sizeof e);
  e.type = WM_EVENT_MOUSE;
  e.window = window;
  e.mouse.button = button;
  e.mouse.left = left;
  e.mouse.x = x;
  e.mouse.y = y;
  return e;
}

struct Seen {
  int32_t id;
  int32_t type;
  int32_t value;  // the widget's VALUE when its callback ran
  int32_t x, y;   // mouse position as the callback saw it
};
inline std::vector<Seen> g_seen;
inline int Record(widget_item_t *w, wm_event_t *e) {
  g_seen.push_back({w->id, e->type, w->value, e->mouse.x, e->mouse.y});
  return 0;
}

// Every widget of a set, in order.
inline std::vector<widget_item_t *> Items(SYS_List_p set) {
  std::vector<widget_item_t *> out;
  for (SYS_List_p n = set; n; n = n->next) out.push_back((widget_item_t *)n->item);
  return out;
}

inline std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace widget_test
