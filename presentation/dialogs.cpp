// Setup dialog, message box, the dialog engine's start and the error callback: see dialogs.h.
// Depends on: bindings, window, media (widgets, WM, TL, TM, FR, GL tables), base
// (cfg, time, log), platform/msgbox.
#include "presentation/dialogs.h"

#include <cstdio>
#include <cstdlib>

#include "base/cfg.h"
#include "base/log.h"
#include "base/time.h"
#include "media/font/FR.h"
#include "media/texture/TL.h"
#include "media/texture/TM.h"
#include "media/widget/widget.h"
#include "media/window/WM.h"
#include "media/window/dm.h"
#include "media/window/gl_stub.h"
#include "platform/msgbox.h"
#include "presentation/bindings.h"
#include "presentation/pstring.h"
#include "presentation/window.h"

bool DialogEngineReady = false;
SYS_List_p SetupDialog = nullptr;
SYS_List_p MessageBoxDialog = nullptr;
bool ErrorReported = false;

namespace {

struct ScreenSize {
  int32_t id, width, height;
};
constexpr ScreenSize kSizes[] = {
    {101, 800, 600},   {102, 1024, 768},  {103, 1280, 720},  {104, 1280, 800},  {105, 1280, 1024},
    {106, 1440, 900},  {107, 1600, 1200}, {108, 1680, 1050}, {109, 1920, 1080}, {110, 1920, 1200},
};

enum : int32_t {
  kQuit = 23, kStart = 1000, kRadioHigh = 115, kRadioMedium = 116, kRadioLow = 117,
  kBoxNoSound = 120, kBoxVSync = 121, kBoxWindowed = 122, kMessageText = 100,
};

// Set while "msgbox.xml" loads: an error met then means the box cannot show it.
bool MessageBoxLoading = false;
bool MessageBoxIncomplete = false;

int MessageBoxLoadWatch(int32_t code, const char *text) {
  MessageBoxIncomplete = true;
  return ErrorHandler(code, text);
}

void LogNumber(const char *prefix, int32_t value) {
  char line[64];
  std::snprintf(line, sizeof line, "%s%d", prefix, (int)value);
  PasLogLn(line);
}

void LogSetup(void) {
  LogNumber("[cfg] width: ", CfgWidth);
  LogNumber("[cfg] height: ", CfgHeight);
  PasLogLn(CfgFullScreen ? "[cfg] windowed: false" : "[cfg] windowed: true");
  PasLogLn(CfgVSync ? "[cfg] vsync on" : "[cfg] vsync off");
  PasLogLn(CfgNoSound ? "[cfg] nosound" : "[cfg] sound on");
  static const char *const kQuality[3] = {"[cfg] texture quality high", "[cfg] texture quality medium",
                                          "[cfg] texture quality low"};
  if (CfgTextureQuality >= 0 && CfgTextureQuality <= 2) PasLogLn(kQuality[CfgTextureQuality]);
}

// Greys every size, then lights those the display offers at 32 bits.
void MarkScreenSizes(void) {
  for (const ScreenSize &s : kSizes) {
    widget_item_t *w = wdgGetItem(SetupDialog, s.id);
    wdgDisable(w);
    wdgSetColor(w, 100, 100, 100, 255);
  }
  SYS_List_p modes = wmGetVideoModes();
  if (!modes) {
    PasLogLn("[cfg] ! no available video modes?");
    return;
  }
  PasLogLn("[cfg] yep.");
  for (SYS_List_p n = modes; n; n = n->next) {
    const wm_videomode_t *m = (const wm_videomode_t *)n->item;
    if (!m || m->bits != 32) continue;
    char line[64];
    std::snprintf(line, sizeof line, "[cfg] - %dx%d %dbits", (int)m->width, (int)m->height, (int)m->bits);
    PasLogLn(line);
    for (const ScreenSize &s : kSizes) {
      if (s.width != m->width || s.height != m->height) continue;
      widget_item_t *w = wdgGetItem(SetupDialog, s.id);
      wdgEnable(w);
      wdgSetColor(w, 228, 228, 228, 255);
    }
  }
  wmFreeVideoModes(modes);
}

// GL errors of the dialog are only logged. A lost context can report an error on
// every call, so the queue is read a bounded number of times.
void DrainGLErrors(void) {
  if (!wmGL.glGetError) return;
  for (int i = 0; i < 64; i++) {
    GLenum e = wmGL.glGetError();
    if (e == GL_NO_ERROR) break;
    const char *text = wmGLU.gluErrorString ? (const char *)wmGLU.gluErrorString(e) : nullptr;
    char line[96];
    std::snprintf(line, sizeof line, "%s", text ? text : "unknown GL error");
    PasLogLn(line);
  }
}

// 1 when the dialog's window exists on the screen with its GL context.
bool Shown(SYS_List_p dialog) {
  widget_item_t *window = wdgGetClassItem(dialog, WDG_WINDOW);
  return window && window->ownWindow && window->ownWindow->handle && window->ownWindow->glContext;
}

int32_t CheckedValue(int32_t id) { return wdgGetValue(wdgGetItem(SetupDialog, id)); }

}  // namespace

