// libFuzzer harness of the effect-file reader: arbitrary bytes read through IfeRead
// either give layers within the declared bounds, every key readable, or a refusal that
// leaves nothing behind. The texture step of IfeLoad is not run (a name that names no
// image ends the program there by design).
#include <cstdint>

#include "base/file.h"
#include "base/main.h"
#include "presentation/ife.h"
#include "tests/common/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool up = SYS_BaseInit(nullptr, 0, nullptr, nullptr) == 0;
  fuzz::Expect(up, "framework start");
  if (!fuzz::WriteInput("fuzz.ife", data, size)) return 0;
  fuzz::GivesBackWhatItTakes([&] {
    SYS_File_t *file = SYS_FileOpen("fuzz.ife", SYS_FILE_TEXT);
    if (!file) return;
    ife_interface iface;
    const char *reason = nullptr;
    const int r = IfeRead(&iface, file, "fuzz.ife", &reason);
    SYS_FileClose(file);
    if (r != 0) {
      fuzz::Expect(reason != nullptr, "a refusal names its reason");
      fuzz::Expect(iface.layerCount == 0 && iface.layers == nullptr, "a refused file leaves no layers");
    } else {
      fuzz::Expect(iface.layerCount >= 0 && iface.layerCount <= kIfeMaxLayers, "layer count within bounds");
      fuzz::Expect(iface.layerCount == 0 || iface.layers, "layers allocated");
      float sum = 0;
      for (int32_t l = 0; l < iface.layerCount; l++) {
        const ife_layer &layer = iface.layers[l];
        fuzz::Expect(layer.keyCount >= 0 && layer.keyCount <= kIfeMaxKeys, "key count within bounds");
        fuzz::Expect((layer.keyCount > 0) == (layer.keys != nullptr), "keys allocated for a counted layer");
        fuzz::Expect(layer.textureName.size() <= 255 && layer.text3.size() <= 255, "names within a short string");
        for (int32_t k = 0; k < layer.keyCount; k++) sum += layer.keys[k].x + layer.keys[k].a;
      }
      volatile float sink = sum;
      (void)sink;
      IfeFree(&iface);
    }
  });
  return 0;
}
