// Any configuration copy file is loaded whole or refused, and a loaded image is written back
// to the same bytes.
#include <QFile>
#include <cstdlib>
#include <cstring>

#include "FuzzHost.h"
#include "core/files/ConfigCopy.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  static FuzzHost host;
  host.WriteFile(kConfigCopyFileName, data, size);
  ConfigImage image;
  image.fill(0x5A);
  const ConfigImage before = image;
  if (!ReadConfigCopy(host.env.workDir, host.env.ui, image)) {
    if (image != before) std::abort();  // a refused file changes nothing
    return 0;
  }
  if (size != 256 && size < 512) std::abort();
  if (std::memcmp(image.data(), data, size == 256 ? 256 : 512) != 0) std::abort();
  if (size == 256) {
    for (int i = 256; i < kImageSize; ++i) {
      if (image[i] != 0) std::abort();
    }
  }
  if (!WriteConfigCopy(host.env.workDir, host.env.ui, image)) std::abort();
  ConfigImage again{};
  if (!ReadConfigCopy(host.env.workDir, host.env.ui, again) || again != image) std::abort();
  return 0;
}