int32_t InitDialogEngine(void) {
  if (DialogEngineReady) return 0;
  gl_stub();
  glu_stub();
  ftInit();
  tmInit();
  txOptions(3, 1);
  if (wdgInit() != 0) FatalError("Unable to initialize dialog engine.");
  if (!MessageBoxDialog) {
    MessageBoxLoading = true;
    errSetCallback(MessageBoxLoadWatch);
    MessageBoxDialog = wdgLoad(1, "msgbox.xml");
    errSetCallback(ErrorHandler);
    MessageBoxLoading = false;
    if (MessageBoxDialog) wdgSetCallback(MessageBoxDialog, MessageBoxHandler);
  }
  DialogEngineReady = true;
  return 0;
}

int32_t RunSetupDialog(void) {
  InitDialogEngine();
  if (!SetupDialog) {
    SetupDialog = wdgLoad(1, "cfg.xml");
    // An unreadable file has been reported already; this is a file without widgets.
    if (!SetupDialog) FatalError("Unable to initialize dialog engine.");
    wdgSetCallback(SetupDialog, SetupDialogHandler);
  }
  MarkScreenSizes();

  CfgWidth = 800;
  CfgHeight = 600;
  CfgFullScreen = -1;
  CfgNoSound = CheckedValue(kBoxNoSound);
  CfgVSync = CheckedValue(kBoxVSync);
  CfgFullScreen = CheckedValue(kBoxWindowed) == 0 ? -1 : 0;

  if (SYS_CfgGet("default", 0) != 1) {
    PasLogLn("anyad");
    // Without a window the dialog could never end.
    if (!wdgGetClassItem(SetupDialog, WDG_WINDOW)) FatalError("Unable to initialize dialog engine.");
    wdgShow(SetupDialog);
    if (!Shown(SetupDialog)) FatalError("Unable to initialize dialog engine.");
    CfgState = 0;
    PasLogLn("anyad1");
    for (;;) {
      wdgProcess(SetupDialog);
      if (CfgState == 2) std::exit(0);
      if (CfgState == 1) break;
      SYS_Sleep(0);
      DrainGLErrors();
    }
    wdgHide(SetupDialog);
  }

  if (CheckedValue(kRadioHigh) == 1) CfgTextureQuality = 0;
  if (CheckedValue(kRadioMedium) == 1) CfgTextureQuality = 1;
  if (CheckedValue(kRadioLow) == 1) CfgTextureQuality = 2;
  if (CfgFullScreen == 0) {
    CfgWidth = 1024;
    CfgHeight = 576;
  }
  LogSetup();
  return 0;
}

