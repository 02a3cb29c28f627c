// Adapter probe: adapter name and video memory for wmOptions 0 and 1.
//
// There is no DirectDraw or Direct3D here: the module loader finds neither
// "ddraw.dll" nor "d3d9.dll", so the probe logs its look for them and takes its
// "library missing" path: no adapter name (wmOptions 0 is null), no video memory (0).
// Depends on: dl, log.
#pragma once

extern "C" {

int ddInit(void);  // 1: no DirectDraw entry points (always, here)
int ddDone(void);  // closes what was opened; 0

}  // extern "C"
