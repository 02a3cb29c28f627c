// Texture-loader unit: registers the framework texture loader's start in registry
// slot 4 and is the presentation's one way to txLoad and txSave.
// Depends on: bindings (AddInit, AddExit, PasStr), media/texture (txInit, txLoad,
// txSave, txBitmap, txFunctions).
#pragma once

#include <cstdint>

#include "media/texture/TL.h"
#include "presentation/pstring.h"

// txLoad of name: a new bitmap for the caller to txFree, or null.
txBitmap *TLLoad(const ShortString &name);
// txSave(format, name, bitmap) and its result.
int32_t TLSave(int32_t format, const ShortString &name, txBitmap *bitmap);
// Slot 4 procedures: txInit with the default file callbacks; the exit does nothing.
void InitTextureLoader(void);
void UninitTextureLoader(void);
// Unit start-up: AddInit("Texture loader ...", 4, InitTextureLoader) and
// AddExit("Uninit texture loader ...", 4, UninitTextureLoader).
void RegisterTLUnit(void);