int SetupDialogHandler(widget_item_t *widget, wm_event_t *event) {
  if (!widget || !event) return 0;
  if (event->type == WM_EVENT_WINDOW && event->conf.type == WM_CONF_CLOSE) CfgState = 2;
  if (event->type == WM_EVENT_KEY && event->key.type == WM_KEY_UP) {
    if (event->key.key == WM_KEYCODE_ESCAPE) CfgState = 2;
    if (event->key.key == WM_KEYCODE_ENTER) CfgState = 1;
    return 0;
  }
  if (event->mouse.left != 1) return 0;
  switch (widget->id) {
    case kQuit: CfgState = 2; break;
    case kStart: CfgState = 1; break;
    case kBoxNoSound: CfgNoSound = wdgGetValue(widget); break;
    case kBoxVSync: CfgVSync = wdgGetValue(widget); break;
    case kBoxWindowed: CfgFullScreen = wdgGetValue(widget) == 0 ? -1 : 0; break;
    default:
      for (const ScreenSize &s : kSizes)
        if (s.id == widget->id) {
          CfgWidth = s.width;
          CfgHeight = s.height;
        }
      break;
  }
  return 0;
}

int MessageBoxHandler(widget_item_t *widget, wm_event_t *event) {
  if (!widget || !event) return 0;
  if (event->type == WM_EVENT_WINDOW && event->conf.type == WM_CONF_CLOSE) CfgState = 1;
  if (event->type == WM_EVENT_KEY && event->key.type == WM_KEY_UP &&
      (event->key.key == WM_KEYCODE_ESCAPE || event->key.key == WM_KEYCODE_ENTER))
    CfgState = 1;
  if (event->mouse.left == 1 && widget->id == kQuit) CfgState = 1;
  return 0;
}

int32_t ShowMessageBox(std::string_view text) {
  const ShortString message(text);
  // While the box itself loads, or when it failed to, only the system box is left.
  if (!MessageBoxLoading) InitDialogEngine();
  widget_item_t *label = MessageBoxLoading || MessageBoxIncomplete ? nullptr : wdgGetItem(MessageBoxDialog, kMessageText);
  if (!label || !wdgGetClassItem(MessageBoxDialog, WDG_WINDOW)) {
    platMessageBox("tarvo!korvadyne", message.c_str(), PLAT_MB_ERROR);
    return 0;
  }
  wdgSetText(label, PasStr(message));
  wdgShow(MessageBoxDialog);
  if (!Shown(MessageBoxDialog)) {
    // No window could be made: waiting for a click that cannot come would hang.
    wdgHide(MessageBoxDialog);
    platMessageBox("tarvo!korvadyne", message.c_str(), PLAT_MB_ERROR);
    return 0;
  }
  // The text goes to stderr as with the system box, for logs and headless runs.
  std::fprintf(stderr, "tarvo!korvadyne: %s\n", message.c_str());
  std::fflush(stderr);
  CfgState = 0;
  // Headless runs show the box once and go on, so they never wait for a user.
  const bool wait = platMessageBoxVisible() != 0;
  do {
    wdgProcess(MessageBoxDialog);
    if (CfgState != 1 && wait) SYS_Sleep(0);
  } while (CfgState != 1 && wait);
  wdgHide(MessageBoxDialog);
  return 0;
}

void ErrorMessageFor(int32_t code, const char *text, char *out, int32_t size) {
  ShortString message(text ? text : "Unknown error.");
  if (code == 1 || code == 2 || code == 3 || code == 11) {
    ShortString full("File not found: ");
    full += message;
    full += ".";
    message = full;
  } else if (code == 8) {
    // The file is there, in the pack, but its data do not inflate.
    ShortString full("The pack entry ");
    full += message;
    full += " is damaged and cannot be read.";
    message = full;
  }
  std::snprintf(out, (size_t)size, "%s", message.c_str());
}

int ErrorHandler(int32_t code, const char *text) {
  if (ErrorReported) return 0;
  // Set first: showing the message must not come back here.
  ErrorReported = true;
  CloseMainWindow();
  wmRestoreVideoMode();
  char message[256];
  ErrorMessageFor(code, text, message, sizeof message);
  PasLogLn(message);
  ShowMessageBox(message);
  ExitAndHalt(1);
}

void RegisterFrameworkUnit(void) { errSetCallback(ErrorHandler); }
