// The main program: see show.h.
//
// Order of a frame: prologue (full clear, letterbox viewport, tempo map, second clear,
// lighting and texturing off, white, renderer counters 0), the pattern's scene, the
// white flashes, the frame-rate text, vsync, the state reset, the overlay and seek
// keys in debug mode, the swap and the event pump. Blending is never reset: a scene
// that does not set it inherits the last frame's. The frame allocates nothing.
// The bars are cleared once more after the scene and its flashes: GL rasterises wide
// lines up to half their width past the viewport, and the tunnel's 6-pixel lines
// would otherwise paint 3 rows into them. A scissor box around the whole scene would
// do the same but also clip the particle scene's cube, which renders at (0, 0) outside
// the letterbox and reads itself back; the copies of the screen read the letterbox
// only and are taken before this clear, so they are unaffected.
// Depends on: bindings, gl, window, tempo, scenes, ife, textures, overlay, music,
// scene/counters, base (file, cfg, time), media/window.
#include "presentation/show.h"

// The GL table first: it must see the system GL headers before anything else does.
#include "presentation/gl.h"

#include <cstdio>

#include "base/cfg.h"
#include "base/file.h"
#include "base/mem.h"
#include "base/time.h"
#include "media/window/WM.h"
#include "presentation/bindings.h"
#include "presentation/ife.h"
#include "presentation/music.h"
#include "presentation/overlay.h"
#include "presentation/scenes.h"
#include "presentation/textures.h"
#include "presentation/window.h"
#include "scene/counters.h"

int32_t SegmentTime = 0, TimelineTime = 0, Pattern = 0, Row = 0;
float Beat = 0.0f;
int32_t DebugMode = 0;
int32_t FrameCount = 0, FpsStartTime = 0;
ShortString FpsValue("0"), FpsText;
int32_t ScreenWidth = 800, ScreenHeight = 600, ScreenFullScreen = 0;
int32_t LetterboxHeight = 0;
int32_t LoadStepCount = 0;
int32_t SpriteTexture = 0, CubeTexture = 0, GreetTexture = 0;
uint8_t *LogoImage = nullptr, *GreetImage = nullptr;
int32_t LogoImageSize = 0, GreetImageSize = 0;
float *FieldGrid = nullptr;

namespace {

TempoState g_tempo;

void SetLetterboxViewport(void) {
  LetterboxHeight = LetterboxHeightFor(ScreenWidth);
  glViewport(0, LetterboxY(ScreenHeight, LetterboxHeight), ScreenWidth, LetterboxHeight);
}

void ReadTempo(void) {
  TempoMapUpdate(g_tempo, [] { return SYS_TimerGet(); });
  SegmentTime = g_tempo.SegmentTime;
  TimelineTime = g_tempo.TimelineTime;
  Pattern = g_tempo.Pattern;
  Row = g_tempo.Row;
  Beat = g_tempo.Beat;
}

void DrawWhiteFlashes(void) {
  float params[3];
  const int32_t n = WhiteFlashParams(Pattern, SegmentTime, Row, params);
  for (int32_t i = 0; i < n; i++) IfeRender(&IfeWhiteFlashFx, params[i]);
}

}  // namespace

