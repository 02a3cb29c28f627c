// Framework GL table: fills wmGL by name from "OpenGL32.dll" (see gl_stub.h).
// Depends on: dl (SYS_DlOpen, SYS_DlGetProc), log.
#include "media/window/gl_stub.h"

#include "base/dl.h"
#include "base/log.h"

#include <array>
#include <cstring>

wm_gl_t wmGL;

namespace {

constexpr wm_glslot_t kSlots[] = {
#define GL_FN(ret, name, params, block) {#name, block, offsetof(wm_gl_t, name)},
#include "media/window/gl_names.inc"
#undef GL_FN
};
constexpr size_t kSlotCount = sizeof kSlots / sizeof kSlots[0];
static_assert(kSlotCount * sizeof(void *) == sizeof(wm_gl_t), "one pointer per slot");

// Verdict of gl_stub_check per slot: 0 unknown or present, 1 dropped.
std::array<unsigned char, kSlotCount> g_dropped{};

bool isCore(const char *block) {
  return std::strncmp(block, "GL_VERSION_", 11) == 0 || std::strcmp(block, "GL_ARB_imaging") == 0;
}

void setSlot(size_t i, void *address) {
  std::memcpy(reinterpret_cast<char *>(&wmGL) + kSlots[i].offset, &address, sizeof address);
}

}  // namespace

const wm_glslot_t *gl_stub_slots(size_t *count) {
  if (count) *count = kSlotCount;
  return kSlots;
}

int gl_stub_has_extension(const char *extensions, const char *name) {
  if (!extensions || !name || !*name) return 0;
  size_t n = std::strlen(name);
  for (const char *p = extensions; (p = std::strstr(p, name)) != nullptr; p += n) {
    bool startOk = p == extensions || p[-1] == ' ';
    bool endOk = p[n] == '\0' || p[n] == ' ';
    if (startOk && endOk) return 1;
  }
  return 0;
}

int gl_stub(void) {
  SYS_DbgPrintf(1, "[gl_stub]  ! load GL module.\n");
  void *lib = SYS_DlOpen("OpenGL32.dll");
  if (!lib) return -1;  // the loader's 200 or 201 stays
  for (size_t i = 0; i < kSlotCount; ++i)
    setSlot(i, g_dropped[i] ? nullptr : SYS_DlGetProc(lib, kSlots[i].name));
  return 0;
}

int gl_stub_check(void) {
  if (!wmGL.glGetString) return -1;
  const char *ext = reinterpret_cast<const char *>(wmGL.glGetString(GL_EXTENSIONS));
  if (!ext) return -1;
  const char *lastBlock = nullptr;
  bool present = true;
  for (size_t i = 0; i < kSlotCount; ++i) {
    const char *block = kSlots[i].block;
    if (isCore(block)) continue;
    // Slots of one extension are adjacent; look each block up once.
    if (!lastBlock || std::strcmp(block, lastBlock) != 0) {
      present = gl_stub_has_extension(ext, block);
      lastBlock = block;
    }
    g_dropped[i] = present ? 0 : 1;
    if (!present) setSlot(i, nullptr);
  }
  return 0;
}
