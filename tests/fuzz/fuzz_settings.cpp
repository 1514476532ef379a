// Any settings file is read into values or refused with an input/output error, and whatever was
// read is written back and read again to the same values.
#include <QFile>
#include <cstdlib>

#include "FuzzHost.h"
#include "core/base/Errors.h"
#include "core/files/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  static FuzzHost host;
  host.WriteFile(kSettingsFileName, data, size);
  LinkSettings read;
  try {
    read = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
  } catch (const IoError&) {
    return 0;
  }
  if (!read.resetMoment.isValid()) std::abort();
  WriteSettingsFile(host.env.workDir, read.portNumber, read.boardCount, read.resetMoment);
  const LinkSettings again = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
  if (again.portNumber != read.portNumber || again.boardCount != read.boardCount ||
      again.resetMoment.secsTo(read.resetMoment) != 0) {
    std::abort();
  }
  return 0;
}
