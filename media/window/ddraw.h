// Adapter probe: adapter name and video memory for wmOptions 0 and 1.
//
// There is no DirectDraw or Direct3D here: the module loader finds neither
// "ddraw.dll" nor "d3d9.dll", so the probe takes its "library missing" path (no
// adapter name, no video memory; "Unknown" as the driver name).
// Depends on: dl, mem, log.
#pragma once

#include <cstdint>

extern "C" {

int ddInit(void);               // 0 when the DirectDraw entry points exist, else 1
int ddDone(void);               // closes what was opened; 0
int32_t ddCheckVideoMemory(void);  // total MB, 0 when unknown
char *ddGetDriverName(void);    // tracked text

}  // extern "C"
