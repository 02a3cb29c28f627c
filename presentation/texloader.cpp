// Texture-loader unit: slot 4 of the subsystem registry and the wrappers through
// which the presentation reaches txLoad and txSave.
// Depends on: bindings (registry, PasStr), media/texture.
#include "presentation/texloader.h"

#include "presentation/bindings.h"

txBitmap *TLLoad(const ShortString &name) { return txLoad(PasStr(name)); }

int32_t TLSave(int32_t format, const ShortString &name, txBitmap *bitmap) {
  return txSave(format, PasStr(name), bitmap);
}

void InitTextureLoader(void) { txInit(nullptr); }

void UninitTextureLoader(void) {}

void RegisterTLUnit(void) {
  AddInit("Texture loader ...", 4, InitTextureLoader);
  AddExit("Uninit texture loader ...", 4, UninitTextureLoader);
}
