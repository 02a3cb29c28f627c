// Framework GLU table: fills wmGLU by name from "GLU32.dll" (see gl_stub.h).
// Depends on: dl (SYS_DlOpen, SYS_DlGetProc), log.
#include "media/window/gl_stub.h"

#include "base/dl.h"
#include "base/log.h"

#include <cstring>

wm_glu_t wmGLU;

namespace {

constexpr wm_glslot_t kSlots[] = {
#define GLU_FN(ret, name, params, block) {#name, block, offsetof(wm_glu_t, name)},
#include "media/window/glu_names.inc"
#undef GLU_FN
};
constexpr size_t kSlotCount = sizeof kSlots / sizeof kSlots[0];
static_assert(kSlotCount * sizeof(void *) == sizeof(wm_glu_t), "one pointer per slot");

}  // namespace

const wm_glslot_t *glu_stub_slots(size_t *count) {
  if (count) *count = kSlotCount;
  return kSlots;
}

int glu_stub(void) {
  SYS_DbgPrintf(1, "[glu_stub]  ! load GLU module.\n");
  void *lib = SYS_DlOpen("GLU32.dll");
  if (!lib) return -1;
  for (size_t i = 0; i < kSlotCount; ++i) {
    void *address = SYS_DlGetProc(lib, kSlots[i].name);
    std::memcpy(reinterpret_cast<char *>(&wmGLU) + kSlots[i].offset, &address, sizeof address);
  }
  return 0;
}