void ShowClearLetterboxBars(void) {
  const int32_t height = LetterboxHeightFor(ScreenWidth);
  const int32_t bottom = LetterboxY(ScreenHeight, height);
  const int32_t top = bottom + height;
  if (bottom <= 0 && top >= ScreenHeight) return;  // 16:9 or wider: no bars
  glEnable(GL_SCISSOR_TEST);
  if (bottom > 0) {
    glScissor(0, 0, ScreenWidth, bottom);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  if (top < ScreenHeight) {
    glScissor(0, top, ScreenWidth, ScreenHeight - top);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  glDisable(GL_SCISSOR_TEST);
}

void ShowResetState(void) {
  glDisable(GL_LIGHTING);
  glViewport(0, 0, ScreenWidth, ScreenHeight);
  glColor3f(1, 1, 1);
  glDisable(GL_TEXTURE_2D);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
}

namespace {

void UpdateFrameRate(void) {
  FrameCount++;
  if (TimelineTime - FpsStartTime >= 200) {
    char text[64];
    FormatFps(FrameCount, TimelineTime - FpsStartTime, text, sizeof text);
    FpsValue = text;
    FpsStartTime = TimelineTime;
    FrameCount = 0;
  }
  FpsText = "FPS : [";
  FpsText += FpsValue;
  FpsText += "]";
  FpsText += '\0';
}

void SwapAndPump(void) {
  wmSwapBuffers(MainWindow);
  LastKey = 0;
  wmProcessEvents();
}

}  // namespace

void ShowLoadingSequence(void) {
  for (int32_t i = 0; i < 9; i++) {
    ScenesLoadEffect(i);
    LoadingStep();
  }
  SpriteTexture = TexLoad("sprite8.tga", 3);
  LoadingStep();
  CubeTexture = TexLoad("kekviz.tga", 3);
  LoadingStep();
  GreetTexture = TexLoad("greet.tga", 0);
  LoadingStep();
  LogoImage = LoadFileToMemory("logo.tga", &LogoImageSize);
  LoadingStep();
  GreetImage = LoadFileToMemory("greet.tga", &GreetImageSize);
  LoadingStep();
  ScenesBuildTables(LoadingStep);
}

void LoadingStep(void) {
  LoadStepCount++;
  SetLetterboxViewport();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  const float t = (float)(LoadStepCount * 18.8);
  IfeRender(&IfeLoaderFx, t);
  SwapAndPump();
  // Into the back buffer, which the next step clears.
  IfeRender(&IfeLoaderFx, t);
  SYS_Sleep(10);
}

uint8_t *LoadFileToMemory(const char *name, int32_t *size) {
  // A file that cannot be opened reaches the error callback, which ends the run.
  SYS_File_p file = SYS_FileOpen(name, 0);
  const int32_t length = SYS_FileSize(name);
  uint8_t *block = nullptr;
  if (!file || length < 0 || !(block = (uint8_t *)PasMemGet(length > 0 ? length : 1, "LoadFileToMemory"))) {
    if (file) SYS_FileClose(file);
    FatalError(ShortString("Unable to load ") + name);
  }
  if (length > 0) SYS_FileRead(file, block, length);
  SYS_FileClose(file);
  if (size) *size = length;
  LoadingStep();
  return block;
}

void TouchMemory(void *block, int32_t count) {
  volatile uint32_t *w = (volatile uint32_t *)block;
  for (int32_t i = 0; i < count / 4; i++) w[i] = w[i];
}

void ShowDrawEndpart(void) { IfeRender(&IfeEndpartFx, (float)((SegmentTime - 177750) / 7.11)); }

void ShowSeekKey(int32_t key) {
  switch (key) {
    case WM_KEYCODE_RIGHT: SYS_TimerSetAdjust(-1000); break;
    case WM_KEYCODE_LEFT: SYS_TimerSetAdjust(1000); break;
    case WM_KEYCODE_HOME: SYS_TimerReset(); break;
    case WM_KEYCODE_PAGEUP: SYS_TimerSetAdjust(7500); break;
    case WM_KEYCODE_PAGEDOWN: SYS_TimerSetAdjust(-7500); break;
    default: return;
  }
  if (CfgNoSound) return;
  TSS_SeekMusicMs(MusicHandle, key == WM_KEYCODE_HOME ? 0 : SYS_TimerGet());
}

void ShowFrame(void) {
  glViewport(0, 0, ScreenWidth, ScreenHeight);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  SetLetterboxViewport();
  ReadTempo();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glColor3f(1, 1, 1);
  ResetRendererCounters();

  ScenesDraw(Pattern);
  DrawWhiteFlashes();
  ShowClearLetterboxBars();

  UpdateFrameRate();
  if (wglSwapIntervalEXT) wglSwapIntervalEXT(CfgVSync ? 1 : 0);
  ShowResetState();
  if (DebugMode) {
    DrawOverlay();
    ShowSeekKey(LastKey);
  }
  LetterboxHeight = LetterboxHeightFor(ScreenWidth);
  SwapAndPump();
}

int ShowRun(void) {
  RunInit();
  char *pack = SYS_PathGet(1, "quv.dat");
  // A pack that is there but refused would show only as the first file it should
  // have held: say once why that file is missing.
  if (pack && SYS_FilePackOpen(pack) != 0 && SYS_FileExist(pack) == 0)
    std::fprintf(stderr, "The data pack %s is damaged; its files are not used.\n", pack);
  SYS_MemFree(&pack);

  ScreenWidth = 800;
  ScreenHeight = 600;
  ScreenFullScreen = 0;
  OpenMainWindow("tarvo!korvadyne", &ScreenWidth, &ScreenHeight, &ScreenFullScreen);
  DebugMode = SYS_CfgGet("debug", 0) == 1 ? 1 : 0;

  IfeLoad(&IfeLoaderFx, "loader.ife", "");
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  ScenesTextureOptions(CfgTextureQuality);
  TexInit();
  FontTextureBuild();
  ScenesCreateScreenTexture();
  FieldGrid = (float *)PasMemGet(131072, "FieldGrid");
  ScenesInitMetaGrid(FieldGrid);
  ShowLoadingSequence();

  glEnable(GL_NORMALIZE);
  SegmentTime = 0;
  FpsValue = "0";
  if (!CfgNoSound) MusicStart("music.ogg");
  SYS_TimerReset();
  while (QuitFlag == 0 && SegmentTime < kLastSegmentEnd) ShowFrame();

  if (!CfgNoSound) MusicStop();
  CloseMainWindow();
  return 0;
}
